#include "core/TextDocument.h"
#include "core/Watchers.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace skaldrun {
namespace {

using Starts = std::vector<std::size_t>;

Starts LineStarts(const TextDocument& document) {
    Starts starts;
    for (std::size_t line = 0; line < document.LineCount(); ++line)
        starts.push_back(document.LineStart(line));
    return starts;
}

std::string Joined(const TextSpans& spans) {
    std::string bytes;
    for (const TextSpan& span : spans)
        bytes.append(span.bytes);
    return bytes;
}

struct Edit {
    std::size_t from;
    std::size_t to;
    std::string bytes;
};

TEST(TextDocument, EditsKeepTheBytesAndTheLineStarts) {
    const std::string huge(70'000, 'h');
    const struct {
        const char* name;
        std::string text;
        std::vector<Edit> edits;
        std::string result;
        Starts starts;
    } cases[] = {
        {"LF after a CR of another piece", "a\r", {{2, 2, "\n"}}, "a\r\n", {0, 3}},
        {"CR before an LF", "a\nb", {{1, 1, "\r"}}, "a\r\nb", {0, 3}},
        {"between CR and LF", "a\r\nb", {{2, 2, "x"}}, "a\rx\nb", {0}},
        {"the CR of a CR LF", "a\r\nb\r\nc", {{1, 2, ""}}, "a\nb\r\nc", {0, 5}},
        {"what kept CR and LF apart", "a\rx\nb", {{2, 3, ""}}, "a\r\nb", {0, 3}},
        {"a break typed in two pieces",
         "ab",
         {{1, 1, "\r"}, {0, 0, "z"}, {3, 3, "\n"}},
         "za\r\nb",
         {0, 4}},
        {"lines joined and split",
         "1\r\n2\r\n3\r\n",
         {{1, 6, "x\r\ny"}},
         "1x\r\ny3\r\n",
         {0, 4, 8}},
        {"into an empty text", "", {{0, 0, "\r\n"}}, "\r\n", {0, 2}},
        {"all of a text", "a\r\nb", {{0, 4, ""}}, "", {0}},
        {"bytes that are not UTF-8", "\xFF\r\n", {{1, 1, "\xC0\xE8"}}, "\xFF\xC0\xE8\r\n", {0, 5}},
        {"past the end, clipped", "ab", {{5, 9, "c"}}, "abc", {0}},
        {"a huge insert, then its middle",
         "a\r\nb",
         {{3, 3, huge + "\r\n"}, {10, 69'990, "\r\n"}},
         "a\r\n" + std::string(7, 'h') + "\r\n" + std::string(13, 'h') + "\r\nb",
         {0, 3, 12, 27}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TextDocument document(c.text);
        LineStarts(document); // indexed before the edits, so that they re-index
        for (const Edit& edit : c.edits)
            document.Replace(edit.from, edit.to, edit.bytes);
        EXPECT_EQ(document.Text(), c.result);
        EXPECT_EQ(LineStarts(document), c.starts);
        EXPECT_EQ(LineStarts(TextDocument(c.result)), c.starts); // as a fresh index has them
    }
}

TEST(TextDocument, UndoGoesBackStepByStep) {
    const struct {
        const char* name;
        std::vector<Edit> typed; // typing, unless bytes replace something
        int undos;
        std::string result;
    } cases[] = {
        {"a run of typing is one step", {{3, 3, "x"}, {4, 4, "y"}, {5, 5, "z"}}, 1, "abc"},
        {"typing at two places is two steps", {{3, 3, "x"}, {0, 0, "y"}}, 1, "abcx"},
        {"typing after a deletion is its own step", {{1, 2, ""}, {1, 1, "x"}}, 1, "ac"},
        {"a paste is its own step", {{3, 3, "x"}, {4, 4, "pasted"}}, 1, "abcx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TextDocument document("abc");
        for (const Edit& edit : c.typed) {
            const bool typing = edit.bytes.size() == 1 && edit.from == edit.to;
            document.Replace(edit.from, edit.to, edit.bytes, typing);
        }
        for (int i = 0; i < c.undos; ++i)
            ASSERT_TRUE(document.Undo());
        EXPECT_EQ(document.Text(), c.result);
    }
}

TEST(TextDocument, RedoAndTheModifiedFlagFollowTheHistory) {
    TextDocument document("abc");
    EXPECT_FALSE(document.IsModified());
    document.Replace(3, 3, "d", true);
    EXPECT_TRUE(document.IsModified());
    const std::optional<TextChange> undone = document.Undo();
    ASSERT_TRUE(undone);
    EXPECT_EQ(undone->caret, 3U); // after what the undo put back
    EXPECT_FALSE(document.IsModified());
    EXPECT_EQ(document.Redo()->caret, 4U);
    EXPECT_EQ(document.Text(), "abcd");

    document.MarkClean();
    document.Replace(4, 4, "e", true); // not joined to the step the clean text ends
    document.Undo();
    EXPECT_EQ(document.Text(), "abcd");
    EXPECT_FALSE(document.IsModified());
    document.Undo();
    document.Replace(0, 1, "z"); // a new edit drops what could be redone, clean text included
    EXPECT_FALSE(document.CanRedo());
    EXPECT_FALSE(document.Redo());
    EXPECT_EQ(document.Text(), "zbc");
    document.Undo();
    EXPECT_EQ(document.Text(), "abc");
    EXPECT_TRUE(document.IsModified());
}

// A dragged selection moves as one step, either way, and comes back with one undo.
TEST(TextDocument, MovesAreOneStep) {
    const struct {
        std::size_t from, to, at;
        std::string result;
        std::size_t caret;
    } cases[] = {
        {0, 5, 8, "twoone\r\ntri", 8}, // forwards, with a break
        {5, 8, 0, "twoone\r\ntri", 3}, // backwards
        {0, 4, 2, "one\r\ntwotri", 4}, // into itself: nothing
    };
    for (const auto& c : cases) {
        TextDocument document("one\r\ntwotri");
        const TextChange change = document.Move(c.from, c.to, c.at);
        EXPECT_EQ(document.Text(), c.result);
        EXPECT_EQ(change.caret, c.caret);
        EXPECT_EQ(LineStarts(document), LineStarts(TextDocument(c.result)));
        document.Undo();
        EXPECT_EQ(document.Text(), "one\r\ntwotri");
    }
}

// What the clipboard holds is the bytes as they were, whatever happens to the document after.
TEST(TextDocument, SpansStayAsTheyWere) {
    auto document = std::make_unique<TextDocument>("1.First\r\n");
    std::string typed;
    for (int i = 0; i < 70'000; ++i) { // more than one block of typed bytes
        typed.push_back(static_cast<char>('a' + i % 26));
        document->Replace(9 + static_cast<std::size_t>(i), 9 + static_cast<std::size_t>(i),
                          typed.substr(typed.size() - 1), true);
    }
    const TextSpans all = document->Spans(0, document->Size());
    const TextSpans part = document->Spans(5, 65'600);
    document->Replace(0, document->Size(), "gone");
    document->Undo();
    document->Redo();
    document->Replace(0, 0, std::string(100'000, 'x'));
    document.reset();
    EXPECT_EQ(Joined(all), "1.First\r\n" + typed);
    EXPECT_EQ(Joined(part), ("1.First\r\n" + typed).substr(5, 65'595));
}

// Every change reaches every watcher, whoever made it, as the change the maker got back; what
// changes nothing tells nobody; a watcher may leave while being told, and a copy starts alone.
TEST(TextDocument, WatchersHearEveryChange) {
    struct Heard final : TextDocument::Watcher {
        void TextChanged(const TextChange& change) override {
            changes.push_back({change.at, change.removed, change.inserted});
            if (leaveWith != nullptr)
                leaveWith->Unwatch(*this);
        }
        std::vector<std::array<std::size_t, 3>> changes; // at, removed, inserted
        TextDocument* leaveWith = nullptr;
    };
    TextDocument document(std::string("abc\r\ndef"));
    Heard first;
    Heard second;
    document.Watch(first);
    document.Watch(second);
    document.Watch(first); // once is enough

    document.Replace(1, 2, "XY");
    document.Move(0, 2, 6);
    document.Replace(3, 3, "");
    document.Undo();
    document.Redo();
    second.leaveWith = &document;
    document.Replace(0, 0, "!");
    document.Replace(0, 1, "");
    const std::vector<std::array<std::size_t, 3>> all{{1, 1, 2}, {0, 6, 6}, {0, 6, 6},
                                                      {0, 6, 6}, {0, 0, 1}, {0, 1, 0}};
    EXPECT_EQ(first.changes, all);
    EXPECT_EQ(second.changes.size(), 5U); // left after its fifth

    TextDocument copy = document;
    copy.Replace(0, 0, "copy");
    EXPECT_EQ(first.changes.size(), all.size());
    document.Unwatch(first);
}

// While they are told, a watcher another one removes hears nothing more, and one added hears
// only the next change.
TEST(WatcherList, OnesThatLeaveOrComeMeanwhile) {
    struct Told {
        int times = 0;
        std::function<void()> then;
    };
    const struct {
        const char* name;
        std::size_t watching; // the first ones of a, b and c
        std::size_t actor;    // acts when first told, on the other
        std::size_t other;
        bool adds;
        std::array<int, 3> times; // how often each was told over two changes
    } cases[] = {
        {"a removes b", 2, 0, 1, false, {2, 0, 0}},
        {"b removes a, already told", 2, 1, 0, false, {1, 2, 0}},
        {"a adds b", 1, 0, 1, true, {2, 1, 0}},
        {"b adds c", 2, 1, 2, true, {2, 2, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WatcherList<Told> list;
        std::array<Told, 3> told;
        for (std::size_t i = 0; i < c.watching; ++i)
            list.Add(told[i]);
        told[c.actor].then = [&] {
            if (c.adds)
                list.Add(told[c.other]);
            else
                list.Remove(told[c.other]);
        };
        for (int change = 0; change < 2; ++change)
            list.TellAll([](Told& one) {
                ++one.times;
                if (one.times == 1 && one.then)
                    one.then();
            });
        EXPECT_EQ((std::array<int, 3>{told[0].times, told[1].times, told[2].times}), c.times);
    }
}

} // namespace
} // namespace skaldrun
