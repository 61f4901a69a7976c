#include "core/ListShapes.h"

#include "core/LineBreaks.h"
#include "core/LineOutput.h"
#include "core/Utf8.h"

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

EShapeError::EShapeError(const char* wording, std::string part)
    : std::invalid_argument([&] {
        std::string text = wording;
        if (const std::size_t at = text.find("%1"); at != std::string::npos)
            text.replace(at, 2, part);
        return text;
    }())
    , wording_(wording)
    , part_(std::move(part)) {}

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
            throw EShapeError("the template ends in a lone '%'", {});
        const char field = text[++i];
        if (field == '%') {
            literal.push_back('%');
            continue;
        }
        std::string name;
        if (field == '{') {
            const std::size_t close = text.find('}', i + 1);
            if (close == std::string_view::npos || close == i + 1)
                throw EShapeError("an attribute field is written %{NAME}", {});
            name = text.substr(i + 1, close - i - 1);
            i = close;
        } else if (std::string_view("ntdsScp").find(field) == std::string_view::npos) {
            throw EShapeError("unknown field '%1' in the template (%n %t %d %s %S %c %p %{NAME} "
                              "%%)",
                              std::string("%") + field);
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
            throw EShapeError("a column without a name in '%1'", std::string(columns));
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

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// The UTF-8 character at p, or U+FFFD for a byte that starts none; p moves past it.
char* CopyCharacter(const unsigned char*& p, const unsigned char* end, char* out) noexcept {
    const std::size_t length = Utf8SequenceLength(
        std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)));
    if (length == 0) {
        ++p;
        return Copy(kReplacement, out);
    }
    std::memcpy(out, p, length);
    p += length;
    return out + length;
}

// Text in JSON quotes: quotes, backslashes and control bytes escaped, each byte that is no part
// of a UTF-8 sequence replaced. At most 6 bytes for one.
char* WriteJsonString(std::string_view text, char* out) noexcept {
    *out++ = '"';
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p != end) {
        const unsigned char c = *p;
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(std::string_view(
                reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)));
            if (length == 0) {
                out = Copy(kReplacement, out);
                ++p;
            } else {
                std::memcpy(out, p, length);
                out += length;
                p += length;
            }
            continue;
        }
        ++p;
        if (c == '"' || c == '\\') {
            *out++ = '\\';
            *out++ = static_cast<char>(c);
        } else if (c < 0x20) {
            constexpr char kHex[] = "0123456789abcdef";
            out = Copy("\\u00", out);
            *out++ = kHex[c >> 4];
            *out++ = kHex[c & 15];
        } else {
            *out++ = static_cast<char>(c);
        }
    }
    *out++ = '"';
    return out;
}

// Seconds with their fraction, as few digits as it takes: 185, 3.904.
char* WriteSeconds(char* out, std::uint64_t seconds, std::uint32_t micros) noexcept {
    out = WriteNumber(out, seconds);
    if (micros == 0)
        return out;
    *out++ = '.';
    for (std::uint32_t scale = 100'000; micros != 0; scale /= 10) {
        *out++ = static_cast<char>('0' + micros / scale);
        micros %= scale;
    }
    return out;
}

// Text in an HTML page: the five characters that mean markup written as references, and each
// byte that starts no UTF-8 character as U+FFFD. At most 6 bytes for one.
char* WriteHtmlText(std::string_view text, char* out) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p != end) {
        if (*p >= 0x80) {
            out = CopyCharacter(p, end, out);
            continue;
        }
        const char c = static_cast<char>(*p++);
        switch (c) {
        case '&':
            out = Copy("&amp;", out);
            break;
        case '<':
            out = Copy("&lt;", out);
            break;
        case '>':
            out = Copy("&gt;", out);
            break;
        case '"':
            out = Copy("&quot;", out);
            break;
        case '\'':
            out = Copy("&#39;", out);
            break;
        default:
            *out++ = c;
        }
    }
    return out;
}

std::string HtmlText(std::string_view text) {
    std::string html(text.size() * 6, '\0');
    html.resize(static_cast<std::size_t>(WriteHtmlText(text, html.data()) - html.data()));
    return html;
}

} // namespace

std::size_t JsonObject::MaxLength(const PlaylistEntry& entry) const noexcept {
    return 6 * (entry.title.size() + entry.media.size()) + entry.number.size() + 3 * kNumberRoom +
           80;
}

char* JsonObject::Write(const PlaylistEntry& entry, char* out) const noexcept {
    out = Copy("  {\"number\": ", out);
    out = Copy(entry.number, out);
    out = Copy(", \"title\": ", out);
    out = WriteJsonString(entry.title, out);
    out = Copy(", \"length\": ", out);
    out = entry.hasLength ? WriteSeconds(out, static_cast<std::uint64_t>(entry.seconds),
                                         static_cast<std::uint32_t>(entry.micros % 1'000'000))
                          : Copy("null", out);
    out = Copy(", \"start\": ", out);
    out = WriteSeconds(out, entry.start.seconds, entry.start.micros);
    out = Copy(", \"path\": ", out);
    out = entry.media.empty() ? Copy("null", out) : WriteJsonString(entry.media, out);
    *out++ = '}';
    return out;
}

std::size_t HtmlRow::MaxLength(const PlaylistEntry& entry) const noexcept {
    return 6 * entry.title.size() + entry.number.size() + 2 * kNumberRoom + 80;
}

char* HtmlRow::Write(const PlaylistEntry& entry, char* out) const noexcept {
    out = Copy("<tr><td class=\"n\">", out);
    out = Copy(entry.number, out);
    out = Copy("</td><td>", out);
    out = WriteHtmlText(entry.title, out);
    out = Copy("</td><td class=\"n\">", out);
    if (entry.hasLength)
        out = WriteDuration(out, entry.seconds);
    out = Copy("</td><td class=\"n\">", out);
    out = WriteClock(out, entry.start.Rounded());
    return Copy("</td></tr>", out);
}

ListFrame LineFrame(std::string_view header, bool totals) {
    ListFrame frame;
    if (!header.empty())
        frame.head = std::string(header).append(kLineBreak);
    if (totals)
        frame.tail = [](const ListTotals& sum) { return sum.Line().append(kLineBreak); };
    return frame;
}

ListFrame JsonFrame() {
    ListFrame frame;
    frame.head.append("[").append(kLineBreak);
    frame.between.append(",").append(kLineBreak);
    frame.tail = [](const ListTotals&) {
        std::string tail(kLineBreak);
        return tail.append("]").append(kLineBreak);
    };
    return frame;
}

ListFrame PageFrame(std::string_view name, const PageWords& words) {
    const std::string br(kLineBreak);
    const std::string title = HtmlText(name);
    std::string head = "<!DOCTYPE html>" + br + "<html lang=\"" + words.language + "\">" + br +
                       "<head>" + br + "<meta charset=\"utf-8\">" + br + "<title>" + title +
                       "</title>" + br +
                       "<style>body{font-family:sans-serif}table{border-collapse:collapse}"
                       "th,td{border:1px solid #999;padding:2px 8px;text-align:left}"
                       "td.n{text-align:right}</style>" +
                       br + "</head>" + br + "<body>" + br + "<h1>" + title + "</h1>" + br +
                       "<table>" + br + "<thead><tr><th>" + HtmlText(words.number) + "</th><th>" +
                       HtmlText(words.title) + "</th><th>" + HtmlText(words.length) + "</th><th>" +
                       HtmlText(words.start) + "</th></tr></thead>" + br + "<tbody>" + br;
    auto tail = [br, total = words.total](const ListTotals& sum) {
        return "</tbody>" + br + "</table>" + br + "<p>" + HtmlText(total(sum)) + "</p>" + br +
               "</body>" + br + "</html>" + br;
    };
    return {std::move(head), {}, std::move(tail)};
}

ShapedList::ShapedList(const LineShape& line, ListFrame frame, TextSink& sink)
    : line_(line)
    , frame_(std::move(frame))
    , sink_(sink)
    , output_(std::make_unique<LineOutput>(sink)) {}

ShapedList::~ShapedList() = default;

void ShapedList::Start() {
    if (started_)
        return;
    started_ = true;
    if (!frame_.head.empty())
        sink_.Write(frame_.head);
}

void ShapedList::Entry(const PlaylistEntry& entry) {
    Start();
    const std::string_view between = sum_.Count() == 0 ? std::string_view() : frame_.between;
    char* out = output_->Begin(between.size() + line_.MaxLength(entry));
    out = Copy(between, out);
    output_->End(line_.Write(entry, out), frame_.between.empty());
    sum_.Add(entry);
}

// Before the first entry there is nothing to flush: a frame's head alone, left by a failure,
// would be a document cut short (a lone "[" for JSON).
void ShapedList::Flush() {
    if (started_)
        output_->Flush();
}

void ShapedList::Finish() {
    Start();
    Flush();
    if (frame_.tail)
        sink_.Write(frame_.tail(sum_));
}

} // namespace skaldrun
