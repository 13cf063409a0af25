// A line that misbehaves: a reply that comes late or in pieces fails its own command and no
// other, and a device that goes away fails the call at once and closes the context.

#include "tests/link/sim_fixture.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace quorlink::test {
namespace {

using ParameterKeys = std::span<const std::uint16_t>;

// Reads every exchangeable key the way the program's read sweep does; returns the keys that
// failed, and checks that every key that succeeded read the controller's own value.
std::vector<std::uint16_t> sweep(ConnectionContext* ctx, sim::Device& device)
{
    std::vector<std::uint16_t> failed;
    for (const std::uint16_t key : sim::ParameterStore::keys()) {
        std::int32_t value[4];
        if (ParameterLesen(ctx, key >> 8, key & 0xFF, value) != 1) {
            failed.push_back(key);
            continue;
        }
        sim::ValueArea read{};
        std::memcpy(read.data(), value, read.size());
        EXPECT_EQ(read, device.parameters().get(key)) << "key " << std::hex << key << " read a wrong value";
    }
    return failed;
}

// The 38 keys differ: a reply taken for another key's would show in its value.
void giveEveryKeyItsOwnValue(sim::Device& device)
{
    std::uint8_t n = 1;
    for (const std::uint16_t key : sim::ParameterStore::keys()) {
        sim::ValueArea area;
        area.fill(n++);
        device.parameters().set(key, area);
    }
}

// Failed keys a sweep with one bad reply may show: that key, plus a reply now and then that
// a loaded machine delays past its window.
constexpr std::size_t kMaxFailedKeys = 4;

struct SweepFault {
    const char* name;
    int firstBytes;         // of the reply that comes late (0: all of it)
    sim::Milliseconds late; // how late it (or its rest) comes
    // A reply (or its rest) that comes only after its command gave up and the line went quiet
    // may cost one later key too, but is never read as another key's value.
    std::size_t maxFailed = kMaxFailedKeys;
};

void PrintTo(const SweepFault& f, std::ostream* os) { *os << f.name; }

class OneBadReply : public SimTest, public ::testing::WithParamInterface<SweepFault> {};

TEST_P(OneBadReply, FailsOnlyItsOwnKeyInASweep)
{
    auto& device = openOnCom3();
    giveEveryKeyItsOwnValue(device);
    const ParameterKeys keys = sim::ParameterStore::keys();
    for (const std::size_t k : {std::size_t{0}, std::size_t{7}, keys.size() - 1}) {
        SCOPED_TRACE("bad reply to request " + std::to_string(k + 1));
        device.setLateReply(static_cast<int>(k + 1), GetParam().late, GetParam().firstBytes);
        // On a quiet machine exactly this key fails; a loaded one may make another reply miss
        // its window now and then, but never cascade (before, all later keys failed).
        const auto failed = sweep(&m_ctx, device);
        EXPECT_NE(std::find(failed.begin(), failed.end(), keys[k]), failed.end());
        EXPECT_LE(failed.size(), GetParam().maxFailed);
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, OneBadReply,
                         ::testing::Values(SweepFault{"Late120ms", 0, 120ms}, SweepFault{"Late150ms", 0, 150ms},
                                           SweepFault{"SplitAfter10BytesRest150msLater", 10, 150ms},
                                           SweepFault{"SplitAfter30BytesRest120msLater", 30, 120ms},
                                           SweepFault{"FarTooLate", 0, 450ms, kMaxFailedKeys + 1},
                                           SweepFault{"SplitAfter10BytesRestFarTooLate", 10, 450ms, kMaxFailedKeys + 1},
                                           SweepFault{"SplitAfter30BytesRestFarTooLate", 30, 450ms, kMaxFailedKeys + 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// The program switches to mode 1 before a sweep; the mode switch reply echoes group 0,
// item 0, so taken for the first key's reply it would read as the value 0.
TEST_F(OneBadReply, LateModeSwitchReplyIsNotReadAsTheFirstKeysValue)
{
    auto& device = openOnCom3();
    device.parameters().setLong(0x0000, 1234);
    device.setLateReply(1, 150ms);
    EXPECT_EQ(BetriebsArtenWechsel(&m_ctx, 1), 0);
    std::int32_t value[4] = {};
    EXPECT_EQ(ParameterLesen(&m_ctx, 0, 0, value), 1);
    EXPECT_EQ(value[0], 1234);
    EXPECT_EQ(device.machineState().mode, 1);
}

// ---- Lost link ---------------------------------------------------------------------------

struct LossCase {
    const char* name;
    Call call;
};

void PrintTo(const LossCase& c, std::ostream* os) { *os << c.name; }

std::int32_t readName(ConnectionContext* c)
{
    std::int32_t value[4];
    return ParameterLesen(c, 5, 5, value);
}
const std::int32_t kStep = 10;

const LossCase kLossCases[] = {
    {"SystemCommand", [](auto* c) { return NotHalt_mitBremsrampe(c); }},
    {"ParameterRead", readName},
    {"NameChange", [](auto* c) { return ParameterAendern_ControllerName(c, 5, 5, "Weg             "); }},
    {"MachineCommand", [](auto* c) { return FahreRelativ_XY_Schritte(c, 0, 1, &kStep, &kStep, 3); }},
    {"RawWrite",
     [](auto* c) {
         const Frame request = requestFrame(0, 0, 0);
         return KorvexWriteChar(c, request.data(), 64);
     }},
    {"RawRead",
     [](auto* c) {
         std::uint8_t buffer[32];
         return KorvexReadChar(c, buffer, 32);
     }},
};

class LostLink : public SimTest, public ::testing::WithParamInterface<LossCase> {
protected:
    // The context is closed by the library itself and stays harmless.
    void expectClosedAndHarmless(const sim::Device& device)
    {
        EXPECT_EQ(m_ctx.portHandle, -1);
        EXPECT_EQ(m_ctx.writeOverlapped.event, -1);
        EXPECT_EQ(m_ctx.readOverlapped.event, -1);
        const auto start = std::chrono::steady_clock::now();
        for (const auto& c : kLossCases)
            EXPECT_EQ(c.call(&m_ctx), 0) << c.name << " after the loss";
        EXPECT_LT(secondsSince(start), 0.5) << "calls on a lost link must fail at once";
        // The caller's close after a failure succeeds once, as after any open connection.
        EXPECT_EQ(KorvexCloseConnection(&m_ctx), 1);
        const ConnectionContext before = m_ctx;
        EXPECT_EQ(KorvexCloseConnection(&m_ctx), 0);
        EXPECT_EQ(std::memcmp(&before, &m_ctx, sizeof m_ctx), 0);
        EXPECT_EQ(m_ctx.portHandle, -1);
        EXPECT_TRUE(device.disappeared());
        EXPECT_EQ(KorvexOpenConnectionPort(&m_ctx, 3), 0);
        EXPECT_EQ(m_ctx.errorCode, QUORLINK_ERROR_PORT_NOT_OPENED);
    }
};

TEST_P(LostLink, DeviceGoneBeforeTheCallFailsItAtOnce)
{
    auto& device = openOnCom3();
    device.disappearNow();
    for (int i = 0; i < 200 && !device.disappeared(); ++i)
        std::this_thread::sleep_for(5ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetParam().call(&m_ctx), 0);
    EXPECT_LT(secondsSince(start), 1.0);
    expectClosedAndHarmless(device);
}

INSTANTIATE_TEST_SUITE_P(Calls, LostLink, ::testing::ValuesIn(kLossCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LostLink, DeviceGoneAtTheKthRequestOfASweepFailsThatKeyAtOnce)
{
    auto& device = openOnCom3();
    device.disappearAtFrame(5);
    std::int32_t value[4];
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(readName(&m_ctx), 1) << i;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ParameterLesen(&m_ctx, 0, 0, value), 0);
    // Without noticing the hang-up it would wait for the reply and then for the line to go
    // quiet; noticed, it ends as the device closes.
    EXPECT_LT(secondsSince(start), 1.0);
    expectClosedAndHarmless(device);
}

TEST_F(LostLink, DeviceGoneDuringTheSequenceEchoWaitEndsIt)
{
    auto& device = openOnCom3();
    device.setStaleSequence(1); // without the loss the re-reads take 1.3 s
    std::atomic<std::chrono::steady_clock::time_point> gone{};
    std::thread unplug([&] {
        device.waitForFrames(1, 2s);
        std::this_thread::sleep_for(300ms);
        gone = std::chrono::steady_clock::now();
        device.disappearNow();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ParkPositionAnfahren(&m_ctx), 0);
    const auto end = std::chrono::steady_clock::now();
    unplug.join();
    EXPECT_LT(std::chrono::duration<double>(end - gone.load()).count(), 0.6);
    EXPECT_LT(secondsSince(start), 2.5);
    expectClosedAndHarmless(device);
}

} // namespace
} // namespace quorlink::test
