#pragma once
// moravel-cli run as a child process with chosen standard descriptors.

#include "tests/controller/controller_fixture.h"
#include "tests/support/test_support.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
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

// moravel-cli (or a copy of it at exe) as a child with stdin from /dev/null and stdout and
// stderr to the files outPath and errPath; what it writes to stderr can be watched as it comes.
class CliChild {
public:
    CliChild(std::vector<std::string> args, const std::string& outPath, std::string errPath, uid_t uid = uid_t(-1),
             const std::string& exe = MORAVEL_CLI)
        : m_errPath(std::move(errPath))
    {
        const int fds[] = {::open("/dev/null", O_RDONLY | O_CLOEXEC),
                           ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644),
                           ::open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
        pid = spawnCli(std::move(args), fds[0], fds[1], fds[2], uid, false, exe);
        for (int fd : fds)
            ::close(fd);
    }
    // Its stdout and stderr are the files "stdout" and "stderr" of dir.
    CliChild(const TempDir& dir, std::vector<std::string> args)
        : CliChild(std::move(args), dir.file("stdout"), dir.file("stderr"))
    {
    }
    ~CliChild()
    {
        if (pid > 0)
            finish();
    }
    CliChild(const CliChild&) = delete;
    CliChild& operator=(const CliChild&) = delete;

    // Waits until stderr holds text; false when 30 s passed first.
    bool waitFor(const std::string& text)
    {
        const auto start = std::chrono::steady_clock::now();
        while ((err = readFile(m_errPath)).find(text) == std::string::npos) {
            if (secondsSince(start) > 30)
                return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    // Waits for the child; its raw wait status.
    int finish()
    {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        err = readFile(m_errPath);
        return status;
    }

    pid_t pid = -1;
    std::string err;

private:
    std::string m_errPath;
};

// Runs moravel-cli with stdin from /dev/null, stdout to stdoutPath (captured when empty) and
// stderr captured; the captures are files of dir.
inline CliRun runCli(const TempDir& dir, std::vector<std::string> args, std::string stdoutPath = {},
                     uid_t uid = uid_t(-1), const std::string& exe = MORAVEL_CLI)
{
    const bool capture = stdoutPath.empty();
    if (capture)
        stdoutPath = dir.file("stdout");
    CliChild child(std::move(args), stdoutPath, dir.file("stderr"), uid, exe);
    const int status = child.finish();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), capture ? readFile(stdoutPath) : "",
            child.err};
}

// What to do the first time moravel-cli's screen shows a prompt: the answer gets the child's
// pid and returns the key to type, or '\0' for none.
using Prompts = std::vector<std::pair<std::string, std::function<char(pid_t)>>>;

// Runs moravel-cli on a pseudo-terminal that is its controlling terminal and answers the
// prompts. Returns the exit status and the screen.
inline std::pair<int, std::string> runOnTerminal(std::vector<std::string> args, Prompts prompts)
{
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return {-1, "no pseudo-terminal"};
    const pid_t pid = spawnCli(std::move(args), slave, slave, slave, uid_t(-1), true);
    ::close(slave);
    std::string screen;
    char buffer[4096];
    ssize_t n = 0;
    for (pollfd p{master, POLLIN, 0}; ::poll(&p, 1, 30000) > 0 && (n = ::read(master, buffer, sizeof buffer)) > 0;) {
        screen.append(buffer, static_cast<std::size_t>(n));
        for (auto& [prompt, answer] : prompts) {
            if (answer && screen.find(prompt) != std::string::npos) {
                const char key = answer(pid);
                answer = nullptr;
                if (key != '\0') {
                    EXPECT_EQ(::write(master, &key, 1), 1);
                }
            }
        }
    }
    ::close(master);
    return {waitCli(pid), screen};
}

// moravel-cli against the simulated controllers, its files in dir.
class CliControllerTest : public ControllerTest {
protected:
    // Runs moravel-cli and checks its exit status and that its stderr contains err.
    CliRun run(const Texts& args, int status, const std::string& err = "")
    {
        const CliRun r = runCli(dir, args);
        EXPECT_EQ(r.status, status) << args.front() << " ... " << args.back() << "\n" << r.err;
        EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
        return r;
    }

    // A firmware image of size random bytes.
    std::string firmware(std::size_t size)
    {
        const Bytes image = randomBytes(size, 7);
        return dir.write("fw.crx", std::string(image.begin(), image.end()));
    }

    TempDir dir;
};

} // namespace moravel::test
