#include "core/ListShapes.h"

#include "core/Errors.h"
#include "core/LineOutput.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

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

} // namespace

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
        if (std::string_view("ntdsp").find(field) == std::string_view::npos)
            throw std::invalid_argument(std::string("unknown field '%") + field +
                                        "' in the template (%n %t %d %s %p %%)");
        endLiteral();
        parts_.push_back({field, {}});
        ++fields_;
    }
    endLiteral();
}

std::size_t ListTemplate::MaxLength(const PlaylistEntry& entry) const noexcept {
    const std::size_t longest =
        std::max({entry.number.size(), entry.title.size(), entry.media.size(), kNumberRoom});
    return literalLength_ + fields_ * longest;
}

char* ListTemplate::Write(const PlaylistEntry& entry, char* out) const noexcept {
    for (const Part& part : parts_) {
        switch (part.field) {
        case 'n':
            out = Copy(entry.number, out);
            break;
        case 't':
            out = Copy(entry.title, out);
            break;
        case 'd':
            if (entry.hasLength)
                out = WriteDuration(out, entry.seconds);
            break;
        case 's':
            if (entry.hasLength)
                out = WriteNumber(out, static_cast<std::uint64_t>(entry.seconds));
            break;
        case 'p':
            out = Copy(entry.media, out);
            break;
        default:
            out = Copy(part.text, out);
        }
    }
    return out;
}

std::size_t DefaultLine::MaxLength(const PlaylistEntry& entry) const noexcept {
    return ListLineLength(entry.number, entry.title);
}

char* DefaultLine::Write(const PlaylistEntry& entry, char* out) const noexcept {
    return WriteListLine(options_, entry, out);
}

std::size_t CsvRow::MaxLength(const PlaylistEntry& entry) const noexcept {
    return entry.number.size() + 2 * entry.title.size() + 2 * entry.media.size() + kNumberRoom + 8;
}

char* CsvRow::Write(const PlaylistEntry& entry, char* out) const noexcept {
    out = Copy(entry.number, out);
    *out++ = ',';
    out = WriteCsvField(entry.title, out);
    *out++ = ',';
    if (entry.hasLength)
        out = WriteNumber(out, static_cast<std::uint64_t>(entry.seconds));
    *out++ = ',';
    return WriteCsvField(entry.media, out);
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
        sink_.Write(std::string(header_) + "\r\n");
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
        sink_.Write(sum_.Line() + "\r\n");
}

bool ConvertToShape(std::string_view bytes, bool deleteDigits, ShapedList& list) {
    bool isPlaylist = false;
    try {
        isPlaylist = ReadPlaylistEntries(bytes, deleteDigits, list);
    } catch (const EConvertError&) {
        list.Flush(); // the lines before the faulty entry, as the window keeps them
        throw;
    }
    if (isPlaylist)
        list.Finish();
    return isPlaylist;
}

} // namespace skaldrun
