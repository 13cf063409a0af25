// moravel-cli calibrate end to end: the real binary against the in-process simulator, whose
// axes travel at a speed with their own true steps per millimetre, read on its ruler.

#include "tests/cli/cli_runner.h"

#include <algorithm>
#include <cmath>
#include <csignal>

namespace moravel::test {
namespace {

using quorlink::sim::Mechanics;

constexpr float kFactoryAufloesung = 100.0f;

// The moves and the parameter changes a device received.
long moves(const Device& device)
{
    const auto frames = requestsOf(device);
    return std::count_if(frames.begin(), frames.end(), [](const Frame& f) { return f[0] == 2; });
}
long changes(const Device& device)
{
    const auto frames = requestsOf(device);
    return std::count_if(frames.begin(), frames.end(), [](const Frame& f) { return isParameter(f, kParameterChange); });
}

class Calibrate : public CliControllerTest {
protected:
    Device& machine(double trueStepsPerMm, double speed)
    {
        Device& device = controllerOn(3);
        Mechanics m;
        m.trueStepsPerMm.fill(trueStepsPerMm);
        m.speedMmPerSecond = speed;
        device.setMechanics(m);
        return device;
    }
};

// On a terminal: the start prompt, the move, the measured travel typed from the ruler, the one
// key; Ctrl-D or an empty answer changes nothing.
TEST_F(Calibrate, OnATerminalAsksToStartAndForTheMeasuredTravel)
{
    Device& device = machine(125.0, 1000.0);
    const std::string start = "Achse X fährt 10 mm (1000 Schritte) in Plus-Richtung. Starten mit Enter.";
    const std::string measured = "Gemessener Weg in mm (leer: abbrechen):";
    const auto ruler = [&](pid_t) { return static_cast<char>('0' + std::lround(device.physicalPositionMm(kAxisX))); };
    const auto key = [](char k) { return [k](pid_t) { return k; }; };
    const struct {
        Prompts prompts;
        int status;
        std::string shown;
        long moves;
        float aufloesung;
    } cases[] = {
        {{{start, key('\n')}, {measured, ruler}, {measured, key('\n')}},
         0,
         "Auflösung X: 100.000000 -> 125.000000 Schritte/mm\r\n",
         1,
         125.0f},
        {{{start, key('\x04')}}, 7, "calibration cancelled; nothing moved", 0, 125.0f},
        {{{start, key('\n')}, {measured, key('\n')}}, 7, "calibration cancelled; nothing changed", 1, 125.0f},
    };
    for (const auto& c : cases) {
        device.clearLogs();
        device.setPositionSteps({});
        device.parameters().setFloat(0x0400, kFactoryAufloesung);
        const auto [status, screen] = runOnTerminal({"calibrate", "X", "10"}, c.prompts);
        EXPECT_EQ(status, c.status) << screen;
        EXPECT_TRUE(contains(screen, c.shown));
        EXPECT_EQ(moves(device), c.moves);
        EXPECT_EQ(changes(device), c.status == 0 ? 1 : 0);
        EXPECT_EQ(device.parameters().getFloat(0x0400), c.status == 0 ? c.aufloesung : kFactoryAufloesung);
    }
}

// A refused distance or result, and a refusal up front, send no move or no key at all.
TEST_F(Calibrate, RefusesBeforeAnythingMovesOrIsSent)
{
    Device& device = machine(100.0, 1000.0);
    const struct {
        Texts args;
        std::function<void()> setUp;
        int status;
        std::string err;
        long moves;
    } cases[] = {
        {{"--yes", "--measured", "99", "X", "150"}, {}, 1, "150 mm are longer than the travel range of axis X", 0},
        {{"--yes", "--measured", "1", "Z", "0.004"}, {}, 1, "less than one step; nothing moved", 0},
        {{"--yes", "--measured", "99", "Y", "100"},
         [&] { device.parameters().setFloat(0x0401, 1e9f); },
         1,
         "more than 2147483647; nothing moved",
         0},
        {{"--yes", "--measured", "0.01", "C", "10"}, {}, 1, "steps/mm, outside 0.1 ... 999; nothing sent", 1},
        {{"--yes", "--measured", "5", "X", "10"},
         [&] { device.setNoReplyForKey(0x040A); },
         3,
         "1 key(s) could not be read; nothing moved",
         0},
        {{"--measured", "5", "X", "10"}, {}, 2, "start the move with --yes", 0},
        {{"--yes", "X", "10"}, {}, 2, "give the travel with --measured MM", 0},
        {{"--yes", "--measured", "5", "W", "10"}, {}, 2, "AXIS is X, Y, Z or C, not 'W'", 0},
        {{"--yes", "--measured", "-5", "X", "10"}, {}, 2, "--measured takes a positive number", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        device.clearLogs();
        if (c.setUp)
            c.setUp();
        Texts args = {"calibrate"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        run(args, c.status, c.err);
        EXPECT_EQ(moves(device), c.moves);
        EXPECT_EQ(changes(device), 0);
        EXPECT_TRUE(c.status != 2 || device.frameCount() == 0) << "not even opened";
        device.setNoReplyForKey(std::nullopt);
    }
}

// A signal while the axis moves sends NotHalt first and ends as read does; a device that
// vanishes ends with status 4. Nothing is changed either way.
TEST_F(Calibrate, ASignalDuringTheMoveSendsNotHaltAndALostLinkEndsWithFour)
{
    Device& device = machine(100.0, 2.0); // 50 mm take 25 s
    const struct {
        int signal; // 0: the device vanishes
        int status;
        std::string err;
    } cases[] = {{SIGINT, 130, "stopped by SIGINT; NotHalt sent"},
                 {SIGTERM, 143, "stopped by SIGTERM; NotHalt sent"},
                 {0, 4, "Die Verbindung zum Controller ist unterbrochen"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        device.clearLogs();
        CliChild cli(dir, {"calibrate", "--yes", "--measured", "50", "X", "50"});
        for (const auto until = std::chrono::steady_clock::now() + 30s;
             !device.moving() && std::chrono::steady_clock::now() < until;)
            std::this_thread::sleep_for(5ms);
        ASSERT_TRUE(device.moving());
        if (c.signal != 0)
            ASSERT_EQ(::kill(cli.pid, c.signal), 0);
        else
            device.disappearNow();
        EXPECT_EQ(cli.finish(), c.status) << cli.err;
        EXPECT_TRUE(contains(cli.err, c.err));
        EXPECT_EQ(changes(device), 0);
        if (c.signal == 0)
            continue;
        const auto frames = requestsOf(device);
        const auto stop = std::find_if(frames.begin(), frames.end(), [](const Frame& f) { return isStop(f, 1); });
        ASSERT_NE(stop, frames.end());
        EXPECT_TRUE(std::any_of(frames.begin(), stop, [](const Frame& f) { return f[0] == 2; })) << "after the move";
        EXPECT_FALSE(device.moving());
        EXPECT_LT(device.physicalPositionMm(kAxisX), 50.0) << "stopped where it was";
    }
}

} // namespace
} // namespace moravel::test
