#pragma once

#include "core/TextSelection.h"
#include "ui/TextView/TextUnits.h"

#include <QString>
#include <cstddef>
#include <memory>
#include <utility>

namespace skaldrun::ui {

// What keys, clicks, drops and input methods do to a view's text and selection, as operations
// that need no widget: the caret's moves by characters, words, rows and pages, the edits with
// their undo, and the selections clicks make. The selection is a shared SelectionModel, so its
// owner and the view hold one and the same. Edits go to the document, which tells whoever keeps
// something of it; a read-only model makes none, and text the document's encoding cannot keep
// is not put in at all rather than turned into question marks.
class EditModel {
public:
    // Told when an act of the user's put the caret somewhere, to be shown there.
    class Listener {
    public:
        virtual void CaretMoved() = 0;
        // Text was not put in because the text's encoding cannot keep these characters.
        virtual void NotKept(const QString& characters) = 0;

    protected:
        ~Listener() = default;
    };

    EditModel(ShownText& text, const TextUnits& units, const TextRows& rows, Listener& listener)
        : text_(text)
        , units_(units)
        , rows_(rows)
        , listener_(listener) {}

    bool ReadOnly() const noexcept { return readOnly_; }
    void SetReadOnly(bool readOnly) noexcept { readOnly_ = readOnly; }

    const std::shared_ptr<SelectionModel>& Shared() const noexcept { return selection_; }
    void Share(std::shared_ptr<SelectionModel> selection);
    const TextSelection& Selection() const noexcept { return selection_->Get(); }
    std::size_t Caret() const noexcept { return Selection().caret; }
    // Sets the selection as a program does: on whole characters, with no scrolling.
    void Select(std::size_t anchor, std::size_t caret);
    // Keeps the selection on the same text after a change someone else made.
    void Follow(const TextChange& change);

    void MoveTo(std::size_t offset, bool extend) { MoveCaret(offset, extend, false); }
    // Left and Right: on a line read right to left, Right goes back.
    void StepCharacter(bool right, bool extend);
    void StepWord(bool right, bool extend);
    // Up and Down by rows, pages too, keeping the column the caret had; past the first or the
    // last row a page or a selecting step goes to the text's end.
    void StepRows(int rows, bool extend);
    void ToRowEdge(bool end, bool extend);
    // To a row, in the column Up and Down keep.
    void ToRow(const Row& row, bool extend);
    void SelectAll();

    void Insert(const QString& text, bool typing) { InsertOver(Selection(), text, typing); }
    // Replaces from..to (in either order, past the end too, as screen readers name them).
    void Replace(std::size_t from, std::size_t to, const QString& text);
    // The selection, or a whole character forward or one code point back, so that an accent
    // can go alone.
    void DeleteSelectionOr(bool forward) { DeleteOver(Selection(), forward); }
    void DeleteWord(bool forward);
    void DeleteToLineEnd();
    void Undo();
    void Redo();
    // An input method's text, over the characters around the caret it takes back. Text that
    // comes or a composition that changes takes the selection's place, as typing does.
    void Commit(const QString& text, int replacedFrom, int replacedUnits, bool composing = false);

    // A press takes a place, a double click a word, a triple click a line; a drag, or a press
    // with Shift, extends by what the click took, keeping it. x is where the mouse is across
    // the row, for the end of a word it comes nearer to.
    void Click(std::size_t offset);
    void ClickWord(std::size_t offset);
    void ClickLine(std::size_t offset);
    void DragTo(std::size_t offset, qreal x);

    // Drops: text dragged within the view moves as one step, text from elsewhere comes in;
    // either stays selected. Text moved out of the view goes.
    void MoveText(std::size_t from, std::size_t to, std::size_t at);
    void InsertAt(std::size_t at, const QString& text);
    void RemoveText(std::size_t from, std::size_t to);

private:
    enum class ClickUnit { Character, Word, Line };

    TextDocument& Document() const noexcept { return text_.Document(); }
    void MoveCaret(std::size_t offset, bool extend, bool keepX);
    void SelectMoved(TextSelection selection);
    void InsertOver(TextSelection over, const QString& text, bool typing);
    // Whether the text's encoding keeps all of text; where not, the listener hears which.
    bool Keeps(const QString& text) const;
    void DeleteOver(TextSelection over, bool forward);
    void SelectClicked(std::pair<std::size_t, std::size_t> taken, ClickUnit unit);
    void ExtendByWords(std::size_t offset, qreal x);

    ShownText& text_;
    const TextUnits& units_;
    const TextRows& rows_;
    Listener& listener_;
    std::shared_ptr<SelectionModel> selection_ = std::make_shared<SelectionModel>();
    bool readOnly_ = false;
    qreal preferredX_ = -1;
    ClickUnit clickUnit_ = ClickUnit::Character;
    std::pair<std::size_t, std::size_t> clicked_;
};

} // namespace skaldrun::ui
