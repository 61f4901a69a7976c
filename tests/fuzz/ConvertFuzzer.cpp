// Feeds arbitrary bytes through line-break normalisation, line cutting and the conversion under
// every combination of the three conversion options, and through every shape of the command in
// random pieces, checking what must hold for any input.

#include "core/Convert.h"
#include "core/Errors.h"
#include "core/LineBreaks.h"
#include "core/ListShapes.h"
#include "core/TextDocument.h"
#include "core/Utf8.h"
#include "support/WholeBytes.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace skaldrun;
using test::ConvertPlaylistBytes;
using test::ConvertToShape;
using test::ReadPlaylistEntries;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Every line of a text, in order.
std::vector<std::string_view> AllLines(std::string_view text) {
    const TextLines lines = SplitLines(text);
    return {lines.begin(), lines.end()};
}

bool HasOnlyCrLfBreaks(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return true;
}

bool IsEntry(std::string_view line) {
    return line.starts_with("#EXTINF:") && line.find(',') != std::string_view::npos;
}

std::size_t EntryLines(const std::vector<std::string_view>& lines) {
    std::size_t entries = 0;
    for (std::size_t i = 1; i < lines.size(); ++i)
        entries += IsEntry(lines[i]) ? 1 : 0;
    return entries;
}

// The part of an entry line that holds the duration, with what stands inside quotes left out:
// up to the first comma outside quotes, or where there is none, up to the first comma.
std::string DurationField(std::string_view line) {
    std::string visible;
    bool inside = false;
    for (const char c : line) {
        if (c == ',' && !inside)
            return visible;
        if (c == '"')
            inside = !inside;
        if (c == '"' || !inside)
            visible.push_back(c);
    }
    return std::string(line.substr(0, line.find(',')));
}

// What the duration rule gives for an entry line, worked out another way: the first run of
// digits in its field, unless a "-" comes before it. Empty: the line has no duration shown;
// nullopt: the conversion must fail on it.
std::optional<std::string> ShownDuration(std::string_view line) {
    const std::string fieldText = DurationField(line);
    const std::string_view field = fieldText;
    const std::size_t first = field.find_first_of("0123456789");
    const std::size_t minus = field.find('-');
    if (minus != std::string_view::npos && (first == std::string_view::npos || minus < first))
        return std::string();
    if (first == std::string_view::npos)
        return std::nullopt;
    const std::string_view digits =
        field.substr(first, field.find_first_not_of("0123456789", first) - first);
    const std::size_t significant = digits.find_first_not_of('0');
    if (significant != std::string_view::npos && digits.size() - significant > 10)
        return std::nullopt;
    const long long seconds =
        significant == std::string_view::npos ? 0 : std::stoll(std::string(digits));
    if (seconds > 2147483647LL)
        return std::nullopt;
    char text[32];
    std::snprintf(text, sizeof text, "  <%lld:%02lld>", seconds / 60, seconds % 60);
    return std::string(text);
}

} // namespace

struct Collect final : TextSink {
    std::string text;
    void Write(std::string_view piece) override { text.append(piece); }
};

// The command's other shapes, made from the entries: the window's shape and a template of it.
struct Shapes final : EntrySink {
    explicit Shapes(const ConvertOptions& o)
        : options(o) {}
    void Entry(const PlaylistEntry& entry) override {
        DefaultLine(options).Append(entry, lines);
        lines.append("\r\n");
        shaped.Append(entry, templated);
        templated.append("\r\n");
        fields.Append(entry, rest);
        rest.append("\r\n");
        everyLength = everyLength && entry.hasLength;
    }
    const ConvertOptions& options;
    const ListTemplate shaped{"%n.%t  <%d>"};
    const ListTemplate fields{"%p|%S|%s|%c|%{a}|%{tvg-id}"};
    std::string lines;
    std::string templated;
    std::string rest; // the fields that read beyond the entry's own line
    bool everyLength = true;
};

// The list in a shape and how it ended: the line of a bad duration, or whether it was a playlist.
struct ShapeRun {
    std::string text;
    std::size_t errorLine = 0;
    bool playlist = false;
    bool operator==(const ShapeRun&) const = default;
};

// Every shape the command makes, from the whole bytes and from the same bytes cut at random
// places (the cuts drawn from the bytes themselves, so a finding replays), one byte upwards and
// longer than any line.
void CheckShapesInRandomPieces(std::string_view bytes) {
    const ListTemplate everyField("%n|%t|%d|%s|%S|%c|%p|%{a}|%{tvg-id}|%%");
    const CsvRow plainCsv;
    const CsvRow everyColumn("number,title,seconds,length,start,path,tvg-id,a\"b");
    const ConvertOptions options;
    const DefaultLine window(options);
    const JsonObject json;
    const HtmlRow html;
    const PageWords words{"en",     "#",     "Title",
                          "Length", "Start", [](const ListTotals& sum) { return sum.Line(); }};
    const struct {
        const LineShape& line;
        ListFrame frame;
    } shapes[] = {
        {everyField, LineFrame({}, true)},
        {everyField, LineFrame({}, false)},
        {window, LineFrame({}, true)},
        {plainCsv, LineFrame(plainCsv.Header(), false)},
        {everyColumn, LineFrame(everyColumn.Header(), false)},
        {json, JsonFrame()},
        {html, PageFrame("<a & b>", words)},
    };
    std::uint64_t random = 0x9E3779B97F4A7C15ULL ^ bytes.size();
    for (const char c : bytes)
        random = (random ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
    const auto next = [&random] {
        random ^= random << 13;
        random ^= random >> 7;
        random ^= random << 17;
        return random;
    };
    for (const auto& shape : shapes) {
        ShapeRun whole;
        {
            Collect out;
            ShapedList list(shape.line, shape.frame, out);
            try {
                whole.playlist = ConvertToShape(bytes, true, list);
            } catch (const EConvertError& e) {
                whole.errorLine = e.Line();
            }
            whole.text = std::move(out.text);
        }
        if (&shape.line == &json)
            Check(IsValidUtf8(whole.text), "JSON is UTF-8 whatever bytes the titles hold");
        for (int split = 0; split < 3; ++split) {
            const std::size_t longest = 1 + next() % (split == 0 ? 8 : bytes.size() + 1);
            ShapeRun pieced;
            Collect out;
            ShapedList list(shape.line, shape.frame, out);
            StreamedEntries entries(true, list);
            try {
                for (std::size_t at = 0; at < bytes.size();) {
                    const std::size_t cut = 1 + next() % longest;
                    entries.Feed(bytes.substr(at, cut));
                    at += cut;
                }
                pieced.playlist = entries.Finish();
                if (pieced.playlist)
                    list.Finish();
            } catch (const EConvertError& e) {
                pieced.errorLine = e.Line();
                list.Flush();
            }
            pieced.text = std::move(out.text);
            Check(pieced == whole, "every shape in random pieces is that of the whole bytes");
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string text(bytes);
    NormalizeLineBreaks(text);
    Check(NormalizedLength(bytes) == text.size(), "the normalised length is foretold");
    Check(text.find('\0') == std::string::npos, "no NUL after normalisation");
    Check(HasOnlyCrLfBreaks(text), "every break is CR LF");
    std::string again = text;
    NormalizeLineBreaks(again);
    Check(again == text, "normalisation is idempotent");
    // Read a step at a time, pieces of one to seven bytes make the same text.
    std::string fromPieces;
    LineBreakNormalizer normalize(fromPieces);
    for (std::size_t at = 0, cut = 1; at < bytes.size(); at += cut, cut = cut % 7 + 1)
        normalize.Append(bytes.substr(at, cut));
    normalize.Finish();
    Check(fromPieces == text, "pieces normalise as the whole does");

    const std::vector<std::string_view> lines = AllLines(text);
    std::string rebuilt;
    for (const auto line : lines)
        AppendLine(rebuilt, line);
    Check(AllLines(rebuilt) == lines, "appended lines split back");
    Check(rebuilt == text || rebuilt == text + "\r\n", "appending rebuilds the text");

    for (int mask = 0; mask < 8; ++mask) {
        const ConvertOptions options{(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0};
        std::string converted;
        bool complete = false;
        bool playlist = true;
        std::size_t errorLine = 0;
        std::vector<std::size_t> lineStarts;
        try {
            const bool isPlaylist =
                ConvertPlaylist(SplitLines(text), options, converted, &lineStarts);
            Check(isPlaylist || converted.empty(), "a rejected text gives no output");
            complete = isPlaylist;
            playlist = isPlaylist;
        } catch (const EConvertError& e) {
            // a duration that is not a number ends the conversion; the lines before it stay
            errorLine = e.Line();
            Check(errorLine >= 2, "a bad duration names its line");
        }
        if (playlist) {
            const TextDocument document(converted);
            std::vector<std::size_t> own;
            for (std::size_t line = 0; line < document.LineCount(); ++line)
                own.push_back(document.LineStart(line));
            Check(lineStarts == own, "the list's lines are indexed as the document finds them");
        }
        // The one-pass conversion of the bytes as read gives the same, byte for byte.
        Collect streamed;
        std::size_t streamedErrorLine = 0;
        bool streamedPlaylist = true;
        try {
            streamedPlaylist = ConvertPlaylistBytes(bytes, options, streamed);
        } catch (const EConvertError& e) {
            streamedErrorLine = e.Line();
        }
        Check(streamed.text == converted, "the bytes convert as the normalised text does");
        // Read as entries, the window's shape is the same, and so is its template where every
        // entry has a length.
        Shapes shapes(options);
        std::size_t entriesErrorLine = 0;
        bool entriesPlaylist = true;
        try {
            entriesPlaylist = ReadPlaylistEntries(bytes, options.DeleteDigits, shapes);
        } catch (const EConvertError& e) {
            entriesErrorLine = e.Line();
        }
        Check(shapes.lines == converted && entriesPlaylist == playlist &&
                  entriesErrorLine == errorLine,
              "the entries give the window's shape");
        // Read in pieces of any size, as the command reads, both give the same again.
        Collect pieced;
        Shapes piecedShapes(options);
        std::size_t piecedErrorLine = 0;
        std::size_t piecedEntriesErrorLine = 0;
        bool piecedPlaylist = true;
        bool piecedEntries = true;
        StreamedConversion conversion(options, pieced);
        StreamedEntries entries(options.DeleteDigits, piecedShapes);
        const auto inPieces = [&](auto&& feed) {
            for (std::size_t at = 0, step = 1 + mask; at < bytes.size();
                 at += step, step = step % 7 + 1)
                feed(bytes.substr(at, step));
        };
        try {
            inPieces([&](std::string_view piece) { conversion.Feed(piece); });
            piecedPlaylist = conversion.Finish();
        } catch (const EConvertError& e) {
            piecedErrorLine = e.Line();
        }
        try {
            inPieces([&](std::string_view piece) { entries.Feed(piece); });
            piecedEntries = entries.Finish();
        } catch (const EConvertError& e) {
            piecedEntriesErrorLine = e.Line();
        }
        Check(pieced.text == converted && piecedPlaylist == streamedPlaylist &&
                  piecedErrorLine == errorLine,
              "the bytes in pieces convert as the whole bytes do");
        Check(piecedShapes.lines == shapes.lines && piecedShapes.templated == shapes.templated &&
                  piecedShapes.rest == shapes.rest && piecedEntries == entriesPlaylist &&
                  piecedEntriesErrorLine == errorLine,
              "the entries in pieces are those of the whole bytes");
        if (options.CounterShow && options.TimeShow && shapes.everyLength)
            Check(shapes.templated == converted, "the template gives the window's shape");
        Check(streamedPlaylist == playlist && streamedErrorLine == errorLine,
              "the bytes end as the normalised text does");
        Check(converted.empty() || converted.ends_with("\r\n"), "output ends with CR LF");
        const auto out = AllLines(converted);
        for (const auto line : out) {
            Check(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos,
                  "no CR, LF or NUL in an output line");
        }
        if (complete)
            Check(out.size() == EntryLines(lines), "one output line per entry line");
        if (playlist && options.TimeShow) {
            // Every entry converted so far ends with the duration the rule gives.
            std::size_t made = 0;
            for (std::size_t i = 1; i < lines.size() && made <= out.size(); ++i) {
                const std::string_view line = lines[i];
                if (!IsEntry(line))
                    continue;
                const std::optional<std::string> shown = ShownDuration(line);
                if (made == out.size()) {
                    Check(complete || !shown, "the conversion stops at a bad duration");
                    break;
                }
                Check(shown && out[made].ends_with(*shown), "the duration follows the rule");
                ++made;
            }
        }
    }
    CheckShapesInRandomPieces(bytes);
    return 0;
}
