#include "cli/stop_signal.h"

#include <csignal>

namespace moravel::cli {
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void onStopSignal(int sig)
{
    if (g_stopSignal != 0) {
        // The second signal: the default action, at once. It stays blocked until this
        // handler returns and then ends the process.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    g_stopSignal = sig;
}

} // namespace

void installStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int stopSignal() { return g_stopSignal; }

std::string_view stopSignalName()
{
    switch (g_stopSignal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    default:
        return "a signal";
    }
}

int stoppedStatus() { return 128 + g_stopSignal; }

} // namespace moravel::cli
