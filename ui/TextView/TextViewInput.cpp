// How the view maps keys, the context menu and input methods to its model's operations; the
// mouse, drags and drops have a file of their own.

#include "ui/TextView/TextView.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>

namespace skaldrun::ui {

void TextView::paste() {
    if (isReadOnly())
        return;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime != nullptr && mime->hasText())
        model_.Insert(mime->text(), false);
}

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
    const auto is = [event](QKeySequence::StandardKey move, QKeySequence::StandardKey select) {
        return event == move || event == select;
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
    } else if (is(QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument)) {
        model_.MoveTo(0, shift);
    } else if (is(QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument)) {
        model_.MoveTo(Size(), shift);
    } else if (is(QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord) ||
               is(QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord)) {
        model_.StepWord(is(QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord), shift);
    } else if (is(QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar) ||
               is(QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar)) {
        model_.StepCharacter(is(QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar), shift);
    } else if (is(QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine)) {
        model_.StepRows(1, shift);
    } else if (is(QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine)) {
        model_.StepRows(-1, shift);
    } else if (is(QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage)) {
        TurnPage(true, shift);
    } else if (is(QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage)) {
        TurnPage(false, shift);
    } else if (is(QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine)) {
        model_.ToRowEdge(false, shift);
    } else if (is(QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine)) {
        model_.ToRowEdge(true, shift);
    } else if (isReadOnly()) {
        event->ignore();
    } else if (event == QKeySequence::DeleteEndOfWord || event == QKeySequence::DeleteStartOfWord) {
        model_.DeleteWord(event == QKeySequence::DeleteEndOfWord);
    } else if (event == QKeySequence::DeleteEndOfLine) {
        model_.DeleteToLineEnd();
    } else if (event->key() == Qt::Key_Backspace) {
        model_.DeleteSelectionOr(false);
    } else if (event->key() == Qt::Key_Delete) {
        model_.DeleteSelectionOr(true);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        model_.Insert(QStringLiteral("\n"), false);
    } else if (!event->text().isEmpty() && event->text().front().isPrint() &&
               (event->modifiers() & Qt::ControlModifier) == 0) {
        model_.Insert(event->text(), true);
    } else {
        event->ignore();
    }
}

// As the stock box: the caret first shows, the page turns, and the caret goes to the row that
// now stands where it stood, at least one row on, keeping its column; where the text's end (or
// start) was already shown, to its last (or first) row. Pages in a row keep the first place.
void TextView::TurnPage(bool down, bool extend) {
    MakeVisible(CaretOffset());
    const Row from = rows_.RowOf(CaretOffset());
    if (!pageY_)
        pageY_ = geometry_.ScreenY(from);
    const bool turned = geometry_.TurnPage(down);
    SyncScrollBar();
    viewport()->update();
    const int y = turned ? *pageY_ : (down ? geometry_.Height() : 0);
    Row to = from;
    do {
        if (!(down ? rows_.Next(to) : rows_.Previous(to)))
            break;
    } while (down ? geometry_.ScreenY(to) < y : geometry_.ScreenY(to) > y);
    if (to == from)
        return;
    paging_ = true;
    model_.ToRow(to, extend);
    paging_ = false;
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
    const bool selected = SelectionStart() != SelectionEnd();
    const bool readOnly = isReadOnly();
    if (!readOnly) {
        add("&Undo", QKeySequence::Undo, Document().CanUndo(), &TextView::undo);
        add("&Redo", QKeySequence::Redo, Document().CanRedo(), &TextView::redo);
        menu->addSeparator();
        add("Cu&t", QKeySequence::Cut, selected, &TextView::cut);
    }
    add("&Copy", QKeySequence::Copy, selected, &TextView::copy);
    if (!readOnly) {
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        add("&Paste", QKeySequence::Paste, mime != nullptr && mime->hasText(), &TextView::paste);
        QAction* remove =
            menu->addAction(QCoreApplication::translate("QWidgetTextControl", "Delete"), this,
                            [this] { model_.DeleteSelectionOr(true); });
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

// --- Input methods ------------------------------------------------------------------------------

void TextView::inputMethodEvent(QInputMethodEvent* event) {
    if (isReadOnly()) {
        event->ignore();
        return;
    }
    const bool composing = event->preeditString() != layouts_.Preedit();
    layouts_.SetPreedit(CaretOffset(), {});
    model_.Commit(event->commitString(), event->replacementStart(), event->replacementLength(),
                  composing);
    layouts_.SetPreedit(CaretOffset(), event->preeditString());
    viewport()->update();
    event->accept();
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const {
    const std::size_t caret = CaretOffset();
    const LayoutCache::Segment segment = layouts_.SegmentOf(caret);
    switch (query) {
    case Qt::ImEnabled:
        return !isReadOnly();
    case Qt::ImCursorRectangle:
        return CharacterRect(caret).translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return layouts_.UnitOf(segment, caret);
    case Qt::ImAnchorPosition:
        return layouts_.UnitOf(segment,
                               std::clamp(model_.Selection().anchor, segment.from, segment.to));
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
