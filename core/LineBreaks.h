#pragma once

// Line breaks, all in one place. A playlist's bytes end lines with CR LF, a lone CR or a lone LF,
// and end at their first NUL. What the program holds (a playlist read whole, a converted list, a
// view's document) ends every line with CR LF and nothing else: a bare CR or LF there is part of
// its line. Qt's texts, on screen and on the clipboard, end lines with LF; typed or pasted text
// with any break.

#include "core/Sse2.h"

#include <cstddef>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>

namespace skaldrun {

// A text whose lines all end with CR LF, holding no NUL.
using CrLfText = std::string;

inline constexpr std::string_view kLineBreak = "\r\n";

constexpr bool IsCrLf(char first, char second) noexcept {
    return first == '\r' && second == '\n';
}

// Whether a CR LF starts at p, which is before end.
inline bool IsCrLf(const char* p, const char* end) noexcept {
    return *p == '\r' && p + 1 != end && p[1] == '\n';
}

// The same for a text read a byte at a time through at(offset).
template <typename At>
bool CrLfAt(const At& at, std::size_t offset, std::size_t size) {
    return offset + 1 < size && IsCrLf(at(offset), at(offset + 1));
}

// Whether offset falls between a CR and its LF, where no text is ever cut.
template <typename At>
bool InsideCrLf(const At& at, std::size_t offset, std::size_t size) {
    return offset > 0 && CrLfAt(at, offset - 1, size);
}

// Past the break of a playlist's bytes at p: a CR LF, a lone CR or a lone LF.
inline const char* PastBreak(const char* p, const char* end) noexcept {
    return IsCrLf(p, end) ? p + 2 : p + 1;
}

// Ends a line at out with CR LF; returns the end.
inline char* WriteLineBreak(char* out) noexcept {
    *out++ = '\r';
    *out++ = '\n';
    return out;
}

// Where the next CR LF at or after from starts, or npos.
inline std::size_t FindCrLf(std::string_view text, std::size_t from = 0) noexcept {
    for (std::size_t lf = text.find('\n', from); lf != std::string_view::npos;
         lf = text.find('\n', lf + 1)) {
        if (lf > from && text[lf - 1] == '\r')
            return lf - 1;
    }
    return std::string_view::npos;
}

// Makes each CR LF the desktop's LF, in place; a lone CR stays. For bytes and UTF-16 units
// alike; returns the new end.
template <typename Char>
Char* JoinCrLf(Char* begin, Char* end) noexcept {
    Char* out = begin;
    for (const Char* in = begin; in != end; ++in) {
        if (*in == u'\r' && in + 1 != end && in[1] == u'\n')
            continue;
        *out++ = *in;
    }
    return out;
}

// The UTF-16 units of a break typed or pasted at p, which becomes one CR LF: two for CR LF, one
// for a lone CR or LF and for Unicode's line and paragraph separators, none where no break is.
template <typename Char>
std::size_t TypedBreakAt(const Char* p, const Char* end) noexcept {
    if (*p == u'\r')
        return end - p >= 2 && p[1] == u'\n' ? 2 : 1;
    return *p == u'\n' || *p == u'\u2028' || *p == u'\u2029' ? 1 : 0;
}

namespace detail {

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

// A CR that ends a piece of bytes waits for the next piece: an LF opening it is the CR's.
inline bool CrEndsPiece(const char* hit, const char* end) noexcept {
    return *hit == '\r' && hit + 1 == end;
}

} // namespace detail

// The lines of a CR LF text, cut lazily at every CR LF so that a huge playlist is never copied
// into a list of its own. A last empty piece is not a line.
class TextLines {
public:
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::string_view*;
        using reference = const std::string_view&;

        Iterator() = default;
        reference operator*() const noexcept { return line_; }
        pointer operator->() const noexcept { return &line_; }
        Iterator& operator++() noexcept {
            if (rest_.empty()) {
                *this = Iterator();
                return *this;
            }
            // Not FindCrLf: this loop, run for every line of a list, is faster as it is.
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
        Iterator operator++(int) noexcept {
            Iterator old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) noexcept {
            return a.line_.data() == b.line_.data() && a.rest_.data() == b.rest_.data();
        }

    private:
        friend class TextLines;
        explicit Iterator(std::string_view text) noexcept
            : rest_(text) {
            ++*this;
        }

        std::string_view line_;
        std::string_view rest_;
    };

    explicit TextLines(std::string_view text) noexcept
        : text_(text) {}
    Iterator begin() const noexcept { return Iterator(text_); }
    Iterator end() const noexcept { return Iterator(); }
    std::string_view Text() const noexcept { return text_; }

private:
    std::string_view text_;
};

TextLines SplitLines(std::string_view text) noexcept;

// Where the lines of a CR LF text that comes in pieces start: past each CR LF, also one cut
// between two pieces.
class CrLfEnds {
public:
    // Calls end(offset) with each offset into piece just past a CR LF.
    template <typename OnEnd>
    void Feed(std::string_view piece, OnEnd&& end) {
        if (piece.empty())
            return;
        if (IsCrLf(last_, piece.front()))
            end(std::size_t{1});
        for (std::size_t cr = FindCrLf(piece); cr != std::string_view::npos;
             cr = FindCrLf(piece, cr + kLineBreak.size()))
            end(cr + kLineBreak.size());
        last_ = piece.back();
    }

private:
    char last_ = '\0';
};

// Adds a line after the text's last line break, or starts a new line after an unfinished one.
void AppendLine(CrLfText& text, std::string_view line);

// The length a playlist's bytes have once normalised: up to the first NUL, every break CR LF.
std::size_t NormalizedLength(std::string_view text) noexcept;

// Makes every line break CR LF (LF, lone CR and CR LF each end one line) and drops everything
// from the first NUL on. Text that already uses CR LF is only cut, never copied. A result longer
// than capacity fails with EInvalidOperation and leaves the text as it was.
void NormalizeLineBreaks(CrLfText& text,
                         std::size_t capacity = std::numeric_limits<std::size_t>::max());

// The same for a text that comes in pieces, each appended to text as it comes: a CR that ends a
// piece waits for the next to tell whether an LF follows. Finish() after the last piece.
class LineBreakNormalizer {
public:
    explicit LineBreakNormalizer(CrLfText& text,
                                 std::size_t capacity = std::numeric_limits<std::size_t>::max())
        : text_(text)
        , capacity_(capacity) {}
    void Append(std::string_view piece);
    void Finish();

private:
    void Add(const char* begin, const char* end, bool breakAfter);

    CrLfText& text_;
    std::size_t capacity_;
    bool pendingCr_ = false;
    bool ended_ = false; // at the first NUL
};

// The lines of a playlist's bytes as they arrive in pieces, with the breaks NormalizeLineBreaks
// reads. A line cut by a piece's end is carried over to the next; so is a CR at its end, which
// an LF opening the next piece joins.
class PieceLines {
public:
    template <typename OnLine>
    void Feed(std::string_view piece, OnLine&& line) {
        const char* p = piece.data();
        const char* const end = p + piece.size();
        if (afterCr_ && p != end) {
            afterCr_ = false;
            if (*p == '\n')
                ++p;
        }
        while (!ended_ && p != end) {
            const char* hit = detail::FindBreakOrNul(p, end);
            if (hit == end) {
                carry_.append(p, end);
                return;
            }
            std::string_view text(p, static_cast<std::size_t>(hit - p));
            if (!carry_.empty())
                text = carry_.append(text);
            if (*hit == '\0') {
                ended_ = true; // a last piece without a break is a line unless empty
                if (!text.empty())
                    line(text);
            } else {
                line(text);
                if (detail::CrEndsPiece(hit, end))
                    afterCr_ = true;
                p = PastBreak(hit, end);
            }
            carry_.clear();
        }
    }
    template <typename OnLine>
    void Finish(OnLine&& line) {
        if (!ended_ && !carry_.empty())
            line(std::string_view(carry_));
        ended_ = true;
        carry_.clear();
    }

private:
    std::string carry_;
    bool ended_ = false;
    bool afterCr_ = false;
};

} // namespace skaldrun
