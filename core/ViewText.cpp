#include "core/ViewText.h"

#include "core/Errors.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define SKALDRUN_HAVE_SSE2 1
#endif

namespace skaldrun {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

bool IsBreakOrNul(char c) noexcept
{
    return c == '\r' || c == '\n' || c == '\0';
}

// The scan every load runs over the whole file, so it looks at 16 bytes at a time.
const char* FindBreakOrNul(const char* p, const char* end) noexcept
{
#ifdef SKALDRUN_HAVE_SSE2
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                          _mm_cmpeq_epi8(v, nul));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (mask != 0)
            return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (p != end && !IsBreakOrNul(*p))
        ++p;
    return p;
}

} // namespace

TextLines::Iterator::Iterator(std::string_view text) noexcept : rest_(text), atEnd_(false)
{
    ++*this;
}

TextLines::Iterator& TextLines::Iterator::operator++() noexcept
{
    if (rest_.empty()) {
        *this = Iterator();
        return *this;
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t lf = rest_.find('\n', from);
        if (lf == std::string_view::npos) {
            line_ = rest_;
            rest_ = rest_.substr(rest_.size());
            return *this;
        }
        if (lf > 0 && rest_[lf - 1] == '\r') {
            line_ = rest_.substr(0, lf - 1);
            rest_ = rest_.substr(lf + 1);
            return *this;
        }
        from = lf + 1; // a bare LF is part of the line; only CR LF ends one
    }
}

std::vector<std::string_view> TextLines::ToVector() const
{
    return {begin(), end()};
}

TextLines SplitLines(std::string_view text) noexcept
{
    return TextLines(text);
}

void AppendLine(ViewText& text, std::string_view line)
{
    if (text.empty() || text.ends_with(kLineBreak)) {
        text.append(line).append(kLineBreak);
    } else {
        text.append(kLineBreak).append(line);
    }
}

void NormalizeLineBreaks(std::string& text, std::size_t capacity)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();

    // First pass: where the text ends and how many single breaks need a second byte.
    std::size_t singles = 0;
    const char* textEnd = end;
    for (const char* p = FindBreakOrNul(begin, end); p != end; p = FindBreakOrNul(p, end)) {
        if (*p == '\0') {
            textEnd = p;
            break;
        }
        if (*p == '\r' && p + 1 != end && p[1] == '\n') {
            p += 2;
        } else {
            ++singles;
            ++p;
        }
    }
    const auto length = static_cast<std::size_t>(textEnd - begin);
    if (length + singles > capacity || length + singles < length)
        throw EInvalidOperation(std::string(kTextExceedsCapacity));
    if (singles == 0) {
        text.resize(length);
        return;
    }

    std::string result;
    result.resize(length + singles);
    char* out = result.data();
    const char* p = begin;
    while (p != textEnd) {
        const char* hit = FindBreakOrNul(p, textEnd);
        std::memcpy(out, p, static_cast<std::size_t>(hit - p));
        out += hit - p;
        if (hit == textEnd)
            break;
        *out++ = '\r';
        *out++ = '\n';
        p = (*hit == '\r' && hit + 1 != textEnd && hit[1] == '\n') ? hit + 2 : hit + 1;
    }
    text = std::move(result);
}

} // namespace skaldrun
