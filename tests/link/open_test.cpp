// The three ways to open: by port, by scanning COM1..COM8, by controller name.

#include "tests/link/sim_fixture.h"

#include <cstring>
#include <string>
#include <tuple>
#include <unistd.h>

namespace quorlink::test {
namespace {

using Ports = std::function<void(sim::Simulator&)>;

const Call scan = KorvexOpenConnectionAuto;
// Callers compare with the numbers, so these are not taken from the header.
constexpr std::uint8_t kNotOpened = 1, kNoAnswer = 2, kNoController = 3, kNoName = 4;
const std::string kBlanks(16, ' '), kZeros(16, '\0'), kDefault = sim::kDefaultControllerName;
const std::string kThreeLetters("abc\0\0\0\0\0\0\0\0\0\0\0\0\0", 16), kHigh = "Fr\xE4se \x80\xFF        ";

// Connect-time requests: status query, mode switch, name read, without the 0xA7 trailer.
Frame connectStatus(std::uint8_t seq) { return requestFrame(0, 0x00, seq, {}, 0); }
Frame connectMode(std::uint8_t seq, std::uint8_t mode) { return requestFrame(0, 0x01, seq, {{2, {mode}}}, 0); }
Frame connectNameRead(std::uint8_t seq) { return requestFrame(1, 0x21, seq, {{2, {5, 5}}}, 0); }

Ports one(
    int port, std::string name = kDefault, void (*fault)(sim::Device&) = [](sim::Device&) {})
{
    return [=](sim::Simulator& s) { fault(s.addPort(port, name)); };
}
void silent(sim::Device& d) { d.setSilent(true); }
void refusing(sim::Device& d) { d.setStatusAcceptByte(2); }
void nameUnreadable(sim::Device& d) { d.setNoReplyForKey(0x0505); }
void wrongKeyEcho(sim::Device& d) { d.setWrongKeyEcho(0x0505); }
void modeSwitchLate(sim::Device& d) { d.setLateReply(2, std::chrono::milliseconds(150)); }
Ports silentOn(int port) { return one(port, kDefault, silent); }
Ports refusingOn(int port) { return one(port, kDefault, refusing); }

Call byPort(int n)
{
    return [n](auto* c) { return KorvexOpenConnectionPort(c, n); };
}
// Opens with a number outside 1..8, so that the port name the caller left in the context counts.
Call byPortName(std::string portName, int n = 0)
{
    return [=](auto* c) {
        portName.copy(c->portName, sizeof c->portName);
        return KorvexOpenConnectionPort(c, n);
    };
}
Call byName(std::string name)
{
    return [=](auto* c) { return KorvexOpenConnectionName(c, name.data()); };
}
std::int32_t byPortFromGarbage(ConnectionContext* c)
{
    std::memset(c, 0x5A, sizeof *c);
    return KorvexOpenConnectionPort(c, 3);
}
// With descriptor 0 closed, the next descriptor the process gets would be 0.
std::int32_t byPortWithoutStdin(ConnectionContext* c)
{
    const int savedStdin = dup(0);
    close(0);
    const std::int32_t opened = savedStdin >= 0 ? KorvexOpenConnectionPort(c, 3) : 0;
    dup2(savedStdin, 0);
    close(savedStdin);
    return opened;
}
// The name lies in the context that the open resets.
std::int32_t byNameInTheContext(ConnectionContext* c)
{
    std::memcpy(c->controllerName, "Eigener Name    ", 16);
    return KorvexOpenConnectionName(c, c->controllerName);
}

struct OpenCase {
    const char* name;
    std::vector<Ports> ports;
    Call open;
    int sequence;          // afterwards
    const char* port = ""; // connected port; empty: the open fails with errorCode
    std::string controllerName = "";
    std::uint8_t errorCode = 0;
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

const std::string kSecond = "Second          ", kSpaet = "Spaet           ", kPortal = "Portalfraese    ";

const OpenCase kOpenCases[] = {
    {"PortByNumber", {one(3)}, byPort(3), 1, "COM3", kBlanks},
    {"PortResetsAGarbageContext", {one(3)}, byPortFromGarbage, 1, "COM3", kBlanks},
    {"PortNumberZeroTakesTheContextsPortName", {one(3)}, byPortName("COM3", 0), 1, "COM3", kBlanks},
    {"PortNumberNineTakesTheContextsPortName", {one(3)}, byPortName("COM3", 9), 1, "COM3", kBlanks},
    {"PortNumberMinusOneTakesTheContextsPortName", {one(3)}, byPortName("COM3", -1), 1, "COM3", kBlanks},
    {"PortNeverTakesAStandardDescriptor", {one(3)}, byPortWithoutStdin, 1, "COM3", kBlanks},
    {"PortMissing", {one(3)}, byPort(4), 0, "", "", kNotOpened},
    // Other forms of name are refused by the port map (port_map_test.cpp).
    {"PortNameUnterminated", {one(3)}, byPortName("COM34"), 0, "", "", kNotOpened},
    {"PortSilent", {silentOn(2)}, byPort(2), 1, "", "", kNoAnswer},
    {"PortRefusing", {refusingOn(2)}, byPort(2), 1, "", "", kNoAnswer},
    {"ScanBehindAbsentPortsCutsTheNameTo16", {one(3, "Portal-Fraese  01")}, scan, 4, "COM3", "Portal-Fraese  0"},
    {"ScanSkipsSilentPorts", {silentOn(1), silentOn(2), one(3)}, scan, 6, "COM3", kDefault},
    {"ScanSkipsARefusingController", {refusingOn(1), one(2, kSecond)}, scan, 5, "COM2", kSecond},
    {"ScanConnectsEvenWhenTheNameReadFails", {one(4, kDefault, nameUnreadable)}, scan, 4, "COM4", kZeros},
    {"ScanTakesTheNameWhateverKeyTheReplyEchoes", {one(4, kHigh, wrongKeyEcho)}, scan, 4, "COM4", kHigh},
    // The late reply to the mode switch is not taken for the name read's.
    {"ScanReadsTheNameAfterALateModeSwitchReply", {one(4, kSpaet, modeSwitchLate)}, scan, 4, "COM4", kSpaet},
    {"ScanWithoutPorts", {}, scan, 0, "", "", kNoController},
    {"ScanFindsOnlySilentAndRefusingPorts", {silentOn(5), refusingOn(7)}, scan, 2, "", "", kNoController},
    {"NamePassesOverSilentAndOtherControllers",
     {silentOn(1), one(2, kSecond), one(3, kPortal)},
     byName(kPortal),
     1 + 4 + 4,
     "COM3",
     kPortal},
    {"NamePaddedWithZeros", {one(2, kThreeLetters)}, byName(kThreeLetters), 4, "COM2", kThreeLetters},
    {"NameWithHighBytes", {one(2, kHigh)}, byName(kHigh), 4, "COM2", kHigh},
    {"NameTakenFromTheContextItself", {one(6, "Eigener Name    ")}, byNameInTheContext, 4, "COM6", "Eigener Name    "},
    {"NameOtherCase", {one(2)}, byName("nc-travo usb    "), 4, "", "", kNoName},
    {"NameLastByteDiffers", {one(2)}, byName("NC-Travo USB   !"), 4, "", "", kNoName},
    {"NameZerosAreNotBlanks", {one(2, kThreeLetters)}, byName("abc             "), 4, "", "", kNoName},
    {"NameUnreadableMatchesNoName", {one(1, kDefault, nameUnreadable)}, byName(kZeros), 4, "", "", kNoName},
    {"NameMatchesWhateverKeyTheReplyEchoes", {one(2, kDefault, wrongKeyEcho)}, byName(kDefault), 4, "COM2", kDefault},
    {"NameMatchesAfterALateModeSwitchReply", {one(2, kDefault, modeSwitchLate)}, byName(kDefault), 4, "COM2", kDefault},
    {"NameNull", {one(1)}, [](auto* c) { return KorvexOpenConnectionName(c, nullptr); }, 0, "", "", kNoName},
};

class Open : public SimTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(Open, ConnectsOrReportsWhyAndCountsTheSequence)
{
    const OpenCase& c = GetParam();
    for (const auto& add : c.ports)
        add(m_sim);
    begin();
    m_ctx.portHandle = -1; // closed; an open refused before the reset leaves the context alone
    const bool connects = *c.port != '\0';
    EXPECT_EQ(c.open(&m_ctx), connects ? 1 : 0);
    EXPECT_EQ(m_ctx.errorCode, c.errorCode);
    EXPECT_EQ(m_ctx.sequence, c.sequence);
    // Each port tried got the status query; the one asked for its name also the mode switches
    // around the name read, 50 ms after the first. Connect-time requests carry no 0xA7 trailer.
    std::uint8_t sequence = 0;
    for (const int port : m_sim.ports()) {
        const auto received = m_sim.device(port).frames();
        if (received.empty())
            continue;
        std::vector<Frame> frames, expected{connectStatus(sequence++)};
        for (const auto& f : received)
            frames.push_back(f.bytes);
        if (frames.size() > 1) {
            expected.insert(expected.end(),
                            {connectMode(sequence, 1), connectNameRead(sequence + 1), connectMode(sequence + 2, 2)});
            sequence += 3;
        }
        EXPECT_EQ(frames, expected) << "COM" << port;
        if (frames.size() == 4) {
            EXPECT_GE(received[2].time - received[1].time, 140ms);
            EXPECT_GE(received[3].time - received[2].time, 90ms);
        }
    }
    EXPECT_EQ(sequence, c.sequence) << "every request used one sequence number";
    if (connects) {
        EXPECT_STREQ(m_ctx.portName, c.port);
        EXPECT_EQ(std::string(m_ctx.controllerName, 16), c.controllerName);
        EXPECT_EQ(m_ctx.controllerName[16], '\0');
        EXPECT_GT(m_ctx.portHandle, 2);
        const auto& x = m_ctx;
        EXPECT_EQ(std::tuple(x.baudRate, x.dataBits, x.parity, x.stopBits, x.handshake),
                  std::tuple(115200u, 8, 0, 0, 4));
        EXPECT_NE(x.writeOverlapped.event, -1);
        EXPECT_NE(x.readOverlapped.event, -1);
        EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1); // the port stayed open
    } else {
        EXPECT_EQ(m_ctx.portHandle, -1);
    }
    for (const int port : m_sim.ports()) { // every other port opens: a failed try left no lock
        ConnectionContext other{};
        if (m_sim.device(port).portName() != c.port && KorvexOpenConnectionPort(&other, port) == 0) {
            EXPECT_NE(other.errorCode, kNotOpened) << "COM" << port << " was left locked";
        }
        KorvexCloseConnection(&other);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Open, ::testing::ValuesIn(kOpenCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorlink::test
