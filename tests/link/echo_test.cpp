// Reply checks: lengths, sequence echoes (stale and late replies, wrap), value echoes.

#include "tests/link/sim_fixture.h"

#include <cmath>
#include <cstring>

namespace quorlink::test {
namespace {

using LengthCheck = SimTest;
using SequenceEcho = SimTest;
using ValueEcho = SimTest;

const std::int32_t kOne[1] = {1};

std::int32_t jog(ConnectionContext* ctx) { return FahreRelativ_XY_Schritte(ctx, 0, 1, kOne, kOne, 3); }

TEST_F(LengthCheck, ShortLateOrSplitRepliesFailSystemCommands)
{
    auto& device = openOnCom3();
    device.setShortReply(31);
    EXPECT_EQ(NotHalt_mitBremsrampe(&m_ctx), 0);
    device.setShortReply(0);
    device.setSplitReply(10, 300ms);
    EXPECT_EQ(BetriebsArtenWechsel(&m_ctx, 1), 0);
    device.setSplitReply(0, 0ms);
    std::this_thread::sleep_for(350ms);  // the rest of the split reply arrives and is dropped
    std::int32_t dummy[4];
    KorvexReadChar(&m_ctx, dummy, 16);
    EXPECT_EQ(FehlerQuitieren(&m_ctx), 1);
}

TEST_F(LengthCheck, LateReplyIsWhatTheNextCommandReads)
{
    auto& device = openOnCom3();
    device.setPositionSteps({11, 0, 0, 0});
    device.setReplyDelay(150ms);
    std::int32_t steps[4] = {};
    unsigned char status;
    EXPECT_EQ(GetPosition_Schritte(&m_ctx, steps, &status), 0);
    device.setReplyDelay(0ms);
    device.setPositionSteps({22, 0, 0, 0});
    std::this_thread::sleep_for(100ms);
    // Classes 0 and 1 do not examine the sequence echo: the stale reply is taken.
    ASSERT_EQ(GetPosition_Schritte(&m_ctx, steps, &status), 1);
    EXPECT_EQ(steps[0], 11);
}

TEST_F(SequenceEcho, LateReplyOfThePreviousCommandIsSkipped)
{
    auto& device = openOnCom3();
    device.setReplyDelay(150ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(jog(&m_ctx), 0);  // nothing there after 100 ms: no re-reads
    EXPECT_LT(secondsSince(start), 0.5);
    device.setReplyDelay(0ms);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ParkPositionAnfahren(&m_ctx), 1);
}

TEST_F(SequenceEcho, StaleReplyFollowedByTheRightOneSucceeds)
{
    auto& device = openOnCom3();
    device.setStaleSequence(1, 300ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(jog(&m_ctx), 1);
    const double took = secondsSince(start);
    EXPECT_GT(took, 0.25);  // the right reply comes 300 ms after the request
    EXPECT_LT(took, 1.2);
}

TEST_F(SequenceEcho, OnlyStaleRepliesFailAfterTheRereads)
{
    auto& device = openOnCom3();
    device.setStaleSequence(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SpindelKuhlungSetzen(&m_ctx, 1, 0), 0);
    const double took = secondsSince(start);
    EXPECT_GT(took, 1.3);  // 100 ms + 128 pauses of 10 ms
    EXPECT_LT(took, 3.5);
}

TEST_F(SequenceEcho, ShortFirstReplyFailsWithoutRereads)
{
    auto& device = openOnCom3();
    device.setShortReply(27);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Referenzfahrt(&m_ctx, 0, nullptr), 0);
    EXPECT_LT(secondsSince(start), 0.5);
}

TEST_F(SequenceEcho, SequenceNumberWrapsAndTwoFiftyFiveIsConfirmed)
{
    auto& device = openOnCom3();
    m_ctx.sequence = 254;
    EXPECT_EQ(jog(&m_ctx), 1);
    EXPECT_EQ(lastFrame(device)[59], 254);
    device.setStaleSequence(1, 200ms);  // the awaited 255 comes after a stale 254
    EXPECT_EQ(jog(&m_ctx), 1);
    EXPECT_EQ(lastFrame(device)[59], 255);
    EXPECT_EQ(m_ctx.sequence, 0);
    EXPECT_EQ(jog(&m_ctx), 1);
    EXPECT_EQ(lastFrame(device)[59], 0);
    EXPECT_EQ(m_ctx.sequence, 1);
}

TEST_F(ValueEcho, ChangeFailsWhenAnotherValueIsEchoed)
{
    auto& device = openOnCom3();
    device.setWrongValueEcho(0x0404);
    EXPECT_EQ(ParameterAendern_long(&m_ctx, 4, 4, 12), 0);
    EXPECT_EQ(ParameterAendern_long(&m_ctx, 4, 5, 12), 1);  // other keys are fine
    device.setWrongValueEcho(0x040A);
    EXPECT_EQ(ParameterAendern_4_longs(&m_ctx, 4, 0x0A, 1, 2, 3, 4), 0);
    device.setWrongValueEcho(0x040D);
    EXPECT_EQ(ParameterAendern_4_uchar(&m_ctx, 4, 0x0D, 1, 2, 3, 4), 0);
    device.setWrongValueEcho(0x0304);
    EXPECT_EQ(ParameterAendern_Richtung_Sequenz_ReferenzFahrt(&m_ctx, 3, 4, 1, 1, 0, 0, 2, 1, 0, 3), 0);
    device.setWrongValueEcho(0x0505);
    EXPECT_EQ(ParameterAendern_ControllerName(&m_ctx, 5, 5, "Neuer Name      "), 0);
    // Last byte of the area differs: the name echo is compared over all 16 bytes.
    sim::ValueArea lastDiffers;
    std::memcpy(lastDiffers.data(), "Neuer Name     !", 16);
    device.setWrongValueEcho(0x0505, lastDiffers);
    EXPECT_EQ(ParameterAendern_ControllerName(&m_ctx, 5, 5, "Neuer Name      "), 0);
    device.clearWrongValueEcho();
    EXPECT_EQ(ParameterAendern_ControllerName(&m_ctx, 5, 5, "Neuer Name      "), 1);
}

TEST_F(ValueEcho, FloatEchoIsComparedAsANumber)
{
    auto& device = openOnCom3();
    sim::ValueArea negativeZero {};
    const float minusZero = -0.0f;
    std::memcpy(negativeZero.data(), &minusZero, 4);
    device.setWrongValueEcho(0x0001, negativeZero);
    EXPECT_EQ(ParameterAendern_float(&m_ctx, 0, 1, 0.0f), 1);
    sim::ValueArea nearby {};
    const float close = std::nextafter(0.5f, 1.0f);
    std::memcpy(nearby.data(), &close, 4);
    device.setWrongValueEcho(0x0001, nearby);
    EXPECT_EQ(ParameterAendern_float(&m_ctx, 0, 1, 0.5f), 0);
}

TEST_F(ValueEcho, MissingKeyEchoFailsAndReadLeavesZeros)
{
    auto& device = openOnCom3();
    std::int32_t value[4] = {0x55, 0x55, 0x55, 0x55};
    EXPECT_EQ(ParameterLesen(&m_ctx, 9, 9, value), 0);  // unknown key: no echo
    EXPECT_EQ(std::vector<std::int32_t>(value, value + 4), std::vector<std::int32_t>(4, 0));
    device.setNoReplyForKey(0x0100);
    std::memset(value, 0x55, sizeof value);
    EXPECT_EQ(ParameterLesen(&m_ctx, 1, 0, value), 0);
    EXPECT_EQ(std::vector<std::int32_t>(value, value + 4), std::vector<std::int32_t>(4, 0));
    EXPECT_EQ(ParameterAendern_float(&m_ctx, 1, 0, 0.5f), 0);
}

TEST_F(ValueEcho, OnlyTheNameChangeReadsALateReplyAgain)
{
    auto& device = openOnCom3();
    device.setReplyDelay(150ms);
    EXPECT_EQ(ParameterAendern_ControllerName(&m_ctx, 5, 5, "Spaeter Name    "), 1);
    EXPECT_EQ(device.parameters().name(), "Spaeter Name    ");
    EXPECT_EQ(ParameterAendern_long(&m_ctx, 5, 6, 10), 0);
}

TEST_F(ValueEcho, NameReplyPartlyThereAtTheFirstReadFails)
{
    auto& device = openOnCom3();
    device.setSplitReply(8, 150ms);
    EXPECT_EQ(ParameterAendern_ControllerName(&m_ctx, 5, 5, "Geteilt         "), 0);
}

}  // namespace
}  // namespace quorlink::test
