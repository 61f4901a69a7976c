#include "core/Errors.h"
#include "core/platform/FileSystem.h"
#include "core/platform/ReadSteps.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <random>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

// Windows locks a playlist against writers while it is read and a text file against everyone
// while it is written. POSIX files have no share modes, so nothing here locks: the read takes
// what is on disk at that moment and the write is as exclusive as the file system makes it.

namespace skaldrun::platform {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) noexcept
        : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int Get() const noexcept { return fd_; }
    // Closing is where some file systems report a failed write, so callers may ask.
    int Release() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Why a file that opened cannot be read as text; a folder says so, other kinds get the
// nearest reason the system has.
int NotRegularFileError(mode_t mode) noexcept {
    if (S_ISDIR(mode))
        return EISDIR;
    if (S_ISFIFO(mode) || S_ISSOCK(mode))
        return ESPIPE;
    return EINVAL;
}

// A read that retries interrupted calls; a failure is the open error with the system's reason.
auto Reader(int fd, const std::string& name) {
    return [fd, &name](char* destination, std::size_t size) -> std::size_t {
        for (;;) {
            const ssize_t n = ::read(fd, destination, size);
            if (n >= 0)
                return static_cast<std::size_t>(n);
            if (errno != EINTR)
                throw EFOpenError(name, ErrorText(errno));
        }
    };
}

using Parts = std::span<const std::string_view>;

// Writes everything, retrying short writes; a write that makes no progress is a write error.
void WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EWriteError(ErrorText(errno));
        if (n == 0)
            throw EWriteError();
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

void WriteAll(int fd, Parts data) {
    for (const std::string_view part : data)
        WriteAll(fd, part);
}

std::size_t SizeOf(Parts data) noexcept {
    std::size_t size = 0;
    for (const std::string_view part : data)
        size += part.size();
    return size;
}

} // namespace

std::string FullPathName(std::string_view path) {
    std::error_code ec;
    std::filesystem::path p(path);
    if (p.is_relative()) {
        const std::filesystem::path cwd = std::filesystem::current_path(ec);
        if (!ec)
            p = cwd / p;
    }
    return p.lexically_normal().string();
}

std::string ErrorText(int code) {
    std::string text = std::strerror(code);
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

void ReadPieces(const std::string& name, const std::function<void(std::string_view)>& piece) {
    constexpr std::size_t kPiece = 256 * 1024; // a few system calls a megabyte, held in cache
    const bool standardInput = name == "-";
    // A FIFO waits for its writer, as the shell's "<" does; nothing else may block the open.
    struct stat named {};
    const bool fifo =
        !standardInput && ::stat(name.c_str(), &named) == 0 && S_ISFIFO(named.st_mode);
    FileDescriptor file(standardInput ? -1
                                      : ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY |
                                                                 (fifo ? 0 : O_NONBLOCK)));
    int fd = STDIN_FILENO;
    std::string shown = name;
    if (!standardInput) {
        if (file.Get() < 0)
            throw EFOpenError(FullPathName(name), ErrorText(errno));
        struct stat st {};
        if (::fstat(file.Get(), &st) != 0)
            throw EFOpenError(FullPathName(name), ErrorText(errno));
        if (S_ISDIR(st.st_mode))
            throw EFOpenError(FullPathName(name), ErrorText(NotRegularFileError(st.st_mode)));
        const int flags = ::fcntl(file.Get(), F_GETFL);
        if (flags >= 0)
            ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
        fd = file.Get();
        shown = FullPathName(name);
    }
    auto read = Reader(fd, shown);
    const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
    for (std::size_t n = read(buffer.get(), kPiece); n != 0; n = read(buffer.get(), kPiece))
        piece(std::string_view(buffer.get(), n));
}

void ReadWholeFile(const std::string& path, std::size_t capacity, Readable kinds,
                   const std::function<void(std::size_t)>& expect,
                   const std::function<void(std::string_view)>& step) {
    const bool streams = kinds == Readable::AnyStream;
    // Non-blocking, so that a FIFO without a writer cannot hang the open; where the user asks
    // for a stream, a FIFO (a pipe named as /dev/stdin or /dev/fd/N too) waits for its writer.
    struct stat named {};
    const bool fifo = streams && ::stat(path.c_str(), &named) == 0 && S_ISFIFO(named.st_mode);
    FileDescriptor file(
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (fifo ? 0 : O_NONBLOCK)));
    if (file.Get() < 0)
        throw EFOpenError(FullPathName(path), ErrorText(errno));
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0)
        throw EFOpenError(FullPathName(path), ErrorText(errno));
    std::size_t expected = 0;
    if (!streams || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
        if (!S_ISREG(st.st_mode))
            throw EFOpenError(FullPathName(path), ErrorText(NotRegularFileError(st.st_mode)));
        const auto size = static_cast<std::uintmax_t>(st.st_size);
        if (size > capacity)
            ThrowTextExceedsCapacity();
        expected = static_cast<std::size_t>(size);
    }
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
    const std::string name = FullPathName(path);
    expect(expected);
    ReadSteps(Reader(file.Get(), name), capacity, step);
}

namespace {

[[noreturn]] void ThrowWriteError(int code) {
    throw EWriteError(code != 0 ? ErrorText(code) : std::string());
}

// Closing is where some file systems report a write that was lost.
void CloseChecked(FileDescriptor& file) {
    if (::close(file.Release()) != 0 && errno != EINTR)
        ThrowWriteError(errno);
}

void ClearNonBlocking(int fd) noexcept {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

// Writes through the name itself: a new file where no copy can be placed beside it, and the
// file a dangling link names, which is created and keeps its link. Non-blocking, so that a FIFO
// that appeared meanwhile without a reader fails at once instead of hanging.
void WriteThroughName(const std::string& path, Parts data) {
    FileDescriptor file(::open(
        path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    if (file.Get() < 0)
        throw EFCreateError(FullPathName(path), ErrorText(errno));
    ClearNonBlocking(file.Get());
    WriteAll(file.Get(), data);
    CloseChecked(file);
}

// Writes over an existing regular file opened without truncating. The new length is reserved
// first, so a full disk, a quota or a size limit stops the save before any old byte changes.
void OverwriteInPlace(FileDescriptor& file, Parts data) {
    const int fd = file.Get();
    rlimit limit{};
    const std::size_t size = SizeOf(data);
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        size > limit.rlim_cur)
        ThrowWriteError(EFBIG);
    if (size != 0) {
        const int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
        if (reserved != 0 && reserved != EOPNOTSUPP && reserved != ENOSYS)
            ThrowWriteError(reserved);
    }
    std::size_t offset = 0;
    for (const std::string_view part : data) {
        for (std::size_t done = 0; done < part.size();) {
            const ssize_t n = ::pwrite(fd, part.data() + done, part.size() - done,
                                       static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ThrowWriteError(n < 0 ? errno : 0);
            done += static_cast<std::size_t>(n);
        }
        offset += part.size();
    }
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0)
        ThrowWriteError(errno);
    if (::fsync(fd) != 0 && errno != EINVAL)
        ThrowWriteError(errno);
    CloseChecked(file);
}

// The file a name stands for: a symbolic link is followed, so that the link stays and the file
// it points to is the one replaced.
std::string ResolveLinks(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
    return ec ? path : resolved.string();
}

// A new file beside the target, created as open(O_CREAT) creates any file, so the umask and
// the folder's default ACL shape its mode; removed unless it took the target's place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) {
        const std::filesystem::path t(target);
        std::string stem(1, '.');
        stem.append(t.filename().string()).push_back('.');
        std::random_device random;
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            name_ = (t.parent_path() / (stem + std::to_string(random() % 1000000000U))).string();
            fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            if (fd_ < 0 && errno != EEXIST)
                break;
        }
        created_ = fd_ >= 0;
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (created_ && !placed_)
            ::unlink(name_.c_str());
    }
    bool Created() const noexcept { return fd_ >= 0; }
    int Get() const noexcept { return fd_; }
    // Flushed to the disk and closed: only then may it replace anything.
    void Finish() {
        if (::fsync(fd_) != 0 && errno != EINVAL)
            ThrowWriteError(errno);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            ThrowWriteError(errno);
    }
    bool RenameTo(const std::string& target) noexcept {
        placed_ = ::rename(name_.c_str(), target.c_str()) == 0;
        return placed_;
    }

private:
    std::string name_;
    int fd_ = -1;
    bool created_ = false;
    bool placed_ = false;
};

// Gives the copy the target's mode, owner and group; false where any of them cannot be given
// back, since the rename would then change more than the file's bytes.
bool TakeOverAttributes(int copy, const struct stat& target) noexcept {
    [[maybe_unused]] const int owned = ::fchown(copy, target.st_uid, target.st_gid);
    ::fchmod(copy, target.st_mode & 07777); // after chown, which may clear set-id bits
    struct stat st {};
    return ::fstat(copy, &st) == 0 && st.st_uid == target.st_uid && st.st_gid == target.st_gid &&
           (st.st_mode & 07777) == (target.st_mode & 07777);
}

// Gives the copy the target's extended attributes, POSIX ACLs among them; false where any
// cannot be read or given, since the rename would then lose it.
bool TakeOverExtendedAttributes(int copy, const std::string& target) {
    ssize_t size = ::listxattr(target.c_str(), nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP;
    std::string names(static_cast<std::size_t>(size), '\0');
    size = ::listxattr(target.c_str(), names.data(), names.size());
    if (size < 0)
        return false;
    names.resize(static_cast<std::size_t>(size));
    std::string value;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        const ssize_t length = ::getxattr(target.c_str(), name, nullptr, 0);
        if (length < 0)
            return false;
        value.resize(static_cast<std::size_t>(length));
        const ssize_t got = ::getxattr(target.c_str(), name, value.data(), value.size());
        if (got < 0 || ::fsetxattr(copy, name, value.data(), static_cast<std::size_t>(got), 0) != 0)
            return false;
    }
    return true;
}

// Writes a complete copy beside the target and renames it into place. False, with the target
// untouched, where the folder takes no copy or refuses the rename, or the copy would not be
// the target's equal; a failed write of the copy is a write error.
bool ReplaceByRename(const std::string& target, const struct stat* existing, Parts data) {
    TemporaryFile temporary(target);
    if (!temporary.Created())
        return false;
    if (existing != nullptr && (!TakeOverAttributes(temporary.Get(), *existing) ||
                                !TakeOverExtendedAttributes(temporary.Get(), target)))
        return false;
    WriteAll(temporary.Get(), data);
    temporary.Finish();
    return temporary.RenameTo(target);
}

} // namespace

// Only a rename replaces a file in one step, so a save that fails part way leaves the old file
// as it was; it is taken where the new file is in every respect but its bytes the old one.
// Elsewhere (hard links, another owner's file, a sticky or read-only folder) the file is
// written in place, with its space reserved first.
void WriteWholeFile(const std::string& path, Parts data, FifoReader reader) {
    const std::string target = ResolveLinks(path);
    struct stat named {};
    if (reader == FifoReader::IsWaitedFor && ::stat(target.c_str(), &named) == 0 &&
        S_ISFIFO(named.st_mode)) {
        FileDescriptor fifo(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
        if (fifo.Get() < 0)
            throw EFCreateError(FullPathName(path), ErrorText(errno));
        WriteAll(fifo.Get(), data);
        CloseChecked(fifo);
        return;
    }
    FileDescriptor file(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.Get() < 0 && errno != ENOENT)
        throw EFCreateError(FullPathName(path), ErrorText(errno));
    if (file.Get() < 0) {
        struct stat link {};
        const bool dangling = ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        if (dangling || !ReplaceByRename(target, nullptr, data))
            WriteThroughName(path, data); // writes, or gives the reason the folder refuses
        return;
    }
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0)
        throw EFCreateError(FullPathName(path), ErrorText(errno));
    ClearNonBlocking(file.Get());
    if (!S_ISREG(st.st_mode)) { // a device or a FIFO with a reader
        WriteAll(file.Get(), data);
        CloseChecked(file);
        return;
    }
    // Read-only as its owner marked it, which root's rights do not override.
    if ((st.st_mode & 0222) == 0)
        throw EFCreateError(FullPathName(path), ErrorText(EACCES));
    if (st.st_nlink == 1 && ReplaceByRename(target, &st, data))
        return;
    OverwriteInPlace(file, data);
}

void IgnoreFileSizeSignal() noexcept {
    std::signal(SIGXFSZ, SIG_IGN);
}

void WriteStandardOutput(std::string_view data) {
    WriteAll(STDOUT_FILENO, data);
}

void MapForWriting(char* data, std::size_t size) noexcept {
#ifdef MADV_POPULATE_WRITE
    // Below a few pages the faults cost less than the call.
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(page - 1);
    if (end > begin && end - begin >= 16 * page)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)size;
#endif
}

} // namespace skaldrun::platform
