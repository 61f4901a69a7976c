#pragma once

// SSE2 where the processor has it, for the scans that look at 16 bytes at a time.

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#ifdef _MSC_VER
#include <intrin.h>
#endif
#define SKALDRUN_HAVE_SSE2 1

namespace skaldrun::detail {

inline int LowestBit(unsigned mask) noexcept {
#ifdef _MSC_VER
    unsigned long index = 0;
    _BitScanForward(&index, mask);
    return static_cast<int>(index);
#else
    return __builtin_ctz(mask);
#endif
}

} // namespace skaldrun::detail
#endif
