#include "ui/TextView/TextBuffer.h"

#include <algorithm>
#include <cstring>

namespace skaldrun::ui {

void TextBuffer::Borrow(std::string_view bytes) {
    owned_ = false;
    borrowed_ = bytes;
    buffer_ = std::string();
    gapStart_ = gapEnd_ = 0;
    indexed_ = false;
    starts_ = {};
}

void TextBuffer::Assign(std::string_view bytes) {
    owned_ = true;
    borrowed_ = {};
    buffer_.assign(bytes);
    gapStart_ = gapEnd_ = buffer_.size();
    indexed_ = false;
    starts_ = {};
}

std::string_view TextBuffer::Range(std::size_t from, std::size_t to, std::string& scratch) const {
    if (!owned_)
        return borrowed_.substr(from, to - from);
    const std::size_t gap = gapEnd_ - gapStart_;
    if (to <= gapStart_)
        return std::string_view(buffer_).substr(from, to - from);
    if (from >= gapStart_)
        return std::string_view(buffer_).substr(from + gap, to - from);
    scratch.assign(buffer_, from, gapStart_ - from);
    scratch.append(buffer_, gapEnd_, to - gapStart_);
    return scratch;
}

std::string TextBuffer::Copy(std::size_t from, std::size_t to) const {
    std::string scratch;
    const std::string_view range = Range(from, to, scratch);
    return range.data() == scratch.data() ? scratch : std::string(range);
}

bool TextBuffer::Equals(std::string_view bytes) const {
    if (bytes.size() != Size())
        return false;
    if (!owned_)
        return borrowed_ == bytes;
    const std::string_view before(buffer_.data(), gapStart_);
    const std::string_view after(buffer_.data() + gapEnd_, buffer_.size() - gapEnd_);
    return bytes.substr(0, before.size()) == before && bytes.substr(before.size()) == after;
}

void TextBuffer::MoveGap(std::size_t to) {
    if (to < gapStart_) {
        const std::size_t n = gapStart_ - to;
        std::memmove(buffer_.data() + gapEnd_ - n, buffer_.data() + to, n);
        gapStart_ -= n;
        gapEnd_ -= n;
    } else if (to > gapStart_) {
        const std::size_t n = to - gapStart_;
        std::memmove(buffer_.data() + gapStart_, buffer_.data() + gapEnd_, n);
        gapStart_ += n;
        gapEnd_ += n;
    }
}

void TextBuffer::IndexBreaks(std::size_t from, std::size_t to,
                             std::vector<std::size_t>& starts) const {
    std::string scratch;
    const std::string_view bytes = Range(from, to, scratch);
    for (std::size_t i = bytes.find('\n'); i != std::string_view::npos;
         i = bytes.find('\n', i + 1)) {
        if (i > 0 && bytes[i - 1] == '\r')
            starts.push_back(from + i + 1);
    }
}

void TextBuffer::EnsureIndex() const {
    if (indexed_)
        return;
    starts_.clear();
    starts_.push_back(0);
    IndexBreaks(0, Size(), starts_);
    indexed_ = true;
}

// The lines from the one holding from to the one holding to are indexed again; every later
// start moves by the change in size.
void TextBuffer::Replace(std::size_t from, std::size_t to, std::string_view bytes) {
    EnsureIndex();
    const std::size_t first = LineOf(from);
    const std::size_t last = LineOf(to);
    const std::size_t regionStart = starts_[first];
    const std::size_t regionEnd = last + 1 < starts_.size() ? starts_[last + 1] : Size();

    MoveGap(to);
    gapStart_ = from;
    if (gapEnd_ - gapStart_ < bytes.size()) {
        const std::size_t grow = std::max(bytes.size(), buffer_.size() / 2 + 4096);
        buffer_.insert(gapEnd_, grow, '\0');
        gapEnd_ += grow;
    }
    std::memcpy(buffer_.data() + gapStart_, bytes.data(), bytes.size());
    gapStart_ += bytes.size();

    const std::ptrdiff_t delta =
        static_cast<std::ptrdiff_t>(bytes.size()) - static_cast<std::ptrdiff_t>(to - from);
    std::vector<std::size_t> region;
    IndexBreaks(regionStart, static_cast<std::size_t>(regionEnd + delta), region);
    if (!region.empty() && region.back() == static_cast<std::size_t>(regionEnd + delta) &&
        last + 1 < starts_.size())
        region.pop_back(); // the unchanged break that ends the region is indexed already
    for (std::size_t i = last + 1; i < starts_.size(); ++i)
        starts_[i] = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(starts_[i]) + delta);
    starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(first + 1),
                  starts_.begin() + static_cast<std::ptrdiff_t>(last + 1));
    starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(first + 1), region.begin(),
                   region.end());
}

std::size_t TextBuffer::LineCount() const {
    EnsureIndex();
    return starts_.size();
}

std::size_t TextBuffer::LineStart(std::size_t line) const {
    EnsureIndex();
    return starts_[line];
}

std::size_t TextBuffer::LineEnd(std::size_t line) const {
    EnsureIndex();
    return line + 1 < starts_.size() ? starts_[line + 1] - 2 : Size();
}

std::size_t TextBuffer::LineOf(std::size_t offset) const {
    EnsureIndex();
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                    starts_.begin()) -
           1;
}

} // namespace skaldrun::ui
