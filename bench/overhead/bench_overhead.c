/*
 * bench_overhead [COMMANDS]: what the link library adds to the fixed 100 ms pause of a
 * command, on this system. Opens COM3, sends COMMANDS status queries (200 by default) and
 * prints the median and the worst time over 100 ms. A plain host program of the library, the
 * same source for Linux and Windows:
 *     quorlink-sim --ports COM3 -- bench_overhead 200
 *     tests/windows/with_sim.sh --ports COM3 -- bench_overhead.exe 200     (under wine)
 * scripts/windows-bench.sh runs both.
 */
#include <quorlink.h>

#include <stdio.h>
#include <stdlib.h>

#ifdef _WIN32
#include <windows.h>
static double nowMs(void)
{
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return (double)count.QuadPart * 1000.0 / (double)frequency.QuadPart;
}
static const char* kSystem = "Windows";
#else
#include <time.h>
static double nowMs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}
static const char* kSystem = "Linux";
#endif

static int byValue(const void* a, const void* b)
{
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv)
{
    const int commands = argc > 1 ? atoi(argv[1]) : 200;
    if (commands < 1 || commands > 100000) {
        fprintf(stderr, "usage: bench_overhead [COMMANDS 1..100000]\n");
        return 2;
    }
    ConnectionContext ctx = {0};
    if (KorvexOpenConnectionPort(&ctx, 3) != 1) {
        fprintf(stderr, "bench_overhead: no controller on COM3 (error code %d)\n", ctx.errorCode);
        return 1;
    }
    double* overhead = malloc(sizeof *overhead * (size_t)commands);
    if (overhead == NULL)
        return 1;
    int failed = 0;
    for (int i = 0; i < commands; ++i) {
        const double start = nowMs();
        failed += StatusAbfrage(&ctx, 0) != 1;
        overhead[i] = nowMs() - start - 100.0;
    }
    KorvexCloseConnection(&ctx);
    qsort(overhead, (size_t)commands, sizeof *overhead, byValue);
    printf("%s: overhead over the 100 ms pause, %d commands: median %.2f ms, worst %.2f ms, %d failed\n", kSystem,
           commands, overhead[commands / 2], overhead[commands - 1], failed);
    free(overhead);
    return failed == 0 ? 0 : 1;
}
