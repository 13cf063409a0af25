// The parameter read and transfer commands against the simulator: the frames of both sweeps,
// every exchange shape in both directions, failing keys, no link and a dead controller.

#include "tests/controller/controller_fixture.h"

#include <bit>
#include <map>
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
    // Checks the frames of one sweep: mode 1, one class 1 request of code per exchanged key
    // in ascending order, mode 2. Returns the value areas (bytes 4 ... 19) by key.
    static std::map<std::uint16_t, Bytes> checkSweep(Device& device, std::uint8_t code)
    {
        const auto frames = framesOf(device, 40);
        std::map<std::uint16_t, Bytes> byKey;
        EXPECT_EQ(frames.size(), 40u);
        if (frames.size() != 40)
            return byKey;
        const auto isMode = [](const Frame& f, int mode) { return f[0] == 0 && f[1] == 1 && f[2] == mode; };
        EXPECT_TRUE(isMode(frames.front(), 1));
        EXPECT_TRUE(isMode(frames.back(), 2));
        std::vector<std::uint16_t> keys;
        for (std::size_t i = 1; i + 1 < frames.size(); ++i) {
            EXPECT_EQ(frames[i][0], 1);
            EXPECT_EQ(frames[i][1], code);
            keys.push_back(static_cast<std::uint16_t>(frames[i][2] << 8 | frames[i][3]));
            byKey[keys.back()] = Bytes(frames[i].begin() + 4, frames[i].begin() + 20);
        }
        const auto simulated = quorlink::sim::ParameterStore::keys();
        EXPECT_EQ(keys, std::vector<std::uint16_t>(simulated.begin(), simulated.end()));
        return byKey;
    }

    void loadTemplate()
    {
        RecordingInteraction quiet;
        ASSERT_TRUE(doc.LoadFromFile(MORAVEL_TEMPLATE_FILE, quiet));
    }

    CMoravelSDIDoc doc;
};

TEST_F(Exchange, ReadCommandSweepsBetweenTheModeSwitchesAndUnpacksEveryShape)
{
    Device& device = connectOnCom3();
    device.parameters().setFloat(0x0101, 7.25f);
    device.parameters().setFourLongs(0x040A, {300, 200, 100, -5});
    device.parameters().setBytes(0x040D, Bytes{0, 1, 2, 0});
    device.parameters().setBytes(0x0304, Bytes{0, 1, 2, 0, 3, 2, 1, 0xFE});
    device.parameters().setBytes(0x0505, Bytes{'M', 'i', 'l', 'l', 0xE4, 0, 'x', 'y'});
    loadTemplate();
    doc.m_parameterSet.bremswinkel = 17; // file only: the read leaves it

    const SweepResult result = app.ReadParameters(doc, ui);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.failedKeys, 0);
    checkSweep(device, 0x21);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.events, (Texts{"status: Parameterübertragung ... ", "busy on",
                                "status: Parameterübertragung ist abgeschlossen.", "busy off"}));
    ASSERT_EQ(ui.progress.size(), 38u);
    EXPECT_EQ(ui.progress.back(), (Progress{38, 38}));

    const ParameterSet& set = doc.m_parameterSet;
    EXPECT_TRUE(doc.m_bParametersValid);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(set.fahrGeschwindigkeit, 7.25f);
    EXPECT_EQ(set.verfahrbereichBis, (std::array<std::int32_t, 4>{300, 200, 100, -5}));
    EXPECT_EQ(set.achsenconfiguration, (std::array<std::int32_t, 4>{0, 1, 2, 0}));
    EXPECT_EQ(set.Richtung, (std::array<std::int32_t, 4>{0, 1, 2, 0}));
    EXPECT_EQ(set.Reihenfolge, (std::array<std::int32_t, 4>{3, 2, 1, 254})) << "zero-extended, not checked";
    EXPECT_EQ(set.controllerName, "Mill\xE4") << "up to the first NUL";
    EXPECT_EQ(set.bremswinkel, 17);
}

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

    const SweepResult result = app.TransferParameters(doc, ui);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.failedKeys, 1);
    EXPECT_EQ(ui.messages, Texts{"Fehler bei Parameterübertragung    HBYTE_SCHNITTSTELLE  "
                                 "BYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG."});
    auto sent = checkSweep(device, 0x11);
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
    Device& device = sim.addPort(3);
    device.setStatusAcceptByte(0);
    begin();
    usePort("COM3");
    loadTemplate();
    doc.PrepareNew();
    EXPECT_FALSE(app.ReadParameters(doc, ui).connected);
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
    EXPECT_EQ(app.ReadParameters(doc, ui).failedKeys, 38);
    EXPECT_LT(secondsSince(start), 30.0);
    Texts expected;
    for (const ParameterInfo* p : exchangeList())
        expected.push_back(readErrorMessage(*p));
    EXPECT_EQ(ui.messages, expected);
    EXPECT_EQ(ui.messages[0], "Fehler bei ParameterLesen    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.");
    EXPECT_TRUE(doc.m_bParametersValid) << "set whatever the outcome";
    EXPECT_EQ(doc.m_parameterSet.motortestWeglaenge, 400) << "the template's values stay";
    EXPECT_EQ(doc.m_parameterSet.controllerName, "NC-Travo USB");
    EXPECT_EQ(framesOf(device, 40).size(), 40u) << "mode switches are sent also when every key fails";
}

TEST_F(Exchange, TheBusyIndicatorGoesOffWhenTheSweepThrows)
{
    connectOnCom3();
    ui.onProgress = [](std::int64_t done) {
        if (done == 2)
            throw std::runtime_error("window closed");
    };
    EXPECT_THROW(app.ReadParameters(doc, ui), std::runtime_error);
    EXPECT_EQ(ui.busyDepth, 0);
}

} // namespace
} // namespace moravel::test
