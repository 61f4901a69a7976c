// Preloaded into a child process by the tests: close() of a regular file opened for writing
// fails with EIO after closing it, as a network file system or a quota reports a write that was
// lost only when the file is closed.

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int close(int fd) {
    using Close = int (*)(int);
    static const auto real = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "close"));
    const int flags = fcntl(fd, F_GETFL);
    struct stat st {};
    const bool fail =
        flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const int result = real(fd);
    if (!fail)
        return result;
    errno = EIO;
    return -1;
}
