// Open and close with their messages, and the open modes of the settings.

#include "tests/controller/controller_fixture.h"

namespace moravel::test {
namespace {

using LinkState = ControllerTest;

TEST(portNumberForMode1, TakesTheFourthCharacterOneToEightElseOne)
{
    const std::pair<const char*, int> cases[] = {
        {"COM1", 1}, {"COM8", 8}, {"COM9", 1}, {"COM0", 1}, {"COMx", 1}, {"XYZ5", 5}, {"CO", 1}, {"", 1},
    };
    for (const auto& [text, number] : cases) {
        char name[5] = {};
        std::memcpy(name, text, std::strlen(text));
        EXPECT_EQ(portNumberForMode1(name), number) << text;
    }
}

TEST_F(LinkState, ModeOneOpensThatPortOnceAndARefusedCloseKeepsTheLinkState)
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
    EXPECT_EQ(com1.frameCount(), 0u);
    app.CloseConnection(ui);
    EXPECT_EQ(app.connected, 0);
    app.CloseConnection(ui);
    EXPECT_TRUE(ui.messages.empty()) << "closing while not connected does nothing";

    ASSERT_TRUE(app.OpenConnection(ui));
    ASSERT_EQ(KorvexCloseConnection(&app.m_context), 1); // closed behind the app's back
    app.CloseConnection(ui);
    EXPECT_EQ(ui.messages, Texts{"Error close connection"});
    EXPECT_EQ(app.connected, 1);
}

TEST_F(LinkState, AFailedOpenShowsItsOwnCodeAndClearsIt)
{
    sim.addPort(2).setStatusAcceptByte(0);
    sim.addPort(4).setSilent(true);
    begin();
    const struct {
        int mode;
        const char* port;
        const char* message;
    } cases[] = {
        {1, "COM1", "Error opening connection. ErrorCode  1     "}, // port missing
        {1, "COM2", "Error opening connection. ErrorCode  2     "}, // no status answer
        {2, "COM1", "Error opening connection. ErrorCode  3     "}, // autodetect found none
        {0, "COM1", "Error opening connection. ErrorCode  4     "}, // name not found
        {7, "COM1", "Error opening connection. ErrorCode  0     "}, // unknown mode
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ui.messages.clear();
        usePort(c.port);
        app.connectionMode = c.mode;
        EXPECT_FALSE(app.OpenConnection(ui));
        EXPECT_EQ(ui.messages, Texts{c.message});
        EXPECT_EQ(app.m_context.errorCode, 0);
        EXPECT_EQ(app.connected, 0);
    }
    EXPECT_EQ(openErrorMessage(0xAB), "Error opening connection. ErrorCode  ab     ");
}

} // namespace
} // namespace moravel::test
