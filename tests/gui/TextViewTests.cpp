// The text view driven as a user drives it: keys, the mouse, the clipboard, an input method and
// a screen reader, over UTF-8 and windows-1251 bytes.

#include "GuiTestSupport.h"
#include "ui/TextView/LayoutCache.h"
#include "ui/TextView/TextView.h"
#include "ui/TextView/TextViewAccessible.h"

#include <QAccessible>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSet>
#include <QTextLayout>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <functional>
#include <string>
#include <vector>

using namespace skaldrun;

namespace {

// Bytes as std::string, for comparing with what the view holds.
std::string Bytes(const char* text) {
    return text;
}

} // namespace

class TextViewTests : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void wrappedRowsMatchAWholeLayout();
    void caretStepsOverWholeCharactersAndBreaks_data();
    void caretStepsOverWholeCharactersAndBreaks();
    void upAndDownKeepTheColumnOnWrappedRows();
    void shortWrappedRowsKeepTheCaret();
    void selectionsAreBytes();
    void editsUndoAndRedoRoundTrip();
    void pastedAndCommittedTextIsEncoded();
    void clipboardTextIsASnapshotMadeWhenAsked();
    void screenReadersReadTextCaretAndSelection();
    void tabMovesTheFocusAndReadOnlyRefusesEdits();
    void contextMenuOffersWhatApplies();
    void deletingTheRowsOnScreenLeavesAUsableView();
    void scrollingStopsWhereTheTextEnds();
    void pageStepsOfTheBarSkipNoRow();
    void pagesAtTheEndAreWholePages_data();
    void pagesAtTheEndAreWholePages();
    void dragBeyondTheEdgeKeepsScrolling();
    void clicksTakeWordsAndLines();
    void draggedSelectionMovesAndStaysSelected();
    void longLinesAreCutBetweenWords_data();
    void longLinesAreCutBetweenWords();
    void laidOutLinesOutliveTheirNeighbours();
    void twoViewsOfOneDocumentFollowEachOther();
    void selectionsKeepTheirPlaceAsTheOtherViewReplaces_data();
    void selectionsKeepTheirPlaceAsTheOtherViewReplaces();
    void textDraggedOverTheViewShowsWhereItGoes();
    void wheelStepsAddUpAsInTheStockBox_data();
    void wheelStepsAddUpAsInTheStockBox();
    void everyOffsetReadsTheSameText();

private:
    void Show(const std::string& bytes, bool readOnly = false) {
        view->SetText({}); // before the bytes it shows change
        text = bytes;
        view->setReadOnly(readOnly);
        view->SetText(text);
        window->activateWindow(); // a menu that closed may have taken it
        view->setFocus();
        QTRY_VERIFY(view->hasFocus());
    }
    void Keys(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, int times = 1) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(view, static_cast<Qt::Key>(key), modifiers);
    }

    std::unique_ptr<QWidget> window;
    ui::TextView* view = nullptr;
    ui::TextView* other = nullptr;
    std::string text; // the owner's bytes the view shows
};

void TextViewTests::init() {
    window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    view = new ui::TextView;
    other = new ui::TextView;
    layout->addWidget(view);
    layout->addWidget(other);
    window->resize(300, 400);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TextViewTests::cleanup() {
    window.reset();
}

// A line wraps into as many rows as a layout of the whole line at the view's width gives.
void TextViewTests::wrappedRowsMatchAWholeLayout() {
    std::string line;
    for (int i = 0; i < 60; ++i)
        line += "Кино - Группа крови " + std::to_string(i) + ", ";
    Show("first\r\n" + line + "\r\nlast");
    const QString screen = QString::fromStdString(line);
    for (const int width : {120, 200, 280}) {
        window->resize(width, 400);
        QTest::qWait(0);
        QTextLayout whole(screen, view->font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        whole.setTextOption(option);
        whole.beginLayout();
        int rows = 0;
        for (QTextLine row = whole.createLine(); row.isValid(); row = whole.createLine(), ++rows)
            row.setLineWidth(view->viewport()->width() - 8);
        whole.endLayout();
        const std::size_t lineStart = 7;
        const std::size_t lastCharacter = lineStart + line.size() - 1;
        const int spacing = view->CharacterRect(lineStart).height();
        const int shownRows =
            (view->CharacterRect(lastCharacter).y() - view->CharacterRect(lineStart).y()) /
                spacing +
            1;
        QCOMPARE(shownRows, rows);
    }
}

void TextViewTests::caretStepsOverWholeCharactersAndBreaks_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("stops"); // the caret's byte offsets, stepping right
    QTest::newRow("UTF-8") << QByteArray("\xC3\xA9\r\n\xD0\xB6\xF0\x9F\x98\x80x")
                           << QList<int>{0, 2, 4, 6, 10, 11};
    QTest::newRow("windows-1251") << QByteArray("\xC0\r\n\xFF\r\n") << QList<int>{0, 1, 3, 4, 6};
}

void TextViewTests::caretStepsOverWholeCharactersAndBreaks() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, stops);
    Show(bytes.toStdString());
    for (const int stop : stops) {
        QCOMPARE(static_cast<int>(view->CaretOffset()), stop);
        Keys(Qt::Key_Right);
    }
    QCOMPARE(static_cast<int>(view->CaretOffset()), stops.back()); // the end holds
    for (auto stop = stops.rbegin(); stop != stops.rend(); ++stop) {
        QCOMPARE(static_cast<int>(view->CaretOffset()), *stop);
        Keys(Qt::Key_Left);
    }
    // A caret put between CR and LF, or inside a character, goes to its start.
    view->Select(bytes.indexOf('\n'), bytes.indexOf('\n'));
    QCOMPARE(static_cast<int>(view->CaretOffset()), bytes.indexOf('\r'));
}

void TextViewTests::upAndDownKeepTheColumnOnWrappedRows() {
    const std::string wrapped(200, 'a');
    Show(wrapped + "\r\nshort\r\n" + wrapped);
    Keys(Qt::Key_Right, Qt::NoModifier, 10);
    const int column = view->CharacterRect(view->CaretOffset()).x();
    Keys(Qt::Key_Down);
    QVERIFY(view->CaretOffset() > 10 && view->CaretOffset() < 200); // the next wrapped row
    QCOMPARE(view->CharacterRect(view->CaretOffset()).x(), column);
    for (int i = 0; i < 20 && view->CaretOffset() < 202; ++i)
        Keys(Qt::Key_Down);
    QVERIFY(view->CaretOffset() >= 202 && view->CaretOffset() <= 207); // the short line cuts it
    Keys(Qt::Key_Down);
    QCOMPARE(view->CaretOffset(), 209U + 10); // and the column comes back on the next line
    // End and Home keep to the wrapped row they are on.
    Keys(Qt::Key_Home, Qt::ControlModifier);
    Keys(Qt::Key_Down);
    const int rowY = view->CharacterRect(view->CaretOffset()).y();
    Keys(Qt::Key_End);
    QCOMPARE(view->CharacterRect(view->CaretOffset()).y(), rowY);
    QVERIFY(view->CaretOffset() < 200);
    Keys(Qt::Key_Home);
    QCOMPARE(view->CharacterRect(view->CaretOffset()).y(), rowY);
    Keys(Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(view->CaretOffset(), view->Size());
    Keys(Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(view->SelectionStart(), 0U);
    QCOMPARE(view->SelectionEnd(), view->Size());
}

// Rows that wrap at blanks and hyphens end short of the width: a click right of such a row, or
// Up and Down holding a column wider than it, leave the caret on it, not at the next row's start.
void TextViewTests::shortWrappedRowsKeepTheCaret() {
    std::string line;
    for (int i = 0; i < 4; ++i)
        line += std::to_string(i) + ". Artist Name - A-title-in-many-short-parts-that-runs-on-" +
                "well-past-the-end-of-a-row ";
    Show(line + "\r\nnext");
    QWidget* area = view->viewport();
    const auto rowY = [this](std::size_t offset) { return view->CharacterRect(offset).y(); };
    std::vector<std::size_t> rowStarts{0};
    for (std::size_t at = 1; at < line.size(); ++at)
        if (rowY(at) != rowY(at - 1))
            rowStarts.push_back(at);
    QVERIFY(rowStarts.size() > 4);
    for (std::size_t row = 0; row + 1 < rowStarts.size(); ++row) {
        const std::size_t start = rowStarts[row];
        const int y = rowY(start) + view->CharacterRect(start).height() / 2;
        for (int x = view->CharacterRect(rowStarts[row + 1] - 1).left(); x < area->width(); ++x) {
            QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(x, y));
            QVERIFY2(rowY(view->CaretOffset()) == rowY(start),
                     qPrintable(QStringLiteral("row %1, x %2").arg(row).arg(x)));
        }
    }
    const int height = view->CharacterRect(0).height();
    // The column of the widest row, held down the shorter ones.
    std::size_t widest = 0;
    for (const std::size_t start : rowStarts)
        if (start > 0 && view->CharacterRect(start - 1).x() > view->CharacterRect(widest).x())
            widest = start - 1;
    view->Select(widest, widest);
    int steps = 0;
    for (int y = rowY(widest); y < rowY(rowStarts.back()); y += height, ++steps) {
        Keys(Qt::Key_Down);
        QCOMPARE(rowY(view->CaretOffset()), y + height);
    }
    Keys(Qt::Key_Up, Qt::NoModifier, steps);
    QCOMPARE(view->CaretOffset(), widest);
}

void TextViewTests::selectionsAreBytes() {
    const struct {
        const char* bytes;
        int rights;
        std::size_t end;
        const char* selected;
    } cases[] = {
        {"\xCA\xE8\xED\xEE\r\nab", 5, 6, "Кино\n"}, // windows-1251
        {"\xD0\x9A\xD0\xB8\r\nab", 3, 6, "Ки\n"},   // UTF-8
        {"a\r\n\xF0\x9F\x98\x80"
         "b",
         3, 7, "a\n😀"}, // a character of two units
    };
    for (const auto& c : cases) {
        Show(c.bytes);
        Keys(Qt::Key_Right, Qt::ShiftModifier, c.rights);
        QCOMPARE(view->SelectionStart(), 0U);
        QCOMPARE(view->SelectionEnd(), c.end);
        QCOMPARE(view->SelectedText(), QString::fromUtf8(c.selected));
    }
    Show("one two three");
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->CharacterRect(5).center());
    QCOMPARE(view->SelectedText(), QStringLiteral("two"));
}

void TextViewTests::editsUndoAndRedoRoundTrip() {
    for (const char* bytes : {"1.\xCA\xE8\xED\xEE  <4:05>\r\n2.b\r\n", "1.Кино\r\n2.b\r\n"}) {
        Show(bytes);
        QVERIFY(!view->IsModified());
        Keys(Qt::Key_End);
        test::Type(view, QStringLiteral("Ёж"));
        Keys(Qt::Key_Return);
        Keys(Qt::Key_Backspace);
        Keys(Qt::Key_Backspace);
        Keys(Qt::Key_Delete);
        const std::string edited = view->Text();
        QVERIFY(view->IsModified());
        QVERIFY(edited != bytes);
        for (int i = 0; i < 5; ++i) // typing, Enter, two Backspaces, Delete
            Keys(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(view->Text(), Bytes(bytes));
        for (int i = 0; i < 3; ++i)
            Keys(Qt::Key_Y, Qt::ControlModifier);
        Keys(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        Keys(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(view->Text(), edited);
        QCOMPARE(text, Bytes(bytes)); // the owner's bytes never change
    }
    // An undo ends a run of typing: typing where it stopped is a step of its own.
    Show("abc");
    Keys(Qt::Key_End);
    test::Type(view, QStringLiteral("x"));
    Keys(Qt::Key_Home);
    test::Type(view, QStringLiteral("y"));
    Keys(Qt::Key_Z, Qt::ControlModifier);
    Keys(Qt::Key_End);
    test::Type(view, QStringLiteral("z"));
    Keys(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(view->Text(), Bytes("abcx"));
}

void TextViewTests::pastedAndCommittedTextIsEncoded() {
    Show("\xC0\r\n"); // windows-1251
    for (const QString& pasted :
         {QStringLiteral("Я\nb"), QStringLiteral("c\rd"), QStringLiteral("e\r\nf")}) {
        QGuiApplication::clipboard()->setText(pasted);
        Keys(Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(view->Text(), Bytes("\xDF\r\nbc\r\nde\r\nf\xC0\r\n"));

    QInputMethodEvent composing(QStringLiteral("ё"), {});
    QApplication::sendEvent(view, &composing);
    QCOMPARE(view->Text(), Bytes("\xDF\r\nbc\r\nde\r\nf\xC0\r\n")); // nothing before the commit
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("ё"));
    QApplication::sendEvent(view, &commit);
    QCOMPARE(view->Text(), Bytes("\xDF\r\nbc\r\nde\r\nf\xB8\xC0\r\n"));
    // An input method takes back the character before the caret and puts its own there.
    QInputMethodEvent replace;
    replace.setCommitString(QStringLiteral("Ё"), -1, 1);
    QApplication::sendEvent(view, &replace);
    QCOMPARE(view->Text(), Bytes("\xDF\r\nbc\r\nde\r\nf\xA8\xC0\r\n"));
    QVERIFY(view->inputMethodQuery(Qt::ImEnabled).toBool());
    QCOMPARE(view->inputMethodQuery(Qt::ImSurroundingText).toString(), QStringLiteral("fЁ\u0410"));
    // Composing over a selection takes its place at once, as typing would.
    view->Select(view->Size() - 4, view->Size() - 2);
    QInputMethodEvent over(QStringLiteral("ж"), {});
    QApplication::sendEvent(view, &over);
    QCOMPARE(view->Text(), Bytes("\xDF\r\nbc\r\nde\r\nf\r\n"));
    QCOMPARE(view->SelectionStart(), view->SelectionEnd());
}

void TextViewTests::clipboardTextIsASnapshotMadeWhenAsked() {
    Show("1.Кино\r\n2.b\r\n");
    Keys(Qt::Key_A, Qt::ControlModifier);
    Keys(Qt::Key_C, Qt::ControlModifier);
    test::Type(view, QStringLiteral("x"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1.Кино\n2.b\n"));
    Keys(Qt::Key_Left, Qt::ShiftModifier);
    Keys(Qt::Key_C, Qt::ControlModifier);
    view->SetText("other"); // the owner's bytes change; the copy stays
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("x"));
    text = "gone";
    view->CopyToClipboard(0, 5);
    view->SetText({});
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("other"));
}

void TextViewTests::screenReadersReadTextCaretAndSelection() {
    QAccessible::setActive(true);
    Show("ab\r\n\xD0\x96\xF0\x9F\x98\x80\r\nc");
    QAccessibleInterface* readable = QAccessible::queryAccessibleInterface(view);
    QAccessibleTextInterface* text = readable->textInterface();
    QVERIFY(text != nullptr);
    QCOMPARE(readable->role(), QAccessible::EditableText);
    QCOMPARE(text->characterCount(), 8);
    QCOMPARE(text->text(0, 8), QStringLiteral("ab\nЖ😀\nc"));
    QCOMPARE(text->text(3, 6), QStringLiteral("Ж😀"));
    Keys(Qt::Key_Down);
    QCOMPARE(text->cursorPosition(), 3);
    text->setSelection(0, 1, 4);
    QCOMPARE(view->SelectionStart(), 1U);
    QCOMPARE(view->SelectionEnd(), 6U);
    int start = 0;
    int end = 0;
    text->selection(0, &start, &end);
    QCOMPARE(start, 1);
    QCOMPARE(end, 4);
    readable->editableTextInterface()->insertText(8, QStringLiteral("!"));
    QCOMPARE(text->characterCount(), 9);
    QCOMPARE(view->Text(), Bytes("ab\r\n\xD0\x96\xF0\x9F\x98\x80\r\nc!"));
    readable->editableTextInterface()->replaceText(2, 0, QStringLiteral("x")); // ends reversed
    QCOMPARE(view->Text(), Bytes("x\r\n\xD0\x96\xF0\x9F\x98\x80\r\nc!"));
    readable->editableTextInterface()->deleteText(7, 99); // past the end
    QCOMPARE(view->Text(), Bytes("x\r\n\xD0\x96\xF0\x9F\x98\x80\r\nc"));
    view->setReadOnly(true);
    QCOMPARE(readable->editableTextInterface(), nullptr);
    QVERIFY(readable->state().readOnly);

    // Units around an offset: characters whole, and words, rows and lines each up to the start
    // of the next, breaks included.
    std::string wrapped;
    for (int i = 0; i < 30; ++i)
        wrapped += "word" + std::to_string(i) + " ";
    Show("1.Cafe\xCC\x81\r\n" + wrapped + "\r\n" + "last");
    const struct {
        QAccessible::TextBoundaryType type;
        int offset;
        int start, end;
    } units[] = {
        {QAccessible::CharBoundary, 5, 5, 7},       // e with its accent
        {QAccessible::WordBoundary, 9, 8, 14},      // "word0 "
        {QAccessible::WordBoundary, 212, 209, 213}, // the text's last word
        {QAccessible::LineBoundary, 2, 0, 8},       // a row of one line, with the break
        {QAccessible::ParagraphBoundary, 2, 0, 8},
        {QAccessible::WordBoundary, 1, 0, 2}, // "1." holds the offset of its dot
    };
    for (const auto& u : units) {
        int s = -1;
        int e = -1;
        text->textAtOffset(u.offset, u.type, &s, &e);
        QCOMPARE(QPair(s, e), QPair(u.start, u.end));
    }
    int s = -1;
    int e = -1;
    const QString row = text->textAtOffset(10, QAccessible::LineBoundary, &s, &e);
    QVERIFY(row.startsWith(QStringLiteral("word0 ")) && !row.contains(u'\n'));
    QVERIFY(row.size() < static_cast<qsizetype>(wrapped.size())); // the row, not the whole line
    QCOMPARE(text->textAfterOffset(3, QAccessible::LineBoundary, &s, &e), row);
    QCOMPARE(text->textBeforeOffset(10, QAccessible::LineBoundary, &s, &e),
             QStringLiteral("1.Cafe\u0301\n"));

    // The caret is the caret, also with a selection made leftwards; set, it is shown.
    Keys(Qt::Key_End, Qt::ControlModifier);
    Keys(Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(text->cursorPosition(), text->characterCount() - 1);
    std::string lines;
    for (int i = 0; i < 300; ++i)
        lines += std::to_string(i) + ".Artist - Title\r\n";
    Show(lines);
    text->setCursorPosition(text->characterCount() - 30);
    QVERIFY(!view->CharacterRect(view->CaretOffset()).isEmpty());
    QAccessible::setActive(false);
}

void TextViewTests::tabMovesTheFocusAndReadOnlyRefusesEdits() {
    Show("keep\r\n", true);
    Keys(Qt::Key_Tab);
    QTRY_VERIFY(other->hasFocus());
    QTest::keyClick(other, Qt::Key_Backtab, Qt::ShiftModifier);
    QTRY_VERIFY(view->hasFocus());
    QCOMPARE(view->Text(), Bytes("keep\r\n"));

    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    test::Type(view, QStringLiteral("x"));
    for (const int key : {Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Delete})
        Keys(key);
    Keys(Qt::Key_V, Qt::ControlModifier);
    Keys(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(view->Text(), Bytes("keep\r\n"));
    QVERIFY(!view->IsModified());
    Keys(Qt::Key_A, Qt::ControlModifier); // selecting and copying still work
    Keys(Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("keep\n"));
}

void TextViewTests::contextMenuOffersWhatApplies() {
    const auto offered = [this] {
        QStringList enabled;
        QTimer::singleShot(0, [&enabled] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr)
                return;
            for (QAction* action : menu->actions())
                if (!action->isSeparator() && action->isEnabled())
                    enabled << action->text().section(u'\t', 0, 0);
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                                view->viewport()->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(view->viewport(), &event);
        return enabled;
    };
    QGuiApplication::clipboard()->setText(QStringLiteral("p"));
    Show("text");
    QCOMPARE(offered(), (QStringList{QStringLiteral("&Paste"), QStringLiteral("Select All")}));
    Keys(Qt::Key_Right, Qt::ShiftModifier);
    Keys(Qt::Key_Delete);
    Keys(Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(offered(), (QStringList{QStringLiteral("&Undo"), QStringLiteral("Cu&t"),
                                     QStringLiteral("&Copy"), QStringLiteral("&Paste"),
                                     QStringLiteral("Delete"), QStringLiteral("Select All")}));
    Show("text", true);
    Keys(Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(offered(), (QStringList{QStringLiteral("&Copy"), QStringLiteral("Select All")}));
}

// The top of the view was a row of a wrapped line that an edit takes away.
void TextViewTests::deletingTheRowsOnScreenLeavesAUsableView() {
    std::string line;
    for (int i = 0; i < 400; ++i)
        line += "word ";
    Show(line + "\r\n" + line);
    Keys(Qt::Key_PageDown, Qt::NoModifier, 3);
    Keys(Qt::Key_A, Qt::ControlModifier);
    Keys(Qt::Key_Delete);
    QCOMPARE(view->Size(), 0U);
    QVERIFY(!view->viewport()->grab().isNull());
    QCOMPARE(view->CharacterRect(0).y(), 4);
    Keys(Qt::Key_Z, Qt::ControlModifier);
    Keys(Qt::Key_PageDown, Qt::NoModifier, 2);
    QVERIFY(!view->viewport()->grab().isNull());
}

void TextViewTests::scrollingStopsWhereTheTextEnds() {
    Show("1.a\r\n2.b\r\n3.c\r\n"); // fits: nothing to scroll
    QCOMPARE(view->verticalScrollBar()->maximum(), 0);
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += std::to_string(i) + ".Artist - Title\r\n";
    Show(lines);
    Keys(Qt::Key_End, Qt::ControlModifier);
    const auto endBottom = [this] { return view->CharacterRect(view->Size()).bottom(); };
    const int atEnd = endBottom();
    QVERIFY(atEnd <= view->viewport()->height() && atEnd > view->viewport()->height() / 2);
    for (int i = 0; i < 5; ++i) {
        QWheelEvent wheel(QPointF(10, 10), view->viewport()->mapToGlobal(QPointF(10, 10)), {},
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
    }
    QCOMPARE(endBottom(), atEnd);
    QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());

    // A last line taller than the view: the wheel stops with its last row at the bottom.
    std::string tall;
    for (int i = 0; i < 300; ++i)
        tall += "word" + std::to_string(i) + " ";
    Show(lines + tall);
    Keys(Qt::Key_End, Qt::ControlModifier);
    const int tallEnd = endBottom();
    QVERIFY(tallEnd <= view->viewport()->height());
    for (int i = 0; i < 5; ++i) {
        QWheelEvent wheel(QPointF(10, 10), view->viewport()->mapToGlobal(QPointF(10, 10)), {},
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
    }
    QCOMPARE(endBottom(), tallEnd);
}

// Lines that wrap into three rows: a page of the bar's trough shows the row after the last one
// wholly shown, as the arrow keys' pages do, be it cut off at the bottom or just below it.
void TextViewTests::pageStepsOfTheBarSkipNoRow() {
    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += std::to_string(i) + ". Artist Name - A Title Long Enough To Wrap In Rows\r\n";
    Show(lines);
    QScrollBar* bar = view->verticalScrollBar();
    const auto lineAt = [this](int y) {
        return view->Document().LineOf(view->ByteAtPoint(QPoint(10, y)));
    };
    QVERIFY(lineAt(view->viewport()->height() - 8) < 20); // the lines do wrap
    // The bottom row cut off halfway, then a view of whole rows.
    const int rowHeight = view->CharacterRect(0).height();
    const int rows = (view->viewport()->height() - 8) / rowHeight;
    for (const int cutOff : {rowHeight / 2, 0}) {
        view->setFixedHeight(view->height() - view->viewport()->height() + 8 + rows * rowHeight +
                             cutOff);
        window->layout()->activate();
        bar->setValue(0);
        for (int page = 0; page < 5; ++page) {
            // The rows on screen, each named by the byte it starts with.
            QSet<std::size_t> shown;
            for (int y = 4; y < view->viewport()->height(); y += 2)
                shown.insert(view->ByteAtPoint(QPoint(1, y)));
            // The first row not wholly on screen is the next page's top; past the first page
            // the rows run to the view's edges, as in the stock box.
            const std::size_t cut = view->ByteAtPoint(QPoint(1, view->viewport()->height()));
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            const std::size_t top = view->ByteAtPoint(QPoint(1, 6));
            QCOMPARE(top, cut);
            QVERIFY(!shown.contains(top) || top == *std::max_element(shown.begin(), shown.end()));
            // The row just above the new top was on screen before: none was stepped over.
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            QVERIFY(shown.contains(view->ByteAtPoint(QPoint(1, 6))));
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        }
    }
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    QVERIFY(lineAt(8) > 0);
    QVERIFY(bar->pageStep() < 15); // the handle's share is of lines, not rows
}

void TextViewTests::pagesAtTheEndAreWholePages_data() {
    QTest::addColumn<int>("extra"); // pixels of the view's height beyond its whole rows
    QTest::newRow("rows fill the view") << 0;
    QTest::newRow("rows and the margin below fill it") << ui::ViewGeometry::kMargin;
    QTest::newRow("half a row left over") << -1;
}

// At the text's end the bar's page, a page of the wheel with Ctrl or Shift and Page Up go back as
// far as a page goes anywhere else.
void TextViewTests::pagesAtTheEndAreWholePages() {
    QFETCH(int, extra);
    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += std::to_string(i) + ".a\r\n";
    Show(lines);
    const int rowHeight = view->CharacterRect(0).height();
    view->setFixedHeight(view->height() - view->viewport()->height() + 10 * rowHeight +
                         (extra < 0 ? rowHeight / 2 : extra));
    window->layout()->activate();
    QScrollBar* bar = view->verticalScrollBar();
    bar->setValue(40);
    view->Select(view->Document().LineStart(45), view->Document().LineStart(45));
    Keys(Qt::Key_PageUp); // rows fill the view from its top: a page is all of them
    QCOMPARE(bar->value(), 30);
    const auto wheel = [this](Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(10, 10), view->viewport()->mapToGlobal(QPointF(10, 10)), {},
                          QPoint(0, 120), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &event);
    };
    const std::vector<std::pair<const char*, std::function<void()>>> pagesUp = {
        {"bar", [bar] { bar->triggerAction(QAbstractSlider::SliderPageStepSub); }},
        {"Shift+wheel", [&] { wheel(Qt::ShiftModifier); }},
        {"Ctrl+wheel", [&] { wheel(Qt::ControlModifier); }},
        {"Page Up", [this] { Keys(Qt::Key_PageUp); }},
    };
    for (const auto& [name, pageUp] : pagesUp) {
        Keys(Qt::Key_End, Qt::ControlModifier);
        const int bottom = bar->value();
        QVERIFY(bottom > 80);
        pageUp();
        QVERIFY2(bar->value() == bottom - 10, name);
    }
}

// Held still above or below the view, a drag-selection goes on scrolling until the button is let
// go.
void TextViewTests::dragBeyondTheEdgeKeepsScrolling() {
    std::string lines;
    for (int i = 0; i < 300; ++i)
        lines += std::to_string(i) + ".Artist - Title\r\n";
    Show(lines);
    QWidget* area = view->viewport();
    for (const bool up : {false, true}) {
        if (up)
            Keys(Qt::Key_End, Qt::ControlModifier);
        const QPoint beyond(10, up ? -10 : area->height() + 10);
        QTest::mousePress(area, Qt::LeftButton, {}, QPoint(2, up ? area->height() - 8 : 8));
        const std::size_t pressed = view->CaretOffset();
        const int topBefore = view->verticalScrollBar()->value();
        QTest::mouseMove(area, beyond);
        // The move itself scrolls nothing, as in the stock box: the ticks alone do.
        QCOMPARE(view->verticalScrollBar()->value(), topBefore);
        const std::size_t start = view->Document().LineOf(view->CaretOffset());
        // Waits for rows, not for a rate of ticks: a busy machine runs the ticks late.
        const auto later = [this] { return view->Document().LineOf(view->CaretOffset()); };
        QTRY_VERIFY2_WITH_TIMEOUT(up ? later() + 8 <= start : later() >= start + 8,
                                  qPrintable(QStringLiteral("%1 -> %2").arg(start).arg(later())),
                                  20000);
        QCOMPARE(up ? view->SelectionEnd() : view->SelectionStart(), pressed);
        QTest::mouseRelease(area, Qt::LeftButton, {}, beyond);
        const std::size_t released = view->CaretOffset();
        QTest::qWait(200);
        QCOMPARE(view->CaretOffset(), released);
    }
}

void TextViewTests::clicksTakeWordsAndLines() {
    Show("one two three four\r\nnext line\r\nlast");
    QWidget* area = view->viewport();
    const QPoint two = view->CharacterRect(5).center();
    const QPoint four = view->CharacterRect(17).center(); // nearer the end of "four"
    const QPoint fourStart = view->CharacterRect(15).center();
    const auto send = [area](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, area->mapToGlobal(at), Qt::LeftButton, buttons, {});
        QApplication::sendEvent(area, &event);
    };
    // A double click held and dragged takes whole words.
    send(QEvent::MouseButtonPress, two, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, two, Qt::NoButton);
    send(QEvent::MouseButtonDblClick, two, Qt::LeftButton);
    send(QEvent::MouseMove, fourStart, Qt::LeftButton); // as the stock box: to the nearer end
    QCOMPARE(view->SelectedText(), QStringLiteral("two three "));
    send(QEvent::MouseMove, four, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, four, Qt::NoButton);
    QCOMPARE(view->SelectedText(), QStringLiteral("two three four"));
    // A third click away from where the double click was is a click of its own.
    send(QEvent::MouseButtonPress, four, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, four, Qt::NoButton);
    QCOMPARE(view->SelectionStart(), view->SelectionEnd());
    // A third click takes the line with its break.
    send(QEvent::MouseButtonPress, four, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, four, Qt::NoButton);
    send(QEvent::MouseButtonDblClick, four, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, four, Qt::NoButton);
    send(QEvent::MouseButtonPress, four, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, four, Qt::NoButton);
    QCOMPARE(view->SelectedText(), QStringLiteral("one two three four\n"));
    // A click on the selection that does not drag places the caret.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(area, Qt::LeftButton, {}, two);
    QCOMPARE(view->SelectionStart(), view->SelectionEnd());
    QCOMPARE(view->CaretOffset(), 5U);
}

// A selection dragged elsewhere in the view moves there and stays selected.
void TextViewTests::draggedSelectionMovesAndStaysSelected() {
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QSKIP("the offscreen platform ends every drag at once");
    if (QGuiApplication::platformName() == QLatin1String("windows"))
        QSKIP("Windows drags in OLE's own loop, which synthetic mouse events do not reach");
    Show("one two three four\r\nnext");
    QWidget* area = view->viewport();
    view->Select(4, 7);
    QTimer::singleShot(0, view, [area, at = view->CharacterRect(18).center()] {
        QMimeData dragged;
        dragged.setText(QStringLiteral("two"));
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &dragged, Qt::LeftButton, {});
        QApplication::sendEvent(area, &enter);
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &dragged, Qt::LeftButton, {});
        QApplication::sendEvent(area, &drop);
        QTest::keyClick(area, Qt::Key_Escape); // ends the drag
    });
    QTest::mousePress(area, Qt::LeftButton, {}, view->CharacterRect(5).center());
    QTest::mouseMove(area, view->CharacterRect(15).center()); // returns when the drag ends
    QTest::mouseRelease(area, Qt::LeftButton, {}, view->CharacterRect(15).center());
    QCOMPARE(view->Text(), Bytes("one  three fourtwo\r\nnext"));
    QCOMPARE(view->SelectedText(), QStringLiteral("two"));
}

void TextViewTests::longLinesAreCutBetweenWords_data() {
    QTest::addColumn<char>("blank");
    QTest::newRow("spaces") << ' ';
    QTest::newRow("tabs") << '\t';
}

// A line of 200 KB is laid out in parts, cut between words at a space or a tab: a word at a cut
// is drawn on one row, a double click takes all of it and the word keys step over the cut as over
// any blank.
void TextViewTests::longLinesAreCutBetweenWords() {
    QFETCH(char, blank);
    std::string line;
    for (int i = 0; line.size() < 200'000; ++i)
        line += "word" + std::to_string(i) + (i % 7 == 0 ? "\xCC\x81" : "") + blank;
    Show("first\r\n" + line + "\r\nlast");
    const QString screen = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    for (const std::size_t cut : {std::size_t{65536}, std::size_t{131072}}) {
        const std::size_t wordStart = line.rfind(blank, cut) + 1;
        const std::size_t wordEnd = line.find(blank, cut);
        const std::size_t at = 7 + cut;
        view->MakeVisible(at);
        QCOMPARE(view->CharacterRect(7 + wordStart).y(), view->CharacterRect(7 + wordEnd).y());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->CharacterRect(at).center());
        const QString word =
            screen.mid(view->CharacterOfByte(7 + wordStart) - 6,
                       view->CharacterOfByte(7 + wordEnd) - view->CharacterOfByte(7 + wordStart));
        QCOMPARE(view->SelectedText(), word);
        view->Select(7 + wordStart, 7 + wordStart);
        Keys(Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(view->CaretOffset(), 7 + line.rfind(blank, wordStart - 2) + 1);
        Keys(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(view->CaretOffset(), 7 + wordStart);
        Keys(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(view->CaretOffset(), 7 + wordEnd + 1);
    }
}

// A caller may hold a laid-out line while it asks for hundreds of others.
void TextViewTests::laidOutLinesOutliveTheirNeighbours() {
    std::string lines;
    for (int i = 0; i < 1200; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    ui::ShownText text;
    text.Show(std::make_shared<TextDocument>(lines));
    ui::LayoutCache cache(text);
    cache.SetWidth(400);
    const ui::LayoutCache::Laid& first = cache.Layout(0);
    for (std::size_t i = 1; i < 400; ++i) // past a whole generation of the cache
        QCOMPARE(cache.Layout(i).layout->lineCount(), 1);
    QCOMPARE(first.layout->text(), QStringLiteral("line 0"));
}

// An edit in one view reaches the other through the document: its rows, its caret, its scroll bar
// and what it tells screen readers are those of the text as it now stands.
void TextViewTests::twoViewsOfOneDocumentFollowEachOther() {
    auto document = std::make_shared<TextDocument>(std::string("one\r\ntwo\r\nthree"));
    view->SetDocument(document);
    other->SetDocument(document);
    other->Select(10, 10); // before "three"
    QCOMPARE(other->CharacterCount(), 13);
    view->setFocus();
    QTRY_VERIFY(view->hasFocus());
    Keys(Qt::Key_End);
    Keys(Qt::Key_Return, Qt::NoModifier, 2);
    QTest::keyClicks(view, "new");
    QCOMPARE(other->Text(), std::string("one\r\n\r\nnew\r\ntwo\r\nthree"));
    QCOMPARE(other->CaretOffset(), 17U); // still before "three"
    QCOMPARE(other->CharacterCount(), 18);
    QCOMPARE(other->UnitAt(17, ui::TextView::TextUnit::Row),
             (std::pair<std::size_t, std::size_t>{17, 22}));
    QCOMPARE(other->CharacterRect(other->Document().LineStart(4)).y(),
             view->CharacterRect(view->Document().LineStart(4)).y());
    Keys(Qt::Key_Z, Qt::ControlModifier, 3);
    QCOMPARE(other->Text(), std::string("one\r\ntwo\r\nthree"));
    QCOMPARE(other->CaretOffset(), 10U);
    // Lines the view adds reach the other's scroll bar, which can then reach them.
    other->viewport()->repaint(); // its bar as the text stands now
    QCOMPARE(other->verticalScrollBar()->maximum(), 0);
    Keys(Qt::Key_Return, Qt::NoModifier, 40);
    QTRY_VERIFY(other->verticalScrollBar()->maximum() > 20);
}

void TextViewTests::selectionsKeepTheirPlaceAsTheOtherViewReplaces_data() {
    QTest::addColumn<int>("from"); // what the other view replaces
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("selected"); // in the view, "three" before
    QTest::newRow("the text before it")
        << 4 << 8 << QStringLiteral("2 ") << QStringLiteral("three");
    QTest::newRow("its end") << 12 << 13 << QStringLiteral("ee") << QStringLiteral("threee");
    QTest::newRow("all of it") << 8 << 13 << QStringLiteral("3") << QStringLiteral("3");
    QTest::newRow("after it") << 13 << 13 << QStringLiteral("!") << QStringLiteral("three");
}

// The view's selection ends at the text's end; the other view pastes over some of the text.
void TextViewTests::selectionsKeepTheirPlaceAsTheOtherViewReplaces() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, pasted);
    QFETCH(QString, selected);
    auto document = std::make_shared<TextDocument>(std::string("one two three"));
    view->SetDocument(document);
    other->SetDocument(document);
    view->Select(8, 13);
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    other->Select(from, to);
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keyClick(other, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(view->SelectedText(), selected);
}

void TextViewTests::wheelStepsAddUpAsInTheStockBox_data() {
    QTest::addColumn<QList<int>>("steps"); // angle deltas, in eighths of a degree
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("rows");        // scrolled down; -1: a page
    QTest::addColumn<qreal>("fontGrows"); // points
    const QList<int> eight15(8, -15);
    const QList<int> eight40(8, -40);
    QTest::newRow("notches") << QList<int>{-120, -120} << 0 << false << 6 << 0.0;
    QTest::newRow("a touchpad's small steps") << eight15 << 0 << false << 3 << 0.0;
    QTest::newRow("a high-resolution wheel") << eight40 << 0 << false << 8 << 0.0;
    QTest::newRow("a turn drops what was not scrolled")
        << QList<int>{-20, -20, -20, 20, -20, -20} << 0 << false << 2 << 0.0;
    QTest::newRow("Shift: a page")
        << QList<int>{-120} << int(Qt::ShiftModifier) << false << -1 << 0.0;
    QTest::newRow("Ctrl: a page where it edits")
        << QList<int>{-120} << int(Qt::ControlModifier) << false << -1 << 0.0;
    QTest::newRow("Ctrl: zooms where it reads")
        << QList<int>{120, 60} << int(Qt::ControlModifier) << true << 0 << 1.5;
}

void TextViewTests::wheelStepsAddUpAsInTheStockBox() {
    QFETCH(QList<int>, steps);
    QFETCH(int, modifiers);
    QFETCH(bool, readOnly);
    QFETCH(int, rows);
    QFETCH(qreal, fontGrows);
    std::string lines;
    for (int i = 0; i < 300; ++i)
        lines += std::to_string(i) + ".a\r\n";
    Show(lines, readOnly);
    const qreal points = view->font().pointSizeF();
    // The rows wholly shown below the margin above the first: a page.
    const int page = (view->viewport()->height() - 4) / view->CharacterRect(0).height();
    for (const int step : steps) {
        QWheelEvent wheel(QPointF(10, 10), view->viewport()->mapToGlobal(QPointF(10, 10)), {},
                          QPoint(0, step), Qt::NoButton, Qt::KeyboardModifiers(modifiers),
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
    }
    QCOMPARE(view->verticalScrollBar()->value(), rows < 0 ? page : rows);
    QCOMPARE(view->font().pointSizeF(), points + fontGrows);
}

// What a screen reader asks at every offset agrees with the text it reads: each unit holds its
// offset and is the text between its ends, the units of a kind tile the text, and selections are
// told as they come, move and go.
void TextViewTests::everyOffsetReadsTheSameText() {
    QAccessible::setActive(true);
    std::string wrapped;
    for (int i = 0; i < 12; ++i)
        wrapped += "word" + std::to_string(i) + ", ";
    Show("1.gamma0\r\n  2.Caf\xC3\xA9 \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD x\r\n\r\n" + wrapped +
         "\r\nlast");
    QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(view)->textInterface();
    const int count = text->characterCount();
    QCOMPARE(text->text(0, count), view->PlainText());
    QCOMPARE(count, view->PlainText().size());
    for (const QAccessible::TextBoundaryType type :
         {QAccessible::CharBoundary, QAccessible::WordBoundary, QAccessible::LineBoundary,
          QAccessible::ParagraphBoundary}) {
        QString tiled;
        for (int at = 0; at < count; at = std::max(at + 1, 0)) {
            int s = -1;
            int e = -1;
            const QString unit = text->textAtOffset(at, type, &s, &e);
            if (!(s <= at && at < e) || unit != text->text(s, e))
                QFAIL(qPrintable(QStringLiteral("type %1 at %2: %3..%4 '%5'")
                                     .arg(type)
                                     .arg(at)
                                     .arg(s)
                                     .arg(e)
                                     .arg(unit)));
            int as = -1;
            int ae = -1;
            text->textAfterOffset(at, type, &as, &ae);
            QCOMPARE(as, e == count ? count : e);
            int bs = -1;
            int be = -1;
            text->textBeforeOffset(at, type, &bs, &be);
            QCOMPARE(be, s == 0 ? 0 : s);
            if (s == tiled.size())
                tiled += unit;
        }
        QCOMPARE(tiled, view->PlainText());
    }
    QList<QAccessible::Event> told;
    ui::ListenAsAScreenReader(
        [&told](const QAccessibleEvent& event) { told.append(event.type()); });
    Keys(Qt::Key_Right, Qt::ShiftModifier);
    Keys(Qt::Key_Right, Qt::ShiftModifier);
    Keys(Qt::Key_Left);
    QCOMPARE(told.count(QAccessible::TextSelectionChanged), 3);
    QCOMPARE(told.count(QAccessible::TextCaretMoved), 3);
    ui::ListenAsAScreenReader(nullptr);
    QAccessible::setActive(false);
}

// Text dragged in from elsewhere shows a caret where it would go, and near the view's bottom the
// view scrolls to let it go further.
void TextViewTests::textDraggedOverTheViewShowsWhereItGoes() {
    std::string lines;
    for (int i = 0; i < 300; ++i)
        lines += std::to_string(i) + ".Artist - Title\r\n";
    Show(lines);
    view->clearFocus(); // no caret of its own to be seen
    QWidget* area = view->viewport();
    const QImage before = area->grab().toImage();
    QMimeData text;
    text.setText(QStringLiteral("dropped"));
    const QPoint middle(30, area->height() / 2);
    QDragEnterEvent enter(middle, Qt::CopyAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(area, &enter);
    QVERIFY(enter.isAccepted());
    QVERIFY(area->grab().toImage() != before);
    QCOMPARE(view->verticalScrollBar()->value(), 0); // away from the edges nothing scrolls
    QTest::qWait(300);
    QCOMPARE(view->verticalScrollBar()->value(), 0);
    QDragMoveEvent nearBottom(QPoint(30, area->height() - 5), Qt::CopyAction, &text, Qt::LeftButton,
                              {});
    QApplication::sendEvent(area, &nearBottom);
    QTRY_VERIFY_WITH_TIMEOUT(view->verticalScrollBar()->value() > 2, 20000);
    QDragLeaveEvent leave;
    QApplication::sendEvent(area, &leave);
    const int stopped = view->verticalScrollBar()->value();
    QTest::qWait(200);
    QCOMPARE(view->verticalScrollBar()->value(), stopped);
    QCOMPARE(view->Size(), lines.size()); // nothing dropped
}

QTEST_MAIN(TextViewTests)
#include "TextViewTests.moc"
