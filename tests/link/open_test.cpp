// The three ways to open: by port, by scanning COM1..COM8, by controller name.

#include "tests/link/sim_fixture.h"

#include <cstring>
#include <string>

namespace quorlink::test {
namespace {

using OpenByPort = SimTest;
using OpenByScan = SimTest;
using OpenByName = SimTest;

std::string nameOf(const ConnectionContext& ctx) { return std::string(ctx.controllerName, 16); }

// Connect-time requests: status query, mode switch, name read, without the 0xA7 trailer.
Frame connectStatus(std::uint8_t seq) { return requestFrame(0, 0x00, seq, {}, 0); }
Frame connectMode(std::uint8_t seq, std::uint8_t mode) { return requestFrame(0, 0x01, seq, {{2, {mode}}}, 0); }
Frame connectNameRead(std::uint8_t seq) { return requestFrame(1, 0x21, seq, {{2, {5, 5}}}, 0); }

std::vector<Frame> framesOf(const sim::Device& device)
{
    std::vector<Frame> result;
    for (const auto& f : device.frames())
        result.push_back(f.bytes);
    return result;
}

TEST_F(OpenByPort, ResetsTheContextAndSendsOneStatusQuery)
{
    auto& device = m_sim.addPort(3);
    begin();
    std::memset(&m_ctx, 0x5A, sizeof m_ctx);  // garbage everywhere, also in the handle fields
    ASSERT_EQ(KorvexOpenConnectionPort(&m_ctx, 3), 1);
    EXPECT_STREQ(m_ctx.portName, "COM3");
    EXPECT_EQ(nameOf(m_ctx), std::string(16, ' '));
    EXPECT_EQ(m_ctx.controllerName[16], '\0');
    EXPECT_EQ(m_ctx.baudRate, 115200u);
    EXPECT_EQ(m_ctx.sequence, 1);
    EXPECT_EQ(m_ctx.errorCode, 0);
    EXPECT_EQ(m_ctx.dataBits, 8);
    EXPECT_EQ(m_ctx.parity, 0);
    EXPECT_EQ(m_ctx.stopBits, 0);
    EXPECT_EQ(m_ctx.handshake, 4);
    EXPECT_GT(m_ctx.portHandle, 2);
    EXPECT_NE(m_ctx.writeOverlapped.event, -1);
    EXPECT_NE(m_ctx.readOverlapped.event, -1);
    ASSERT_TRUE(device.waitForFrames(1, 1s));
    EXPECT_EQ(framesOf(device), std::vector<Frame> {connectStatus(0)});
}

TEST_F(OpenByPort, MissingPortGivesErrorOne)
{
    m_sim.addPort(3);
    begin();
    EXPECT_EQ(KorvexOpenConnectionPort(&m_ctx, 4), 0);
    EXPECT_EQ(m_ctx.errorCode, QUORLINK_ERROR_PORT_NOT_OPENED);
    EXPECT_EQ(m_ctx.portHandle, -1);
    EXPECT_EQ(m_ctx.sequence, 0);
}

TEST_F(OpenByPort, PortThatDoesNotAcceptGivesErrorTwoAndIsClosed)
{
    for (const bool silent : {true, false}) {
        SCOPED_TRACE(silent ? "silent device" : "status byte 21 = 0");
        sim::Simulator sim;
        auto& device = sim.addPort(2);
        if (silent)
            device.setSilent(true);
        else
            device.setStatusAcceptByte(0);
        sim.exportEnvironment();
        sim.start();
        ConnectionContext ctx {};
        EXPECT_EQ(KorvexOpenConnectionPort(&ctx, 2), 0);
        EXPECT_EQ(ctx.errorCode, QUORLINK_ERROR_NO_STATUS_ANSWER);
        EXPECT_EQ(ctx.portHandle, -1);
        EXPECT_EQ(ctx.sequence, 1);
        // Closed again: the port opens at once for another context.
        device.setStatusAcceptByte(1);
        device.setSilent(false);
        ConnectionContext other {};
        EXPECT_EQ(KorvexOpenConnectionPort(&other, 2), 1);
        KorvexCloseConnection(&other);
    }
}

TEST_F(OpenByPort, NumberOutsideOneToEightOpensTheCallersPortName)
{
    m_sim.addPort(3);
    begin();
    for (const int number : {0, 9, -1}) {
        ConnectionContext ctx {};
        std::memcpy(ctx.portName, "COM3", 5);
        EXPECT_EQ(KorvexOpenConnectionPort(&ctx, number), 1) << number;
        EXPECT_STREQ(ctx.portName, "COM3");
        KorvexCloseConnection(&ctx);
    }
}

TEST_F(OpenByPort, PortNameOfAnotherFormFailsToOpen)
{
    m_sim.addPort(3);
    begin();
    for (const char* name : {"COM0", "COMX", "com3", "", "/dev"}) {
        ConnectionContext ctx {};
        std::memcpy(ctx.portName, name, std::strlen(name) + 1);
        EXPECT_EQ(KorvexOpenConnectionPort(&ctx, 0), 0) << name;
        EXPECT_EQ(ctx.errorCode, QUORLINK_ERROR_PORT_NOT_OPENED) << name;
    }
    ConnectionContext unterminated {};
    std::memcpy(unterminated.portName, "COM34", 5);
    EXPECT_EQ(KorvexOpenConnectionPort(&unterminated, 0), 0);
}

TEST_F(OpenByScan, FindsTheControllerBehindAbsentPorts)
{
    auto& device = m_sim.addPort(3, "Portal-Fraese  01");
    begin();
    ASSERT_EQ(KorvexOpenConnectionAuto(&m_ctx), 1);
    EXPECT_STREQ(m_ctx.portName, "COM3");
    EXPECT_EQ(nameOf(m_ctx), "Portal-Fraese  0");
    EXPECT_EQ(m_ctx.sequence, 4);
    EXPECT_EQ(m_ctx.errorCode, 0);
    ASSERT_TRUE(device.waitForFrames(4, 1s));
    const auto frames = device.frames();
    EXPECT_EQ(framesOf(device),
              (std::vector<Frame> {connectStatus(0), connectMode(1, 1), connectNameRead(2), connectMode(3, 2)}));
    // 100 ms after each request, 50 ms more between the mode switch and the name read.
    EXPECT_GE(frames[2].time - frames[1].time, 140ms);
    EXPECT_GE(frames[3].time - frames[2].time, 90ms);
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);  // the port stayed open
}

TEST_F(OpenByScan, SkipsSilentPortsAndClosesThem)
{
    auto& silent1 = m_sim.addPort(1);
    auto& silent2 = m_sim.addPort(2);
    m_sim.addPort(3);
    silent1.setSilent(true);
    silent2.setSilent(true);
    begin();
    ASSERT_EQ(KorvexOpenConnectionAuto(&m_ctx), 1);
    EXPECT_STREQ(m_ctx.portName, "COM3");
    EXPECT_EQ(m_ctx.sequence, 6);
    EXPECT_EQ(framesOf(silent1), std::vector<Frame> {connectStatus(0)});
    EXPECT_EQ(framesOf(silent2), std::vector<Frame> {connectStatus(1)});
    for (const int port : {1, 2}) {
        ConnectionContext other {};
        EXPECT_EQ(KorvexOpenConnectionPort(&other, port), 0);
        EXPECT_EQ(other.errorCode, QUORLINK_ERROR_NO_STATUS_ANSWER) << "COM" << port << " was left locked";
    }
}

TEST_F(OpenByScan, SkipsAControllerThatRefusesTheConnection)
{
    m_sim.addPort(1).setStatusAcceptByte(2);
    m_sim.addPort(2, "Second          ");
    begin();
    ASSERT_EQ(KorvexOpenConnectionAuto(&m_ctx), 1);
    EXPECT_STREQ(m_ctx.portName, "COM2");
    EXPECT_EQ(nameOf(m_ctx), "Second          ");
}

TEST_F(OpenByScan, ConnectsEvenWhenTheNameReadFails)
{
    m_sim.addPort(4).setNoReplyForKey(0x0505);
    begin();
    ASSERT_EQ(KorvexOpenConnectionAuto(&m_ctx), 1);
    EXPECT_EQ(nameOf(m_ctx), std::string(16, '\0'));
    EXPECT_EQ(m_ctx.sequence, 4);
}

TEST_F(OpenByScan, NothingAnsweringGivesErrorThree)
{
    m_sim.addPort(5).setSilent(true);
    begin();
    EXPECT_EQ(KorvexOpenConnectionAuto(&m_ctx), 0);
    EXPECT_EQ(m_ctx.errorCode, QUORLINK_ERROR_NO_CONTROLLER_FOUND);
    EXPECT_EQ(m_ctx.portHandle, -1);
    EXPECT_EQ(m_ctx.sequence, 1);
}

TEST_F(OpenByName, PassesOverSilentAndOtherControllers)
{
    auto& silent = m_sim.addPort(1);
    silent.setSilent(true);
    auto& other = m_sim.addPort(2, "Drehbank        ");
    auto& wanted = m_sim.addPort(3, "Portalfraese    ");
    begin();
    ASSERT_EQ(KorvexOpenConnectionName(&m_ctx, "Portalfraese    "), 1);
    EXPECT_STREQ(m_ctx.portName, "COM3");
    EXPECT_EQ(nameOf(m_ctx), "Portalfraese    ");
    EXPECT_EQ(m_ctx.sequence, 1 + 4 + 4);
    EXPECT_EQ(other.frameCount(), 4u);
    EXPECT_EQ(framesOf(wanted).front(), connectStatus(5));
    ConnectionContext probe {};
    EXPECT_EQ(KorvexOpenConnectionPort(&probe, 2), 1) << "COM2 was left open";
    KorvexCloseConnection(&probe);
}

struct NameCase {
    const char* what;
    std::string controller;
    std::string requested;
    bool found;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.what; }

class NameMatch : public SimTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameMatch, IsExactOverAllSixteenBytes)
{
    m_sim.addPort(2, GetParam().controller);
    begin();
    ASSERT_EQ(GetParam().requested.size(), 16u);
    EXPECT_EQ(KorvexOpenConnectionName(&m_ctx, GetParam().requested.data()), GetParam().found ? 1 : 0);
    EXPECT_EQ(m_ctx.errorCode, GetParam().found ? 0 : QUORLINK_ERROR_NAME_NOT_FOUND);
    EXPECT_EQ(m_ctx.portHandle == -1, !GetParam().found);
}

const std::string kThreeLetters("abc\0\0\0\0\0\0\0\0\0\0\0\0\0", 16);

INSTANTIATE_TEST_SUITE_P(
    OpenByName, NameMatch,
    ::testing::Values(NameCase {"Same", "NC-Travo USB    ", "NC-Travo USB    ", true},
                      NameCase {"OtherCase", "NC-Travo USB    ", "nc-travo usb    ", false},
                      NameCase {"LastByteDiffers", "NC-Travo USB    ", "NC-Travo USB   !", false},
                      NameCase {"PaddedWithZeros", kThreeLetters, kThreeLetters, true},
                      NameCase {"ZerosAreNotBlanks", kThreeLetters, "abc             ", false},
                      NameCase {"HighBytes", "Fr\xE4se \x80\xFF        ", "Fr\xE4se \x80\xFF        ", true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(OpenByName, TakesTheNameFromTheContextItself)
{
    m_sim.addPort(6, "Eigener Name    ");
    begin();
    std::memcpy(m_ctx.controllerName, "Eigener Name    ", 16);
    EXPECT_EQ(KorvexOpenConnectionName(&m_ctx, m_ctx.controllerName), 1);
    EXPECT_EQ(nameOf(m_ctx), "Eigener Name    ");
}

TEST_F(OpenByName, FailedNameReadMatchesNoName)
{
    m_sim.addPort(1).setNoReplyForKey(0x0505);
    begin();
    const char zeros[16] = {};
    EXPECT_EQ(KorvexOpenConnectionName(&m_ctx, zeros), 0);
    EXPECT_EQ(m_ctx.errorCode, QUORLINK_ERROR_NAME_NOT_FOUND);
    EXPECT_EQ(m_ctx.portHandle, -1);
}

TEST_F(OpenByName, NullNameFailsWithErrorFour)
{
    m_sim.addPort(1);
    begin();
    EXPECT_EQ(KorvexOpenConnectionName(&m_ctx, nullptr), 0);
    EXPECT_EQ(m_ctx.errorCode, QUORLINK_ERROR_NAME_NOT_FOUND);
    EXPECT_EQ(m_sim.device(1).frameCount(), 0u);
}

}  // namespace
}  // namespace quorlink::test
