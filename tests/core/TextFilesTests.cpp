#include "TestSupport.h"
#include "core/Errors.h"
#include "core/TextFiles.h"
#include "core/platform/FileSystem.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace skaldrun {
namespace {

namespace fs = std::filesystem;
using test::MessageOf;
using test::ReadBytes;
using test::TempDir;

TEST(ReadTextFile, ReadsBytesWithUniformBreaks) {
    TempDir dir;
    const struct {
        std::string_view bytes;
        std::string_view text;
    } cases[] = {
        {"", ""},
        {"#EXTM3U\r\n#EXTINF:1,a\r\n", "#EXTM3U\r\n#EXTINF:1,a\r\n"},
        {"#EXTM3U\n#EXTINF:1,a", "#EXTM3U\r\n#EXTINF:1,a"},
        {"#EXTM3U\r#EXTINF:1,\xE0\xFF\r", "#EXTM3U\r\n#EXTINF:1,\xE0\xFF\r\n"},
        {"\xEF\xBB\xBF#EXTM3U\n", "\xEF\xBB\xBF#EXTM3U\r\n"},
        {std::string_view("ab\0cd", 5), "ab"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadTextFile(dir.Write("p.m3u", c.bytes)), c.text);
}

TEST(ReadTextFile, OpenErrorsNameTheFullPathAndTheReason) {
    TempDir dir;
    const std::string root = dir.Path().string();
    fs::create_directory(dir.Path() / "folder.m3u");
    ASSERT_EQ(::mkfifo(dir.File("fifo.m3u").c_str(), 0600), 0);

    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {root + "/sub/../missing.m3u",
         "Cannot open file \"" + root + "/missing.m3u\". No such file or directory"},
        {root + "/./folder.m3u", "Cannot open file \"" + root + "/folder.m3u\". Is a directory"},
        {root + "/fifo.m3u", "Cannot open file \"" + root + "/fifo.m3u\". Illegal seek"},
        {"/dev/zero", "Cannot open file \"/dev/zero\". Invalid argument"},
        {root + "/missing/x.m3u",
         "Cannot open file \"" + root + "/missing/x.m3u\". No such file or directory"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf<EFOpenError>([&] { ReadTextFile(c.path); }), c.message);
}

TEST(ReadTextFile, RelativeNamesAreMadeAbsolute) {
    const std::string cwd = fs::current_path().string();
    EXPECT_EQ(MessageOf<EFOpenError>([] { ReadTextFile("no-such-dir/../no-such.m3u"); }),
              "Cannot open file \"" + cwd + "/no-such.m3u\". No such file or directory");
}

TEST(ReadTextFile, CapacityIsCheckedBeforeAndAfterBreaksAreMadeUniform) {
    TempDir dir;
    EXPECT_EQ(ReadTextFile(dir.Write("a", "123456\r\n"), 8), "123456\r\n");
    EXPECT_EQ(MessageOf<EInvalidOperation>([&] { ReadTextFile(dir.Write("b", "1234567\r\n"), 8); }),
              "Text exceeds memo capacity");
    EXPECT_EQ(MessageOf<EInvalidOperation>([&] { ReadTextFile(dir.Write("c", "123\n45\n"), 8); }),
              "Text exceeds memo capacity");

    // A sparse file over the real capacity fails at once without being read.
    const std::string huge = dir.Write("huge.m3u", "");
    fs::resize_file(huge, kViewCapacity + 1);
    EXPECT_EQ(MessageOf<EInvalidOperation>([&] { ReadTextFile(huge); }),
              "Text exceeds memo capacity");
}

TEST(SaveConvertedText, AppendsTxtAndWritesBytesUnchanged) {
    TempDir dir;
    const struct {
        std::string chosen;
        std::string written;
    } cases[] = {
        {"list", "list.txt"},
        {"list.txt", "list.txt.txt"},
        {"list.TXT", "list.TXT.txt"},
    };
    dir.Write("list.txt.keep", "");
    for (const auto& c : cases) {
        SaveConvertedText(dir.File(c.chosen), "1.\xC0\xFF  <0:01>\r\nedited");
        EXPECT_EQ(ReadBytes(dir.File(c.written)), "1.\xC0\xFF  <0:01>\r\nedited") << c.chosen;
    }
    EXPECT_FALSE(fs::exists(dir.File("list")));
}

TEST(SaveConvertedText, TruncatesALongerFileAndWritesEmptyText) {
    TempDir dir;
    dir.Write("out.txt", std::string(1000, 'x'));
    SaveConvertedText(dir.File("out"), "short\r\n");
    EXPECT_EQ(ReadBytes(dir.File("out.txt")), "short\r\n");
    SaveConvertedText(dir.File("out"), "");
    EXPECT_EQ(fs::file_size(dir.File("out.txt")), 0U);
}

TEST(SaveConvertedText, CreateErrorsNameTheFullTxtPath) {
    TempDir dir;
    const std::string root = dir.Path().string();
    fs::create_directory(dir.Path() / "taken.txt");
    const struct {
        std::string chosen;
        std::string message;
    } cases[] = {
        {root + "/missing/list",
         "Cannot create file \"" + root + "/missing/list.txt\". No such file or directory"},
        {root + "/./taken", "Cannot create file \"" + root + "/taken.txt\". Is a directory"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveConvertedText(c.chosen, "text"); }),
                  c.message);
}

// Runs the action in a child process, which may limit itself first; the child's exit code
// says whether the action ended as expected.
template <typename Action>
int InChild(Action&& action) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(action() ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(SaveConvertedText, UnwritableTargetKeepsItsContent) {
    TempDir dir;
    const std::string target = dir.Write("ro.txt", "keep me");
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string expected = "Cannot create file \"" + target + "\". Permission denied";
    // Permission bits stop nothing for root, so a root run tries as "nobody".
    EXPECT_EQ(InChild([&] {
                  if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                      return false;
                  return MessageOf<EFCreateError>(
                             [&] { SaveConvertedText(dir.File("ro"), "new"); }) == expected;
              }),
              0);
    EXPECT_EQ(ReadBytes(target), "keep me");
}

// A save that fails part way leaves the old file, or none, and nothing beside it.
TEST(SaveConvertedText, ShortWriteIsAWriteErrorAndKeepsTheOldFile) {
    TempDir dir;
    const std::string old = dir.Write("old.txt", "1.Old  <0:01>\r\n");
    const std::string text(1000, 'x');
    for (const char* chosen : {"old", "new"}) {
        EXPECT_EQ(InChild([&] {
                      const rlimit limit{100, 100};
                      platform::IgnoreFileSizeSignal();
                      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                          return false;
                      return MessageOf<EWriteError>([&] {
                                 SaveConvertedText(dir.File(chosen), text);
                             }) == "Stream write error";
                  }),
                  0);
    }
    EXPECT_EQ(ReadBytes(old), "1.Old  <0:01>\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

// Replacing a file keeps what it is: its mode, the link that names it, a device.
TEST(SaveConvertedText, ReplaceKeepsWhatTheTargetIs) {
    TempDir dir;
    const std::string shared = dir.Write("shared.txt", "old");
    fs::permissions(shared, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string real = dir.Write("real.txt", "old");
    fs::create_symlink(real, dir.Path() / "link.txt");
    fs::create_symlink("/dev/null", dir.Path() / "null.txt");

    for (const char* chosen : {"shared", "link", "null"})
        SaveConvertedText(dir.File(chosen), "new");
    EXPECT_EQ(ReadBytes(shared), "new");
    EXPECT_EQ(fs::status(shared).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "link.txt"));
    EXPECT_EQ(ReadBytes(real), "new");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "null.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 4);
}

// A writable file in a folder that takes no new files is written in place.
TEST(SaveConvertedText, WritableFileInAReadOnlyFolderIsSaved) {
    TempDir dir;
    const std::string target = dir.Write("list.txt", "old");
    fs::permissions(target, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                ~fs::perms::others_exec);
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    const bool asRoot = ::geteuid() == 0;
    if (!asRoot)
        fs::permissions(dir.Path(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(InChild([&] {
                  if (asRoot && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                      return false;
                  SaveConvertedText(dir.File("list"), "new");
                  return true;
              }),
              0);
    fs::permissions(dir.Path(), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(ReadBytes(target), "new");
}

TEST(SaveConvertedText, FifoWithoutReaderFailsAtOnce) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("fifo.txt").c_str(), 0600), 0);
    EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveConvertedText(dir.File("fifo"), "text"); }),
              "Cannot create file \"" + dir.File("fifo.txt") + "\". No such device or address");
}

TEST(SaveConvertedText, FullDiskIsAWriteError) {
    TempDir dir;
    fs::create_symlink("/dev/full", dir.Path() / "full.txt");
    EXPECT_EQ(MessageOf<EWriteError>([&] { SaveConvertedText(dir.File("full"), "text"); }),
              "Stream write error");
    // An empty text writes nothing, so even a full disk takes it.
    EXPECT_NO_THROW(SaveConvertedText(dir.File("full"), ""));
}

} // namespace
} // namespace skaldrun
