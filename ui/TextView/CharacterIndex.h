#pragma once

#include "ui/TextView/ShownText.h"

#include <cstddef>
#include <vector>

namespace skaldrun::ui {

// Offsets in screen text (UTF-16 units, one for each line break) and bytes, for screen readers:
// counted per block of lines once, then mapped through those counts, never a walk over the text.
class CharacterIndex {
public:
    explicit CharacterIndex(const ShownText& text)
        : text_(text) {}

    void Reset() noexcept { counted_ = false; }
    void Changed(const TextChange& change);

    int CharacterCount() const;
    std::size_t ByteOfCharacter(int offset) const;
    int CharacterOfByte(std::size_t offset) const;

private:
    void Count() const;
    void SumFrom(std::size_t block) const;
    int LineUnits(std::size_t line) const;
    int BlockUnits(std::size_t block) const;

    const ShownText& text_;
    mutable std::vector<int> blockUnits_;
    mutable std::vector<int> before_; // units before each block, and after the last
    mutable bool counted_ = false;
};

} // namespace skaldrun::ui
