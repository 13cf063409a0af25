// Writer and reader agree: generated valid sets survive writing and reading back, the
// template file reads silently and writes back byte for byte, and neither depends on the
// global locale.

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

std::string randomBytes(std::mt19937& rng, std::size_t minLength, std::size_t maxLength, std::string_view forbidden)
{
    std::string s(std::uniform_int_distribution<std::size_t>(minLength, maxLength)(rng), ' ');
    for (char& c : s)
        do
            c = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(rng));
        while (forbidden.find(c) != std::string_view::npos);
    return s;
}

// Random valid values for every key; most keys get a comment line, one key outside the table.
void randomValidSet(std::mt19937& rng, ParameterSet& set)
{
    for (const ParameterInfo& p : parameterTable()) {
        for (std::size_t i = 0; p.hasLongValues() && i < p.elementCount; ++i) {
            const ElementInfo& e = p.element(i);
            p.longValue(set, i) = std::uniform_int_distribution<std::int32_t>(static_cast<std::int32_t>(e.validMin),
                                                                              static_cast<std::int32_t>(e.validMax))(rng);
        }
        if (p.kind == ParameterKind::HomingRecord) {
            set.Reihenfolge = {0, 1, 2, 3};
            std::shuffle(set.Reihenfolge.begin(), set.Reihenfolge.end(), rng);
        }
        if (p.kind == ParameterKind::Float) {
            std::uniform_real_distribution<double> values(p.element(0).validMin, p.element(0).validMax);
            do
                p.floatValue(set) = static_cast<float>(values(rng));
            while (!p.isValid(0, p.floatValue(set)));
        }
        if (p.kind == ParameterKind::String) // what a file can hold: no "%", no outer blanks
            p.textValue(set) = "N" + randomBytes(rng, 0, 14, "\n%") + "N";
        if (rng() % 8 != 0)
            set.lineComments[p.key.value] = rng() % 4 == 0 ? "" : "%" + randomBytes(rng, 0, 30, "\n") + "\r";
    }
    set.lineComments[0x07FF] = "% dropped";
}

// What the reader gives back for a float written with six decimals.
float afterSixDecimals(float f)
{
    std::string text;
    appendFixed6(text, f);
    return static_cast<float>(parseDouble(text).value);
}

TEST(RoundTrip, GeneratedValidSetsComeBackTheSame)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    for (int n = 0; n < 300; ++n) {
        ParameterSet set;
        randomValidSet(rng, set);
        const std::string text = set.WriteText();
        ParameterSet back;
        test::RecordingInteraction ui;
        ASSERT_TRUE(back.ReadText(text, ui)) << text;
        ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();
        for (const ParameterInfo& p : parameterTable()) {
            if (set.lineComments.count(p.key.value) == 0)
                continue;
            SCOPED_TRACE(testing::Message() << "key 0x" << std::hex << p.key.value);
            EXPECT_EQ(back.lineComments.at(p.key.value), set.lineComments.at(p.key.value));
            if (p.kind == ParameterKind::Float) {
                EXPECT_EQ(p.floatValue(back), afterSixDecimals(p.floatValue(set)));
            }
            if (p.kind == ParameterKind::String) {
                EXPECT_EQ(p.textValue(back), p.textValue(set));
            }
            for (std::size_t i = 0; p.hasLongValues() && i < p.elementCount; ++i)
                EXPECT_EQ(p.longValue(back, i), p.longValue(set, i)) << "element " << i;
        }
        EXPECT_EQ(back.lineComments.count(0x07FF), 0u);
        ASSERT_EQ(back.WriteText(), text); // and writing it again changes nothing
    }
}

std::string templateBytes()
{
    return test::readFile(MORAVEL_TEMPLATE_FILE);
}

TEST(TemplateFile, HasEveryKeyWithItsDefaultReadsSilentlyAndWritesBackByteForByte)
{
    const std::string bytes = templateBytes();
    ParameterSet set;
    test::RecordingInteraction ui;
    ASSERT_TRUE(set.ReadText(bytes, ui));
    EXPECT_TRUE(ui.messages.empty());
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
}

TEST(Locale, ReadingAndWritingUnderAGermanLocaleGiveTheSameResultsAsUnderC)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5") << "the German locale is not in effect";

    const std::string bytes = templateBytes();
    ParameterSet set;
    test::RecordingInteraction ui;
    EXPECT_TRUE(set.ReadText(bytes, ui));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(set.WriteText(), bytes);
    EXPECT_TRUE(set.ReadText("0100=2.5\n0101=1.5e1", ui));
    EXPECT_EQ(set.startStopGeschwindigkeit, 2.5f);
    EXPECT_EQ(set.fahrGeschwindigkeit, 15.0f);
    EXPECT_FALSE(set.ReadText("0100=0,5", ui)); // a decimal comma stays a syntax error
    std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
} // namespace moravel
