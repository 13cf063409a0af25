// The parameter read and transfer commands and the comparison, against the simulator.

#include "tests/controller/controller_fixture.h"

#include <bit>
#include <cstring>
#include <stdexcept>

namespace moravel::test {
namespace {

using quorlink::sim::Device;

std::vector<std::uint16_t> exchangeKeys()
{
    std::vector<std::uint16_t> keys;
    for (const ParameterInfo* p : exchangeList())
        keys.push_back(p->key.value);
    return keys;
}

// The value area (bytes 4 ... 19) of a request.
std::vector<std::uint8_t> valueArea(const Frame& f)
{
    return {f.begin() + 4, f.begin() + 20};
}

std::vector<std::uint8_t> area(std::initializer_list<std::uint8_t> head)
{
    std::vector<std::uint8_t> v(head);
    v.resize(16, 0);
    return v;
}

std::vector<std::uint8_t> wordsArea(std::initializer_list<std::int32_t> words)
{
    std::vector<std::uint8_t> v(16, 0);
    std::size_t at = 0;
    for (std::int32_t w : words) {
        std::memcpy(v.data() + at, &w, 4);
        at += 4;
    }
    return v;
}

class Exchange : public ControllerTest {
protected:
    // Checks the frames of one sweep: mode 1, one request of code per exchanged key in
    // ascending order, mode 2. Returns the requests by key.
    std::map<std::uint16_t, Frame> checkSweep(Device& device, std::uint8_t code)
    {
        const auto frames = framesOf(device, 40);
        std::map<std::uint16_t, Frame> byKey;
        EXPECT_EQ(frames.size(), 40u);
        if (frames.size() != 40)
            return byKey;
        EXPECT_TRUE(isModeSwitch(frames.front(), 1));
        EXPECT_TRUE(isModeSwitch(frames.back(), 2));
        std::vector<std::uint16_t> keys;
        for (std::size_t i = 1; i + 1 < frames.size(); ++i) {
            EXPECT_EQ(frames[i][0], 1);
            EXPECT_EQ(frames[i][1], code);
            keys.push_back(keyOf(frames[i]));
            byKey[keyOf(frames[i])] = frames[i];
        }
        EXPECT_EQ(keys, exchangeKeys());
        return byKey;
    }

    CMoravelSDIDoc doc;
};

TEST_F(Exchange, ReadCommandSweepsTheExchangeListBetweenTheModeSwitches)
{
    Device& device = connectOnCom3();
    device.parameters().setFloat(0x0101, 7.25f);
    device.parameters().setFourLongs(0x040A, {300, 200, 100, -5});
    loadTemplate(doc);
    doc.m_parameterSet.bremswinkel = 17; // file only: the read leaves it

    const SweepResult result = app.ReadParameters(doc, ui);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.failedKeys, 0);
    checkSweep(device, 0x21);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.events, (std::vector<std::string>{"status: Parameterübertragung ... ", "busy on",
                                                   "status: Parameterübertragung ist abgeschlossen.", "busy off"}));
    ASSERT_EQ(ui.progress.size(), 38u);
    EXPECT_EQ(ui.progress.back(), (std::pair<std::int64_t, std::int64_t>{38, 38}));

    const ParameterSet& set = doc.m_parameterSet;
    EXPECT_TRUE(doc.m_bParametersValid);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(set.fahrGeschwindigkeit, 7.25f);
    EXPECT_EQ(set.verfahrbereichBis, (std::array<std::int32_t, 4>{300, 200, 100, -5}));
    EXPECT_EQ(set.controllerName, "NC-Travo USB    ");
    EXPECT_EQ(set.bremswinkel, 17);
}

TEST_F(Exchange, TransferCommandPacksEveryShape)
{
    Device& device = connectOnCom3();
    loadTemplate(doc);
    ParameterSet& set = doc.m_parameterSet;
    set.motortestWeglaenge = -2;
    set.fahrGeschwindigkeit = std::bit_cast<float>(0x3F80'0001u); // just above 1.0
    set.parkposition = {1, -1, 70000, 0};
    set.achsenconfiguration = {258, 1, 2, 0}; // the low byte of 258 is 2
    set.Richtung = {0, 1, 2, 0};
    set.Reihenfolge = {3, 2, 1, 0};
    set.controllerName = "ABC";

    const SweepResult result = app.TransferParameters(doc, ui);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.failedKeys, 0);
    EXPECT_TRUE(ui.messages.empty());
    auto sent = checkSweep(device, 0x11);
    EXPECT_EQ(valueArea(sent[0x0000]), wordsArea({-2}));
    EXPECT_EQ(valueArea(sent[0x0101]), wordsArea({0x3F80'0001}));
    EXPECT_EQ(valueArea(sent[0x040B]), wordsArea({1, -1, 70000, 0}));
    EXPECT_EQ(valueArea(sent[0x040D]), area({2, 1, 2, 0}));
    EXPECT_EQ(valueArea(sent[0x0304]), area({0, 1, 2, 0, 3, 2, 1, 0}));
    const std::string name(sent[0x0505].begin() + 4, sent[0x0505].begin() + 20);
    EXPECT_EQ(name, "ABC             ");
    EXPECT_EQ(device.parameters().name(), "ABC             ");
    EXPECT_FALSE(doc.isModified());
}

TEST_F(Exchange, OnlyTheFailingKeyIsReportedAndTheSweepGoesOn)
{
    Device& device = connectOnCom3();
    device.setNoReplyForKey(0x0202);
    loadTemplate(doc);
    const SweepResult result = app.TransferParameters(doc, ui);
    EXPECT_EQ(result.failedKeys, 1);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Fehler bei Parameterübertragung    HBYTE_SCHNITTSTELLE  "
                                                     "BYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG."}));
    checkSweep(device, 0x11);
}

TEST_F(Exchange, ADeadControllerGivesThirtyEightReadMessagesInOrderAndKeepsTheTemplate)
{
    Device& device = connectOnCom3();
    device.setSilent(true);
    loadTemplate(doc);
    doc.PrepareNew();
    const auto start = std::chrono::steady_clock::now();
    const SweepResult result = app.ReadParameters(doc, ui);
    EXPECT_LT(secondsSince(start), 30.0);
    EXPECT_EQ(result.failedKeys, 38);
    std::vector<std::string> expected;
    for (const ParameterInfo* p : exchangeList())
        expected.push_back(readErrorMessage(*p));
    EXPECT_EQ(ui.messages, expected);
    EXPECT_TRUE(doc.m_bParametersValid) << "set whatever the outcome";
    EXPECT_EQ(doc.m_parameterSet.motortestWeglaenge, 400);
    EXPECT_EQ(doc.m_parameterSet.controllerName, "NC-Travo USB");
    EXPECT_EQ(framesOf(device, 40).size(), 40u) << "mode switches are sent also when every key fails";
}

TEST_F(Exchange, NamesAndByteRecordsBothWays)
{
    Device& device = connectOnCom3();
    ParameterSet set;
    device.parameters().setBytes(0x040D, std::vector<std::uint8_t>{0, 1, 2, 0});
    device.parameters().setBytes(0x0304, std::vector<std::uint8_t>{0, 1, 2, 0, 3, 2, 1, 0xFE});
    device.parameters().setBytes(0x0505, std::vector<std::uint8_t>{'M', 'i', 'l', 'l', 0xE4, 0, 'x', 'y'});
    EXPECT_EQ(set.ReadFromController(&app.m_context, ui), 0);
    EXPECT_EQ(set.achsenconfiguration, (std::array<std::int32_t, 4>{0, 1, 2, 0}));
    EXPECT_EQ(set.Richtung, (std::array<std::int32_t, 4>{0, 1, 2, 0}));
    EXPECT_EQ(set.Reihenfolge, (std::array<std::int32_t, 4>{3, 2, 1, 254})) << "zero-extended, not checked";
    EXPECT_EQ(set.controllerName, "Mill\xE4");

    // A name of 16 characters goes out unchanged and comes back whole.
    set.controllerName = "sixteen bytes!!!";
    EXPECT_EQ(set.TransferToController(&app.m_context, ui), 0);
    EXPECT_EQ(device.parameters().name(), "sixteen bytes!!!");
    set.controllerName.clear();
    EXPECT_EQ(set.ReadFromController(&app.m_context, ui), 0);
    EXPECT_EQ(set.controllerName, "sixteen bytes!!!");
}

TEST_F(Exchange, WithoutALinkNothingIsSentAndTheReadLeavesTheDocument)
{
    Device& device = sim.addPort(3);
    device.setStatusAcceptByte(0);
    begin();
    app.connectionMode = 1;
    std::memcpy(app.m_context.portName, "COM3", 5);
    loadTemplate(doc);
    doc.PrepareNew();
    const SweepResult result = app.ReadParameters(doc, ui);
    EXPECT_FALSE(result.connected);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Error opening connection. ErrorCode  2     "});
    EXPECT_FALSE(doc.m_bParametersValid);
    EXPECT_TRUE(ui.statusTexts.empty());
    EXPECT_EQ(device.frameCount(), 1u) << "only the open's status query";
}

TEST_F(Exchange, TheBusyIndicatorGoesOffWhenTheSweepThrows)
{
    connectOnCom3();
    ui.onProgress = [](std::int64_t done, std::int64_t) {
        if (done == 2)
            throw std::runtime_error("window closed");
    };
    EXPECT_THROW(app.ReadParameters(doc, ui), std::runtime_error);
    EXPECT_EQ(ui.busyDepth, 0);
}

TEST_F(Exchange, NullContextsSendNothing)
{
    ParameterSet set;
    set.motortestWeglaenge = 5;
    EXPECT_EQ(set.ReadFromController(nullptr, ui), 0);
    EXPECT_EQ(set.TransferToController(nullptr, ui), 0);
    EXPECT_EQ(doc.ReadParametersFromController(nullptr, ui), 0);
    EXPECT_FALSE(doc.m_bParametersValid);
    EXPECT_EQ(set.motortestWeglaenge, 5);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Exchange, CompareListsTheKeysThatDifferInTheFileFormat)
{
    Device& device = connectOnCom3();
    loadTemplate(doc);
    // The template's name "NC-Travo USB" equals the controller's "NC-Travo USB    ".
    device.parameters().setFloat(0x0101, 4.5f);
    device.parameters().setFourLongs(0x040B, {0, 0, 7, 0});
    device.setNoReplyForKey(0x0500);

    const ComparisonResult result = app.CompareWithController(doc.m_parameterSet, ui);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.failedKeys, 1);
    ASSERT_EQ(result.differences.size(), 2u);
    EXPECT_EQ(result.differences[0].parameter->key.value, 0x0101);
    EXPECT_EQ(result.differences[0].setValue, "4.000000");
    EXPECT_EQ(result.differences[0].controllerValue, "4.500000");
    EXPECT_EQ(result.differences[1].parameter->key.value, 0x040B);
    EXPECT_EQ(result.differences[1].controllerValue, "[0;0;7;0]");
    EXPECT_EQ(ui.messages, std::vector<std::string>{readErrorMessage(*findParameter(0x0500))});
    checkSweep(device, 0x21);
    EXPECT_FALSE(doc.isModified());

    ui.messages.clear();
    device.setNoReplyForKey(std::nullopt);
    device.parameters().setName("Other");
    const ComparisonResult renamed = app.CompareWithController(doc.m_parameterSet, ui);
    ASSERT_EQ(renamed.differences.size(), 3u);
    EXPECT_EQ(renamed.differences[2].setValue, "NC-Travo USB");
    EXPECT_EQ(renamed.differences[2].controllerValue, "Other           ");
}

} // namespace
} // namespace moravel::test
