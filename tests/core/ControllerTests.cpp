#include "TestSupport.h"
#include "core/Convert.h"
#include "core/Errors.h"
#include "core/PlaylistController.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace skaldrun {
namespace {

using test::TempDir;

// What the window shows, apart from the texts.
struct Shown {
    ViewKind visible;
    bool exportEnabled;
    int selectorIndex;
    bool selectorEnabled;
    std::string status;
    bool loaded;
    friend bool operator==(const Shown&, const Shown&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Shown& s) {
        return os << (s.visible == ViewKind::Source ? "source" : "converted")
                  << " export=" << s.exportEnabled << " selector=" << s.selectorIndex << '/'
                  << s.selectorEnabled << " status=" << s.status << " loaded=" << s.loaded;
    }
};

Shown ShownBy(const PlaylistController& c) {
    return {c.VisibleView(),     c.ExportEnabled(), c.SelectorIndex(),
            c.SelectorEnabled(), c.StatusText(),    c.PlaylistLoaded()};
}

const Shown kStart{ViewKind::Source, false, 0, false, "Пусто", false};

class ControllerTest : public testing::Test, MessageService, ClipboardService, StateObserver {
protected:
    ControllerTest() { controller.SetObserver(this); }

    void ShowMessage(std::string_view text) override {
        messages.emplace_back(text);
        shownAtMessage = ShownBy(controller);
    }
    void CopyRange(const TextDocument& document, std::size_t from, std::size_t to) override {
        clipboard = document.Copy(from, to);
    }
    void StateChanged(unsigned changes) override {
        ++notifications;
        notifiedChanges.push_back(changes);
        if ((changes & ConvertedTextChanged) != 0)
            convertedSeen = controller.Converted()->Text();
    }

    std::string Playlist(std::string_view name, std::string_view bytes) {
        return dir.Write(name, bytes);
    }
    void Load(const std::string& path) {
        controller.SetFileName(path);
        controller.LoadPlaylist();
    }

    TempDir dir;
    ConvertOptions options;
    PlaylistController controller{options, *this, *this};
    std::vector<std::string> messages;
    std::optional<Shown> shownAtMessage;
    std::optional<std::string> clipboard;
    std::string convertedSeen;
    int notifications = 0;
    std::vector<unsigned> notifiedChanges;
};

constexpr std::string_view kGood = "#EXTM3U\r\n#EXTINF:185,01-Intro\r\na.mp3\r\n#EXTINF:5,b\r\n";
constexpr std::string_view kConverted = "1.Intro  <3:05>\r\n2.b  <0:05>\r\n";

TEST_F(ControllerTest, StartState) {
    EXPECT_EQ(ShownBy(controller), kStart);
    EXPECT_EQ(controller.Source()->Text(), "");
    EXPECT_EQ(controller.Converted()->Text(), "");
}

TEST_F(ControllerTest, LoadRowsOfTheStateTable) {
    const std::string good = Playlist("good.m3u", kGood);
    const std::string notPlaylist = Playlist("not.m3u", "D:\\one.mp3\r\n");
    const struct {
        const char* row;
        bool autoOpen;
        std::string path;
        Shown shown;
    } rows[] = {
        {"playlist, AutoOpen on", true, good, {ViewKind::Converted, true, 1, true, good, true}},
        {"playlist, AutoOpen off", false, good, {ViewKind::Source, false, 0, true, good, true}},
        {"not a playlist",
         true,
         notPlaylist,
         {ViewKind::Converted, false, 0, false, "Пусто", false}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        options.AutoOpen = row.autoOpen;
        Load(row.path);
        EXPECT_EQ(ShownBy(controller), row.shown);
    }
    // The message came after the state of its row was set.
    ASSERT_EQ(messages, std::vector<std::string>{"Ошибка: Этот файл не Winamp плейлист"});
    EXPECT_EQ(shownAtMessage, rows[2].shown);
    EXPECT_EQ(controller.Source()->Text(), "D:\\one.mp3\r\n"); // kept in the hidden view
    EXPECT_EQ(controller.Converted()->Text(), "");
}

TEST_F(ControllerTest, AutoCopyPutsTheWholeTextOnTheClipboardAndSelectsIt) {
    Load(Playlist("good.m3u", kGood));
    EXPECT_EQ(clipboard, kConverted);
    // All of it, the caret at its start so that the view does not scroll.
    EXPECT_EQ(controller.ConvertedSelection()->Get(), (TextSelection{kConverted.size(), 0}));

    options.AutoCopy = false;
    clipboard.reset();
    Load(controller.FileName());
    EXPECT_FALSE(clipboard.has_value());
    EXPECT_EQ(controller.ConvertedSelection()->Get(), TextSelection{});

    options.AutoOpen = false; // AutoCopy on but ignored while AutoOpen is off
    options.AutoCopy = true;
    Load(controller.FileName());
    EXPECT_FALSE(clipboard.has_value());
}

TEST_F(ControllerTest, PickingViews) {
    options.AutoOpen = false;
    const std::string good = Playlist("good.m3u", kGood);
    Load(good);
    EXPECT_EQ(controller.Converted()->Text(), kConverted); // converted during the load all the same
    controller.SelectView(1);
    EXPECT_EQ(ShownBy(controller), (Shown{ViewKind::Converted, true, 1, true, good, true}));
    controller.SelectView(1);
    EXPECT_EQ(ShownBy(controller), (Shown{ViewKind::Converted, true, 1, true, good, true}));
    controller.SelectView(0);
    EXPECT_EQ(ShownBy(controller), (Shown{ViewKind::Source, false, 0, true, good, true}));
}

TEST_F(ControllerTest, FailedLoadsKeepTheRestOfTheState) {
    const std::string good = Playlist("good.m3u", kGood);
    Load(good);
    const Shown before = ShownBy(controller);

    controller.SetFileName(dir.File("missing.m3u"));
    EXPECT_THROW(controller.LoadPlaylist(), EFOpenError);
    EXPECT_EQ(ShownBy(controller), before); // status still names the earlier file
    EXPECT_EQ(controller.Source()->Text(), "");
    EXPECT_EQ(controller.Converted()->Text(), "");
    EXPECT_TRUE(controller.PlaylistLoaded());

    const std::string bad =
        Playlist("bad.m3u", "#EXTM3U\r\n#EXTINF:120,Fine\r\n#EXTINF:,No length\r\n");
    controller.SetFileName(bad);
    EXPECT_THROW(controller.LoadPlaylist(), EConvertError);
    EXPECT_EQ(ShownBy(controller), before);
    EXPECT_EQ(controller.Source()->Text(), "#EXTM3U\r\n#EXTINF:120,Fine\r\n#EXTINF:,No length\r\n");
    EXPECT_EQ(controller.Converted()->Text(), "1.Fine  <2:00>\r\n");
    EXPECT_EQ(convertedSeen, "1.Fine  <2:00>\r\n"); // the owner saw it before the error left
    EXPECT_TRUE(messages.empty());
}

// Russian plural forms, exact sums rounded once, entries without a length counted apart.
TEST(TotalText, CountsAndLengthsAsTheStatusLineShowsThem) {
    const struct {
        int count;
        int unknown;
        std::int64_t micros; // each entry's length
        std::string_view text;
    } rows[] = {
        {1, 0, 185'000'000, "1 трек, 0:03:05"},
        {2, 0, 1'500'000, "2 трека, 0:00:03"},
        {3, 0, 3'904'000, "3 трека, 0:00:12"}, // 11.712, rounded once
        {5, 2, 600'000'000, "5 треков, 0:30:00, 2 без длительности"},
        {11, 0, 0, "11 треков, 0:00:00"},
        {21, 0, 3600'000'000, "21 трек, 21:00:00"},
        {104, 0, 1'000'000, "104 трека, 0:01:44"},
        {112, 112, 0, "112 треков, 0:00:00, 112 без длительности"},
    };
    for (const auto& row : rows) {
        ListTotals totals;
        for (int i = 0; i < row.count; ++i) {
            PlaylistEntry entry;
            entry.hasLength = i >= row.unknown;
            entry.seconds = row.micros / 1'000'000;
            entry.micros = row.micros;
            totals.Add(entry);
        }
        EXPECT_EQ(TotalText(totals), row.text) << row.count;
    }
}

TEST_F(ControllerTest, TheTotalStandsBesideTheStatusUntilALoadFails) {
    std::string segments = "#EXTM3U\n";
    for (int i = 0; i < 12; ++i)
        segments += "#EXTINF:3.904,\nsegment.ts\n";
    Load(Playlist("hls.m3u8", segments + "#EXTINF:2.5,\nlast.ts\n"));
    EXPECT_EQ(controller.TotalText(), "13 треков, 0:00:49"); // each rounded alone: 0:00:51
    Load(Playlist("streams.m3u", "#EXTM3U\r\n#EXTINF:-1,Radio\r\n#EXTINF:61.5,b\r\n"));
    EXPECT_EQ(controller.TotalText(), "2 трека, 0:01:02, 1 без длительности");
    EXPECT_THROW(
        Load(Playlist("bad.m3u", "#EXTM3U\r\n#EXTINF:120,Fine\r\n#EXTINF:x,No length\r\n")),
        EConvertError);
    EXPECT_EQ(controller.TotalText(), "");
    Load(Playlist("good.m3u", kGood));
    Load(Playlist("not.m3u", "a playlist? no"));
    EXPECT_EQ(controller.TotalText(), "");
    EXPECT_EQ(controller.StatusText(), "Пусто");
}

TEST_F(ControllerTest, HeaderOnlyPlaylistIsASuccessfulLoad) {
    const std::string empty = Playlist("empty.m3u", "#EXTM3U\n");
    Load(empty);
    EXPECT_EQ(ShownBy(controller), (Shown{ViewKind::Converted, true, 1, true, empty, true}));
    EXPECT_FALSE(clipboard.has_value()); // nothing to copy: the clipboard keeps its text
}

TEST_F(ControllerTest, CopyTakesTheSelectionOrEverything) {
    Load(Playlist("good.m3u", kGood));
    SelectionModel& selection = *controller.ConvertedSelection(); // as the list view sets it
    selection.Set({7, 2});
    controller.CopyConverted();
    EXPECT_EQ(clipboard, "Intro");
    EXPECT_EQ(selection.Get(), (TextSelection{7, 2}));

    TextDocument& converted = *controller.Converted(); // as the list view edits it
    converted.Replace(0, converted.Size(), "edited\r\nlast line");
    selection.Set({});
    controller.CopyConverted();
    EXPECT_EQ(clipboard, "edited\r\nlast line");

    selection.Set({100, 5}); // left past the text by an edit nobody followed
    controller.CopyConverted();
    EXPECT_EQ(clipboard, "d\r\nlast line");
}

// Edits of the list reach the controller from the document, whoever makes them; an undo back to
// the converted list, or another load, is no edit.
TEST_F(ControllerTest, KnowsWhetherTheListWasEdited) {
    Load(Playlist("good.m3u", kGood));
    const std::shared_ptr<TextDocument> list = controller.Converted();
    const auto edits = [&] {
        return std::count_if(notifiedChanges.begin(), notifiedChanges.end(),
                             [](unsigned c) { return (c & ListEditedChanged) != 0; });
    };
    EXPECT_FALSE(controller.ListEdited());
    list->Replace(0, 0, "x", true);
    list->Replace(1, 1, "y", true); // typing on: one step
    EXPECT_TRUE(controller.ListEdited());
    EXPECT_EQ(edits(), 1);
    list->Undo();
    EXPECT_FALSE(controller.ListEdited());
    list->Redo();
    EXPECT_TRUE(controller.ListEdited());
    EXPECT_EQ(edits(), 3);
    Load(controller.FileName());
    EXPECT_FALSE(controller.ListEdited());
    EXPECT_EQ(edits(), 4);
    list->Undo(); // the old list, still held by someone, is no longer the controller's
    EXPECT_FALSE(controller.ListEdited());
    EXPECT_EQ(edits(), 4);
}

// Whoever still shows or copied the last playlist holds it; the controller keeps nothing of it.
TEST_F(ControllerTest, AnotherLoadLetsGoOfTheLastDocuments) {
    Load(Playlist("good.m3u", kGood));
    const std::weak_ptr<TextDocument> source = controller.Source();
    const std::weak_ptr<TextDocument> converted = controller.Converted();
    controller.Converted()->Replace(0, 0, "edited ");
    Load(Playlist("other.m3u", "#EXTM3U\r\n#EXTINF:1,x\r\n"));
    EXPECT_TRUE(source.expired());
    EXPECT_TRUE(converted.expired());
    EXPECT_EQ(controller.Converted()->Text(), "1.x  <0:01>\r\n");
    EXPECT_FALSE(controller.Converted()->CanUndo());
}

TEST_F(ControllerTest, EveryChangeIsReported) {
    Load(Playlist("good.m3u", kGood));
    const int afterLoad = notifications;
    EXPECT_GE(afterLoad, 7);
    controller.SelectView(1); // no change, nothing to report
    EXPECT_EQ(notifications, afterLoad);
    controller.SelectView(0);
    EXPECT_GT(notifications, afterLoad);
}

} // namespace
} // namespace skaldrun
