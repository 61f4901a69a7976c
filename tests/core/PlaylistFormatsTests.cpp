#include "core/Errors.h"
#include "core/PlaylistFormats.h"

#include <gtest/gtest.h>
#include <string>

namespace skaldrun {
namespace {

// The M3U that bytes amount to, fed in pieces of `piece` bytes (0: whole).
std::string M3u(std::string_view bytes, std::size_t piece = 0, PlsKeys keys = PlsKeys::AnyOrder) {
    std::string m3u;
    PlaylistTranslator translator([&m3u](std::string_view part) { m3u.append(part); }, keys);
    for (std::size_t at = 0; at < bytes.size(); at += piece == 0 ? bytes.size() : piece)
        translator.Feed(bytes.substr(at, piece == 0 ? bytes.size() : piece));
    return translator.Finish() ? m3u : "(not a playlist)";
}

std::size_t RefusedAtLine(std::string_view bytes) {
    try {
        M3u(bytes);
    } catch (const EConvertError& e) {
        return e.Line();
    }
    return 0;
}

TEST(PlaylistFormats, TheFirstBytesTellTheFormat) {
    const struct {
        std::string_view start;
        std::optional<PlaylistFormat> format;
    } rows[] = {
        {"#EXTM3U\r\n", PlaylistFormat::M3u},
        {"\xEF\xBB\xBF[Playlist]\n", PlaylistFormat::Pls},
        {"  \r\n<?xml", PlaylistFormat::Xspf},
        {"[play", std::nullopt},
        {"\xEF\xBB", std::nullopt},
        {"[plays]", PlaylistFormat::M3u},
        {"", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FormatOf(row.start), row.format) << row.start;
}

// Keys in any order and case, NumberOfEntries ignored, entries by their numbers; a missing title
// is the file's name, a missing length unknown.
TEST(PlaylistFormats, PlsEntriesComeByTheirNumbers) {
    const std::string pls = "[playlist]\r\nnumberofentries=1000000000\r\nTitle2=Two\r\n"
                            "File2=/music/two.ogg\r\nlength2=241\r\nFile10=C:\\Music\\ten.mp3\r\n"
                            "File1=http://radio/live\r\nTitle1=Radio\r\nLength1=-1\r\n"
                            "Title7=no file, no entry\r\nVersion=2";
    const std::string expected = "#EXTM3U\r\n#EXTINF:-1,Radio\r\nhttp://radio/live\r\n"
                                 "#EXTINF:241,Two\r\n/music/two.ogg\r\n"
                                 "#EXTINF:-1,ten.mp3\r\nC:\\Music\\ten.mp3\r\n";
    for (const std::size_t piece : {0, 1, 7})
        EXPECT_EQ(M3u(pls, piece), expected) << piece;
}

PlsKeys KeysOf(std::string_view bytes, std::size_t piece) {
    PlsKeyCheck check;
    for (std::size_t at = 0; at < bytes.size() && check.Feed(bytes.substr(at, piece)); at += piece)
        ;
    return check.Keys();
}

// Keys grouped by entry in ascending numbers, however the lines break, are converted as they
// come, to the same list as when held whole; anything else is held.
TEST(PlaylistFormats, GroupedPlsKeysAreConvertedAsTheyCome) {
    const struct {
        std::string_view pls;
        PlsKeys keys;
    } rows[] = {
        {"[playlist]\r\nFile1=a.mp3\r\nTitle1=A\r\nlength1=5\r\nFILE3=c\\d.ogg\r\nLength3=-1\r\n"
         "NumberOfEntries=2\r\nVersion=2\r\n",
         PlsKeys::Grouped},
        {"[playlist]\nTitle2=B\rFile2=b\n\nFile9=c\nTitle9=\nFile10=d\0e", PlsKeys::Grouped},
        {"[playlist]\nFile1=a\nFile2=b\nTitle1=A\n", PlsKeys::AnyOrder},
        {"[playlist]\nFile2=b\nFile1=a\n", PlsKeys::AnyOrder},
        {"#EXTM3U\r\nFile2=b\r\nFile1=a\r\n", PlsKeys::AnyOrder},
        {"[play", PlsKeys::AnyOrder},
    };
    for (const auto& row : rows) {
        for (const std::size_t piece : {1, 5, 4096}) {
            EXPECT_EQ(KeysOf(row.pls, piece), row.keys) << row.pls << piece;
            if (row.keys == PlsKeys::Grouped) {
                EXPECT_EQ(M3u(row.pls, piece, PlsKeys::Grouped), M3u(row.pls)) << row.pls << piece;
            }
        }
    }
    // Bytes that changed after the check are refused where they stop being grouped.
    try {
        M3u("[playlist]\nFile2=b\nFile1=a\n", 0, PlsKeys::Grouped);
        ADD_FAILURE() << "not refused";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Line(), 3U);
    }
}

TEST(PlaylistFormats, XspfTracksAsPlayersShowThem) {
    const std::string xspf =
        "<?xml version=\"1.0\"?>\n<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">\n"
        "<title>Not a track</title><trackList>\n"
        "<track><location>file:///m/Opening%20Theme.flac</location><title>Opening</title>"
        "<creator>Orchestra &amp; Choir</creator><duration>212480</duration></track>\n"
        "<track><title>&#1055;&#x0435;sn\xD1\x8F\n&lt;live&gt;</title>"
        "<duration>3725000</duration></track>\n"
        "<track><location>http://r/%D0%96.mp3</location><location>second</location></track>\n"
        "</trackList></playlist>\n";
    const std::string expected = "#EXTM3U\r\n#EXTINF:212.48,Orchestra & Choir - Opening\r\n"
                                 "file:///m/Opening%20Theme.flac\r\n"
                                 "#EXTINF:3725,\xD0\x9F\xD0\xB5sn\xD1\x8F <live>\r\n"
                                 "#EXTINF:-1,\xD0\x96.mp3\r\nhttp://r/%D0%96.mp3\r\n";
#ifndef SKALDRUN_HAVE_EXPAT
    GTEST_SKIP() << "built without expat";
#endif
    for (const std::size_t piece : {0, 1, 13})
        EXPECT_EQ(M3u(xspf, piece), expected) << piece;
}

// Refusals name the line; XML that declares entities is refused before any can grow or be
// fetched, and an XML document of another kind is no playlist.
TEST(PlaylistFormats, BadInputIsRefusedWithItsLine) {
#ifndef SKALDRUN_HAVE_EXPAT
    GTEST_SKIP() << "built without expat";
#endif
    EXPECT_EQ(RefusedAtLine("[playlist]\nFile1=a\nLength1=soon\n"), 3U);
    EXPECT_EQ(RefusedAtLine("[playlist]\r\n\r\nLength1=1:00\r\n"), 3U);
    EXPECT_EQ(RefusedAtLine("<playlist xmlns=\"http://xspf.org/ns/0/\">\n<trackList>\n<track>"
                            "<duration>12s</duration></track></trackList></playlist>"),
              3U);
    EXPECT_EQ(RefusedAtLine("<playlist xmlns=\"http://xspf.org/ns/0/\">\n\n<trackList></track>"),
              3U);
    try {
        M3u("<playlist xmlns=\"http://xspf.org/ns/0/\">\n<a></b>");
        ADD_FAILURE() << "not refused";
    } catch (const EConvertError& e) { // worded as XML's, with the column
        EXPECT_EQ(e.Message(), "XML: mismatched tag, column 6");
    }
    std::string laughs =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE playlist [\n<!ENTITY a \"aaaaaaaa\">\n";
    for (char c = 'b'; c <= 'j'; ++c)
        laughs +=
            std::string("<!ENTITY ") + c + " \"&" + char(c - 1) + ";&" + char(c - 1) + ";\">\n";
    laughs += "]>\n<playlist xmlns=\"http://xspf.org/ns/0/\"><title>&j;</title></playlist>";
    EXPECT_EQ(RefusedAtLine(laughs), 3U);
    EXPECT_EQ(RefusedAtLine("<!DOCTYPE p [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
                            "<playlist xmlns=\"http://xspf.org/ns/0/\">&x;</playlist>"),
              1U);
    EXPECT_EQ(M3u("<html><body>no</body></html>"), "(not a playlist)");
    EXPECT_EQ(M3u("<playlist><trackList/></playlist>"), "(not a playlist)"); // no namespace
}

} // namespace
} // namespace skaldrun
