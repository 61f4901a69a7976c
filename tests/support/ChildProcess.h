#pragma once

// Runs a program in a child process and waits for it; the tests and the benchmarks share this.

#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace skaldrun::test {

// Runs command (the program's path first) after prepare has run in the child, which may
// redirect its streams or limit it. Returns the exit code, or 128 plus the signal that ended it;
// usage, when given, receives what the child and the children it reaped used.
template <typename Prepare>
int RunChild(const std::vector<std::string>& command, Prepare&& prepare, rusage* usage = nullptr) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        prepare();
        std::vector<char*> argv;
        for (const auto& a : command)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::wait4(pid, &status, 0, usage);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace skaldrun::test
