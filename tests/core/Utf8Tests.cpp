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

} // namespace
} // namespace skaldrun
