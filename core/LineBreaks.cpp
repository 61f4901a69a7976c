#include "core/LineBreaks.h"

#include "core/Errors.h"
#include "core/platform/Memory.h"

#include <cstring>

namespace skaldrun {

namespace {

using detail::FindBreakOrNul;
using detail::SkipUniformText;

struct Extent {
    const char* textEnd; // the first NUL, or the end
    std::size_t singles; // breaks that are a lone CR or LF
};

Extent Measure(const char* begin, const char* end) noexcept {
    Extent e{end, 0};
    for (const char* p = FindBreakOrNul(SkipUniformText(begin, end), end); p != end;
         p = FindBreakOrNul(p, end)) {
        if (*p == '\0') {
            e.textEnd = p;
            break;
        }
        if (IsCrLf(p, end)) {
            p += 2;
        } else {
            ++e.singles;
            ++p;
        }
    }
    return e;
}

} // namespace

TextLines SplitLines(std::string_view text) noexcept {
    return TextLines(text);
}

void AppendLine(CrLfText& text, std::string_view line) {
    if (text.empty() || text.ends_with(kLineBreak)) {
        text.append(line).append(kLineBreak);
    } else {
        text.append(kLineBreak).append(line);
    }
}

std::size_t NormalizedLength(std::string_view text) noexcept {
    const Extent e = Measure(text.data(), text.data() + text.size());
    return static_cast<std::size_t>(e.textEnd - text.data()) + e.singles;
}

void NormalizeLineBreaks(CrLfText& text, std::size_t capacity) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();

    // First pass: where the text ends and how many single breaks need a second byte.
    const auto [textEnd, singles] = Measure(begin, end);
    const auto length = static_cast<std::size_t>(textEnd - begin);
    if (length + singles > capacity || length + singles < length)
        ThrowTextExceedsCapacity();
    if (singles == 0) {
        text.resize(length);
        return;
    }

    std::string result;
    result.reserve(length + singles);
    platform::MapForWriting(result.data(), length + singles);
    result.resize(length + singles);
    char* out = result.data();
    const char* p = begin;
    while (p != textEnd) {
        const char* hit = FindBreakOrNul(p, textEnd);
        std::memcpy(out, p, static_cast<std::size_t>(hit - p));
        out += hit - p;
        if (hit == textEnd)
            break;
        out = WriteLineBreak(out);
        p = PastBreak(hit, textEnd);
    }
    text = std::move(result);
}

void LineBreakNormalizer::Add(const char* begin, const char* end, bool breakAfter) {
    const auto length =
        static_cast<std::size_t>(end - begin) + (breakAfter ? kLineBreak.size() : 0);
    if (length > capacity_ - std::min(capacity_, text_.size()))
        ThrowTextExceedsCapacity();
    text_.append(begin, end);
    if (breakAfter)
        text_.append(kLineBreak);
}

void LineBreakNormalizer::Append(std::string_view piece) {
    if (ended_ || piece.empty())
        return;
    // Pages mapped for what comes, in one call rather than a fault each.
    if (text_.capacity() - text_.size() >= piece.size())
        platform::MapForWriting(text_.data() + text_.size(), piece.size());
    const char* p = piece.data();
    const char* const end = p + piece.size();
    if (pendingCr_) {
        pendingCr_ = false;
        Add(p, p, true);
        if (*p == '\n')
            ++p;
    }
    // Runs that need no change are appended whole.
    const char* run = p;
    while (p != end) {
        const char* hit = FindBreakOrNul(SkipUniformText(p, end), end);
        if (hit == end)
            break;
        if (*hit == '\0') {
            Add(run, hit, false);
            ended_ = true;
            return;
        }
        if (detail::CrEndsPiece(hit, end)) {
            Add(run, hit, false);
            pendingCr_ = true;
            return;
        }
        if (IsCrLf(hit, end)) {
            p = hit + 2;
            continue;
        }
        Add(run, hit, true);
        p = run = hit + 1;
    }
    Add(run, end, false);
}

void LineBreakNormalizer::Finish() {
    if (pendingCr_) {
        pendingCr_ = false;
        Add(nullptr, nullptr, true);
    }
}

} // namespace skaldrun
