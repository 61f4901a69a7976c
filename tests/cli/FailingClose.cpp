// Preloaded into a child process by the tests: close() of a regular file opened for writing
// fails with EIO after closing it, as a network file system or a quota reports a write that was
// lost only when the file is closed. With SKALDRUN_FAIL_CLOSE_LINKED set, only a file with more
// than one name fails: a hard-linked file written in place, after its copy closed well.

#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int close(int fd) {
    using Close = int (*)(int);
    static const auto real = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "close"));
    const int flags = fcntl(fd, F_GETFL);
    struct stat st {};
    const bool fail = flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && fstat(fd, &st) == 0 &&
                      S_ISREG(st.st_mode) &&
                      (getenv("SKALDRUN_FAIL_CLOSE_LINKED") == nullptr || st.st_nlink > 1);
    const int result = real(fd);
    if (!fail)
        return result;
    errno = EIO;
    return -1;
}
