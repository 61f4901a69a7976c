#include "ui/TextView/EditModel.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace skaldrun::ui {

void EditModel::Share(std::shared_ptr<SelectionModel> selection) {
    selection_ = selection != nullptr ? std::move(selection) : std::make_shared<SelectionModel>();
    preferredX_ = -1;
    clickUnit_ = ClickUnit::Character;
}

void EditModel::Select(std::size_t anchor, std::size_t caret) {
    preferredX_ = -1;
    selection_->Set({text_.CharacterStart(anchor), text_.CharacterStart(caret)});
}

void EditModel::Follow(const TextChange& change) {
    const auto follow = [&](std::size_t offset) {
        if (offset > change.at && offset >= change.at + change.removed)
            offset = offset - change.removed + change.inserted;
        else if (offset > change.at)
            offset = change.at; // its text went
        return text_.CharacterStart(std::min(offset, text_.Size()));
    };
    const TextSelection& now = Selection();
    selection_->Set({follow(now.anchor), follow(now.caret)});
}

void EditModel::MoveCaret(std::size_t offset, bool extend, bool keepX) {
    const std::size_t caret = text_.CharacterStart(offset);
    if (!keepX)
        preferredX_ = -1;
    SelectMoved({extend ? Selection().anchor : caret, caret});
}

void EditModel::SelectMoved(TextSelection selection) {
    selection_->Set(selection);
    listener_.CaretMoved();
}

void EditModel::StepCharacter(bool right, bool extend) {
    const TextSelection& now = Selection();
    const bool forward = right != units_.RightToLeft(now.caret);
    if (!extend && !now.Empty())
        MoveTo(forward ? now.End() : now.Start(), false);
    else
        MoveTo(forward ? units_.NextCursor(now.caret) : units_.PreviousCursor(now.caret), extend);
}

void EditModel::StepWord(bool right, bool extend) {
    const std::size_t caret = Caret();
    MoveTo(units_.WordBoundary(caret, right != units_.RightToLeft(caret)), extend);
}

void EditModel::StepRows(int rows, bool extend) {
    const std::size_t caret = Caret();
    if (preferredX_ < 0)
        preferredX_ = rows_.XOf(caret);
    Row row = rows_.RowOf(caret);
    bool moved = false;
    for (int i = 0; i < std::abs(rows); ++i)
        moved = (rows > 0 ? rows_.Next(row) : rows_.Previous(row)) || moved;
    // A plain step past the first or last row changes nothing, as in every text box.
    if (!moved && std::abs(rows) == 1 && !extend)
        return;
    const std::size_t target =
        moved ? rows_.OffsetInRow(row, preferredX_) : (rows > 0 ? text_.Size() : 0);
    MoveCaret(target, extend, moved);
}

void EditModel::ToRow(const Row& row, bool extend) {
    if (preferredX_ < 0)
        preferredX_ = rows_.XOf(Caret());
    MoveCaret(rows_.OffsetInRow(row, preferredX_), extend, true);
}

void EditModel::ToRowEdge(bool end, bool extend) {
    const auto [start, stop] = rows_.Edges(rows_.RowOf(Caret()));
    MoveTo(end ? stop : start, extend);
}

void EditModel::SelectAll() {
    preferredX_ = -1;
    SelectMoved({0, text_.Size()});
}

bool EditModel::Keeps(const QString& text) const {
    const QString unkept = text_.Codec().Unkept(text);
    if (!unkept.isEmpty())
        listener_.NotKept(unkept);
    return unkept.isEmpty();
}

void EditModel::InsertOver(TextSelection over, const QString& text, bool typing) {
    if (readOnly_ || !Keeps(text))
        return;
    const std::string bytes = text_.Codec().Encode(text);
    const std::size_t from = over.Start();
    Document().Replace(from, over.End(), bytes, typing && over.Empty());
    MoveTo(from + bytes.size(), false);
}

void EditModel::Replace(std::size_t from, std::size_t to, const QString& text) {
    if (from > to)
        std::swap(from, to);
    to = text_.CharacterStart(std::min(to, text_.Size()));
    from = text_.CharacterStart(std::min(from, to));
    InsertOver({from, to}, text, false);
}

void EditModel::DeleteOver(TextSelection over, bool forward) {
    if (readOnly_)
        return;
    std::size_t from = over.Start();
    std::size_t to = over.End();
    if (from == to) {
        if (forward)
            to = units_.NextCursor(to); // a whole character as the reader sees it
        else
            from = text_.PreviousCharacter(from);
    }
    if (from == to)
        return;
    Document().Replace(from, to, {});
    MoveTo(from, false);
}

void EditModel::DeleteWord(bool forward) {
    TextSelection over = Selection();
    if (over.Empty())
        over.caret = units_.WordBoundary(over.caret, forward);
    DeleteOver(over, forward);
}

// As the stock box: from the anchor to the end of the caret's line, so a selection goes with the
// rest of the line, and at a line's end nothing joins it to the next. Before a line's last UTF-16
// unit it takes one step to the right instead, which on a line read right to left is a step back.
void EditModel::DeleteToLineEnd() {
    if (readOnly_)
        return;
    const std::size_t caret = Caret();
    std::size_t end = Document().LineEnd(Document().LineOf(caret));
    if (caret != end && text_.NextCharacter(caret) == end && end - caret <= 3 &&
        units_.RightToLeft(caret))
        end = units_.PreviousCursor(caret);
    MoveTo(end, true);
    if (!Selection().Empty())
        DeleteSelectionOr(true);
}

void EditModel::Undo() {
    if (readOnly_)
        return;
    if (const std::optional<TextChange> change = Document().Undo())
        MoveTo(change->caret, false);
}

void EditModel::Redo() {
    if (readOnly_)
        return;
    if (const std::optional<TextChange> change = Document().Redo())
        MoveTo(change->caret, false);
}

void EditModel::Commit(const QString& text, int replacedFrom, int replacedUnits, bool composing) {
    if (readOnly_)
        return;
    TextSelection over = Selection();
    if (text.isEmpty() && replacedUnits <= 0) {
        if (composing && !over.Empty())
            DeleteOver(over, true);
        return;
    }
    if (replacedUnits > 0 && over.Empty()) {
        const std::size_t caret = over.caret;
        over = {units_.UnitsAway(caret, replacedFrom),
                units_.UnitsAway(caret, replacedFrom + replacedUnits)};
    }
    InsertOver(over, text, true);
}

void EditModel::Click(std::size_t offset) {
    clickUnit_ = ClickUnit::Character;
    MoveTo(offset, false);
}

void EditModel::SelectClicked(std::pair<std::size_t, std::size_t> taken, ClickUnit unit) {
    clicked_ = taken;
    clickUnit_ = unit;
    preferredX_ = -1;
    SelectMoved({taken.first, taken.second});
}

// Where there is no word, the caret goes there and a drag goes by characters.
void EditModel::ClickWord(std::size_t offset) {
    const auto word = units_.WordUnderCursor(offset);
    if (word.first == word.second) {
        clickUnit_ = ClickUnit::Character;
        MoveTo(word.first, false);
        return;
    }
    SelectClicked(word, ClickUnit::Word);
}

void EditModel::ClickLine(std::size_t offset) {
    SelectClicked(units_.LineAt(offset), ClickUnit::Line);
}

void EditModel::DragTo(std::size_t offset, qreal x) {
    if (clickUnit_ == ClickUnit::Word) {
        ExtendByWords(offset, x);
    } else if (clickUnit_ == ClickUnit::Line) {
        const auto [from, to] = units_.LineAt(offset);
        if (offset >= clicked_.first && offset <= clicked_.second)
            SelectMoved({clicked_.first, clicked_.second});
        else if (offset < clicked_.first)
            SelectMoved({clicked_.second, from});
        else
            SelectMoved({clicked_.first, to});
    } else {
        MoveTo(offset, true);
    }
}

// As the stock box: the word the mouse is over joins the selection, up to its start or its end,
// whichever the mouse is nearer; over the clicked word, or off any word, the selection stays.
void EditModel::ExtendByWords(std::size_t offset, qreal x) {
    if (offset >= clicked_.first && offset <= clicked_.second) {
        SelectMoved({clicked_.first, clicked_.second});
        return;
    }
    const std::optional<std::size_t> start = units_.StartOfWord(offset);
    if (!start)
        return;
    const std::optional<std::size_t> end = units_.EndOfWord(*start);
    if (!end || *end == *start || rows_.RowOf(*end) != rows_.RowOf(*start))
        return;
    const qreal startX = rows_.XOf(*start);
    const qreal endX = rows_.XOf(*end);
    if (x < startX || x > endX)
        return;
    const std::size_t anchor = offset < clicked_.second ? clicked_.second : clicked_.first;
    SelectMoved({anchor, x - startX < endX - x ? *start : *end});
}

void EditModel::MoveText(std::size_t from, std::size_t to, std::size_t at) {
    if (readOnly_)
        return;
    const TextChange change = Document().Move(from, to, at);
    SelectMoved({change.caret - (to - from), change.caret});
}

void EditModel::InsertAt(std::size_t at, const QString& text) {
    if (readOnly_ || !Keeps(text))
        return;
    const std::string bytes = text_.Codec().Encode(text);
    Document().Replace(at, at, bytes);
    SelectMoved({at, at + bytes.size()});
}

void EditModel::RemoveText(std::size_t from, std::size_t to) {
    if (readOnly_)
        return;
    Document().Replace(from, to, {});
    MoveTo(from, false);
}

} // namespace skaldrun::ui
