// The console on Windows: binary standard streams, UTF-8 output, the UTF-16 command line, and the prompt's wait for
// Enter, which Ctrl-Z or Ctrl-C cancels.

#include "cli/cli_interaction.h"
#include "cli/console.h"
#include "cli/stop_signal.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <fcntl.h>
#include <io.h>

namespace moravel::cli {
namespace {

UINT g_previousOutputCodePage = 0;

void restoreOutputCodePage()
{
    if (g_previousOutputCodePage != 0)
        ::SetConsoleOutputCP(g_previousOutputCodePage);
}

bool isConsole(DWORD which)
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

std::string narrow(const wchar_t* wide)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string text(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), n, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(n - 1));
    return text;
}

constexpr wchar_t kCtrlZ = 0x1A;

// Waits for Enter on a console: its key events, looked at every 50 ms for a Ctrl-C that came
// meanwhile (the control handler runs on a thread of its own).
bool waitForEnterOnConsole(HANDLE input)
{
    while (stopSignal() == 0) {
        const DWORD waited = ::WaitForSingleObject(input, 50);
        if (waited == WAIT_TIMEOUT)
            continue;
        if (waited != WAIT_OBJECT_0)
            return false;
        INPUT_RECORD record{};
        DWORD read = 0;
        if (!::ReadConsoleInputW(input, &record, 1, &read))
            return false;
        if (read != 1 || record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
            continue;
        const wchar_t c = record.Event.KeyEvent.uChar.UnicodeChar;
        if (c == L'\r' || c == L'\n')
            return stopSignal() == 0;
        if (c == kCtrlZ)
            return false;
    }
    return false;
}

} // namespace

const char* const kCancelKeys = "Ctrl-Z or Ctrl-C";

void setUpConsole()
{
    // What the program prints is its bytes: a formatted file on stdout is the file itself,
    // with "\n" line ends as on every system (the console starts a new line for "\n" alone).
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    // The C runtime hands an unbuffered stream to a console a byte at a time, which splits the
    // UTF-8 sequences of a character: on a console both streams are buffered (the program
    // flushes after every text that must show at once).
    for (auto [stream, which] : {std::pair{stdout, STD_OUTPUT_HANDLE}, std::pair{stderr, STD_ERROR_HANDLE}})
        if (isConsole(which))
            std::setvbuf(stream, nullptr, _IOFBF, 1 << 16);
    const UINT previous = ::GetConsoleOutputCP();
    if (previous != 0 && previous != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
        g_previousOutputCodePage = previous;
        std::atexit(restoreOutputCodePage);
    }
}

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i)
        args.push_back(narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

bool stdinIsTerminal() { return isConsole(STD_INPUT_HANDLE); }

bool stderrIsTerminal() { return isConsole(STD_ERROR_HANDLE); }

void discardTypedInput()
{
    if (stdinIsTerminal())
        ::FlushConsoleInputBuffer(::GetStdHandle(STD_INPUT_HANDLE));
}

bool waitForEnter()
{
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (stdinIsTerminal())
        return waitForEnterOnConsole(input);
    // A pipe or a file: a line ends with '\n'; its end, a read error or Ctrl-Z cancel.
    while (stopSignal() == 0) {
        char c = 0;
        DWORD n = 0;
        if (!::ReadFile(input, &c, 1, &n, nullptr) || n != 1 || c == static_cast<char>(kCtrlZ))
            return false;
        if (c == '\n')
            return stopSignal() == 0;
    }
    return false;
}

} // namespace moravel::cli
