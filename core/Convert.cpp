#include "core/Convert.h"

#include "core/Errors.h"
#include "core/LineBreaks.h"
#include "core/LineOutput.h"
#include "core/platform/Memory.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

namespace skaldrun {

namespace {

constexpr std::string_view kHeader = "#EXTM3U";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// "#EXTM3U" alone, or followed by a blank and the playlist's attributes (an IPTV list's program
// guide, say).
bool IsHeader(std::string_view line) noexcept {
    if (line.starts_with(kUtf8Bom))
        line.remove_prefix(kUtf8Bom.size());
    if (!line.starts_with(kHeader))
        return false;
    return line.size() == kHeader.size() || line[kHeader.size()] == ' ' ||
           line[kHeader.size()] == '\t';
}

// Only these lines are tracks; every other directive and comment is passed over.
constexpr std::string_view kEntryTag = "#EXTINF:";

bool IsEntryLine(std::string_view line) noexcept {
    return line.size() >= kEntryTag.size() &&
           std::memcmp(line.data(), kEntryTag.data(), kEntryTag.size()) == 0;
}

bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// Empty, or spaces and tabs only: no path.
bool IsBlank(std::string_view line) noexcept {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// The duration is the first run of decimal digits before the comma: anything before it is
// passed over and anything after it (attributes such as tvg-id="12") is not part of it. A "-"
// before any digit marks an unknown length, as players write "-1". Attribute values are quoted
// and may hold commas, so the comma that ends the field is the first outside quotes, and what
// stands inside them is no part of the duration.
struct Entry {
    bool isEntry = false; // false: no comma, so nothing to show
    bool unknown = false;
    bool valid = false;
    std::int64_t seconds = 0;
    std::int64_t micros = 0;  // the fraction after the whole seconds, to the microsecond
    std::string_view digits;  // for the error message
    std::string_view written; // the length as written, fraction included
    std::string_view field;   // everything between the tag and the comma
    std::string_view title;
};

// The comma that ends the duration field, and whether quotes were seen before it. Where no
// comma stands outside quotes (one left open), the first comma of all, quotes being plain text.
std::size_t FieldEnd(std::string_view line, bool& quoted) noexcept {
    // From quote to quote with memchr, as IPTV lines carry long quoted attributes.
    quoted = false;
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* p = begin + std::min(kEntryTag.size(), line.size());
    while (p != end) {
        const auto* comma =
            static_cast<const char*>(std::memchr(p, ',', static_cast<std::size_t>(end - p)));
        const char* stop = comma != nullptr ? comma : end;
        const auto* open =
            static_cast<const char*>(std::memchr(p, '"', static_cast<std::size_t>(stop - p)));
        if (open == nullptr) {
            if (comma != nullptr)
                return static_cast<std::size_t>(comma - begin);
            break;
        }
        quoted = true;
        const auto* close = static_cast<const char*>(
            std::memchr(open + 1, '"', static_cast<std::size_t>(end - open - 1)));
        if (close == nullptr)
            break; // a quote left open
        p = close + 1;
    }
    quoted = false;
    return line.find(',', kEntryTag.size());
}

Entry ScanEntry(std::string_view line) noexcept {
    Entry e;
    // Nearly every entry a player writes is "#EXTINF:<digits>,<title>".
    {
        std::size_t i = kEntryTag.size();
        std::int64_t seconds = 0;
        while (i < line.size() && i < kEntryTag.size() + 10 && IsDigit(line[i]))
            seconds = seconds * 10 + (line[i++] - '0');
        if (i > kEntryTag.size() && i < line.size() && line[i] == ',' && seconds <= kMaxSeconds) {
            e.isEntry = true;
            e.valid = true;
            e.seconds = seconds;
            e.written = e.field = line.substr(kEntryTag.size(), i - kEntryTag.size());
            e.title = line.substr(i + 1);
            return e;
        }
    }
    bool quoted = false;
    const std::size_t end = FieldEnd(line, quoted);
    if (end == std::string_view::npos)
        return e;
    std::size_t first = end;
    std::size_t last = end;
    bool inside = false;
    for (std::size_t i = kEntryTag.size(); i < end; ++i) {
        const char c = line[i];
        if (quoted && c == '"') {
            inside = !inside;
        } else if (inside) {
            continue;
        } else if (IsDigit(c)) {
            if (first == end)
                first = i;
            if (e.seconds <= kMaxSeconds)
                e.seconds = e.seconds * 10 + (c - '0');
            continue;
        } else if (c == '-' && first == end) {
            e.unknown = true;
            break;
        }
        if (first != end) { // the run of digits has ended
            last = i;
            break;
        }
    }
    e.isEntry = true;
    e.valid = first != end && e.seconds <= kMaxSeconds;
    e.digits = line.substr(first, last - first);
    std::size_t writtenEnd = last;
    if (e.valid && last + 1 < end && line[last] == '.' && IsDigit(line[last + 1])) {
        std::int64_t scale = 100000;
        for (writtenEnd = last + 1; writtenEnd < end && IsDigit(line[writtenEnd]); ++writtenEnd) {
            e.micros += (line[writtenEnd] - '0') * scale;
            scale /= 10;
        }
    }
    if (!e.unknown)
        e.written = line.substr(first, writtenEnd - first);
    e.field = line.substr(kEntryTag.size(), end - kEntryTag.size());
    e.title = line.substr(end + 1);
    return e;
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

} // namespace

bool SecondsInRange(std::string_view digits) noexcept {
    std::int64_t seconds = 0;
    for (const char c : digits) {
        seconds = seconds * 10 + (c - '0');
        if (seconds > kMaxSeconds)
            return false;
    }
    return true;
}

void ExactTime::Add(std::uint64_t moreSeconds, std::uint32_t moreMicros) noexcept {
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
    micros += moreMicros;
    if (micros >= 1'000'000) {
        micros -= 1'000'000;
        ++moreSeconds; // at most 2^31: no wrap
    }
    if (seconds > kMost - moreSeconds) {
        seconds = kMost;
        micros = 0;
        return;
    }
    seconds += moreSeconds;
}

std::uint64_t ExactTime::Rounded() const noexcept {
    const bool up = micros >= 500'000 && seconds != std::numeric_limits<std::uint64_t>::max();
    return seconds + (up ? 1 : 0);
}

void ListTotals::Add(const PlaylistEntry& entry) noexcept {
    ++count_;
    if (entry.hasLength)
        sum_.Add(static_cast<std::uint64_t>(entry.seconds),
                 static_cast<std::uint32_t>(entry.micros % 1'000'000));
    else
        ++unknown_;
}

std::string HoursMinutesSeconds(std::uint64_t seconds) {
    const std::uint64_t minutes = seconds / 60 % 60;
    const std::uint64_t rest = seconds % 60;
    std::string text = std::to_string(seconds / 3600);
    text += minutes < 10 ? ":0" : ":";
    text += std::to_string(minutes);
    text += rest < 10 ? ":0" : ":";
    text += std::to_string(rest);
    return text;
}

std::string ListTotals::Line() const {
    std::string line = std::to_string(count_) + (count_ == 1 ? " track, " : " tracks, ");
    line += HoursMinutesSeconds(Seconds());
    if (unknown_ > 0)
        line += ", " + std::to_string(unknown_) + " without a length";
    return line;
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
    const auto minutes = static_cast<std::uint64_t>(seconds / 60);
    const auto s = static_cast<unsigned>(seconds % 60);
    if (minutes < 10) {
        *out++ = static_cast<char>('0' + minutes);
    } else if (minutes < 100) {
        *out++ = static_cast<char>('0' + minutes / 10);
        *out++ = static_cast<char>('0' + minutes % 10);
    } else {
        out = WriteNumber(out, minutes);
    }
    *out++ = ':';
    *out++ = static_cast<char>('0' + s / 10);
    *out++ = static_cast<char>('0' + s % 10);
    return out;
}

std::size_t ListLineLength(std::string_view number, std::string_view title) noexcept {
    return number.size() + 1 + title.size() + 4 + 24;
}

char* WriteListLine(const ConvertOptions& options, const PlaylistEntry& entry, char* out) noexcept {
    if (options.CounterShow) {
        std::memcpy(out, entry.number.data(), entry.number.size());
        out += entry.number.size();
        *out++ = '.';
    }
    if (!entry.title.empty())
        std::memcpy(out, entry.title.data(), entry.title.size());
    out += entry.title.size();
    if (options.TimeShow && entry.hasLength) {
        std::memcpy(out, "  <", 3);
        out = WriteDuration(out + 3, entry.seconds);
        *out++ = '>';
    }
    return out;
}

namespace {

// The entry number kept as text and counted up in place, so no number is ever divided.
class Counter {
public:
    std::string_view Text() const noexcept { return {digits_ + kSize - length_, length_}; }
    void Next() noexcept {
        for (std::size_t i = kSize; i-- > kSize - length_;) {
            if (digits_[i] != '9') {
                ++digits_[i];
                return;
            }
            digits_[i] = '0';
        }
        ++length_;
        digits_[kSize - length_] = '1';
    }

private:
    static constexpr std::size_t kSize = 24;
    char digits_[kSize] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '1'};
    std::size_t length_ = 1;
};

// Writes output lines straight into the converted list, which ends with a line break or is
// empty, growing it in large steps, so a million entries cost no per-line allocation.
class ListWriter {
public:
    ListWriter(CrLfText& list, std::vector<std::size_t>* lineStarts)
        : list_(list)
        , used_(list.size())
        , lineStarts_(list.empty() ? lineStarts : nullptr) {
        if (lineStarts_ != nullptr)
            lineStarts_->assign(1, 0);
        else if (lineStarts != nullptr)
            lineStarts->clear(); // no index of a text written before: the document makes one
    }
    ListWriter(const ListWriter&) = delete;
    ListWriter& operator=(const ListWriter&) = delete;
    ~ListWriter() { list_.resize(used_); } // drops the unwritten room, also on an error

    char* Begin(std::size_t maxLength) {
        const std::size_t needed = maxLength + kLineBreak.size();
        if (list_.size() - used_ < needed) {
            const std::size_t grown = used_ + std::max<std::size_t>(needed, kStep);
            if (grown <= list_.capacity())
                platform::MapForWriting(list_.data() + list_.size(), grown - list_.size());
            list_.resize(grown);
        }
        return list_.data() + used_;
    }

    void End(char* end) {
        end = WriteLineBreak(end);
        used_ = static_cast<std::size_t>(end - list_.data());
        if (lineStarts_ != nullptr)
            lineStarts_->push_back(used_);
    }

private:
    static constexpr std::size_t kStep = 256 * 1024;
    CrLfText& list_;
    std::size_t used_;
    std::vector<std::size_t>* lineStarts_;
};

// Turns one entry line into its output line; other lines are passed over.
template <typename Writer>
class EntryConverter {
public:
    EntryConverter(const ConvertOptions& options, Writer& writer, ListTotals* totals = nullptr)
        : options_(options)
        , writer_(writer)
        , totals_(totals) {}

    // number: the line's place in the playlist, counted from 1.
    void Line(std::string_view line, std::size_t number) {
        if (!IsEntryLine(line))
            return;
        const Entry entry = ScanEntry(line);
        if (!entry.isEntry)
            return;
        if (!entry.unknown && !entry.valid)
            throw EConvertError(entry.digits, number);

        const std::string_view title =
            options_.DeleteDigits ? StripTrackNumber(entry.title) : entry.title;
        const std::string_view counter = counter_.Text();
        char* out = writer_.Begin(ListLineLength(counter, title));
        PlaylistEntry shown;
        shown.number = counter;
        shown.title = title;
        shown.hasLength = !entry.unknown;
        shown.seconds = entry.seconds;
        writer_.End(WriteListLine(options_, shown, out));
        counter_.Next();
        if (totals_ != nullptr) {
            shown.micros = entry.unknown ? 0 : entry.seconds * 1'000'000 + entry.micros;
            totals_->Add(shown);
        }
    }

private:
    const ConvertOptions& options_;
    Writer& writer_;
    ListTotals* totals_;
    Counter counter_;
};

} // namespace

bool ConvertPlaylist(const TextLines& lines, const ConvertOptions& options, CrLfText& converted,
                     std::vector<std::size_t>* lineStarts, ListTotals* totals) {
    auto it = lines.begin();
    if (it == lines.end() || !IsHeader(*it))
        return false;

    // Output lines are seldom longer than their entry lines: one reservation of the input's
    // size spares the copies of growing, and room never written is given back at the end.
    converted.reserve(converted.size() + lines.Text().size());
    if (lineStarts != nullptr) // an entry takes two lines of some 20 bytes at the least
        lineStarts->reserve(lines.Text().size() / 40 + 1);
    ListWriter writer(converted, lineStarts);
    EntryConverter convert(options, writer, totals);
    std::size_t number = 1;
    for (++it; it != lines.end(); ++it)
        convert.Line(*it, ++number);
    return true;
}

struct StreamedConversion::State {
    State(const ConvertOptions& options, TextSink& sink)
        : writer(sink)
        , convert(options, writer) {}
    void Line(std::string_view line) {
        if (++number == 1)
            isPlaylist = IsHeader(line);
        else if (isPlaylist)
            convert.Line(line, number);
    }

    LineOutput writer;
    EntryConverter<LineOutput> convert;
    PieceLines lines;
    std::size_t number = 0;
    bool isPlaylist = false;
};

StreamedConversion::StreamedConversion(const ConvertOptions& options, TextSink& sink)
    : state_(std::make_unique<State>(options, sink)) {}

StreamedConversion::~StreamedConversion() = default;

void StreamedConversion::Feed(std::string_view piece) {
    State& s = *state_;
    if (s.number > 0 && !s.isPlaylist)
        return;
    try {
        s.lines.Feed(piece, [&s](std::string_view line) { s.Line(line); });
    } catch (...) {
        s.writer.Flush(); // the lines before the error, as the view keeps them
        throw;
    }
}

bool StreamedConversion::Finish() {
    State& s = *state_;
    try {
        s.lines.Finish([&s](std::string_view line) { s.Line(line); });
    } catch (...) {
        s.writer.Flush();
        throw;
    }
    s.writer.Flush();
    return s.isPlaylist;
}

// An entry waits for its media line: the first line after it that is neither blank nor a
// directive or comment, unless another #EXTINF: line comes first. One that waits when its piece
// ends keeps its own copy of what it shows.
struct StreamedEntries::State {
    State(bool deleteDigits, EntrySink& sink)
        : deleteDigits(deleteDigits)
        , sink(sink) {}
    void Emit() {
        if (!waiting)
            return;
        pending.number = counter.Text();
        sink.Entry(pending);
        counter.Next();
        waiting = false;
    }
    void Line(std::string_view line) {
        if (++number == 1) {
            isPlaylist = IsHeader(line);
            return;
        }
        if (!isPlaylist)
            return;
        if (IsEntryLine(line)) {
            Emit();
            const Entry entry = ScanEntry(line);
            if (!entry.isEntry)
                return;
            if (!entry.unknown && !entry.valid)
                throw EConvertError(entry.digits, number);
            pending = PlaylistEntry();
            pending.title = deleteDigits ? StripTrackNumber(entry.title) : entry.title;
            pending.hasLength = !entry.unknown;
            pending.seconds = entry.seconds;
            pending.micros = entry.unknown ? 0 : entry.seconds * 1'000'000 + entry.micros;
            pending.start = elapsed;
            pending.length = entry.written;
            pending.field = entry.field;
            if (!entry.unknown)
                elapsed.Add(static_cast<std::uint64_t>(entry.seconds),
                            static_cast<std::uint32_t>(entry.micros));
            waiting = true;
            // A line carried over from an earlier piece lives in a buffer the next cut line
            // reuses.
            if (!InPiece(line))
                Keep();
        } else if (waiting && !IsBlank(line) && line[0] != '#') {
            pending.media = line;
            Emit();
        }
    }
    bool InPiece(std::string_view line) const noexcept {
        const std::less_equal<const char*> notAfter;
        return notAfter(piece.data(), line.data()) &&
               notAfter(line.data() + line.size(), piece.data() + piece.size());
    }
    // What the waiting entry points into is about to go.
    void Keep() {
        if (!waiting)
            return;
        const std::size_t lengthAt =
            pending.length.empty()
                ? 0
                : static_cast<std::size_t>(pending.length.data() - pending.field.data());
        field = std::string(pending.field);
        title = std::string(pending.title);
        pending.length = std::string_view(field).substr(lengthAt, pending.length.size());
        pending.field = field;
        pending.title = title;
    }

    const bool deleteDigits;
    EntrySink& sink;
    PieceLines lines;
    Counter counter;
    PlaylistEntry pending;
    std::string field;
    std::string title;
    std::string_view piece; // the one being fed
    bool waiting = false;
    ExactTime elapsed; // the sum of the lengths so far
    std::size_t number = 0;
    bool isPlaylist = false;
};

StreamedEntries::StreamedEntries(bool deleteDigits, EntrySink& sink)
    : state_(std::make_unique<State>(deleteDigits, sink)) {}

StreamedEntries::~StreamedEntries() = default;

void StreamedEntries::Feed(std::string_view piece) {
    State& s = *state_;
    if (s.number > 0 && !s.isPlaylist)
        return;
    struct Fed { // also when a line throws
        std::string_view& piece;
        ~Fed() { piece = {}; }
    } fed{s.piece = piece};
    s.lines.Feed(piece, [&s](std::string_view line) { s.Line(line); });
    s.Keep();
}

bool StreamedEntries::Finish() {
    State& s = *state_;
    s.lines.Finish([&s](std::string_view line) { s.Line(line); });
    s.Emit();
    return s.isPlaylist;
}

} // namespace skaldrun
