// The terminal on POSIX systems.

#include "cli/cli_interaction.h"
#include "cli/console.h"
#include "cli/stop_signal.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace moravel::cli {

const char* const kCancelKeys = "Ctrl-D";

void setUpConsole() {}

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool stdinIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

void discardTypedInput() { ::tcflush(STDIN_FILENO, TCIFLUSH); }

// The stop signals get in only inside ppoll, so one that arrives just before the wait still
// ends it.
bool waitForEnter()
{
    sigset_t stops;
    sigset_t previous;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, &previous);
    bool entered = false;
    while (stopSignal() == 0) {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::ppoll(&input, 1, nullptr, &previous) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n != 1)
            break;
        if (c == '\n') {
            entered = true;
            break;
        }
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return entered;
}

} // namespace moravel::cli
