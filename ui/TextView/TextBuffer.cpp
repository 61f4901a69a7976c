#include "ui/TextView/TextBuffer.h"

#include <algorithm>

namespace skaldrun::ui {

namespace {

constexpr std::size_t kBlock = 64 * 1024;

} // namespace

void TextBuffer::Borrow(std::string_view bytes) {
    SetPieces({Piece{bytes, nullptr}});
    block_ = nullptr;
    indexed_ = false;
    starts_ = {};
}

void TextBuffer::Rebase(std::string_view same) {
    SetPieces({Piece{same, nullptr}});
    block_ = nullptr;
}

void TextBuffer::KeepOwnCopy() {
    auto block = std::make_shared<const std::string>(Copy(0, size_));
    const std::string_view bytes = *block;
    SetPieces({Piece{bytes, std::move(block)}});
    block_ = nullptr;
}

void TextBuffer::SetPieces(std::vector<Piece> pieces) {
    std::erase_if(pieces, [](const Piece& piece) { return piece.bytes.empty(); });
    pieces_ = std::move(pieces);
    if (pieces_.empty())
        pieces_.push_back(Piece{});
    ends_.resize(pieces_.size());
    std::size_t end = 0;
    for (std::size_t i = 0; i < pieces_.size(); ++i)
        ends_[i] = end += pieces_[i].bytes.size();
    size_ = end;
}

std::size_t TextBuffer::PieceOf(std::size_t offset) const noexcept {
    const auto hit = std::upper_bound(ends_.begin(), ends_.end(), offset);
    return std::min(static_cast<std::size_t>(hit - ends_.begin()), pieces_.size() - 1);
}

std::string_view TextBuffer::Range(std::size_t from, std::size_t to, std::string& scratch) const {
    if (from >= to)
        return {};
    std::size_t i = PieceOf(from);
    std::size_t start = PieceStart(i);
    if (to <= ends_[i])
        return pieces_[i].bytes.substr(from - start, to - from);
    scratch.clear();
    scratch.reserve(to - from);
    for (; i < pieces_.size() && start < to; start = ends_[i], ++i) {
        const std::size_t a = std::max(from, start) - start;
        const std::size_t b = std::min(to, ends_[i]) - start;
        scratch.append(pieces_[i].bytes.substr(a, b - a));
    }
    return scratch;
}

std::string TextBuffer::Copy(std::size_t from, std::size_t to) const {
    std::string scratch;
    const std::string_view range = Range(from, to, scratch);
    return range.data() == scratch.data() ? std::move(scratch) : std::string(range);
}

bool TextBuffer::Equals(std::string_view bytes) const {
    if (bytes.size() != size_)
        return false;
    std::size_t at = 0;
    for (const Piece& piece : pieces_) {
        if (bytes.substr(at, piece.bytes.size()) != piece.bytes)
            return false;
        at += piece.bytes.size();
    }
    return true;
}

std::vector<TextBuffer::Span> TextBuffer::Snapshot(std::size_t from, std::size_t to) const {
    std::vector<Span> spans;
    if (from >= to)
        return spans;
    std::size_t i = PieceOf(from);
    for (std::size_t start = PieceStart(i); i < pieces_.size() && start < to;
         start = ends_[i], ++i) {
        const std::size_t a = std::max(from, start) - start;
        const std::size_t b = std::min(to, ends_[i]) - start;
        spans.push_back({pieces_[i].block, pieces_[i].bytes.substr(a, b - a)});
    }
    return spans;
}

TextBuffer::Piece TextBuffer::Store(std::string_view bytes) {
    if (block_ == nullptr || block_->capacity() - block_->size() < bytes.size()) {
        block_ = std::make_shared<std::string>();
        block_->reserve(std::max(kBlock, bytes.size()));
    }
    const std::size_t at = block_->size();
    block_->append(bytes); // within the capacity, so earlier pieces stay where they are
    return {std::string_view(block_->data() + at, bytes.size()), block_};
}

// The starts of the lines whose CR LF lies within from..to, piece by piece, never joined.
void TextBuffer::IndexBreaks(std::size_t from, std::size_t to,
                             std::vector<std::size_t>& starts) const {
    if (from >= to)
        return;
    bool afterCr = false;
    std::size_t i = PieceOf(from);
    for (std::size_t start = PieceStart(i); i < pieces_.size() && start < to;
         start = ends_[i], ++i) {
        const std::size_t a = std::max(from, start) - start;
        const std::size_t b = std::min(to, ends_[i]) - start;
        const std::string_view bytes = pieces_[i].bytes.substr(a, b - a);
        for (std::size_t lf = bytes.find('\n'); lf != std::string_view::npos;
             lf = bytes.find('\n', lf + 1)) {
            if (lf > 0 ? bytes[lf - 1] == '\r' : afterCr)
                starts.push_back(start + a + lf + 1);
        }
        afterCr = !bytes.empty() && bytes.back() == '\r';
    }
}

void TextBuffer::EnsureIndex() const {
    if (indexed_)
        return;
    starts_.clear();
    starts_.push_back(0);
    IndexBreaks(0, size_, starts_);
    indexed_ = true;
}

// The pieces around the change are cut and the new bytes become a piece of their own (or extend
// the one typed just before them). Only a CR LF that touches the change can appear or go; the
// line starts after it move by the change in size.
void TextBuffer::Replace(std::size_t from, std::size_t to, std::string_view bytes) {
    EnsureIndex();
    std::vector<Piece> pieces;
    pieces.reserve(pieces_.size() + 2);
    std::size_t start = 0;
    std::size_t i = 0;
    for (; i < pieces_.size() && ends_[i] <= from; start = ends_[i], ++i)
        pieces.push_back(pieces_[i]);
    if (i < pieces_.size() && start < from)
        pieces.push_back({pieces_[i].bytes.substr(0, from - start), pieces_[i].block});
    if (!bytes.empty()) {
        Piece added = Store(bytes);
        Piece* before = pieces.empty() ? nullptr : &pieces.back();
        if (before != nullptr && before->block == added.block &&
            before->bytes.data() + before->bytes.size() == added.bytes.data())
            before->bytes =
                std::string_view(before->bytes.data(), before->bytes.size() + added.bytes.size());
        else
            pieces.push_back(std::move(added));
    }
    for (; i < pieces_.size(); start = ends_[i], ++i) {
        if (ends_[i] <= to)
            continue;
        const std::size_t cut = to > start ? to - start : 0;
        pieces.push_back({pieces_[i].bytes.substr(cut), pieces_[i].block});
    }
    SetPieces(std::move(pieces));

    const std::ptrdiff_t delta =
        static_cast<std::ptrdiff_t>(bytes.size()) - static_cast<std::ptrdiff_t>(to - from);
    const auto gone = std::lower_bound(starts_.begin() + 1, starts_.end(), from + 1);
    const auto kept = std::upper_bound(gone, starts_.end(), to + 1);
    for (auto s = kept; s != starts_.end(); ++s)
        *s = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(*s) + delta);
    std::vector<std::size_t> made;
    IndexBreaks(from > 0 ? from - 1 : 0, std::min(size_, from + bytes.size() + 1), made);
    const auto at = starts_.erase(gone, kept);
    starts_.insert(at, made.begin(), made.end());
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
    return line + 1 < starts_.size() ? starts_[line + 1] - 2 : size_;
}

std::vector<std::size_t> TextBuffer::LinesLongerThan(std::size_t length) const {
    EnsureIndex();
    std::vector<std::size_t> lines;
    const std::size_t count = starts_.size();
    for (std::size_t line = 0; line + 1 < count; ++line) {
        if (starts_[line + 1] - starts_[line] > length + 2)
            lines.push_back(line);
    }
    if (size_ - starts_.back() > length)
        lines.push_back(count - 1);
    return lines;
}

std::size_t TextBuffer::LineOf(std::size_t offset) const {
    EnsureIndex();
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                    starts_.begin()) -
           1;
}

} // namespace skaldrun::ui
