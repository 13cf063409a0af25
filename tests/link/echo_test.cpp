// Reply checks: lengths, sequence echoes (stale and late replies, wrap), value echoes.

#include "tests/link/sim_fixture.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace quorlink::test {
namespace {

const std::int32_t kOne = 1;
std::int32_t jog(ConnectionContext* ctx) { return FahreRelativ_XY_Schritte(ctx, 0, 1, &kOne, &kOne, 3); }
std::int32_t positionQuery(ConnectionContext* ctx)
{
    std::int32_t steps[4];
    unsigned char status;
    return GetPosition_Schritte(ctx, steps, &status);
}

using Fault = std::function<void(sim::Device&)>;

// The first bytes of a 16-byte value area.
sim::ValueArea area(const void* bytes, std::size_t size)
{
    sim::ValueArea a {};
    std::memcpy(a.data(), bytes, size);
    return a;
}
Fault wrongEcho(std::uint16_t key, std::optional<sim::ValueArea> echo = {})
{
    return [=](sim::Device& d) { d.setWrongValueEcho(key, echo); };
}
Fault late(sim::Milliseconds delay) { return [=](sim::Device& d) { d.setReplyDelay(delay); }; }
Call changeLong(int group, int item) { return [=](auto* c) { return ParameterAendern_long(c, group, item, 12); }; }
Call changeFloat(float v) { return [=](auto* c) { return ParameterAendern_float(c, 0, 1, v); }; }
Call changeName(const char* name) { return [=](auto* c) { return ParameterAendern_ControllerName(c, 5, 5, name); }; }

struct ReplyCase {
    const char* name;
    Fault fault;
    Call call;
    std::int32_t result;
    double minSeconds = 0.0;  // the call's duration; above 1 s only with re-reads
    double maxSeconds = 1.0;
    Call then = {};  // a second command, at once, with the fault still on
    std::int32_t thenResult = 0;
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

const float kMinusZero = -0.0f, kAboveHalf = std::nextafter(0.5f, 1.0f);
const char kNewName[] = "Neuer Name      ";

const ReplyCase kReplyCases[] = {
    {"ShortReplyFailsASystemCommand", [](auto& d) { d.setShortReply(31); }, NotHalt_mitBremsrampe, 0},
    {"SplitReplyFailsASystemCommand", [](auto& d) { d.setSplitReply(10, 300ms); }, FehlerQuitieren, 0},
    // The late reply is still in the input when the next command reads its own, 50 ms too early.
    {"LateReplyIsTakenByTheNextPositionQuery", late(150ms), positionQuery, 0, 0.0, 1.0, positionQuery, 1},
    {"LateReplyFailsAMachineCommandAndTheNextSkipsIt", late(150ms), jog, 0, 0.0, 0.5, ParkPositionAnfahren, 1},
    {"ShortReplyFailsAMachineCommandWithoutRereads", [](auto& d) { d.setShortReply(27); }, ParkPositionAnfahren, 0,
     0.0, 0.5},
    {"StaleReplyFollowedByTheRightOneSucceeds", [](auto& d) { d.setStaleSequence(1, 300ms); }, jog, 1, 0.25, 1.2},
    {"OnlyStaleRepliesFailAfterTheRereads", [](auto& d) { d.setStaleSequence(1); },  // 100 ms + 128 x 10 ms
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
            device.setStaleSequence(1, 200ms);  // the awaited 255 comes after a stale 254
        EXPECT_EQ(jog(&m_ctx), 1) << sequence;
        EXPECT_EQ(lastFrame(device)[59], sequence);
        EXPECT_EQ(m_ctx.sequence, (sequence + 1) % 256);
    }
}

}  // namespace
}  // namespace quorlink::test
