#include "core/Errors.h"
#include "core/ViewText.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace skaldrun {
namespace {

// Every line of a text, in order.
std::vector<std::string_view> AllLines(std::string_view text) {
    const TextLines lines = SplitLines(text);
    return {lines.begin(), lines.end()};
}

using Lines = std::vector<std::string_view>;

// Normalised whole, and checked against the same made from pieces cut anywhere.
std::string Normalized(std::string text) {
    std::vector<std::string> fromPieces;
    for (std::size_t size = 1; size <= 3; ++size) {
        LineBreakNormalizer normalize(fromPieces.emplace_back());
        for (std::size_t at = 0; at < text.size(); at += size)
            normalize.Append(std::string_view(text).substr(at, size));
        normalize.Finish();
    }
    NormalizeLineBreaks(text);
    for (const std::string& made : fromPieces)
        EXPECT_EQ(made, text);
    return text;
}

TEST(NormalizeLineBreaks, MakesEveryBreakCrLfAndStopsAtNul) {
    using namespace std::string_literals;
    const struct {
        std::string raw;
        std::string text;
    } cases[] = {
        {"", ""},
        {"a", "a"},
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\rb\r", "a\r\nb\r\n"},
        {"a\n\rb", "a\r\n\r\nb"},
        {"a\r\r\nb", "a\r\n\r\nb"},
        {"a\n\r\nb", "a\r\n\r\nb"},
        {"\r", "\r\n"},
        {"\n", "\r\n"},
        {"\r\n\r", "\r\n\r\n"},
        {"a\0b\r\n"s, "a"},
        {"\0abc"s, ""},
        {"a\nb\0c\nd"s, "a\r\nb"},
        {"x\r\n" + std::string(40, 'y') + "\n" + std::string(40, 'z') + "\r",
         "x\r\n" + std::string(40, 'y') + "\r\n" + std::string(40, 'z') + "\r\n"},
        {std::string(33, 'q') + "\r" + std::string(15, 'w') + "\0\n"s,
         std::string(33, 'q') + "\r\n" + std::string(15, 'w')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Normalized(c.raw), c.text) << testing::PrintToString(c.raw);
}

TEST(NormalizeLineBreaks, CapacityCountsTheResult) {
    std::string text = "ab\ncd\n"; // becomes 8 bytes
    EXPECT_THROW(NormalizeLineBreaks(text, 7), EInvalidOperation);
    EXPECT_EQ(text, "ab\ncd\n");
    NormalizeLineBreaks(text, 8);
    EXPECT_EQ(text, "ab\r\ncd\r\n");
    std::string read;
    LineBreakNormalizer normalize(read, 7);
    normalize.Append("ab\ncd");
    EXPECT_THROW(normalize.Append("\n"), EInvalidOperation);
}

TEST(SplitLines, CutsAtCrLfAndDropsAnEmptyLastPiece) {
    const struct {
        std::string_view text;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {"\r\n", {""}},
        {"a\r\nb\r\n\r\n", {"a", "b", ""}},
        {"\r\n\r\n\r\n", {"", "", ""}},
        {"a\nb\r\nc", {"a\nb", "c"}}, // only CR LF ends a line
        {"a\rb", {"a\rb"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AllLines(c.text), c.lines) << testing::PrintToString(c.text);
}

TEST(AppendLine, StartsANewLineOrFinishesAnOpenOne) {
    const struct {
        std::string text;
        std::string_view line;
        std::string_view result;
    } cases[] = {
        {"", "a", "a\r\n"},   {"", "", "\r\n"},         {"x\r\n", "a", "x\r\na\r\n"},
        {"x", "a", "x\r\na"}, {"x\r", "a", "x\r\r\na"},
    };
    for (auto c : cases) {
        AppendLine(c.text, c.line);
        EXPECT_EQ(c.text, c.result);
    }
}

TEST(AppendLine, SplittingGivesTheLinesBack) {
    const Lines lines = {"one", "", "three  <0:01>", "", ""};
    std::string text;
    for (const auto line : lines)
        AppendLine(text, line);
    EXPECT_EQ(AllLines(text), lines);
}

} // namespace
} // namespace skaldrun
