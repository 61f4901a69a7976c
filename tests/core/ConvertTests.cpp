#include "core/Convert.h"
#include "core/Errors.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace skaldrun {
namespace {

std::string Lines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (const auto line : lines)
        AppendLine(text, line);
    return text;
}

// The converted text, or nothing when the input is not a playlist.
std::optional<std::string> Convert(const std::string& source, const ConvertOptions& options = {}) {
    std::string converted;
    if (!ConvertPlaylist(SplitLines(source), options, converted))
        return std::nullopt;
    return converted;
}

std::string ConvertOne(std::string_view entry, const ConvertOptions& options = {}) {
    const auto out = Convert(Lines({"#EXTM3U", entry}), options);
    EXPECT_TRUE(out.has_value());
    std::string line = out.value_or("");
    if (line.ends_with("\r\n"))
        line.resize(line.size() - 2);
    return line;
}

TEST(ConvertPlaylist, HeaderRules) {
    const struct {
        std::string source;
        bool isPlaylist;
    } cases[] = {
        {"", false},
        {"\r\n", false},
        {"#EXTM3U", true},
        {"#EXTM3U\r\n", true},
        {"#extm3u\r\n", false},
        {"#EXTM3U \r\n", true},
        {"#EXTM3U\tx\r\n", true},
        {"#EXTM3U x-tvg-url=\"http://epg.example/guide.xml.gz\"\r\n", true}, // IPTV
        {"\xEF\xBB\xBF#EXTM3U url-tvg=\"http://epg.example/a.xml\"\r\n", true},
        {"#EXTM3Ux\r\n", false},
        {" #EXTM3U\r\n", false},
        {"#EXTM3U8\r\n", false},
        {"\xEF\xBB\xBF#EXTM3U\r\n", true},                // UTF-8 mark written by players
        {"\xEF\xBB#EXTM3U\r\n", false},                   // a broken mark is not one
        {std::string("\xFF\xFE#\0E\0X\0T\0", 10), false}, // UTF-16 text
        {"\r\n#EXTM3U\r\n", false},
        {"D:\\Music\\one.mp3\r\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Convert(c.source).has_value(), c.isPlaylist) << c.source;
}

TEST(ConvertPlaylist, NotAPlaylistAppendsNothing) {
    std::string converted;
    EXPECT_FALSE(ConvertPlaylist(SplitLines(Lines({"x", "#EXTINF:1,a"})), {}, converted));
    EXPECT_EQ(converted, "");
}

TEST(ConvertPlaylist, WorkedExampleUnderEachOption) {
    const std::string source = Lines({"#EXTM3U", "#EXTINF:185,01-Intro", "C:\\Music\\01-Intro.mp3",
                                      "", "#EXTINF:3725,Artist - Long One", "D:\\Music\\Long.mp3"});
    const struct {
        ConvertOptions options;
        std::string out;
    } cases[] = {
        {{}, "1.Intro  <3:05>\r\n2.Artist - Long One  <62:05>\r\n"},
        {{.TimeShow = false}, "1.Intro\r\n2.Artist - Long One\r\n"},
        {{.CounterShow = false}, "Intro  <3:05>\r\nArtist - Long One  <62:05>\r\n"},
        {{.DeleteDigits = false}, "1.01-Intro  <3:05>\r\n2.Artist - Long One  <62:05>\r\n"},
        {{.CounterShow = false, .TimeShow = false, .DeleteDigits = false},
         "01-Intro\r\nArtist - Long One\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Convert(source, c.options), c.out);
}

TEST(ConvertPlaylist, TrackNumberStripping) {
    const struct {
        std::string_view title;
        std::string_view stripped;
    } cases[] = {
        {"01-Song", "Song"},
        {"a1-Song", "Song"},
        {"b2_Song", "Song"},
        {"d4-Song", "Song"},
        {"01. Song", "Song"},
        {"001-Song", "Song"},
        {"101 Song", "Song"},
        {"c12_Song", "Song"},
        {"01 - Song", " Song"},
        {"01 Song", "01 Song"},
        {"21-Song", "21-Song"},
        {"A1-Song", "A1-Song"},
        {"01-", "01-"},
        {"and then", "and then"},
        {"abc_def", "abc_def"},
        {"a - b", "a - b"},
        {"", ""},
        {"1", "1"},
        {"e1-Song", "e1-Song"},
        {"0x1-Song", "0x1-Song"},
        {"0123", "0123"},
    };
    for (const auto& c : cases) {
        const std::string entry = "#EXTINF:1," + std::string(c.title);
        EXPECT_EQ(ConvertOne(entry, {.CounterShow = false, .TimeShow = false}), c.stripped)
            << c.title;
        EXPECT_EQ(
            ConvertOne(entry, {.CounterShow = false, .TimeShow = false, .DeleteDigits = false}),
            c.title);
    }
}

TEST(ConvertPlaylist, Durations) {
    const struct {
        std::string_view entry;
        std::string_view line;
    } cases[] = {
        {"#EXTINF:185,A", "1.A  <3:05>"},
        {"#EXTINF:0,Silence", "1.Silence  <0:00>"},
        {"#EXTINF:9,A", "1.A  <0:09>"},
        {"#EXTINF:60,A", "1.A  <1:00>"},
        {"#EXTINF:605,A", "1.A  <10:05>"},
        {"#EXTINF:659,A", "1.A  <10:59>"},
        {"#EXTINF:3725,A", "1.A  <62:05>"},
        {"#EXTINF:0000185,A", "1.A  <3:05>"},
        {"#EXTINF:2147483647,A", "1.A  <35791394:07>"},
        {"#EXTINF:2147483647 tvg-id=\"1\",A", "1.A  <35791394:07>"},
        {"#EXTINF:12.5,Song", "1.Song  <0:12>"},
        {"#EXTINF:10.010,Song", "1.Song  <0:10>"},
        {"#EXTINF:-1,Stream", "1.Stream"},
        {"#EXTINF:-0,Stream", "1.Stream"},
        {"#EXTINF:-1 tvg-id=\"ch1\" tvg-logo=\"http://x/123.png\",News", "1.News"},
        {"#EXTINF:1 2,A", "1.A  <0:01>"},
        {"#EXTINF:1x2147483648,A", "1.A  <0:01>"},
        // Attributes between the duration and the comma, as IPTV lists write them.
        {"#EXTINF:0 type=\"stream\" channelId=\"289\", MTV Hits", "1. MTV Hits  <0:00>"},
        {"#EXTINF:185 tvg-id=\"x1\" tvg-logo=\"http://l/12.png\",Song", "1.Song  <3:05>"},
        {"#EXTINF:185 tvg-logo=\"http://l/12345678.png\",Song", "1.Song  <3:05>"},
        {"#EXTINF:300027 group-title=\"Rock\",x", "1.x  <5000:27>"},
        {"#EXTINF: 185,x", "1.x  <3:05>"},
        {"#EXTINF:.5,B", "1.B  <0:05>"},
        {"#EXTINF:30-live,C", "1.C  <0:30>"},
        {"#EXTINF:10,Song, Part 2", "1.Song, Part 2  <0:10>"},
        {"#EXTINF:10,", "1.  <0:10>"},
        {"#EXTINF:5999,A", "1.A  <99:59>"},
        {"#EXTINF:6000,A", "1.A  <100:00>"},
        {"#EXTINF:6059,A", "1.A  <100:59>"},
        // Quoted attribute values: their commas and digits are no part of the duration.
        {"#EXTINF:-1 tvg-name=\"The Good, the Bad\",The Good, the Bad", "1.The Good, the Bad"},
        {"#EXTINF:185 tvg-logo=\"http://x/12.png\",01-Song", "1.Song  <3:05>"},
        {"#EXTINF:logo=\"7,8\" 185,Song", "1.Song  <3:05>"},
        {"#EXTINF:185\"x,y\"9,Song", "1.Song  <3:05>"},
        {"#EXTINF:\"5,x", "1.x  <0:05>"}, // a quote left open: the first comma, as before
        {"#EXTINF:1 a=\"b\" c=\"d,e\",T, \"q\"", "1.T, \"q\"  <0:01>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConvertOne(c.entry), c.line) << c.entry;
    }
}

TEST(ConvertPlaylist, DurationErrors) {
    const struct {
        std::string_view entry;
        std::string_view message;
    } cases[] = {
        {"#EXTINF:,Title", "'' is not a valid integer value"},
        {"#EXTINF:id=\"12\",A", "'' is not a valid integer value"},
        {"#EXTINF:x\"1\"2147483648,A", "'2147483648' is not a valid integer value"},
        {"#EXTINF:99999999999,Long", "'99999999999' is not a valid integer value"},
        {"#EXTINF:2147483648,A", "'2147483648' is not a valid integer value"},
        {"#EXTINF:2147483648.5,A", "'2147483648' is not a valid integer value"},
        {"#EXTINF:abc,x", "'' is not a valid integer value"},
        {"#EXTINF:21474836470,A", "'21474836470' is not a valid integer value"},
        {"#EXTINF:x2147483648 id=\"7\",A", "'2147483648' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        for (const bool timeShow : {true, false}) {
            std::string converted;
            try {
                ConvertPlaylist(SplitLines(Lines({"#EXTM3U", c.entry})), {.TimeShow = timeShow},
                                converted);
                ADD_FAILURE() << c.entry << " converted to " << converted;
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message(), c.message);
            }
        }
    }
}

TEST(ConvertPlaylist, ErrorKeepsTheLinesMadeBeforeIt) {
    std::string converted;
    std::vector<std::size_t> lineStarts;
    EXPECT_THROW(ConvertPlaylist(SplitLines(Lines({"#EXTM3U", "#EXTINF:1,a", "a.mp3", "#EXTINF:,b",
                                                   "#EXTINF:3,c"})),
                                 {}, converted, &lineStarts),
                 EConvertError);
    EXPECT_EQ(converted, "1.a  <0:01>\r\n");
    // the index given to the list's document ends where its text does
    EXPECT_EQ(lineStarts, (std::vector<std::size_t>{0, converted.size()}));
}

TEST(ConvertPlaylist, EntryLinesAndNumbering) {
    const std::string source =
        Lines({"#EXTM3U", "", "#EXTINF:1,a", "path", "#EXTGRP:Rock", "#EXTVLCOPT:start-time=12", "",
               "#EXTINF:2,b", "x", "y", "#EXTINF:3,c", "#"});
    EXPECT_EQ(Convert(source, {.TimeShow = false}), "1.a\r\n2.b\r\n3.c\r\n");
    EXPECT_EQ(Convert("#EXTM3U"), "");
    EXPECT_EQ(Convert(Lines({"#EXTM3U", "path only"})), "");
}

// Only #EXTINF: lines with a comma are tracks; nothing else takes a number.
TEST(ConvertPlaylist, LinesThatAreNotEntries) {
    const std::string_view lines[] = {
        "# Rock, 1990s",
        "#EXTVLCOPT:http-user-agent=Mozilla/5.0 (KHTML, like Gecko) Chrome/76",
        "#EXT-X-STREAM-INF:BANDWIDTH=1280000,AVERAGE-BANDWIDTH=1000000",
        "#EXT-X-KEY:METHOD=AES-128,URI=\"k\"",
        "#EXTGRP:Rock, Pop",
        "#x1,A",
        "#,A",
        "#EXTINF,5,x",
        "#extinf:5,x",
        "#EXTINF:185 no comma",
        "#EXTINF:",
        "C:\\Music\\Artist, The - 01.mp3",
        "http://stream.example/live?a=1,2",
    };
    for (const auto line : lines) {
        EXPECT_EQ(Convert(Lines({"#EXTM3U", "#EXTINF:1,a", line, "#EXTINF:2,b"})),
                  "1.a  <0:01>\r\n2.b  <0:02>\r\n")
            << line;
    }
}

TEST(ConvertPlaylist, TitlesAreBytes) {
    // A windows-1251 title and a UTF-8 one pass unchanged; stripping counts bytes.
    EXPECT_EQ(ConvertOne("#EXTINF:245,\xCA\xE8\xED\xEE - 01"), "1.\xCA\xE8\xED\xEE - 01  <4:05>");
    EXPECT_EQ(ConvertOne("#EXTINF:1,01-\xD0\x90"), "1.\xD0\x90  <0:01>");
}

} // namespace
} // namespace skaldrun
