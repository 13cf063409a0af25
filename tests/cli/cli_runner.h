#pragma once
// moravel-cli run as a child process with chosen standard descriptors.

#include "tests/support/test_support.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace moravel::test {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
    double seconds = 0;
};

// Starts moravel-cli with args and the given descriptors as its stdin, stdout and stderr,
// as user `uid` when it is not -1 (the caller must be root then). Returns the child's pid.
inline pid_t spawnCli(std::vector<std::string> args, int in, int out, int err, uid_t uid = static_cast<uid_t>(-1),
                      bool newSession = false)
{
    args.insert(args.begin(), MORAVEL_CLI);
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
    if (uid != static_cast<uid_t>(-1) && (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0))
        ::_exit(126);
    ::execv(MORAVEL_CLI, argv.data());
    ::_exit(127);
}

inline int waitCli(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs moravel-cli with stdin from stdinPath, stdout to stdoutPath (or captured) and
// stderr captured.
inline CliRun runCli(const TempDir& dir, std::vector<std::string> args, const std::string& stdoutPath = {},
                     const std::string& stdinPath = "/dev/null", uid_t uid = static_cast<uid_t>(-1))
{
    const std::string outPath = stdoutPath.empty() ? dir.file("stdout") : stdoutPath;
    const std::string errPath = dir.file("stderr");
    const int in = ::open(stdinPath.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const auto start = std::chrono::steady_clock::now();
    CliRun run;
    run.status = waitCli(spawnCli(std::move(args), in, out, err, uid));
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int fd : {in, out, err})
        ::close(fd);
    run.out = stdoutPath.empty() ? readFile(outPath) : "";
    run.err = readFile(errPath);
    return run;
}

} // namespace moravel::test
