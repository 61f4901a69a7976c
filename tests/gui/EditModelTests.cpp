// The view's parts without a widget: the edit model's commands, the selection it shares, and
// the geometry of rows in a view of some height.

#include "ui/TextView/EditModel.h"
#include "ui/TextView/ViewGeometry.h"

#include <QFontDatabase>
#include <QTest>
#include <string>

using namespace skaldrun;
using namespace skaldrun::ui;

namespace {

// The parts a view puts together, laid out 200 pixels wide in the fixed font.
struct Parts final : EditModel::Listener {
    explicit Parts(std::string bytes, int height = 1000)
        : viewHeight(height) {
        text.Show(std::make_shared<TextDocument>(std::move(bytes)));
        layouts.SetFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        layouts.SetWidth(200);
    }
    void CaretMoved() override { ++moves; }
    void NotKept(const QString& characters) override { notKept += characters; }
    std::string Text() const { return text.Document().Text(); }

    ShownText text;
    LayoutCache layouts{text};
    TextRows rows{layouts};
    TextUnits units{text, layouts, rows};
    int viewHeight;
    ViewGeometry geometry{layouts, rows, [this] { return viewHeight; }};
    EditModel model{text, units, rows, *this};
    int moves = 0;
    QString notKept;
};

} // namespace

class EditModelTests : public QObject {
    Q_OBJECT

private slots:
    void commandsEditAndMoveByBytes_data();
    void commandsEditAndMoveByBytes();
    void selectionFollowsEditsOthersMake();
    void selectionIsSharedNotCopied();
    void pagesHoldTheRowsOnScreen();
};

using Command = void (*)(Parts&);
Q_DECLARE_METATYPE(Command)

void EditModelTests::commandsEditAndMoveByBytes_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("caret");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<Command>("command");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("anchorAfter");
    QTest::addColumn<int>("caretAfter");

    const auto row = [](const char* name, const char* before, int anchor, int caret,
                        Command command, const char* after, int anchorAfter, int caretAfter,
                        bool readOnly = false) {
        QTest::newRow(name) << QByteArray(before) << anchor << caret << readOnly << command
                            << QByteArray(after) << anchorAfter << caretAfter;
    };
    // "e" and a combining acute accent: one character on screen, two code points.
    row(
        "right over CR LF", "a\r\nb", 1, 1, [](Parts& p) { p.model.StepCharacter(true, false); },
        "a\r\nb", 3, 3);
    row(
        "right over an accent", "e\xCC\x81x", 0, 0,
        [](Parts& p) { p.model.StepCharacter(true, false); }, "e\xCC\x81x", 3, 3);
    row(
        "right ends a selection", "abcd", 1, 3,
        [](Parts& p) { p.model.StepCharacter(false, false); }, "abcd", 1, 1);
    row(
        "backspace takes the accent alone", "e\xCC\x81x", 3, 3,
        [](Parts& p) { p.model.DeleteSelectionOr(false); }, "ex", 1, 1);
    row(
        "delete takes the whole character", "e\xCC\x81x", 0, 0,
        [](Parts& p) { p.model.DeleteSelectionOr(true); }, "x", 0, 0);
    row(
        "delete takes CR LF whole", "a\r\nb", 1, 1,
        [](Parts& p) { p.model.DeleteSelectionOr(true); }, "ab", 1, 1);
    row(
        "a typed break is CR LF", "ab", 1, 1,
        [](Parts& p) { p.model.Insert(QStringLiteral("\n"), false); }, "a\r\nb", 3, 3);
    row(
        "typing replaces the selection", "abcd", 3, 1,
        [](Parts& p) { p.model.Insert(QStringLiteral("\u00E9"), true); },
        "a\xC3\xA9"
        "d",
        3, 3);
    row(
        "word deleted back", "one two", 7, 7, [](Parts& p) { p.model.DeleteWord(false); }, "one ",
        4, 4);
    row(
        "line end with a selection", "ab\r\ncd\r\nef", 1, 5,
        [](Parts& p) { p.model.DeleteToLineEnd(); }, "a\r\nef", 1, 1);
    row(
        "undo puts it back", "abc", 3, 3,
        [](Parts& p) {
            p.model.DeleteSelectionOr(false);
            p.model.Undo();
        },
        "abc", 3, 3);
    row(
        "read-only moves but keeps", "abc", 0, 0,
        [](Parts& p) {
            p.model.Insert(QStringLiteral("x"), true);
            p.model.StepCharacter(true, true);
        },
        "abc", 0, 1, true);
    row(
        "a page goes as far as it can in the column", "ab\r\ncd", 1, 1,
        [](Parts& p) { p.model.StepRows(3, false); }, "ab\r\ncd", 5, 5);
    row(
        "down past the last row selects to the end", "ab\r\ncd", 5, 5,
        [](Parts& p) { p.model.StepRows(1, true); }, "ab\r\ncd", 5, 6);
    row(
        "a plain step past the last row stays", "ab\r\ncd", 5, 5,
        [](Parts& p) { p.model.StepRows(1, false); }, "ab\r\ncd", 5, 5);
    row(
        "down and up keep the column past a short line", "abcdef\r\nx\r\nabcdef", 5, 5,
        [](Parts& p) {
            p.model.StepRows(2, false);
            p.model.StepRows(-1, false);
            p.model.StepRows(-1, false);
        },
        "abcdef\r\nx\r\nabcdef", 5, 5);
    row(
        "input method takes back two units", "abcd", 3, 3,
        [](Parts& p) { p.model.Commit(QStringLiteral("X"), -2, 2); }, "aXd", 2, 2);
    row(
        "a drag after a double click goes by words", "one two three", 0, 0,
        [](Parts& p) {
            p.model.ClickWord(5);
            p.model.DragTo(9, p.rows.XOf(12)); // nearer the end of "three"
        },
        "one two three", 4, 13);
    row(
        "and back by words keeps the clicked one", "one two three", 0, 0,
        [](Parts& p) {
            p.model.ClickWord(9);
            p.model.DragTo(1, p.rows.XOf(1)); // nearer the start of "one"
        },
        "one two three", 13, 0);
    row(
        "a double click after a word's last letter takes the word", "one two", 0, 0,
        [](Parts& p) { p.model.ClickWord(3); }, "one two", 0, 3);
    row(
        "a double click past a line's end takes nothing", "1.a  <3:05>\r\nb", 0, 0,
        [](Parts& p) { p.model.ClickWord(11); }, "1.a  <3:05>\r\nb", 11, 11);
    row(
        "Shift and a click after a double click go by words", "one two three", 0, 0,
        [](Parts& p) {
            p.model.ClickWord(1);
            p.model.DragTo(9, p.rows.XOf(9)); // nearer the start of "three"
        },
        "one two three", 0, 8);
    row(
        "a moved text stays selected", "ab cd", 0, 0, [](Parts& p) { p.model.MoveText(0, 2, 5); },
        " cdab", 3, 5);
}

void EditModelTests::commandsEditAndMoveByBytes() {
    QFETCH(QByteArray, before);
    QFETCH(int, anchor);
    QFETCH(int, caret);
    QFETCH(bool, readOnly);
    QFETCH(Command, command);
    QFETCH(QByteArray, after);
    QFETCH(int, anchorAfter);
    QFETCH(int, caretAfter);

    Parts parts(before.toStdString());
    parts.model.SetReadOnly(readOnly);
    parts.model.Select(anchor, caret);
    command(parts);
    QCOMPARE(QByteArray::fromStdString(parts.Text()), after);
    QCOMPARE(parts.model.Selection(), (TextSelection{static_cast<std::size_t>(anchorAfter),
                                                     static_cast<std::size_t>(caretAfter)}));
    if (parts.model.Selection() !=
        TextSelection{static_cast<std::size_t>(anchor), static_cast<std::size_t>(caret)})
        QVERIFY(parts.moves > 0); // every act of the user's shows its caret
}

// Another view of the same document, or its owner, edits it: the selection stays on its text.
void EditModelTests::selectionFollowsEditsOthersMake() {
    Parts parts("abc\r\ndef");
    TextDocument& document = parts.text.Document();
    struct Follower final : TextDocument::Watcher {
        explicit Follower(EditModel& m)
            : model(m) {}
        void TextChanged(const TextChange& change) override { model.Follow(change); }
        EditModel& model;
    } follower(parts.model);
    document.Watch(follower);

    parts.model.Select(5, 7); // "de"
    document.Replace(0, 0, "xy");
    QCOMPARE(parts.model.Selection(), (TextSelection{7, 9}));
    document.Replace(8, 10, ""); // from inside the selection to past it
    QCOMPARE(parts.model.Selection(), (TextSelection{7, 8}));
    document.Replace(3, 3, "\n"); // "xya\nbc\r\nf": an offset after it moves on
    QCOMPARE(parts.model.Selection(), (TextSelection{8, 9}));
    document.Replace(0, document.Size(), "");
    QCOMPARE(parts.model.Selection(), TextSelection{});
    document.Unwatch(follower);
    QCOMPARE(parts.moves, 0); // none of it was the user's
}

void EditModelTests::selectionIsSharedNotCopied() {
    Parts parts("hello world");
    auto shared = std::make_shared<SelectionModel>();
    struct Counter final : SelectionModel::Watcher {
        void SelectionMoved() override { ++moved; }
        int moved = 0;
    } counter;
    shared->Watch(counter);
    parts.model.Share(shared);

    parts.model.SelectAll();
    QCOMPARE(shared->Get(), (TextSelection{0, 11}));
    shared->Set({11, 6}); // the owner selects; the model sees it at once
    QCOMPARE(parts.model.Selection(), (TextSelection{11, 6}));
    parts.model.SelectAll();
    QCOMPARE(counter.moved, 3);
    parts.model.SelectAll(); // no change, nobody told
    QCOMPARE(counter.moved, 3);
    shared->Unwatch(counter);
}

// Rows of one height: a page holds the rows wholly on screen, scrolling stops where the last row
// stands at the bottom, and showing an offset scrolls no more than it must.
void EditModelTests::pagesHoldTheRowsOnScreen() {
    std::string bytes;
    for (int i = 0; i < 40; ++i)
        bytes += "line " + std::to_string(i) + "\r\n";
    Parts parts(bytes);
    const int row = parts.rows.Height({0, 0});
    parts.viewHeight = 10 * row + row / 2; // half a row cut off, the margin above the first
    ViewGeometry& geometry = parts.geometry;

    QCOMPARE(geometry.PageRows(), 10);
    geometry.ScrollRows(1000);
    QCOMPARE(geometry.Top().segment, std::size_t{40 - 9}); // 41 lines, the last empty
    geometry.ScrollRows(-3);
    QCOMPARE(geometry.Top().segment, std::size_t{28});
    const std::size_t line5 = parts.text.Document().LineStart(5);
    geometry.EnsureVisible(line5);
    QCOMPARE(geometry.Top().segment, std::size_t{5});
    geometry.EnsureVisible(parts.text.Document().LineStart(14)); // the last whole row
    QCOMPARE(geometry.Top().segment, std::size_t{5});
    geometry.EnsureVisible(parts.text.Document().LineStart(15));
    QCOMPARE(geometry.Top().segment, std::size_t{6});

    const std::size_t line6 = parts.text.Document().LineStart(6);
    const QRect place = geometry.CharacterRect(line6 + 2);
    QVERIFY(!place.isEmpty());
    QCOMPARE(geometry.OffsetAt(place.center()), line6 + 2);
    QVERIFY(geometry.CharacterRect(parts.text.Document().LineStart(30)).isEmpty());
}

QTEST_MAIN(EditModelTests)
#include "EditModelTests.moc"
