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
  --reset-after-upload SECONDS  after the checksum answer of an upload the controller
                           is reset out of its bootloader: it answers nothing for SECONDS,
                           then comes back with factory parameter values
  --mechanics X=201.005[,Y=...]  the machine's true steps per millimetre of an axis
                           (default 100 each; the controller's Auflösung only approximates it)
  --reversed X[,Z,...]     axes whose motor is wired the other way round
  --speed MM/S             how fast an axis travels, in the controller's millimetres per
                           second (default 10; 0: a move is done when it is commanded).
                           An emergency stop stops every axis where it is
  --ruler FILE             keeps in FILE, for every port, where its axes physically are:
                           "COM1 X=99.500000 Y=0.000000 Z=0.000000 C=0.000000" (mm from the
                           start, in the direction the motor turned, RICHTUNGSUMKEHR and
                           reversed wiring included), rewritten whenever it changes
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
    bool pace = false;
    bool bootloader = true;
    std::optional<std::chrono::milliseconds> resetAfterUpload;
    quorlink::sim::Mechanics mechanics;
    std::string ruler;
    bool verbose = false;
    std::vector<char*> command;
};

constexpr double kDefaultSpeed = 10.0; // mm/s

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

// "X", "Y", "Z" or "C".
int parseAxis(const std::string& text)
{
    static const std::string kAxes = "XYZC";
    if (text.size() != 1 || kAxes.find(text[0]) == std::string::npos)
        usageError("not an axis X, Y, Z or C: '" + text + "'");
    return static_cast<int>(kAxes.find(text[0]));
}

// A positive number, as strtod reads it.
double parsePositive(const std::string& option, const std::string& text, bool zeroAllowed = false)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(value > 0 || (zeroAllowed && value == 0)) || !(value < 1e9))
        usageError(option + " takes a positive number, not '" + text + "'");
    return value;
}

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ','))
        items.push_back(item);
    return items;
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
    options.mechanics.speedMmPerSecond = kDefaultSpeed;
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
        } else if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--no-bootloader") {
            options.bootloader = false;
        } else if (arg == "--reset-after-upload") {
            options.resetAfterUpload = parseSeconds(arg, value());
        } else if (arg == "--mechanics") {
            for (const std::string& item : splitList(value())) {
                const auto eq = item.find('=');
                if (eq == std::string::npos)
                    usageError("--mechanics needs AXIS=STEPS_PER_MM, not '" + item + "'");
                options.mechanics.trueStepsPerMm[static_cast<std::size_t>(parseAxis(item.substr(0, eq)))] =
                    parsePositive("--mechanics", item.substr(eq + 1));
            }
        } else if (arg == "--reversed") {
            for (const std::string& item : splitList(value()))
                options.mechanics.reversedWiring[static_cast<std::size_t>(parseAxis(item))] = true;
        } else if (arg == "--speed") {
            options.mechanics.speedMmPerSecond = parsePositive(arg, value(), true);
        } else if (arg == "--ruler") {
            options.ruler = value();
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

// The ruler file: one line per port with the physical positions of its axes. Written anew
// (through a temporary file and a rename, so that a reader never sees half of it) when it
// changed since the last call.
class Ruler {
public:
    explicit Ruler(std::string path) : m_path(std::move(path)) {}

    void update(Simulator& sim)
    {
        if (m_path.empty())
            return;
        std::string text;
        for (int port : sim.ports()) {
            const auto& device = sim.device(port);
            char line[200];
            std::snprintf(line, sizeof line, "%s X=%f Y=%f Z=%f C=%f\n", device.portName().c_str(),
                          device.physicalPositionMm(0), device.physicalPositionMm(1), device.physicalPositionMm(2),
                          device.physicalPositionMm(3));
            text += line;
        }
        if (text == m_written)
            return;
        const std::string temporary = m_path + ".tmp";
        FILE* f = std::fopen(temporary.c_str(), "w");
        if (f == nullptr || std::fputs(text.c_str(), f) < 0 || std::fclose(f) != 0 ||
            std::rename(temporary.c_str(), m_path.c_str()) != 0) {
            std::cerr << "quorlink-sim: cannot write the ruler file " << m_path << ": " << std::strerror(errno) << '\n';
            m_path.clear();
            return;
        }
        m_written = text;
    }

private:
    std::string m_path;
    std::string m_written;
};

// How often the ruler file is brought up to date.
constexpr timespec kRulerInterval{0, 50'000'000};

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
int runCommand(Simulator& sim, const Options& options, Ruler& ruler)
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
        ruler.update(sim);
        siginfo_t info{};
        if (sigtimedwait(&waitFor, &info, &kRulerInterval) < 0)
            continue;
        if (info.si_signo != SIGCHLD && info.si_code != SI_KERNEL)
            kill(child, info.si_signo);
    }
    ruler.update(sim);
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
            device.setMechanics(options.mechanics);
        }
    } catch (const std::exception& e) {
        std::cerr << "quorlink-sim: " << e.what() << '\n';
        return 1;
    }
    sim.exportEnvironment();
    sim.start();

    Ruler ruler(options.ruler);
    if (!options.command.empty())
        return runCommand(sim, options, ruler);
    for (const auto& [name, value] : sim.environment())
        std::cout << name << '=' << value << '\n';
    std::cout.flush();
    for (;;) {
        ruler.update(sim);
        if (sigtimedwait(&stopSignals, nullptr, &kRulerInterval) > 0)
            return 0;
    }
}
