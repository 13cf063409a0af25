// bench_faults: the controller commands against a simulated device that is unplugged in the
// middle of them. For a parameter read, a transfer and a firmware upload it prints the time
// from the device vanishing to the end of the command, and the number of messages shown.
// Aim: at most 0.5 s and exactly one message each.
//
//   build/plain/bench/faults/bench_faults [rounds]   (default 5)

#include "app/controller/moravel_app.h"
#include "app/controller/template_file.h"
#include "sim/simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace moravel;

// Counts the messages; answers every prompt with yes (the bootloader prompt is no message
// here). After `unplugAt` units of progress it has the device unplugged `delay` later, from
// another thread, so that the device vanishes in the middle of a request or a block.
class FaultInteraction : public UserInteraction {
public:
    FaultInteraction(quorlink::sim::Device& device, std::int64_t unplugAt, std::chrono::milliseconds delay)
        : m_device(device), m_unplugAt(unplugAt), m_delay(delay)
    {
    }
    ~FaultInteraction() override
    {
        if (m_unplugger.joinable())
            m_unplugger.join();
    }
    void showMessage(std::string_view text) override
    {
        ++messages;
        lastMessage = text;
    }
    bool confirm(std::string_view) override { return true; }
    void reportProgress(std::int64_t done, std::int64_t) override
    {
        if (m_unplugger.joinable() || done < m_unplugAt)
            return;
        m_unplugger = std::thread([this] {
            std::this_thread::sleep_for(m_delay);
            m_device.disappearNow();
            while (!m_device.disappeared())
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            vanishedAt = Clock::now();
        });
    }

    int messages = 0;
    std::string lastMessage;
    Clock::time_point vanishedAt{}; // valid after the unplugging thread is joined

    void join()
    {
        if (m_unplugger.joinable())
            m_unplugger.join();
    }

private:
    quorlink::sim::Device& m_device;
    std::int64_t m_unplugAt;
    std::chrono::milliseconds m_delay;
    std::thread m_unplugger;
};

struct Figure {
    double seconds = 0;
    int messages = 0;
    bool ok = false; // the command reported the lost link
};

// One command on a fresh device of its own port (paced: at the line rate); the device
// vanishes delay after unplugAt units of progress.
Figure measure(int port, bool paced, std::int64_t unplugAt, std::chrono::milliseconds delay,
               const std::function<bool(CMoravelSDIApp&, UserInteraction&)>& command)
{
    quorlink::sim::Simulator sim;
    auto& device = sim.addPort(port);
    device.setPacing(paced);
    sim.exportEnvironment();
    sim.start();
    CMoravelSDIApp app;
    app.connectionMode = 1;
    std::snprintf(app.m_context.portName, sizeof app.m_context.portName, "COM%d", port);
    FaultInteraction ui(device, unplugAt, delay);
    if (!app.OpenConnection(ui)) {
        std::fprintf(stderr, "cannot open COM%d\n", port);
        std::exit(1);
    }
    Figure figure;
    figure.ok = command(app, ui);
    const auto end = Clock::now();
    ui.join();
    figure.seconds =
        ui.vanishedAt != Clock::time_point{} ? std::chrono::duration<double>(end - ui.vanishedAt).count() : -1;
    figure.messages = ui.messages;
    if (ui.messages != 1)
        std::fprintf(stderr, "  last message: %s\n", ui.lastMessage.c_str());
    return figure;
}

void report(const char* what, std::vector<Figure>& figures)
{
    std::sort(figures.begin(), figures.end(), [](const Figure& a, const Figure& b) { return a.seconds < b.seconds; });
    int worstMessages = 0;
    bool allOk = true;
    for (const Figure& f : figures) {
        worstMessages = std::max(worstMessages, f.messages);
        allOk = allOk && f.ok;
    }
    std::printf("%-34s vanish -> end: median %.3f s, max %.3f s   messages: at most %d%s\n", what,
                figures[figures.size() / 2].seconds, figures.back().seconds, worstMessages,
                allOk ? "" : "   (lost link NOT reported)");
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string templatePath = findTemplateFile();
    std::printf("bench_faults: the device vanishes in the middle of a command (%d rounds each)\n", rounds);

    std::vector<Figure> reads, transfers, uploads;
    for (int i = 0; i < rounds; ++i) {
        reads.push_back(
            measure(1, false, 10, std::chrono::milliseconds(50), [&](CMoravelSDIApp& app, UserInteraction& ui) {
                CMoravelSDIDoc doc;
                doc.LoadFromFile(templatePath, ui);
                return app.readParameters(doc, ui).linkLost;
            }));
        transfers.push_back(
            measure(2, false, 10, std::chrono::milliseconds(50), [&](CMoravelSDIApp& app, UserInteraction& ui) {
                CMoravelSDIDoc doc;
                doc.LoadFromFile(templatePath, ui);
                return app.transferParameters(doc, ui).linkLost;
            }));
        uploads.push_back(
            measure(3, true, 2 * 8192, std::chrono::milliseconds(300), [](CMoravelSDIApp& app, UserInteraction& ui) {
                std::vector<std::uint8_t> image(128 * 1024);
                std::mt19937 random(1);
                for (auto& b : image)
                    b = static_cast<std::uint8_t>(random());
                return app.UploadFirmware(image, ui) == UploadResult::LinkLost;
            }));
    }
    report("parameter read (in key 11)", reads);
    report("parameter transfer (in key 11)", transfers);
    report("upload of 128 KiB (in block 3)", uploads);
    return 0;
}
