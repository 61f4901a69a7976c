#include "core/ListShapes.h"

#include <stdexcept>

namespace skaldrun {

namespace {

void AppendDuration(std::int64_t seconds, std::string& out) {
    char text[32];
    out.append(text, WriteDuration(text, seconds));
}

} // namespace

ListTemplate::ListTemplate(std::string_view text) {
    std::string literal;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            literal.push_back(text[i]);
            continue;
        }
        if (i + 1 == text.size())
            throw std::invalid_argument("the template ends in a lone '%'");
        const char field = text[++i];
        if (field == '%') {
            literal.push_back('%');
            continue;
        }
        if (std::string_view("ntdsp").find(field) == std::string_view::npos)
            throw std::invalid_argument(std::string("unknown field '%") + field +
                                        "' in the template (%n %t %d %s %p %%)");
        if (!literal.empty())
            parts_.push_back({0, std::move(literal)});
        literal.clear();
        parts_.push_back({field, {}});
    }
    if (!literal.empty())
        parts_.push_back({0, std::move(literal)});
}

void ListTemplate::Append(const PlaylistEntry& entry, std::string& out) const {
    for (const Part& part : parts_) {
        switch (part.field) {
        case 'n':
            out.append(entry.number);
            break;
        case 't':
            out.append(entry.title);
            break;
        case 'd':
            if (entry.hasLength)
                AppendDuration(entry.seconds, out);
            break;
        case 's':
            if (entry.hasLength)
                out.append(std::to_string(entry.seconds));
            break;
        case 'p':
            out.append(entry.media);
            break;
        default:
            out.append(part.text);
        }
    }
}

void AppendDefaultLine(const PlaylistEntry& entry, const ConvertOptions& options,
                       std::string& out) {
    if (options.CounterShow)
        out.append(entry.number).push_back('.');
    out.append(entry.title);
    if (options.TimeShow && entry.hasLength) {
        out.append("  <");
        AppendDuration(entry.seconds, out);
        out.push_back('>');
    }
}

void AppendCsvField(std::string_view field, std::string& out) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(field);
        return;
    }
    out.push_back('"');
    for (const char c : field) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendCsvRow(const PlaylistEntry& entry, std::string& out) {
    out.append(entry.number).push_back(',');
    AppendCsvField(entry.title, out);
    out.push_back(',');
    if (entry.hasLength)
        out.append(std::to_string(entry.seconds));
    out.push_back(',');
    AppendCsvField(entry.media, out);
}

void ListTotals::Add(const PlaylistEntry& entry) noexcept {
    ++count_;
    if (entry.hasLength)
        seconds_ += static_cast<std::uint64_t>(entry.seconds);
    else
        ++unknown_;
}

std::string ListTotals::Line() const {
    std::string line = std::to_string(count_) + (count_ == 1 ? " track, " : " tracks, ");
    const std::uint64_t minutes = seconds_ / 60 % 60;
    const std::uint64_t seconds = seconds_ % 60;
    line += std::to_string(seconds_ / 3600);
    line += minutes < 10 ? ":0" : ":";
    line += std::to_string(minutes);
    line += seconds < 10 ? ":0" : ":";
    line += std::to_string(seconds);
    if (unknown_ > 0)
        line += ", " + std::to_string(unknown_) + " without a length";
    return line;
}

} // namespace skaldrun
