#include "GuiTestSupport.h"
#include "app/MessageBoxErrorReporter.h"
#include "core/Version.h"
#include "ui/Main/MainForm.h"
#include "ui/Param/ParamForm.h"
#include "ui/TextView/TextView.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFile>
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

class MainFormTests : public test::GuiTestBase {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startState();
    void stateAfterEachKindOfLoad_data();
    void stateAfterEachKindOfLoad();
    void choosingSelectorItems();
    void iptvListWithAHeaderAndQuotedCommasConverts();
    void cancelledDialogsChangeNothing();
    void copyTakesTheSelectionOrEverything();
    void copiesOfSelectionsAreTheSelectedBytes_data();
    void copiesOfSelectionsAreTheSelectedBytes();
    void hiddenViewGetsItsTextWhenFirstShown();
    void waitCursorIsGoneOnEveryPath();
    void reloadUnderOkShowsItsStateBeforeTheErrorBox();
    void selectionShowsOnlyWithTheFocus();
    void selectorListDropsBelowWithSmallItems();
    void playlistFromTheCommandLine();
    void droppedFilesOpenAndNeverBecomeText();
    void shortcutsFollowTheirCommands();
    void everyControlHasAName();
    void autoCopyPutsTheWholeListOnTheClipboard();
    void clipboardOutlivesTheListItCameFrom_data();
    void clipboardOutlivesTheListItCameFrom();
    void savesTheEditedViewWithTxtAppended();
    void windows1251PlaylistIsSavedByteForByte();
    void errorBoxShowsTheMessage_data();
    void errorBoxShowsTheMessage();
    void openFaultsLeaveTheWindowUsable_data();
    void openFaultsLeaveTheWindowUsable();
    void saveFaultsLeaveTheWindowUsable_data();
    void saveFaultsLeaveTheWindowUsable();
    void helpItemsOpenTheSitePages();
    void exitClosesTheWindow();

private:
    template <typename T>
    T* Child(const char* name) const {
        return GuiTestBase::Child<T>(form.get(), name);
    }
    ui::TextView* SourceView() const { return GuiTestBase::SourceView(form.get()); }
    ui::TextView* ListView() const { return GuiTestBase::ListView(form.get()); }
    QComboBox* ViewSelector() const { return GuiTestBase::ViewSelector(form.get()); }
    QLabel* StatusText() const { return GuiTestBase::StatusText(form.get()); }
    QToolButton* OpenButton() const { return GuiTestBase::OpenButton(form.get()); }
    QToolButton* SaveButton() const { return GuiTestBase::SaveButton(form.get()); }
    QToolButton* CopyButton() const { return GuiTestBase::CopyButton(form.get()); }
    void Open(const QString& path) {
        dialogs.openAnswers.push_back(path);
        QTest::mouseClick(OpenButton(), Qt::LeftButton);
    }
    bool ExportEnabled() const {
        const bool save = SaveButton()->isEnabled();
        const bool copy = CopyButton()->isEnabled();
        const bool menu = Child<QAction>("Copy1")->isEnabled();
        if (save != copy || copy != menu)
            qFatal("export commands disagree");
        return save;
    }

    std::unique_ptr<ui::TMainForm> form;
};

void MainFormTests::init() {
    options = {};
    dialogs = {};
    shell.requests.clear();
    messages = {};
    errors = {};

    NewFolder();
    form = std::make_unique<ui::TMainForm>(
        options, ui::TMainForm::Dependencies{errors, messages, dialogs, shell});
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

void MainFormTests::cleanup() {
    form.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows)
        qWarning() << "left behind:" << w;
    QVERIFY(windows.isEmpty());
}

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
    QCOMPARE(StatusText()->text(), statusIsPath ? path : QStringLiteral("Пусто"));
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

    QCOMPARE(StatusText()->text(), path);
    QCOMPARE(ListView()->PlainText(), converted);
    QVERIFY(form->Controller().PlaylistLoaded());

    dialogs.saveAnswers.push_back(QString());
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QVERIFY(QDir(dir->path()).isEmpty());
}

void MainFormTests::copyTakesTheSelectionOrEverything() {
    options.AutoCopy = false;
    Open(Sample("cr-only.m3u"));
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));

    // The user selects in the view, so it has the focus.
    auto* memo = ListView();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    memo->setFocus();
    QTRY_VERIFY(memo->hasFocus());
    test::SelectCharacters(memo, 2, 7);
    QTest::mouseClick(CopyButton(), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Intro"));

    // Copy and Save leave the selection as the user made it: the next Shift+Right goes on.
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_Home);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(memo, Qt::Key_Right, Qt::ShiftModifier);
    QTest::mouseClick(CopyButton(), Qt::LeftButton);
    dialogs.saveAnswers.push_back(dir->filePath(QStringLiteral("kept")));
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QTest::keyClick(memo, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(memo->SelectedText(), QStringLiteral("1.Int"));

    test::SelectCharacters(memo, 7, 7);
    QVERIFY(test::Trigger(Child<QAction>("Copy1")));
    QVERIFY2(errors.messages.empty(),
             errors.messages.empty() ? "" : errors.messages.front().c_str());
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("1.Intro  <1:03>\n2.Long Mix, Part 2  <62:05>\n"));
    QCOMPARE(memo->SelectedText().size(), memo->PlainText().size());
}

void MainFormTests::copiesOfSelectionsAreTheSelectedBytes_data() {
    QTest::addColumn<QByteArray>("playlist");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to"); // -1: the end
    QTest::addColumn<QString>("copied");
    const QByteArray kino = Read(Sample("ansi-cp1251.m3u"));
    const QString kinoText = QStringLiteral("1.Кино - 01 - Группа крови  <4:05>\n"
                                            "2.Кино - 02 - Закрой за мной дверь  <5:01>\n"
                                            "3.Радио Рекорд\n");
    const QByteArray utf8 = "#EXTM3U\r\n#EXTINF:61,Björk 😀 Кино\r\na\r\n#EXTINF:245,Ёж\r\nb\r\n";
    const QString utf8Text = QStringLiteral("1.Björk 😀 Кино  <1:01>\n2.Ёж  <4:05>\n");
    for (const auto& [name, playlist, text] :
         {std::tuple{"windows-1251", kino, kinoText}, std::tuple{"UTF-8", utf8, utf8Text}}) {
        QTest::addRow("%s, all", name) << playlist << false << 0 << -1 << text;
        QTest::addRow("%s, middle to end", name) << playlist << false << 11 << -1 << text.mid(11);
        QTest::addRow("%s, start to middle", name) << playlist << false << 0 << 13 << text.left(13);
        QTest::addRow("%s, middle", name) << playlist << false << 11 << 26 << text.mid(11, 15);
        QTest::addRow("%s, all after an edit", name)
            << playlist << true << 0 << -1 << QStringLiteral("Я") + text;
        QTest::addRow("%s, middle to end after an edit", name)
            << playlist << true << 12 << -1 << text.mid(11);
    }
}

// The clipboard gets exactly the selected part, however the selection lies against the ends.
void MainFormTests::copiesOfSelectionsAreTheSelectedBytes() {
    QFETCH(QByteArray, playlist);
    QFETCH(bool, edit);
    QFETCH(int, from);
    QFETCH(int, to);
    options.AutoCopy = false;
    Open(Write("list.m3u", playlist));
    auto* memo = ListView();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    memo->setFocus();
    QTRY_VERIFY(memo->hasFocus());
    if (edit) {
        QTest::keyClick(memo, Qt::Key_Home, Qt::ControlModifier);
        test::Type(memo, QStringLiteral("Я"));
    }
    test::SelectCharacters(memo, from, to < 0 ? memo->CharacterCount() : to);
    QTest::mouseClick(CopyButton(), Qt::LeftButton);
    QTEST(QGuiApplication::clipboard()->text(), "copied");
    QVERIFY(errors.messages.empty());
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

void MainFormTests::selectionShowsOnlyWithTheFocus() {
    Open(Sample("cr-only.m3u")); // the automatic copy selects the whole list
    auto* memo = ListView();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    const QColor highlight = memo->palette().color(QPalette::Active, QPalette::Highlight);
    const auto highlighted = [&] {
        const QImage image = memo->viewport()->grab().toImage();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == highlight)
                    return true;
            }
        }
        return false;
    };
    memo->setFocus();
    QTRY_VERIFY(memo->hasFocus());
    QVERIFY(highlighted());
    ViewSelector()->setFocus();
    QTRY_VERIFY(!memo->hasFocus());
    QVERIFY(!highlighted());
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
    QCOMPARE(StatusText()->text(), path);
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
    QCOMPARE(StatusText()->text(), Sample("cr-only.m3u"));
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QFile::exists(chosen + QStringLiteral(".txt")));
    QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!form->isVisible());
}

void MainFormTests::everyControlHasAName() {
    QCOMPARE(test::UnnamedControls(form.get()), QStringList());
}

void MainFormTests::autoCopyPutsTheWholeListOnTheClipboard() {
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    ViewSelector()->setFocus(); // the view itself has no focus
    Open(Sample("ansi-cp1251.m3u"));
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("1.Кино - 01 - Группа крови  <4:05>\n"
                            "2.Кино - 02 - Закрой за мной дверь  <5:01>\n3.Радио Рекорд\n"));
    // The selection the copy left shows once the view has the focus.
    auto* memo = ListView();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    memo->setFocus();
    QTRY_COMPARE(memo->SelectedText().size(), memo->PlainText().size());

    // The copy is made when asked for, and outlives the window and the bytes it came from.
    form.reset();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("1.Кино - 01 - Группа крови  <4:05>\n"
                            "2.Кино - 02 - Закрой за мной дверь  <5:01>\n3.Радио Рекорд\n"));
}

void MainFormTests::clipboardOutlivesTheListItCameFrom_data() {
    QTest::addColumn<bool>("autoCopy");
    QTest::addColumn<int>("key"); // what empties the list after the copy
    QTest::addColumn<QString>("then");
    QTest::newRow("auto copy, delete all, quit") << true << int(Qt::Key_Delete) << "quit";
    QTest::newRow("auto copy, cut all, quit") << true << int(Qt::Key_X) << "quit";
    QTest::newRow("cut all, reload") << false << int(Qt::Key_X) << "reload";
    QTest::newRow("cut all, open another") << false << int(Qt::Key_X) << "open";
    QTest::newRow("cut all, undo, open another") << false << int(Qt::Key_Z) << "open";
}

// Whatever happens to the list, its document or the window, the clipboard reads as copied.
void MainFormTests::clipboardOutlivesTheListItCameFrom() {
    QFETCH(bool, autoCopy);
    QFETCH(int, key);
    QFETCH(QString, then);
    options.AutoCopy = autoCopy;
    const QString first = Write("first.m3u", "#EXTM3U\r\n#EXTINF:61,First Song\r\n"
                                             "#EXTINF:62,Second\r\n");
    const QString copied = QStringLiteral("1.First Song  <1:01>\n2.Second  <1:02>\n");
    Open(first);
    auto* memo = ListView();
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    if (key == Qt::Key_Delete) {
        QTest::keyClick(memo, Qt::Key_Delete);
    } else {
        QTest::keyClick(memo, Qt::Key_X, Qt::ControlModifier);
        if (key == Qt::Key_Z)
            QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier);
    }
    QCOMPARE(memo->Size(), key == Qt::Key_Z ? memo->Size() : 0U);
    if (then == QLatin1String("quit")) {
        QVERIFY(test::Trigger(Child<QAction>("Exit1")));
        form.reset();
    } else if (then == QLatin1String("reload")) {
        form->LoadPlaylist();
    } else {
        Open(Write("other.m3u", "#EXTM3U\r\n#EXTINF:5,Other\r\n"));
    }
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void MainFormTests::savesTheEditedViewWithTxtAppended() {
    Open(Sample("cr-only.m3u"));
    auto* memo = ListView();
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    test::Type(memo, QStringLiteral("Три"));
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, QStringLiteral("last"));

    const QString chosen = dir->filePath(QStringLiteral("list"));
    dialogs.saveAnswers.push_back(chosen);
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QCOMPARE(Read(chosen + QStringLiteral(".txt")),
             QByteArray("1.Intro  <1:03>\r\n2.Long Mix, Part 2  <62:05>\r\nТри\r\nlast"));
    QVERIFY(!QFile::exists(chosen));
    QVERIFY(errors.messages.empty());
}

void MainFormTests::windows1251PlaylistIsSavedByteForByte() {
    Open(Sample("ansi-cp1251.m3u"));
    QCOMPARE(ListView()->PlainText().left(11), QStringLiteral("1.Кино - 01"));

    const QString chosen = dir->filePath(QStringLiteral("kino"));
    dialogs.saveAnswers.push_back(chosen);
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    const QByteArray expected =
        "1.\xCA\xE8\xED\xEE - 01 - \xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8  <4:05>\r\n"
        "2.\xCA\xE8\xED\xEE - 02 - \xC7\xE0\xEA\xF0\xEE\xE9 \xE7\xE0 \xEC\xED\xEE\xE9 "
        "\xE4\xE2\xE5\xF0\xFC  <5:01>\r\n"
        "3.\xD0\xE0\xE4\xE8\xEE \xD0\xE5\xEA\xEE\xF0\xE4\r\n";
    QCOMPARE(Read(chosen + QStringLiteral(".txt")), expected);

    // A byte windows-1251 leaves undefined survives an edit elsewhere in the text.
    const QString odd = Write("odd.m3u", "#EXTM3U\r\n#EXTINF:1,a\x98z\r\n");
    Open(odd);
    auto* memo = ListView();
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(memo, QStringLiteral("ok"));
    dialogs.saveAnswers.push_back(chosen);
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QCOMPARE(Read(chosen + QStringLiteral(".txt")), QByteArray("1.a\x98z  <0:01>\r\nok"));
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
        text = QStringLiteral("Cannot open file \"%1\". No such file or directory.").arg(path);

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
    QTest::newRow("deleted after the dialog") << "deleted" << cannot + "No such file or directory.";
    QTest::newRow("a folder") << "folder" << cannot + "Is a directory.";
    QTest::newRow("a FIFO without writer") << "fifo" << cannot + "Illegal seek.";
    QTest::newRow("a device") << "/dev/zero" << cannot + "Invalid argument.";
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
    } else if (fault == u"fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (fault == u"sparse") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64{256} * 1024 * 1024 + 1));
    } else {
        path = fault;
    }
    Open(path);
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(QString::fromStdString(ErrorBoxText(errors.messages.front())),
             box.contains(u"%1") ? box.arg(path) : box);
    QCOMPARE(StatusText()->text(), QStringLiteral("Пусто"));
    QVERIFY(SourceView()->PlainText().isEmpty());

    const QString good = Sample("cr-only.m3u");
    Open(good);
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(StatusText()->text(), good);
    QVERIFY(ListView()->PlainText().startsWith(QStringLiteral("1.Intro")));
}

void MainFormTests::saveFaultsLeaveTheWindowUsable_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("a full disk") << "full"
                                 << "Stream write error";
    QTest::newRow("a missing folder") << "missing"
                                      << "No such file or directory";
    QTest::newRow("a folder in the way") << "folder"
                                         << "Is a directory";
}

void MainFormTests::saveFaultsLeaveTheWindowUsable() {
    QFETCH(QString, fault);
    QFETCH(QString, message);
    const QString playlist = Sample("cr-only.m3u");
    Open(playlist);
    QString chosen = dir->filePath(QStringLiteral("list"));
    if (fault == u"full")
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), chosen + QStringLiteral(".txt")));
    else if (fault == u"missing")
        chosen = dir->filePath(QStringLiteral("no/list"));
    else
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("list.txt")));
    if (fault != u"full")
        message = QStringLiteral("Cannot create file \"%1.txt\". %2").arg(chosen, message);

    dialogs.saveAnswers.push_back(chosen);
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(QString::fromStdString(errors.messages.front()), message);
    QVERIFY(ExportEnabled());
    QCOMPARE(StatusText()->text(), playlist);

    const QString good = dir->filePath(QStringLiteral("good"));
    dialogs.saveAnswers.push_back(good);
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(Read(good + QStringLiteral(".txt")),
             QByteArray("1.Intro  <1:03>\r\n2.Long Mix, Part 2  <62:05>\r\n"));
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
}

void MainFormTests::exitClosesTheWindow() {
    Open(Sample("cr-only.m3u"));
    QVERIFY(test::Trigger(Child<QAction>("Exit1")));
    QVERIFY(!form->isVisible());
}

QTEST_MAIN(MainFormTests)
#include "MainFormTests.moc"
