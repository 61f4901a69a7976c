#include "TestSupport.h"
#include "core/Errors.h"
#include "core/TextFiles.h"
#include "core/platform/SaveSteps.h"
#include "core/platform/WriteFiles.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <map>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

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

// XML in UTF-16 is shown as UTF-8 and its own bytes are kept for the XML reader, which the
// first NUL would otherwise cut; other text keeps none.
TEST(ReadTextFile, Utf16XmlIsShownAsUtf8AndKeptWhole) {
    TempDir dir;
    const struct {
        std::string_view bytes;
        std::string_view text;
        bool kept;
    } cases[] = {
        {std::string_view("\xFF\xFE<\0a\0/\0>\0\n\0", 12), "\xEF\xBB\xBF<a/>\r\n", true},
        {std::string_view("\0<\0?\x04\x16", 6), "<?\xD0\x96", true},
        {"<a/>\n", "<a/>\r\n", false},
        {std::string_view("\xFF\xFE#\0", 4), "\xFF\xFE#", false},
    };
    for (const auto& c : cases) {
        std::string utf16 = "left over";
        EXPECT_EQ(ReadTextFile(dir.Write("p.xspf", c.bytes), kViewCapacity, &utf16), c.text);
        EXPECT_EQ(utf16, c.kept ? c.bytes : "") << c.text;
    }
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

// The window refuses a FIFO without opening it, so a writer waiting there stays waiting for the
// reader it was meant for and loses nothing.
TEST(ReadTextFile, FifoRefusedLeavesItsWriterWaiting) {
    TempDir dir;
    const std::string fifo = dir.File("waiting.m3u");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::alarm(10);
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        ::_exit(fd >= 0 && ::write(fd, "#EXTM3U\n", 8) == 8 ? 0 : 1);
    }
    ::usleep(20'000); // into its open
    EXPECT_THROW(ReadTextFile(fifo), EFOpenError);
    ::usleep(20'000);
    ASSERT_EQ(::waitpid(writer, nullptr, WNOHANG), 0) << "the writer was released";
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    char bytes[16] = {};
    EXPECT_EQ(::read(fd, bytes, sizeof bytes), 8);
    ::close(fd);
    ::waitpid(writer, nullptr, 0);
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

constexpr uid_t kNobody = 65534;

// Runs the action as "nobody" when the tests run as root, or as the user running them.
template <typename Action>
int AsNobody(Action&& action) {
    return InChild([&] {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            return false;
        return action();
    });
}

std::size_t EntriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

struct Owner {
    uid_t uid;
    gid_t gid;
    bool operator==(const Owner&) const = default;
};

Owner OwnerOf(const std::string& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return {st.st_uid, st.st_gid};
}

// Files of other users need root to set up; each row saves as root or as "nobody".
TEST(SaveConvertedText, OwnersAndReadOnlyFilesAreHonoured) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give files to other users";
    const struct {
        std::string_view name;
        Owner fileOwner;
        mode_t fileMode;
        Owner folderOwner;
        mode_t folderMode;
        bool asNobody;
        bool saved;
    } cases[] = {
        // Read-only: refused, also for root, whoever owns the file or the folder.
        {"own-ro", {kNobody, kNobody}, 0444, {kNobody, kNobody}, 0755, true, false},
        {"roots-ro", {0, 0}, 0444, {kNobody, kNobody}, 0755, true, false},
        {"ro-as-root", {0, 0}, 0444, {0, 0}, 0755, false, false},
        // Writable by us but not ours: written in place, owner and group kept.
        {"sticky", {0, 0}, 0666, {0, 0}, 01777, true, true},
        {"others", {0, 0}, 0666, {kNobody, kNobody}, 0755, true, true},
        // Root gives a replaced file back to its owner.
        {"users", {kNobody, kNobody}, 0640, {0, 0}, 0755, false, true},
        // Writable by its group though not by its owner: not read-only.
        {"group's", {kNobody, kNobody}, 0464, {0, 0}, 0755, false, true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string target = dir.Write(std::string(c.name) + ".txt", "old list");
        ASSERT_EQ(::chown(target.c_str(), c.fileOwner.uid, c.fileOwner.gid), 0);
        ASSERT_EQ(::chmod(target.c_str(), c.fileMode), 0);
        ASSERT_EQ(::chown(dir.Path().c_str(), c.folderOwner.uid, c.folderOwner.gid), 0);
        ASSERT_EQ(::chmod(dir.Path().c_str(), c.folderMode), 0);
        const auto save = [&] {
            const std::string message =
                MessageOf<EFCreateError>([&] { SaveConvertedText(dir.File(c.name), "new"); });
            return c.saved ? message == "no error"
                           : message == "Cannot create file \"" + target + "\". Permission denied";
        };
        EXPECT_EQ(c.asNobody ? AsNobody(save) : InChild(save), 0) << c.name;
        EXPECT_EQ(ReadBytes(target), c.saved ? "new" : "old list") << c.name;
        EXPECT_EQ(OwnerOf(target), c.fileOwner) << c.name;
        EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(c.fileMode)) << c.name;
        EXPECT_EQ(EntriesIn(dir.Path()), 1U) << c.name;
    }
}

// Without the right to give a file away, a save keeps the file's group of which the saver is no
// member: the copy cannot take that group, so the file is written in place.
TEST(SaveConvertedText, GroupsTheSaverIsNotInStay) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give files a group of others";
    constexpr gid_t kOthers = 4242; // a group neither root nor nobody is in
    const struct {
        const char* name;
        uid_t saver; // root without CAP_CHOWN sees every attribute, so only the group stops it
    } cases[] = {{"root without the right", 0}, {"nobody", kNobody}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string target = dir.Write("list.txt", "old");
        const std::string probe = dir.Write("probe", "");
        ASSERT_EQ(::chown(target.c_str(), c.saver, kOthers), 0);
        ASSERT_EQ(::chmod(target.c_str(), 0664), 0);
        ASSERT_EQ(::chown(probe.c_str(), c.saver, c.saver), 0);
        ASSERT_EQ(::chown(dir.Path().c_str(), c.saver, c.saver), 0);
        constexpr int kCannot = 2;
        const int saved = InChild([&] {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3] = {};
            if (::setgroups(0, nullptr) != 0 || ::setresgid(c.saver, c.saver, c.saver) != 0 ||
                ::setresuid(c.saver, c.saver, c.saver) != 0 ||
                ::syscall(SYS_capget, &header, caps) != 0)
                ::_exit(kCannot);
            auto& word = caps[CAP_TO_INDEX(CAP_CHOWN)];
            word.effective &= ~CAP_TO_MASK(CAP_CHOWN);
            word.permitted &= ~CAP_TO_MASK(CAP_CHOWN);
            if (::syscall(SYS_capset, &header, caps) != 0 ||
                ::chown(probe.c_str(), static_cast<uid_t>(-1), kOthers) == 0)
                ::_exit(kCannot);
            return MessageOf<EFCreateError>([&] { SaveConvertedText(dir.File("list"), "new"); }) ==
                   "no error";
        });
        if (saved == kCannot)
            GTEST_SKIP() << "cannot give up the right to give files away here";
        EXPECT_EQ(saved, 0);
        EXPECT_EQ(ReadBytes(target), "new");
        EXPECT_EQ(OwnerOf(target), (Owner{c.saver, kOthers}));
        EXPECT_EQ(EntriesIn(dir.Path()), 2U);
    }
}

// Hard links keep naming one file; a shorter list leaves no tail of the longer one.
TEST(SaveConvertedText, HardLinksAreWrittenInPlace) {
    TempDir dir;
    const std::string a = dir.Write("a.txt", std::string(5000, 'x'));
    ASSERT_EQ(::link(a.c_str(), dir.File("b.txt").c_str()), 0);
    SaveConvertedText(dir.File("a"), "1.New  <0:01>\r\n");
    EXPECT_EQ(ReadBytes(a), "1.New  <0:01>\r\n");
    EXPECT_EQ(ReadBytes(dir.File("b.txt")), "1.New  <0:01>\r\n");
    EXPECT_EQ(EntriesIn(dir.Path()), 2U);
}

// In place, the space is reserved before any old byte changes.
TEST(SaveConvertedText, InPlaceSaveThatCannotFitKeepsTheOldBytes) {
    TempDir dir;
    const std::string old = "1.Old  <0:01>\r\n";
    const std::string a = dir.Write("a.txt", old);
    ASSERT_EQ(::link(a.c_str(), dir.File("b.txt").c_str()), 0);
    // Exactly at the size limit: written; one byte over: refused.
    EXPECT_EQ(InChild([&] {
                  const rlimit limit{100, 100};
                  platform::IgnoreFileSizeSignal();
                  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                         (SaveConvertedText(dir.File("a"), std::string(100, 'x')), true);
              }),
              0);
    EXPECT_EQ(ReadBytes(a), std::string(100, 'x'));
    std::ofstream(a, std::ios::binary) << old;
    EXPECT_EQ(InChild([&] {
                  const rlimit limit{100, 100};
                  platform::IgnoreFileSizeSignal();
                  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                         MessageOf<EWriteError>([&] {
                             SaveConvertedText(dir.File("a"), std::string(101, 'y'));
                         }) == "Stream write error";
              }),
              0);
    EXPECT_EQ(ReadBytes(a), old);

    // On a full disk: a small file system of our own, where root may mount one. Whether the
    // copy does not fit or only the file's growth does, the save fails before any old byte.
    const std::string text(32768, 'y');
    const struct {
        const char* name;
        std::uintmax_t room; // free bytes left, all when none
    } disks[] = {
        {"no room for the copy", 0},
        {"room for the copy, not for the growth", text.size() + 8192},
    };
    for (const auto& disk : disks) {
        SCOPED_TRACE(disk.name);
        TempDir mountPoint;
        const fs::path& small = mountPoint.Path();
        if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=128k") != 0)
            GTEST_SKIP() << "cannot mount a small file system here";
        struct Unmount {
            const fs::path& at;
            ~Unmount() { ::umount(at.c_str()); }
        } unmount{small};
        const std::string first = (small / "a.txt").string();
        std::ofstream(first, std::ios::binary) << old;
        ASSERT_EQ(::link(first.c_str(), (small / "b.txt").c_str()), 0);
        {
            std::ofstream filler(small / "filler", std::ios::binary);
            const std::string block(4096, 'f');
            while (fs::space(small).available > disk.room &&
                   filler.write(block.data(), block.size()).flush())
                ;
        }
        ASSERT_EQ(fs::space(small).available, disk.room);
        EXPECT_EQ(MessageOf<EWriteError>([&] { SaveConvertedText((small / "a").string(), text); }),
                  "Stream write error");
        EXPECT_TRUE(ReadBytes(first) == old);
        EXPECT_TRUE(ReadBytes((small / "b.txt").string()) == old);
        EXPECT_EQ(EntriesIn(small), 3U);
    }
}

// A new file gets the mode a plain create gives; a dangling link gets its file.
TEST(SaveConvertedText, NewFilesFollowTheUmaskAndDanglingLinks) {
    TempDir dir;
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        const std::string name = dir.File("new" + std::to_string(mask));
        EXPECT_EQ(InChild([&] {
                      ::umask(mask);
                      SaveConvertedText(name, "new");
                      return true;
                  }),
                  0);
        EXPECT_EQ(fs::status(name + ".txt").permissions(), static_cast<fs::perms>(0666 & ~mask));
    }
    fs::create_symlink(dir.Path() / "real.txt", dir.Path() / "link.txt");
    SaveConvertedText(dir.File("link"), "new");
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "link.txt"));
    EXPECT_EQ(ReadBytes(dir.File("real.txt")), "new");
}

// Extended attributes and ACLs survive a save, as they do a copy with cp.
TEST(SaveConvertedText, ExtendedAttributesAndAclsStay) {
    TempDir dir;
    const std::string name = dir.Write("tagged.txt", "old");
    if (::setxattr(name.c_str(), "user.skaldrun", "kept", 4, 0) != 0)
        GTEST_SKIP() << "no user attributes here";
    const bool acl = std::system(("setfacl -m u:nobody:r '" + name + "' 2>/dev/null").c_str()) == 0;
    SaveConvertedText(dir.File("tagged"), "new");
    EXPECT_EQ(ReadBytes(name), "new");
    char value[16] = {};
    EXPECT_EQ(::getxattr(name.c_str(), "user.skaldrun", value, sizeof value), 4);
    EXPECT_STREQ(value, "kept");
    if (acl)
        EXPECT_GT(::getxattr(name.c_str(), "system.posix_acl_access", nullptr, 0), 0);
    else
        ADD_FAILURE() << "setfacl is missing: tools/install-deps.sh installs acl";
}

// Every extended attribute of a file with its value, as `getfattr -d -m -` shows them to root.
std::map<std::string, std::string> AttributesOf(const std::string& file) {
    std::string names(4096, '\0');
    const ssize_t size = ::listxattr(file.c_str(), names.data(), names.size());
    names.resize(static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
    std::map<std::string, std::string> attributes;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        std::string value(4096, '\0');
        const ssize_t length = ::getxattr(file.c_str(), names.c_str() + at, value.data(), 4096);
        value.resize(static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
        attributes[names.c_str() + at] = value;
    }
    return attributes;
}

// A save neither adds access the file never had (a folder's default ACL) nor drops what the
// saving user can see. trusted.* attributes, which only root sees, go when their owner saves the
// file by rename, as they do with cp; root keeps them.
TEST(SaveConvertedText, AttributesAreExactlyTheOldOnes) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for trusted attributes and other users";
    const auto run = [](const std::string& command) { return std::system(command.c_str()) == 0; };
    const struct {
        const char* name;
        bool acl;     // an ACL of its own
        bool trusted; // an attribute only root sees
        bool asNobody;
    } cases[] = {
        {"plain", false, false, false},  {"plain, as its owner", false, false, true},
        {"own ACL", true, false, false}, {"own ACL, as its owner", true, false, true},
        {"trusted", false, true, false}, {"trusted, as its owner", false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (!run("setfacl -d -m u:nobody:rwx,u:daemon:rwx '" + dir.Path().string() + "'"))
            GTEST_SKIP() << "no ACLs here";
        ASSERT_EQ(::chown(dir.Path().c_str(), kNobody, kNobody), 0);
        const std::string target = dir.Write("list.txt", "old");
        ASSERT_TRUE(run("setfacl -b '" + target + "'")); // the folder's default taken away
        ASSERT_EQ(::chown(target.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        if (c.acl) {
            ASSERT_TRUE(run("setfacl -m u:daemon:r '" + target + "'"));
        }
        if (c.trusted && ::setxattr(target.c_str(), "trusted.skaldrun", "kept", 4, 0) != 0)
            GTEST_SKIP() << "no trusted attributes here";
        auto after = AttributesOf(target);
        if (c.asNobody)
            after.erase("trusted.skaldrun");
        const auto save = [&] { return (SaveConvertedText(dir.File("list"), "new"), true); };
        EXPECT_EQ(c.asNobody ? AsNobody(save) : InChild(save), 0);
        EXPECT_EQ(ReadBytes(target), "new");
        EXPECT_EQ(AttributesOf(target), after);
        EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0640));
        EXPECT_EQ(EntriesIn(dir.Path()), 1U);
    }
}

// A list written as it is made: nothing of it shows in the folder until it is whole, and it
// replaces the file that is there at the end, whatever took the old one's place meanwhile.
TEST(OutputFile, ReplacesTheFileThatIsThereWhenWhole) {
    TempDir dir;
    const std::string target = dir.Write("list.txt", "old");
    const std::string other = dir.Write("other.txt", "linked");
    ASSERT_EQ(::link(target.c_str(), dir.File("link.txt").c_str()), 0); // written in place
    platform::OutputFile out(target);
    out.Write("new ");
    EXPECT_EQ(EntriesIn(dir.Path()), 3U);
    ASSERT_EQ(::rename(other.c_str(), target.c_str()), 0); // another program's save
    out.Write("list");
    out.Commit();
    EXPECT_EQ(ReadBytes(target), "new list");
    EXPECT_EQ(ReadBytes(dir.File("link.txt")), "old");
    EXPECT_EQ(EntriesIn(dir.Path()), 2U);
}

// A device put in the file's place while the list is made gets the list and stays a device.
TEST(OutputFile, ADeviceThatTookTheFilesPlaceStays) {
    TempDir dir;
    const std::string target = dir.Write("list.txt", "old");
    const std::string null = dir.File("null");
    if (::mknod(null.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device here";
    platform::OutputFile out(target);
    out.Write("new list");
    ASSERT_EQ(::rename(null.c_str(), target.c_str()), 0);
    out.Commit();
    EXPECT_TRUE(fs::is_character_file(target));
    EXPECT_EQ(EntriesIn(dir.Path()), 1U);
}

// Where the copy cannot take the file's place (a file mounted over the name refuses the rename)
// or the temporary folder fills up, the save still lands whole.
TEST(OutputFile, SavesWhereTheRenameOrTheTemporaryFolderFails) {
    TempDir dir;
    const std::string source = dir.Write("source.txt", "old");
    const std::string target = dir.Write("mounted.txt", "");
    if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot mount here";
    SaveConvertedText(dir.File("mounted"), "new");
    ::umount(target.c_str());
    EXPECT_EQ(ReadBytes(source), "new");

    // A folder that takes no copy, a temporary folder with no room: the copy goes to memory.
    const fs::path small = dir.Path() / "small";
    fs::create_directory(small);
    ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k"), 0);
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount(at.c_str()); }
    } unmount{small};
    std::ofstream(small / "filler", std::ios::binary) << std::string(64 * 1024, 'f');
    const fs::path locked = dir.Path() / "locked";
    fs::create_directory(locked);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const std::string list = (locked / "list.txt").string();
    std::ofstream(list, std::ios::binary) << "old";
    ASSERT_EQ(::chmod(list.c_str(), 0666), 0);
    const std::string text(100'000, 'n');
    EXPECT_EQ(AsNobody([&] {
                  ::setenv("TMPDIR", small.c_str(), 1);
                  return MessageOf<EWriteError>([&] {
                             SaveConvertedText((locked / "list").string(), text);
                         }) == "no error";
              }),
              0);
    EXPECT_TRUE(ReadBytes(list) == text);

    // Memory takes no more than a view holds: a longer list is refused and the file kept.
    const std::string mebibyte(std::size_t{1} << 20, 'm');
    const std::vector<std::string_view> parts(kViewCapacity / mebibyte.size() + 1, mebibyte);
    EXPECT_EQ(AsNobody([&] {
                  ::setenv("TMPDIR", small.c_str(), 1);
                  return MessageOf<ECopyTooLarge>([&] { platform::WriteWholeFile(list, parts); }) ==
                         ECopyTooLarge(list).Message();
              }),
              0);
    EXPECT_TRUE(ReadBytes(list) == text);
}

// The hidden copies of a list named "list.txt" in a folder, with their bytes.
std::map<std::string, std::string> CopiesIn(const fs::path& folder) {
    std::map<std::string, std::string> copies;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(".list.txt."))
            copies[entry.path().string()] = ReadBytes(entry.path().string());
    return copies;
}

// A save stopped at any of its steps, as a kill stops it, leaves the file whole, old or new, or
// its whole new list in a named copy; whole, it leaves no copy.
TEST(OutputFile, StoppedAtAnyStepTheListIsWholeSomewhere) {
    using enum platform::SaveStep;
    const struct {
        const char* name;
        bool linked;       // a second name for the file
        bool lockedFolder; // a folder that takes no new name
        bool asRoot;
        bool renamed; // else written in place
    } cases[] = {
        {"the owner's file", false, false, false, true},
        {"hard-linked, as root", true, false, true, false},
        {"hard-linked", true, false, false, false},
        {"in a folder that takes no copy", false, true, false, false},
    };
    const std::string old(200'000, 'o');
    const std::string text(600'000, 'n'); // more than one piece of the copy
    constexpr int kStopped = 42;
    for (const auto& c : cases) {
        for (int at = 0; at <= static_cast<int>(Done) && (!c.asRoot || ::geteuid() == 0); ++at) {
            const auto step = static_cast<platform::SaveStep>(at);
            SCOPED_TRACE(std::string(c.name) + ", step " + std::to_string(at));
            TempDir dir;
            TempDir temporary;
            fs::permissions(temporary.Path(), fs::perms::all);
            const std::string target = dir.Write("list.txt", old);
            if (c.linked)
                fs::create_hard_link(target, dir.File("other.txt"));
            if (::geteuid() == 0 && !c.asRoot) {
                ASSERT_EQ(::chown(dir.Path().c_str(), kNobody, kNobody), 0);
                ASSERT_EQ(::chown(target.c_str(), kNobody, kNobody), 0);
            }
            if (c.lockedFolder)
                fs::permissions(dir.Path(), fs::perms::owner_write, fs::perm_options::remove);
            const auto save = [&] {
                ::setenv("TMPDIR", temporary.Path().c_str(), 1);
                platform::OnSaveStep([step](platform::SaveStep now) {
                    if (now == step)
                        ::_exit(kStopped);
                });
                return (SaveConvertedText(dir.File("list"), text), true);
            };
            const bool stopped = (c.asRoot ? InChild(save) : AsNobody(save)) == kStopped;
            fs::permissions(dir.Path(), fs::perms::owner_write, fs::perm_options::add);
            EXPECT_EQ(stopped,
                      c.renamed ? step != MidInPlace && step != TargetSynced : step != Renamed);

            const std::string now = ReadBytes(target);
            auto copies = CopiesIn(dir.Path());
            copies.merge(CopiesIn(temporary.Path()));
            EXPECT_TRUE(now == old || now == text ||
                        std::any_of(copies.begin(), copies.end(),
                                    [&](const auto& copy) { return copy.second == text; }));
            EXPECT_TRUE(!c.linked || fs::equivalent(target, dir.File("other.txt")));
            if (!stopped || step == Done) {
                EXPECT_TRUE(now == text);
                EXPECT_EQ(copies.size(), 0U);
            }
        }
    }
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
