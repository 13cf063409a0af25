// The parameter transfer and read commands against the simulator: the transfer's frames and
// packing, failing keys, no link and a dead controller. The read's frames and unpacking are
// checked end to end through moravel-cli read.

#include "tests/controller/controller_fixture.h"

#include <bit>
#include <stdexcept>

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
    EXPECT_EQ(ui.messages[0], "Fehler bei ParameterLesen    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.");
    EXPECT_TRUE(doc.m_bParametersValid) << "set whatever the outcome";
    EXPECT_EQ(doc.m_parameterSet.motortestWeglaenge, 400) << "the template's values stay";
    EXPECT_EQ(doc.m_parameterSet.controllerName, "NC-Travo USB");
    checkSweep(framesOf(device, 40), 0x21); // the mode switches also when every key fails
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
