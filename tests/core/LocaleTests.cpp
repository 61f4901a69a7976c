#include "core/platform/Locale.h"

#include <clocale>
#include <gtest/gtest.h>
#include <string>

namespace skaldrun {
namespace {

#ifdef _WIN32
TEST(SystemTextIsUtf8, NeverOnWindows) {
    EXPECT_FALSE(platform::SystemTextIsUtf8());
}
#else
// The plain locales name ASCII, which is read as UTF-8 too, as Qt reads it.
TEST(SystemTextIsUtf8, PlainAndUtf8LocalesAreUtf8) {
    const std::string before = std::setlocale(LC_CTYPE, nullptr);
    for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
        ASSERT_NE(std::setlocale(LC_CTYPE, name), nullptr) << name;
        EXPECT_TRUE(platform::SystemTextIsUtf8()) << name;
    }
    std::setlocale(LC_CTYPE, before.c_str());
}
#endif

} // namespace
} // namespace skaldrun
