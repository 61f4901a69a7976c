#include "ui/TextView/LayoutCache.h"

#include <QTextLayout>
#include <algorithm>

namespace skaldrun::ui {

namespace {

constexpr std::size_t kPart = 64 * 1024;       // the most of one line laid out at once
constexpr std::size_t kLayoutCacheLimit = 256; // laid-out segments in each of two generations
constexpr std::size_t kCutSearch = 4096;       // how far back a cut looks for a blank

// A code point that belongs to the character before it: a combining accent, a joiner, a
// variation selector or a skin tone.
bool JoinsTheOneBefore(const TextDocument& text, std::size_t at, std::size_t end) {
    const auto byte = [&](std::size_t i) {
        return i < end ? static_cast<unsigned char>(text.At(i)) : 0U;
    };
    const unsigned b0 = byte(at);
    const unsigned b1 = byte(at + 1);
    const unsigned b2 = byte(at + 2);
    const unsigned b3 = byte(at + 3);
    return (b0 == 0xCC || (b0 == 0xCD && b1 <= 0xAF)) ||             // U+0300..U+036F
           (b0 == 0xE2 && b1 == 0x80 && b2 == 0x8D) ||               // U+200D
           (b0 == 0xEF && b1 == 0xB8 && b2 >= 0x80 && b2 <= 0x8F) || // U+FE00..U+FE0F
           (b0 == 0xF0 && b1 == 0x9F && b2 == 0x8F && b3 >= 0xBB);   // U+1F3FB..U+1F3FF
}

} // namespace

LayoutCache::LayoutCache(const ShownText& text)
    : text_(text) {}

LayoutCache::~LayoutCache() = default;

void LayoutCache::Clear() const {
    layouts_.clear();
    retired_.clear();
}

void LayoutCache::SetFont(const QFont& font) {
    font_ = font;
    Clear();
}

void LayoutCache::SetWidth(int width) {
    if (width == width_)
        return;
    width_ = width;
    Clear();
}

void LayoutCache::SetPreedit(std::size_t offset, const QString& preedit) {
    if (preedit.isEmpty() && preedit_.isEmpty())
        return;
    preedit_ = preedit;
    preeditAt_ = offset;
    Clear();
}

void LayoutCache::Reset() {
    longIndexed_ = false;
    preedit_.clear();
    Clear();
}

// Lines before the change keep their layouts; lines after it keep theirs under their new
// numbers and offsets.
void LayoutCache::Changed(const TextChange& change) {
    std::vector<Laid> kept;
    const std::size_t lastTouched = change.line + change.linesBefore;
    const std::ptrdiff_t lines = static_cast<std::ptrdiff_t>(change.linesAfter) -
                                 static_cast<std::ptrdiff_t>(change.linesBefore);
    const std::ptrdiff_t bytes =
        static_cast<std::ptrdiff_t>(change.inserted) - static_cast<std::ptrdiff_t>(change.removed);
    for (auto& [index, laid] : layouts_) {
        Segment& s = laid.segment;
        if (s.line >= change.line && s.line <= lastTouched)
            continue;
        if (s.line > lastTouched) {
            s.line = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(s.line) + lines);
            s.from = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(s.from) + bytes);
            s.to = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(s.to) + bytes);
        }
        kept.push_back(std::move(laid));
    }
    Clear();
    longIndexed_ = false;
    for (Laid& laid : kept) {
        const std::size_t index = SegmentIndex(laid.segment);
        layouts_.emplace(index, std::move(laid));
    }
}

std::size_t LayoutCache::PartsOf(std::size_t line) const {
    const TextDocument& text = text_.Document();
    const std::size_t length = text.LineEnd(line) - text.LineStart(line);
    return length <= kPart ? 1 : (length + kPart - 1) / kPart;
}

void LayoutCache::IndexLongLines() const {
    if (longIndexed_)
        return;
    longLines_.clear();
    std::size_t extra = 0;
    for (const std::size_t line : text_.Document().LinesLongerThan(kPart)) {
        extra += PartsOf(line) - 1;
        longLines_.emplace_back(line, extra);
    }
    longIndexed_ = true;
}

std::size_t LayoutCache::SegmentCount() const {
    IndexLongLines();
    return text_.Document().LineCount() + (longLines_.empty() ? 0 : longLines_.back().second);
}

std::size_t LayoutCache::SegmentIndex(std::size_t line, std::size_t part) const {
    IndexLongLines();
    const auto after =
        std::lower_bound(longLines_.begin(), longLines_.end(), std::pair{line, std::size_t{0}});
    const std::size_t extraBefore = after == longLines_.begin() ? 0 : std::prev(after)->second;
    return line + extraBefore + part;
}

LayoutCache::Segment LayoutCache::SegmentAt(std::size_t index) const {
    IndexLongLines();
    // The first long line whose last segment is at or after index.
    const auto hit = std::lower_bound(
        longLines_.begin(), longLines_.end(), index,
        [](const auto& entry, std::size_t i) { return entry.first + entry.second < i; });
    const std::size_t extraBefore = hit == longLines_.begin() ? 0 : std::prev(hit)->second;
    Segment s;
    if (hit != longLines_.end() && hit->first + extraBefore <= index) {
        s.line = hit->first;
        s.part = index - hit->first - extraBefore;
    } else {
        s.line = index - extraBefore;
    }
    const TextDocument& text = text_.Document();
    const std::size_t start = text.LineStart(s.line);
    const std::size_t end = text.LineEnd(s.line);
    const bool utf8 = text_.Codec().Current() == ViewCodec::Encoding::Utf8;
    // A part ends after the last blank before its nominal end, so no word is cut in two;
    // a run of 4 KiB without one is cut between characters.
    const auto align = [&](std::size_t at) {
        at = std::min(at, end);
        for (std::size_t p = at; p > at - std::min(kCutSearch, at - start); --p) {
            if (text.At(p - 1) == ' ' || text.At(p - 1) == '\t')
                return p;
        }
        if (utf8) {
            while (at > start && IsContinuation(text.At(at)))
                --at;
            while (at > start + 1 && JoinsTheOneBefore(text, at, end)) {
                --at;
                while (at > start && IsContinuation(text.At(at)))
                    --at;
            }
        }
        return at;
    };
    s.from = s.part == 0 ? start : align(start + s.part * kPart);
    s.to = s.part + 1 >= PartsOf(s.line) ? end : align(start + (s.part + 1) * kPart);
    return s;
}

LayoutCache::Segment LayoutCache::SegmentOf(std::size_t offset) const {
    const TextDocument& text = text_.Document();
    const std::size_t line = text.LineOf(offset);
    const std::size_t parts = PartsOf(line);
    std::size_t part = std::min((offset - text.LineStart(line)) / kPart, parts - 1);
    Segment s = SegmentAt(SegmentIndex(line, part));
    // Cuts lie at or before the nominal ends of the parts.
    if (offset >= s.to && part + 1 < parts)
        s = SegmentAt(SegmentIndex(line, part + 1));
    return s;
}

LayoutCache::Laid& LayoutCache::Layout(std::size_t index) const {
    if (const auto hit = layouts_.find(index); hit != layouts_.end())
        return hit->second;
    // A full cache becomes the retired generation, whose entries keep their addresses as they
    // move, so nothing a caller holds goes with the next layout.
    if (auto node = retired_.extract(index))
        return layouts_.insert(std::move(node)).position->second;
    if (layouts_.size() >= kLayoutCacheLimit)
        retired_ = std::exchange(layouts_, {});
    const Segment segment = SegmentAt(index);
    auto layout = std::make_unique<QTextLayout>(text_.Decoded(segment.from, segment.to), font_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    if (!preedit_.isEmpty() && preeditAt_ >= segment.from && preeditAt_ <= segment.to)
        layout->setPreeditArea(UnitOf(segment, preeditAt_), preedit_);
    qreal y = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width_);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return layouts_.emplace(index, Laid{segment, std::move(layout)}).first->second;
}

} // namespace skaldrun::ui
