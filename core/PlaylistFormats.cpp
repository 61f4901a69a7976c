#include "core/PlaylistFormats.h"

#include "core/CodePages.h"
#include "core/Convert.h"
#include "core/Errors.h"
#include "core/LineBreaks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#ifdef SKALDRUN_HAVE_EXPAT
#include <expat.h>
#endif

namespace skaldrun {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kXspfNamespace = "http://xspf.org/ns/0/";
constexpr char kNamespaceSeparator = '\x01';

inline bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline std::string_view TrimBlanks(std::string_view text) noexcept {
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

// A length as the M3U conversion reads it: an optional minus, digits, an optional fraction, and
// no more seconds than it takes.
bool IsLength(std::string_view text) noexcept {
    const bool negative = !text.empty() && text.front() == '-'; // unknown, whatever its size
    if (negative)
        text.remove_prefix(1);
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
    const auto digits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return !whole.empty() && digits(whole) && digits(fraction) &&
           (dot == std::string_view::npos || !fraction.empty()) &&
           (negative || SecondsInRange(whole));
}

[[noreturn]] void ThrowNotALength(std::string_view text, std::size_t line) {
    throw EConvertError(text, line);
}

// The path of an address such as "http://host:8000/live?id=1": neither the host nor the query
// is part of it. Empty for an address of a host alone; anything else is a path as it stands.
std::string_view PathOf(std::string_view location) noexcept {
    const std::size_t scheme = location.find("://");
    if (scheme == std::string_view::npos || scheme < 2 ||
        !std::all_of(location.begin(), location.begin() + static_cast<std::ptrdiff_t>(scheme),
                     [](char c) {
                         return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
                     }))
        return location;
    std::string_view rest = location.substr(scheme + 3);
    const std::size_t path = rest.find('/');
    if (path == std::string_view::npos)
        return {};
    rest.remove_prefix(path);
    return rest.substr(0, rest.find_first_of("?#"));
}

// The name a player shows for an entry without a title: the last part of its path or address,
// with what an address escapes as %XX turned back. Empty where the path ends in a separator or
// the address names a host alone: the caller then shows the whole location.
std::string FileNameOf(std::string_view location, bool percentEncoded) {
    location = PathOf(location);
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
// title or a location would start lines of their own: they become blanks. A location that starts
// with '#' would be read back as a directive, an "#EXTINF:" one as an entry of its own: it goes
// unwritten.
void AppendEntry(std::string& m3u, std::string_view length, std::string_view title,
                 std::string_view location) {
    const auto appendOneLine = [&m3u](std::string_view text) {
        const char* const end = text.data() + text.size();
        if (detail::FindBreakOrNul(text.data(), end) == end) {
            m3u.append(text);
            return;
        }
        for (const char c : text)
            m3u.push_back(c == '\r' || c == '\n' || c == '\0' ? ' ' : c);
    };
    m3u.append("#EXTINF:").append(length.empty() ? "-1" : length).push_back(',');
    appendOneLine(title);
    m3u.append("\r\n");
    if (!location.empty() && location.front() != '#') {
        appendOneLine(location);
        m3u.append("\r\n");
    }
}

constexpr std::string_view kHeader = "#EXTM3U\r\n";

// UTF-16, which expat reads by itself: told by a byte-order mark, or without one by "<?" in
// big-endian units ("<" already tells the little-endian start). False where the bytes are no
// UTF-16; otherwise format is an XSPF where '<' follows the blanks, an M3U where anything else
// does, none while too few bytes tell.
bool Utf16FormatOf(std::string_view start, std::optional<PlaylistFormat>& format) noexcept {
    const auto opens = [start](std::string_view with) {
        return start.substr(0, with.size()) == with.substr(0, start.size());
    };
    format.reset();
    if (constexpr std::string_view kBigEndianXml("\0<\0?", 4); opens(kBigEndianXml)) {
        if (start.size() >= kBigEndianXml.size())
            format = PlaylistFormat::Xspf;
        return true;
    }
    const bool big = opens("\xFE\xFF");
    if (!big && !opens("\xFF\xFE"))
        return false;
    for (std::size_t at = 2; at + 1 < start.size(); at += 2) {
        const auto high = static_cast<unsigned char>(start[big ? at : at + 1]);
        const auto low = static_cast<unsigned char>(start[big ? at + 1 : at]);
        if (high == 0 && IsBlank(static_cast<char>(low)))
            continue;
        format = high == 0 && low == '<' ? PlaylistFormat::Xspf : PlaylistFormat::M3u;
        break;
    }
    return true;
}

// Writers put a MIME type line or comments before "[playlist]"; past this many bytes of them a
// text is taken for no PLS.
constexpr std::size_t kPlsLookAhead = 4096;

// Whether text, a line's rest after its blanks, opens a PLS: "[playlist]" in any case. None while
// it is a part of that too short to tell.
std::optional<bool> OpensPls(std::string_view text) noexcept {
    constexpr std::string_view kPls = "[playlist]";
    const std::string_view head = text.substr(0, kPls.size());
    if (!EqualsIgnoringCase(head, kPls.substr(0, head.size())))
        return false;
    return head.size() < kPls.size() ? std::nullopt : std::optional(true);
}

// The format the first line that is not blank tells at once. Where it tells none, searched is
// set past its start, for PlsAhead to go on from.
std::optional<PlaylistFormat> FirstLineFormat(std::string_view start, std::size_t& searched) {
    if (std::optional<PlaylistFormat> utf16; Utf16FormatOf(start, utf16))
        return utf16;
    const std::size_t size = start.size();
    if (start.substr(0, kByteOrderMark.size()) == kByteOrderMark.substr(0, start.size()))
        start.remove_prefix(std::min(start.size(), kByteOrderMark.size()));
    const std::size_t first = start.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return std::nullopt;
    start.remove_prefix(first);
    if (start.front() == '<')
        return PlaylistFormat::Xspf;
    constexpr std::string_view kM3u = "#EXTM3U";
    if (const std::string_view head = start.substr(0, kM3u.size());
        head == kM3u.substr(0, head.size()))
        return head.size() < kM3u.size() ? std::nullopt : std::optional(PlaylistFormat::M3u);
    if (const std::optional<bool> pls = OpensPls(start); pls != false)
        return pls ? std::optional(PlaylistFormat::Pls) : std::nullopt;
    searched = size - start.size() + 1;
    return std::nullopt;
}

// A line that opens a PLS after the first, within the first kPlsLookAhead bytes: Pls once one
// is there, M3u once those bytes hold none, none while fewer have come. The search goes on from
// searched, which it moves on, so that bytes in small pieces are not searched again.
std::optional<PlaylistFormat> PlsAhead(std::string_view start, std::size_t& searched) noexcept {
    const bool all = start.size() >= kPlsLookAhead;
    start = start.substr(0, kPlsLookAhead);
    for (;;) {
        const std::size_t end = start.find_first_of("\r\n", searched);
        if (end == std::string_view::npos) {
            searched = start.size();
            return all ? std::optional(PlaylistFormat::M3u) : std::nullopt;
        }
        const std::size_t text = start.find_first_not_of(" \t", end + 1);
        const std::optional<bool> pls =
            text == std::string_view::npos ? std::nullopt : OpensPls(start.substr(text));
        if (pls == true)
            return PlaylistFormat::Pls;
        if (!pls && !all) {
            searched = end; // the line goes on in bytes still to come
            return std::nullopt;
        }
        searched = end + 1;
    }
}

// Whether the line numbered number opens the PLS, as FirstLineFormat and PlsAhead find it.
bool IsPlsHeader(std::string_view line, std::size_t number) noexcept {
    if (number == 1 && line.starts_with(kByteOrderMark))
        line.remove_prefix(kByteOrderMark.size());
    const std::size_t text = line.find_first_not_of(" \t");
    return text != std::string_view::npos && OpensPls(line.substr(text)) == true;
}

} // namespace

std::optional<PlaylistFormat> FormatOf(std::string_view start) {
    std::size_t searched = 0;
    const std::optional<PlaylistFormat> format = FirstLineFormat(start, searched);
    return searched == 0 ? format : PlsAhead(start, searched);
}

std::optional<PlaylistFormat> FormatProbe::Feed(std::string_view& piece, std::string& held) {
    const auto formatOf = [this](std::string_view start) {
        std::optional<PlaylistFormat> format;
        if (searched_ == 0)
            format = FirstLineFormat(start, searched_);
        return searched_ == 0 ? format : PlsAhead(start, searched_);
    };
    if (start_.empty()) {
        const std::optional<PlaylistFormat> format = formatOf(piece);
        if (!format)
            start_.assign(piece);
        return format;
    }
    start_.append(piece);
    const std::optional<PlaylistFormat> format = formatOf(start_);
    if (format) {
        held = std::exchange(start_, {});
        piece = held;
    }
    return format;
}

struct PlaylistTranslator::Reader {
    virtual ~Reader() = default;
    virtual void Feed(std::string_view piece) = 0;
    virtual bool Finish() = 0;
};

namespace {

// The lines of a PLS as its bytes come in pieces, numbered from 1: LF, CR LF and a lone CR each
// end one. A line cut by a piece's end is carried over to the next piece.
class PlsLines {
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
        const char* from = p; // where the search goes on: a NUL is part of a line
        while (p != end) {
            const char* stop = detail::FindBreakOrNul(from, end);
            if (stop == end) {
                carry_.append(p, end);
                return;
            }
            if (*stop == '\0') {
                from = stop + 1;
                continue;
            }
            std::string_view text(p, static_cast<std::size_t>(stop - p));
            if (!carry_.empty())
                text = carry_.append(text);
            line(text, ++number_);
            carry_.clear();
            afterCr_ = detail::CrEndsPiece(stop, end);
            p = from = PastBreak(stop, end);
        }
    }
    template <typename OnLine>
    void Finish(OnLine&& line) {
        if (!carry_.empty())
            line(std::string_view(carry_), ++number_);
        carry_.clear();
    }

private:
    std::string carry_;
    std::size_t number_ = 0;
    bool afterCr_ = false;
};

// One "FileN", "TitleN" or "LengthN" line, any case, blanks around the key and value dropped.
struct PlsKey {
    enum Field { File, Title, Length } field;
    std::uint64_t number;
    std::string_view value; // never null, even when empty: an empty title is a title
};

// False for any other line. An out parameter: the key is read on every line of a PLS, twice.
bool KeyOf(std::string_view line, PlsKey& key) noexcept {
    const char* p = line.data();
    const char* const end = p + line.size();
    while (p != end && IsBlank(*p))
        ++p;
    if (p == end)
        return false;
    key.number = 0;
    std::string_view name;
    switch (*p | 0x20) {
    case 'f':
        key.field = PlsKey::File, name = "file";
        break;
    case 't':
        key.field = PlsKey::Title, name = "title";
        break;
    case 'l':
        key.field = PlsKey::Length, name = "length";
        break;
    default:
        return false;
    }
    if (static_cast<std::size_t>(end - p) <= name.size() ||
        !EqualsIgnoringCase(std::string_view(p, name.size()), name))
        return false;
    p += name.size();
    const char* const digits = p;
    for (; p != end && *p >= '0' && *p <= '9'; ++p)
        key.number = key.number * 10 + static_cast<std::uint64_t>(*p - '0');
    if (p == digits || p - digits > 18)
        return false;
    while (p != end && IsBlank(*p))
        ++p;
    if (p == end || *p != '=')
        return false;
    ++p;
    key.value = TrimBlanks(std::string_view(p, static_cast<std::size_t>(end - p)));
    if (key.value.data() == nullptr)
        key.value = std::string_view(p, 0);
    return true;
}

// Whether keys still come grouped by entry in ascending numbers.
class PlsOrder {
public:
    // False for a key of an entry before the current one.
    bool Next(std::uint64_t number) noexcept {
        if (started_ && number < current_)
            return false;
        started_ = true;
        current_ = number;
        return true;
    }

private:
    std::uint64_t current_ = 0;
    bool started_ = false;
};

void ValidateLength(const PlsKey& key, std::size_t line) {
    if (key.field == PlsKey::Length && !IsLength(key.value))
        ThrowNotALength(key.value, line);
}

// An entry without a title, or with an empty one, shows its file's name; a stream's address that
// ends in '/' or names a host alone has none, and shows whole.
void AppendPlsEntry(std::string& m3u, std::string_view file, std::string_view title,
                    std::string_view length) {
    if (!title.empty()) {
        AppendEntry(m3u, length, title, file);
        return;
    }
    const std::string name = FileNameOf(file, false);
    AppendEntry(m3u, length, name.empty() ? file : name, file);
}

// The lines of a PLS from its "[playlist]" line on: what comes before it (a MIME type, comments)
// is no part of it. Lines keep their numbers in the whole text.
class PlsStart {
public:
    // False for each line up to the "[playlist]" line and for that line.
    bool InList(std::string_view line, std::size_t number) noexcept {
        if (started_)
            return true;
        started_ = IsPlsHeader(line, number);
        return false;
    }

private:
    bool started_ = false;
};

// Lines as PlsLines counts them: LF, CR LF and a lone CR each end one.
std::size_t LineCount(std::string_view text) noexcept {
    std::size_t lines = text.empty() ? 0 : 1; // the last line, ended or not
    const char* p = text.data();
    const char* const end = p + text.size();
    for (const char* stop; (stop = detail::FindBreakOrNul(p, end)) != end;) {
        lines += *stop == '\0' ? 0 : 1; // a NUL is part of a line
        p = *stop == '\0' ? stop + 1 : PastBreak(stop, end);
    }
    return lines;
}

// PLS: "key=value" lines; FileN, TitleN and LengthN gathered by N, whatever NumberOfEntries
// says, and written in the order of N once all are read. The text is held whole and the fields
// are views into it.
class PlsReader final : public PlaylistTranslator::Reader {
public:
    explicit PlsReader(const std::function<void(std::string_view)>& out)
        : out_(out) {}

    void Feed(std::string_view piece) override { text_.append(piece); }

    bool Finish() override {
        // Numbers up to a few times the lines are kept in a table; larger ones, which some
        // writers leave, in a map after it.
        dense_.resize(LineCount(text_) / 2 + 16);
        text_.push_back('\n'); // the last line ended, so that none is carried out of the text
        PlsLines lines;
        PlsStart start;
        lines.Feed(text_, [this, &start](std::string_view line, std::size_t number) {
            PlsKey key;
            if (!start.InList(line, number) || !KeyOf(line, key))
                return;
            ValidateLength(key, number);
            Entry& entry = key.number < dense_.size() ? dense_[key.number] : sparse_[key.number];
            (key.field == PlsKey::File    ? entry.file
             : key.field == PlsKey::Title ? entry.title
                                          : entry.length) = key.value;
        });
        std::string m3u(kHeader);
        const auto write = [&](const Entry& entry) {
            if (entry.file.data() == nullptr)
                return; // a title or length of no entry
            AppendPlsEntry(m3u, entry.file, entry.title, entry.length);
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
        std::string_view file; // null where no FileN came
        std::string_view title;
        std::string_view length;
    };

    const std::function<void(std::string_view)>& out_;
    std::string text_;
    std::vector<Entry> dense_;
    std::map<std::uint64_t, Entry> sparse_;
};

// PLS whose keys were seen to come grouped by entry in ascending numbers: each entry written
// as soon as the next one starts, in constant memory.
class GroupedPlsReader final : public PlaylistTranslator::Reader {
public:
    explicit GroupedPlsReader(const std::function<void(std::string_view)>& out)
        : out_(out)
        , m3u_(kHeader) {}

    void Feed(std::string_view piece) override {
        lines_.Feed(piece, [this](std::string_view line, std::size_t n) { Line(line, n); });
        if (m3u_.size() >= 64 * 1024) {
            out_(m3u_);
            m3u_.clear();
        }
    }

    bool Finish() override {
        lines_.Finish([this](std::string_view line, std::size_t n) { Line(line, n); });
        EntryEnded();
        out_(m3u_);
        return true;
    }

private:
    void Line(std::string_view line, std::size_t number) {
        PlsKey key;
        if (!start_.InList(line, number) || !KeyOf(line, key))
            return;
        ValidateLength(key, number);
        if (!order_.Next(key.number))
            throw EPlaylistError("the playlist changed while it was read", number);
        if (key.number != entry_) {
            EntryEnded();
            entry_ = key.number;
        }
        switch (key.field) {
        case PlsKey::File:
            file_.assign(key.value);
            hasFile_ = true;
            break;
        case PlsKey::Title:
            title_.assign(key.value);
            break;
        case PlsKey::Length:
            length_.assign(key.value);
            break;
        }
    }

    void EntryEnded() {
        if (hasFile_) // a title or length of no entry goes unwritten
            AppendPlsEntry(m3u_, file_, title_, length_);
        hasFile_ = false;
        title_.clear();
        length_.clear();
    }

    const std::function<void(std::string_view)>& out_;
    std::string m3u_;
    PlsLines lines_;
    PlsStart start_;
    PlsOrder order_;
    std::uint64_t entry_ = 0;
    std::string file_, title_, length_;
    bool hasFile_ = false;
};

#ifdef SKALDRUN_HAVE_EXPAT
// XSPF, through expat: each track written as soon as it ends. The document may declare no
// entities (so none can multiply or be fetched) and use none it does not declare; what is not
// well-formed is refused where it stops being so. A playlist without XSPF's namespace is read
// too, as players write and read such files.
class XspfReader final : public PlaylistTranslator::Reader {
public:
    explicit XspfReader(const std::function<void(std::string_view)>& out)
        : out_(out)
        , parser_(XML_ParserCreateNS(nullptr, kNamespaceSeparator)) {
        if (parser_ == nullptr)
            throw std::bad_alloc();
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &XspfReader::Start, &XspfReader::End);
        XML_SetCharacterDataHandler(parser_, &XspfReader::Text);
        XML_SetEntityDeclHandler(parser_, &XspfReader::EntityDeclared);
        XML_SetSkippedEntityHandler(parser_, &XspfReader::EntitySkipped);
        XML_SetUnknownEncodingHandler(parser_, &XspfReader::Encoding, this);
        XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
    }
    ~XspfReader() override { XML_ParserFree(parser_); }
    XspfReader(const XspfReader&) = delete;
    XspfReader& operator=(const XspfReader&) = delete;

    // Between some tokens expat counts a CR that ends the bytes given so far and an LF that
    // opens the next ones as two lines: a CR ending a piece waits for the byte after it.
    void Feed(std::string_view piece) override {
        if (piece.empty() || notAPlaylist_)
            return;
        if (std::exchange(crHeld_, false)) {
            const bool lf = piece.front() == '\n';
            Parse(lf ? "\r\n" : "\r", false);
            piece.remove_prefix(lf ? 1 : 0);
        }
        if (!piece.empty() && piece.back() == '\r') {
            crHeld_ = true;
            piece.remove_suffix(1);
        }
        while (!piece.empty() && !notAPlaylist_) {
            std::size_t size = std::min<std::size_t>(piece.size(), 1 << 30);
            if (size < piece.size() && piece[size - 1] == '\r')
                --size;
            Parse(piece.substr(0, size), false);
            piece.remove_prefix(size);
        }
    }

    bool Finish() override {
        if (!notAPlaylist_)
            Parse(crHeld_ ? "\r" : "", true);
        if (notAPlaylist_ || !sawPlaylist_)
            return false;
        out_(m3u_);
        return true;
    }

private:
    enum Field { None, Title, Creator, Duration, Location, FieldCount };

    // A refusal found in a handler, which must not throw through expat's C: where it stands.
    struct Refusal {
        std::string reason;
        std::string name;
        XML_Size line = 0;
        XML_Size column = 0;
    };

    void Parse(std::string_view bytes, bool last) {
        if (XML_Parse(parser_, bytes.data(), static_cast<int>(bytes.size()), last) !=
                XML_STATUS_OK &&
            !notAPlaylist_) {
            // The tracks before the fault go on, as an M3U's lines before its fault do.
            if (!m3u_.empty()) {
                out_(m3u_);
                m3u_.clear();
            }
            if (badLength_)
                ThrowNotALength(badLength_->first, badLength_->second);
            if (!refusal_) {
                const XML_Error code = XML_GetErrorCode(parser_);
                const bool named = code == XML_ERROR_UNKNOWN_ENCODING && !unknownEncoding_.empty();
                refusal_ = Here(named ? "unknown encoding '%1'" : XML_ErrorString(code),
                                named ? unknownEncoding_ : std::string());
            }
            throw EXmlError(refusal_->reason, refusal_->name, refusal_->line, refusal_->column + 1);
        }
        if (m3u_.size() >= 64 * 1024) {
            out_(m3u_);
            m3u_.clear();
        }
    }

    Refusal Here(std::string reason, std::string name = {}) const {
        return {std::move(reason), std::move(name), XML_GetCurrentLineNumber(parser_),
                XML_GetCurrentColumnNumber(parser_)};
    }

    // From a handler: refused at the parser's place, which then stops.
    void RefuseHere(std::string reason) {
        refusal_ = Here(std::move(reason));
        XML_StopParser(parser_, XML_FALSE);
    }

    // The local name; ours where it is in XSPF's namespace or in none.
    static std::string_view Local(const XML_Char* name, bool& ours) {
        const std::string_view full(name);
        const std::size_t separator = full.find(kNamespaceSeparator);
        ours = separator == std::string_view::npos || full.substr(0, separator) == kXspfNamespace;
        return separator == std::string_view::npos ? full : full.substr(separator + 1);
    }

    static void XMLCALL Start(void* self, const XML_Char* name, const XML_Char**) {
        auto& r = *static_cast<XspfReader*>(self);
        bool ours = false;
        const std::string_view local = Local(name, ours);
        ++r.depth_;
        if (r.depth_ == 1) {
            if (!ours || local != "playlist") {
                r.notAPlaylist_ = true;
                XML_StopParser(r.parser_, XML_FALSE);
                return;
            }
            r.sawPlaylist_ = true;
            r.m3u_.append(kHeader);
        } else if (r.depth_ == 3 && ours && local == "track" && r.inTrackList_) {
            r.inTrack_ = true;
            for (std::string* field : {&r.title_, &r.creator_, &r.duration_, &r.location_})
                field->clear();
            std::fill(std::begin(r.seen_), std::end(r.seen_), false);
            r.durationLine_ = 0;
        } else if (r.depth_ == 2 && ours && local == "trackList") {
            r.inTrackList_ = true;
        } else if (r.depth_ == 4 && r.inTrack_ && ours) {
            const Field field = local == "title"      ? Title
                                : local == "creator"  ? Creator
                                : local == "duration" ? Duration
                                : local == "location" ? Location
                                                      : None;
            // Of a field given twice, the first counts, as players read it.
            r.field_ = r.seen_[field] ? None : field;
            r.seen_[field] = true;
        }
    }

    static void XMLCALL End(void* self, const XML_Char*) {
        auto& r = *static_cast<XspfReader*>(self);
        if (r.depth_ == 4)
            r.field_ = None;
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
        case Title:
            r.title_.append(piece);
            break;
        case Creator:
            r.creator_.append(piece);
            break;
        case Duration:
            // A length too long is refused on the line its digits stand on.
            if (r.durationLine_ == 0 && !TrimBlanks(piece).empty())
                r.durationLine_ = XML_GetCurrentLineNumber(r.parser_);
            r.duration_.append(piece);
            break;
        case Location:
            r.location_.append(piece);
            break;
        default:
            break;
        }
    }

    static void XMLCALL EntityDeclared(void* self, const XML_Char*, int, const XML_Char*, int,
                                       const XML_Char*, const XML_Char*, const XML_Char*,
                                       const XML_Char*) {
        static_cast<XspfReader*>(self)->RefuseHere("a playlist declares no entities");
    }

    // Where a DOCTYPE names an outside part, expat passes over an entity nobody declared; a
    // playlist would lose that text unseen.
    static void XMLCALL EntitySkipped(void* self, const XML_Char*, int) {
        static_cast<XspfReader*>(self)->RefuseHere(XML_ErrorString(XML_ERROR_UNDEFINED_ENTITY));
    }

    // The single-byte code pages the program knows, read by expat itself.
    static int XMLCALL Encoding(void* self, const XML_Char* name, XML_Encoding* info) {
        const UpperHalfTable* table = SingleByteTableNamed(name);
        if (table == nullptr) {
            static_cast<XspfReader*>(self)->unknownEncoding_ = name;
            return XML_STATUS_ERROR;
        }
        for (int b = 0; b < 0x80; ++b) {
            const char16_t upper = (*table)[static_cast<std::size_t>(b)];
            info->map[b] = b;
            info->map[0x80 + b] = upper == kUndefinedCharacter ? 0xFFFD : upper;
        }
        info->data = nullptr;
        info->convert = nullptr;
        info->release = nullptr;
        return XML_STATUS_OK;
    }

    // Milliseconds as seconds; empty, an unknown length, where the text is no whole number.
    // A number too long for the conversion is refused.
    std::string Seconds(std::string_view duration) {
        if (duration.empty() || !std::all_of(duration.begin(), duration.end(),
                                             [](char c) { return c >= '0' && c <= '9'; }))
            return {};
        const std::string digits(
            duration.substr(std::min(duration.find_first_not_of('0'), duration.size() - 1)));
        constexpr std::uint64_t kMostMs = (static_cast<std::uint64_t>(kMaxSeconds) + 1) * 1000 - 1;
        if (digits.size() > 13 || std::stoull(digits) > kMostMs) {
            badLength_.emplace(std::string(duration), durationLine_);
            XML_StopParser(parser_, XML_FALSE);
            return {};
        }
        const std::uint64_t ms = std::stoull(digits);
        std::string length = std::to_string(ms / 1000);
        if (const std::uint64_t rest = ms % 1000; rest != 0) {
            std::string fraction = std::to_string(1000 + rest).substr(1);
            while (fraction.back() == '0')
                fraction.pop_back();
            length.append(".").append(fraction);
        }
        return length;
    }

    // "creator - title" where both are given, as players show it; the title alone, the
    // creator alone, or the location's file name otherwise: the whole location where its
    // path ends in a slash, as a stream's address does.
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
        if (shown.empty())
            shown = location;
        const std::string length = Seconds(TrimBlanks(duration_));
        if (!badLength_)
            AppendEntry(m3u_, length, shown, location);
    }

    const std::function<void(std::string_view)>& out_;
    XML_Parser parser_;
    std::string m3u_;
    std::optional<Refusal> refusal_;
    std::string unknownEncoding_;
    std::optional<std::pair<std::string, std::size_t>> badLength_; // what, and on which line
    int depth_ = 0;
    bool sawPlaylist_ = false;
    bool notAPlaylist_ = false;
    bool crHeld_ = false;
    bool inTrackList_ = false;
    bool inTrack_ = false;
    Field field_ = None;
    bool seen_[FieldCount] = {};
    std::size_t durationLine_ = 0;
    std::string title_, creator_, duration_, location_;
};
#else
class XspfReader final : public PlaylistTranslator::Reader {
public:
    explicit XspfReader(const std::function<void(std::string_view)>&) {}
    void Feed(std::string_view) override {
        throw EPlaylistError("XSPF playlists are not read by this build", 1);
    }
    bool Finish() override { return false; }
};
#endif

} // namespace

PlaylistTranslator::PlaylistTranslator(std::function<void(std::string_view)> out, PlsKeys keys)
    : out_(std::move(out))
    , keys_(keys) {}

PlaylistTranslator::~PlaylistTranslator() = default;

void PlaylistTranslator::Feed(std::string_view piece) {
    if (passThrough_) {
        out_(piece);
        return;
    }
    if (reader_ == nullptr) {
        std::string held;
        const std::optional<PlaylistFormat> format = probe_.Feed(piece, held);
        if (!format)
            return;
        const std::string_view start = piece;
        if (*format == PlaylistFormat::M3u) {
            passThrough_ = true;
            out_(start);
            return;
        }
        if (*format == PlaylistFormat::Pls && keys_ == PlsKeys::Grouped)
            reader_ = std::make_unique<GroupedPlsReader>(out_);
        else if (*format == PlaylistFormat::Pls)
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
    if (const std::string rest = probe_.Rest(); !rest.empty())
        out_(rest); // too few bytes to tell: as they are
    return true;
}

struct PlsKeyCheck::State {
    FormatProbe probe;
    bool pls = false;
    bool known = false;
    bool grouped = true;
    PlsLines lines;
    PlsStart start;
    PlsOrder order;

    void Line(std::string_view line, std::size_t number) {
        if (PlsKey key; start.InList(line, number) && KeyOf(line, key) && !order.Next(key.number)) {
            grouped = false;
            known = true;
        }
    }
    void Lines(std::string_view piece) {
        lines.Feed(piece, [this](std::string_view line, std::size_t number) {
            if (!known)
                Line(line, number);
        });
    }
};

PlsKeyCheck::PlsKeyCheck()
    : state_(std::make_unique<State>()) {}

PlsKeyCheck::~PlsKeyCheck() = default;

bool PlsKeyCheck::Feed(std::string_view piece) {
    State& s = *state_;
    if (s.known)
        return false;
    if (!s.pls) {
        std::string held;
        const std::optional<PlaylistFormat> format = s.probe.Feed(piece, held);
        if (!format)
            return true;
        s.pls = *format == PlaylistFormat::Pls;
        s.known = !s.pls;
        if (s.pls)
            s.Lines(piece);
        return !s.known;
    }
    s.Lines(piece);
    return !s.known;
}

PlsKeys PlsKeyCheck::Keys() {
    State& s = *state_;
    if (s.pls && !s.known)
        s.lines.Finish([&s](std::string_view line, std::size_t number) { s.Line(line, number); });
    s.known = true;
    return s.pls && s.grouped ? PlsKeys::Grouped : PlsKeys::AnyOrder;
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
