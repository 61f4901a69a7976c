#pragma once

// The bytes a text view shows, without any toolkit. The text starts as bytes borrowed from their
// owner, never copied; edits make it a table of pieces of those bytes and of blocks that hold
// what was typed or pasted, so no edit copies the text. Lines end at CR LF; the starts of all
// lines are indexed, built on first use, so a view that is never shown costs nothing.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace skaldrun::ui {

class TextBuffer {
public:
    // A run of the text that stays readable while keep lives; without keep, the bytes are the
    // owner's and last only as long as the owner leaves them.
    struct Span {
        std::shared_ptr<const std::string> keep;
        std::string_view bytes;
    };

    // Shows bytes that their owner keeps unchanged and alive until the next call.
    void Borrow(std::string_view bytes);
    // Holds all of the text in a block of its own, borrowing nothing; the line index stays.
    void KeepOwnCopy();
    // Borrows bytes equal to those held, dropping the pieces; the line index stays.
    void Rebase(std::string_view same);
    bool Borrows(std::string_view bytes) const noexcept {
        return pieces_.size() == 1 && pieces_.front().block == nullptr &&
               pieces_.front().bytes.data() == bytes.data() && size_ == bytes.size();
    }

    std::size_t Size() const noexcept { return size_; }
    char At(std::size_t offset) const noexcept {
        if (pieces_.size() == 1)
            return pieces_.front().bytes[offset];
        const std::size_t i = PieceOf(offset);
        return pieces_[i].bytes[offset - PieceStart(i)];
    }
    // The bytes from..to: a view into the text where one piece holds them, else a copy made in
    // scratch.
    std::string_view Range(std::size_t from, std::size_t to, std::string& scratch) const;
    std::string Copy(std::size_t from, std::size_t to) const;
    bool Equals(std::string_view bytes) const;
    // The bytes from..to as they are now, unchanged by later edits.
    std::vector<Span> Snapshot(std::size_t from, std::size_t to) const;

    void Replace(std::size_t from, std::size_t to, std::string_view bytes);

    // Lines, cut at CR LF: an empty text, or one ending in CR LF, has an empty last line.
    std::size_t LineCount() const;
    std::size_t LineStart(std::size_t line) const;
    // Where the line's bytes end, before its CR LF.
    std::size_t LineEnd(std::size_t line) const;
    std::size_t LineOf(std::size_t offset) const;
    // The lines whose bytes are more than length long, in order.
    std::vector<std::size_t> LinesLongerThan(std::size_t length) const;

private:
    struct Piece {
        std::string_view bytes;
        std::shared_ptr<const std::string> block; // none: the owner's bytes
    };

    std::size_t PieceOf(std::size_t offset) const noexcept;
    std::size_t PieceStart(std::size_t i) const noexcept { return i == 0 ? 0 : ends_[i - 1]; }
    Piece Store(std::string_view bytes);
    void SetPieces(std::vector<Piece> pieces);
    void EnsureIndex() const;
    void IndexBreaks(std::size_t from, std::size_t to, std::vector<std::size_t>& starts) const;

    std::vector<Piece> pieces_{Piece{}};
    std::vector<std::size_t> ends_{0};
    std::size_t size_ = 0;
    std::shared_ptr<std::string> block_; // where typed and pasted bytes go; never reallocated
    mutable std::vector<std::size_t> starts_;
    mutable bool indexed_ = false;
};

} // namespace skaldrun::ui
