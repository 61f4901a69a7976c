#include "core/Errors.h"
#include "core/platform/ErrorText.h"
#include "core/platform/Memory.h"
#include "core/platform/ReadFiles.h"
#include "core/platform/ReadSteps.h"
#include "core/platform/WriteFiles.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>
#include <windows.h>

// A playlist is opened for shared reading: other programs may read it meanwhile but not write
// it, and one that is being written cannot be opened. A text file is written under an exclusive
// handle: nobody else may open it until it is complete.

namespace skaldrun::platform {

namespace {

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) noexcept
        : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
    }
    HANDLE Get() const noexcept { return handle_; }
    bool Close() noexcept {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != 0;
    }

private:
    HANDLE handle_;
};

// ReadFile and WriteFile take at most a DWORD at a time.
constexpr std::size_t kMaxChunk = 1U << 30;

// A read in chunks a DWORD can count; the end of a pipe is the end of the text, any other failure
// is the open error with the system's reason.
auto Reader(HANDLE handle, const std::string& name) {
    return [handle, &name](char* destination, std::size_t size) -> std::size_t {
        DWORD got = 0;
        if (!::ReadFile(handle, destination, static_cast<DWORD>(std::min(size, kMaxChunk)), &got,
                        nullptr)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF)
                return 0;
            throw EFOpenError(name, ErrorText(static_cast<int>(error)));
        }
        return got;
    };
}

void WriteAll(HANDLE handle, std::string_view data) {
    while (!data.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min(data.size(), kMaxChunk));
        if (!::WriteFile(handle, data.data(), chunk, &written, nullptr) || written == 0)
            throw EWriteError();
        data.remove_prefix(written);
    }
}

void WriteAll(HANDLE handle, std::span<const std::string_view> data) {
    for (const std::string_view part : data)
        WriteAll(handle, part);
}

} // namespace

std::string FullPathName(std::string_view path) {
    const std::string name(path);
    const DWORD needed = ::GetFullPathNameA(name.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return name;
    std::string full(needed, '\0');
    const DWORD length = ::GetFullPathNameA(name.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return name;
    full.resize(length);
    return full;
}

std::string ErrorText(int code) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = length != 0 && text != nullptr ? std::string(text, length)
                                                        : "System error " + std::to_string(code);
    if (text != nullptr)
        ::LocalFree(text);
    while (!result.empty() &&
           (static_cast<unsigned char>(result.back()) <= ' ' || result.back() == '.'))
        result.pop_back();
    return result;
}

void ReadWholeFile(const std::string& path, std::size_t capacity,
                   const std::function<void(std::size_t)>& expect,
                   const std::function<void(std::string_view)>& step) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        throw EFOpenError(FullPathName(path), ErrorText(static_cast<int>(::GetLastError())));
    const std::string name = FullPathName(path);
    // Devices, pipes and consoles are not text files, and reading one might never end.
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK)
        throw EFOpenError(name, ErrorText(ERROR_INVALID_FUNCTION));
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size))
        throw EFOpenError(name, ErrorText(static_cast<int>(::GetLastError())));
    if (static_cast<unsigned long long>(size.QuadPart) > capacity)
        ThrowTextExceedsCapacity();
    expect(static_cast<std::size_t>(size.QuadPart));
    ReadSteps(Reader(file.Get(), name), capacity, step);
}

void ReadPieces(const std::string& name, const std::function<void(std::string_view)>& piece) {
    constexpr std::size_t kPiece = 256 * 1024;
    const bool standardInput = name == "-";
    FileHandle file(standardInput
                        ? INVALID_HANDLE_VALUE
                        : ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    HANDLE handle = ::GetStdHandle(STD_INPUT_HANDLE);
    std::string shown = name;
    if (!standardInput) {
        if (file.Get() == INVALID_HANDLE_VALUE)
            throw EFOpenError(FullPathName(name), ErrorText(static_cast<int>(::GetLastError())));
        handle = file.Get();
        shown = FullPathName(name);
    }
    auto read = Reader(handle, shown);
    const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
    for (std::size_t n = read(buffer.get(), kPiece); n != 0; n = read(buffer.get(), kPiece))
        piece(std::string_view(buffer.get(), n));
}

bool ReadFileAhead(const std::string& name, const std::function<bool(std::string_view)>& piece) {
    constexpr std::size_t kPiece = 256 * 1024;
    if (name == "-")
        return false;
    FileHandle file(::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE || ::GetFileType(file.Get()) != FILE_TYPE_DISK)
        return false;
    auto read = Reader(file.Get(), FullPathName(name));
    const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
    for (std::size_t n = read(buffer.get(), kPiece); n != 0; n = read(buffer.get(), kPiece))
        if (!piece(std::string_view(buffer.get(), n)))
            break;
    return true;
}

namespace {

// Writes over the target itself: for devices, and where the folder takes no new files.
void WriteInPlace(const std::string& path, std::span<const std::string_view> data) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        throw EFCreateError(FullPathName(path), ErrorText(static_cast<int>(::GetLastError())));
    WriteAll(file.Get(), data);
    if (!file.Close())
        throw EWriteError();
}

// Moves a file over target through the handle that wrote it, so that nobody can open the copy
// between its last write and its move (an indexer or a virus scanner that did would make the
// move fail).
bool RenameOpenFile(HANDLE file, const std::string& target) {
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, target.c_str(), -1, nullptr, 0);
    if (wide <= 0)
        return false;
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) +
                                      static_cast<std::size_t>(wide) * sizeof(WCHAR));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(wide - 1) * sizeof(WCHAR);
    ::MultiByteToWideChar(CP_ACP, 0, target.c_str(), -1, info->FileName, wide);
    return ::SetFileInformationByHandle(file, FileRenameInfo, info,
                                        static_cast<DWORD>(buffer.size())) != 0;
}

// The folder part of a full name, with its trailing separator.
std::string FolderOf(const std::string& full) {
    const std::size_t slash = full.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : full.substr(0, slash + 1);
}

// Creates a new file beside full, exclusive from its first moment (GetTempFileName would close
// it once before it is opened again), and names it in temporary.
HANDLE CreateCopyBeside(const std::string& full, std::string& temporary) {
    const std::string folder = FolderOf(full);
    DWORD unique = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 100; ++attempt, ++unique) {
        char name[16];
        std::snprintf(name, sizeof name, "skr%08lX.tmp", static_cast<unsigned long>(unique));
        temporary = folder + name;
        const HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

// A disk file is replaced in one step by a complete copy written beside it under an exclusive
// handle, so nobody opens a half-written text and a failed save leaves the old file as it was.
void WriteWholeFile(const std::string& path, std::span<const std::string_view> data, FifoReader) {
    const std::string full = FullPathName(path);
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        WriteInPlace(path, data); // fails with the system's reason
        return;
    }
    // Checked by name as well, since a rename would replace it whatever its attribute says.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        throw EFCreateError(full, ErrorText(ERROR_ACCESS_DENIED));
    // An existing file is held exclusively while its replacement is written: nobody opens it
    // meanwhile, and a program that holds it now stops the save with the system's reason.
    FileHandle held(exists ? ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr)
                           : INVALID_HANDLE_VALUE);
    if (exists && held.Get() == INVALID_HANDLE_VALUE)
        throw EFCreateError(full, ErrorText(static_cast<int>(::GetLastError())));
    std::string temporary;
    FileHandle file(CreateCopyBeside(full, temporary));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        if (exists)
            held.Close();
        WriteInPlace(path, data); // a device, or a folder that refuses new files
        return;
    }
    struct Remove {
        FileHandle& file;
        const std::string& name;
        bool placed = false;
        ~Remove() {
            if (placed)
                return;
            file.Close(); // our own exclusive handle would stop the delete
            ::DeleteFileA(name.c_str());
        }
    } remove{file, temporary};
    WriteAll(file.Get(), data);
    if (!::FlushFileBuffers(file.Get()))
        throw EWriteError();
    if (exists)
        held.Close();
    if (!RenameOpenFile(file.Get(), full))
        throw EFCreateError(full, ErrorText(static_cast<int>(::GetLastError())));
    remove.placed = true;
    if (!::FlushFileBuffers(file.Get()) || !file.Close())
        throw EWriteError();
}

// Held whole until Commit: the copy beside the target is written by WriteWholeFile.
struct OutputFile::State {
    std::string path;
    std::string text;
};

OutputFile::OutputFile(std::string path, FifoReader)
    : state_(std::make_unique<State>()) {
    state_->path = std::move(path);
}

OutputFile::~OutputFile() = default;

void OutputFile::Write(std::string_view data) {
    state_->text.append(data);
}

void OutputFile::Commit() {
    WriteWholeFile(state_->path, state_->text);
}

void IgnoreFileSizeSignal() noexcept {}

void WriteStandardOutput(std::string_view data) {
    WriteAll(::GetStdHandle(STD_OUTPUT_HANDLE), data);
}

void MapForWriting(char*, std::size_t) noexcept {}

} // namespace skaldrun::platform
