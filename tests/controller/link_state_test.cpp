// Open and close with their messages, the three open modes, and the manual-control commands.

#include "tests/controller/controller_fixture.h"

namespace moravel::test {
namespace {

using quorlink::sim::Device;
using LinkState = ControllerTest;

TEST(PortNumberForMode1, TakesTheFourthCharacterOneToEightElseOne)
{
    const std::pair<const char*, int> cases[] = {
        {"COM1", 1}, {"COM8", 8}, {"COM9", 1}, {"COM0", 1}, {"COMx", 1}, {"XYZ5", 5}, {"CO", 1}, {"", 1},
    };
    for (const auto& [text, number] : cases) {
        char name[5] = {};
        std::memcpy(name, text, std::strlen(text));
        EXPECT_EQ(PortNumberForMode1(name), number) << text;
    }
}

TEST_F(LinkState, ModeOneOpensThatPortOnceAndCloses)
{
    Device& com1 = sim.addPort(1);
    Device& com7 = sim.addPort(7);
    begin();
    usePort("COM7");
    ASSERT_TRUE(app.OpenConnection(ui));
    EXPECT_EQ(app.connected, 1);
    EXPECT_TRUE(com7.waitForFrames(1, 1s));
    com7.clearLogs();
    EXPECT_TRUE(app.OpenConnection(ui));
    EXPECT_FALSE(com7.waitForFrames(1, 200ms)) << "opening while connected sends nothing";
    app.CloseConnection(ui);
    EXPECT_EQ(app.connected, 0);
    EXPECT_EQ(com1.frameCount(), 0u);

    usePort("COM9");
    ASSERT_TRUE(app.OpenConnection(ui));
    EXPECT_TRUE(com1.waitForFrames(1, 1s));
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
        {1, "COM1", "Error opening connection. ErrorCode  1     "}, // port missing
        {1, "COM2", "Error opening connection. ErrorCode  2     "}, // no status answer
        {0, "COM1", "Error opening connection. ErrorCode  4     "}, // name not found
        {7, "COM1", "Error opening connection. ErrorCode  0     "}, // unknown mode
    };
    for (const auto& c : cases) {
        ui.messages.clear();
        usePort(c.port);
        app.connectionMode = c.mode;
        EXPECT_FALSE(app.OpenConnection(ui));
        EXPECT_EQ(ui.messages, Texts{c.message});
        EXPECT_EQ(app.m_context.errorCode, 0);
        EXPECT_EQ(app.connected, 0);
    }
    EXPECT_EQ(OpenErrorMessage(0xAB), "Error opening connection. ErrorCode  ab     ");
}

TEST_F(LinkState, AutodetectFailsWithCodeThreeOrTakesTheControllersNameAndResetsTheBaudRate)
{
    Device& device = sim.addPort(5, "Werkstatt 2     ");
    device.setSilent(true);
    begin();
    EXPECT_FALSE(app.OpenConnection(ui));
    EXPECT_EQ(ui.messages, Texts{"Error opening connection. ErrorCode  3     "});

    device.setSilent(false);
    ASSERT_EQ(app.ApplyChoice({2, "COM1", "", 120000}), ComPortField::None);
    ASSERT_TRUE(app.OpenConnection(ui));
    const ComPortChoice shown = app.CurrentChoice();
    EXPECT_EQ(shown.controllerName, "Werkstatt 2     ");
    EXPECT_EQ(shown.portName, "COM5");
    EXPECT_EQ(shown.baudRate, 115200u);
}

TEST_F(LinkState, AThreeLetterNameMatchesOnlyTheControllerWithThoseSixteenBytes)
{
    sim.addPort(2, "ABC"); // blank-padded: "ABC" and 13 blanks
    sim.addPort(6, std::string("ABC\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
    begin();
    ASSERT_EQ(app.ApplyChoice({0, "COM1", "ABC", 115200}), ComPortField::None);
    ASSERT_TRUE(app.OpenConnection(ui));
    EXPECT_EQ(std::string(app.m_context.portName), "COM6");
}

TEST_F(LinkState, ARefusedCloseKeepsTheLinkStateAndSays)
{
    connectOnCom3();
    ASSERT_EQ(KorvexCloseConnection(&app.m_context), 1); // closed behind the app's back
    app.CloseConnection(ui);
    EXPECT_EQ(ui.messages, Texts{"Error close connection"});
    EXPECT_EQ(app.connected, 1);
    ui.messages.clear();
    app.connected = 0;
    app.CloseConnection(ui);
    EXPECT_TRUE(ui.messages.empty()) << "closing while not connected does nothing";
}

TEST_F(LinkState, ManualCommandsOpenTheLinkAndSendTheirFrames)
{
    const std::int32_t minus1000[1] = {-1000};
    const std::int32_t zero[1] = {0};
    Device& device = sim.addPort(3);
    device.setStatusAcceptByte(0);
    begin();
    usePort("COM3");
    EXPECT_FALSE(app.SendNotHalt(ui));
    EXPECT_EQ(ui.messages, Texts{"Error opening connection. ErrorCode  2     "});

    device.setStatusAcceptByte(1);
    device.clearLogs();
    EXPECT_TRUE(app.SendMoveRelativeXY(0, 1, minus1000, zero, 3, ui));
    EXPECT_TRUE(app.SendNotHalt(ui));
    EXPECT_TRUE(app.SendNotStop(ui));
    const auto frames = framesOf(device, 4);
    ASSERT_EQ(frames.size(), 4u) << "the open's status query, then the three commands";
    EXPECT_EQ((std::array{frames[1][0], frames[1][1]}), (std::array<std::uint8_t, 2>{2, 0x11}));
    EXPECT_EQ(std::vector<std::uint8_t>(frames[1].begin() + 8, frames[1].begin() + 12),
              (std::vector<std::uint8_t>{0x18, 0xFC, 0xFF, 0xFF}));
    EXPECT_EQ(frames[1][56], 3);
    EXPECT_EQ((std::array{frames[2][1], frames[2][2]}), (std::array<std::uint8_t, 2>{3, 1}));
    EXPECT_EQ((std::array{frames[3][1], frames[3][2]}), (std::array<std::uint8_t, 2>{3, 0}));

    device.setSilent(true);
    EXPECT_FALSE(app.SendNotStop(ui));
    EXPECT_EQ(ui.messages.size(), 1u) << "a failed command shows nothing";
}

} // namespace
} // namespace moravel::test
