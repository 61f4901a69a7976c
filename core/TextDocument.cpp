#include "core/TextDocument.h"

#include "core/LineBreaks.h"

#include <algorithm>

namespace skaldrun {

namespace {

constexpr std::size_t kBlock = 64 * 1024;

} // namespace

TextDocument::TextDocument(std::string text) {
    if (text.empty())
        return;
    auto block = std::make_shared<const std::string>(std::move(text));
    const std::string_view bytes = *block;
    SetPieces({TextSpan{std::move(block), bytes}});
}

TextDocument::TextDocument(std::string text, std::vector<std::size_t> lineStarts)
    : TextDocument(std::move(text)) {
    if (lineStarts.empty())
        return;
    starts_ = std::move(lineStarts);
    indexed_ = true;
}

void TextDocument::SetPieces(TextSpans pieces) {
    std::erase_if(pieces, [](const TextSpan& piece) { return piece.bytes.empty(); });
    pieces_ = std::move(pieces);
    ends_.resize(pieces_.size());
    std::size_t end = 0;
    for (std::size_t i = 0; i < pieces_.size(); ++i)
        ends_[i] = end += pieces_[i].bytes.size();
    size_ = end;
}

std::size_t TextDocument::PieceOf(std::size_t offset) const noexcept {
    const auto hit = std::upper_bound(ends_.begin(), ends_.end(), offset);
    return std::min(static_cast<std::size_t>(hit - ends_.begin()), pieces_.size() - 1);
}

std::string_view TextDocument::Range(std::size_t from, std::size_t to, std::string& scratch) const {
    if (from >= to)
        return {};
    std::size_t i = PieceOf(from);
    std::size_t start = PieceStart(i);
    if (to <= ends_[i])
        return pieces_[i].bytes.substr(from - start, to - from);
    scratch.clear();
    scratch.reserve(to - from);
    for (const TextSpan& span : Spans(from, to))
        scratch.append(span.bytes);
    return scratch;
}

std::string TextDocument::Copy(std::size_t from, std::size_t to) const {
    std::string scratch;
    const std::string_view range = Range(from, to, scratch);
    return range.data() == scratch.data() ? std::move(scratch) : std::string(range);
}

TextSpans TextDocument::Spans(std::size_t from, std::size_t to) const {
    TextSpans spans;
    to = std::min(to, size_);
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

TextSpan TextDocument::Store(std::string_view bytes) {
    if (block_ == nullptr || block_->capacity() - block_->size() < bytes.size()) {
        block_ = std::make_shared<std::string>();
        block_->reserve(std::max(kBlock, bytes.size()));
    }
    const std::size_t at = block_->size();
    block_->append(bytes); // within the capacity, so the bytes already shared stay where they are
    return {block_, std::string_view(block_->data() + at, bytes.size())};
}

// The starts of the lines whose CR LF lies within from..to, piece by piece, never joined.
void TextDocument::IndexBreaks(std::size_t from, std::size_t to,
                               std::vector<std::size_t>& starts) const {
    CrLfEnds breaks;
    std::size_t at = from;
    for (const TextSpan& span : Spans(from, to)) {
        breaks.Feed(span.bytes, [&](std::size_t end) { starts.push_back(at + end); });
        at += span.bytes.size();
    }
}

void TextDocument::EnsureIndex() const {
    if (indexed_)
        return;
    starts_.clear();
    starts_.push_back(0);
    IndexBreaks(0, size_, starts_);
    indexed_ = true;
}

TextChange TextDocument::Replace(std::size_t from, std::size_t to, std::string_view bytes,
                                 bool typing) {
    to = std::min(to, size_);
    from = std::min(from, to);
    TextSpans inserted;
    if (!bytes.empty())
        inserted.push_back(Store(bytes));
    TextChange change = Apply(from, to, inserted);
    change.caret = from + bytes.size();
    if (change.removed != 0 || !inserted.empty())
        history_.Record({from, change.removedBytes, std::move(inserted), typing});
    Announce(change);
    return change;
}

TextChange TextDocument::Move(std::size_t from, std::size_t to, std::size_t at) {
    to = std::min(to, size_);
    from = std::min(from, to);
    at = std::min(at, size_);
    if (at >= from && at <= to) { // into itself: nothing moves
        TextChange none = Apply(from, from, {});
        none.caret = to;
        return none;
    }
    // One replacement of everything between the old place and the new one.
    const std::size_t start = std::min(from, at);
    const std::size_t end = std::max(to, at);
    TextSpans spans = at < from ? Spans(from, to) : Spans(to, at);
    const TextSpans second = at < from ? Spans(at, from) : Spans(from, to);
    spans.insert(spans.end(), second.begin(), second.end());
    TextChange change = Apply(start, end, spans);
    change.caret = at < from ? at + (to - from) : at;
    history_.Record({start, change.removedBytes, std::move(spans), false});
    Announce(change);
    return change;
}

void TextDocument::Announce(const TextChange& change) const {
    if (change.removed != 0 || change.inserted != 0)
        watchers_.TellAll([&](Watcher& watcher) { watcher.TextChanged(change); });
}

std::optional<TextChange> TextDocument::Undo() {
    if (!history_.CanUndo())
        return std::nullopt;
    const EditStep& step = history_.Undo();
    TextChange change = Apply(step.at, step.at + SizeOf(step.inserted), step.removed);
    change.caret = step.at + change.inserted;
    Announce(change);
    return change;
}

std::optional<TextChange> TextDocument::Redo() {
    if (!history_.CanRedo())
        return std::nullopt;
    const EditStep& step = history_.Redo();
    TextChange change = Apply(step.at, step.at + SizeOf(step.removed), step.inserted);
    change.caret = step.at + change.inserted;
    Announce(change);
    return change;
}

// The pieces around the change are cut and the new spans go between them (joined to the piece
// before where they continue its bytes). Only a CR LF that touches the change can appear or go;
// the line starts after it move by the change in size.
TextChange TextDocument::Apply(std::size_t from, std::size_t to, const TextSpans& spans) {
    EnsureIndex();
    TextChange change;
    change.at = from;
    change.removed = to - from;
    change.inserted = SizeOf(spans);
    change.line = LineOf(from);
    change.removedBytes = Spans(from, to);
    // A CR LF whose CR the change takes joins the line after it too.
    change.linesBefore = LineOf(std::min(to + 1, size_)) - change.line;

    TextSpans pieces;
    pieces.reserve(pieces_.size() + spans.size() + 1);
    std::size_t start = 0;
    std::size_t i = 0;
    for (; i < pieces_.size() && ends_[i] <= from; start = ends_[i], ++i)
        pieces.push_back(pieces_[i]);
    if (i < pieces_.size() && start < from)
        pieces.push_back({pieces_[i].block, pieces_[i].bytes.substr(0, from - start)});
    for (const TextSpan& span : spans) {
        TextSpan* before = pieces.empty() ? nullptr : &pieces.back();
        if (before != nullptr && before->block == span.block &&
            before->bytes.data() + before->bytes.size() == span.bytes.data())
            before->bytes =
                std::string_view(before->bytes.data(), before->bytes.size() + span.bytes.size());
        else
            pieces.push_back(span);
    }
    for (; i < pieces_.size(); start = ends_[i], ++i) {
        if (ends_[i] <= to)
            continue;
        const std::size_t cut = to > start ? to - start : 0;
        pieces.push_back({pieces_[i].block, pieces_[i].bytes.substr(cut)});
    }
    SetPieces(std::move(pieces));

    const std::ptrdiff_t delta =
        static_cast<std::ptrdiff_t>(change.inserted) - static_cast<std::ptrdiff_t>(change.removed);
    const auto gone = std::lower_bound(starts_.begin() + 1, starts_.end(), from + 1);
    const auto kept = std::upper_bound(gone, starts_.end(), to + 1);
    for (auto s = kept; s != starts_.end(); ++s)
        *s = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(*s) + delta);
    std::vector<std::size_t> made;
    IndexBreaks(from > 0 ? from - 1 : 0, std::min(size_, from + change.inserted + 1), made);
    const auto at = starts_.erase(gone, kept);
    starts_.insert(at, made.begin(), made.end());
    change.linesAfter = LineOf(std::min(from + change.inserted + 1, size_)) - change.line;
    return change;
}

std::size_t TextDocument::LineCount() const {
    EnsureIndex();
    return starts_.size();
}

std::size_t TextDocument::LineStart(std::size_t line) const {
    EnsureIndex();
    return starts_[line];
}

std::size_t TextDocument::LineEnd(std::size_t line) const {
    EnsureIndex();
    return line + 1 < starts_.size() ? starts_[line + 1] - 2 : size_;
}

std::vector<std::size_t> TextDocument::LinesLongerThan(std::size_t length) const {
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

std::size_t TextDocument::LineOf(std::size_t offset) const {
    EnsureIndex();
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                    starts_.begin()) -
           1;
}

} // namespace skaldrun
