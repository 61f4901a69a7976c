#include "core/Errors.h"
#include "core/LineBreaks.h"

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

// The line starts a document indexes piece by piece: past each CR LF, wherever the pieces cut.
TEST(CrLfEnds, PiecesGiveTheStartsOfTheWholeText) {
    const struct {
        std::string_view text;
        std::vector<std::size_t> ends;
    } cases[] = {
        {"a\r\nb\r\n", {3, 6}},
        {"\r\n\r\n", {2, 4}},
        {"a\nb\rc\r\r\n\n", {8}},
        {"\n\r", {}},
    };
    for (const auto& c : cases) {
        for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
            std::vector<std::size_t> ends;
            CrLfEnds breaks;
            breaks.Feed(c.text.substr(0, cut), [&](std::size_t end) { ends.push_back(end); });
            breaks.Feed(c.text.substr(cut), [&](std::size_t end) { ends.push_back(cut + end); });
            EXPECT_EQ(ends, c.ends) << testing::PrintToString(c.text) << " cut at " << cut;
        }
    }
}

// Typed or pasted, every break becomes one CR LF; towards the desktop each CR LF becomes an LF.
TEST(LineBreaks, TypedBreaksBecomeCrLfAndCrLfJoinsForTheDesktop) {
    const struct {
        std::u16string typed;
        std::string stored;
        std::string desktop;
    } cases[] = {
        {u"a\r\nb", "a\r\nb", "a\nb"},
        {u"a\rb\nc", "a\r\nb\r\nc", "a\nb\nc"},
        {u"a\u2028b\u2029", "a\r\nb\r\n", "a\nb\n"},
        {u"\r\r\n\n\r", "\r\n\r\n\r\n\r\n", "\n\n\n\n"},
    };
    for (const auto& c : cases) {
        std::string stored;
        const char16_t* const end = c.typed.data() + c.typed.size();
        for (const char16_t* p = c.typed.data(); p != end;) {
            const std::size_t units = TypedBreakAt(p, end);
            if (units == 0)
                stored.push_back(static_cast<char>(*p));
            else
                stored.append(kLineBreak);
            p += units == 0 ? 1 : units;
        }
        EXPECT_EQ(stored, c.stored) << testing::PrintToString(c.stored);
        std::string desktop = stored;
        desktop.erase(JoinCrLf(desktop.data(), desktop.data() + desktop.size()) - desktop.data());
        EXPECT_EQ(desktop, c.desktop) << testing::PrintToString(c.stored);
    }
    std::string loneCr = "a\rb\r"; // stays as it is
    EXPECT_EQ(JoinCrLf(loneCr.data(), loneCr.data() + loneCr.size()) - loneCr.data(), 4);
}

} // namespace
} // namespace skaldrun
