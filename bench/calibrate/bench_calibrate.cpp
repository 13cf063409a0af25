// bench_calibrate: one round of `moravel-cli calibrate --yes --measured MM X 100` as a child
// process against the simulator paced at 115200 bit/s. The controller holds 200 steps/mm for
// X, the machine really has 201.005, and the axis travels 50 mm/s, so the 20000 steps take
// 2.0 s and the ruler shows 99.5 mm. The time is set against the round's floor: the reads
// (mode 1, three keys, mode 2), the move command and the move's own time, the change and its
// read-back (mode 1, the key, its read, mode 2), every command with its 100 ms pause.
//
//   build/plain/bench/calibrate/bench_calibrate [rounds]   (default 5)

#include "sim/simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kCommand = 0.1;   // s, the library's pause of every command
constexpr int kReadCommands = 5;   // mode 1, three reads, mode 2
constexpr int kMoveCommands = 1;   // the relative move
constexpr int kChangeCommands = 4; // mode 1, change, read-back, mode 2
constexpr double kAufloesung = 200.0;
constexpr double kTrueStepsPerMm = 201.005;
constexpr double kSpeed = 50.0; // mm/s as the controller counts them
constexpr double kDistance = 100.0;
constexpr const char* kMeasured = "99.5"; // 20000 steps / 201.005 steps/mm, as the ruler shows

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// One run of moravel-cli calibrate; its exit status, and its stdout in out.
int calibrate(const char* measured, std::string& out)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> args = {MORAVEL_CLI, "calibrate", "--yes", "--measured", measured,
                                     "--port",    "COM2",      "X",     "100"};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, MORAVEL_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    char buffer[512];
    out.clear();
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char folder[] = "/tmp/bench-calibrate-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    ::setenv("HOME", folder, 1); // no settings of the user's
    ::unsetenv("XDG_CONFIG_HOME");

    quorlink::sim::Simulator sim;
    auto& device = sim.addPort(2);
    device.setPacing(true);
    quorlink::sim::Mechanics mechanics;
    mechanics.trueStepsPerMm[0] = kTrueStepsPerMm;
    mechanics.speedMmPerSecond = kSpeed;
    device.setMechanics(mechanics);
    sim.exportEnvironment();
    sim.start();

    const double steps = kDistance * kAufloesung;
    const double moveTime = steps / (kSpeed * kAufloesung);
    const double floor = (kReadCommands + kMoveCommands + kChangeCommands) * kCommand + moveTime;
    std::printf("bench_calibrate: moravel-cli calibrate of X over %.0f mm (%.0f steps at %.0f mm/s, %.1f s of travel)\n"
                "against the simulator paced at 115200 bit/s; floor %.3f s (%d commands of 0.1 s and the travel)\n",
                kDistance, steps, kSpeed, moveTime, floor, kReadCommands + kMoveCommands + kChangeCommands);
    std::vector<double> times;
    bool ok = true;
    for (int round = 1; round <= rounds; ++round) {
        device.parameters().setFloat(0x0400, static_cast<float>(kAufloesung));
        const double before = device.physicalPositionMm(0);
        std::string out;
        const auto start = Clock::now();
        const int status = calibrate(kMeasured, out);
        const double seconds = since(start);
        const double travelled = device.physicalPositionMm(0) - before;
        times.push_back(seconds);
        std::printf("  round %d  %7.3f s  over the floor %+.3f s (%.3f x)  ruler %.3f mm  %s", round, seconds,
                    seconds - floor, seconds / floor, travelled, out.empty() ? "\n" : out.c_str());
        ok = ok && status == 0 && device.parameters().getFloat(0x0400) > 201.0f;
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("  median   %7.3f s  over the floor %+.3f s (%.3f x)\n", median, median - floor, median / floor);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!ok)
        std::printf("  FAILED\n");
    return ok ? 0 : 1;
}
