// Open and close with their messages, the three open modes, and the manual-control commands.

#include "tests/controller/controller_fixture.h"

#include <cstring>

namespace moravel::test {
namespace {

using quorlink::sim::Device;

class LinkState : public ControllerTest {
protected:
    void usePort(const char* name)
    {
        app.connectionMode = 1;
        std::memset(app.m_context.portName, 0, 5);
        std::memcpy(app.m_context.portName, name, std::strlen(name));
    }
};

TEST_F(LinkState, ModeOneOpensThePortOfTheFourthCharacter)
{
    Device& com1 = sim.addPort(1);
    Device& com7 = sim.addPort(7);
    begin();
    usePort("COM7");
    ASSERT_TRUE(app.OpenConnection(ui));
    EXPECT_EQ(app.connected, 1);
    EXPECT_TRUE(com7.waitForFrames(1, 1s));
    EXPECT_EQ(com1.frameCount(), 0u);
    app.CloseConnection(ui);
    EXPECT_EQ(app.connected, 0);

    for (const char* name : {"COM9", "COMx"}) {
        com1.clearLogs();
        usePort(name);
        ASSERT_TRUE(app.OpenConnection(ui)) << name;
        EXPECT_TRUE(com1.waitForFrames(1, 1s)) << name;
        app.CloseConnection(ui);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(LinkState, AFailedOpenShowsItsOwnCodeAndClearsIt)
{
    Device& refusing = sim.addPort(2);
    refusing.setStatusAcceptByte(0);
    sim.addPort(4, "Another name    ");
    begin();
    const struct {
        int mode;
        const char* port;
        const char* message;
    } cases[] = {
        {1, "COM1", "Error opening connection. ErrorCode  1     "},
        {1, "COM2", "Error opening connection. ErrorCode  2     "},
        {0, "COM1", "Error opening connection. ErrorCode  4     "},
        {7, "COM1", "Error opening connection. ErrorCode  0     "},
    };
    for (const auto& c : cases) {
        ui.messages.clear();
        usePort(c.port);
        app.connectionMode = c.mode;
        EXPECT_FALSE(app.OpenConnection(ui));
        EXPECT_EQ(ui.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(app.m_context.errorCode, 0);
        EXPECT_EQ(app.connected, 0);
    }
    EXPECT_EQ(OpenErrorMessage(0xAB), "Error opening connection. ErrorCode  ab     ");
}

TEST_F(LinkState, AutodetectWithoutAControllerFailsWithCodeThree)
{
    begin();
    EXPECT_FALSE(app.OpenConnection(ui));
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Error opening connection. ErrorCode  3     "});
}

TEST_F(LinkState, AutodetectTakesTheControllersNameAndTheLineResetsTheBaudRate)
{
    sim.addPort(5, "Werkstatt 2     ");
    begin();
    ASSERT_EQ(app.ApplyChoice({2, "COM1", "", 120000}), ComPortField::None);
    ASSERT_TRUE(app.OpenConnection(ui));
    const ComPortChoice shown = app.CurrentChoice();
    EXPECT_EQ(shown.controllerName, "Werkstatt 2     ");
    EXPECT_EQ(shown.portName, "COM5");
    EXPECT_EQ(shown.baudRate, 115200u);
}

TEST_F(LinkState, AThreeLetterNameMatchesOnlyTheControllerWithThoseSixteenBytes)
{
    sim.addPort(2, "ABC");                        // blank-padded: "ABC" and 13 blanks
    Device& exact = sim.addPort(6, std::string("ABC\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
    begin();
    ASSERT_EQ(app.ApplyChoice({0, "COM1", "ABC", 115200}), ComPortField::None);
    ASSERT_TRUE(app.OpenConnection(ui));
    EXPECT_EQ(std::string(app.m_context.portName), "COM6");
    EXPECT_GE(exact.frameCount(), 4u);
}

TEST_F(LinkState, OpeningWhileConnectedSendsNothing)
{
    Device& device = connectOnCom3();
    EXPECT_TRUE(app.OpenConnection(ui));
    EXPECT_FALSE(device.waitForFrames(1, 200ms));
}

TEST_F(LinkState, ARefusedCloseKeepsTheLinkStateAndSays)
{
    connectOnCom3();
    ASSERT_EQ(KorvexCloseConnection(&app.m_context), 1); // closed behind the app's back
    app.CloseConnection(ui);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Error close connection"});
    EXPECT_EQ(app.connected, 1);
    ui.messages.clear();
    app.connected = 0;
    app.CloseConnection(ui);
    EXPECT_TRUE(ui.messages.empty()) << "closing while not connected does nothing";
}

TEST_F(LinkState, ManualCommandsSendTheirFramesAndReportTheControllersAnswer)
{
    Device& device = connectOnCom3();
    const std::int32_t minus1000[1] = {-1000};
    const std::int32_t zero[1] = {0};
    EXPECT_TRUE(app.SendMoveRelativeXY(0, 1, minus1000, zero, 3, ui));
    EXPECT_TRUE(app.SendNotHalt(ui));
    EXPECT_TRUE(app.SendNotStop(ui));
    const auto frames = framesOf(device, 3);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0][0], 2);
    EXPECT_EQ(frames[0][1], 0x11);
    EXPECT_EQ(std::vector<std::uint8_t>(frames[0].begin() + 8, frames[0].begin() + 12),
              (std::vector<std::uint8_t>{0x18, 0xFC, 0xFF, 0xFF}));
    EXPECT_EQ(frames[0][56], 3);
    EXPECT_EQ((std::array{frames[1][1], frames[1][2]}), (std::array<std::uint8_t, 2>{3, 1}));
    EXPECT_EQ((std::array{frames[2][1], frames[2][2]}), (std::array<std::uint8_t, 2>{3, 0}));

    device.setSilent(true);
    EXPECT_FALSE(app.SendNotStop(ui));
    EXPECT_TRUE(ui.messages.empty()) << "a failed command shows nothing";
}

TEST_F(LinkState, ManualCommandsWithoutALinkShowOnlyTheOpenMessage)
{
    begin();
    const std::int32_t plus1000[1] = {1000};
    const std::int32_t zero[1] = {0};
    EXPECT_FALSE(app.SendMoveRelativeXY(0, 1, plus1000, zero, 3, ui));
    EXPECT_FALSE(app.SendNotHalt(ui));
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0], "Error opening connection. ErrorCode  3     ");
}

} // namespace
} // namespace moravel::test
