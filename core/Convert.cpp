#include "core/Convert.h"

#include "core/Errors.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace skaldrun {

namespace {

constexpr std::string_view kHeader = "#EXTM3U";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::int64_t kMaxSeconds = 2147483647;

bool IsHeader(std::string_view line) noexcept {
    if (line.starts_with(kUtf8Bom))
        line.remove_prefix(kUtf8Bom.size());
    return line == kHeader;
}

bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// The duration is the first run of decimal digits before the first comma: anything before it is
// passed over and anything after it (attributes such as tvg-id="12") is not part of it. A "-"
// before any digit marks an unknown length, as players write "-1".
struct Entry {
    bool isEntry = false; // false: no comma, so a directive such as #EXTGRP
    bool unknown = false;
    bool valid = false;
    std::int64_t seconds = 0;
    std::string_view field;
    std::string_view title;
};

Entry ScanEntry(std::string_view line) noexcept {
    Entry e;
    bool anyDigit = false;
    std::size_t i = 0;
    for (; i < line.size() && line[i] != ','; ++i) {
        const char c = line[i];
        if (IsDigit(c)) {
            anyDigit = true;
            if (e.seconds <= kMaxSeconds)
                e.seconds = e.seconds * 10 + (c - '0');
        } else if (anyDigit || c == '-') {
            e.unknown = !anyDigit;
            i = std::min(line.find(',', i), line.size());
            break;
        }
    }
    if (i == line.size())
        return e;
    e.isEntry = true;
    e.valid = anyDigit && e.seconds <= kMaxSeconds;
    e.field = line.substr(0, i);
    e.title = line.substr(i + 1);
    return e;
}

// Only needed for the error message, so the digits are gathered again only then.
std::string DigitString(std::string_view field) {
    const std::size_t first = field.find_first_of("0123456789");
    if (first == std::string_view::npos)
        return {};
    const std::size_t end = field.find_first_not_of("0123456789", first);
    return std::string(field.substr(first, end == std::string_view::npos ? end : end - first));
}

std::string_view StripTrackNumber(std::string_view title) noexcept {
    if (title.size() <= 3)
        return title;
    switch (title[0]) {
    case '0':
    case '1':
    case 'a':
    case 'b':
    case 'c':
    case 'd':
        break;
    default:
        return title;
    }
    // A real track number has a digit second; without this "and then" would lose "and ".
    if (!IsDigit(title[1]))
        return title;
    if (title[2] == '-' || title[2] == '_')
        return title.substr(3);
    if (title[3] == ' ' || title[3] == '-' || title[3] == '_')
        return title.substr(4);
    return title;
}

char* WriteNumber(char* out, std::uint64_t value) noexcept {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

char* WriteDuration(char* out, std::int64_t seconds) noexcept {
    const auto s = static_cast<unsigned>(seconds % 60);
    out = WriteNumber(out, static_cast<std::uint64_t>(seconds / 60));
    *out++ = ':';
    *out++ = static_cast<char>('0' + s / 10);
    *out++ = static_cast<char>('0' + s % 10);
    return out;
}

// Writes output lines straight into the converted view, growing it in large steps, so a
// million entries cost no per-line allocation. A view left without a final line break (never
// the case after the controller emptied it) gets each line through AppendLine instead.
class LineWriter {
public:
    explicit LineWriter(ViewText& view)
        : view_(view)
        , used_(view.size())
        , direct_(view.empty() || view.ends_with("\r\n")) {}
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;
    ~LineWriter() { view_.resize(used_); } // drops the unwritten room, also on an error

    char* Begin(std::size_t maxLength) {
        std::string& target = direct_ ? view_ : scratch_;
        const std::size_t base = direct_ ? used_ : 0;
        const std::size_t needed = maxLength + 2;
        if (target.size() - base < needed)
            target.resize(base + std::max<std::size_t>(needed, kStep));
        return target.data() + base;
    }

    void End(char* end) {
        if (direct_) {
            *end++ = '\r';
            *end++ = '\n';
            used_ = static_cast<std::size_t>(end - view_.data());
        } else {
            AppendLine(view_, std::string_view(scratch_.data(),
                                               static_cast<std::size_t>(end - scratch_.data())));
            used_ = view_.size();
        }
    }

private:
    static constexpr std::size_t kStep = 256 * 1024;
    ViewText& view_;
    std::string scratch_;
    std::size_t used_;
    bool direct_;
};

} // namespace

bool ConvertPlaylist(const TextLines& lines, const ConvertOptions& options, ViewText& converted) {
    auto it = lines.begin();
    if (it == lines.end() || !IsHeader(*it))
        return false;

    // Output lines are seldom longer than their entry lines: one reservation of the input's
    // size spares the copies of growing, and room never written is given back at the end.
    converted.reserve(converted.size() + lines.Text().size());
    LineWriter writer(converted);
    std::uint64_t number = 1;
    for (++it; it != lines.end(); ++it) {
        const std::string_view line = *it;
        if (line.empty() || line[0] != '#')
            continue;
        const Entry entry = ScanEntry(line);
        if (!entry.isEntry)
            continue;
        if (!entry.unknown && !entry.valid)
            throw EConvertError(DigitString(entry.field));

        const std::string_view title =
            options.DeleteDigits ? StripTrackNumber(entry.title) : entry.title;
        char* out = writer.Begin(title.size() + 48);
        if (options.CounterShow) {
            out = WriteNumber(out, number);
            *out++ = '.';
        }
        if (!title.empty())
            std::memcpy(out, title.data(), title.size());
        out += title.size();
        if (options.TimeShow && !entry.unknown) {
            std::memcpy(out, "  <", 3);
            out = WriteDuration(out + 3, entry.seconds);
            *out++ = '>';
        }
        writer.End(out);
        ++number;
    }
    return true;
}

} // namespace skaldrun
