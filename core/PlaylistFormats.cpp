#include "core/PlaylistFormats.h"

#include "core/Errors.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#ifdef SKALDRUN_HAVE_EXPAT
#include <expat.h>
#endif

namespace skaldrun {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kXspfNamespace = "http://xspf.org/ns/0/";
constexpr char kNamespaceSeparator = '\x01';

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimBlanks(std::string_view text) noexcept {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
               return lower(x) == lower(y);
           });
}

// A length as the M3U conversion reads it: an optional minus, digits, an optional fraction.
bool IsLength(std::string_view text) noexcept {
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
    const auto digits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return !whole.empty() && digits(whole) && digits(fraction) &&
           (dot == std::string_view::npos || !fraction.empty());
}

[[noreturn]] void ThrowNotALength(std::string_view text, std::size_t line) {
    throw EConvertError(text, line);
}

// The name a player shows for an entry without a title: the last part of its path or address,
// with what an address escapes as %XX turned back.
std::string FileNameOf(std::string_view location, bool percentEncoded) {
    const std::size_t slash = location.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? location : location.substr(slash + 1);
    if (!percentEncoded)
        return std::string(name);
    std::string decoded;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto hex = [](char c) -> int {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (name[i] == '%' && i + 2 < name.size() && hex(name[i + 1]) >= 0 &&
            hex(name[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(hex(name[i + 1]) * 16 + hex(name[i + 2])));
            i += 2;
        } else {
            decoded.push_back(name[i]);
        }
    }
    return decoded;
}

// One entry as M3U: its line of length and title, then its location, if any. Breaks inside a
// title or a location would start lines of their own: they become blanks.
void AppendEntry(std::string& m3u, std::string_view length, std::string_view title,
                 std::string_view location) {
    const auto appendOneLine = [&m3u](std::string_view text) {
        // A plain loop: find_first_of looks for each of the set's bytes at every position.
        if (std::none_of(text.begin(), text.end(),
                         [](char c) { return c == '\r' || c == '\n' || c == '\0'; })) {
            m3u.append(text);
            return;
        }
        for (const char c : text)
            m3u.push_back(c == '\r' || c == '\n' || c == '\0' ? ' ' : c);
    };
    m3u.append("#EXTINF:").append(length.empty() ? "-1" : length).push_back(',');
    appendOneLine(title);
    m3u.append("\r\n");
    if (!location.empty()) {
        appendOneLine(location);
        m3u.append("\r\n");
    }
}

constexpr std::string_view kHeader = "#EXTM3U\r\n";

} // namespace

std::optional<PlaylistFormat> FormatOf(std::string_view start) {
    if (start.substr(0, kByteOrderMark.size()) == kByteOrderMark.substr(0, start.size()))
        start.remove_prefix(std::min(start.size(), kByteOrderMark.size()));
    const std::size_t first = start.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return std::nullopt;
    start.remove_prefix(first);
    if (start.front() == '<')
        return PlaylistFormat::Xspf;
    constexpr std::string_view kPls = "[playlist]";
    const std::string_view head = start.substr(0, kPls.size());
    if (EqualsIgnoringCase(head, kPls.substr(0, head.size())))
        return head.size() < kPls.size() ? std::nullopt : std::optional(PlaylistFormat::Pls);
    return PlaylistFormat::M3u;
}

struct PlaylistTranslator::Reader {
    virtual ~Reader() = default;
    virtual void Feed(std::string_view piece) = 0;
    virtual bool Finish() = 0;
};

namespace {

// PLS: "key=value" lines; FileN, TitleN and LengthN gathered by N, whatever NumberOfEntries
// says, and written in the order of N once all are read. The text is held whole and the fields
// are views into it.
class PlsReader final : public PlaylistTranslator::Reader {
public:
    explicit PlsReader(const std::function<void(std::string_view)>& out)
        : out_(out) {}

    void Feed(std::string_view piece) override { text_.append(piece); }

    bool Finish() override {
        const std::string_view text = text_;
        // Numbers up to a few times the lines are kept in a table; larger ones, which some
        // writers leave, in a map after it.
        dense_.resize(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) / 2 +
                      16);
        std::size_t line = 0;
        for (std::size_t at = 0; at < text.size();) {
            // The LF first, then a lone CR before it, if any: two memchr calls a line.
            std::size_t end = text.find('\n', at);
            if (end == std::string_view::npos)
                end = text.size();
            if (const std::size_t cr = text.substr(at, end - at).find('\r');
                cr != std::string_view::npos)
                end = at + cr;
            Line(text.substr(at, end - at), ++line);
            const bool crlf = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
            at = end + (crlf ? 2 : 1);
        }
        std::string m3u(kHeader);
        const auto write = [&](const Entry& entry) {
            if (entry.file.data() == nullptr)
                return; // a title or length of no entry
            if (entry.title.data() != nullptr)
                AppendEntry(m3u, entry.length, entry.title, entry.file);
            else
                AppendEntry(m3u, entry.length, FileNameOf(entry.file, false), entry.file);
            if (m3u.size() >= 64 * 1024) {
                out_(m3u);
                m3u.clear();
            }
        };
        for (const Entry& entry : dense_)
            write(entry);
        for (const auto& [number, entry] : sparse_)
            write(entry);
        out_(m3u);
        return true;
    }

private:
    struct Entry {
        std::string_view file;  // null where no FileN came
        std::string_view title; // null where no TitleN came
        std::string_view length;
    };

    void Line(std::string_view line, std::size_t lineNumber) {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return;
        const std::string_view key = TrimBlanks(line.substr(0, equals));
        // Never null, even when empty: an empty title is a title.
        std::string_view value = TrimBlanks(line.substr(equals + 1));
        if (value.data() == nullptr)
            value = line.substr(equals + 1, 0);
        for (const std::string_view field : {"File", "Title", "Length"}) {
            if (key.size() <= field.size() ||
                !EqualsIgnoringCase(key.substr(0, field.size()), field))
                continue;
            const std::string_view digits = key.substr(field.size());
            if (digits.size() > 18)
                return;
            std::uint64_t number = 0;
            for (const char c : digits) {
                if (c < '0' || c > '9')
                    return;
                number = number * 10 + static_cast<std::uint64_t>(c - '0');
            }
            Entry& entry = number < dense_.size() ? dense_[number] : sparse_[number];
            if (field == "File") {
                entry.file = value;
            } else if (field == "Title") {
                entry.title = value;
            } else {
                if (!IsLength(value))
                    ThrowNotALength(value, lineNumber);
                entry.length = value;
            }
            return;
        }
    }

    const std::function<void(std::string_view)>& out_;
    std::string text_;
    std::vector<Entry> dense_;
    std::map<std::uint64_t, Entry> sparse_;
};

#ifdef SKALDRUN_HAVE_EXPAT
// XSPF, through expat: each track written as soon as it ends. The document may declare no
// entities (so none can multiply or be fetched); what is not well-formed is refused where it
// stops being so.
class XspfReader final : public PlaylistTranslator::Reader {
public:
    explicit XspfReader(const std::function<void(std::string_view)>& out)
        : out_(out)
        , parser_(XML_ParserCreateNS(nullptr, kNamespaceSeparator)) {
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &XspfReader::Start, &XspfReader::End);
        XML_SetCharacterDataHandler(parser_, &XspfReader::Text);
        XML_SetEntityDeclHandler(parser_, &XspfReader::EntityDeclared);
        XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
    }
    ~XspfReader() override { XML_ParserFree(parser_); }
    XspfReader(const XspfReader&) = delete;
    XspfReader& operator=(const XspfReader&) = delete;

    void Feed(std::string_view piece) override {
        while (!piece.empty() && !notAPlaylist_) {
            const std::size_t size = std::min<std::size_t>(piece.size(), 1 << 30);
            Parse(piece.substr(0, size), false);
            piece.remove_prefix(size);
        }
    }

    bool Finish() override {
        if (!notAPlaylist_)
            Parse({}, true);
        if (notAPlaylist_ || !sawPlaylist_)
            return false;
        out_(m3u_);
        return true;
    }

private:
    enum class Field { None, Title, Creator, Duration, Location };

    void Parse(std::string_view bytes, bool last) {
        if (XML_Parse(parser_, bytes.data(), static_cast<int>(bytes.size()), last) !=
                XML_STATUS_OK &&
            !notAPlaylist_) {
            if (badLength_) // found in a handler, which must not throw through expat's C
                ThrowNotALength(badLength_->first, badLength_->second);
            Refuse(refusal_.empty() ? XML_ErrorString(XML_GetErrorCode(parser_)) : refusal_);
        }
        if (m3u_.size() >= 64 * 1024) {
            out_(m3u_);
            m3u_.clear();
        }
    }

    [[noreturn]] void Refuse(std::string_view why) {
        throw EXmlError("XML: " + std::string(why) + ", column " +
                            std::to_string(XML_GetCurrentColumnNumber(parser_) + 1),
                        XML_GetCurrentLineNumber(parser_));
    }

    static std::string_view Local(const XML_Char* name, bool& xspf) {
        const std::string_view full(name);
        const std::size_t separator = full.find(kNamespaceSeparator);
        xspf = separator != std::string_view::npos && full.substr(0, separator) == kXspfNamespace;
        return separator == std::string_view::npos ? full : full.substr(separator + 1);
    }

    static void XMLCALL Start(void* self, const XML_Char* name, const XML_Char**) {
        auto& r = *static_cast<XspfReader*>(self);
        bool xspf = false;
        const std::string_view local = Local(name, xspf);
        ++r.depth_;
        if (r.depth_ == 1) {
            if (!xspf || local != "playlist") {
                r.notAPlaylist_ = true;
                XML_StopParser(r.parser_, XML_FALSE);
                return;
            }
            r.sawPlaylist_ = true;
            r.m3u_.append(kHeader);
        } else if (r.depth_ == 3 && xspf && local == "track" && r.inTrackList_) {
            r.inTrack_ = true;
            r.title_.clear();
            r.creator_.clear();
            r.duration_.clear();
            r.location_.clear();
            r.hasLocation_ = false;
        } else if (r.depth_ == 2 && xspf && local == "trackList") {
            r.inTrackList_ = true;
        } else if (r.depth_ == 4 && r.inTrack_ && xspf) {
            r.field_ = local == "title"                         ? Field::Title
                       : local == "creator"                     ? Field::Creator
                       : local == "duration"                    ? Field::Duration
                       : local == "location" && !r.hasLocation_ ? Field::Location
                                                                : Field::None;
        }
    }

    static void XMLCALL End(void* self, const XML_Char*) {
        auto& r = *static_cast<XspfReader*>(self);
        if (r.depth_ == 4 && r.field_ == Field::Location)
            r.hasLocation_ = true;
        if (r.depth_ == 4)
            r.field_ = Field::None;
        else if (r.depth_ == 3 && r.inTrack_)
            r.TrackEnded();
        else if (r.depth_ == 2)
            r.inTrackList_ = false;
        --r.depth_;
    }

    static void XMLCALL Text(void* self, const XML_Char* text, int length) {
        auto& r = *static_cast<XspfReader*>(self);
        const std::string_view piece(text, static_cast<std::size_t>(length));
        switch (r.field_) {
        case Field::Title:
            r.title_.append(piece);
            break;
        case Field::Creator:
            r.creator_.append(piece);
            break;
        case Field::Duration:
            r.duration_.append(piece);
            break;
        case Field::Location:
            r.location_.append(piece);
            break;
        case Field::None:
            break;
        }
    }

    static void XMLCALL EntityDeclared(void* self, const XML_Char*, int, const XML_Char*, int,
                                       const XML_Char*, const XML_Char*, const XML_Char*,
                                       const XML_Char*) {
        auto& r = *static_cast<XspfReader*>(self);
        r.refusal_ = "a playlist declares no entities";
        XML_StopParser(r.parser_, XML_FALSE);
    }

    // "creator - title" where both are given, as players show it; the title alone, the
    // creator alone, or the location's file name otherwise. Milliseconds become seconds.
    void TrackEnded() {
        inTrack_ = false;
        const std::string_view title = TrimBlanks(title_);
        const std::string_view creator = TrimBlanks(creator_);
        const std::string_view location = TrimBlanks(location_);
        std::string shown = !creator.empty() && !title.empty()
                                ? std::string(creator) + " - " + std::string(title)
                            : !title.empty()   ? std::string(title)
                            : !creator.empty() ? std::string(creator)
                                               : FileNameOf(location, true);
        std::string length;
        const std::string_view duration = TrimBlanks(duration_);
        if (!duration.empty()) {
            if (duration.size() > 18 || !std::all_of(duration.begin(), duration.end(),
                                                     [](char c) { return c >= '0' && c <= '9'; })) {
                badLength_.emplace(std::string(duration), XML_GetCurrentLineNumber(parser_));
                XML_StopParser(parser_, XML_FALSE);
                return;
            }
            const std::uint64_t ms = std::stoull(std::string(duration));
            length = std::to_string(ms / 1000);
            if (const std::uint64_t rest = ms % 1000; rest != 0) {
                std::string fraction = std::to_string(1000 + rest).substr(1);
                while (fraction.back() == '0')
                    fraction.pop_back();
                length.append(".").append(fraction);
            }
        }
        AppendEntry(m3u_, length, shown, location);
    }

    const std::function<void(std::string_view)>& out_;
    XML_Parser parser_;
    std::string m3u_;
    std::string refusal_;
    std::optional<std::pair<std::string, std::size_t>> badLength_; // what, and on which line
    int depth_ = 0;
    bool sawPlaylist_ = false;
    bool notAPlaylist_ = false;
    bool inTrackList_ = false;
    bool inTrack_ = false;
    bool hasLocation_ = false;
    Field field_ = Field::None;
    std::string title_, creator_, duration_, location_;
};
#else
class XspfReader final : public PlaylistTranslator::Reader {
public:
    explicit XspfReader(const std::function<void(std::string_view)>&) {}
    void Feed(std::string_view) override {
        throw EConvertError("XSPF playlists are not read by this build", 1);
    }
    bool Finish() override { return false; }
};
#endif

} // namespace

PlaylistTranslator::PlaylistTranslator(std::function<void(std::string_view)> out)
    : out_(std::move(out)) {}

PlaylistTranslator::~PlaylistTranslator() = default;

void PlaylistTranslator::Feed(std::string_view piece) {
    if (passThrough_) {
        out_(piece);
        return;
    }
    if (reader_ == nullptr) {
        start_.append(piece);
        const std::optional<PlaylistFormat> format = FormatOf(start_);
        if (!format)
            return;
        const std::string start = std::move(start_);
        start_.clear();
        if (*format == PlaylistFormat::M3u) {
            passThrough_ = true;
            out_(start);
            return;
        }
        if (*format == PlaylistFormat::Pls)
            reader_ = std::make_unique<PlsReader>(out_);
        else
            reader_ = std::make_unique<XspfReader>(out_);
        reader_->Feed(start);
        return;
    }
    reader_->Feed(piece);
}

bool PlaylistTranslator::Finish() {
    if (reader_ != nullptr)
        return reader_->Finish();
    if (!start_.empty())
        out_(start_); // too few bytes to tell: as they are
    return true;
}

std::string AsM3u(std::string_view playlist) {
    std::string m3u;
    PlaylistTranslator translator([&m3u](std::string_view piece) { m3u.append(piece); });
    translator.Feed(playlist);
    if (!translator.Finish())
        return {};
    return m3u;
}

} // namespace skaldrun
