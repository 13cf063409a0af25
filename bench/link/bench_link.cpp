// bench_link: what the link library adds to the controller's fixed pauses, against the
// simulator on pseudo-terminals, unpaced and paced at 115200 bit/s.
//
//   build/plain/bench/link/bench_link [commands-per-kind]   (default 50)

#include "sim/parameter_store.h"
#include "sim/simulator.h"
#include <quorlink.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using quorlink::sim::ParameterStore;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

struct Stats {
    double median;
    double worst;
    int failures;
};

// Time of each of n calls, less the 100 ms pause every command contains.
Stats overheadOf(int n, const std::function<std::int32_t()>& command)
{
    std::vector<double> overhead;
    int failures = 0;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        if (command() != 1)
            ++failures;
        overhead.push_back(msSince(start) - 100.0);
    }
    std::sort(overhead.begin(), overhead.end());
    return {overhead[overhead.size() / 2], overhead.back(), failures};
}

// Mode 1, one read (or change) per exchangeable key, mode 2: the parameter sweep of a host.
double sweepMs(ConnectionContext& ctx, bool change, int& failures)
{
    const auto start = Clock::now();
    failures += BetriebsArtenWechsel(&ctx, 1) != 1;
    for (const std::uint16_t key : ParameterStore::keys()) {
        const int group = key >> 8;
        const int item = key & 0xFF;
        std::int32_t v[4] = {};
        if (!change) {
            failures += ParameterLesen(&ctx, group, item, v) != 1;
            continue;
        }
        std::int32_t ok = 0;
        switch (*ParameterStore::shapeOf(key)) {
        case quorlink::sim::Shape::Long:
            ok = ParameterAendern_long(&ctx, group, item, 1);
            break;
        case quorlink::sim::Shape::Float:
            ok = ParameterAendern_float(&ctx, group, item, 1.5f);
            break;
        case quorlink::sim::Shape::FourLongs:
            ok = ParameterAendern_4_longs(&ctx, group, item, 1, 2, 3, 4);
            break;
        case quorlink::sim::Shape::FourBytes:
            ok = ParameterAendern_4_uchar(&ctx, group, item, 0, 1, 2, 0);
            break;
        case quorlink::sim::Shape::EightBytes:
            ok = ParameterAendern_Richtung_Sequenz_ReferenzFahrt(&ctx, group, item, 1, 1, 0, 0, 2, 1, 0, 3);
            break;
        case quorlink::sim::Shape::Name:
            ok = ParameterAendern_ControllerName(&ctx, group, item, "Bench 1         ");
            break;
        }
        failures += ok != 1;
    }
    failures += BetriebsArtenWechsel(&ctx, 2) != 1;
    return msSince(start);
}

void row(const char* what, const Stats& s)
{
    std::printf("  %-44s %9.3f %9.3f %6d\n", what, s.median, s.worst, s.failures);
}

void runOn(int port, bool paced, int n)
{
    // COM1 is found by the scan (4 requests and the 50 ms pause); COM2 is opened by number.
    ConnectionContext ctx{};
    const auto openStart = Clock::now();
    const std::int32_t opened = port == 1 ? KorvexOpenConnectionAuto(&ctx) : KorvexOpenConnectionPort(&ctx, port);
    const double openMs = msSince(openStart);
    if (opened != 1 || ctx.portName[3] != '0' + port) {
        std::printf("cannot open COM%d\n", port);
        std::exit(1);
    }
    std::printf("\nCOM%d, %s (%s: %.1f ms)\n", port, paced ? "paced at 115200 bit/s 8N1" : "unpaced",
                port == 1 ? "open by scan" : "open by port", openMs);
    std::printf("  %-44s %9s %9s %6s\n", "per command, time over the 100 ms pause", "median ms", "worst ms", "failed");
    const std::int32_t x[1] = {1000};
    const std::int32_t y[1] = {0};
    std::int32_t v[4];
    unsigned char status;
    row("StatusAbfrage (class 0)", overheadOf(n, [&] { return StatusAbfrage(&ctx, 0); }));
    row("GetPosition_Schritte (class 0)", overheadOf(n, [&] { return GetPosition_Schritte(&ctx, v, &status); }));
    row("FahreRelativ_XY_Schritte (class 2, echo)",
        overheadOf(n, [&] { return FahreRelativ_XY_Schritte(&ctx, 0, 1, x, y, 3); }));
    row("ParameterLesen (class 1)", overheadOf(n, [&] { return ParameterLesen(&ctx, 5, 5, v); }));
    row("ParameterAendern_long (class 1, echo)", overheadOf(n, [&] { return ParameterAendern_long(&ctx, 4, 4, 12); }));

    int failures = 0;
    const double read = sweepMs(ctx, false, failures);
    const double write = sweepMs(ctx, true, failures);
    std::printf("  %-44s %9.1f ms (floor 4000 ms, %d failed)\n", "38 reads + 2 mode switches", read, failures);
    std::printf("  %-44s %9.1f ms\n", "38 changes + 2 mode switches", write);

    // One firmware block through the raw functions: '#' and 8192 bytes in 513 + 15 x 512.
    std::vector<unsigned char> block(8193, 0xFF);
    block[0] = '#';
    unsigned char answer[8];
    const unsigned char enter = 'S';
    KorvexWriteChar(&ctx, &enter, 1);
    // Collects `count` answer bytes (a paced answer comes byte by byte).
    const auto waitAnswer = [&](int count) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        for (int got = 0; got < count && Clock::now() < deadline;)
            got += KorvexReadChar(&ctx, answer + got, count - got);
    };
    waitAnswer(7);
    const auto start = Clock::now();
    KorvexWriteChar(&ctx, block.data(), 513);
    for (int i = 0; i < 15; ++i)
        KorvexWriteChar(&ctx, block.data() + 513 + 512 * i, 512);
    waitAnswer(1);
    std::printf("  %-44s %9.1f ms (line time %.1f ms)\n", "one 8193-byte firmware block until its ack", msSince(start),
                8193 * 10.0 / 115.2);
    const unsigned char checksum = '$';
    KorvexWriteChar(&ctx, &checksum, 1);
    waitAnswer(4);
    KorvexCloseConnection(&ctx);
}

} // namespace

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::max(50, std::atoi(argv[1])) : 50;
    quorlink::sim::Simulator sim;
    sim.addPort(1);
    sim.addPort(2).setPacing(true);
    sim.exportEnvironment();
    sim.start();
    std::printf("bench_link: %d commands per kind, simulator on pseudo-terminals\n", n);
    runOn(1, false, n);
    runOn(2, true, n);
    return 0;
}
