#include "MainFormFixture.h"
#include "app/MessageBoxErrorReporter.h"
#include "core/Version.h"
#include "ui/Main/MainForm.h"
#include "ui/Param/ParamForm.h"
#include "ui/TextView/TextView.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <sys/stat.h>
#include <tuple>

using namespace skaldrun;

class MainFormTests : public test::MainFormFixture {
    Q_OBJECT

private slots:
    void init() { OpenWindow(); }
    void cleanup() { CloseWindow(); }

    void startState();
    void stateAfterEachKindOfLoad_data();
    void stateAfterEachKindOfLoad();
    void choosingSelectorItems();
    void iptvListWithAHeaderAndQuotedCommasConverts();
    void cancelledDialogsChangeNothing();
    void hiddenViewGetsItsTextWhenFirstShown();
    void waitCursorIsGoneOnEveryPath();
    void reloadUnderOkShowsItsStateBeforeTheErrorBox();
    void selectorListDropsBelowWithSmallItems();
    void playlistFromTheCommandLine();
    void droppedFilesOpenAndNeverBecomeText();
    void shortcutsFollowTheirCommands();
    void everyControlHasAName();
    void errorBoxShowsTheMessage_data();
    void errorBoxShowsTheMessage();
    void openFaultsLeaveTheWindowUsable_data();
    void openFaultsLeaveTheWindowUsable();
    void helpItemsOpenTheSitePages();
    void plsAndXspfOpenAsTheListsTheyAre();
    void formatSamplesOpenAsTheirM3u_data();
    void formatSamplesOpenAsTheirM3u();
    void theTotalKeepsTheRightOfTheStatusLine();
    void exportsAreMadeFromThePlaylistInEachShape();
    void aChosenCodePageReshowsBothViewsAndDecodesExports();
    void imagesHaveTheirOwnSizesAtScalesUpToTwo();
    void exitClosesTheWindow();
};

void MainFormTests::startState() {
    QCOMPARE(form->windowTitle(), QStringLiteral("Skaldrun ") + kVersionText.data());
    QCOMPARE(form->centralWidget()->size(), QSize(606, 439));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(StatusText()->text(), QStringLiteral("Пусто"));
    QVERIFY(StatusText()->width() >= StatusText()->sizeHint().width());

    auto* selector = ViewSelector();
    QCOMPARE(selector->currentText(), QStringLiteral("Исходный"));
    QCOMPARE(selector->itemText(1), QStringLiteral("Преобразованый в текст"));
    QVERIFY(!selector->isEnabled());
    QVERIFY(!ExportEnabled());
    QVERIFY(SourceView()->isVisible());
    QVERIFY(SourceView()->isReadOnly());
    QVERIFY(!ListView()->isVisible());
    QVERIFY(!ListView()->isReadOnly());
    QCOMPARE(ListView()->geometry(), QRect(0, 27, 605, 393));

    const struct {
        const char* name;
        QRect geometry;
        const char* hint;
        bool enabled;
    } buttons[] = {
        {"MP3OpenSpeedButton", {12, 2, 22, 22}, "Открыть", true},
        {"MP3SaveSpeedButton", {34, 2, 23, 22}, "Сохранить в текстовый файл", false},
        {"CopySpeedButton", {70, 2, 22, 22}, "Копировать", false},
        {"ParamtrSpeedButton", {104, 2, 22, 22}, "Параметры", true},
    };
    for (const auto& b : buttons) {
        auto* button = Child<QToolButton>(b.name);
        QCOMPARE(button->geometry(), b.geometry);
        QCOMPARE(button->toolTip(), QString::fromUtf8(b.hint));
        QCOMPARE(button->isEnabled(), b.enabled);
        QVERIFY(button->autoRaise());
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        QVERIFY(!button->icon().isNull());
    }

    const struct {
        const char* name;
        const char* caption;
        bool hasImage;
        bool enabled;
    } items[] = {
        {"Open1", "Открыть", true, true},
        {"Exit1", "Выход", true, true},
        {"Copy1", "Копировать", true, false},
        {"Parametr1", "Параметры", true, true},
        {"N3", "Проверить обновление", false, true},
        {"N4", "Все программы", false, true},
        {"N5", "Открыть сайт разработчика", false, true},
        {"N2", "Поддержка", false, true},
        {"About1", "О программе...", false, true},
    };
    for (const auto& item : items) {
        auto* action = Child<QAction>(item.name);
        QCOMPARE(action->text(), QString::fromUtf8(item.caption));
        QCOMPARE(!action->icon().isNull(), item.hasImage);
        QCOMPARE(action->isEnabled(), item.enabled);
        QVERIFY(action->shortcut().isEmpty());
    }
}

void MainFormTests::stateAfterEachKindOfLoad_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("autoOpen");
    QTest::addColumn<bool>("convertedVisible");
    QTest::addColumn<bool>("exportEnabled");
    QTest::addColumn<int>("selectorIndex");
    QTest::addColumn<bool>("selectorEnabled");
    QTest::addColumn<bool>("statusIsPath");

    const QByteArray playlist = "#EXTM3U\r\n#EXTINF:185,01-Intro\r\na.mp3\r\n";
    QTest::newRow("playlist, AutoOpen on") << playlist << true << true << true << 1 << true << true;
    QTest::newRow("playlist, AutoOpen off")
        << playlist << false << false << false << 0 << true << true;
    QTest::newRow("not a playlist")
        << QByteArray("D:\\one.mp3\r\n") << true << true << false << 0 << false << false;
    QTest::newRow("header only") << QByteArray("#EXTM3U") << true << true << true << 1 << true
                                 << true;
}

void MainFormTests::stateAfterEachKindOfLoad() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, autoOpen);
    options.AutoOpen = autoOpen;
    const QString path = Write("list.m3u", bytes);
    Open(path);

    QTEST(ListView()->isVisible(), "convertedVisible");
    QCOMPARE(SourceView()->isVisible(), !ListView()->isVisible());
    QTEST(ExportEnabled(), "exportEnabled");
    QTEST(ViewSelector()->currentIndex(), "selectorIndex");
    QTEST(ViewSelector()->isEnabled(), "selectorEnabled");
    QFETCH(bool, statusIsPath);
    QCOMPARE(StatusText()->text(), statusIsPath ? test::SystemPath(path) : QStringLiteral("Пусто"));
    QCOMPARE(messages.messages.size(), statusIsPath ? 0U : 1U);
    QVERIFY(errors.messages.empty());
}

void MainFormTests::choosingSelectorItems() {
    options.AutoOpen = false;
    Open(Sample("cr-only.m3u"));
    QVERIFY(SourceView()->PlainText().startsWith(QStringLiteral("#EXTM3U\n")));

    auto* selector = ViewSelector();
    selector->setFocus();
    QTest::keyClick(selector, Qt::Key_Down);
    QCOMPARE(selector->currentIndex(), 1);
    QVERIFY(ListView()->isVisible());
    QCOMPARE(ListView()->PlainText(),
             QStringLiteral("1.Intro  <1:03>\n2.Long Mix, Part 2  <62:05>\n"));
    QVERIFY(ExportEnabled());

    QTest::keyClick(selector, Qt::Key_Up);
    QCOMPARE(selector->currentIndex(), 0);
    QVERIFY(SourceView()->isVisible());
    QVERIFY(!ExportEnabled());
}

void MainFormTests::iptvListWithAHeaderAndQuotedCommasConverts() {
    Open(Sample("iptv-epg-header.m3u8"));
    QCOMPARE(ListView()->PlainText(),
             QStringLiteral("1.Good, Bad and Ugly\n2.Morning, Live  <0:00>\n"));
    QVERIFY(messages.messages.empty());
}

void MainFormTests::cancelledDialogsChangeNothing() {
    const QString path = Sample("cr-only.m3u");
    Open(path);
    const QString converted = ListView()->PlainText();

    Open(QString()); // cancelled

    QCOMPARE(StatusText()->text(), test::SystemPath(path));
    QCOMPARE(ListView()->PlainText(), converted);
    QVERIFY(form->Controller().PlaylistLoaded());

    dialogs.saveAnswers.push_back(QString());
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QVERIFY(QDir(dir->path()).isEmpty());
}

// Each view shows the controller's text whenever it is shown, edits kept through a switch.
void MainFormTests::hiddenViewGetsItsTextWhenFirstShown() {
    auto* source = SourceView();
    auto* converted = ListView();
    auto* selector = ViewSelector();
    const auto pick = [selector](int index) {
        selector->setFocus();
        QTest::keyClick(selector, index == 0 ? Qt::Key_Up : Qt::Key_Down);
    };
    const QString kinoSource = QStringLiteral("#EXTM3U\n#EXTINF:245,Кино - 01 - Группа крови\n");
    Open(Sample("ansi-cp1251.m3u"));
    QVERIFY(!source->isVisible());
    pick(0);
    QVERIFY(source->PlainText().startsWith(kinoSource));

    // An edit in the converted view stays through a switch.
    pick(1);
    converted->setFocus();
    QTest::keyClick(converted, Qt::Key_Home, Qt::ControlModifier);
    test::Type(converted, QStringLiteral("Я"));
    pick(0);
    pick(1);
    QVERIFY(converted->PlainText().startsWith(QStringLiteral("Я1.Кино - 01")));

    // A reload with the converted view hidden: it shows the new conversion once picked.
    options.AutoOpen = false;
    options.CounterShow = false;
    form->LoadPlaylist();
    QVERIFY(source->isVisible());
    QVERIFY(!converted->isVisible());
    pick(1);
    QVERIFY(
        converted->PlainText().startsWith(QStringLiteral("Кино - 01 - Группа крови  <4:05>\n")));

    // A load ended by a bad duration: the source and the lines before it, each when shown.
    const QString bad = Write("bad.m3u", "#EXTM3U\n#EXTINF:1,\xC0\n#EXTINF:x,b\n");
    Open(bad);
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(converted->PlainText(), QStringLiteral("А  <0:01>\n"));
    pick(0);
    QCOMPARE(source->PlainText(), QStringLiteral("#EXTM3U\n#EXTINF:1,А\n#EXTINF:x,b\n"));
}

// The wait cursor never outlasts a command, and no box is shown under it.
void MainFormTests::waitCursorIsGoneOnEveryPath() {
    Open(Sample("cr-only.m3u"));
    QVERIFY(!test::WaitCursorShown());
    Open(Sample("not-a-playlist.m3u"));
    QCOMPARE(messages.messages.size(), 1U);
    Open(dir->filePath(QStringLiteral("missing.m3u")));
    QCOMPARE(errors.messages.size(), 1U);
    dialogs.saveAnswers.push_back(dir->filePath(QStringLiteral("no/list")));
    Open(Sample("cr-only.m3u"));
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QCOMPARE(errors.messages.size(), 2U);
    QVERIFY(!messages.waitCursorSeen);
    QVERIFY(!errors.waitCursorSeen);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void MainFormTests::reloadUnderOkShowsItsStateBeforeTheErrorBox() {
    const QString path = Write("list.m3u", "#EXTM3U\r\n#EXTINF:1,a\r\n");
    Open(path);
    ui::TParamForm param(
        options, form->Controller(), [this] { form->LoadPlaylist(); }, errors, form.get());
    Write("list.m3u", "#EXTM3U\r\n#EXTINF:2,b\r\n#EXTINF:x,c\r\n");
    QString shown;
    errors.whileShown = [&] { shown = ListView()->PlainText(); };
    param.show();
    Click(GuiTestBase::Child<QPushButton>(&param, "OKBitBtn"));
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(shown, QStringLiteral("1.b  <0:02>\n"));
}

void MainFormTests::selectorListDropsBelowWithSmallItems() {
    Open(Sample("cr-only.m3u"));
    auto* selector = ViewSelector();
    selector->showPopup();
    QWidget* list = selector->view()->window();
    QTRY_VERIFY(list->isVisible());
    QVERIFY(list->geometry().top() >= selector->mapToGlobal(selector->rect().bottomLeft()).y());
    QCOMPARE(selector->view()->visualRect(selector->model()->index(0, 0)).height(), 16);
    selector->hidePopup();
}

// What the command line names opens as the open dialog's choice does.
void MainFormTests::playlistFromTheCommandLine() {
    const QString path = Sample("cr-only.m3u");
    form->OpenPlaylist(path);
    QCOMPARE(ListView()->PlainText(),
             QStringLiteral("1.Intro  <1:03>\n2.Long Mix, Part 2  <62:05>\n"));
    QCOMPARE(QGuiApplication::clipboard()->text(), ListView()->PlainText());
    QCOMPARE(StatusText()->text(), test::SystemPath(path));
    QCOMPARE(dialogs.offered, path);
    form->OpenPlaylist(dir->filePath(QStringLiteral("missing.m3u")));
    QCOMPARE(errors.messages.size(), 1U);
}

void MainFormTests::droppedFilesOpenAndNeverBecomeText() {
    auto* memo = ListView();
    const auto drop = [&](QWidget* target, const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        if (enter.isAccepted())
            QApplication::sendEvent(target, &dropped);
        QCoreApplication::processEvents();
        return enter.isAccepted();
    };
    // On the empty window, then on the list: the file opens, its address is never typed in.
    QVERIFY(drop(form.get(), {QUrl::fromLocalFile(Sample("cr-only.m3u"))}));
    QCOMPARE(memo->PlainText(), QStringLiteral("1.Intro  <1:03>\n2.Long Mix, Part 2  <62:05>\n"));
    QVERIFY(drop(memo->viewport(), {QUrl::fromLocalFile(Sample("not-a-playlist.m3u")),
                                    QUrl::fromLocalFile(Sample("cr-only.m3u"))}));
    QCOMPARE(messages.messages.size(), 1U);
    QVERIFY(memo->PlainText().isEmpty());
    QVERIFY(!drop(memo->viewport(), {QUrl(QStringLiteral("https://skaldrun.org/list.m3u"))}));
    QVERIFY(memo->PlainText().isEmpty());
}

void MainFormTests::shortcutsFollowTheirCommands() {
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    const QString chosen = dir->filePath(QStringLiteral("list"));
    dialogs.saveAnswers.push_back(chosen);
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier); // nothing to save yet
    QCOMPARE(dialogs.saveAnswers.size(), 1U);
    dialogs.openAnswers.push_back(Sample("cr-only.m3u"));
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(StatusText()->text(), test::SystemPath(Sample("cr-only.m3u")));
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QFile::exists(chosen + QStringLiteral(".txt")));
    QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!form->isVisible());
}

void MainFormTests::everyControlHasAName() {
    QCOMPARE(test::UnnamedControls(form.get()), QStringList());
}

void MainFormTests::errorBoxShowsTheMessage_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty duration") << QByteArray("#EXTM3U\r\n#EXTINF:,x\r\n")
                                    << QStringLiteral("'' is not a valid integer value.");
    QTest::newRow("missing file") << QByteArray() << QString();
}

void MainFormTests::errorBoxShowsTheMessage() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    app::MessageBoxErrorReporter boxes;
    form = std::make_unique<ui::TMainForm>(
        options, ui::TMainForm::Dependencies{boxes, messages, dialogs, shell});
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    QString path = dir->filePath(QStringLiteral("missing.m3u"));
    if (!bytes.isEmpty())
        path = Write("bad.m3u", bytes);
    if (text.isEmpty())
        text = QStringLiteral("Cannot open file \"%1\". %2.")
                   .arg(test::SystemPath(path),
                        test::FaultText(test::Fault::Missing, "No such file or directory"));

    QString shownText;
    QString shownCaption;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    int buttons = 0;
    test::CloseNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        shownText = box->text();
        shownCaption = box->windowTitle();
        shownIcon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
    });
    Open(path);
    QCOMPARE(shownText, text);
    QCOMPARE(shownCaption, QStringLiteral("Skaldrun"));
    QCOMPARE(shownIcon, QMessageBox::Critical);
    QCOMPARE(buttons, 1);
    // The window takes commands again, in the state the failing load left.
    QVERIFY(OpenButton()->isEnabled());
    QCOMPARE(StatusText()->text(), QStringLiteral("Пусто"));
}

void MainFormTests::openFaultsLeaveTheWindowUsable_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("box"); // %1 stands for the path
    const QString cannot = QStringLiteral("Cannot open file \"%1\". ");
    using test::Fault;
    using test::FaultText;
    QTest::newRow("deleted after the dialog")
        << "deleted" << cannot + FaultText(Fault::Missing, "No such file or directory") + u'.';
    QTest::newRow("a folder") << "folder"
                              << cannot + FaultText(Fault::Folder, "Is a directory") + u'.';
#ifndef _WIN32
    QTest::newRow("a FIFO without writer") << "fifo" << cannot + "Illegal seek.";
    QTest::newRow("a device") << "/dev/zero" << cannot + "Invalid argument.";
#endif
    QTest::newRow("a sparse file over the capacity") << "sparse"
                                                     << "Text exceeds memo capacity.";
}

void MainFormTests::openFaultsLeaveTheWindowUsable() {
    QFETCH(QString, fault);
    QFETCH(QString, box);
    QString path = dir->filePath(QStringLiteral("fault.m3u"));
    if (fault == u"deleted") {
        Write("fault.m3u", "#EXTM3U\r\n");
        QFile::remove(path);
    } else if (fault == u"folder") {
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("fault.m3u")));
#ifndef _WIN32
    } else if (fault == u"fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
    } else if (fault == u"sparse") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64{256} * 1024 * 1024 + 1));
    } else {
        path = fault;
    }
    Open(path);
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(QString::fromLocal8Bit(ErrorBoxText(errors.messages.front())),
             box.contains(u"%1") ? box.arg(test::SystemPath(path)) : box);
    QCOMPARE(StatusText()->text(), QStringLiteral("Пусто"));
    QVERIFY(SourceView()->PlainText().isEmpty());

    const QString good = Sample("cr-only.m3u");
    Open(good);
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(StatusText()->text(), test::SystemPath(good));
    QVERIFY(ListView()->PlainText().startsWith(QStringLiteral("1.Intro")));
}

void MainFormTests::helpItemsOpenTheSitePages() {
    for (const char* name : {"N3", "N4", "N5", "N2"})
        QVERIFY(test::Trigger(Child<QAction>(name)));
    QCOMPARE(shell.requests,
             (QStringList{
                 QStringLiteral("https://skaldrun.org/software.htm?name=skaldr&update=1&build=%1")
                     .arg(kBuildNumber),
                 QStringLiteral("https://skaldrun.org/software.htm"),
                 QStringLiteral("https://skaldrun.org"),
                 QStringLiteral("https://skaldrun.org/support/")}));
    QVERIFY(messages.messages.empty()); // a page that opens says nothing
    // Without a browser on the desktop, the address is given to open by hand.
    shell.opens = false;
    QVERIFY(test::Trigger(Child<QAction>("N2")));
    QCOMPARE(messages.messages.size(), 1U);
    QVERIFY(QString::fromStdString(messages.messages.front())
                .endsWith(QStringLiteral("Адрес страницы: https://skaldrun.org/support/")));
}

void MainFormTests::exitClosesTheWindow() {
    Open(Sample("cr-only.m3u"));
    QVERIFY(test::Trigger(Child<QAction>("Exit1")));
    QVERIFY(!form->isVisible());
}

// A PLS and an XSPF open as lists; the source view shows the file as it is.
void MainFormTests::plsAndXspfOpenAsTheListsTheyAre() {
    const struct {
        const char* sample;
        QString list;
    } rows[] = {
        {"radio.pls", QStringLiteral("1.(#1 - 12/500) Example FM - Новости и музыка\n2.Band - "
                                     "Second Song  <4:01>\n3. Third.mp3  <1:15>\n")},
        {"evening.xspf", QStringLiteral("1.Orchestra - Opening Theme  <3:32>\n2.Песня <live>  "
                                        "<62:05>\n3.Radio\n")},
    };
    for (const auto& row : rows) {
#ifndef SKALDRUN_HAVE_EXPAT
        if (QByteArray(row.sample).endsWith(".xspf"))
            continue;
#endif
        Open(Sample(row.sample));
        QCOMPARE(ListView()->PlainText(), row.list);
        QCOMPARE(QByteArray::fromStdString(SourceView()->Text()).replace("\r\n", "\n"),
                 Read(Sample(row.sample)).replace("\r\n", "\n"));
        QVERIFY(ExportEnabled());
    }
}

// The path keeps the left and is cut before the total; a failed load leaves no total.
// The playlists of tests/data/formats, as the command's test reads them: each shows the list of
// the M3U it amounts to, or gets a box where its message is due.
void MainFormTests::formatSamplesOpenAsTheirM3u_data() {
    QTest::addColumn<QString>("sample");
    const QDir folder(Sample("formats"));
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
#ifndef SKALDRUN_HAVE_EXPAT
        if (name.endsWith(QLatin1String(".xspf")))
            continue;
#endif
        if (!name.endsWith(QLatin1String(".same.m3u")) && !name.endsWith(QLatin1String(".error")) &&
            !name.endsWith(QLatin1String(".args")))
            QTest::newRow(qPrintable(name)) << folder.filePath(name);
    }
}

void MainFormTests::formatSamplesOpenAsTheirM3u() {
    QFETCH(QString, sample);
    const QString stem = sample.left(sample.lastIndexOf(QLatin1Char('.')));
    for (const QByteArray& arg : Read(stem + QStringLiteral(".args")).split('\n')) {
        if (!arg.startsWith("--encoding="))
            continue;
        const QString page = QString::fromLatin1(arg.mid(11));
        for (QAction* action : form->findChildren<QAction*>())
            if (action->objectName().startsWith(QLatin1String("Encoding")) &&
                action->text().compare(page, Qt::CaseInsensitive) == 0)
                action->trigger();
    }
    const std::size_t boxes = errors.messages.size() + messages.messages.size();
    Open(sample);
    if (QFile::exists(stem + QStringLiteral(".error"))) {
        QCOMPARE(errors.messages.size() + messages.messages.size(), boxes + 1);
        return;
    }
    QCOMPARE(errors.messages.size() + messages.messages.size(), boxes);
    const QString list = ListView()->PlainText();
    Open(stem + QStringLiteral(".same.m3u"));
    QCOMPARE(list, ListView()->PlainText());
}

void MainFormTests::theTotalKeepsTheRightOfTheStatusLine() {
    auto* total = Child<QLabel>("TotalLabel");
    const QWidget* line = Child<QWidget>("StatusPanel");
    Open(Sample("hls-media.m3u8"));
    QCOMPARE(total->text(), QStringLiteral("13 треков, 0:00:49"));
    QVERIFY(total->isVisible());
    QVERIFY(total->geometry().right() < line->width() - 1);
    QVERIFY(total->x() > StatusText()->geometry().right());
    QCOMPARE(StatusText()->width(), StatusText()->sizeHint().width()); // whole where it fits

    const QString folders = QString(40, u'd') + u'/' + QString(40, u'e') + u'/' + QString(40, u'f');
    QVERIFY(QDir(dir->path()).mkpath(folders));
    const QString deep = Write((folders + QStringLiteral("/list.m3u")).toLatin1().constData(),
                               "#EXTM3U\r\n#EXTINF:-1,Radio\r\n");
    Open(deep);
    QCOMPARE(StatusText()->text(), test::SystemPath(deep));
    QCOMPARE(total->text(), QStringLiteral("1 трек, 0:00:00, 1 без длительности"));
    QVERIFY(StatusText()->width() < StatusText()->sizeHint().width());
    QVERIFY(StatusText()->geometry().right() < total->x());

    Open(Sample("not-a-playlist.m3u"));
    QVERIFY(!total->isVisible());
    QCOMPARE(StatusText()->width(), StatusText()->sizeHint().width());
}

// Each shape from the playlist with the parameters, not from the list's edits; a name without
// an extension gets the shape's; JSON read back by a real parser.
void MainFormTests::exportsAreMadeFromThePlaylistInEachShape() {
    form->activateWindow(); // shortcuts reach only the active window
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    auto* exportItem = Child<QAction>("Export1");
    QVERIFY(!exportItem->isEnabled());
    Open(Write("party.m3u", "#EXTM3U\r\n#EXTINF:185,01-A <b> & \"c\"\r\na.mp3\r\n"
                            "#EXTINF:-1,\xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE\r\nhttp://r\r\n"));
    QVERIFY(exportItem->isEnabled());
    QVERIFY(Child<QToolButton>("ExportSpeedButton")->isEnabled());
    ListView()->setFocus();
    QTest::keyClick(ListView(), Qt::Key_Delete); // an edit of the list, which exports ignore
    const QByteArray radio = "\xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE";
    const struct {
        const char* name;
        const char* file;
        QByteArray bytes; // empty: checked below
    } rows[] = {
        {"list", "list.txt", "1.A <b> & \"c\"  <3:05>\r\n2." + radio + "\r\n"},
        {"chapters.txt", "chapters.txt", "0:00 A <b> & \"c\"\r\n3:05 " + radio + "\r\n"},
        {"table", "table.csv",
         "\xEF\xBB\xBFnumber,title,length,start,path\r\n1,\"A <b> & \"\"c\"\"\",185,0:00,a.mp3\r\n"
         "2," +
             radio + ",,3:05,http://r\r\n"},
        {"page", "page.html", {}},
        {"data", "data.json", {}},
    };
    for (int shape = 0; shape < 5; ++shape) {
        dialogs.exportAnswers.push_back(
            {dir->filePath(QString::fromLatin1(rows[shape].name)), shape});
        QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier);
        const QByteArray bytes = Read(dir->filePath(QString::fromLatin1(rows[shape].file)));
        if (!rows[shape].bytes.isEmpty())
            QCOMPARE(bytes, rows[shape].bytes);
    }
    const QString page = QString::fromUtf8(Read(dir->filePath(QStringLiteral("page.html"))));
    for (const QString& part : {QStringLiteral("<title>party</title>"),
                                QStringLiteral("<td>A &lt;b&gt; &amp; &quot;c&quot;</td>"),
                                QStringLiteral("<p>2 трека, 0:03:05, 1 без длительности</p>")})
        QVERIFY2(page.contains(part), qPrintable(part));
    QJsonParseError error{};
    const QJsonDocument json =
        QJsonDocument::fromJson(Read(dir->filePath(QStringLiteral("data.json"))), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonArray entries = json.array();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0][QStringLiteral("title")].toString(), QStringLiteral("A <b> & \"c\""));
    QCOMPARE(entries[0][QStringLiteral("length")].toDouble(), 185.0);
    QCOMPARE(entries[0][QStringLiteral("path")].toString(), QStringLiteral("a.mp3"));
    QCOMPARE(entries[1][QStringLiteral("title")].toString(), QStringLiteral("Радио"));
    QVERIFY(entries[1][QStringLiteral("length")].isNull());
    QCOMPARE(entries[1][QStringLiteral("start")].toDouble(), 185.0);

    dialogs.exportAnswers.push_back({QString(), 0}); // cancelled: nothing written
    Click(Child<QToolButton>("ExportSpeedButton"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 6);
}

// The same bytes in the chosen code page in both views, an export in UTF-8 from it, and Save
// keeping the bytes; the choice stays for the next playlist.
void MainFormTests::aChosenCodePageReshowsBothViewsAndDecodesExports() {
    const QByteArray koi8 = "#EXTM3U\r\n#EXTINF:61,\xEB\xC9\xCE\xCF\r\nk.mp3\r\n";
    Open(Write("koi8.m3u", koi8));
    QVERIFY(Child<QAction>("EncodingAuto")->isChecked());
    QVERIFY(!ListView()->PlainText().startsWith(QStringLiteral("1.Кино")));
    QVERIFY(test::Trigger(Child<QAction>("EncodingKoi8R")));
    QVERIFY(!Child<QAction>("EncodingAuto")->isChecked());
    QCOMPARE(ListView()->PlainText(), QStringLiteral("1.Кино  <1:01>\n"));
    QCOMPARE(SourceView()->PlainText(), QStringLiteral("#EXTM3U\n#EXTINF:61,Кино\nk.mp3\n"));

    dialogs.exportAnswers.push_back({dir->filePath(QStringLiteral("koi8.csv")), 2});
    QVERIFY(test::Trigger(Child<QAction>("Export1")));
    QCOMPARE(Read(dir->filePath(QStringLiteral("koi8.csv"))),
             "\xEF\xBB\xBFnumber,title,length,start,path\r\n1," + QStringLiteral("Кино").toUtf8() +
                 ",61,0:00,k.mp3\r\n");
    dialogs.saveAnswers.push_back(dir->filePath(QStringLiteral("kept")));
    Click(SaveButton());
    QCOMPARE(Read(dir->filePath(QStringLiteral("kept.txt"))), "1.\xEB\xC9\xCE\xCF  <1:01>\r\n");

    Open(Write("other.m3u", "#EXTM3U\r\n#EXTINF:5,\xF0\xC5\xD3\xCE\xD1\r\n"));
    QCOMPARE(ListView()->PlainText(), QStringLiteral("1.Песня  <0:05>\n"));
    QVERIFY(test::Trigger(Child<QAction>("EncodingAuto")));
}

// Pixel art widened pixel for pixel for scales 1.25 to 2, so Qt never blurs a smaller one.
void MainFormTests::imagesHaveTheirOwnSizesAtScalesUpToTwo() {
    for (const char* name : {"Open1", "SaveAction", "Copy1", "Parametr1", "Export1"}) {
        const QIcon icon = Child<QAction>(name)->icon();
        const QList<QSize> sizes = icon.availableSizes();
        for (const int side : {16, 20, 24, 28, 32})
            QVERIFY2(
                sizes.contains(QSize(side, side)),
                qPrintable(
                    QStringLiteral("%1 has no %2 px").arg(QString::fromLatin1(name)).arg(side)));
        // The doubled image is the small one, pixel for pixel.
        const QImage small = icon.pixmap(QSize(16, 16), 1.0).toImage();
        const QImage big = icon.pixmap(QSize(32, 32), 1.0).toImage();
        QCOMPARE(big.size(), QSize(32, 32));
        QCOMPARE(big.pixel(31, 31), small.pixel(15, 15));
        QCOMPARE(big.pixel(10, 21), small.pixel(5, 10));
    }
}

QTEST_MAIN(MainFormTests)
#include "MainFormTests.moc"
