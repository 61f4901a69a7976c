#include "core/CodePages.h"

#include <gtest/gtest.h>
#include <string>

#ifndef _WIN32
#include <iconv.h>
#endif

namespace skaldrun {
namespace {

#ifndef _WIN32
std::string Decoded(std::string_view bytes, CodePage page) {
    std::string out;
    AppendAsUtf8(bytes, page, out);
    return out;
}

// The system's converter, for one byte; empty where it leaves the byte undefined.
std::string Iconv(const char* page, char byte) {
    const iconv_t cd = ::iconv_open("UTF-8", page);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "(no converter)";
    char in[1] = {byte};
    char out[8] = {};
    char* inPointer = in;
    char* outPointer = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    const std::size_t done = ::iconv(cd, &inPointer, &inLeft, &outPointer, &outLeft);
    ::iconv_close(cd);
    return done == static_cast<std::size_t>(-1) ? std::string() : std::string(out, outPointer);
}

// Every upper byte reads as glibc's iconv reads it; what a page leaves undefined becomes U+FFFD.
TEST(CodePages, EveryByteReadsAsTheSystemReadsIt) {
    const struct {
        CodePage page;
        const char* iconvName;
    } pages[] = {{CodePage::Windows1251, "CP1251"},
                 {CodePage::Windows1252, "CP1252"},
                 {CodePage::Koi8R, "KOI8-R"},
                 {CodePage::Cp866, "CP866"}};
    for (const auto& [page, iconvName] : pages) {
        for (int b = 0x80; b < 0x100; ++b) {
            const char byte = static_cast<char>(b);
            const std::string expected = Iconv(iconvName, byte);
            EXPECT_EQ(Decoded(std::string_view(&byte, 1), page),
                      expected.empty() ? "\xEF\xBF\xBD" : expected)
                << iconvName << ' ' << b;
        }
    }
    // ISO-8859-5, which only XML documents name, has its table alone.
    const UpperHalfTable* iso = SingleByteTableNamed("ISO-8859-5");
    ASSERT_NE(iso, nullptr);
    for (int b = 0x80; b < 0x100; ++b) {
        const char16_t u = (*iso)[static_cast<std::size_t>(b - 0x80)];
        const std::string utf8 =
            u < 0x800 ? std::string{char(0xC0 | u >> 6), char(0x80 | (u & 0x3F))}
                      : std::string{char(0xE0 | u >> 12), char(0x80 | (u >> 6 & 0x3F)),
                                    char(0x80 | (u & 0x3F))};
        EXPECT_EQ(utf8, Iconv("ISO-8859-5", static_cast<char>(b))) << b;
    }
}
#endif

TEST(CodePages, NamesAndTheirAliases) {
    const struct {
        std::string_view name;
        std::optional<CodePage> page;
    } rows[] = {
        {"UTF-8", CodePage::Utf8},
        {"utf8", CodePage::Utf8},
        {"Windows-1251", CodePage::Windows1251},
        {"CP1251", CodePage::Windows1251},
        {"cp1252", CodePage::Windows1252},
        {"koi8-r", CodePage::Koi8R},
        {"KOI8R", CodePage::Koi8R},
        {"ibm866", CodePage::Cp866},
        {"cp866", CodePage::Cp866},
        {"auto", std::nullopt},
        {"latin1", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CodePageNamed(row.name), row.page) << row.name;
    for (const CodePage page : {CodePage::Utf8, CodePage::Windows1251, CodePage::Windows1252,
                                CodePage::Koi8R, CodePage::Cp866})
        EXPECT_EQ(CodePageNamed(CodePageName(page)), page);
    // What an XML document may declare: the single-byte pages and ISO-8859-5.
    const struct {
        std::string_view name;
        const UpperHalfTable* table;
    } declared[] = {
        {"Windows-1251", &UpperHalf(CodePage::Windows1251)},
        {"ibm866", &UpperHalf(CodePage::Cp866)},
        {"iso_8859-5", SingleByteTableNamed("ISO-8859-5")},
        {"cyrillic", SingleByteTableNamed("ISO-8859-5")},
        {"utf-8", nullptr},
        {"x-mac-foo", nullptr},
    };
    for (const auto& row : declared)
        EXPECT_EQ(SingleByteTableNamed(row.name), row.table) << row.name;
}

// A playlist decodes the same in any pieces; an XSPF, which names its own encoding, passes as it
// is, however its first bytes are cut.
TEST(CodePages, PlaylistsDecodeInPiecesAndXspfKeepsItsBytes) {
    const std::string m3u = "#EXTM3U\r\n#EXTINF:5,\xEB\xC9\xCE\xCF\r\n"; // KOI8-R
    const std::string xspf = "  <?xml version=\"1.0\" encoding=\"KOI8-R\"?>\xEB\xC9\xCE\xCF";
    const std::string kino = "#EXTM3U\r\n#EXTINF:5,\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE\r\n";
    const std::string bom = "\xEF\xBB\xBF";
    const std::string fffd = "\xEF\xBF\xBD";
    const struct {
        CodePage page;
        std::string bytes;
        std::string expected;
    } rows[] = {
        {CodePage::Koi8R, m3u, kino},
        {CodePage::Koi8R, xspf, xspf},
        {CodePage::Koi8R, "\xEB",
         "\xD0\x9A"}, // too few bytes to tell the format: decoded at the end
        // A byte-order mark says UTF-8 whatever page was named.
        {CodePage::Koi8R, bom + m3u, bom + kino},
        {CodePage::Cp866, bom + "[playlist]\r\n", bom + "[playlist]\r\n"},
        // UTF-8 named: U+FFFD for each byte that starts no character, cut characters joined.
        {CodePage::Utf8, kino + "\xCF!\xF0\x9F\x8E\xB5", kino + "\xEF\xBF\xBD!\xF0\x9F\x8E\xB5"},
        {CodePage::Utf8, kino + "\xE2\x82", kino + fffd + fffd},
        {CodePage::Utf8, kino + "\xC0\xAF\xED\xA0\x80", kino + fffd + fffd + fffd + fffd + fffd},
        {CodePage::Auto, kino + "\xCF", kino + "\xCF"},
    };
    for (const auto& row : rows) {
        for (const std::size_t piece : {1, 3, 100}) {
            std::string out;
            PlaylistDecoder decoder(row.page, [&out](std::string_view part) { out.append(part); });
            for (std::size_t at = 0; at < row.bytes.size(); at += piece)
                decoder.Feed(std::string_view(row.bytes).substr(at, piece));
            decoder.Finish();
            EXPECT_EQ(out, row.expected) << piece << ' ' << row.bytes;
        }
    }
}

} // namespace
} // namespace skaldrun
