#include "core/ListShapes.h"

#include "core/LineBreaks.h"
#include "core/LineOutput.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace skaldrun {

namespace {

constexpr std::size_t kNumberRoom = 24; // the longest number or m:ss we write

char* Copy(std::string_view text, char* out) noexcept {
    if (text.size() <= 8) { // a template's own text: a call would cost more than the bytes
        for (const char c : text)
            *out++ = c;
        return out;
    }
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// Fields come from the playlist's lines, which hold no line break: only a comma or a quote
// asks for quotes.
char* WriteCsvField(std::string_view field, char* out) noexcept {
    const auto has = [field](char c) {
        return std::memchr(field.data(), c, field.size()) != nullptr;
    };
    if (field.empty() || (!has(',') && !has('"')))
        return Copy(field, out);
    *out++ = '"';
    for (const void* quote = std::memchr(field.data(), '"', field.size()); quote != nullptr;
         quote = std::memchr(field.data(), '"', field.size())) {
        const std::size_t run =
            static_cast<std::size_t>(static_cast<const char*>(quote) - field.data()) + 1;
        out = Copy(field.substr(0, run), out);
        *out++ = '"';
        field.remove_prefix(run);
    }
    out = Copy(field, out);
    *out++ = '"';
    return out;
}

// A time as m:ss below an hour and h:mm:ss from an hour on, as chapter lists write it.
char* WriteClock(char* out, std::uint64_t seconds) noexcept {
    if (seconds < 3600)
        return WriteDuration(out, static_cast<std::int64_t>(seconds));
    out = WriteNumber(out, seconds / 3600);
    *out++ = ':';
    const auto minutes = static_cast<unsigned>(seconds / 60 % 60);
    *out++ = static_cast<char>('0' + minutes / 10);
    *out++ = static_cast<char>('0' + minutes % 10);
    *out++ = ':';
    const auto rest = static_cast<unsigned>(seconds % 60);
    *out++ = static_cast<char>('0' + rest / 10);
    *out++ = static_cast<char>('0' + rest % 10);
    return out;
}

char Lower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// Fields a template and a CSV column share; an attribute is written by its name.
char* WriteField(char field, std::string_view name, const PlaylistEntry& entry,
                 char* out) noexcept {
    switch (field) {
    case 'n':
        return Copy(entry.number, out);
    case 't':
        return Copy(entry.title, out);
    case 'd':
        return entry.hasLength ? WriteDuration(out, entry.seconds) : out;
    case 's':
        return entry.hasLength ? WriteNumber(out, static_cast<std::uint64_t>(entry.seconds)) : out;
    case 'S':
        return Copy(entry.length, out);
    case 'c':
        return WriteClock(out, entry.start.Rounded());
    case 'p':
        return Copy(entry.media, out);
    case '{':
        return Copy(AttributeValue(entry.field, name), out);
    default:
        return out;
    }
}

// A column name is the user's text, which may hold a line break as well.
void AppendCsvName(std::string_view name, std::string& header) {
    if (!header.empty())
        header.push_back(',');
    if (name.find_first_of(",\"\r\n") == std::string_view::npos) {
        header.append(name);
        return;
    }
    header.push_back('"');
    for (const char c : name) {
        if (c == '"')
            header.push_back('"');
        header.push_back(c);
    }
    header.push_back('"');
}

} // namespace

// From one '=' to the next, over each value whole, so that what stands in quotes is never
// taken for a name.
std::string_view AttributeValue(std::string_view field, std::string_view name) noexcept {
    const char* const begin = field.data();
    const char* const end = begin + field.size();
    const char* p = begin;
    while (p != end) {
        const auto* equals =
            static_cast<const char*>(std::memchr(p, '=', static_cast<std::size_t>(end - p)));
        if (equals == nullptr)
            return {};
        const char* value = equals + 1;
        const char* valueEnd = value;
        const char* next = value;
        if (value != end && *value == '"') {
            ++value;
            const auto* close = static_cast<const char*>(
                std::memchr(value, '"', static_cast<std::size_t>(end - value)));
            valueEnd = close != nullptr ? close : end;
            next = close != nullptr ? close + 1 : end;
        } else {
            while (valueEnd != end && *valueEnd != ' ' && *valueEnd != '\t')
                ++valueEnd;
            next = valueEnd;
        }
        // The name ends at the '=' and starts after a blank, or where this attribute began.
        const char* key =
            equals - std::min<std::size_t>(name.size(), static_cast<std::size_t>(equals - p));
        if (static_cast<std::size_t>(equals - key) == name.size() &&
            (key == p || key[-1] == ' ' || key[-1] == '\t') &&
            SameName(std::string_view(key, name.size()), name))
            return {value, static_cast<std::size_t>(valueEnd - value)};
        p = next;
    }
    return {};
}

void LineShape::Append(const PlaylistEntry& entry, std::string& out) const {
    const std::size_t used = out.size();
    out.resize(used + MaxLength(entry));
    char* end = Write(entry, out.data() + used);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

ListTemplate::ListTemplate(std::string_view text) {
    std::string literal;
    const auto endLiteral = [&] {
        if (literal.empty())
            return;
        literalLength_ += literal.size();
        parts_.push_back({0, std::move(literal)});
        literal.clear();
    };
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
        std::string name;
        if (field == '{') {
            const std::size_t close = text.find('}', i + 1);
            if (close == std::string_view::npos || close == i + 1)
                throw std::invalid_argument("an attribute field is written %{NAME}");
            name = text.substr(i + 1, close - i - 1);
            i = close;
        } else if (std::string_view("ntdsScp").find(field) == std::string_view::npos) {
            throw std::invalid_argument(std::string("unknown field '%") + field +
                                        "' in the template (%n %t %d %s %S %c %p %{NAME} %%)");
        }
        endLiteral();
        parts_.push_back({field, std::move(name)});
        ++fields_;
    }
    endLiteral();
}

std::size_t ListTemplate::MaxLength(const PlaylistEntry& entry) const noexcept {
    const std::size_t longest = std::max({entry.number.size(), entry.title.size(),
                                          entry.media.size(), entry.field.size(), kNumberRoom});
    return literalLength_ + fields_ * longest;
}

char* ListTemplate::Write(const PlaylistEntry& entry, char* out) const noexcept {
    for (const Part& part : parts_)
        out =
            part.field == 0 ? Copy(part.text, out) : WriteField(part.field, part.text, entry, out);
    return out;
}

std::size_t DefaultLine::MaxLength(const PlaylistEntry& entry) const noexcept {
    return ListLineLength(entry.number, entry.title);
}

char* DefaultLine::Write(const PlaylistEntry& entry, char* out) const noexcept {
    return WriteListLine(options_, entry, out);
}

CsvRow::CsvRow(std::string_view columns) {
    static constexpr std::pair<std::string_view, char> kKnown[] = {
        {"number", 'n'}, {"title", 't'}, {"seconds", 's'},
        {"length", 'S'}, {"start", 'c'}, {"path", 'p'},
    };
    for (std::size_t at = 0; at <= columns.size();) {
        std::size_t comma = columns.find(',', at);
        comma = comma == std::string_view::npos ? columns.size() : comma;
        const std::string_view name = columns.substr(at, comma - at);
        if (name.empty())
            throw std::invalid_argument("a column without a name in '" + std::string(columns) +
                                        "'");
        Column column{'{', std::string(name)};
        for (const auto& [known, field] : kKnown)
            if (name == known)
                column.field = field;
        columns_.push_back(std::move(column));
        AppendCsvName(name, header_);
        at = comma + 1;
    }
}

std::size_t CsvRow::MaxLength(const PlaylistEntry& entry) const noexcept {
    const std::size_t longest = std::max({entry.number.size(), entry.title.size(),
                                          entry.media.size(), entry.field.size(), kNumberRoom});
    return columns_.size() * (2 * longest + 3);
}

// Numbers and the entry's number never need quotes; text fields are quoted where they must be.
char* CsvRow::Write(const PlaylistEntry& entry, char* out) const noexcept {
    bool first = true;
    for (const Column& column : columns_) {
        if (!first)
            *out++ = ',';
        first = false;
        switch (column.field) {
        case 't':
            out = WriteCsvField(entry.title, out);
            break;
        case 'p':
            out = WriteCsvField(entry.media, out);
            break;
        case '{':
            out = WriteCsvField(AttributeValue(entry.field, column.name), out);
            break;
        default:
            out = WriteField(column.field, {}, entry, out);
        }
    }
    return out;
}

ShapedList::ShapedList(const LineShape& line, std::string_view header, bool totals, TextSink& sink)
    : line_(line)
    , header_(header)
    , totals_(totals)
    , sink_(sink)
    , output_(std::make_unique<LineOutput>(sink)) {}

ShapedList::~ShapedList() = default;

void ShapedList::Start() {
    if (started_)
        return;
    started_ = true;
    if (!header_.empty())
        sink_.Write(std::string(header_).append(kLineBreak));
}

void ShapedList::Entry(const PlaylistEntry& entry) {
    Start();
    char* out = output_->Begin(line_.MaxLength(entry));
    output_->End(line_.Write(entry, out));
    sum_.Add(entry);
}

void ShapedList::Flush() {
    Start();
    output_->Flush();
}

void ShapedList::Finish() {
    Flush();
    if (totals_)
        sink_.Write(sum_.Line().append(kLineBreak));
}

} // namespace skaldrun
