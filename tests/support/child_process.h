#pragma once
// Child processes of the tests: a function or a program run in a forked child (as another
// user, with other standard descriptors or on a terminal), and one way to read how it ended.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace moravel::test {

constexpr uid_t kNobody = 65534;
constexpr uid_t kSameUser = uid_t(-1);

// The child's exit status, or minus the signal that ended it.
inline int exitCode(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -WTERMSIG(waitStatus); }

inline int waitChild(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return exitCode(status);
}

// What the child does before its work: setUp (descriptors, session, signals), then it becomes
// user uid without supplementary groups unless uid is kSameUser (the caller must be root then).
// With simulator threads in the parent, both the set-up and the work may make only
// async-signal-safe calls.
struct ChildSetup {
    uid_t uid = kSameUser;
    std::function<void()> setUp;
};

// Forks a child that exits with what()'s result (126 when it cannot become the user).
inline pid_t forkChild(const std::function<int()>& what, const ChildSetup& setup = {})
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    if (setup.setUp)
        setup.setUp();
    if (setup.uid != kSameUser && (::setgroups(0, nullptr) != 0 || ::setgid(setup.uid) != 0 || ::setuid(setup.uid) != 0))
        ::_exit(126);
    ::_exit(what());
}

// Whether what() returned true in a child run as user uid.
inline bool inChild(const std::function<bool()>& what, uid_t uid = kSameUser)
{
    const pid_t pid = forkChild([&] { return what() ? 0 : 1; }, {uid, {}});
    return pid > 0 && waitChild(pid) == 0;
}

// Starts program with args in a child (exit status 127 when it cannot be run).
inline pid_t spawn(const std::string& program, std::vector<std::string> args, const ChildSetup& setup = {})
{
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return forkChild(
        [&] {
            ::execv(program.c_str(), argv.data());
            return 127;
        },
        setup);
}

// Sets the child's standard descriptors; with a new session, in becomes its controlling terminal.
inline std::function<void()> withDescriptors(int in, int out, int err, bool newSession = false)
{
    return [=] {
        if (newSession)
            ::setsid();
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (newSession)
            ::ioctl(0, TIOCSCTTY, 0);
    };
}

// A program as a child with stdin from /dev/null and stdout and stderr to the files outPath and
// errPath; what it writes to stderr can be watched as it comes.
class Child {
public:
    Child(const std::string& program, std::vector<std::string> args, const std::string& outPath, std::string errPath,
          uid_t uid = kSameUser)
        : m_errPath(std::move(errPath))
    {
        const int fds[] = {::open("/dev/null", O_RDONLY | O_CLOEXEC),
                           ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644),
                           ::open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
        pid = spawn(program, std::move(args), {uid, withDescriptors(fds[0], fds[1], fds[2])});
        for (int fd : fds)
            ::close(fd);
    }
    ~Child()
    {
        if (pid > 0)
            finish();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Waits until stderr holds text; false when 30 s passed first.
    bool waitFor(const std::string& text)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while ((err = errText()).find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // Waits for the child; its exitCode.
    int finish()
    {
        const int code = waitChild(pid);
        pid = -1;
        err = errText();
        return code;
    }

    pid_t pid = -1;
    std::string err;

private:
    std::string errText() const
    {
        std::ifstream in(m_errPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::string m_errPath;
};

// What to do the first time the screen shows a prompt: the answer gets the child's pid and
// returns the key to type, or '\0' for none.
using Prompts = std::vector<std::pair<std::string, std::function<char(pid_t)>>>;

// Runs program on a pseudo-terminal that is its controlling terminal and answers the prompts.
// Returns the exit code and the screen.
inline std::pair<int, std::string> runOnTerminal(const std::string& program, std::vector<std::string> args,
                                                 Prompts prompts)
{
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return {-1, "no pseudo-terminal"};
    const pid_t pid = spawn(program, std::move(args), {kSameUser, withDescriptors(slave, slave, slave, true)});
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
    return {waitChild(pid), screen};
}

} // namespace moravel::test
