// Every command: its exact request bytes, the outputs it passes on, and the checks of its
// reply (lengths, sequence echoes with stale and late replies and the wrap, value echoes).

#include "tests/link/sim_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>
#include <string>

namespace quorlink::test {
namespace {

struct FrameCase {
    std::string name;
    Call call;
    Frame expected; // sent with sequence number 1, the first after an open by port
};

const float kXmm[2] = {1.5f, -2.0f}, kYmm[2] = {0.25f, 8.0f};
const std::int32_t kSix[6] = {1, 2, 3, 4, 5, 6}, kSixNeg[6] = {-1, -2, -3, -4, -5, -6};
const std::int32_t kPlus1000 = 1000, kZero = 0;
const Bytes kHoming = [] {
    Bytes b(56);
    std::iota(b.begin(), b.end(), 1);
    return b;
}();
// Where the commands put their outputs.
float g_mm[4];
std::int32_t g_longs[4];
unsigned char g_status;
const char kHighName[16] = {'F', 'r', '\xE4', 's', 'e', ' ', 'N', 'o', 'r', 'd', ' ', ' ', ' ', '\x80', '\xFF', '!'};

std::vector<FrameCase> frameCases()
{
    const Bytes xy = le32(1.5f, 0.25f, -2.0f, 8.0f);
    return {
        {"StatusAbfrage", [](auto* c) { return StatusAbfrage(c, 1); }, requestFrame(0, 0x00, 1, {{7, {1}}})},
        {"GetPositionMm", [](auto* c) { return GetPosition_mm(c, g_mm, &g_status); }, requestFrame(0, 0x00, 1)},
        {"GetPositionSteps", [](auto* c) { return GetPosition_Schritte(c, g_longs, &g_status); },
         requestFrame(0, 0x00, 1, {{7, {1}}})},
        {"BetriebsArtenWechsel", [](auto* c) { return BetriebsArtenWechsel(c, 1); },
         requestFrame(0, 0x01, 1, {{2, {1}}})},
        {"FehlerQuitieren", [](auto* c) { return FehlerQuitieren(c); }, requestFrame(0, 0x02, 1)},
        {"NotHaltMitBremsrampe", [](auto* c) { return NotHalt_mitBremsrampe(c); },
         requestFrame(0, 0x03, 1, {{2, {1}}})},
        {"NotStopOhneBremsrampe", [](auto* c) { return NotStop_ohneBremsrampe(c); }, requestFrame(0, 0x03, 1)},
        {"JogXPlus1000Steps", [](auto* c) { return FahreRelativ_XY_Schritte(c, 0, 1, &kPlus1000, &kZero, 3); },
         requestFrame(2, 0x11, 1, {{6, {1, 1}}, {8, {0xE8, 0x03, 0, 0}}, {56, {3}}})},
        {"MoveXYMm", [](auto* c) { return FahreRelativ_XY_mm(c, 0x01020304, 2, kXmm, kYmm, 0x181); },
         requestFrame(2, 0x11, 1, {{2, {4, 3, 2, 1, 2, 0}}, {8, xy}, {56, {0x81}}})},
        {"MoveZCMm", [](auto* c) { return FahreRelativ_ZC_mm(c, -1, 2, kXmm, kYmm, 0); },
         requestFrame(2, 0x12, 1, {{2, {0xFF, 0xFF, 0xFF, 0xFF, 2, 0}}, {8, xy}})},
        {"MoveZCStepsSixPairs", [](auto* c) { return FahreRelativ_ZC_Schritte(c, 7, 6, kSix, kSixNeg, 1); },
         requestFrame(2, 0x12, 1,
                      {{2, {7, 0, 0, 0, 6, 1}}, {8, le32(1, -1, 2, -2, 3, -3, 4, -4, 5, -5, 6, -6)}, {56, {1}}})},
        {"MoveWithNoPairs", [](auto* c) { return FahreRelativ_XY_Schritte(c, 5, 0, nullptr, nullptr, 2); },
         requestFrame(2, 0x11, 1, {{2, {5, 0, 0, 0, 0, 1}}, {56, {2}}})},
        {"SpindleAndCoolant", [](auto* c) { return SpindelKuhlungSetzen(c, 1, 1); },
         requestFrame(2, 0x21, 1, {{2, {3}}})},
        {"CoolantOnly", [](auto* c) { return SpindelKuhlungSetzen(c, 0, 1); }, requestFrame(2, 0x21, 1, {{2, {2}}})},
        {"OutputsLowByte", [](auto* c) { return AllgemeineAusgaeneSetzen(c, 0x1A5); },
         requestFrame(2, 0x22, 1, {{2, {0xA5}}})},
        {"HomingWithoutBytes", [](auto* c) { return Referenzfahrt(c, 0, nullptr); }, requestFrame(2, 0x31, 1)},
        {"HomingWith56Bytes", [](auto* c) { return Referenzfahrt(c, 56, kHoming.data()); },
         requestFrame(2, 0x31, 1, {{2, {56}}, {3, kHoming}})},
        {"ParkPosition", [](auto* c) { return ParkPositionAnfahren(c); }, requestFrame(2, 0x32, 1)},
        {"ZeroPointMm", [](auto* c) { return NullPunktSetzen_mm(c, 1.0f, 2.0f, -3.5f, 0.0f); },
         requestFrame(2, 0x41, 1, {{8, le32(1.0f, 2.0f, -3.5f)}})},
        {"ZeroPointSteps", [](auto* c) { return NullPunktSetzen_Schritte(c, 1, -1, 100000, 7); },
         requestFrame(2, 0x41, 1, {{7, {1}}, {8, le32(1, -1, 100000, 7)}})},
        {"ParameterReadName", [](auto* c) { return ParameterLesen(c, 5, 5, g_longs); },
         requestFrame(1, 0x21, 1, {{2, {5, 5}}})},
        {"ParameterChangeUsesLowBytesOfKey", [](auto* c) { return ParameterAendern_long(c, 0x104, 0x304, -2); },
         requestFrame(1, 0x11, 1, {{2, {4, 4}}, {4, le32(-2)}})},
        {"ParameterChangeFloat", [](auto* c) { return ParameterAendern_float(c, 1, 1, 3.5f); },
         requestFrame(1, 0x11, 1, {{2, {1, 1}}, {4, le32(3.5f)}})},
        {"ParameterChangeFourLongs", [](auto* c) { return ParameterAendern_4_longs(c, 4, 0x0A, 1, -2, 3, -4); },
         requestFrame(1, 0x11, 1, {{2, {4, 0x0A}}, {4, le32(1, -2, 3, -4)}})},
        {"ParameterChangeFourBytes", [](auto* c) { return ParameterAendern_4_uchar(c, 4, 0x0D, 258, 1, 2, 0); },
         requestFrame(1, 0x11, 1, {{2, {4, 0x0D, 2, 1, 2, 0}}})},
        {"ParameterChangeNameWithHighBytes",
         [](auto* c) { return ParameterAendern_ControllerName(c, 5, 5, kHighName); },
         requestFrame(1, 0x11, 1, {{2, {5, 5}}, {4, Bytes(kHighName, kHighName + 16)}})},
        {"ParameterChangeHoming",
         [](auto* c) { return ParameterAendern_Richtung_Sequenz_ReferenzFahrt(c, 3, 4, 1, 1, 0, 0, 2, 1, 0, 0x103); },
         requestFrame(1, 0x11, 1, {{2, {3, 4, 1, 1, 0, 0, 2, 1, 0, 3}}})},
    };
}

using CommandOutputs = SimTest;

// One open for all commands: each starts again from sequence number 1.
TEST_F(CommandOutputs, EveryRequestIsSentExactlyAndConfirmedAndANullContextSendsNothing)
{
    auto& device = openOnCom3();
    for (const FrameCase& c : frameCases()) {
        SCOPED_TRACE(c.name);
        m_ctx.sequence = 1;
        device.clearLogs();
        EXPECT_EQ(c.call(nullptr), 0);
        EXPECT_EQ(c.call(&m_ctx), 1);
        EXPECT_EQ(m_ctx.sequence, 2);
        EXPECT_EQ(device.frameCount(), 1u);
        EXPECT_EQ(lastFrame(device), c.expected);
    }
}

TEST_F(CommandOutputs, PositionQueriesPassOnPositionsAndStatusOnlyWhenAnswered)
{
    auto& device = openOnCom3();
    device.setPositionSteps({1000, -2000, 50, 0});
    device.setStatusByte(0x5A);
    for (const bool answered : {true, false}) {
        SCOPED_TRACE(answered ? "answered" : "silent");
        device.setSilent(!answered);
        std::vector<float> mm(4, 7.0f);
        std::vector<std::int32_t> steps(4, 7);
        unsigned char status[2] = {7, 7};
        EXPECT_EQ(GetPosition_mm(&m_ctx, mm.data(), &status[0]), answered ? 1 : 0);
        EXPECT_EQ(GetPosition_Schritte(&m_ctx, steps.data(), &status[1]), answered ? 1 : 0);
        // 100 steps/mm by default
        EXPECT_EQ(mm, (answered ? std::vector<float>{10.0f, -20.0f, 0.5f, 0.0f} : std::vector<float>(4, 7.0f)));
        EXPECT_EQ(steps, (answered ? std::vector<std::int32_t>{1000, -2000, 50, 0} : std::vector<std::int32_t>(4, 7)));
        EXPECT_EQ(std::vector<int>(status, status + 2), std::vector<int>(2, answered ? 0x5A : 7));
    }
}

TEST_F(CommandOutputs, ParameterReadPassesOnTheValueAreaOrZeros)
{
    auto& device = openOnCom3();
    std::int32_t value[4];
    ASSERT_EQ(ParameterLesen(&m_ctx, 4, 0x0A, value), 1); // travel range "to": 100, 100, 50, 50
    EXPECT_EQ(std::vector<std::int32_t>(value, value + 4), (std::vector<std::int32_t>{100, 100, 50, 50}));
    device.setNoReplyForKey(0x0100);
    for (const int key : {0x0909, 0x0100}) { // unknown key: no echo; known key: no reply
        std::fill_n(value, 4, 0x55);
        EXPECT_EQ(ParameterLesen(&m_ctx, key >> 8, key & 0xFF, value), 0);
        EXPECT_EQ(std::vector<std::int32_t>(value, value + 4), std::vector<std::int32_t>(4, 0)) << key;
    }
}

const std::int32_t kOne = 1;
std::int32_t jog(ConnectionContext* ctx) { return FahreRelativ_XY_Schritte(ctx, 0, 1, &kOne, &kOne, 3); }
std::int32_t statusQuery(ConnectionContext* ctx) { return StatusAbfrage(ctx, 1); }

using Fault = std::function<void(sim::Device&)>;

// The first bytes of a 16-byte value area.
sim::ValueArea area(const void* bytes, std::size_t size)
{
    sim::ValueArea a{};
    std::memcpy(a.data(), bytes, size);
    return a;
}
Fault wrongEcho(std::uint16_t key, std::optional<sim::ValueArea> echo = {})
{
    return [=](sim::Device& d) { d.setWrongValueEcho(key, echo); };
}
Fault late(sim::Milliseconds delay)
{
    return [=](sim::Device& d) { d.setReplyDelay(delay); };
}
Fault oneLate(sim::Milliseconds delay)
{
    return [=](sim::Device& d) { d.setLateReply(1, delay); };
}
Call changeLong(int group, int item)
{
    return [=](auto* c) { return ParameterAendern_long(c, group, item, 12); };
}
Call changeFloat(float v)
{
    return [=](auto* c) { return ParameterAendern_float(c, 0, 1, v); };
}
Call changeName(const char* name)
{
    return [=](auto* c) { return ParameterAendern_ControllerName(c, 5, 5, name); };
}

struct ReplyCase {
    const char* name;
    Fault fault;
    Call call;
    std::int32_t result;
    double minSeconds = 0.0; // the call's duration; above 1 s only with re-reads
    double maxSeconds = 1.0;
    Call then = {}; // a second command, at once, with the fault still on
    std::int32_t thenResult = 0;
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

const float kMinusZero = -0.0f, kAboveHalf = std::nextafter(0.5f, 1.0f);
const char kNewName[] = "Neuer Name      ";

const ReplyCase kReplyCases[] = {
    {"ShortReplyFailsASystemCommand", [](auto& d) { d.setShortReply(31); }, NotHalt_mitBremsrampe, 0},
    {"SplitReplyFailsASystemCommand", [](auto& d) { d.setSplitReply(10, 300ms); }, FehlerQuitieren, 0},
    // A late reply fails its own command, which waits for the line to go quiet (the reply at
    // 150 ms, then 100 ms without a byte); the next command gets its own reply.
    {"LateReplyFailsOnlyItsOwnStatusQuery", oneLate(150ms), statusQuery, 0, 0.24, 1.0, statusQuery, 1},
    {"LateReplyFailsOnlyItsOwnMachineCommand", oneLate(150ms), jog, 0, 0.24, 1.0, ParkPositionAnfahren, 1},
    {"ShortReplyFailsAMachineCommandWithoutRereads", [](auto& d) { d.setShortReply(27); }, ParkPositionAnfahren, 0, 0.0,
     1.0},
    {"StaleReplyFollowedByTheRightOneSucceeds", [](auto& d) { d.setStaleSequence(1, 300ms); }, jog, 1, 0.25, 1.2},
    {"OnlyStaleRepliesFailAfterTheRereads", [](auto& d) { d.setStaleSequence(1); }, // 100 ms + 128 x 10 ms
     [](auto* c) { return SpindelKuhlungSetzen(c, 1, 0); }, 0, 1.3, 3.5},
    {"WrongEchoFailsALongChange", wrongEcho(0x0404), changeLong(4, 4), 0},
    {"WrongEchoFailsAFourLongsChange", wrongEcho(0x040A),
     [](auto* c) { return ParameterAendern_4_longs(c, 4, 0x0A, 1, 2, 3, 4); }, 0},
    {"WrongEchoFailsAFourBytesChange", wrongEcho(0x040D),
     [](auto* c) { return ParameterAendern_4_uchar(c, 4, 0x0D, 1, 2, 3, 4); }, 0},
    {"WrongEchoFailsAHomingDirectionsChange", wrongEcho(0x0304),
     [](auto* c) { return ParameterAendern_Richtung_Sequenz_ReferenzFahrt(c, 3, 4, 1, 1, 0, 0, 2, 1, 0, 3); }, 0},
    {"NameEchoIsComparedOverAllSixteenBytes", wrongEcho(0x0505, area("Neuer Name     !", 16)), changeName(kNewName), 0},
    {"FloatEchoMinusZeroEqualsZero", wrongEcho(0x0001, area(&kMinusZero, 4)), changeFloat(0.0f), 1},
    {"FloatEchoOneBitOffFails", wrongEcho(0x0001, area(&kAboveHalf, 4)), changeFloat(0.5f), 0},
    {"MissingEchoFailsAChange", [](auto& d) { d.setNoReplyForKey(0x0001); }, changeFloat(0.5f), 0},
    {"NameChangeReadsALateReplyAgain", late(150ms), changeName("Spaeter Name    "), 1, 0.2},
    {"OtherChangesDoNotReadALateReplyAgain", late(150ms), changeLong(5, 6), 0},
    {"NameReplyPartlyThereAtTheFirstReadFails", [](auto& d) { d.setSplitReply(8, 150ms); },
     changeName("Geteilt         "), 0},
};

class ReplyCheck : public SimTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyCheck, GivesTheExpectedResultInTime)
{
    auto& device = openOnCom3();
    GetParam().fault(device);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetParam().call(&m_ctx), GetParam().result);
    const double took = secondsSince(start);
    EXPECT_GE(took, GetParam().minSeconds);
    EXPECT_LT(took, GetParam().maxSeconds);
    EXPECT_EQ(GetParam().then ? GetParam().then(&m_ctx) : 0, GetParam().thenResult);
}

INSTANTIATE_TEST_SUITE_P(Faults, ReplyCheck, ::testing::ValuesIn(kReplyCases),
                         [](const auto& info) { return std::string(info.param.name); });

using SequenceEcho = SimTest;

TEST_F(SequenceEcho, SequenceNumberWrapsAndTwoFiftyFiveIsConfirmed)
{
    auto& device = openOnCom3();
    m_ctx.sequence = 254;
    for (const int sequence : {254, 255, 0}) {
        if (sequence == 255)
            device.setStaleSequence(1, 200ms); // the awaited 255 comes after a stale 254
        EXPECT_EQ(jog(&m_ctx), 1) << sequence;
        EXPECT_EQ(lastFrame(device)[59], sequence);
        EXPECT_EQ(m_ctx.sequence, (sequence + 1) % 256);
    }
}

} // namespace
} // namespace quorlink::test
