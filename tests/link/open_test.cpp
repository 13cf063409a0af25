// The three ways to open: by port, by scanning COM1..COM8, by controller name.

#include "tests/link/sim_fixture.h"

#include <cstring>
#include <string>
#include <tuple>

namespace quorlink::test {
namespace {

using Ports = std::function<void(sim::Simulator&)>;

std::string nameOf(const ConnectionContext& ctx) { return std::string(ctx.controllerName, 16); }
const Call scan = KorvexOpenConnectionAuto;
constexpr std::uint8_t kNotOpened = QUORLINK_ERROR_PORT_NOT_OPENED, kNoAnswer = QUORLINK_ERROR_NO_STATUS_ANSWER,
                       kNoController = QUORLINK_ERROR_NO_CONTROLLER_FOUND, kNoName = QUORLINK_ERROR_NAME_NOT_FOUND;
const std::string kBlanks(16, ' '), kZeros(16, '\0'), kDefault = sim::kDefaultControllerName;
const std::string kThreeLetters("abc\0\0\0\0\0\0\0\0\0\0\0\0\0", 16), kHigh = "Fr\xE4se \x80\xFF        ";

// Connect-time requests: status query, mode switch, name read, without the 0xA7 trailer.
Frame connectStatus(std::uint8_t seq) { return requestFrame(0, 0x00, seq, {}, 0); }
Frame connectMode(std::uint8_t seq, std::uint8_t mode) { return requestFrame(0, 0x01, seq, {{2, {mode}}}, 0); }
Frame connectNameRead(std::uint8_t seq) { return requestFrame(1, 0x21, seq, {{2, {5, 5}}}, 0); }

Ports one(int port, std::string name = kDefault, std::function<void(sim::Device&)> fault = {})
{
    return [=](sim::Simulator& s) {
        auto& d = s.addPort(port, name);
        if (fault)
            fault(d);
    };
}
void silent(sim::Device& d) { d.setSilent(true); }
void refusing(sim::Device& d) { d.setStatusAcceptByte(2); }
void nameUnreadable(sim::Device& d) { d.setNoReplyForKey(0x0505); }

Call byPort(int n) { return [n](auto* c) { return KorvexOpenConnectionPort(c, n); }; }
// Opens with a number outside 1..8, so that the port name the caller left in the context counts.
Call byPortName(std::string portName, int n = 0)
{
    return [=](auto* c) { portName.copy(c->portName, sizeof c->portName); return KorvexOpenConnectionPort(c, n); };
}
Call byName(std::string name) { return [=](auto* c) { return KorvexOpenConnectionName(c, name.data()); }; }

// Every simulated port but `except` opens for another context: a failed try left no lock.
void expectNoPortLeftLocked(sim::Simulator& sim, const char* except = "")
{
    for (const int port : sim.ports()) {
        if (sim.device(port).portName() == except)
            continue;
        ConnectionContext other {};
        KorvexOpenConnectionPort(&other, port);
        EXPECT_NE(other.errorCode, QUORLINK_ERROR_PORT_NOT_OPENED) << "COM" << port << " was left locked";
        KorvexCloseConnection(&other);
    }
}

struct OpenCase {
    const char* name;
    std::vector<Ports> ports;
    Call open;
    int sequence;              // afterwards
    const char* port = "";     // connected port; empty: the open fails with errorCode
    std::string controllerName = "";
    std::uint8_t errorCode = 0;
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

const OpenCase kOpenCases[] = {
    {"PortByNumber", {one(3)}, byPort(3), 1, "COM3", kBlanks},
    {"PortResetsAGarbageContext", {one(3)}, [](auto* c) { std::memset(c, 0x5A, sizeof *c); return byPort(3)(c); }, 1,
     "COM3", kBlanks},
    {"PortNumberZeroTakesTheContextsPortName", {one(3)}, byPortName("COM3", 0), 1, "COM3", kBlanks},
    {"PortNumberNineTakesTheContextsPortName", {one(3)}, byPortName("COM3", 9), 1, "COM3", kBlanks},
    {"PortNumberMinusOneTakesTheContextsPortName", {one(3)}, byPortName("COM3", -1), 1, "COM3", kBlanks},
    {"PortMissing", {one(3)}, byPort(4), 0, "", "", kNotOpened},
    // Other names are no port names at all (port_map_test.cpp); these two must not open COM3.
    {"PortNameLowerCase", {one(3)}, byPortName("com3"), 0, "", "", kNotOpened},
    {"PortNameUnterminated", {one(3)}, byPortName("COM34"), 0, "", "", kNotOpened},
    {"PortSilent", {one(2, kDefault, silent)}, byPort(2), 1, "", "", kNoAnswer},
    {"PortRefusing", {one(2, kDefault, refusing)}, byPort(2), 1, "", "", kNoAnswer},
    {"ScanBehindAbsentPortsCutsTheNameTo16", {one(3, "Portal-Fraese  01")}, scan, 4, "COM3", "Portal-Fraese  0"},
    {"ScanSkipsSilentPorts", {one(1, kDefault, silent), one(2, kDefault, silent), one(3)}, scan, 6, "COM3", kDefault},
    {"ScanSkipsARefusingController", {one(1, kDefault, refusing), one(2, "Second          ")}, scan, 5,
     "COM2", "Second          "},
    {"ScanConnectsEvenWhenTheNameReadFails", {one(4, kDefault, nameUnreadable)}, scan, 4, "COM4", kZeros},
    {"ScanWithoutPorts", {}, scan, 0, "", "", kNoController},
    {"ScanFindsOnlySilentAndRefusingPorts", {one(5, kDefault, silent), one(7, kDefault, refusing)}, scan, 2,
     "", "", kNoController},
    {"NamePassesOverSilentAndOtherControllers",
     {one(1, kDefault, silent), one(2, "Drehbank        "), one(3, "Portalfraese    ")},
     byName("Portalfraese    "), 1 + 4 + 4, "COM3", "Portalfraese    "},
    {"NameSameAsTheDefault", {one(2)}, byName("NC-Travo USB    "), 4, "COM2", kDefault},
    {"NamePaddedWithZeros", {one(2, kThreeLetters)}, byName(kThreeLetters), 4, "COM2", kThreeLetters},
    {"NameWithHighBytes", {one(2, kHigh)}, byName(kHigh), 4, "COM2", kHigh},
    {"NameTakenFromTheContextItself", {one(6, "Eigener Name    ")},
     [](auto* c) {  // the name lies in the context that the open resets
         std::memcpy(c->controllerName, "Eigener Name    ", 16);
         return KorvexOpenConnectionName(c, c->controllerName);
     },
     4, "COM6", "Eigener Name    "},
    {"NameOtherCase", {one(2)}, byName("nc-travo usb    "), 4, "", "", kNoName},
    {"NameLastByteDiffers", {one(2)}, byName("NC-Travo USB   !"), 4, "", "", kNoName},
    {"NameZerosAreNotBlanks", {one(2, kThreeLetters)}, byName("abc             "), 4, "", "", kNoName},
    {"NameUnreadableMatchesNoName", {one(1, kDefault, nameUnreadable)}, byName(kZeros), 4, "", "", kNoName},
    {"NameNull", {one(1)}, [](auto* c) { return KorvexOpenConnectionName(c, nullptr); }, 0, "", "", kNoName},
};

class Open : public SimTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(Open, ConnectsOrReportsWhyAndCountsTheSequence)
{
    const OpenCase& c = GetParam();
    for (const auto& add : c.ports)
        add(m_sim);
    begin();
    m_ctx.portHandle = -1;  // closed; an open refused before the reset leaves the context alone
    const bool connects = *c.port != '\0';
    EXPECT_EQ(c.open(&m_ctx), connects ? 1 : 0);
    EXPECT_EQ(m_ctx.errorCode, c.errorCode);
    EXPECT_EQ(m_ctx.sequence, c.sequence);
    std::size_t sent = 0;  // every request used one sequence number and reached a device
    for (const int port : m_sim.ports())
        sent += m_sim.device(port).frameCount();
    EXPECT_EQ(sent, static_cast<std::size_t>(c.sequence));
    if (connects) {
        EXPECT_STREQ(m_ctx.portName, c.port);
        EXPECT_EQ(nameOf(m_ctx), c.controllerName);
        EXPECT_EQ(m_ctx.controllerName[16], '\0');
        EXPECT_GT(m_ctx.portHandle, 2);
        const auto& x = m_ctx;
        EXPECT_EQ(std::tuple(x.baudRate, x.dataBits, x.parity, x.stopBits, x.handshake), std::tuple(115200u, 8, 0, 0, 4));
        EXPECT_NE(x.writeOverlapped.event, -1);
        EXPECT_NE(x.readOverlapped.event, -1);
        EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);  // the port stayed open
    } else {
        EXPECT_EQ(m_ctx.portHandle, -1);
    }
    expectNoPortLeftLocked(m_sim, c.port);
}

INSTANTIATE_TEST_SUITE_P(Cases, Open, ::testing::ValuesIn(kOpenCases),
                         [](const auto& info) { return std::string(info.param.name); });

using OpenByScan = SimTest;

TEST_F(OpenByScan, SendsTheConnectRequestsWithoutTrailerAndPauses)
{
    auto& silentPort = m_sim.addPort(1);
    silentPort.setSilent(true);
    auto& device = m_sim.addPort(3);
    begin();
    ASSERT_EQ(KorvexOpenConnectionAuto(&m_ctx), 1);
    ASSERT_TRUE(device.waitForFrames(4, 1s));
    EXPECT_EQ(framesOf(silentPort), std::vector<Frame> {connectStatus(0)});
    EXPECT_EQ(framesOf(device),
              (std::vector<Frame> {connectStatus(1), connectMode(2, 1), connectNameRead(3), connectMode(4, 2)}));
    // 100 ms after each request, 50 ms more between the mode switch and the name read.
    const auto frames = device.frames();
    EXPECT_GE(frames[2].time - frames[1].time, 140ms);
    EXPECT_GE(frames[3].time - frames[2].time, 90ms);
    KorvexCloseConnection(&m_ctx);
    ASSERT_EQ(KorvexOpenConnectionPort(&m_ctx, 3), 1);
    EXPECT_EQ(lastFrame(device), connectStatus(0));
}

}  // namespace
}  // namespace quorlink::test
