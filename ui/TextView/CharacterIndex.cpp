#include "ui/TextView/CharacterIndex.h"

#include "core/Utf8.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace skaldrun::ui {

namespace {

constexpr std::size_t kBlockLines = 1024; // lines per count of screen units

} // namespace

// A line's screen units, with one for the break after it.
int CharacterIndex::LineUnits(std::size_t line) const {
    const TextDocument& text = text_.Document();
    return text_.UnitsIn(text.LineStart(line), text.LineEnd(line)) +
           (line + 1 < text.LineCount() ? 1 : 0);
}

// Counted over the block's bytes at once where the encoding allows: each CR LF is two bytes
// but one "\n".
int CharacterIndex::BlockUnits(std::size_t block) const {
    const TextDocument& text = text_.Document();
    const std::size_t lines = text.LineCount();
    const std::size_t first = block * kBlockLines;
    const std::size_t end = std::min(lines, first + kBlockLines);
    const ViewCodec::Encoding encoding = text_.Codec().Current();
    if (encoding == ViewCodec::Encoding::SystemAnsi) { // only the system knows its characters
        int units = 0;
        for (std::size_t line = first; line < end; ++line)
            units += LineUnits(line);
        return units;
    }
    const std::size_t from = text.LineStart(first);
    const std::size_t to = end < lines ? text.LineStart(end) : text.Size();
    const std::size_t breaks = end < lines ? end - first : end - first - 1;
    std::string scratch;
    const std::string_view bytes = text.Range(from, to, scratch);
    const std::size_t units =
        encoding == ViewCodec::Encoding::Utf8 ? Utf16Length(bytes) : bytes.size();
    return static_cast<int>(units - breaks);
}

void CharacterIndex::Count() const {
    if (counted_)
        return;
    const std::size_t lines = text_.Document().LineCount();
    blockUnits_.resize((lines + kBlockLines - 1) / kBlockLines);
    for (std::size_t block = 0; block < blockUnits_.size(); ++block)
        blockUnits_[block] = BlockUnits(block);
    SumFrom(0);
    counted_ = true;
}

void CharacterIndex::SumFrom(std::size_t block) const {
    before_.resize(blockUnits_.size() + 1);
    for (; block < blockUnits_.size(); ++block)
        before_[block + 1] = before_[block] + blockUnits_[block];
}

// Where the lines stay as many, only the blocks of the touched lines are counted again.
void CharacterIndex::Changed(const TextChange& change) {
    if (!counted_)
        return;
    if (change.linesBefore != change.linesAfter) {
        counted_ = false;
        return;
    }
    const std::size_t last = change.line + change.linesAfter;
    for (std::size_t block = change.line / kBlockLines; block <= last / kBlockLines; ++block)
        blockUnits_[block] = BlockUnits(block);
    SumFrom(change.line / kBlockLines);
}

int CharacterIndex::CharacterCount() const {
    Count();
    return before_.back();
}

int CharacterIndex::CharacterOfByte(std::size_t offset) const {
    Count();
    const TextDocument& text = text_.Document();
    offset = std::min(offset, text.Size());
    const std::size_t line = text.LineOf(offset);
    const std::size_t block = line / kBlockLines;
    int units = before_[block];
    for (std::size_t l = block * kBlockLines; l < line; ++l)
        units += LineUnits(l);
    return units + text_.UnitsIn(text.LineStart(line), offset);
}

std::size_t CharacterIndex::ByteOfCharacter(int offset) const {
    Count();
    const TextDocument& text = text_.Document();
    const int wanted = std::max(offset, 0);
    // The last block that starts at or before the offset.
    const auto after = std::upper_bound(before_.begin() + 1, before_.end() - 1, wanted);
    const std::size_t block = static_cast<std::size_t>(after - before_.begin()) - 1;
    int units = wanted - before_[block];
    const std::size_t lines = text.LineCount();
    for (std::size_t line = block * kBlockLines; line < lines; ++line) {
        const std::size_t start = text.LineStart(line);
        const std::size_t end = text.LineEnd(line);
        const int length = text_.UnitsIn(start, end);
        if (units <= length || line + 1 == lines)
            return text_.ByteAfterUnits(start, end, units);
        units -= length + 1;
    }
    return text.Size();
}

} // namespace skaldrun::ui
