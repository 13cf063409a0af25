#pragma once
// moravel-cli run as a child process with chosen standard descriptors.

#include "tests/support/test_support.h"

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace moravel::test {

struct CliRun {
    int status = -1;
    std::string out, err;
};

// Starts moravel-cli (or a copy of it at exe) with args and the descriptors in, out, err as its
// standard ones, as user `uid` unless it is -1 (the caller must be root then), with `in` as its
// controlling terminal when newSession. Returns the child's pid.
inline pid_t spawnCli(std::vector<std::string> args, int in, int out, int err, uid_t uid = uid_t(-1),
                      bool newSession = false, const std::string& exe = MORAVEL_CLI)
{
    args.insert(args.begin(), exe);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // Only async-signal-safe calls from here to exec: the parent runs simulator threads.
    if (newSession)
        ::setsid();
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (newSession)
        ::ioctl(0, TIOCSCTTY, 0);
    if (uid != uid_t(-1) && (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0))
        ::_exit(126);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
}

inline int waitCli(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs moravel-cli with stdin from /dev/null, stdout to stdoutPath (captured when empty) and
// stderr captured; the captures are files of dir.
inline CliRun runCli(const TempDir& dir, std::vector<std::string> args, std::string stdoutPath = {},
                     uid_t uid = uid_t(-1), const std::string& exe = MORAVEL_CLI)
{
    const bool capture = stdoutPath.empty();
    if (capture)
        stdoutPath = dir.file("stdout");
    const int fds[] = {::open("/dev/null", O_RDONLY | O_CLOEXEC),
                       ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644),
                       ::open(dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
    CliRun run;
    run.status = waitCli(spawnCli(std::move(args), fds[0], fds[1], fds[2], uid, false, exe));
    for (int fd : fds)
        ::close(fd);
    run.out = capture ? readFile(stdoutPath) : "";
    run.err = readFile(dir.file("stderr"));
    return run;
}

} // namespace moravel::test
