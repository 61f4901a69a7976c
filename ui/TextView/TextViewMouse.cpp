// How the view maps the mouse to its model's operations, as every text box does: a click places
// the caret, a double click takes a word and a triple click a line, and a drag extends by what
// the click took, scrolling on its own beyond the view's edges; a selection dragged elsewhere
// moves (Ctrl: copies), or is copied out of a read-only view.

#include "ui/TextView/ClipboardText.h"
#include "ui/TextView/TextView.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyleHints>

namespace skaldrun::ui {

void TextView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const std::size_t offset = geometry_.OffsetAt(at);
    if (event->button() == Qt::MiddleButton) {
        if (!isReadOnly() && QGuiApplication::clipboard()->supportsSelection()) {
            const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Selection);
            if (mime != nullptr && mime->hasText()) {
                model_.MoveTo(offset, false);
                model_.Insert(mime->text(), false);
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
        selecting_ = true;
        model_.ClickLine(offset);
        return;
    }
    // A press on a shown selection may start a drag of it; a click there places the caret. A
    // selection is shown only while the view has the focus, so the press that brought the focus
    // drags nothing the user could not see.
    dragPending_ = !shift && !focusedByPress_ && SelectionStart() != SelectionEnd() &&
                   offset >= SelectionStart() && offset < SelectionEnd();
    focusedByPress_ = false;
    if (dragPending_)
        return;
    selecting_ = true;
    if (shift)
        model_.DragTo(offset, at.x() - ViewGeometry::kMargin);
    else
        model_.Click(offset);
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
    // Outside the view the view scrolls on its own, starting after a moment; a move itself
    // scrolls nothing, so the rows do not jump.
    if (viewport()->rect().contains(at))
        autoScroll_.stop();
    else if (!autoScroll_.isActive())
        autoScroll_.start(100, this);
    FollowMouse();
}

void TextView::FollowMouse() {
    followingMouse_ = true;
    model_.DragTo(geometry_.OffsetAt(dragAt_), dragAt_.x() - ViewGeometry::kMargin);
    followingMouse_ = false;
}

// As the stock box: a row each tick, the ticks quicker the farther the mouse is beyond the
// view's top or bottom, or, while text is dragged over the view, the nearer it is to them.
void TextView::AutoScroll() {
    QRect visible = viewport()->rect();
    if (dropCaret_) {
        const int edge = std::min(visible.height() / 3, 20);
        visible.adjust(0, edge, 0, -edge);
    }
    const int beyond =
        std::max(dragAt_.y() - visible.top(), visible.bottom() - dragAt_.y()) - visible.height();
    if (beyond < 0)
        return;
    const int distance = std::max(beyond, 7);
    autoScroll_.start(4900 / (distance * distance), this);
    if (beyond > 0)
        ScrollRows(dragAt_.y() < visible.center().y() ? -1 : 1);
}

void TextView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    autoScroll_.stop();
    if (dragPending_) { // a click on the selection, not a drag
        dragPending_ = false;
        model_.Click(geometry_.OffsetAt(event->position().toPoint()));
    }
    if (selecting_) {
        selecting_ = false;
        ShareAsPrimary();
    }
}

void TextView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    selecting_ = true;
    dragPending_ = false;
    tripleClickAt_ = at;
    tripleClick_.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
    model_.ClickWord(geometry_.OffsetAt(at));
}

// As the stock box: Ctrl zooms a read-only view; Ctrl or Shift scroll a page at a time; plain
// steps are three rows a notch, and the fractions of high-resolution wheels and touchpads add up
// until they make a row, starting again when the direction turns.
void TextView::wheelEvent(QWheelEvent* event) {
    const qreal notches = event->angleDelta().y() / 120.0;
    if (notches == 0) {
        event->ignore();
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    event->accept();
    if (isReadOnly() && (modifiers & Qt::ControlModifier) != 0) {
        QFont zoomed = font();
        const qreal size = zoomed.pointSizeF() + notches;
        if (size > 0) {
            zoomed.setPointSizeF(size);
            setFont(zoomed);
        }
        return;
    }
    // Counted in whole numbers: in floating point, three times a third of a notch fell short of
    // a row where the FPU rounds in extended precision (32-bit x86).
    const int delta = event->angleDelta().y();
    const int page = geometry_.PageRows();
    int rows = 0;
    if ((modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) != 0) {
        rows = std::clamp(delta * page / 120, -page, page);
        wheelTurned_ = 0;
    } else {
        if ((wheelTurned_ < 0 && delta > 0) || (wheelTurned_ > 0 && delta < 0))
            wheelTurned_ = 0;
        wheelTurned_ += QApplication::wheelScrollLines() * delta;
        rows = std::clamp(wheelTurned_ / 120, -page, page);
        wheelTurned_ %= 120;
    }
    if (rows != 0)
        ScrollRows(-rows);
}

void TextView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == blink_.timerId()) {
        caretShown_ = !caretShown_;
        viewport()->update();
    } else if (event->timerId() == autoScroll_.timerId()) {
        if (selecting_)
            FollowMouse();
        AutoScroll();
        if (dropCaret_)
            dropCaret_ = geometry_.OffsetAt(dragAt_);
    } else if (event->timerId() == tripleClick_.timerId()) {
        tripleClick_.stop();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

// --- Drags and drops ----------------------------------------------------------------------------

// The selection leaves as a drag: moved unless Ctrl is held or the view is read-only.
void TextView::DragSelection() {
    const std::size_t from = SelectionStart();
    const std::size_t to = SelectionEnd();
    const bool readOnly = isReadOnly();
    auto* drag = new QDrag(this);
    drag->setMimeData(new ClipboardText(Document().Spans(from, to), Codec()));
    const Qt::DropActions actions = readOnly ? Qt::CopyAction : Qt::CopyAction | Qt::MoveAction;
    draggedFrom_ = {from, to};
    droppedHere_ = false;
    const Qt::DropAction done = drag->exec(actions, readOnly ? Qt::CopyAction : Qt::MoveAction);
    // Moved into another program: the text goes from here. Dropped here, the drop did it all.
    if (done == Qt::MoveAction && !droppedHere_)
        model_.RemoveText(from, to);
    draggedFrom_ = {};
}

void TextView::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void TextView::dragMoveEvent(QDragMoveEvent* event) {
    if (isReadOnly() || !event->mimeData()->hasText()) {
        EndDropCaret();
        event->ignore();
        return;
    }
    // Moved within the view unless Ctrl asks for a copy; never into itself.
    const std::size_t offset = geometry_.OffsetAt(event->position().toPoint());
    const bool own = event->source() == this;
    if (own && offset > draggedFrom_.first && offset < draggedFrom_.second) {
        EndDropCaret();
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
    // Where the text would go shows as a caret; near the top or bottom the view scrolls.
    dropCaret_ = offset;
    dragAt_ = event->position().toPoint();
    if (!autoScroll_.isActive())
        autoScroll_.start(100, this);
    viewport()->update();
}

void TextView::dragLeaveEvent(QDragLeaveEvent* event) {
    EndDropCaret();
    QAbstractScrollArea::dragLeaveEvent(event);
}

void TextView::EndDropCaret() {
    if (!dropCaret_)
        return;
    dropCaret_.reset();
    if (!selecting_)
        autoScroll_.stop();
    viewport()->update();
}

void TextView::dropEvent(QDropEvent* event) {
    EndDropCaret();
    if (isReadOnly() || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    const std::size_t offset = geometry_.OffsetAt(event->position().toPoint());
    const bool own = event->source() == this;
    const bool move = own && (event->modifiers() & Qt::ControlModifier) == 0;
    if (own && offset > draggedFrom_.first && offset < draggedFrom_.second) {
        event->ignore();
        return;
    }
    if (move) { // one step, as one undo takes it back
        model_.MoveText(draggedFrom_.first, draggedFrom_.second, offset);
        droppedHere_ = true;
    } else {
        model_.InsertAt(offset, event->mimeData()->text());
    }
    event->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
}

} // namespace skaldrun::ui
