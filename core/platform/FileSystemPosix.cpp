#include "core/Errors.h"
#include "core/TextFiles.h"
#include "core/platform/ErrorText.h"
#include "core/platform/Memory.h"
#include "core/platform/ReadFiles.h"
#include "core/platform/ReadSteps.h"
#include "core/platform/SaveSteps.h"
#include "core/platform/WriteFiles.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <linux/capability.h>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

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
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0)
                ::close(fd_);
            fd_ = other.Release();
        }
        return *this;
    }
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

// The system's reason is taken first: making the name absolute may change errno.
template <typename Error>
[[noreturn]] void ThrowWithReason(const std::string& name) {
    const int error = errno;
    throw Error(FullPathName(name), ErrorText(error));
}

// Why a file that opened cannot be read as text; a folder says so, other kinds get the
// nearest reason the system has.
int NotRegularFileError(mode_t mode) noexcept {
    if (S_ISDIR(mode))
        return EISDIR;
    if (S_ISFIFO(mode) || S_ISSOCK(mode))
        return ESPIPE;
    return EINVAL;
}

// Whether name is a regular file, learnt without opening it: even a non-blocking open of a FIFO
// releases its waiting writer, whose bytes are lost when that open is closed unread.
bool NamesRegularFile(const std::string& name) noexcept {
    struct stat named {};
    return ::stat(name.c_str(), &named) == 0 && S_ISREG(named.st_mode);
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

// Writes what it can of data, retrying short writes; returns how much, with the system's error
// code where it stopped early (EIO where a write made no progress).
std::size_t WriteSome(int fd, std::string_view data, int& error) noexcept {
    std::size_t done = 0;
    error = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void WriteAll(int fd, std::string_view data) {
    int error = 0;
    WriteSome(fd, data, error);
    if (error != 0)
        throw EWriteError(ErrorText(error));
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
            ThrowWithReason<EFOpenError>(name);
        struct stat st {};
        if (::fstat(file.Get(), &st) != 0)
            ThrowWithReason<EFOpenError>(name);
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

bool ReadFileAhead(const std::string& name, const std::function<bool(std::string_view)>& piece) {
    constexpr std::size_t kPiece = 256 * 1024;
    if (name == "-" || !NamesRegularFile(name))
        return false;
    // Non-blocking, so that a FIFO put in the file's place meanwhile cannot hang the open.
    FileDescriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    auto read = Reader(file.Get(), FullPathName(name));
    const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
    for (std::size_t n = read(buffer.get(), kPiece); n != 0; n = read(buffer.get(), kPiece))
        if (!piece(std::string_view(buffer.get(), n)))
            break;
    return true;
}

void ReadWholeFile(const std::string& path, std::size_t capacity,
                   const std::function<void(std::size_t)>& expect,
                   const std::function<void(std::string_view)>& step) {
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode))
        throw EFOpenError(FullPathName(path), ErrorText(NotRegularFileError(named.st_mode)));
    // Non-blocking, so that a FIFO put in the file's place meanwhile cannot hang the open.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0)
        ThrowWithReason<EFOpenError>(path);
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0)
        ThrowWithReason<EFOpenError>(path);
    if (!S_ISREG(st.st_mode))
        throw EFOpenError(FullPathName(path), ErrorText(NotRegularFileError(st.st_mode)));
    const auto size = static_cast<std::uintmax_t>(st.st_size);
    if (size > capacity)
        ThrowTextExceedsCapacity();
    const auto expected = static_cast<std::size_t>(size);
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

// EINVAL: a kind of file that keeps nothing to flush.
void SyncChecked(int fd) {
    if (::fsync(fd) != 0 && errno != EINVAL)
        ThrowWriteError(errno);
}

// A folder's names flushed to the disk, so that one given or replaced there outlives a power
// cut. A folder that may be written but not read cannot be opened for it and is left as it is.
void SyncFolder(const std::filesystem::path& folder) {
    FileDescriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        SyncChecked(dir.Get());
}

std::function<void(SaveStep)>& StepHook() {
    static std::function<void(SaveStep)> hook;
    return hook;
}

void Step(SaveStep step) {
    if (const auto& hook = StepHook())
        hook(step);
}

constexpr std::size_t kCopyPiece = 256 * 1024;

// The list in memory where no disk takes a copy of it, up to what a view holds; in parts that are
// never moved, so that it never takes twice its size while it grows.
class HeldBytes {
public:
    static_assert(kViewCapacity == std::size_t{256} * 1024 * 1024, "ECopyTooLarge names it");

    static bool Fits(std::uint64_t size) noexcept { return size <= kViewCapacity; }
    void Append(std::string_view data, const std::string& path) {
        if (!Fits(size_ + data.size()))
            throw ECopyTooLarge(FullPathName(path));
        size_ += data.size();
        while (!data.empty()) {
            if (parts_.empty() || parts_.back().size() == kPart) {
                parts_.emplace_back();
                parts_.back().reserve(kPart);
            }
            std::string& part = parts_.back();
            const std::size_t n = std::min(data.size(), kPart - part.size());
            part.append(data.substr(0, n));
            data.remove_prefix(n);
        }
    }
    std::span<const std::string> Parts() const noexcept { return parts_; }

private:
    static constexpr std::size_t kPart = 1024 * 1024;
    std::vector<std::string> parts_;
    std::uint64_t size_ = 0;
};

// The bytes written so far, read back a piece at a time: from a copy on disk, or where no file
// would take one, from memory.
struct WrittenBytes {
    int fd = -1;
    std::span<const std::string> held;
    std::uint64_t size = 0;

    template <typename OnPiece>
    void ForEachPiece(OnPiece&& piece) const {
        if (fd < 0) {
            std::uint64_t at = 0;
            for (const std::string& part : held)
                at += part.size();
            if (at != size)
                ThrowWriteError(EIO);
            at = 0;
            for (const std::string& part : held) {
                piece(std::string_view(part), at);
                at += part.size();
            }
            return;
        }
        const auto buffer = std::make_unique_for_overwrite<char[]>(kCopyPiece);
        for (std::uint64_t at = 0; at < size;) {
            const ssize_t n = ::pread(fd, buffer.get(), kCopyPiece, static_cast<off_t>(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ThrowWriteError(n < 0 ? errno : EIO);
            piece(std::string_view(buffer.get(), static_cast<std::size_t>(n)), at);
            at += static_cast<std::uint64_t>(n);
        }
    }
};

// Writes through the name itself: a new file where no copy can be placed beside it, and the
// file a dangling link names, which is created and keeps its link. Non-blocking, so that a FIFO
// that appeared meanwhile without a reader fails at once instead of hanging. touched: a file
// was made.
void WriteThroughName(const std::string& path, const WrittenBytes& bytes, bool& touched) {
    FileDescriptor file(::open(
        path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    if (file.Get() < 0)
        ThrowWithReason<EFCreateError>(path);
    touched = true;
    ClearNonBlocking(file.Get());
    bytes.ForEachPiece([&](std::string_view piece, std::uint64_t) { WriteAll(file.Get(), piece); });
    SyncChecked(file.Get());
    CloseChecked(file);
}

// Writes over an existing regular file opened without truncating. The new length is reserved
// first, past the old end without moving it, so a full disk, a quota or a size limit stops the
// save before the file changes at all. touched: some of its bytes or its length changed.
void OverwriteInPlace(FileDescriptor& file, const WrittenBytes& bytes, bool& touched) {
    const int fd = file.Get();
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        bytes.size > limit.rlim_cur)
        ThrowWriteError(EFBIG);
    if (bytes.size != 0) {
        int reserved = 0;
        do
            reserved = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes.size));
        while (reserved != 0 && errno == EINTR);
        if (reserved != 0 && errno != EOPNOTSUPP && errno != ENOSYS)
            ThrowWriteError(errno);
    }
    bytes.ForEachPiece([&](std::string_view piece, std::uint64_t offset) {
        touched = true;
        for (std::size_t done = 0; done < piece.size();) {
            const ssize_t n = ::pwrite(fd, piece.data() + done, piece.size() - done,
                                       static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ThrowWriteError(n < 0 ? errno : 0);
            done += static_cast<std::size_t>(n);
        }
        if (offset == 0)
            Step(SaveStep::MidInPlace);
    });
    touched = true;
    if (::ftruncate(fd, static_cast<off_t>(bytes.size)) != 0)
        ThrowWriteError(errno);
    SyncChecked(fd);
    CloseChecked(file);
}

// The file a name stands for: a symbolic link is followed, so that the link stays and the file
// it points to is the one replaced.
std::string ResolveLinks(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
    return ec ? path : resolved.string();
}

// A new file for the list in a folder, created as open(O_CREAT) creates any file, so the umask
// and the folder's default ACL shape its mode. Nameless while it is written where the file
// system allows, so that a conversion stopped by a signal leaves nothing behind; named
// .NAME.XXXXXX once whole, and removed when dropped unless it took the target's place or is kept.
class TemporaryFile {
public:
    TemporaryFile(std::filesystem::path folder, std::string leaf, mode_t mode)
        : folder_(std::move(folder))
        , leaf_(std::move(leaf)) {
        fd_ = ::open(folder_.empty() ? "." : folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        // Without /proc it could not be named later, as a user without privileges names it.
        if (fd_ >= 0 && ::access(SelfLink().c_str(), F_OK) != 0)
            ::close(std::exchange(fd_, -1));
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            name_ = RandomName();
            fd_ = ::open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
            if (fd_ < 0 && errno != EEXIST)
                break;
        }
        if (fd_ < 0)
            name_.clear();
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!name_.empty() && !placed_ && !kept_)
            ::unlink(name_.c_str());
    }
    bool Created() const noexcept { return fd_ >= 0; }
    int Get() const noexcept { return fd_; }
    const std::filesystem::path& Folder() const noexcept { return folder_; }
    const std::string& Name() const noexcept { return name_; }

    // Flushed to the disk, named, and closed for writing (where some file systems report a lost
    // write) with its bytes still readable: only then may it replace the target or be copied
    // into it. False where it cannot be named; a failed flush or close is a write error.
    bool Finish() {
        if (!synced_) {
            SyncChecked(fd_);
            synced_ = true;
            Step(SaveStep::CopySynced);
        }
        if (name_.empty() && !GiveName())
            return false;
        if (!closed_) {
            FileDescriptor reading(::dup(fd_));
            if (reading.Get() < 0)
                ThrowWriteError(errno);
            FileDescriptor writing(std::exchange(fd_, reading.Release()));
            closed_ = true;
            CloseChecked(writing);
        }
        return true;
    }
    bool RenameTo(const std::string& target) noexcept {
        placed_ = ::rename(name_.c_str(), target.c_str()) == 0;
        return placed_;
    }
    void Keep() noexcept { kept_ = true; }

private:
    std::string SelfLink() const { return "/proc/self/fd/" + std::to_string(fd_); }
    std::string RandomName() const {
        static std::random_device random;
        static constexpr std::string_view kLetters =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::string leaf = "." + leaf_ + ".";
        for (int letter = 0; letter < 6; ++letter)
            leaf.push_back(kLetters[random() % kLetters.size()]);
        return (folder_ / leaf).string();
    }
    // Through /proc, as any user may; AT_EMPTY_PATH needs a privilege.
    bool GiveName() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = RandomName();
            if (::linkat(AT_FDCWD, SelfLink().c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) ==
                    0 ||
                ::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) {
                name_ = std::move(name);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    std::filesystem::path folder_;
    std::string leaf_;
    std::string name_;
    int fd_ = -1;
    bool synced_ = false;
    bool closed_ = false;
    bool placed_ = false;
    bool kept_ = false;
};

// Attributes in the trusted namespace are listed only to a process with CAP_SYS_ADMIN.
bool SeesEveryAttribute() noexcept {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return (data[CAP_TO_INDEX(CAP_SYS_ADMIN)].effective & CAP_TO_MASK(CAP_SYS_ADMIN)) != 0;
}

// The names of a file's extended attributes, each ended by a NUL; false where they cannot be
// listed.
template <typename List>
bool AttributeNames(List&& list, std::string& names) {
    for (;;) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0)
            return false;
        names.resize(static_cast<std::size_t>(size));
        const ssize_t got = list(names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE) // ERANGE: one was added meanwhile
            return false;
    }
}

template <typename OnName>
void ForEachName(const std::string& names, OnName&& name) {
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1)
        name(names.c_str() + at);
}

bool Listed(const std::string& names, std::string_view name) {
    bool found = false;
    ForEachName(names, [&](const char* listed) { found = found || name == listed; });
    return found;
}

// Gives the copy exactly the target's extended attributes that this process can list, POSIX ACLs
// among them: what the copy took from its folder (a default ACL) goes. False where any listed one
// cannot be read or given, since the rename would then add or lose it.
bool TakeOverExtendedAttributes(int copy, const std::string& target) {
    if (::listxattr(target.c_str(), nullptr, 0) < 0 && errno == ENOTSUP)
        return true; // the file system keeps none
    std::string names;
    std::string own;
    if (!AttributeNames(
            [&](char* list, std::size_t size) { return ::listxattr(target.c_str(), list, size); },
            names) ||
        !AttributeNames(
            [&](char* list, std::size_t size) { return ::flistxattr(copy, list, size); }, own))
        return false;
    bool given = true;
    ForEachName(own, [&](const char* name) {
        given = given && (Listed(names, name) || ::fremovexattr(copy, name) == 0);
    });
    std::string value;
    ForEachName(names, [&](const char* name) {
        if (!given)
            return;
        const ssize_t length = ::getxattr(target.c_str(), name, nullptr, 0);
        value.resize(static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
        const ssize_t got =
            length < 0 ? -1 : ::getxattr(target.c_str(), name, value.data(), value.size());
        given = got >= 0 &&
                ::fsetxattr(copy, name, value.data(), static_cast<std::size_t>(got), 0) == 0;
    });
    return given;
}

// Gives the copy everything of the target's but its bytes: owner and group, extended
// attributes, mode (last, as chown may clear set-id bits and an ACL carries the group's bits);
// false where any of them cannot be given back, since the rename would then change more than
// the file's bytes.
bool TakeOverAttributes(int copy, const std::string& target, const struct stat& st) {
    [[maybe_unused]] const int owned = ::fchown(copy, st.st_uid, st.st_gid);
    if (!TakeOverExtendedAttributes(copy, target))
        return false;
    ::fchmod(copy, st.st_mode & 07777);
    struct stat now {};
    return ::fstat(copy, &now) == 0 && now.st_uid == st.st_uid && now.st_gid == st.st_gid &&
           (now.st_mode & 07777) == (st.st_mode & 07777);
}

} // namespace

void OnSaveStep(std::function<void(SaveStep)> hook) {
    StepHook() = std::move(hook);
}

// The target opened for writing, without blocking on a FIFO, and what it is; none where it does
// not exist. A file read-only as its owner marked it is refused, which root's rights do not
// override.
struct Target {
    FileDescriptor file{-1};
    struct stat st {};

    Target(const std::string& target, const std::string& path) {
        file = FileDescriptor(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        int error = file.Get() < 0 ? errno : 0;
        if (error == 0 && ::fstat(file.Get(), &st) != 0)
            error = errno;
        if (error == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)
            error = EACCES;
        if (error != 0 && error != ENOENT)
            throw EFCreateError(FullPathName(path), ErrorText(error));
        if (error == 0)
            ClearNonBlocking(file.Get());
    }
    bool Exists() const noexcept { return file.Get() >= 0; }
    bool Regular() const noexcept { return Exists() && S_ISREG(st.st_mode); }
};

// The named file, and where the new bytes go until Commit: straight on for a FIFO or a device;
// for a regular file, a copy beside it, or where the folder takes none, one in the temporary
// folder, or as a last resort (neither takes one, or the temporary folder fills up) memory.
struct OutputFile::State {
    std::string path;
    FifoReader reader;
    bool open = false;
    std::string target; // links followed
    FileDescriptor direct{-1};
    bool dangling = false;
    std::optional<TemporaryFile> copy;
    bool beside = false; // the copy is in the target's folder
    HeldBytes held;
    std::uint64_t size = 0;

    void Open();
    void Write(std::string_view data);
    bool ReplaceByRename(const Target& now);
    void WriteIntoTarget(Target& now);
};

void OutputFile::State::Open() {
    target = ResolveLinks(path);
    struct stat named {};
    if (reader == FifoReader::IsWaitedFor && ::stat(target.c_str(), &named) == 0 &&
        S_ISFIFO(named.st_mode)) {
        direct = FileDescriptor(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
        if (direct.Get() < 0) {
            const int error = errno;
            throw EFCreateError(FullPathName(path), ErrorText(error));
        }
        open = true;
        return;
    }
    Target first(target, path);               // what cannot be written fails before any conversion
    if (first.Exists() && !first.Regular()) { // a device or a FIFO with a reader
        direct = std::move(first.file);
        open = true;
        return;
    }
    struct stat link {};
    dangling = !first.Exists() && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    const std::filesystem::path file(target);
    const std::string leaf = file.filename().string();
    if (!dangling) {
        // Only its owner may see the copy of a file that others may not.
        copy.emplace(file.parent_path(), leaf, first.Exists() ? 0600 : 0666);
        beside = copy->Created();
    }
    if (!beside) {
        copy.reset();
        // /var/tmp before /tmp, which is often in memory: a copy kept for a power cut outlives one.
        const char* const folders[] = {std::getenv("TMPDIR"), "/var/tmp", "/tmp"};
        for (const char* folder : folders) {
            if (folder == nullptr || *folder == '\0')
                continue;
            copy.emplace(folder, leaf, 0600);
            if (copy->Created())
                break;
            copy.reset();
        }
    }
    open = true;
}

void OutputFile::State::Write(std::string_view data) {
    if (direct.Get() >= 0) {
        WriteAll(direct.Get(), data);
    } else if (!copy) {
        held.Append(data, path);
    } else if (beside) {
        WriteAll(copy->Get(), data);
    } else {
        // The temporary folder's disk is not the target's: full, it hands the copy to memory.
        int error = 0;
        const std::size_t done = WriteSome(copy->Get(), data, error);
        if (error != 0 && error != ENOSPC && error != EDQUOT)
            ThrowWriteError(error);
        if (error != 0) {
            if (!HeldBytes::Fits(size + data.size()))
                throw ECopyTooLarge(FullPathName(path));
            WrittenBytes{copy->Get(), {}, size + done}.ForEachPiece(
                [this](std::string_view piece, std::uint64_t) { held.Append(piece, path); });
            copy.reset();
            held.Append(data.substr(done), path);
        }
    }
    size += data.size();
}

// Only a rename replaces a file in one step. It is taken where the copy is, in all this process
// can see, the file it replaces but for its bytes. A process that cannot list every attribute
// takes it only for a file of its own, whose trusted ones (never listed to it) are lost as they
// are with cp; another user's file would lose those of its owner.
bool OutputFile::State::ReplaceByRename(const Target& now) {
    if (!copy || !beside || dangling)
        return false;
    if (now.Exists() && (!now.Regular() || now.st.st_nlink != 1 ||
                         (!SeesEveryAttribute() && now.st.st_uid != ::geteuid()) ||
                         !TakeOverAttributes(copy->Get(), target, now.st)))
        return false;
    if (!copy->Finish())
        return false;
    Step(SaveStep::CopyNamed);
    if (!copy->RenameTo(target))
        return false;
    Step(SaveStep::Renamed);
    SyncFolder(copy->Folder());
    return true;
}

// Where a rename would change what the file is (hard links, another user's file, a group or an
// attribute the copy cannot take, a folder that takes no new name) the list is written in place.
// The whole list keeps a name in its copy until the target holds it on disk, so a kill or a power
// cut meanwhile leaves the target whole or that copy; a failure part way names the copy. Only a
// list held in memory, where no disk took a copy, is written in place without one.
void OutputFile::State::WriteIntoTarget(Target& now) {
    const bool named = copy && copy->Finish();
    if (named)
        SyncFolder(copy->Folder());
    Step(SaveStep::CopyNamed);
    const WrittenBytes bytes{copy ? copy->Get() : -1, held.Parts(), size};
    bool touched = false;
    try {
        if (now.Regular()) {
            OverwriteInPlace(now.file, bytes, touched);
        } else if (now.Exists()) { // a device or a FIFO by now, which gets no copy
            bytes.ForEachPiece(
                [&](std::string_view piece, std::uint64_t) { WriteAll(now.file.Get(), piece); });
            CloseChecked(now.file);
        } else {
            WriteThroughName(path, bytes,
                             touched); // writes, or gives the reason the folder refuses
        }
    } catch (const EWriteError& e) {
        if (!touched || !named)
            throw;
        copy->Keep();
        throw EWriteError(e.Reason(), FullPathName(copy->Name()));
    }
    Step(SaveStep::TargetSynced);
    copy.reset();
}

OutputFile::OutputFile(std::string path, FifoReader reader)
    : state_(std::make_unique<State>()) {
    state_->path = std::move(path);
    state_->reader = reader;
}

OutputFile::~OutputFile() = default;

void OutputFile::Write(std::string_view data) {
    State& s = *state_;
    if (!s.open)
        s.Open();
    s.Write(data);
}

// The target is looked at again: another program may have replaced it while the list was made.
void OutputFile::Commit() {
    State& s = *state_;
    if (!s.open)
        s.Open();
    if (s.direct.Get() >= 0) {
        CloseChecked(s.direct);
        return;
    }
    Step(SaveStep::CopyWritten);
    Target now(s.target, s.path);
    if (!s.ReplaceByRename(now))
        s.WriteIntoTarget(now);
    Step(SaveStep::Done);
}

void WriteWholeFile(const std::string& path, std::span<const std::string_view> data,
                    FifoReader reader) {
    OutputFile file(path, reader);
    for (const std::string_view part : data)
        file.Write(part);
    file.Commit();
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
