#include "core/Utf8.h"

#include <gtest/gtest.h>
#include <string>

namespace skaldrun {
namespace {

// Long runs of Cyrillic and ASCII are checked many bytes at a time: one bad byte anywhere, a
// character cut short or a stray continuation makes the text invalid, at any position.
TEST(IsValidUtf8, LongTextsAreValidOnlyWhenEveryByteIs) {
    std::string valid;
    for (int i = 0; i < 4; ++i)
        valid += "1.Кино - Группа крови, ёжик  <4:05>\r\n";
    EXPECT_TRUE(IsValidUtf8(valid));
    EXPECT_TRUE(IsValidUtf8(valid + "\xE2\x82\xAC" + valid)); // a euro sign
    for (std::size_t at = 0; at < valid.size(); ++at) {
        std::string bad = valid;
        bad[at] = '\xFF';
        EXPECT_FALSE(IsValidUtf8(bad)) << at;
        if ((static_cast<unsigned char>(valid[at]) & 0xE0) != 0xC0)
            continue; // a two-byte lead
        EXPECT_FALSE(IsValidUtf8(valid.substr(0, at + 1) + valid.substr(at + 2))) << at;
        EXPECT_FALSE(IsValidUtf8(valid.substr(0, at) + '\x80' + valid.substr(at))) << at;
        EXPECT_FALSE(IsValidUtf8(valid.substr(0, at + 1))) << at; // cut short
        bad[at] = '\xC1';
        EXPECT_FALSE(IsValidUtf8(bad)) << at;
    }
}

// The count of UTF-16 units is QString's length of the same text, for every mix and length:
// within a block of sixteen, across blocks, and past the runs the counters sum at once.
TEST(Utf16Length, IsTheLengthOfTheDecodedText) {
    const std::string pieces[] = {"a", "\xD0\x96", "\xE2\x82\xAC", "\xF0\x9F\x8E\xB5", "\r\n"};
    const auto units = [](const std::string& piece) -> std::size_t {
        return piece.size() == 4 ? 2 : piece == "\r\n" ? 2 : 1; // CR and LF are a unit each here
    };
    for (const int length : {0, 1, 15, 16, 17, 100, 127 * 16 + 5, 20000}) {
        for (std::size_t kind = 0; kind < std::size(pieces); ++kind) {
            std::string text;
            std::size_t expected = 0;
            for (int i = 0; i < length; ++i) {
                const std::string& piece = pieces[(kind + static_cast<std::size_t>(i) % 3) % 5];
                text += piece;
                expected += units(piece);
            }
            EXPECT_EQ(Utf16Length(text), expected) << length << ' ' << kind;
        }
    }
}

// Either byte order; pairs make one character, a unit out of its pair and an odd byte U+FFFD.
TEST(AppendUtf16AsUtf8, DecodesUnitsAndMarksWhatIsBroken) {
    const struct {
        std::string_view bytes;
        bool big;
        std::string_view utf8;
    } rows[] = {
        {std::string_view("A\0\x16\x04", 4), false, "A\xD0\x96"},
        {std::string_view("\0A\x04\x16", 4), true, "A\xD0\x96"},
        {std::string_view("\xD8\x3D\xDE\x00", 4), true, "\xF0\x9F\x98\x80"},
        {std::string_view("\xD8\x3D\0A", 4), true,
         "\xEF\xBF\xBD"
         "A"},
        {std::string_view("\xDE\x00\xD8\x3D", 4), true, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\x20\xAC\x41", true, "\xE2\x82\xAC\xEF\xBF\xBD"},
    };
    for (const auto& row : rows) {
        std::string out = ">";
        AppendUtf16AsUtf8(row.bytes, row.big, out);
        std::string expected = ">";
        expected.append(row.utf8);
        EXPECT_EQ(out, expected) << row.bytes;
    }
}

} // namespace
} // namespace skaldrun
