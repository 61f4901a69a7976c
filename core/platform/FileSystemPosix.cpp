#include "core/Errors.h"
#include "core/platform/FileSystem.h"
#include "core/platform/ReadToEnd.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/mman.h>
#include <sys/stat.h>
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

// Writes everything, retrying short writes; a write that makes no progress is a write error.
void WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EWriteError();
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace

void AdviseLargeBuffer(std::string& buffer) noexcept {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;
    if (buffer.capacity() < 2 * kHugePage)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + buffer.capacity()) & ~(kHugePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)buffer;
#endif
}

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

std::string ReadWholeFile(const std::string& path, std::size_t capacity, Readable kinds) {
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
    if (streams && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        const int flags = ::fcntl(file.Get(), F_GETFL);
        if (flags >= 0)
            ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
        const std::string name = FullPathName(path);
        return ReadToEnd(Reader(file.Get(), name), 0, capacity);
    }
    if (!S_ISREG(st.st_mode))
        throw EFOpenError(FullPathName(path), ErrorText(NotRegularFileError(st.st_mode)));
    const auto size = static_cast<std::uintmax_t>(st.st_size);
    if (size > capacity)
        ThrowTextExceedsCapacity();
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
    const std::string name = FullPathName(path);
    return ReadToEnd(Reader(file.Get(), name), static_cast<std::size_t>(size), capacity);
}

std::string ReadStandardInput(std::size_t capacity) {
    struct stat st {};
    std::size_t expected = 0;
    if (::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        expected = static_cast<std::size_t>(std::min<std::uintmax_t>(st.st_size, capacity + 1));
    if (expected > capacity)
        ThrowTextExceedsCapacity();
    const std::string name = "-";
    return ReadToEnd(Reader(STDIN_FILENO, name), expected, capacity);
}

namespace {

// Opens the target itself and writes over it: for devices and FIFOs, which must never be
// replaced, and for a writable file in a folder that takes no new files. Non-blocking, so that
// a FIFO without a reader fails at once instead of hanging.
void WriteInPlace(const std::string& path, std::string_view data) {
    FileDescriptor file(::open(
        path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    if (file.Get() < 0)
        throw EFCreateError(FullPathName(path), ErrorText(errno));
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
    WriteAll(file.Get(), data);
    if (::close(file.Release()) != 0 && errno != EINTR)
        throw EWriteError();
}

// The file a name stands for: a symbolic link is followed, so that the link stays and the file
// it points to is the one replaced.
std::string ResolveLinks(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
    return ec ? path : resolved.string();
}

// A temporary file beside the target that is removed unless it took the target's place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) {
        const std::filesystem::path t(target);
        std::string hidden = t.filename().string();
        hidden.insert(hidden.begin(), '.');
        hidden.append(".XXXXXX");
        name_ = (t.parent_path() / hidden).string();
        fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!placed_)
            ::unlink(name_.c_str());
    }
    bool Created() const noexcept { return fd_ >= 0; }
    int Get() const noexcept { return fd_; }
    // Flushed to the disk and closed: only then may it replace anything.
    void Finish() {
        if (::fsync(fd_) != 0 && errno != EINVAL)
            throw EWriteError();
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            throw EWriteError();
    }
    bool RenameTo(const std::string& target) noexcept {
        placed_ = ::rename(name_.c_str(), target.c_str()) == 0;
        return placed_;
    }

private:
    std::string name_;
    int fd_ = -1;
    bool placed_ = false;
};

mode_t NewFileMode() noexcept {
    const mode_t mask = ::umask(0); // the only way to read it; single-threaded here
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

// A regular file is replaced in one step by a complete copy written beside it, so a save that
// fails part way (a full disk, a size limit) leaves the old file as it was.
void WriteWholeFile(const std::string& path, std::string_view data) {
    const std::string target = ResolveLinks(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    struct stat link {};
    const bool dangling = !exists && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    if ((exists && !S_ISREG(st.st_mode)) || dangling) {
        WriteInPlace(path, data);
        return;
    }
    TemporaryFile temporary(target);
    if (!temporary.Created()) {
        WriteInPlace(path, data); // gives the reason the folder refuses, or writes the file
        return;
    }
    if (exists) {
        ::fchmod(temporary.Get(), st.st_mode & 07777);
        // Another owner's file that we may write: where it cannot be given back, the new one
        // is ours, as any file we create.
        [[maybe_unused]] const int given = ::fchown(temporary.Get(), st.st_uid, st.st_gid);
    } else {
        ::fchmod(temporary.Get(), NewFileMode());
    }
    WriteAll(temporary.Get(), data);
    temporary.Finish();
    if (!temporary.RenameTo(target))
        throw EFCreateError(FullPathName(path), ErrorText(errno));
}

void IgnoreFileSizeSignal() noexcept {
    std::signal(SIGXFSZ, SIG_IGN);
}

void WriteStandardOutput(std::string_view data) {
    WriteAll(STDOUT_FILENO, data);
}

} // namespace skaldrun::platform
