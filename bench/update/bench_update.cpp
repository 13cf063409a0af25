// bench_update: a whole `moravel-cli update --yes` (backup read, upload, restart, transfer,
// read-back) as a child process against the simulator paced at 115200 bit/s, whose controller
// restarts out of its bootloader 2 s after the upload with factory values. The time is set
// against the sum of the floors: three parameter sweeps of 4.0 s each (40 requests with their
// 100 ms pauses), the upload's line time (11,520 bytes/s) and the restart.
//
//   build/plain/bench/update/bench_update [firmware-KiB]   (default 128)

#include "sim/simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBlock = 8192;
constexpr double kSweepFloor = 4.0;
constexpr double kLineBytesPerSecond = 11520.0;
constexpr std::chrono::seconds kRestart{2};

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

struct Stamp {
    double seconds;
    std::string line;
};

} // namespace

int main(int argc, char** argv)
{
    const std::size_t kib = argc > 1 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[1]))) : 128;
    char folder[] = "/tmp/bench-update-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = folder;
    const std::string firmware = dir + "/fw.crx";
    const std::string backup = dir + "/backup.ncp";
    {
        std::vector<char> image(kib * 1024);
        std::mt19937 random(1);
        for (char& b : image)
            b = static_cast<char>(random());
        FILE* f = std::fopen(firmware.c_str(), "wb");
        if (f == nullptr || std::fwrite(image.data(), 1, image.size(), f) != image.size() || std::fclose(f) != 0) {
            std::perror(firmware.c_str());
            return 1;
        }
    }
    ::setenv("HOME", dir.c_str(), 1); // no settings of the user's
    ::unsetenv("XDG_CONFIG_HOME");

    quorlink::sim::Simulator sim;
    auto& device = sim.addPort(2);
    device.setPacing(true);
    device.setResetAfterUpload(kRestart);
    device.parameters().setLong(0x0506, 9); // something the restart loses
    sim.exportEnvironment();
    sim.start();

    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> args = {MORAVEL_CLI, "update", "--yes", "--backup", backup, "--port", "COM2", firmware};
    std::vector<char*> argvChild;
    for (std::string& a : args)
        argvChild.push_back(a.data());
    argvChild.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, MORAVEL_CLI, &actions, nullptr, argvChild.data(), environ) != 0) {
        std::perror(MORAVEL_CLI);
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);

    // Every stderr line with the time it arrived: the phases end at "saved in" (the backup),
    // "waiting up to" (the upload) and the last line.
    std::vector<Stamp> lines;
    std::string partial;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        partial.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = partial.find('\n')) != std::string::npos; partial.erase(0, end + 1))
            if (end > 0)
                lines.push_back({since(start), partial.substr(0, end)});
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double total = since(start);

    const std::size_t blocks = kib * 1024 / kBlock + 1;
    const double lineTime = static_cast<double>(1 + 1 + 1 + 3 + blocks * (kBlock + 1) + 1) / kLineBytesPerSecond;
    const double restart = std::chrono::duration<double>(kRestart).count();
    const double floor = 3 * kSweepFloor + lineTime + restart;
    const auto at = [&](const char* text) {
        for (const Stamp& s : lines)
            if (s.line.find(text) != std::string::npos)
                return s.seconds;
        return -1.0;
    };
    const double backedUp = at("parameters are saved in");
    const double uploaded = at("waiting up to");
    std::printf("bench_update: moravel-cli update --yes of %zu KiB against the simulator paced at 115200 bit/s,\n"
                "restarting %.1f s after the upload with factory values\n",
                kib, restart);
    std::printf("  backup read and save         %7.3f s  (floor %.3f s)\n", backedUp, kSweepFloor);
    std::printf("  upload                       %7.3f s  (line time %.3f s)\n", uploaded - backedUp, lineTime);
    std::printf("  restart, transfer, read-back %7.3f s  (floor %.3f s)\n", total - uploaded,
                restart + 2 * kSweepFloor);
    std::printf("  whole update                 %7.3f s  against the sum of the floors %.3f s: %.3f x (aim <= 1.05)\n",
                total, floor, total / floor);
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && device.parameters().getLong(0x0506) == 9;
    if (!ok) {
        std::printf("  FAILED (exit status %d)\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        for (const Stamp& s : lines)
            std::printf("    %7.3f  %s\n", s.seconds, s.line.c_str());
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return ok ? 0 : 1;
}
