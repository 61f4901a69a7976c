// Copy, Save and the clipboard of the main window: what reaches the clipboard and the file, and
// that neither loses anything when a step fails.

#include "MainFormFixture.h"
#include "app/MessageBoxErrorReporter.h"
#include "core/Version.h"
#include "ui/Main/MainForm.h"
#include "ui/Param/ParamForm.h"
#include "ui/TextView/TextView.h"

#include <QAbstractItemView>
#include <QAccessible>
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

class ListCommandTests : public test::MainFormFixture {
    Q_OBJECT

private slots:
    void init() { OpenWindow(); }
    void cleanup() { CloseWindow(); }

    void copyTakesTheSelectionOrEverything();
    void copiesOfSelectionsAreTheSelectedBytes_data();
    void copiesOfSelectionsAreTheSelectedBytes();
    void selectionShowsOnlyWithTheFocus();
    void autoCopyPutsTheWholeListOnTheClipboard();
    void clipboardOutlivesTheListItCameFrom_data();
    void clipboardOutlivesTheListItCameFrom();
    void savesTheEditedViewWithTxtAppended();
    void windows1251PlaylistIsSavedByteForByte();
    void saveFaultsLeaveTheWindowUsable_data();
    void saveFaultsLeaveTheWindowUsable();
    void screenReadersCountBothViewsAsTheyReadThem();
};

void ListCommandTests::copyTakesTheSelectionOrEverything() {
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

void ListCommandTests::copiesOfSelectionsAreTheSelectedBytes_data() {
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
void ListCommandTests::copiesOfSelectionsAreTheSelectedBytes() {
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

void ListCommandTests::selectionShowsOnlyWithTheFocus() {
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

    // A press on the hidden selection is a click: it places the caret and drags nothing out.
    const QPoint onText = memo->CharacterRect(3).center();
    QTest::mousePress(memo->viewport(), Qt::LeftButton, {}, onText);
    QTRY_VERIFY(memo->hasFocus());
    QCOMPARE(memo->SelectionStart(), memo->SelectionEnd());
    QTest::mouseRelease(memo->viewport(), Qt::LeftButton, {}, onText);
    QCOMPARE(memo->SelectionStart(), memo->SelectionEnd());
}

void ListCommandTests::autoCopyPutsTheWholeListOnTheClipboard() {
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

void ListCommandTests::clipboardOutlivesTheListItCameFrom_data() {
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
void ListCommandTests::clipboardOutlivesTheListItCameFrom() {
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

void ListCommandTests::savesTheEditedViewWithTxtAppended() {
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

void ListCommandTests::windows1251PlaylistIsSavedByteForByte() {
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

    // What windows-1251 cannot hold is refused with a word, never saved as '?'.
    messages.messages.clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("Жх日🎵"));
    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_Udiaeresis, Qt::NoModifier, QStringLiteral("ü"));
    QApplication::sendEvent(memo, &typed);
    QCOMPARE(memo->Text(), std::string("1.a\x98z  <0:01>\r\nok"));
    QCOMPARE(messages.messages,
             (std::vector<std::string>{
                 "Символы «日🎵» нельзя сохранить в кодировке списка (windows-1251), текст не "
                 "вставлен.",
                 "Символы «ü» нельзя сохранить в кодировке списка (windows-1251), текст не "
                 "вставлен."}));
}

void ListCommandTests::saveFaultsLeaveTheWindowUsable_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    using test::Fault;
    using test::FaultText;
#ifndef Q_OS_WIN
    QTest::newRow("a full disk") << "full"
                                 << "Stream write error";
#endif
    QTest::newRow("a missing folder")
        << "missing" << FaultText(Fault::MissingFolder, "No such file or directory");
    QTest::newRow("a folder in the way") << "folder" << FaultText(Fault::Folder, "Is a directory");
}

void ListCommandTests::saveFaultsLeaveTheWindowUsable() {
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
        message = QStringLiteral("Cannot create file \"%1\". %2")
                      .arg(test::SystemPath(chosen + QStringLiteral(".txt")), message);

    dialogs.saveAnswers.push_back(chosen);
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(QString::fromLocal8Bit(errors.messages.front()), message);
    QVERIFY(ExportEnabled());
    QCOMPARE(StatusText()->text(), test::SystemPath(playlist));

    const QString good = dir->filePath(QStringLiteral("good"));
    dialogs.saveAnswers.push_back(good);
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    QCOMPARE(errors.messages.size(), 1U);
    QCOMPARE(Read(good + QStringLiteral(".txt")),
             QByteArray("1.Intro  <1:03>\r\n2.Long Mix, Part 2  <62:05>\r\n"));
}

// A screen reader's count of characters is the length of the text it reads, in both views, for
// playlists with CR LF and with LF breaks.
void ListCommandTests::screenReadersCountBothViewsAsTheyReadThem() {
    QAccessible::setActive(true);
    for (const char* sample : {"cr-only.m3u", "lf-with-options.m3u", "iptv.m3u"}) {
        Open(Sample(sample));
        for (ui::TextView* view : {SourceView(), ListView()}) {
            QAccessibleTextInterface* text =
                QAccessible::queryAccessibleInterface(view)->textInterface();
            const int count = text->characterCount();
            QCOMPARE(text->text(0, count), view->PlainText());
            QCOMPARE(count, view->PlainText().size());
        }
    }
    QAccessible::setActive(false);
}

QTEST_MAIN(ListCommandTests)
#include "ListCommandTests.moc"
