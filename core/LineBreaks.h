#pragma once

// Finding line breaks fast: 16 bytes at a time where the processor has SSE2. Shared by the
// line-break normalisation and the conversion straight from a file's bytes.

#include <cstddef>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#ifdef _MSC_VER
#include <intrin.h>
#endif
#define SKALDRUN_HAVE_SSE2 1
#endif

namespace skaldrun::detail {

#ifdef SKALDRUN_HAVE_SSE2
inline int LowestBit(unsigned mask) noexcept {
#ifdef _MSC_VER
    unsigned long index = 0;
    _BitScanForward(&index, mask);
    return static_cast<int>(index);
#else
    return __builtin_ctz(mask);
#endif
}
#endif

inline bool IsBreakOrNul(char c) noexcept {
    return c == '\r' || c == '\n' || c == '\0';
}

// The first CR, LF or NUL at or after p, or end.
inline const char* FindBreakOrNul(const char* p, const char* end) noexcept {
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
inline const char* SkipUniformText(const char* p, const char* end) noexcept {
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

} // namespace skaldrun::detail
