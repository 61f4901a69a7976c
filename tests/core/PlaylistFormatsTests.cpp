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

// The line a refusal names, with the bytes fed in two pieces cut at `cut` (0: whole).
std::size_t RefusedAtLine(std::string_view bytes, std::size_t cut = 0,
                          PlsKeys keys = PlsKeys::AnyOrder) {
    try {
        PlaylistTranslator translator([](std::string_view) {}, keys);
        translator.Feed(bytes.substr(0, cut));
        translator.Feed(bytes.substr(cut));
        translator.Finish();
    } catch (const EConvertError& e) {
        return e.Line();
    }
    return 0;
}

// "[playlist]" may follow other lines within the first 4 KiB; a probe fed a byte at a time tells
// what the whole tells, and one fed the whole at once holds nothing.
TEST(PlaylistFormats, TheFirstBytesTellTheFormat) {
    const std::string notes = "audio/x-scpls\n" + std::string(4096 - 14 - 11, ';') + '\n';
    const struct {
        std::string start;
        std::optional<PlaylistFormat> format;
    } rows[] = {
        {"#EXTM3U\r\n", PlaylistFormat::M3u},
        {"\xEF\xBB\xBF[Playlist]\n", PlaylistFormat::Pls},
        {"  \r\n<?xml", PlaylistFormat::Xspf},
        {"[play", std::nullopt},
        {"\xEF\xBB", std::nullopt},
        {"[plays]", std::nullopt},
        {"[plays]\n" + std::string(4096, ';'), PlaylistFormat::M3u},
        {"", std::nullopt},
        {"\xFF\xFE<", std::nullopt},
        {std::string("\xFF\xFE\n\0<\0", 6), PlaylistFormat::Xspf},
        {std::string("\xFE\xFF\0<", 4), PlaylistFormat::Xspf},
        {std::string("\xFF\xFE#\0", 4), PlaylistFormat::M3u},
        {std::string("\0<\0?", 4), PlaylistFormat::Xspf},
        {std::string("\0<\0", 3), std::nullopt},
        {"audio/x-scpls\r\n[playlist]\r\n", PlaylistFormat::Pls},
        {"; x\r\r\n \t[PLAYLIST] \n", PlaylistFormat::Pls},
        {"#EXTM3U\n[playlist]\n", PlaylistFormat::M3u},
        {"#EXT", std::nullopt},
        {"audio/x-scpls\n[play", std::nullopt},
        {notes + "[playlist]", PlaylistFormat::Pls},
        {notes + " [playlist]", PlaylistFormat::M3u},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FormatOf(row.start), row.format) << row.start;
        FormatProbe probe;
        std::optional<PlaylistFormat> told;
        for (std::size_t at = 0; at < row.start.size() && !told; ++at) {
            std::string_view piece = std::string_view(row.start).substr(at, 1);
            std::string held;
            told = probe.Feed(piece, held);
        }
        EXPECT_EQ(told, row.format) << row.start;
        std::string_view whole = row.start;
        std::string held;
        if (FormatProbe().Feed(whole, held)) {
            EXPECT_EQ(whole.data(), row.start.data()) << row.start;
        }
    }
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
        {"[playlist]\nFile2=b\nFile1=a", PlsKeys::AnyOrder},
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

// Only FileN starts an entry, and an empty one is kept alike whether the keys are held or
// converted as they come.
TEST(PlaylistFormats, PlsKeysThatMakeEntries) {
    const struct {
        std::string_view pls;
        std::string_view m3u;
    } rows[] = {
        {"[playlist]\nFile=x\nFile1=a", "#EXTINF:-1,a\r\na\r\n"},
        {"[playlist]\nFile1=\nTitle1=T\nFile2=b", "#EXTINF:-1,T\r\n#EXTINF:-1,b\r\nb\r\n"},
        {"[playlist]\nFile1= \nFile2=b\nFile3=",
         "#EXTINF:-1,\r\n#EXTINF:-1,b\r\nb\r\n#EXTINF:-1,\r\n"},
        {"[playlist]\nTitle1=T\nFile 1=a\nFile1a=b", ""},
        {"File9=c\nFile8=d\n [playlist]\nFile1=a", "#EXTINF:-1,a\r\na\r\n"},
        {"[playlist]\nFile1=#EXTINF:9,x\nTitle1=T", "#EXTINF:-1,T\r\n"},
        {"[playlist]\nFile1=http://s:80/\nTitle1=\nFile2=/m/b.ogg\nTitle2= ",
         "#EXTINF:-1,http://s:80/\r\nhttp://s:80/\r\n#EXTINF:-1,b.ogg\r\n/m/b.ogg\r\n"},
        {"[playlist]\nFile1=a\nLength1=2147483647.5\nFile2=b\nLength2=-99999999999",
         "#EXTINF:2147483647.5,a\r\na\r\n#EXTINF:-99999999999,b\r\nb\r\n"},
    };
    for (const auto& row : rows) {
        const std::string expected = "#EXTM3U\r\n" + std::string(row.m3u);
        EXPECT_EQ(M3u(row.pls), expected) << row.pls;
        for (const std::size_t piece : {1, 5, 4096}) {
            EXPECT_EQ(KeysOf(row.pls, piece), PlsKeys::Grouped) << row.pls << piece;
            EXPECT_EQ(M3u(row.pls, piece, PlsKeys::Grouped), expected) << row.pls << piece;
        }
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

// Milliseconds keep their leading zeros, an escape that ends a location is still read, and a
// track is an entry only inside the track list.
TEST(PlaylistFormats, XspfTrackFields) {
#ifndef SKALDRUN_HAVE_EXPAT
    GTEST_SKIP() << "built without expat";
#endif
    const struct {
        std::string_view inside;
        std::string_view m3u;
    } rows[] = {
        {"<trackList><track><title>t</title><duration>3050</duration></track></trackList>",
         "#EXTINF:3.05,t\r\n"},
        {"<trackList><track><title>t</title><duration>7</duration></track></trackList>",
         "#EXTINF:0.007,t\r\n"},
        {"<trackList><track><location>http://r/a%41</location></track></trackList>",
         "#EXTINF:-1,aA\r\nhttp://r/a%41\r\n"},
        {"<trackList><track><location>a%4</location></track></trackList>",
         "#EXTINF:-1,a%4\r\na%4\r\n"},
        {"<track><title>t</title></track><trackList/><x><track><title>u</title></track></x>", ""},
        {"<trackList/><x><track><title>t</title></track></x>", ""},
        {"<trackList><track><title>A</title><title>B</title><duration>1000</duration>"
         "<duration>2</duration><location>x/one</location><location>two</location></track>"
         "</trackList>",
         "#EXTINF:1,A\r\nx/one\r\n"},
        {"<trackList><track><title>t</title><duration>-1</duration></track><track><title>u"
         "</title><duration>1.5</duration></track><track><title>v</title><duration>soon"
         "</duration></track><track><title>w</title><duration> </duration></track></trackList>",
         "#EXTINF:-1,t\r\n#EXTINF:-1,u\r\n#EXTINF:-1,v\r\n#EXTINF:-1,w\r\n"},
        {"<trackList><track><title>t</title><duration>2147483647999</duration></track><track>"
         "<title>u</title><duration>000000000000000000001000</duration></track></trackList>",
         "#EXTINF:2147483647.999,t\r\n#EXTINF:1,u\r\n"},
        {"<trackList><track><location>http://s.example.org:8000/</location></track></trackList>",
         "#EXTINF:-1,http://s.example.org:8000/\r\nhttp://s.example.org:8000/\r\n"},
        {"<trackList xmlns=\"\"><track><x:title xmlns:x=\"urn:x\">no</x:title><title>t</title>"
         "</track></trackList>",
         "#EXTINF:-1,t\r\n"},
    };
    // Players read a playlist without XSPF's namespace the same.
    for (const auto& row : rows) {
        for (const std::string_view playlist :
             {"<playlist xmlns=\"http://xspf.org/ns/0/\">", "<playlist>"}) {
            const std::string xspf =
                std::string(playlist) + std::string(row.inside) + "</playlist>";
            for (const std::size_t piece : {0, 1})
                EXPECT_EQ(M3u(xspf, piece), "#EXTM3U\r\n" + std::string(row.m3u)) << xspf;
        }
    }
}

// A document in a single-byte code page the program knows, or in UTF-16, is read in any pieces,
// a byte the page leaves undefined as U+FFFD; tests/data/formats has one of each kind.
TEST(PlaylistFormats, XspfInTheEncodingItDeclares) {
#ifndef SKALDRUN_HAVE_EXPAT
    GTEST_SKIP() << "built without expat";
#endif
    const auto declared = [](std::string_view encoding, std::string_view title) {
        return "<?xml version=\"1.0\" encoding=\"" + std::string(encoding) +
               "\"?>\r\n<playlist><trackList><track><title>" + std::string(title) +
               "</title></track></trackList></playlist>";
    };
    const auto utf16 = [&](std::string_view mark, bool big) {
        std::string units(mark);
        for (const char c : declared("UTF-16", "A\x01")) // \x01: U+0416 in place of the byte
            units += big ? std::string{c == 1 ? '\x04' : '\0', c == 1 ? '\x16' : c}
                         : std::string{c == 1 ? '\x16' : c, c == 1 ? '\x04' : '\0'};
        return units;
    };
    const struct {
        std::string bytes;
        std::string_view title;
    } rows[] = {
        {declared("CP1251", "\xC6"), "\xD0\x96"},
        {declared("IBM866", "\x86"), "\xD0\x96"},
        {declared("ISO-8859-5", "\xB6\xF0"), "\xD0\x96\xE2\x84\x96"},
        {declared("windows-1252", "\x80\x81"), "\xE2\x82\xAC\xEF\xBF\xBD"},
        {utf16("\xFF\xFE", false), "A\xD0\x96"},
        {utf16("", true), "A\xD0\x96"},
    };
    for (const auto& row : rows) {
        for (const std::size_t piece : {0, 1, 3})
            EXPECT_EQ(M3u(row.bytes, piece),
                      "#EXTM3U\r\n#EXTINF:-1," + std::string(row.title) + "\r\n")
                << row.bytes << ' ' << piece;
    }
}

// XML's own reasons, and the reader's, with the line and column they stand at; the reason is kept
// apart for the command to word.
TEST(PlaylistFormats, XmlRefusalsSayWhyAndWhere) {
#ifndef SKALDRUN_HAVE_EXPAT
    GTEST_SKIP() << "built without expat";
#endif
    const struct {
        std::string_view bytes;
        std::size_t line;
        std::string_view message;
        std::string_view reason;
        std::string_view name;
    } rows[] = {
        {"<?xml version=\"1.0\" encoding=\"x-mac-foo\"?>\n<playlist/>", 1,
         "XML: unknown encoding 'x-mac-foo', column 31", "unknown encoding '%1'", "x-mac-foo"},
        {"<!DOCTYPE playlist SYSTEM \"p.dtd\">\n<playlist><trackList><track>\n<title>A&a;B"
         "</title></track></trackList></playlist>",
         3, "XML: undefined entity, column 9", "undefined entity", ""},
        {"<playlist>\n<a></b>", 2, "XML: mismatched tag, column 6", "mismatched tag", ""},
    };
    for (const auto& row : rows) {
        try {
            M3u(row.bytes);
            ADD_FAILURE() << "not refused: " << row.bytes;
        } catch (const EXmlError& e) {
            EXPECT_EQ(e.Line(), row.line) << row.bytes;
            EXPECT_EQ(e.Message(), row.message);
            EXPECT_EQ(e.Reason(), row.reason);
            EXPECT_EQ(e.Name(), row.name);
        }
    }
}

// A refusal names the same line wherever the pieces the bytes come in are cut, a CR LF cut in
// two included.
TEST(PlaylistFormats, RefusalLinesDoNotDependOnPieces) {
    const struct {
        std::string_view bytes;
        std::size_t line;
        PlsKeys keys;
    } rows[] = {
        {"[playlist]\r\nFile1=a\r\n\r\nLength1=soon\r\n", 4, PlsKeys::AnyOrder},
        {"[playlist]\r\nFile1=a\r\n\r\nLength1=soon\r\n", 4, PlsKeys::Grouped},
        {"[playlist]\r\r\nFile2=b\r\n\rFile1=a", 5, PlsKeys::Grouped},
        {"audio/x-scpls\r\r\n[playlist]\rFile1=a\nLength1=2147483648\r\n", 5, PlsKeys::AnyOrder},
        {"audio/x-scpls\r\r\n[playlist]\rFile1=a\nLength1=2147483648\r\n", 5, PlsKeys::Grouped},
#ifdef SKALDRUN_HAVE_EXPAT
        {"<playlist xmlns=\"http://xspf.org/ns/0/\"/>\r\n<b/>", 2, PlsKeys::AnyOrder},
        {"<?xml version=\"1.0\"?>\r\n\r<!DOCTYPE p [\r\n<!ENTITY x \"y\">]>\r\n<p/>", 4,
         PlsKeys::AnyOrder},
        {"<playlist xmlns=\"http://xspf.org/ns/0/\">\r\n<trackList>\r\n<track><duration>\r\n"
         "2147483648000\r\n</duration>\r\n</track></trackList></playlist>",
         4, PlsKeys::AnyOrder},
        {"<playlist xmlns=\"http://xspf.org/ns/0/\">\r\n<title>\r\n</title>\r\r\n<a></b>", 5,
         PlsKeys::AnyOrder},
#endif
    };
    for (const auto& row : rows) {
        for (std::size_t cut = 0; cut < row.bytes.size(); ++cut)
            EXPECT_EQ(RefusedAtLine(row.bytes, cut, row.keys), row.line) << row.bytes << cut;
    }
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
                            "<duration>9999999999999999999999</duration></track></trackList>"
                            "</playlist>"),
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
    EXPECT_EQ(M3u("<playlist xmlns=\"http://example.org/\"><trackList/></playlist>"),
              "(not a playlist)"); // another kind's namespace
}

} // namespace
} // namespace skaldrun
