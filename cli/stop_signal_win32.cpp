// Ctrl-C and Ctrl-Break on Windows, through the console's control handler, with the rules
// of SIGINT and SIGTERM on POSIX: the first asks the operation to stop at its next step, a
// second one ends the program at once (the system's own handler then runs).

#include "cli/stop_signal.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <csignal>

namespace moravel::cli {
namespace {

// The handler runs on a thread of its own.
std::atomic<int> g_stopSignal{0};

BOOL WINAPI onConsoleEvent(DWORD event)
{
    int sig = 0;
    switch (event) {
    case CTRL_C_EVENT:
        sig = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        sig = SIGTERM;
        break;
    default:
        return FALSE;
    }
    int none = 0;
    // The second event: not handled here, so the default handler ends the process.
    if (!g_stopSignal.compare_exchange_strong(none, sig))
        return FALSE;
    // A closed console window ends the process as soon as this returns (at the latest after
    // 5 s): waiting here gives the operation that time to stop at its next step; the end of
    // main ends this thread too.
    if (event == CTRL_CLOSE_EVENT)
        ::Sleep(5000);
    return TRUE;
}

} // namespace

void installStopHandlers() { ::SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

int stopSignal() { return g_stopSignal.load(); }

std::string_view stopSignalName()
{
    switch (g_stopSignal.load()) {
    case SIGINT:
        return "Ctrl-C";
    case SIGTERM:
        return "Ctrl-Break";
    default:
        return "a signal";
    }
}

int stoppedStatus() { return 128 + g_stopSignal.load(); }

} // namespace moravel::cli
