// How the view turns the mouse into selections, scrolling and drags, as every text box does:
// a click places the caret, a double click takes a word and a triple click a line, and a drag
// extends by what the click took, scrolling on its own beyond the view's edges; a selection
// dragged elsewhere moves (Ctrl: copies), or is copied out of a read-only view.

#include "ui/TextView/ClipboardText.h"
#include "ui/TextView/TextView.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>

namespace skaldrun::ui {

// The word at offset, or the run of blanks or the sign there, as a double click takes it.
std::pair<std::size_t, std::size_t> TextView::WordAt(std::size_t offset) const {
    const Segment segment = SegmentOf(offset);
    const QString text = Layout(layouts_.SegmentIndex(segment)).layout->text();
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(UnitOf(segment, offset));
    qsizetype start =
        words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
            ? words.position()
            : words.toPreviousBoundary();
    start = std::max<qsizetype>(start, 0);
    words.setPosition(start);
    const qsizetype end = words.toNextBoundary();
    return {ByteOf(segment, static_cast<int>(start)),
            ByteOf(segment, static_cast<int>(end < 0 ? text.size() : end))};
}

// The line at offset with its break, as a triple click takes it.
std::pair<std::size_t, std::size_t> TextView::LineAt(std::size_t offset) const {
    const TextDocument& text = Document();
    const std::size_t line = text.LineOf(offset);
    return {text.LineStart(line), line + 1 < text.LineCount() ? text.LineStart(line + 1) : Size()};
}

// Extends the selection made by a double or triple click to the unit under offset, keeping
// what the click took.
void TextView::ExtendByUnit(std::size_t offset) {
    const auto [from, to] = clickUnit_ == ClickUnit::Word ? WordAt(offset) : LineAt(offset);
    if (from < clicked_.first) {
        anchor_ = clicked_.second;
        caret_ = from;
    } else {
        anchor_ = clicked_.first;
        caret_ = std::max(to, clicked_.second);
    }
    RestartBlink();
    EnsureVisible(caret_);
    SelectionChanged();
}

void TextView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const std::size_t offset = OffsetAt(at);
    if (event->button() == Qt::MiddleButton) {
        if (!readOnly_ && QGuiApplication::clipboard()->supportsSelection()) {
            const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Selection);
            if (mime != nullptr && mime->hasText()) {
                MoveCaret(offset, false);
                InsertText(mime->text(), false);
            }
        }
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
    pressedAt_ = at;
    if (tripleClick_.isActive() &&
        (at - tripleClickAt_).manhattanLength() < QApplication::startDragDistance()) {
        tripleClick_.stop();
        clickUnit_ = ClickUnit::Line;
        clicked_ = LineAt(offset);
        anchor_ = clicked_.first;
        caret_ = clicked_.second;
        selecting_ = true;
        EnsureVisible(caret_);
        SelectionChanged();
        return;
    }
    clickUnit_ = ClickUnit::Character;
    // A press on the selection may start a drag of it; a click there places the caret.
    dragPending_ =
        !shift && caret_ != anchor_ && offset >= SelectionStart() && offset < SelectionEnd();
    if (dragPending_)
        return;
    selecting_ = true;
    MoveCaret(offset, shift);
}

void TextView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) == 0)
        return;
    const QPoint at = event->position().toPoint();
    if (dragPending_) {
        if ((at - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
            dragPending_ = false;
            DragSelection();
        }
        return;
    }
    if (!selecting_)
        return;
    dragAt_ = at;
    AutoScroll();
    const std::size_t offset = OffsetAt(at);
    if (clickUnit_ == ClickUnit::Character)
        MoveCaret(offset, true);
    else
        ExtendByUnit(offset);
}

// Beyond the view's top or bottom the view scrolls on its own, a row each tick, the ticks
// quicker the farther away the mouse is, as the stock box does.
void TextView::AutoScroll() {
    const int height = viewport()->height();
    const int beyond = dragAt_.y() < 0 ? -dragAt_.y() : dragAt_.y() - height;
    if (!selecting_ || beyond <= 0) {
        autoScroll_.stop();
        return;
    }
    const int distance = std::max(beyond, 7);
    autoScroll_.start(4900 / (distance * distance), this);
}

void TextView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    autoScroll_.stop();
    if (dragPending_) { // a click on the selection, not a drag
        dragPending_ = false;
        MoveCaret(OffsetAt(event->position().toPoint()), false);
    }
    if (selecting_) {
        selecting_ = false;
        SelectionChanged(); // now the primary selection
    }
}

void TextView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    clicked_ = WordAt(OffsetAt(at));
    clickUnit_ = ClickUnit::Word;
    anchor_ = clicked_.first;
    caret_ = clicked_.second;
    selecting_ = true;
    dragPending_ = false;
    tripleClickAt_ = at;
    tripleClick_.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
    EnsureVisible(caret_);
    SelectionChanged();
}

void TextView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    ScrollRows(-steps * QApplication::wheelScrollLines());
    event->accept();
}

void TextView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == blink_.timerId()) {
        caretShown_ = !caretShown_;
        viewport()->update();
    } else if (event->timerId() == autoScroll_.timerId()) {
        ScrollRows(dragAt_.y() < 0 ? -1 : 1);
        const std::size_t offset = OffsetAt(dragAt_);
        if (clickUnit_ == ClickUnit::Character)
            MoveCaret(offset, true);
        else
            ExtendByUnit(offset);
        AutoScroll();
    } else if (event->timerId() == tripleClick_.timerId()) {
        tripleClick_.stop();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

// The selection leaves as a drag: moved unless Ctrl is held or the view is read-only.
void TextView::DragSelection() {
    const std::size_t from = SelectionStart();
    const std::size_t to = SelectionEnd();
    auto* drag = new QDrag(this);
    drag->setMimeData(new ClipboardText(Document().Spans(from, to), Codec()));
    const Qt::DropActions actions = readOnly_ ? Qt::CopyAction : Qt::CopyAction | Qt::MoveAction;
    draggedFrom_ = {from, to};
    droppedHere_ = false;
    const Qt::DropAction done = drag->exec(actions, readOnly_ ? Qt::CopyAction : Qt::MoveAction);
    // Moved into another program: the text goes from here. Dropped here, the drop did it all.
    if (done == Qt::MoveAction && !droppedHere_ && !readOnly_) {
        Replace(from, to, {});
        MoveCaret(from, false);
    }
    draggedFrom_ = {};
}

void TextView::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void TextView::dragMoveEvent(QDragMoveEvent* event) {
    if (readOnly_ || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    // Moved within the view unless Ctrl asks for a copy; never into itself.
    const std::size_t offset = OffsetAt(event->position().toPoint());
    const bool own = event->source() == this;
    if (own && offset > draggedFrom_.first && offset < draggedFrom_.second) {
        event->ignore();
        return;
    }
    if (own) {
        const bool copy = (event->modifiers() & Qt::ControlModifier) != 0;
        event->setDropAction(copy ? Qt::CopyAction : Qt::MoveAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

void TextView::dropEvent(QDropEvent* event) {
    if (readOnly_ || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    const std::size_t offset = OffsetAt(event->position().toPoint());
    const bool own = event->source() == this;
    const bool move = own && (event->modifiers() & Qt::ControlModifier) == 0;
    if (own && offset > draggedFrom_.first && offset < draggedFrom_.second) {
        event->ignore();
        return;
    }
    if (move) { // one step, as one undo takes it back
        const auto [from, to] = draggedFrom_;
        const TextChange change = text_.Document().Move(from, to, offset);
        Changed(change);
        anchor_ = change.caret - (to - from);
        caret_ = change.caret;
        droppedHere_ = true;
    } else {
        const std::string bytes = Codec().Encode(event->mimeData()->text());
        Replace(offset, offset, bytes);
        anchor_ = offset;
        caret_ = offset + bytes.size();
    }
    EnsureVisible(caret_);
    SelectionChanged();
    event->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
}

} // namespace skaldrun::ui
