// What only Windows can show: share modes, full Windows paths and the system's own texts.

#include "TestSupport.h"
#include "core/Errors.h"
#include "core/TextFiles.h"
#include "core/platform/ErrorText.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <windows.h>

namespace skaldrun {
namespace {

using test::MessageOf;
using test::ReadBytes;
using test::TempDir;

class OtherHandle {
public:
    OtherHandle(const std::string& path, DWORD access, DWORD share)
        : handle_(::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~OtherHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
    }
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

std::string Reason(DWORD code) {
    return platform::ErrorText(static_cast<int>(code));
}

TEST(WindowsFiles, APlaylistBeingWrittenCannotBeOpened) {
    TempDir dir;
    const std::string path = dir.Write("busy.m3u", "#EXTM3U\r\n");
    const OtherHandle writer(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(writer.IsOpen());
    EXPECT_EQ(MessageOf<EFOpenError>([&] { ReadTextFile(path); }),
              "Cannot open file \"" + platform::FullPathName(path) + "\". " +
                  Reason(ERROR_SHARING_VIOLATION));
}

TEST(WindowsFiles, OtherReadersDoNotStopAReadButStopASave) {
    TempDir dir;
    const std::string path = dir.Write("shared.m3u", "#EXTM3U\n");
    const OtherHandle reader(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(ReadTextFile(path), "#EXTM3U\r\n");

    // A file held open by someone else cannot be opened exclusively for writing.
    const std::string target = dir.Write("held.txt", "keep me");
    const OtherHandle holder(target, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(holder.IsOpen());
    EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveConvertedText(dir.File("held"), "new"); }),
              "Cannot create file \"" + platform::FullPathName(target) + "\". " +
                  Reason(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadBytes(target), "keep me");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              2); // the playlist and the held file: no copy left beside them
}

TEST(WindowsFiles, AReadOnlyFileIsNotReplaced) {
    TempDir dir;
    const std::string target = dir.Write("ro.txt", "keep me");
    ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveConvertedText(dir.File("ro"), "new"); }),
              "Cannot create file \"" + platform::FullPathName(target) + "\". " +
                  Reason(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(target), "keep me");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
    ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL); // so the folder can go
}

TEST(WindowsFiles, NobodyOpensATextFileWhileItIsSaved) {
    TempDir dir;
    // Another program keeps trying to open the file while a large text is saved; it must meet a
    // sharing violation at least once. A machine too fast to catch the save gets a larger text.
    for (std::size_t size = std::size_t{16} << 20; size <= std::size_t{256} << 20; size *= 2) {
        const std::string chosen = dir.File("big" + std::to_string(size));
        const std::string target = chosen + ".txt";
        std::atomic<bool> done{false};
        std::thread saver([&] {
            SaveConvertedText(chosen, std::string(size, 'x'));
            done = true;
        });
        // The text is written beside the target first, so the other program tries every file
        // in the folder; whatever it opens under the target's name is complete.
        bool refused = false;
        bool partial = false;
        while (!done && !refused) {
            WIN32_FIND_DATAA found{};
            const HANDLE search = ::FindFirstFileA(dir.File("*").c_str(), &found);
            if (search == INVALID_HANDLE_VALUE)
                continue;
            do {
                const std::string name = dir.File(found.cFileName);
                const HANDLE other =
                    ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                if (other == INVALID_HANDLE_VALUE) {
                    refused = refused || ::GetLastError() == ERROR_SHARING_VIOLATION;
                    continue;
                }
                LARGE_INTEGER length{};
                if (name == target && ::GetFileSizeEx(other, &length) &&
                    static_cast<std::size_t>(length.QuadPart) != size)
                    partial = true;
                ::CloseHandle(other);
            } while (::FindNextFileA(search, &found));
            ::FindClose(search);
        }
        saver.join();
        EXPECT_FALSE(partial);
        if (refused)
            return;
    }
    FAIL() << "no open attempt ever met the save's exclusive handle";
}

TEST(WindowsFiles, MessagesCarryFullWindowsPaths) {
    TempDir dir;
    const std::string full = platform::FullPathName(dir.File("missing.m3u"));
    ASSERT_GE(full.size(), 3U);
    EXPECT_EQ(full[1], ':');
    EXPECT_EQ(full[2], '\\');
    EXPECT_EQ(MessageOf<EFOpenError>([&] { ReadTextFile(dir.File("missing.m3u")); }),
              "Cannot open file \"" + full + "\". " + Reason(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveConvertedText(dir.File("no\\list"), "x"); }),
              "Cannot create file \"" + platform::FullPathName(dir.File("no\\list.txt")) + "\". " +
                  Reason(ERROR_PATH_NOT_FOUND));
    // The reason never ends in a period, a blank or a line break of its own.
    const std::string reason = Reason(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(reason.empty());
    EXPECT_NE(reason.back(), '.');
    EXPECT_GT(static_cast<unsigned char>(reason.back()), ' ');
}

TEST(WindowsFiles, ReadsAndSavesBytesUnchanged) {
    TempDir dir;
    const std::string path = dir.Write("p.m3u", "#EXTM3U\n#EXTINF:1,\xCA\xE8\r");
    EXPECT_EQ(ReadTextFile(path), "#EXTM3U\r\n#EXTINF:1,\xCA\xE8\r\n");
    SaveConvertedText(dir.File("out"), "1.\xCA\xE8  <0:01>\r\n");
    EXPECT_EQ(ReadBytes(dir.File("out.txt")), "1.\xCA\xE8  <0:01>\r\n");
    dir.Write("long.txt", std::string(500, 'x'));
    SaveConvertedText(dir.File("long"), "short");
    EXPECT_EQ(ReadBytes(dir.File("long.txt")), "short");
}

} // namespace
} // namespace skaldrun
