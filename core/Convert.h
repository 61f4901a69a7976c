#pragma once

#include "core/ConvertOptions.h"
#include "core/LineBreaks.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace skaldrun {

// The longest length the conversion takes, in whole seconds.
inline constexpr std::int64_t kMaxSeconds = 2147483647;

// What the user is told when the first line is not a playlist's header.
inline constexpr std::string_view kNotAPlaylistMessage = "Ошибка: Этот файл не Winamp плейлист";

// Turns the entry lines of an extended M3U playlist into track-list lines appended to converted,
// which is empty or ends with a line break, as the controller leaves it.
// Returns false, appending nothing, when line 0 is not the playlist header. A duration that is
// not a number throws EConvertError (with its line); the lines made before it stay in converted.
// lineStarts, when given with converted empty, receives where each of its lines starts (a
// TextDocument's line index), so that nobody scans the list again for its breaks; totals, when
// given, counts the entries and sums their lengths.
class ListTotals;
bool ConvertPlaylist(const TextLines& lines, const ConvertOptions& options, CrLfText& converted,
                     std::vector<std::size_t>* lineStarts = nullptr, ListTotals* totals = nullptr);

// Where a streamed conversion goes: the list in pieces, in order.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void Write(std::string_view piece) = 0;
};

// A sum of lengths, exact to the microsecond. It stops at 2^64 - 1 seconds instead of wrapping;
// the longest lengths reach that only after 2^33 entries.
struct ExactTime {
    std::uint64_t seconds = 0;
    std::uint32_t micros = 0; // below a second
    void Add(std::uint64_t moreSeconds, std::uint32_t moreMicros) noexcept;
    // Whole seconds, half a second rounded up.
    std::uint64_t Rounded() const noexcept;
};

// One entry as the conversion reads it, for the command's other shapes of the list.
struct PlaylistEntry {
    std::string_view number; // counted as the list counts them
    std::string_view title;  // its leading track number stripped where asked
    bool hasLength = false;  // false for a stream ("-1")
    std::int64_t seconds = 0;
    std::int64_t micros = 0; // the length as written, fraction included, in microseconds
    ExactTime start;         // the sum of the lengths before it
    std::string_view length; // the length as written ("3.904"); empty when unknown
    std::string_view field;  // the #EXTINF: line's duration field, attributes included
    std::string_view media;  // the first following line that is a path or an address, if any
};

// The count of entries and their summed length, exact until written.
class ListTotals {
public:
    void Add(const PlaylistEntry& entry) noexcept;
    std::uint64_t Count() const noexcept { return count_; }
    // Whole seconds, rounded once.
    std::uint64_t Seconds() const noexcept { return sum_.Rounded(); }
    // Entries without a length (streams).
    std::uint64_t Unknown() const noexcept { return unknown_; }
    // "12 tracks, 0:47:13", with ", 2 without a length" where some have none.
    std::string Line() const;

private:
    std::uint64_t count_ = 0;
    ExactTime sum_;
    std::uint64_t unknown_ = 0;
};

// Whether the whole seconds of a length, written in decimal digits, stay within what an entry may
// last (2^31 - 1 seconds); a longer one is refused as no number.
bool SecondsInRange(std::string_view digits) noexcept;

// A length of whole seconds as h:mm:ss, as totals write it.
std::string HoursMinutesSeconds(std::uint64_t seconds);

class EntrySink {
public:
    virtual ~EntrySink() = default;
    virtual void Entry(const PlaylistEntry& entry) = 0;
};

// The same conversion of bytes that arrive in pieces, as the command reads a file, a pipe or a
// FIFO, in one pass: lines end at CR LF, LF or a lone CR and the text at its first NUL, as if it
// had been normalised first. The list reaches sink through a fixed-size buffer; memory holds
// one piece and the line it cuts, whatever the size of the playlist. Feed
// throws EConvertError at a bad duration once the lines before it have reached the sink;
// Finish returns false when the bytes are not a playlist.
class StreamedConversion {
public:
    StreamedConversion(const ConvertOptions& options, TextSink& sink);
    ~StreamedConversion();
    StreamedConversion(const StreamedConversion&) = delete;
    StreamedConversion& operator=(const StreamedConversion&) = delete;
    void Feed(std::string_view piece);
    bool Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The entries of bytes that arrive in pieces, read with the same rules; each entry reaches
// sink once its media line is known.
class StreamedEntries {
public:
    StreamedEntries(bool deleteDigits, EntrySink& sink);
    ~StreamedEntries();
    StreamedEntries(const StreamedEntries&) = delete;
    StreamedEntries& operator=(const StreamedEntries&) = delete;
    void Feed(std::string_view piece);
    bool Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The list's own line for an entry, "n.title  <m:ss>" as the options ask, without its break,
// into out, which has room for ListLineLength bytes; returns the end. The entry's media is not
// used.
char* WriteListLine(const ConvertOptions& options, const PlaylistEntry& entry, char* out) noexcept;
std::size_t ListLineLength(std::string_view number, std::string_view title) noexcept;

// The length as the list writes it, m:ss, into out, which has room for 24 bytes; returns the end.
char* WriteDuration(char* out, std::int64_t seconds) noexcept;
// A number in decimal into out, which has room for 20 bytes; returns the end.
char* WriteNumber(char* out, std::uint64_t value) noexcept;

} // namespace skaldrun
