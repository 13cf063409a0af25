// bench_controller: the program's controller commands against the simulator on
// pseudo-terminals: the parameter read and transfer commands (each at least 4.0 s: 40
// requests with their 100 ms pauses), unpaced and paced at 115200 bit/s, and a firmware
// upload against the paced simulator as a fraction of the line rate (11,520 bytes/s).
//
//   build/plain/bench/controller/bench_controller [upload-KiB]   (default 128)

#include "app/controller/moravel_app.h"
#include "app/controller/template_file.h"
#include "sim/simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;
using namespace moravel;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Counts the messages; answers every prompt with yes.
class QuietInteraction : public UserInteraction {
public:
    void showMessage(std::string_view text) override
    {
        ++messages;
        std::fprintf(stderr, "  message: %.*s\n", static_cast<int>(text.size()), text.data());
    }
    int messages = 0;
};

void connect(CMoravelSDIApp& app, int port, UserInteraction& ui)
{
    app.connectionMode = 1;
    std::snprintf(app.m_context.portName, sizeof app.m_context.portName, "COM%d", port);
    if (!app.OpenConnection(ui)) {
        std::fprintf(stderr, "cannot open COM%d\n", port);
        std::exit(1);
    }
}

void sweeps(int port, const char* what)
{
    CMoravelSDIApp app;
    QuietInteraction ui;
    connect(app, port, ui);
    CMoravelSDIDoc doc;
    if (!doc.LoadFromFile(findTemplateFile(), ui)) {
        std::fprintf(stderr, "template file not found\n");
        std::exit(1);
    }
    auto start = Clock::now();
    const SweepResult read = app.readParameters(doc, ui);
    const double readSeconds = secondsSince(start);
    start = Clock::now();
    const SweepResult transfer = app.transferParameters(doc, ui);
    const double transferSeconds = secondsSince(start);
    std::printf("%-28s read %6.3f s (%+.3f s over the floor, %d failed)   transfer %6.3f s (%+.3f s, %d failed)\n",
                what, readSeconds, readSeconds - 4.0, read.failedKeys, transferSeconds, transferSeconds - 4.0,
                transfer.failedKeys);
    app.CloseConnection(ui);
}

void upload(int port, std::size_t kib)
{
    CMoravelSDIApp app;
    QuietInteraction ui;
    connect(app, port, ui);
    std::vector<std::uint8_t> image(kib * 1024);
    std::mt19937 random(1);
    for (auto& b : image)
        b = static_cast<std::uint8_t>(random());
    const std::size_t blocks = firmwareBlockCount(image.size());
    // S, P, e, "A..", the blocks with their markers, $.
    const std::size_t lineBytes = 1 + 1 + 1 + 3 + blocks * (kFirmwareBlockSize + 1) + 1;
    const auto start = Clock::now();
    const UploadResult result = app.UploadFirmware(image, ui);
    const double seconds = secondsSince(start);
    const double rate = static_cast<double>(lineBytes) / seconds;
    std::printf(
        "upload of %zu KiB (%zu blocks, %zu bytes on the line): %.3f s, %.0f bytes/s = %.1f %% of 11520 bytes/s "
        "(line time %.3f s)%s\n",
        kib, blocks, lineBytes, seconds, rate, 100.0 * rate / 11520.0, static_cast<double>(lineBytes) / 11520.0,
        result == UploadResult::Done ? "" : "  FAILED");
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t kib = argc > 1 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[1]))) : 128;
    quorlink::sim::Simulator sim;
    sim.addPort(1);
    sim.addPort(2).setPacing(true);
    sim.exportEnvironment();
    sim.start();
    std::printf("bench_controller: the simulator on pseudo-terminals\n");
    sweeps(1, "unpaced (COM1)");
    sweeps(2, "paced 115200 bit/s (COM2)");
    upload(2, kib);
    // The simulator's side: from its first to its last bootloader read, at most the line
    // rate, so the figure above is not flattered by a simulator faster than the line.
    const auto reads = sim.device(2).bootloaderReads();
    if (!reads.empty()) {
        std::size_t bytes = 0;
        for (const auto& r : reads)
            bytes += r.size;
        const double span = std::chrono::duration<double>(reads.back().time - reads.front().time).count();
        std::printf("the paced simulator took the %zu bytes in %.3f s (line time %.3f s)\n", bytes, span,
                    static_cast<double>(bytes) / 11520.0);
    }
    return 0;
}
