// The table, ParameterSet::WriteText, and writer and reader agreeing under the "C" locale and
// a German one (decimal comma): generated valid sets survive writing and reading back, and the
// template reads silently and writes back byte for byte.

#include "params/number_text.h"
#include "params/parameter_set.h"
#include "params/parameter_table.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <random>

namespace moravel {
namespace {

TEST(Table, ControllerMessagesFollowTheirRuleWithTheThreeKnownExceptions)
{
    const auto read = [](std::int32_t key) { return readErrorMessage(*findParameter(key)); };
    const auto transfer = [](std::int32_t key) { return transferErrorMessage(*findParameter(key)); };
    EXPECT_EQ(read(0x0000), "Fehler bei ParameterLesen    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.");
    EXPECT_EQ(transfer(0x0000), "Fehler bei Parameterübertragung    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.");
    EXPECT_EQ(transfer(0x0400),
              "Fehler bei Parameterübertragung      HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT.");
    EXPECT_EQ(transfer(0x0202), "Fehler bei Parameterübertragung    HBYTE_SCHNITTSTELLE  "
                                "BYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG.");
    EXPECT_EQ(transfer(0x0505),
              "Fehler bei Parameterübertragung    HBYTE_SONSTIGE LBYTE_SONSTIGE_CONTROLLERNAME_CHAR.");
}

// "%04x=%-32s" and the comment.
std::string line(const char* key, std::string value, const char* comment = "")
{
    value.resize(std::max<std::size_t>(value.size(), 32), ' ');
    return std::string(key) + "=" + value + comment + "\n";
}

TEST(Writer, WritesEveryKindInItsFormatInAscendingKeyOrder)
{
    ParameterSet set;
    set.motortestWeglaenge = -400;
    set.startStopGeschwindigkeit = 0.5f;
    set.aufloesung = {100, 0.1f, 999, 1e30f};
    set.verfahrbereichBis = {100, 100, 50, 50};
    set.achsenconfiguration = {0, 1, 2, 300}; // written without validation
    set.Richtung = {1, 1, 0, 0};
    set.Reihenfolge = {2, 1, 0, 3};
    set.controllerName = "Fr\xe4se % 1";
    set.lineComments = {{0x0505, ""},    {0x0100, "% Start/Stop\r"},
                        {0x0403, "%c"},  {0x0000, ""},
                        {0x0300, ""},    {0x0304, ""},
                        {0x0400, ""},    {0x0401, ""},
                        {0x0402, ""},    {0x040A, ""},
                        {0x040D, ""},    {-1, ""},
                        {0x07FF, "% x"}, {0x10000, ""}};
    EXPECT_EQ(set.WriteText(), line("0000", "-400") + line("0100", "0.500000", "% Start/Stop\r") + line("0300", "[]") +
                                   line("0304", "[[1;1;0;0][2;1;0;3]]") + line("0400", "100.000000") +
                                   line("0401", "0.100000") + line("0402", "999.000000") +
                                   // A value longer than the field is written whole.
                                   "0403=1000000015047466219876688855040.000000%c\n" + line("040a", "[100;100;50;50]") +
                                   line("040d", "[0;1;2;300]") + line("0505", "Fr\xe4se % 1"));
    set.lineComments.clear();
    EXPECT_EQ(set.WriteText(), "");
}

// A name that would leave the reader an empty value (or split the line) would make the
// saved file unreadable; the default name is written in its place.
TEST(Writer, WritesAControllerNameThatTheReaderAccepts)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "NC-Travo USB    "},
        {"    ", "NC-Travo USB    "},
        {"\t\r", "NC-Travo USB    "},
        {"%abc", "NC-Travo USB    "},
        {"  %a", "NC-Travo USB    "},
        {"\nabc", "NC-Travo USB    "},
        {"ab\ncd", "ab"},
        {"ab%cd", "ab%cd"},
        {" x ", " x "},
    };
    for (const auto& [name, written] : cases) {
        ParameterSet set, back;
        set.controllerName = name;
        set.lineComments[0x0505] = "% Name";
        const std::string text = set.WriteText();
        EXPECT_EQ(text, line("0505", written, "% Name")) << name;
        test::RecordingInteraction ui;
        EXPECT_TRUE(back.ReadText(text, ui) && ui.messages.empty()) << name;
    }
}

// Runs under the locale named by the parameter; the conversions must not notice it.
class WriteRead : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (std::setlocale(LC_ALL, GetParam()) == nullptr)
            GTEST_SKIP() << "locale " << GetParam() << " is not installed";
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
    test::RecordingInteraction ui;
};

// Random valid values and comments for every key, and one key outside the table; written,
// read back and written again, they come back the same.
TEST_P(WriteRead, GeneratedValidSetsComeBackTheSame)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    const auto bytes = [&](std::size_t maxLength, std::string_view forbidden) {
        std::string s(rng() % (maxLength + 1), ' ');
        for (char& c : s)
            do
                c = static_cast<char>(1 + rng() % 255);
            while (forbidden.find(c) != std::string_view::npos);
        return s;
    };
    for (int n = 0; n < 300; ++n) {
        ParameterSet set, back;
        for (const ParameterInfo& p : parameterTable()) {
            for (std::size_t i = 0; p.hasLongValues() && i < p.elementCount; ++i)
                p.longValue(set, i) =
                    std::uniform_int_distribution<std::int32_t>(static_cast<std::int32_t>(p.element(i).validMin),
                                                                static_cast<std::int32_t>(p.element(i).validMax))(rng);
            if (p.kind == ParameterKind::HomingRecord) {
                set.Reihenfolge = {0, 1, 2, 3};
                std::shuffle(set.Reihenfolge.begin(), set.Reihenfolge.end(), rng);
            }
            std::uniform_real_distribution<double> values(p.element(0).validMin, p.element(0).validMax);
            if (p.kind == ParameterKind::Float)
                do
                    p.floatValue(set) = static_cast<float>(values(rng));
                while (!p.isValid(0, p.floatValue(set)));
            if (p.kind == ParameterKind::String) // what a file can hold: no "%", no outer blanks
                p.textValue(set) = "N" + bytes(14, "\n%") + "N";
            set.lineComments[p.key.value] = rng() % 4 == 0 ? "" : "%" + bytes(30, "\n") + "\r";
        }
        const std::string text = set.WriteText();
        set.lineComments[0x07FF] = "% dropped";
        ASSERT_EQ(set.WriteText(), text);
        ASSERT_TRUE(back.ReadText(text, ui)) << text;
        ASSERT_EQ(ui.messages, std::vector<std::string>{});
        set.lineComments.erase(0x07FF);
        EXPECT_EQ(back.lineComments, set.lineComments);
        // The same text again means the same integers and names; floats are what six decimals keep.
        for (const ParameterInfo& p : parameterTable())
            if (p.kind == ParameterKind::Float) {
                std::string fixed;
                appendFixed6(fixed, p.floatValue(set));
                EXPECT_EQ(p.floatValue(back), static_cast<float>(parseDouble(fixed).value)) << fixed;
            }
        ASSERT_EQ(back.WriteText(), text);
    }
}

TEST_P(WriteRead, TemplateHasEveryKeyWithItsDefaultReadsSilentlyAndWritesBackByteForByte)
{
    const std::string bytes = test::readFile(MORAVEL_TEMPLATE_FILE);
    ParameterSet set;
    ASSERT_TRUE(set.ReadText(bytes, ui));
    EXPECT_EQ(ui.messages, std::vector<std::string>{});
    EXPECT_EQ(set.WriteText(), bytes);
    EXPECT_EQ(set.lineComments.size(), parameterTable().size());
    for (const ParameterInfo& p : parameterTable()) {
        SCOPED_TRACE(testing::Message() << "key 0x" << std::hex << p.key.value);
        EXPECT_EQ(set.lineComments[p.key.value].substr(0, 2), "% ");
        if (p.kind == ParameterKind::Float) {
            EXPECT_EQ(p.floatValue(set), static_cast<float>(p.element(0).defaultValue));
        }
        for (std::size_t i = 0; p.hasLongValues() && i < p.elementCount; ++i)
            EXPECT_EQ(p.longValue(set, i), p.element(i).defaultValue);
    }
    EXPECT_EQ(set.controllerName, "NC-Travo USB");
    EXPECT_FALSE(set.ReadText("0100=0,5", ui)); // a decimal comma stays a syntax error
}

INSTANTIATE_TEST_SUITE_P(Locales, WriteRead, testing::Values("C", "de_DE.UTF-8"),
                         [](const auto& info) { return std::string(info.index == 0 ? "C" : "German"); });

} // namespace
} // namespace moravel
