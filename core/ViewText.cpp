#include "core/ViewText.h"

#include "core/Errors.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#ifdef _MSC_VER
#include <intrin.h>
#endif
#define SKALDRUN_HAVE_SSE2 1
#endif

namespace skaldrun {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

#ifdef SKALDRUN_HAVE_SSE2
int LowestBit(unsigned mask) noexcept {
#ifdef _MSC_VER
    unsigned long index = 0;
    _BitScanForward(&index, mask);
    return static_cast<int>(index);
#else
    return __builtin_ctz(mask);
#endif
}
#endif

bool IsBreakOrNul(char c) noexcept {
    return c == '\r' || c == '\n' || c == '\0';
}

const char* FindBreakOrNul(const char* p, const char* end) noexcept {
#ifdef SKALDRUN_HAVE_SSE2
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, nul));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (mask != 0)
            return p + LowestBit(mask);
        p += 16;
    }
#endif
    while (p != end && !IsBreakOrNul(*p))
        ++p;
    return p;
}

// Skips text that needs no change: no NUL and every break already CR LF. This is the common
// case and runs on every load, so it checks 16 bytes at a time without looking at single breaks:
// in each block the LF positions must be exactly the CR positions moved one byte on.
const char* SkipUniformText(const char* p, const char* end) noexcept {
#ifdef SKALDRUN_HAVE_SSE2
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    unsigned pendingCr = 0; // the block before ended with a CR whose LF opens this one
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto crMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)));
        const auto lfMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
        const auto nulMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, nul)));
        if (nulMask != 0 || lfMask != (((crMask << 1) & 0xFFFFU) | pendingCr))
            break;
        pendingCr = crMask >> 15;
        p += 16;
    }
    return p - pendingCr;
#else
    (void)end;
    return p;
#endif
}

} // namespace

std::vector<std::string_view> TextLines::ToVector() const {
    return {begin(), end()};
}

TextLines SplitLines(std::string_view text) noexcept {
    return TextLines(text);
}

void AppendLine(ViewText& text, std::string_view line) {
    if (text.empty() || text.ends_with(kLineBreak)) {
        text.append(line).append(kLineBreak);
    } else {
        text.append(kLineBreak).append(line);
    }
}

void NormalizeLineBreaks(std::string& text, std::size_t capacity) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();

    // First pass: where the text ends and how many single breaks need a second byte.
    std::size_t singles = 0;
    const char* textEnd = end;
    for (const char* p = FindBreakOrNul(SkipUniformText(begin, end), end); p != end;
         p = FindBreakOrNul(p, end)) {
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
        ThrowTextExceedsCapacity();
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
