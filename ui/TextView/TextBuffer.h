#pragma once

// The bytes a text view shows, without any toolkit: borrowed from their owner for a read-only
// view, or held in a gap buffer that edits in place. Lines end at CR LF; the starts of all lines
// are indexed, built on first use, so a view that is never shown costs nothing.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace skaldrun::ui {

class TextBuffer {
public:
    // Shows bytes that their owner keeps unchanged while they are shown; no copy is made.
    void Borrow(std::string_view bytes);
    // Holds a copy that can be edited.
    void Assign(std::string_view bytes);
    bool Owned() const noexcept { return owned_; }

    std::size_t Size() const noexcept {
        return owned_ ? buffer_.size() - (gapEnd_ - gapStart_) : borrowed_.size();
    }
    char At(std::size_t offset) const noexcept {
        if (!owned_)
            return borrowed_[offset];
        return buffer_[offset < gapStart_ ? offset : offset + (gapEnd_ - gapStart_)];
    }
    // The bytes from..to; a view into the buffer where they lie on one side of the gap, else a
    // copy made in scratch.
    std::string_view Range(std::size_t from, std::size_t to, std::string& scratch) const;
    std::string Copy(std::size_t from, std::size_t to) const;
    // Whether the text is exactly these bytes.
    bool Equals(std::string_view bytes) const;

    // Replaces from..to with bytes; only for an owned text.
    void Replace(std::size_t from, std::size_t to, std::string_view bytes);

    // Lines, cut at CR LF: an empty text, or one ending in CR LF, has an empty last line.
    std::size_t LineCount() const;
    std::size_t LineStart(std::size_t line) const;
    // Where the line's bytes end, before its CR LF.
    std::size_t LineEnd(std::size_t line) const;
    std::size_t LineOf(std::size_t offset) const;

private:
    void EnsureIndex() const;
    void MoveGap(std::size_t to);
    void IndexBreaks(std::size_t from, std::size_t to, std::vector<std::size_t>& starts) const;

    bool owned_ = true;
    std::string_view borrowed_;
    std::string buffer_;
    std::size_t gapStart_ = 0;
    std::size_t gapEnd_ = 0;
    mutable std::vector<std::size_t> starts_;
    mutable bool indexed_ = false;
};

} // namespace skaldrun::ui
