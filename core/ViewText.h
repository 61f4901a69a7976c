#pragma once

#include <cstddef>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace skaldrun {

// The bytes of one text view. Lines end with CR LF; no NUL byte is held.
using ViewText = std::string;

// The lines of a view text, cut lazily at every CR LF so that a huge playlist is never copied
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

// Adds a line after the text's last line break, or starts a new line after an unfinished one.
void AppendLine(ViewText& text, std::string_view line);

// The length the text has once normalised: up to its first NUL, every break CR LF.
std::size_t NormalizedLength(std::string_view text) noexcept;

// Makes every line break CR LF (LF, lone CR and CR LF each end one line) and drops everything
// from the first NUL on. Text that already uses CR LF is only cut, never copied. A result longer
// than capacity fails with EInvalidOperation and leaves the text as it was.
void NormalizeLineBreaks(ViewText& text,
                         std::size_t capacity = std::numeric_limits<std::size_t>::max());

// The same for a text that comes in pieces, each appended to text as it comes: a CR that ends a
// piece waits for the next to tell whether an LF follows. Finish() after the last piece.
class LineBreakNormalizer {
public:
    explicit LineBreakNormalizer(ViewText& text,
                                 std::size_t capacity = std::numeric_limits<std::size_t>::max())
        : text_(text)
        , capacity_(capacity) {}
    void Append(std::string_view piece);
    void Finish();

private:
    void Add(const char* begin, const char* end, bool breakAfter);

    ViewText& text_;
    std::size_t capacity_;
    bool pendingCr_ = false;
    bool ended_ = false; // at the first NUL
};

} // namespace skaldrun
