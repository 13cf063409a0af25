// Commissioning against the in-process simulator: the calibration played by a technician with
// the simulator's ruler, the machine's directions, a stop in the middle of a move, and the
// change of single keys with their read-back.

#include "app/controller/commissioning.h"
#include "tests/controller/controller_fixture.h"

#include <cmath>
#include <filesystem>

namespace moravel::test {
namespace {

using quorlink::sim::Mechanics;

class Commissioning : public ControllerTest {
protected:
    Device& machine(const Mechanics& mechanics)
    {
        Device& device = connectOnCom3();
        device.setMechanics(mechanics);
        return device;
    }
};

// Each axis reaches the machine's true steps per millimetre within 0.01 % in at most two
// rounds, whatever way its motor turns; the measurement is read off the ruler to 0.001 mm.
TEST_F(Commissioning, CalibrationReachesTheTrueStepsPerMillimetreWithinTwoRounds)
{
    const struct {
        int axis;
        double trueStepsPerMm;
        bool reversedWiring;
        std::int32_t richtungsumkehr;
        double distance;
    } cases[] = {{kAxisX, 201.005, false, 0, 100},
                 {kAxisY, 79.37, true, 0, 100},
                 {kAxisZ, 533.3333, false, 1, 50},
                 {kAxisC, 12.7, true, 1, 50}};
    Mechanics mechanics;
    mechanics.speedMmPerSecond = 5000;
    for (const auto& c : cases) {
        mechanics.trueStepsPerMm[static_cast<std::size_t>(c.axis)] = c.trueStepsPerMm;
        mechanics.reversedWiring[static_cast<std::size_t>(c.axis)] = c.reversedWiring;
    }
    Device& device = machine(mechanics);
    device.parameters().setFourLongs(kRichtungsumkehrKey, {0, 0, 1, 1});
    for (const auto& c : cases) {
        SCOPED_TRACE(kAxisLetters[static_cast<std::size_t>(c.axis)]);
        int rounds = 0;
        for (double error = 1; error > 1e-4 && rounds < 2; ++rounds) {
            ParameterSet set;
            ASSERT_TRUE(readKeys(app, calibrationKeys(c.axis), set, ui).complete());
            const CalibrationMove move = calibrationMove(c.distance, axisMechanics(set, c.axis));
            ASSERT_EQ(move.refusal, MoveRefusal::None);
            const double before = device.physicalPositionMm(c.axis);
            const MoveResult moved = runMove(app, c.axis, move.steps, ui);
            ASSERT_TRUE(moved.outcome == MoveOutcome::Done && moved.reachedTarget);
            const double travel = device.physicalPositionMm(c.axis) - before;
            EXPECT_EQ(travel < 0, c.reversedWiring != (c.richtungsumkehr != 0)) << "the motor's way";
            const NewResolution next = newResolution(move.steps, std::round(std::fabs(travel) * 1000) / 1000);
            ASSERT_TRUE(next.accepted);
            aufloesungKey(c.axis).floatValue(set) = next.value;
            const ParameterInfo* key[] = {&aufloesungKey(c.axis)};
            ASSERT_TRUE(changeKeys(app, set, key, ui).verified());
            error = std::fabs(device.parameters().getFloat(kAufloesungKey + c.axis) / c.trueStepsPerMm - 1);
        }
        EXPECT_LE(std::fabs(device.parameters().getFloat(kAufloesungKey + c.axis) / c.trueStepsPerMm - 1), 1e-4);
        EXPECT_LE(rounds, 2);
    }
    EXPECT_EQ(ui.messages, Texts{});
}

// A stop request during a move sends NotHalt: the axis stands where it was, and the position
// query reports the controller's count in its millimetres, not the ruler's.
TEST_F(Commissioning, AStopRequestDuringAMoveStopsTheAxisWhereItIs)
{
    Mechanics mechanics;
    mechanics.trueStepsPerMm[kAxisZ] = 200;
    mechanics.speedMmPerSecond = 5;
    Device& device = machine(mechanics);
    ui.stopWhen = [&] { return device.machineState().positionSteps[kAxisZ] > 0; };
    const MoveResult moved = runMove(app, kAxisZ, 5000, ui); // 50 mm at 100 steps/mm
    EXPECT_EQ(moved.outcome, MoveOutcome::Stopped);
    const auto frames = framesOf(device, 1);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_TRUE(isStop(frames.back(), 1)) << "NotHalt last";
    const auto& move = frames[1];
    EXPECT_EQ(Bytes(move.begin(), move.begin() + 16), (Bytes{2, 0x12, 0, 0, 0, 0, 1, 1, 0x88, 0x13, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(move[56], 3);
    EXPECT_FALSE(device.moving());
    const std::int32_t steps = device.machineState().positionSteps[kAxisZ];
    EXPECT_GT(steps, 0);
    EXPECT_LT(steps, 5000);
    const auto mm = queryPosition(app, ui);
    ASSERT_TRUE(mm.has_value());
    EXPECT_FLOAT_EQ((*mm)[kAxisZ], static_cast<float>(steps / 100.0));
    EXPECT_DOUBLE_EQ(device.physicalPositionMm(kAxisZ), steps / 200.0);
}

// Keys go out between one mode 1 and mode 2 and are read back; a controller that keeps its
// old value or answers with another one is caught.
TEST_F(Commissioning, ChangedKeysAreReadBackAndEveryMismatchIsReported)
{
    Device& device = connectOnCom3();
    ParameterSet set;
    parameterRow(kVerfahrbereichBisKey).longValue(set, kAxisY) = 321;
    parameterRow(kRichtungsumkehrKey).longValue(set, kAxisC) = 1;
    const ParameterInfo* keys[] = {&parameterRow(kRichtungsumkehrKey), &parameterRow(kVerfahrbereichBisKey)};
    const struct {
        std::optional<std::uint16_t> ignored, wrongEcho;
        std::size_t failed, differences;
    } cases[] = {{kVerfahrbereichBisKey, {}, 0, 1}, {{}, kRichtungsumkehrKey, 1, 0}, {{}, {}, 0, 0}};
    for (const auto& c : cases) {
        device.clearLogs();
        device.setIgnoredChange(c.ignored);
        if (c.wrongEcho)
            device.setWrongValueEcho(*c.wrongEcho);
        else
            device.clearWrongValueEcho();
        const KeyChangeResult result = changeKeys(app, set, keys, ui);
        EXPECT_EQ(result.failed.size(), c.failed);
        EXPECT_EQ(result.differences.size(), c.differences);
        EXPECT_EQ(result.verified(), c.failed + c.differences == 0);
        std::vector<std::array<int, 3>> sent; // class, code, mode or item
        for (const Frame& f : framesOf(device, 6))
            sent.push_back({f[0], f[1], f[0] == 1 ? f[3] : f[2]});
        EXPECT_EQ(sent, (std::vector<std::array<int, 3>>{
                            {0, 1, 1}, {1, 0x11, 8}, {1, 0x11, 10}, {1, 0x21, 8}, {1, 0x21, 10}, {0, 1, 2}}));
    }
    EXPECT_EQ(ui.messages.size(), 1u) << "the failed change's message";
    EXPECT_EQ(device.parameters().getFourLongs(kVerfahrbereichBisKey), (std::array<std::int32_t, 4>{0, 321, 0, 0}));
}

// The assistant's transfer: the controller's whole set saved first (nothing saved with a key
// missing), the changed keys then taken into the document as read from the controller.
TEST_F(Commissioning, TheBackupHoldsTheWholeSetAndTheDocumentTakesTheChangedKeys)
{
    Device& device = connectOnCom3();
    device.parameters().setLong(0x0506, 9);
    const BackupResult saved = backupControllerSet(app, ui);
    ASSERT_TRUE(saved.saved()) << saved.error << testing::PrintToString(ui.messages);
    EXPECT_TRUE(startsWith(saved.path, (home.path() / ".local/share/moravel/backups/NC-Travo_USB-").string()));
    EXPECT_TRUE(contains(readFile(saved.path), "\n0506=9  "));
    device.setNoReplyForKey(0x0101);
    const std::string path = home.file("partial.ncp");
    EXPECT_FALSE(backupControllerSet(app, ui, path).saved());
    EXPECT_FALSE(std::filesystem::exists(path));

    CMoravelSDIDoc doc;
    ParameterSet values;
    aufloesungKey(kAxisY).floatValue(values) = 201.5f;
    const ParameterInfo* keys[] = {&aufloesungKey(kAxisY)};
    takeIntoDocument(doc, values, keys);
    EXPECT_EQ(doc.m_parameterSet.origin(kAufloesungKey + kAxisY), ValueOrigin::Controller);
    EXPECT_EQ(valueText(aufloesungKey(kAxisY), doc.m_parameterSet), "201.500000");
    EXPECT_TRUE(doc.isModified());
}

} // namespace
} // namespace moravel::test
