// How the view turns keys, focus, the context menu, input methods and drops into edits of its
// document; the mouse has a file of its own.

#include "ui/TextView/TextView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>

namespace skaldrun::ui {

// --- Editing ------------------------------------------------------------------------------------

void TextView::Replace(std::size_t from, std::size_t to, std::string_view bytes, bool typing) {
    if (readOnly_)
        return;
    Changed(text_.Document().Replace(from, to, bytes, typing));
}

// What the views keep per line follows the change; screen readers hear what went and came.
void TextView::Changed(const TextChange& change) {
    layouts_.Changed(change);
    characters_.Changed(change);
    viewport()->update();
    if (!QAccessible::isActive())
        return;
    const int at = CharacterOfByte(change.at);
    if (change.removed != 0) {
        std::string removed;
        for (const TextSpan& span : change.removedBytes)
            removed.append(span.bytes);
        QAccessibleTextRemoveEvent event(this, at, Codec().Decode(removed));
        QAccessible::updateAccessibility(&event);
    }
    if (change.inserted != 0) {
        QAccessibleTextInsertEvent event(this, at, Decoded(change.at, change.at + change.inserted));
        QAccessible::updateAccessibility(&event);
    }
}

// Steps over whole characters as a reader sees them: a letter with its accents, an emoji with
// its modifiers, a flag. A line's break is one step.
std::size_t TextView::NextCursor(std::size_t offset) const {
    const Segment segment = SegmentOf(offset);
    const QTextLayout& layout = *Layout(layouts_.SegmentIndex(segment)).layout;
    const int unit = UnitOf(segment, offset);
    if (unit >= layout.text().size())
        return text_.NextCharacter(offset);
    return ByteOf(segment, layout.nextCursorPosition(unit, QTextLayout::SkipCharacters));
}

std::size_t TextView::PreviousCursor(std::size_t offset) const {
    const Segment segment = SegmentOf(offset);
    const int unit = UnitOf(segment, offset);
    if (unit == 0)
        return text_.PreviousCharacter(offset);
    const QTextLayout& layout = *Layout(layouts_.SegmentIndex(segment)).layout;
    return ByteOf(segment, layout.previousCursorPosition(unit, QTextLayout::SkipCharacters));
}

// Whether the line holding offset reads right to left, as its first strong character says.
bool TextView::RightToLeft(std::size_t offset) const {
    const std::size_t line = Document().LineOf(offset);
    const Segment first = layouts_.SegmentAt(layouts_.SegmentIndex(line, 0));
    return Layout(layouts_.SegmentIndex(first)).layout->text().isRightToLeft();
}

void TextView::InsertText(const QString& text, bool typing) {
    if (readOnly_)
        return;
    const std::string bytes = Codec().Encode(text);
    const std::size_t from = SelectionStart();
    Replace(from, SelectionEnd(), bytes, typing && caret_ == anchor_);
    MoveCaret(from + bytes.size(), false);
}

void TextView::ReplaceWithText(std::size_t from, std::size_t to, const QString& text) {
    if (readOnly_)
        return;
    // A screen reader may name the ends in either order, or past the end.
    if (from > to)
        std::swap(from, to);
    to = text_.CharacterStart(std::min(to, Size()));
    from = text_.CharacterStart(std::min(from, to));
    const std::string bytes = Codec().Encode(text);
    Replace(from, to, bytes);
    MoveCaret(from + bytes.size(), false);
}

void TextView::DeleteSelectionOr(bool forward) {
    if (readOnly_)
        return;
    std::size_t from = SelectionStart();
    std::size_t to = SelectionEnd();
    if (from == to) {
        if (forward)
            to = NextCursor(to); // a whole character as the reader sees it
        else
            from = text_.PreviousCharacter(from); // one code point, so an accent can go alone
    }
    if (from == to)
        return;
    Replace(from, to, {});
    MoveCaret(from, false);
}

void TextView::undo() {
    if (readOnly_)
        return;
    const std::optional<TextChange> change = text_.Document().Undo();
    if (!change)
        return;
    Changed(*change);
    MoveCaret(change->caret, false);
}

void TextView::redo() {
    if (readOnly_)
        return;
    const std::optional<TextChange> change = text_.Document().Redo();
    if (!change)
        return;
    Changed(*change);
    MoveCaret(change->caret, false);
}

void TextView::cut() {
    if (readOnly_ || caret_ == anchor_)
        return;
    copy();
    DeleteSelectionOr(true);
}

void TextView::paste() {
    if (readOnly_)
        return;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime != nullptr && mime->hasText())
        InsertText(mime->text(), false);
}

// --- Keys and focus -----------------------------------------------------------------------------

bool TextView::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Editing keys are the view's, not the window's shortcuts'.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool edits = key == QKeySequence::Copy || key == QKeySequence::SelectAll ||
                           key == QKeySequence::Cut || key == QKeySequence::Paste ||
                           key == QKeySequence::Undo || key == QKeySequence::Redo ||
                           key->key() == Qt::Key_Home || key->key() == Qt::Key_End ||
                           key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace ||
                           (!key->text().isEmpty() && key->text().front().isPrint() &&
                            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0);
        if (edits) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TextView::keyPressEvent(QKeyEvent* event) {
    const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
    const auto vertical = [&](int rows) {
        if (preferredX_ < 0)
            preferredX_ = XOf(caret_);
        Row row = RowOf(caret_);
        bool moved = false;
        for (int i = 0; i < std::abs(rows); ++i)
            moved = (rows > 0 ? NextRow(row) : PreviousRow(row)) || moved;
        std::size_t target = OffsetInRow(row, preferredX_);
        // Past the first or last row a page, or a selecting step, goes to the text's end; a
        // plain step changes nothing, as in every text box.
        if (!moved && std::abs(rows) == 1 && !shift)
            return;
        if (!moved)
            target = rows > 0 ? Size() : 0;
        if (std::abs(rows) > 1)
            ScrollRows(rows);
        MoveCaret(target, shift, moved);
    };
    const auto rowEdge = [&](bool end) {
        const Row row = RowOf(caret_);
        const Laid& laid = Layout(row.segment);
        const QTextLine line = laid.layout->lineAt(row.row);
        int unit = line.textStart();
        if (end) {
            unit += line.textLength();
            if (row.row + 1 < laid.layout->lineCount())
                unit = std::max(line.textStart(), unit - 1);
        }
        MoveCaret(ByteOf(laid.segment, unit), shift);
    };

    if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::Cut) {
        cut();
    } else if (event == QKeySequence::Paste) {
        paste();
    } else if (event == QKeySequence::Undo) {
        undo();
    } else if (event == QKeySequence::Redo ||
               (event->key() == Qt::Key_Y && event->modifiers() == Qt::ControlModifier) ||
               (event->key() == Qt::Key_Z &&
                event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier))) {
        redo();
    } else if (event == QKeySequence::MoveToStartOfDocument ||
               event == QKeySequence::SelectStartOfDocument) {
        MoveCaret(0, shift);
    } else if (event == QKeySequence::MoveToEndOfDocument ||
               event == QKeySequence::SelectEndOfDocument) {
        MoveCaret(Size(), shift);
    } else if (event == QKeySequence::MoveToNextWord || event == QKeySequence::SelectNextWord ||
               event == QKeySequence::MoveToPreviousWord ||
               event == QKeySequence::SelectPreviousWord) {
        // The arrow's way on screen: on a line that reads right to left, Right goes back.
        const bool right =
            event == QKeySequence::MoveToNextWord || event == QKeySequence::SelectNextWord;
        MoveCaret(WordBoundary(caret_, right != RightToLeft(caret_)), shift);
    } else if (event == QKeySequence::MoveToNextChar || event == QKeySequence::SelectNextChar ||
               event == QKeySequence::MoveToPreviousChar ||
               event == QKeySequence::SelectPreviousChar) {
        const bool right =
            event == QKeySequence::MoveToNextChar || event == QKeySequence::SelectNextChar;
        const bool forward = right != RightToLeft(caret_);
        if (!shift && caret_ != anchor_)
            MoveCaret(forward ? SelectionEnd() : SelectionStart(), false);
        else
            MoveCaret(forward ? NextCursor(caret_) : PreviousCursor(caret_), shift);
    } else if (event == QKeySequence::MoveToNextLine || event == QKeySequence::SelectNextLine) {
        vertical(1);
    } else if (event == QKeySequence::MoveToPreviousLine ||
               event == QKeySequence::SelectPreviousLine) {
        vertical(-1);
    } else if (event == QKeySequence::MoveToNextPage || event == QKeySequence::SelectNextPage) {
        vertical(VisibleRows());
    } else if (event == QKeySequence::MoveToPreviousPage ||
               event == QKeySequence::SelectPreviousPage) {
        vertical(-VisibleRows());
    } else if (event == QKeySequence::MoveToStartOfLine ||
               event == QKeySequence::SelectStartOfLine) {
        rowEdge(false);
    } else if (event == QKeySequence::MoveToEndOfLine || event == QKeySequence::SelectEndOfLine) {
        rowEdge(true);
    } else if (readOnly_) {
        event->ignore();
    } else if (event == QKeySequence::DeleteEndOfWord || event == QKeySequence::DeleteStartOfWord) {
        const bool forward = event == QKeySequence::DeleteEndOfWord;
        if (caret_ == anchor_)
            caret_ = WordBoundary(caret_, forward);
        DeleteSelectionOr(forward);
    } else if (event == QKeySequence::DeleteEndOfLine) {
        // As the stock box: from the anchor to the end of the caret's line, so a selection goes
        // with the rest of the line, and at a line's end nothing joins it to the next. Before a
        // line's last UTF-16 unit it takes one step to the right instead, which on a line read
        // right to left is a step back.
        std::size_t end = Document().LineEnd(Document().LineOf(caret_));
        if (caret_ != end && text_.NextCharacter(caret_) == end && end - caret_ <= 3 &&
            RightToLeft(caret_))
            end = PreviousCursor(caret_);
        MoveCaret(end, true);
        if (caret_ != anchor_)
            DeleteSelectionOr(true);
    } else if (event->key() == Qt::Key_Backspace) {
        DeleteSelectionOr(false);
    } else if (event->key() == Qt::Key_Delete) {
        DeleteSelectionOr(true);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        InsertText(QStringLiteral("\n"), false);
    } else if (!event->text().isEmpty() && event->text().front().isPrint() &&
               (event->modifiers() & Qt::ControlModifier) == 0) {
        InsertText(event->text(), true);
    } else {
        event->ignore();
    }
}

void TextView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
    viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    viewport()->update();
}

void TextView::RestartBlink() {
    caretShown_ = true;
    const int period = QGuiApplication::styleHints()->cursorFlashTime() / 2;
    if (period > 0 && hasFocus())
        blink_.start(period, this);
    else
        blink_.stop();
}

std::unique_ptr<QMenu> TextView::ContextMenu() {
    auto menu = std::make_unique<QMenu>();
    const auto add = [&](const char* text, QKeySequence::StandardKey keys, bool enabled,
                         void (TextView::*slot)()) {
        QString caption = QCoreApplication::translate("QWidgetTextControl", text);
        const QKeySequence sequence(keys);
        if (!sequence.isEmpty())
            caption += u'\t' + sequence.toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(caption, this, slot);
        action->setEnabled(enabled);
    };
    const bool selected = caret_ != anchor_;
    if (!readOnly_) {
        add("&Undo", QKeySequence::Undo, Document().CanUndo(), &TextView::undo);
        add("&Redo", QKeySequence::Redo, Document().CanRedo(), &TextView::redo);
        menu->addSeparator();
        add("Cu&t", QKeySequence::Cut, selected, &TextView::cut);
    }
    add("&Copy", QKeySequence::Copy, selected, &TextView::copy);
    if (!readOnly_) {
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        add("&Paste", QKeySequence::Paste, mime != nullptr && mime->hasText(), &TextView::paste);
        QAction* remove =
            menu->addAction(QCoreApplication::translate("QWidgetTextControl", "Delete"), this,
                            [this] { DeleteSelectionOr(true); });
        remove->setEnabled(selected);
    }
    menu->addSeparator();
    add("Select All", QKeySequence::SelectAll, Size() > 0, &TextView::selectAll);
    return menu;
}

void TextView::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu = ContextMenu();
    menu->exec(event->globalPos());
}

// --- Input methods and drops
// ----------------------------------------------------------------------

void TextView::inputMethodEvent(QInputMethodEvent* event) {
    if (readOnly_) {
        event->ignore();
        return;
    }
    layouts_.SetPreedit(caret_, {});
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        if (event->replacementLength() > 0 && caret_ == anchor_) {
            // Characters around the caret that the input method takes back.
            const Segment segment = SegmentOf(caret_);
            const int unit = UnitOf(segment, caret_);
            anchor_ = ByteOf(segment, unit + event->replacementStart());
            caret_ = ByteOf(segment, unit + event->replacementStart() + event->replacementLength());
        }
        InsertText(event->commitString(), true);
    }
    layouts_.SetPreedit(caret_, event->preeditString());
    viewport()->update();
    event->accept();
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const {
    const Segment segment = SegmentOf(caret_);
    switch (query) {
    case Qt::ImEnabled:
        return !readOnly_;
    case Qt::ImCursorRectangle:
        return CharacterRect(caret_).translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return UnitOf(segment, caret_);
    case Qt::ImAnchorPosition:
        return UnitOf(segment, std::clamp(anchor_, segment.from, segment.to));
    case Qt::ImSurroundingText:
        return Decoded(segment.from, segment.to);
    case Qt::ImCurrentSelection:
        return Decoded(std::clamp(SelectionStart(), segment.from, segment.to),
                       std::clamp(SelectionEnd(), segment.from, segment.to));
    case Qt::ImHints:
        return static_cast<int>(Qt::ImhMultiLine);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

QSize TextView::sizeHint() const {
    return {256, 192};
}

} // namespace skaldrun::ui
