// quorlink-sim: simulated controllers on pseudo-terminals, for hosts without hardware.

#include "sim/simulator.h"
#include "sim/wire_format.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using quorlink::sim::Simulator;
namespace wire = quorlink::sim::wire;

constexpr const char* kUsage = R"(Usage: quorlink-sim [OPTIONS] [-- COMMAND [ARGS...]]

Simulates controllers on pseudo-terminals, one per port COM1 ... COM8.

Options:
  --ports COM3[,COM5,...]  ports with a controller (default: COM1)
  --name NAME              name of those controllers (default: "NC-Travo USB    ")
  --silent COM1[,...]      ports with a device that opens but never answers
  --other-name COM2=NAME   a port with a controller of another name (repeatable)
  --pace                   bytes at the line rate of 115200 bit/s 8N1
  --no-bootloader          'S' (enter the bootloader) gets no answer
  --vanish-at COM3=N       the device on COM3 disappears (unplugged) when the N-th
                           request has arrived, without answering it (repeatable)
  --reset-after-upload SECONDS
                           after the checksum answer of an upload the controller is
                           reset out of its bootloader: it answers nothing for SECONDS,
                           then comes back with factory parameter values
  -v, --verbose            after COMMAND, list the requests each port received
  -h, --help               this text

With COMMAND, runs it with QUORLINK_COM<n>=<device> set for every simulated port
(QUORLINK_COM<m>=/nonexistent for the others), waits for it and exits with its exit
status (128 + the signal when it was killed by one). SIGINT and SIGTERM sent to the
simulator are passed on to COMMAND. Without COMMAND, prints these QUORLINK_COM<n>=<device> lines and runs until
SIGINT or SIGTERM; parameters changed by a host stay for the life of the simulator.
)";

struct Options {
    std::set<int> ports;
    std::string name = quorlink::sim::kDefaultControllerName;
    std::set<int> silent;
    std::map<int, std::string> otherNames;
    std::map<int, int> vanishAt;
    bool pace = false;
    bool bootloader = true;
    std::optional<std::chrono::milliseconds> resetAfterUpload;
    bool verbose = false;
    std::vector<char*> command;
};

[[noreturn]] void usageError(const std::string& message)
{
    std::cerr << "quorlink-sim: " << message << "\n(see quorlink-sim --help)\n";
    std::exit(2);
}

// The simulator parses port names itself rather than with the link library's parser: it is the
// other end of the line and shares no code with the library.
int parsePort(const std::string& text)
{
    std::string digits = text;
    if (digits.rfind("COM", 0) == 0)
        digits = digits.substr(3);
    if (digits.size() != 1 || digits[0] < '1' || digits[0] > '8')
        usageError("not a port COM1 ... COM8: '" + text + "'");
    return digits[0] - '0';
}

// A time in seconds, with a fraction if need be: "2", "0.5".
std::chrono::milliseconds parseSeconds(const std::string& option, const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(seconds >= 0.0 && seconds <= 86400.0))
        usageError(option + " takes seconds from 0 to 86400, not '" + text + "'");
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0 + 0.5));
}

std::set<int> parsePortList(const std::string& text)
{
    std::set<int> ports;
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ','))
        ports.insert(parsePort(item));
    return ports;
}

Options parse(int argc, char** argv)
{
    Options options;
    bool portsGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--") {
            options.command.assign(argv + i + 1, argv + argc);
            break;
        } else if (arg == "--ports") {
            options.ports = parsePortList(value());
            portsGiven = true;
        } else if (arg == "--name") {
            options.name = value();
        } else if (arg == "--silent") {
            options.silent.merge(parsePortList(value()));
        } else if (arg == "--other-name") {
            const std::string assignment = value();
            const auto eq = assignment.find('=');
            if (eq == std::string::npos)
                usageError("--other-name needs COMn=NAME");
            options.otherNames[parsePort(assignment.substr(0, eq))] = assignment.substr(eq + 1);
        } else if (arg == "--vanish-at") {
            const std::string assignment = value();
            const auto eq = assignment.find('=');
            const std::string count = eq == std::string::npos ? "" : assignment.substr(eq + 1);
            if (count.empty() || count.size() > 6 || count.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(count) < 1)
                usageError("--vanish-at needs COMn=N with N >= 1");
            options.vanishAt[parsePort(assignment.substr(0, eq))] = std::stoi(count);
        } else if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--no-bootloader") {
            options.bootloader = false;
        } else if (arg == "--reset-after-upload") {
            options.resetAfterUpload = parseSeconds(arg, value());
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            std::exit(0);
        } else {
            usageError("unknown option '" + arg + "'");
        }
    }
    if (!portsGiven && options.silent.empty() && options.otherNames.empty())
        options.ports = {1};
    return options;
}

using RequestFrame = std::array<std::uint8_t, wire::kRequestSize>;

std::string hexKey(const RequestFrame& f)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X%02X", f[wire::kGroup], f[wire::kItem]);
    return text;
}

std::string describe(const RequestFrame& f)
{
    using namespace wire;
    const std::string unit = f[kUnit] == kUnitSteps ? "steps" : "mm";
    const std::uint8_t code = f[kCode];
    switch (f[kClass]) {
    case kClassSystem:
        switch (code) {
        case kStatus:
            return "status query (positions in " + unit + ")";
        case kMode:
            return "mode switch to " + std::to_string(f[kArgs]);
        case kAcknowledge:
            return "error acknowledge";
        case kStop:
            return f[kArgs] == 1 ? "emergency stop with braking ramp" : "emergency stop without ramp";
        default:
            break;
        }
        break;
    case kClassParameter:
        switch (code) {
        case kParameterRead:
            return "parameter read " + hexKey(f);
        case kParameterChange:
            return "parameter change " + hexKey(f);
        default:
            break;
        }
        break;
    case kClassMachine:
        switch (code) {
        case kMoveXY:
            return "relative move X/Y (" + unit + ")";
        case kMoveZC:
            return "relative move Z/C (" + unit + ")";
        case kSpindleCoolant:
            return "spindle/coolant " + std::to_string(f[kArgs]);
        case kOutputs:
            return "general outputs " + std::to_string(f[kArgs]);
        case kHoming:
            return "homing";
        case kPark:
            return "park position";
        case kZeroPoint:
            return "zero point (" + unit + ")";
        default:
            break;
        }
        break;
    default:
        break;
    }
    return "unknown request class " + std::to_string(f[kClass]) + " code " + std::to_string(code);
}

void printFrameLog(Simulator& sim)
{
    for (int port : sim.ports()) {
        const auto& device = sim.device(port);
        const auto frames = device.frames();
        std::cerr << "quorlink-sim: " << device.portName() << " received " << frames.size() << " request(s)\n";
        if (frames.empty())
            continue;
        const auto start = frames.front().time;
        for (const auto& frame : frames) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(frame.time - start).count();
            char line[160];
            std::snprintf(line, sizeof line, "  %+6lld ms  seq %3u  %s%s\n", static_cast<long long>(ms),
                          frame.bytes[wire::kSequence], describe(frame.bytes).c_str(),
                          frame.bytes[wire::kTrailer] == wire::kTrailerValue ? "" : "  (connect-time request)");
            std::cerr << line;
        }
        const auto boot = device.bootloaderBytes();
        if (!boot.empty())
            std::cerr << "  bootloader: " << boot.size() << " byte(s) received\n";
    }
}

// Runs COMMAND with default SIGINT and SIGTERM dispositions and an empty signal mask,
// whatever this process was started with, and waits for it. A SIGINT or SIGTERM sent to the
// simulator is passed on to the command; one that the terminal sent (Ctrl-C) has reached the
// command's process group already and is not sent twice. The caller has blocked SIGINT,
// SIGTERM and SIGCHLD.
int runCommand(Simulator& sim, const Options& options)
{
    std::vector<char*> argv = options.command;
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t child;
    const int err = posix_spawnp(&child, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (err != 0) {
        std::cerr << "quorlink-sim: cannot run " << argv[0] << ": " << std::strerror(err) << '\n';
        return 127;
    }
    sigset_t waitFor = defaults;
    sigaddset(&waitFor, SIGCHLD);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR))
            break;
        siginfo_t info{};
        if (sigwaitinfo(&waitFor, &info) < 0)
            continue;
        if (info.si_signo != SIGCHLD && info.si_code != SI_KERNEL)
            kill(child, info.si_signo);
    }
    if (options.verbose)
        printFrameLog(sim);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = parse(argc, argv);
    // SIGINT, SIGTERM (and SIGCHLD of a COMMAND) are taken with sigwait; blocked before any
    // thread starts, so that no device thread ever takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t blocked = stopSignals;
    sigaddset(&blocked, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);

    Simulator sim;
    try {
        for (int port = 1; port <= 8; ++port) {
            const bool silent = options.silent.count(port) != 0;
            const auto other = options.otherNames.find(port);
            if (!silent && other == options.otherNames.end() && options.ports.count(port) == 0)
                continue;
            auto& device = sim.addPort(port, other != options.otherNames.end() ? other->second : options.name);
            device.setSilent(silent);
            device.setPacing(options.pace);
            device.setBootloaderPresent(options.bootloader);
            device.setResetAfterUpload(options.resetAfterUpload);
            if (const auto vanish = options.vanishAt.find(port); vanish != options.vanishAt.end())
                device.disappearAtFrame(vanish->second);
        }
    } catch (const std::exception& e) {
        std::cerr << "quorlink-sim: " << e.what() << '\n';
        return 1;
    }
    sim.exportEnvironment();
    sim.start();

    if (!options.command.empty())
        return runCommand(sim, options);
    for (const auto& [name, value] : sim.environment())
        std::cout << name << '=' << value << '\n';
    std::cout.flush();
    int signal = 0;
    sigwait(&stopSignals, &signal);
    return 0;
}
