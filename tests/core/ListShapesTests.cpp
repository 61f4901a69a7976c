#include "core/Errors.h"
#include "core/ListExport.h"
#include "core/ListShapes.h"
#include "support/WholeBytes.h"

#include <gtest/gtest.h>
#include <string>

namespace skaldrun {
namespace {

using test::ConvertPlaylistBytes;
using test::ConvertToShape;

// Keeps what reaches it, and how many pieces it came in.
struct Collected final : TextSink {
    std::string text;
    int pieces = 0;
    void Write(std::string_view piece) override {
        text.append(piece);
        ++pieces;
    }
};

std::string Shaped(std::string_view bytes, const LineShape& line, std::string_view header = {},
                   bool totals = false, bool deleteDigits = true) {
    Collected out;
    ShapedList list(line, header, totals, out);
    ConvertToShape(bytes, deleteDigits, list);
    return out.text;
}

// The window's shape made from the entries is the conversion's, byte for byte, long lines and
// every option included.
TEST(ListShapes, DefaultShapeIsTheConversionsOwn) {
    const std::string longTitle(70'000, 't');
    const std::string playlists[] = {
        "#EXTM3U\r\n#EXTINF:185,01-Intro\r\na.mp3\r\n#EXTINF:-1,Radio\r\n#EXTINF:605,x\r\n",
        "#EXTM3U\n#EXTINF:3600,A long one\n#EXTINF:5,\n",
        "#EXTM3U\r\n#EXTINF:1," + longTitle + "\r\n#EXTINF:2,after\r\n",
    };
    for (const std::string& bytes : playlists) {
        for (const ConvertOptions options :
             {ConvertOptions{}, ConvertOptions{.CounterShow = false, .TimeShow = false},
              ConvertOptions{.DeleteDigits = false}}) {
            Collected direct;
            ASSERT_TRUE(ConvertPlaylistBytes(bytes, options, direct));
            EXPECT_EQ(Shaped(bytes, DefaultLine(options), {}, false, options.DeleteDigits),
                      direct.text);
        }
    }
}

TEST(ListShapes, TemplatesCsvAndTotals) {
    const std::string bytes = "#EXTM3U\r\n#EXTINF:605,01-Intro, live\r\nC:\\a \"b\".mp3\r\n"
                              "#EXTINF:-1,Radio\r\nhttp://r\r\n";
    EXPECT_EQ(Shaped(bytes, ListTemplate("%n|%t|%d|%s|%p|%%")),
              "1|Intro, live|10:05|605|C:\\a \"b\".mp3|%\r\n2|Radio|||http://r|%\r\n");
    EXPECT_EQ(Shaped(bytes, CsvRow(), CsvRow::kColumns),
              "number,title,seconds,path\r\n1,\"Intro, live\",605,\"C:\\a \"\"b\"\".mp3\"\r\n"
              "2,Radio,,http://r\r\n");
    EXPECT_EQ(Shaped(bytes, ListTemplate("%t"), {}, true),
              "Intro, live\r\nRadio\r\n2 tracks, 0:10:05, 1 without a length\r\n");
    EXPECT_EQ(Shaped("#EXTM3U\r\n", CsvRow(), CsvRow::kColumns, true),
              "number,title,seconds,path\r\n0 tracks, 0:00:00\r\n");
    EXPECT_EQ(Shaped("not a playlist", CsvRow(), CsvRow::kColumns), "");
}

// Chapter lines, exact sums of fractional lengths, lengths as written and attributes by name.
TEST(ListShapes, StartsSumsAndAttributes) {
    const struct {
        const char* name;
        std::string bytes;
        std::string shape; // a template, or "csv:" and the columns
        bool totals;
        std::string list;
    } cases[] = {
        {"chapters", "#EXTM3U\r\n#EXTINF:185,A\r\n#EXTINF:3725,B\r\n#EXTINF:60,C\r\n", "%c %t",
         false, "0:00 A\r\n3:05 B\r\n1:05:10 C\r\n"},
        {"a stream adds nothing", "#EXTM3U\r\n#EXTINF:-1,Radio\r\n#EXTINF:5,B\r\n#EXTINF:5,C\r\n",
         "%c|%S|%s", false, "0:00||\r\n0:00|5|5\r\n0:05|5|5\r\n"},
        {"fractions summed, then rounded once",
         "#EXTM3U\r\n#EXTINF:3.904,a\r\n#EXTINF:3.904,b\r\n#EXTINF:3.904,c\r\n", "%c %S %s", true,
         "0:00 3.904 3\r\n0:04 3.904 3\r\n0:08 3.904 3\r\n3 tracks, 0:00:12\r\n"},
        {"attributes, quoted or not, any case",
         "#EXTM3U\r\n#EXTINF:-1 tvg-id=\"ch.1\" Group-Title=\"News, 24h\" tvg-logo=x.png,One\r\n"
         "#EXTINF:-1,Two\r\n",
         "%{tvg-id}|%{group-title}|%{tvg-logo}|%{catchup}", false,
         "ch.1|News, 24h|x.png|\r\n|||\r\n"},
        {"attribute columns", "#EXTM3U\r\n#EXTINF:-1 group-title=\"News, 24h\",One\r\nhttp://a\r\n",
         "csv:title,group-title,path,start", false,
         "title,group-title,path,start\r\nOne,\"News, 24h\",http://a,0:00\r\n"},
        {"a path is no blank line, and is the malformed line's after it",
         "#EXTM3U\r\n#EXTINF:1,a\r\n#EXTINF:5\r\nb.mp3\r\n#EXTINF:2,c\r\n  \r\nc.mp3\r\n", "%t|%p",
         false, "a|\r\nc|c.mp3\r\n"},
        {"a quote alone is quoted too", "#EXTM3U\r\n#EXTINF:1,say \"hi\"\r\n", "csv:title", false,
         "title\r\n\"say \"\"hi\"\"\"\r\n"},
        {"the largest length, with attributes", "#EXTM3U\r\n#EXTINF:2147483647 tvg-id=\"1\",x\r\n",
         "%s %d", false, "2147483647 35791394:07\r\n"},
        {"fractions are not rounded one by one",
         "#EXTM3U\r\n#EXTINF:1.4,a\r\n#EXTINF:1.4,b\r\n#EXTINF:1.4,c\r\n", "%t", true,
         "a\r\nb\r\nc\r\n3 tracks, 0:00:04\r\n"},
        {"an hour on the dot, and one track", "#EXTM3U\r\n#EXTINF:3600,a\r\n", "%c", true,
         "0:00\r\n1 track, 1:00:00\r\n"},
        {"an hour on the dot as a start", "#EXTM3U\r\n#EXTINF:3599.5,a\r\n#EXTINF:1,b\r\n", "%c",
         false, "0:00\r\n1:00:00\r\n"},
        {"a name is not the tail of another", "#EXTM3U\r\n#EXTINF:-1 tvg-id=\"9\",a\r\n", "[%{id}]",
         false, "[]\r\n"},
        {"a column's name is quoted as a field is", "#EXTM3U\r\n#EXTINF:1,a\r\n",
         "csv:a\"b,x\ny,title", false, "\"a\"\"b\",\"x\ny\",title\r\n,,a\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.shape.starts_with("csv:")) {
            const CsvRow row(c.shape.substr(4));
            EXPECT_EQ(Shaped(c.bytes, row, row.Header(), c.totals), c.list);
        } else {
            EXPECT_EQ(Shaped(c.bytes, ListTemplate(c.shape), {}, c.totals), c.list);
        }
    }
}

// Sums past 2^63 microseconds neither wrap nor lose a second.
TEST(ListShapes, SumsOfTheLongestLengths) {
    std::string bytes = "#EXTM3U\n";
    for (int i = 0; i < 5000; ++i)
        bytes += "#EXTINF:2147483647,t\n";
    const std::string list = Shaped(bytes, ListTemplate("%c"), {}, true);
    EXPECT_TRUE(list.ends_with("\r\n2982019653:09:13\r\n5000 tracks, 2982616176:23:20\r\n"))
        << list.substr(list.size() - 60);
}

// Whatever the pieces the bytes come in, every shape is that of the whole bytes: a line cut by
// a piece lives in a buffer that later cut lines reuse.
TEST(ListShapes, PiecesOfAnySize) {
    const std::string bytes =
        "#EXTM3U\n#EXTINF:3.904 tvg-id=\"a\",T\n#EXT-X-KEY:METHOD=AES-128,URI=\"http://k\"\n"
        "a.mp3\r\n#EXTINF:2.5 group-title=\"x, y\",01 Second title of some length\r\n" +
        std::string(300, '#') + "\rhttp://b\n#EXTINF:-1,R\n";
    const ListTemplate everyField("%n|%t|%d|%s|%S|%c|%p|%{tvg-id}|%{group-title}");
    const CsvRow columns("number,title,seconds,length,start,path,group-title");
    const struct {
        const LineShape& line;
        std::string_view header;
    } shapes[] = {{everyField, {}}, {columns, columns.Header()}};
    for (const auto& shape : shapes) {
        const std::string whole = Shaped(bytes, shape.line, shape.header, true);
        for (std::size_t size = 1; size < 40; ++size) {
            for (std::size_t first = 1; first <= size; first += 3) {
                Collected out;
                ShapedList list(shape.line, shape.header, true, out);
                StreamedEntries entries(true, list);
                for (std::size_t at = 0, cut = first; at < bytes.size(); at += cut, cut = size)
                    entries.Feed(std::string_view(bytes).substr(at, cut));
                ASSERT_TRUE(entries.Finish());
                list.Finish();
                ASSERT_EQ(out.text, whole) << "pieces of " << size << " after " << first;
            }
        }
    }
}

// A bad duration stops the list after the lines before it, which still go out.
TEST(ListShapes, ErrorsKeepTheLinesBeforeThem) {
    Collected out;
    const ListTemplate line("%t");
    ShapedList list(line, CsvRow::kColumns, true, out);
    EXPECT_THROW(ConvertToShape("#EXTM3U\r\n#EXTINF:1,a\r\n#EXTINF:,b\r\n", true, list),
                 EConvertError);
    EXPECT_EQ(out.text, "number,title,seconds,path\r\na\r\n");
}

// Lines gather in a buffer: a list far longer than it goes out in a few large pieces.
TEST(ListShapes, OutputGoesOutInLargePieces) {
    std::string bytes = "#EXTM3U\r\n";
    for (int i = 0; i < 10'000; ++i)
        bytes += "#EXTINF:1,entry\r\n";
    Collected out;
    const ListTemplate line("%n %t");
    ShapedList list(line, {}, false, out);
    ASSERT_TRUE(ConvertToShape(bytes, true, list));
    EXPECT_EQ(out.text.substr(0, 18), "1 entry\r\n2 entry\r\n");
    EXPECT_LE(out.pieces, 4);
}

// Exports as the window makes them: fractions that sum to whole seconds carry, and every text is
// escaped so that a parser or a browser reads it.
TEST(ListExport, SumsAndEscapes) {
    const std::string halves =
        "#EXTM3U\n#EXTINF:2.5,a\n#EXTINF:2.5,b\n#EXTINF:2.5,c\n#EXTINF:1,d\n";
    const struct {
        const char* name;
        std::string bytes;
        ListFormat format;
        std::string part; // found in what is exported
    } cases[] = {
        {"halves carried in JSON", halves, ListFormat::Json,
         "\"start\": 2.5, \"path\": null},\r\n  {\"number\": 3, \"title\": \"c\", \"length\": 2.5, "
         "\"start\": 5, \"path\": null},\r\n  {\"number\": 4, \"title\": \"d\", \"length\": 1, "
         "\"start\": 7.5, \"path\": null}\r\n]\r\n"},
        {"halves carried in chapters", halves, ListFormat::Chapters,
         "0:00 a\r\n0:03 b\r\n0:05 c\r\n0:08 d\r\n"},
        {"a control byte in JSON", "#EXTM3U\n#EXTINF:1,a\x1F\x01 b\n", ListFormat::Json,
         "\"title\": \"a\\u001f\\u0001 b\""},
        {"a lone continuation byte in HTML", "#EXTM3U\n#EXTINF:1,x\x80y\xC3\n", ListFormat::Html,
         "<td>x\xEF\xBF\xBDy\xEF\xBF\xBD</td>"},
        {"a dot name titles the page", "#EXTM3U\n", ListFormat::Html, "<title>.playlist</title>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Collected out;
        ASSERT_TRUE(ExportList(c.bytes, CodePage::Utf8, c.format, {},
                               PlaylistTitle("/music/.playlist"), out));
        EXPECT_NE(out.text.find(c.part), std::string::npos) << out.text;
    }
}

// A page's title is the file's name without its folder and extension; a dot name is all name.
TEST(ListExport, PlaylistTitles) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"/music/rock.m3u", "rock"}, {"C:\\Music\\a.b.m3u8", "a.b"},    {"list", "list"},
        {".playlist", ".playlist"},  {"/music/.playlist", ".playlist"},
    };
    for (const auto& [path, title] : cases)
        EXPECT_EQ(PlaylistTitle(path), title) << path;
}

} // namespace
} // namespace skaldrun
