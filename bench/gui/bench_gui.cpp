// Start-up benchmark of the window: the time from starting the process to the first paint of
// its window, for moravel and for a bare Qt "hello" window, on the offscreen platform.
// Runs both alternately (after one warm-up run each) and prints the medians and their ratio.
//
//     bench_gui [RUNS]      (default 21)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Seconds from fork to the end of the program's first paint, which the program reports on
// stdout as nanoseconds of the monotonic clock; negative when it failed.
double runOnce(const char* program)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        freopen("/dev/null", "w", stderr); // Qt's notes about the platform
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char text[32] = {};
    std::size_t got = 0;
    for (ssize_t n; got < sizeof text - 1 && (n = read(out[0], text + got, sizeof text - 1 - got)) > 0;)
        got += static_cast<std::size_t>(n);
    close(out[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || got == 0)
        return -1;
    const Clock::time_point painted{std::chrono::nanoseconds(std::strtoll(text, nullptr, 10))};
    return std::chrono::duration<double>(painted - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Settings of a fresh user, so that the figures do not depend on the caller's.
    char home[] = "/tmp/moravel-bench-XXXXXX";
    if (mkdtemp(home) == nullptr)
        return 1;
    setenv("XDG_CONFIG_HOME", home, 1);

    std::vector<double> moravel, hello;
    if (runOnce(BENCH_MORAVEL) < 0 || runOnce(BENCH_HELLO) < 0) {
        std::fprintf(stderr, "bench_gui: a start-up program failed\n");
        return 1;
    }
    for (int i = 0; i < runs; ++i) {
        const double m = runOnce(BENCH_MORAVEL);
        const double h = runOnce(BENCH_HELLO);
        if (m < 0 || h < 0) {
            std::fprintf(stderr, "bench_gui: a start-up program failed\n");
            return 1;
        }
        moravel.push_back(m);
        hello.push_back(h);
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);

    const double m = median(moravel), h = median(hello);
    std::printf("start to first paint, offscreen, median of %d runs\n", runs);
    std::printf("  moravel        %7.1f ms\n", m * 1e3);
    std::printf("  Qt hello       %7.1f ms\n", h * 1e3);
    std::printf("  ratio          %7.2f\n", m / h);
    return 0;
}
