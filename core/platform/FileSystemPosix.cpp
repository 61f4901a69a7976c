#include "core/Errors.h"
#include "core/platform/ErrorText.h"
#include "core/platform/Memory.h"
#include "core/platform/ReadFiles.h"
#include "core/platform/ReadSteps.h"
#include "core/platform/WriteFiles.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/capability.h>
#include <memory>
#include <optional>
#include <random>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

constexpr std::size_t kCopyPiece = 256 * 1024;

// The bytes written so far, read back a piece at a time: from a copy on disk, or where no file
// would take one, from memory.
struct WrittenBytes {
    int fd = -1;
    std::string_view held;
    std::uint64_t size = 0;

    template <typename OnPiece>
    void ForEachPiece(OnPiece&& piece) const {
        if (fd < 0) {
            if (held.size() != size)
                ThrowWriteError(EIO);
            if (!held.empty())
                piece(held, std::uint64_t{0});
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
// that appeared meanwhile without a reader fails at once instead of hanging.
void WriteThroughName(const std::string& path, const WrittenBytes& bytes) {
    FileDescriptor file(::open(
        path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    if (file.Get() < 0)
        ThrowWithReason<EFCreateError>(path);
    ClearNonBlocking(file.Get());
    bytes.ForEachPiece([&](std::string_view piece, std::uint64_t) { WriteAll(file.Get(), piece); });
    CloseChecked(file);
}

// Writes over an existing regular file opened without truncating. The new length is reserved
// first, so a full disk, a quota or a size limit stops the save before any old byte changes.
void OverwriteInPlace(FileDescriptor& file, const WrittenBytes& bytes) {
    const int fd = file.Get();
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        bytes.size > limit.rlim_cur)
        ThrowWriteError(EFBIG);
    if (bytes.size != 0) {
        const int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes.size));
        if (reserved != 0 && reserved != EOPNOTSUPP && reserved != ENOSYS)
            ThrowWriteError(reserved);
    }
    bytes.ForEachPiece([fd](std::string_view piece, std::uint64_t offset) {
        for (std::size_t done = 0; done < piece.size();) {
            const ssize_t n = ::pwrite(fd, piece.data() + done, piece.size() - done,
                                       static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ThrowWriteError(n < 0 ? errno : 0);
            done += static_cast<std::size_t>(n);
        }
    });
    if (::ftruncate(fd, static_cast<off_t>(bytes.size)) != 0)
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
// the folder's default ACL shape its mode. Nameless where the file system allows, so that a
// conversion stopped by a signal leaves nothing behind; named just before it takes the target's
// place, and removed unless it did.
class TemporaryFile {
public:
    TemporaryFile(const std::string& target, mode_t mode)
        : target_(target) {
        const std::filesystem::path folder = target_.parent_path();
        fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
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
        if (!name_.empty() && !placed_)
            ::unlink(name_.c_str());
    }
    bool Created() const noexcept { return fd_ >= 0 || !name_.empty(); }
    int Get() const noexcept { return fd_; }
    // Flushed to the disk, named and closed: only then may it replace anything. False where it
    // cannot be named; a failed flush or close is a write error.
    bool Finish() {
        if (::fsync(fd_) != 0 && errno != EINVAL)
            ThrowWriteError(errno);
        if (name_.empty() && !Name())
            return false;
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            ThrowWriteError(errno);
        return true;
    }
    bool RenameTo(const std::string& target) noexcept {
        placed_ = ::rename(name_.c_str(), target.c_str()) == 0;
        return placed_;
    }

private:
    std::string RandomName() const {
        static std::random_device random;
        std::string leaf(1, '.');
        leaf.append(target_.filename().string()).push_back('.');
        return (target_.parent_path() / (leaf + std::to_string(random() % 1000000000U))).string();
    }
    // Through /proc, as any user may; AT_EMPTY_PATH needs a privilege.
    bool Name() {
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = RandomName();
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
                ::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) {
                name_ = std::move(name);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    std::filesystem::path target_;
    std::string name_;
    int fd_ = -1;
    bool placed_ = false;
};

// A file without a name in the temporary folder, for a copy that cannot stand beside its target.
int NamelessTemporary() noexcept {
    const char* const folders[] = {std::getenv("TMPDIR"), "/tmp", "/var/tmp"};
    for (const char* folder : folders) {
        if (folder == nullptr || *folder == '\0')
            continue;
        const int fd = ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0)
            return fd;
    }
    return -1;
}

// Attributes in the trusted namespace are listed only to a process with CAP_SYS_ADMIN; without
// it a copy could not be known to carry them all.
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

// Gives the copy exactly the target's extended attributes, POSIX ACLs among them: what the copy
// took from its folder (a default ACL) goes. False where any cannot be seen, read or given,
// since the rename would then add or lose it.
bool TakeOverExtendedAttributes(int copy, const std::string& target) {
    if (::listxattr(target.c_str(), nullptr, 0) < 0 && errno == ENOTSUP)
        return true; // the file system keeps none
    std::string names;
    std::string own;
    if (!SeesEveryAttribute() ||
        !AttributeNames(
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
    std::optional<TemporaryFile> beside;
    FileDescriptor elsewhere{-1};
    std::string held;
    std::uint64_t size = 0;

    void Open();
    void Write(std::string_view data);
    bool ReplaceByRename(const Target& now, FileDescriptor& readBack);
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
    if (!dangling) {
        // Only its owner may see the copy of a file that others may not.
        beside.emplace(target, first.Exists() ? 0600 : 0666);
        if (!beside->Created())
            beside.reset();
    }
    if (!beside)
        elsewhere = FileDescriptor(NamelessTemporary());
    open = true;
}

void OutputFile::State::Write(std::string_view data) {
    const int fd = direct.Get() >= 0 ? direct.Get() : beside ? beside->Get() : elsewhere.Get();
    if (fd < 0) {
        held.append(data);
    } else if (fd != elsewhere.Get()) {
        WriteAll(fd, data);
    } else {
        // The temporary folder's disk is not the target's: full, it hands the copy to memory.
        int error = 0;
        const std::size_t done = WriteSome(fd, data, error);
        if (error != 0 && error != ENOSPC && error != EDQUOT)
            ThrowWriteError(error);
        if (error != 0) {
            WrittenBytes{fd, {}, size + done}.ForEachPiece(
                [this](std::string_view piece, std::uint64_t) { held.append(piece); });
            elsewhere = FileDescriptor(-1);
            held.append(data.substr(done));
        }
    }
    size += data.size();
}

// Only a rename replaces a file in one step, so it is taken where the copy is in every respect
// but its bytes the file it replaces, or where there is none. The copy stays readable, in case
// the rename is refused.
bool OutputFile::State::ReplaceByRename(const Target& now, FileDescriptor& readBack) {
    if (!beside || dangling)
        return false;
    if (now.Exists() &&
        (now.st.st_nlink != 1 || !TakeOverAttributes(beside->Get(), target, now.st)))
        return false;
    readBack = FileDescriptor(::dup(beside->Get()));
    if (readBack.Get() < 0)
        return false;
    return beside->Finish() && beside->RenameTo(target);
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

// Elsewhere (hard links, another owner's file, attributes a copy cannot carry, a sticky or
// read-only folder) the file is written in place from the copy, with its space reserved first.
// The target is looked at again: another program may have replaced it while the list was made.
void OutputFile::Commit() {
    State& s = *state_;
    if (!s.open)
        s.Open();
    if (s.direct.Get() >= 0) {
        CloseChecked(s.direct);
        return;
    }
    Target now(s.target, s.path);
    FileDescriptor readBack(-1);
    if (s.ReplaceByRename(now, readBack))
        return;
    const int copy = readBack.Get() >= 0 ? readBack.Get()
                     : s.beside          ? s.beside->Get()
                                         : s.elsewhere.Get();
    const WrittenBytes bytes{copy, s.held, s.size};
    if (now.Regular()) {
        OverwriteInPlace(now.file, bytes);
    } else if (now.Exists()) { // a device or a FIFO by now
        bytes.ForEachPiece(
            [&](std::string_view piece, std::uint64_t) { WriteAll(now.file.Get(), piece); });
        CloseChecked(now.file);
    } else {
        WriteThroughName(s.path, bytes); // writes, or gives the reason the folder refuses
    }
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
