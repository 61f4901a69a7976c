#include "core/Utf8.h"

#include "core/Sse2.h"

#include <cstdint>
#include <cstring>

namespace skaldrun {

namespace {

#ifdef SKALDRUN_HAVE_SSE2
// Sixteen bytes at a time while they are ASCII and whole two-byte characters, which is what
// Latin, Cyrillic and Greek titles are: each lead byte C2..DF must be followed by exactly one
// continuation byte, within the block or at the start of the next. Returns where the bytes
// stop being of that kind, or nullptr where they break the rules.
const unsigned char* SkipTwoByteText(const unsigned char* p, const unsigned char* end) noexcept {
    unsigned carry = 0; // the last block ended with a lead byte
    while (end - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
        const __m128i signedBytes = _mm_xor_si128(block, flip); // unsigned order as signed
        const auto below = [&](int value) {
            return _mm_cmplt_epi8(signedBytes, _mm_set1_epi8(static_cast<char>(value ^ 0x80)));
        };
        const unsigned ascii = static_cast<unsigned>(_mm_movemask_epi8(block)) ^ 0xFFFFU;
        const unsigned continuation =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(below(0x80), below(0xC0))));
        const unsigned lead =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(below(0xC2), below(0xE0))));
        if ((ascii | continuation | lead) != 0xFFFFU)
            break; // a longer character, or a byte no text has: the careful way decides
        if (continuation != (((lead << 1) | carry) & 0xFFFFU))
            return nullptr;
        carry = lead >> 15;
        p += 16;
    }
    // A lead byte that ended the last block owns the next byte.
    if (carry != 0) {
        if (p == end || (*p & 0xC0) != 0x80)
            return nullptr;
        ++p;
    }
    return p;
}
#endif

} // namespace

bool IsValidUtf8(std::string_view bytes) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p != end) {
#ifdef SKALDRUN_HAVE_SSE2
        p = SkipTwoByteText(p, end);
        if (p == nullptr)
            return false;
        if (p == end)
            break;
#endif
        // Runs of ASCII, which most playlists mostly are, eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ULL) != 0)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        // Two-byte characters, which Cyrillic and Latin letters with marks are, at once.
        if (b >= 0xC2 && b <= 0xDF && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
            p += 2;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(
            {reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)});
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

std::size_t Utf8SequenceLength(std::string_view bytes) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto size = static_cast<std::ptrdiff_t>(bytes.size());
    if (size == 0)
        return 0;
    const unsigned char b = *p;
    if (b < 0x80)
        return 1;
    int more = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        more = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
        more = 2;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        more = 3;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (size <= more || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i <= more; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    }
    return static_cast<std::size_t>(more + 1);
}

std::size_t Utf16Length(std::string_view utf8) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const unsigned char* const end = p + utf8.size();
    std::size_t units = 0;
#ifdef SKALDRUN_HAVE_SSE2
    // Per lane, continuation bytes (80..BF) counted down and four-byte leads (F0..FF) up, summed
    // across lanes before a lane can overflow.
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        __m128i lanes = zero;
        std::size_t bytes = 0;
        for (int round = 0; round < 127 && end - p >= 16; ++round, p += 16, bytes += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i continuation = _mm_cmplt_epi8(block, _mm_set1_epi8(-64));
            const __m128i astral = _mm_cmpgt_epi8(block, _mm_set1_epi8(-17));
            const __m128i astralLead = _mm_and_si128(astral, _mm_cmplt_epi8(block, zero));
            // A true lane is -1: subtracting counts it, adding takes it away.
            lanes = _mm_add_epi8(lanes, _mm_sub_epi8(continuation, astralLead));
        }
        // Each lane now holds (leads - continuations), between -127 and 127: summed as signed.
        const __m128i flipped = _mm_xor_si128(lanes, _mm_set1_epi8(static_cast<char>(0x80)));
        const __m128i sums = _mm_sad_epu8(flipped, zero);
        const auto total = static_cast<long long>(_mm_cvtsi128_si32(sums)) +
                           _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)) - 16 * 128;
        units += bytes;
        units = static_cast<std::size_t>(static_cast<long long>(units) + total);
    }
#endif
    for (; p != end; ++p) {
        units += (*p & 0xC0) != 0x80 ? 1 : 0;
        units += *p >= 0xF0 ? 1 : 0;
    }
    return units;
}

void AppendUtf16AsUtf8(std::string_view bytes, bool bigEndian, std::string& out) {
    const auto unitAt = [&](std::size_t at) -> char32_t {
        const auto first = static_cast<unsigned char>(bytes[at]);
        const auto second = static_cast<unsigned char>(bytes[at + 1]);
        return static_cast<char32_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    const auto append = [&out](char32_t c) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    };
    out.reserve(out.size() + bytes.size() / 2 * 3);
    std::size_t at = 0;
    for (; at + 1 < bytes.size(); at += 2) {
        const char32_t unit = unitAt(at);
        if (unit >= 0xD800 && unit < 0xDC00 && at + 3 < bytes.size()) {
            const char32_t low = unitAt(at + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                append(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                at += 2;
                continue;
            }
        }
        append(unit >= 0xD800 && unit < 0xE000 ? U'\uFFFD' : unit);
    }
    if (at < bytes.size())
        append(U'\uFFFD');
}

} // namespace skaldrun
