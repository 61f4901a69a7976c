#include "core/Convert.h"

#include "core/Errors.h"

#include <charconv>
#include <cstdint>

namespace skaldrun {

namespace {

constexpr std::string_view kHeader = "#EXTM3U";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::int64_t kMaxSeconds = 2147483647;

bool IsHeader(std::string_view line) noexcept
{
    if (line.starts_with(kUtf8Bom))
        line.remove_prefix(kUtf8Bom.size());
    return line == kHeader;
}

bool IsDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// The duration field as the scan up to the first comma reads it. Every digit counts until a
// "." follows one; a "-" before any digit marks an unknown length, as players write "-1".
struct Duration {
    bool unknown = false;
    bool valid = true;
    std::int64_t seconds = 0;
};

Duration ScanDuration(std::string_view field) noexcept
{
    Duration d;
    bool anyDigit = false;
    for (const char c : field) {
        if (IsDigit(c)) {
            anyDigit = true;
            if (d.seconds <= kMaxSeconds)
                d.seconds = d.seconds * 10 + (c - '0');
        } else if (c == '-' && !anyDigit) {
            d.unknown = true;
            return d;
        } else if (c == '.' && anyDigit) {
            break;
        }
    }
    d.valid = anyDigit && d.seconds <= kMaxSeconds;
    return d;
}

// Only needed for the error message, so the digits are gathered again only then.
std::string DigitString(std::string_view field)
{
    std::string digits;
    for (const char c : field) {
        if (IsDigit(c))
            digits.push_back(c);
        else if (c == '.' && !digits.empty())
            break;
    }
    return digits;
}

std::string_view StripTrackNumber(std::string_view title) noexcept
{
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

void AppendNumber(std::string& out, std::int64_t value)
{
    char buffer[24];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec; // a 64-bit value always fits
    out.append(buffer, end);
}

void AppendDuration(std::string& out, std::int64_t seconds)
{
    out.append("  <");
    AppendNumber(out, seconds / 60);
    out.push_back(':');
    const std::int64_t s = seconds % 60;
    if (s < 10)
        out.push_back('0');
    AppendNumber(out, s);
    out.push_back('>');
}

} // namespace

bool ConvertPlaylist(const TextLines& lines, const ConvertOptions& options, ViewText& converted)
{
    auto it = lines.begin();
    if (it == lines.end() || !IsHeader(*it))
        return false;

    std::int64_t number = 1;
    std::string out;
    for (++it; it != lines.end(); ++it) {
        const std::string_view line = *it;
        if (line.empty() || line[0] != '#')
            continue;
        const std::size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            continue; // a directive such as #EXTGRP, not an entry

        const std::string_view field = line.substr(0, comma);
        const Duration duration = ScanDuration(field);
        if (!duration.unknown && !duration.valid)
            throw EConvertError(DigitString(field));

        std::string_view title = line.substr(comma + 1);
        if (options.DeleteDigits)
            title = StripTrackNumber(title);

        out.clear();
        if (options.CounterShow) {
            AppendNumber(out, number);
            out.push_back('.');
        }
        out.append(title);
        if (options.TimeShow && !duration.unknown)
            AppendDuration(out, duration.seconds);
        AppendLine(converted, out);
        ++number;
    }
    return true;
}

} // namespace skaldrun
