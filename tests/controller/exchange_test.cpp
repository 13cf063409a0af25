// The parameter transfer and read commands against the simulator: the transfer's frames and
// packing, failing keys, the origins a read leaves, ending a sweep early, no link, a dead
// controller and one that vanishes. The read's frames and unpacking are
// checked end to end through moravel-cli read.

#include "tests/controller/controller_fixture.h"

#include "params/controller_exchange.h"

#include <bit>
#include <stdexcept>
#include <thread>

namespace moravel::test {
namespace {

// 16 value-area bytes: head, then zeros.
Bytes area(std::initializer_list<std::uint8_t> head)
{
    Bytes v(head);
    v.resize(16, 0);
    return v;
}

Bytes wordsArea(std::initializer_list<std::int32_t> words)
{
    Bytes v(16, 0);
    std::memcpy(v.data(), std::data(words), words.size() * 4);
    return v;
}

class Exchange : public ControllerTest {
protected:
    void loadTemplate()
    {
        RecordingInteraction quiet;
        ASSERT_TRUE(doc.LoadFromFile(MORAVEL_TEMPLATE_FILE, quiet));
    }

    CMoravelSDIDoc doc;
};

// The sweep goes on past a key the controller does not answer, with that key's own text.
TEST_F(Exchange, TransferCommandPacksEveryShapeAndGoesOnPastAFailingKey)
{
    Device& device = connectOnCom3();
    device.setNoReplyForKey(0x0202);
    loadTemplate();
    ParameterSet& set = doc.m_parameterSet;
    set.motortestWeglaenge = -2;
    set.fahrGeschwindigkeit = std::bit_cast<float>(0x3F80'0001u); // just above 1.0
    set.parkposition = {1, -1, 70000, 0};
    set.achsenconfiguration = {258, 1, 2, 0}; // the low byte of 258 is 2
    set.Richtung = {0, 1, 2, 0};
    set.Reihenfolge = {3, 2, 1, 0};
    set.controllerName = "sixteen bytes!!\x80"; // no room for a terminator

    const SweepResult result = app.transferParameters(doc, ui);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.failedKeys, 1);
    EXPECT_EQ(ui.messages, Texts{"Fehler bei Parameterübertragung    HBYTE_SCHNITTSTELLE  "
                                 "BYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG."});
    auto sent = checkSweep(framesOf(device, 40), 0x11);
    EXPECT_EQ(sent[0x0000], wordsArea({-2}));
    EXPECT_EQ(sent[0x0101], wordsArea({0x3F80'0001}));
    EXPECT_EQ(sent[0x040B], wordsArea({1, -1, 70000, 0}));
    EXPECT_EQ(sent[0x040D], area({2, 1, 2, 0}));
    EXPECT_EQ(sent[0x0304], area({0, 1, 2, 0, 3, 2, 1, 0}));
    EXPECT_EQ(std::string(sent[0x0505].begin(), sent[0x0505].end()), "sixteen bytes!!\x80");
    EXPECT_EQ(device.parameters().name(), "sixteen bytes!!\x80");
    EXPECT_FALSE(doc.isModified());
}

TEST_F(Exchange, WithoutALinkNothingIsSentAndADeadControllerGivesThirtyEightReadMessages)
{
    Device& device = controllerOn(3);
    device.setStatusAcceptByte(0);
    usePort("COM3");
    loadTemplate();
    doc.PrepareNew();
    EXPECT_FALSE(app.readParameters(doc, ui).connected);
    EXPECT_EQ(ui.messages, Texts{"Error opening connection. ErrorCode  2     "});
    EXPECT_FALSE(doc.m_bParametersValid);
    EXPECT_TRUE(ui.events.empty());
    EXPECT_EQ(device.frameCount(), 1u) << "only the open's status query";

    // Connected, then the controller falls silent: every key fails, in order, in bounded time.
    device.setStatusAcceptByte(1);
    ASSERT_TRUE(app.OpenConnection(ui));
    device.setSilent(true);
    device.clearLogs();
    ui.messages.clear();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(app.readParameters(doc, ui).failedKeys, 38);
    EXPECT_LT(secondsSince(start), 30.0);
    Texts expected;
    for (const ParameterInfo* p : exchangeList())
        expected.push_back(readErrorMessage(*p));
    EXPECT_EQ(ui.messages, expected);
    EXPECT_FALSE(doc.m_bParametersValid) << "a read that got no key leaves the flag as it was";
    EXPECT_EQ(doc.m_parameterSet.motortestWeglaenge, 400) << "the template's values stay";
    EXPECT_EQ(doc.m_parameterSet.controllerName, "NC-Travo USB");
    checkSweep(framesOf(device, 40), 0x21); // the mode switches also when every key fails
}

// Every key read is the controller's; the failed one has none; the file-only keys keep the
// template's origin.
TEST_F(Exchange, AReadMarksTheKeysItReadAndLeavesAFailedOneWithoutOrigin)
{
    Device& device = connectOnCom3();
    device.setNoReplyForKey(0x0202);
    loadTemplate();
    EXPECT_EQ(app.readParameters(doc, ui).failedKeys, 1);
    const ParameterSet& set = doc.m_parameterSet;
    const auto missing = keysWithoutOrigin(set);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0]->key.value, 0x0202);
    for (const ParameterInfo* p : exchangeList()) {
        if (p->key.value != 0x0202) {
            EXPECT_EQ(set.origin(p->key.value), ValueOrigin::Controller) << p->key.value;
        }
    }
    EXPECT_EQ(set.origin(0x0108), ValueOrigin::File);
}

// "Abbrechen" in a key's failure message, or a stop request, ends the sweep after the key in
// flight; the controller still gets mode 2, the status bar a closing text that counts.
TEST_F(Exchange, AbbrechenOrAStopRequestEndsTheSweepButNotTheRoadAroundIt)
{
    Device& device = connectOnCom3();
    loadTemplate();
    device.setNoReplyForKey(0x0003); // the fourth key
    ui.goOnAfterFailures = 0;
    SweepResult result = app.transferParameters(doc, ui);
    EXPECT_TRUE(result.stopped);
    EXPECT_FALSE(result.linkLost);
    EXPECT_EQ(result.failedKeys, 1);
    EXPECT_EQ(ui.messages, Texts{transferErrorMessage(*findParameter(0x0003))});
    const auto road = [](std::string s) { return Texts{"status: Parameterübertragung ... ", "busy on", s, "busy off"}; };
    EXPECT_EQ(ui.events, road("status: Parameterübertragung abgebrochen: 3 von 38 übertragen."));
    auto frames = framesOf(device, 6);
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[4][3], 0x03);
    EXPECT_EQ(frames[5][2], 2) << "mode 2";
    EXPECT_TRUE(app.isConnected());

    device.setNoReplyForKey(std::nullopt);
    device.clearLogs();
    ui = ScriptedInteraction{};
    ui.stopWhen = [this] { return ui.progress.size() >= 5; };
    result = app.readParameters(doc, ui);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.failedKeys, 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.events, road("status: Parameterübertragung abgebrochen: 5 von 38 übertragen."));
    frames = framesOf(device, 7);
    ASSERT_EQ(frames.size(), 7u) << "mode 1, five keys, mode 2";
    EXPECT_EQ(frames[6][2], 2);
    EXPECT_EQ(keysWithoutOrigin(doc.m_parameterSet).size(), 33u);
}

struct LossCase {
    const char* name;
    std::size_t goneAtFrame;
    bool valid; // the parameters before the read
};

void PrintTo(const LossCase& c, std::ostream* os) { *os << c.name; }

class LostLink : public Exchange, public ::testing::WithParamInterface<LossCase> {};

// The device vanishes in the middle of a read: no message per key, one message naming the
// device, the connection closed, the keys read so far kept with their origin. A read that got
// no key leaves the parameters as invalid as they were. The next command opens afresh.
TEST_P(LostLink, EndsAReadAtOnceWithOneMessage)
{
    const LossCase& c = GetParam();
    Device& device = connectOnCom3();
    const std::string path = device.slavePath();
    loadTemplate();
    if (!c.valid)
        doc.PrepareNew();
    device.disappearAtFrame(c.goneAtFrame);
    const auto start = std::chrono::steady_clock::now();
    const SweepResult result = app.readParameters(doc, ui);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_TRUE(result.connected && result.linkLost);
    EXPECT_EQ(result.failedKeys, 0);
    EXPECT_EQ(ui.messages, Texts{"Die Verbindung zum Controller ist unterbrochen (COM3, " + path +
                                 "). Prüfen Sie Kabel und Stromversorgung und versuchen Sie es erneut."});
    EXPECT_EQ(ui.events, (Texts{"status: Parameterübertragung ... ", "busy on",
                                "status: Parameterübertragung abgebrochen: " + std::to_string(c.goneAtFrame - 2) +
                                    " von 38 übertragen.",
                                "busy off"}));
    EXPECT_FALSE(app.isConnected());
    EXPECT_EQ(app.m_context.portHandle, -1);
    EXPECT_EQ(keysWithoutOrigin(doc.m_parameterSet).size(), 38u - (c.goneAtFrame - 2));
    EXPECT_EQ(doc.m_bParametersValid, c.valid);

    EXPECT_FALSE(app.transferParameters(doc, ui).connected);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(startsWith(ui.messages[1], "Error opening connection."));
}

INSTANTIATE_TEST_SUITE_P(Cases, LostLink,
                         ::testing::Values(LossCase{"AfterThreeKeys", 5, true}, LossCase{"AtTheFirstKey", 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Exchange, ADeviceLostWhileIdleIsReopenedByTheNextCommand)
{
    Device& first = controllerOn(3);
    usePort("COM3");
    ASSERT_TRUE(app.OpenConnection(ui));
    first.disappearNow();
    while (!first.disappeared())
        std::this_thread::sleep_for(1ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(app.transferParameters(doc, ui).connected);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(ui.messages.size(), 1u) << "only the open's message";
    EXPECT_FALSE(app.isConnected());
}

TEST_F(Exchange, TheBusyIndicatorGoesOffWhenTheSweepThrows)
{
    connectOnCom3();
    ui.onProgress = [](std::int64_t done) {
        if (done == 2)
            throw std::runtime_error("window closed");
    };
    EXPECT_THROW(app.readParameters(doc, ui), std::runtime_error);
    EXPECT_EQ(ui.busyDepth, 0);
}

} // namespace
} // namespace moravel::test
