// The port itself: exclusive open, line settings, raw I/O, handles the library did not
// open, and arguments that must not reach the line. Vanishing devices: line_faults_test.cpp.

#include "tests/link/sim_fixture.h"
#include "tests/support/child_process.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <tuple>

namespace quorlink::test {
namespace {

using Port = SimTest;
using BadArguments = SimTest;

TEST_F(Port, SecondOpenFailsInThisAndInAnotherProcessAndAReopenReleasesTheOldPort)
{
    openOnCom3();
    const int oldFd = m_ctx.portHandle;
    ASSERT_EQ(KorvexOpenConnectionPort(&m_ctx, 3), 1); // the old lock would refuse it
    EXPECT_TRUE(fcntl(oldFd, F_GETFD) == -1 || oldFd == m_ctx.portHandle);
    ConnectionContext second{};
    EXPECT_EQ(KorvexOpenConnectionPort(&second, 3), 0);
    EXPECT_EQ(second.errorCode, QUORLINK_ERROR_PORT_NOT_OPENED);
    EXPECT_TRUE(moravel::test::inChild([] {
        ConnectionContext ctx{};
        return KorvexOpenConnectionPort(&ctx, 3) == 0 && ctx.errorCode == QUORLINK_ERROR_PORT_NOT_OPENED;
    })) << "the other process could open the port";
    EXPECT_EQ(KorvexCloseConnection(&m_ctx), 1);
    EXPECT_EQ(KorvexOpenConnectionPort(&second, 3), 1);
    KorvexCloseConnection(&second);
}

TEST_F(Port, LineIsRaw115200EightNOneWithoutFlowControlAndCloseKeepsItWithDtrAndTheContextsState)
{
    auto& device = openOnCom3();
    m_ctx.errorCode = 3;
    for (const bool open : {true, false}) {
        SCOPED_TRACE(open ? "open" : "after close");
        const termios t = device.lineSettings();
        EXPECT_EQ(cfgetospeed(&t), B115200);
        EXPECT_EQ(cfgetispeed(&t), B115200);
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL | CREAD | CLOCAL),
                  static_cast<tcflag_t>(CS8 | CREAD | CLOCAL));
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(std::pair(t.c_cc[VMIN], t.c_cc[VTIME]), std::pair(cc_t{0}, cc_t{0}));
        const ConnectionContext before = m_ctx;
        EXPECT_EQ(KorvexCloseConnection(&m_ctx), open ? 1 : 0);
        EXPECT_TRUE(open || std::memcmp(&before, &m_ctx, sizeof m_ctx) == 0) << "a second close changed the context";
    }
    const auto& c = m_ctx;
    EXPECT_EQ(std::tuple(c.portHandle, c.writeOverlapped.event, c.readOverlapped.event, c.sequence, c.errorCode),
              std::tuple(-1, -1, -1, 1, 3));
    // Commands on a closed context fail, but still use a sequence number.
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 0);
    EXPECT_EQ(ParkPositionAnfahren(&m_ctx), 0);
    EXPECT_EQ(m_ctx.sequence, 3);
    EXPECT_EQ(device.frameCount(), 0u);
}

TEST_F(Port, ReadReturnsAtOnceAndBytesPassUnchanged)
{
    auto& device = openOnCom3();
    std::uint8_t reply[40] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KorvexReadChar(&m_ctx, reply, 40), 0);
    EXPECT_LT(secondsSince(start), 0.05);
    // A whole request through the raw functions, with bytes a cooked line would alter.
    const Frame request = requestFrame(0, 0x00, 0x0D, {{7, {1}}, {10, {'\r', '\n', 0x11, 0x13, 0x03, 0x7F}}});
    EXPECT_EQ(KorvexWriteChar(&m_ctx, request.data(), 64), 64);
    ASSERT_TRUE(device.waitForFrames(1, 1s));
    EXPECT_EQ(lastFrame(device), request);
    // The 32-byte reply, taken as it comes (a read returns what is there).
    std::int32_t got = 0;
    for (const auto deadline = start + 5s; got < 32 && std::chrono::steady_clock::now() < deadline;)
        got += KorvexReadChar(&m_ctx, reply + got, 40 - got);
    EXPECT_EQ(got, 32);
    EXPECT_EQ(reply[21], 1);
    EXPECT_EQ(reply[27], 0x0D);
}

TEST_F(Port, WriteToADeviceThatTakesNothingTimesOut)
{
    auto& device = openOnCom3();
    device.setInputStalled(true);
    std::vector<char> data(24000, 'x'); // more than a pseudo-terminal buffers (about 17 KB)
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KorvexWriteChar(&m_ctx, data.data(), static_cast<std::int32_t>(data.size())), 0);
    const double took = secondsSince(start), lineTime = data.size() * 10.0 / 115200;
    EXPECT_GT(took, lineTime + 1.5);
    EXPECT_LT(took, lineTime + 4.0);
}

TEST_F(Port, ForeignHandlesAreNeverClosedNorUsed)
{
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_NONBLOCK), 0);
    const std::pair<const char*, std::function<void(ConnectionContext&)>> cases[] = {
        {"zero-initialised", [](ConnectionContext&) {}},
        {"foreign pipe, plausible events",
         [&](ConnectionContext& c) {
             c.portHandle = pipeFds[1];
             c.writeOverlapped.event = c.readOverlapped.event = 0x514C;
         }},
        {"garbage", [](ConnectionContext& c) { std::memset(&c, 0xA5, sizeof c); }},
    };
    for (const auto& [what, prepare] : cases) {
        SCOPED_TRACE(what);
        ConnectionContext ctx{};
        prepare(ctx);
        char byte = 'x';
        EXPECT_EQ(KorvexWriteChar(&ctx, &byte, 1), 0);
        EXPECT_EQ(KorvexReadChar(&ctx, &byte, 1), 0);
        EXPECT_EQ(NotHalt_mitBremsrampe(&ctx), 0);
        EXPECT_EQ(KorvexCloseConnection(&ctx), 0);
    }
    // Descriptor 0 and both pipe ends still open, and nothing was written into the pipe.
    for (const int fd : {0, pipeFds[0], pipeFds[1]})
        EXPECT_NE(fcntl(fd, F_GETFD), -1) << fd;
    char got;
    EXPECT_EQ(read(pipeFds[0], &got, 1), -1);
    close(pipeFds[0]);
    close(pipeFds[1]);
}

// Null contexts of the commands are checked with their request bytes (commands_test.cpp).
TEST_F(BadArguments, CountsOutsideTheFrameNullPointersAndNullContextsGiveZeroAndSendNothing)
{
    auto& device = openOnCom3();
    const std::int32_t seven[7] = {};
    const float sevenF[7] = {};
    const unsigned char bytes57[57] = {};
    char buffer[8] = {};
    unsigned char status = 0;
    std::int32_t steps[4] = {};
    const std::pair<const char*, Call> calls[] = {
        {"XY steps, 7 pairs", [&](auto* c) { return FahreRelativ_XY_Schritte(c, 0, 7, seven, seven, 0); }},
        {"XY mm, -1 pairs", [&](auto* c) { return FahreRelativ_XY_mm(c, 0, -1, sevenF, sevenF, 0); }},
        {"ZC steps, huge count", [&](auto* c) { return FahreRelativ_ZC_Schritte(c, 0, 1 << 30, seven, seven, 0); }},
        {"ZC mm, 7 pairs", [&](auto* c) { return FahreRelativ_ZC_mm(c, 0, 7, sevenF, sevenF, 0); }},
        {"XY, null x", [&](auto* c) { return FahreRelativ_XY_Schritte(c, 0, 1, nullptr, seven, 0); }},
        {"ZC, null c", [&](auto* c) { return FahreRelativ_ZC_mm(c, 0, 1, sevenF, nullptr, 0); }},
        {"homing, 57 bytes", [&](auto* c) { return Referenzfahrt(c, 57, bytes57); }},
        {"homing, -1 bytes", [&](auto* c) { return Referenzfahrt(c, -1, bytes57); }},
        {"homing, null bytes", [&](auto* c) { return Referenzfahrt(c, 1, nullptr); }},
        {"position mm, null array", [&](auto* c) { return GetPosition_mm(c, nullptr, &status); }},
        {"position steps, null status", [&](auto* c) { return GetPosition_Schritte(c, steps, nullptr); }},
        {"parameter read, null output", [&](auto* c) { return ParameterLesen(c, 5, 5, nullptr); }},
        {"name change, null name", [&](auto* c) { return ParameterAendern_ControllerName(c, 5, 5, nullptr); }},
        {"write, -5 bytes", [&](auto* c) { return KorvexWriteChar(c, buffer, -5); }},
        {"write, null bytes", [&](auto* c) { return KorvexWriteChar(c, nullptr, 8); }},
        {"read, -1 bytes", [&](auto* c) { return KorvexReadChar(c, buffer, -1); }},
        {"read, null buffer", [&](auto* c) { return KorvexReadChar(c, nullptr, 8); }},
        {"write, null context", [&](auto*) { return KorvexWriteChar(nullptr, buffer, 8); }},
        {"read, null context", [&](auto*) { return KorvexReadChar(nullptr, buffer, 8); }},
        {"open by port, null context", [](auto*) { return KorvexOpenConnectionPort(nullptr, 3); }},
        {"open by scan, null context", [](auto*) { return KorvexOpenConnectionAuto(nullptr); }},
        {"open by name, null context", [](auto*) { return KorvexOpenConnectionName(nullptr, "NC-Travo USB    "); }},
        {"close, null context", [](auto*) { return KorvexCloseConnection(nullptr); }},
    };
    for (const auto& [what, call] : calls)
        EXPECT_EQ(call(&m_ctx), 0) << what;
    EXPECT_EQ(m_ctx.sequence, 1) << "a sequence number was used";
    // A request sent now arrives after anything those calls might have sent.
    ASSERT_EQ(StatusAbfrage(&m_ctx, 0), 1);
    EXPECT_EQ(device.frameCount(), 1u);
    EXPECT_EQ(lastFrame(device), requestFrame(0, 0x00, 1));
    EXPECT_TRUE(device.bootloaderBytes().empty());
}

} // namespace
} // namespace quorlink::test
