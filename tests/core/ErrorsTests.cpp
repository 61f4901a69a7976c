#include "core/Errors.h"

#include <gtest/gtest.h>

namespace skaldrun {
namespace {

TEST(ErrorBoxText, AddsAPeriodOnlyAfterCharactersAboveIt) {
    const struct {
        std::string_view message;
        std::string_view shown;
    } cases[] = {
        {"", ""},
        {"Stream write error", "Stream write error."},
        {"ends with period.", "ends with period."},
        {"(paren)", "(paren)"},
        {"comma,", "comma,"},
        {"hyphen-", "hyphen-"},
        {"blank ", "blank "},
        {"slash/", "slash/."},
        {"digit 7", "digit 7."},
        {"colon:", "colon:."},
        {"question?", "question?."},
        {"Пусто", "Пусто."}, // a UTF-8 letter ends in a byte above "."
        {"\xE0", "\xE0."},   // and so does a windows-1251 letter
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message;
}

TEST(Errors, CarryTheirFixedTexts) {
    EXPECT_EQ(EFOpenError("/a/b.m3u", "No such file or directory").Message(),
              "Cannot open file \"/a/b.m3u\". No such file or directory");
    EXPECT_EQ(EFCreateError("/a/b.txt", "Is a directory").Message(),
              "Cannot create file \"/a/b.txt\". Is a directory");
    EXPECT_EQ(EWriteError().Message(), "Stream write error");
    EXPECT_EQ(EWriteError("Input/output error", "/home/user/Music/.list.txt.Ab12Cd").Message(),
              "Stream write error. The whole new list is kept in "
              "\"/home/user/Music/.list.txt.Ab12Cd\"");
    EXPECT_EQ(ECopyTooLarge("/home/user/Music/list.txt").Message(),
              "Cannot create file \"/home/user/Music/list.txt\". Neither its folder nor the "
              "temporary folder takes a copy of a list over 256 MiB");
    EXPECT_EQ(EConvertError("").Message(), "'' is not a valid integer value");
    EXPECT_EQ(EConvertError("99999999999").Message(), "'99999999999' is not a valid integer value");
}

} // namespace
} // namespace skaldrun
