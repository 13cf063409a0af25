// Writer and reader agree: generated valid sets survive writing and reading back, the
// template file reads silently and writes back byte for byte, and neither depends on the
// global locale.

#include "params/number_text.h"
#include "params/parameter_set.h"
#include "params/parameter_table.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <random>

#ifndef MORAVEL_TEMPLATE_FILE
#error "MORAVEL_TEMPLATE_FILE must name the template parameter file"
#endif

namespace moravel {
namespace {

using test::RecordingInteraction;

// A random valid value for element i of p.
std::int32_t randomLong(std::mt19937& rng, const ElementInfo& e)
{
    return std::uniform_int_distribution<std::int32_t>(static_cast<std::int32_t>(e.validMin),
                                                       static_cast<std::int32_t>(e.validMax))(rng);
}

std::string randomBytes(std::mt19937& rng, std::size_t maxLength, std::string_view forbidden)
{
    std::string s(std::uniform_int_distribution<std::size_t>(0, maxLength)(rng), ' ');
    for (char& c : s) {
        do
            c = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(rng));
        while (forbidden.find(c) != std::string_view::npos);
    }
    return s;
}

// Fills set with random valid values and gives every table key (and some others) a comment.
void randomValidSet(std::mt19937& rng, ParameterSet& set)
{
    for (const ParameterInfo& p : parameterTable()) {
        switch (p.kind) {
        case ParameterKind::Long:
        case ParameterKind::AxisQuadruple:
        case ParameterKind::EnumQuadruple:
            for (std::size_t i = 0; i < p.elementCount; ++i)
                p.longValue(set, i) = randomLong(rng, p.element(i));
            break;
        case ParameterKind::HomingRecord: {
            for (std::size_t i = 0; i < 4; ++i)
                p.longValue(set, i) = randomLong(rng, p.element(i));
            std::array<std::int32_t, 4> order{0, 1, 2, 3};
            std::shuffle(order.begin(), order.end(), rng);
            set.Reihenfolge = order;
            break;
        }
        case ParameterKind::Float: {
            const ElementInfo& e = p.element(0);
            float f;
            do
                f = static_cast<float>(std::uniform_real_distribution<double>(e.validMin, e.validMax)(rng));
            while (!p.isValid(0, f));
            p.floatValue(set) = f;
            break;
        }
        case ParameterKind::String: {
            // What the reader can give back unchanged: 1 to 16 bytes without line feed and
            // "%", not starting or ending with white space.
            std::string name;
            do
                name = randomBytes(rng, 16, "\n%");
            while (name.empty() || std::isspace(static_cast<unsigned char>(name.front())) ||
                   std::isspace(static_cast<unsigned char>(name.back())));
            p.textValue(set) = name;
            break;
        }
        case ParameterKind::Reserved:
            break;
        }
        if (rng() % 8 != 0) { // most keys are in the file, some are not
            std::string comment = rng() % 4 == 0 ? "" : "%" + randomBytes(rng, 30, "\n");
            if (rng() % 2 == 0 && !comment.empty())
                comment += '\r';
            set.lineComments[p.key.value] = comment;
        }
    }
    set.lineComments[0x07FF] = "% dropped";
}

// What the reader gives back for a float written with six decimals.
float afterSixDecimals(float f)
{
    std::string text;
    appendFixed6(text, f);
    return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

void expectSameAfterRoundTrip(const ParameterSet& written, const ParameterSet& back)
{
    for (const ParameterInfo& p : parameterTable()) {
        SCOPED_TRACE(testing::Message() << "key 0x" << std::hex << p.key.value);
        if (written.lineComments.count(p.key.value) == 0)
            continue;
        EXPECT_EQ(back.lineComments.at(p.key.value), written.lineComments.at(p.key.value));
        switch (p.kind) {
        case ParameterKind::Float:
            EXPECT_EQ(p.floatValue(back), afterSixDecimals(p.floatValue(written)));
            break;
        case ParameterKind::String:
            EXPECT_EQ(p.textValue(back), p.textValue(written));
            break;
        case ParameterKind::Reserved:
            break;
        default:
            for (std::size_t i = 0; i < p.elementCount; ++i)
                EXPECT_EQ(p.longValue(back, i), p.longValue(written, i)) << "element " << i;
        }
    }
    EXPECT_EQ(back.lineComments.count(0x07FF), 0u);
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
        RecordingInteraction ui;
        ASSERT_TRUE(back.ReadText(text, ui)) << text;
        ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();
        expectSameAfterRoundTrip(set, back);
        // Written again, the text is the same: the writer's output is a fixed point.
        ASSERT_EQ(back.WriteText(), text);
    }
}

TEST(RoundTrip, FloatsKeepSixDecimals)
{
    ParameterSet set;
    set.eilgang = 1.23456789f;
    set.lineComments[0x0102] = "";
    ParameterSet back;
    RecordingInteraction ui;
    ASSERT_TRUE(back.ReadText(set.WriteText(), ui));
    EXPECT_EQ(back.eilgang, 1.234568f);
}

TEST(RoundTrip, DefaultControllerNameComesBackWithoutItsTrailingBlanks)
{
    ParameterSet set;
    set.controllerName = std::string(DefaultControllerName);
    set.lineComments[0x0505] = "";
    ParameterSet back;
    RecordingInteraction ui;
    ASSERT_TRUE(back.ReadText(set.WriteText(), ui));
    EXPECT_EQ(back.controllerName, "NC-Travo USB");
}

// ---- The template file.

std::string templateBytes()
{
    return test::readFile(MORAVEL_TEMPLATE_FILE);
}

TEST(TemplateFile, HasOneLineWithTheDefaultForEveryKeyAndReadsSilently)
{
    const std::string bytes = templateBytes();
    ASSERT_FALSE(bytes.empty());
    ParameterSet set;
    RecordingInteraction ui;
    ASSERT_TRUE(set.ReadText(bytes, ui));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(set.lineComments.size(), parameterTable().size());
    for (const ParameterInfo& p : parameterTable()) {
        SCOPED_TRACE(testing::Message() << "key 0x" << std::hex << p.key.value);
        ASSERT_EQ(set.lineComments.count(p.key.value), 1u);
        EXPECT_EQ(set.lineComments.at(p.key.value).substr(0, 2), "% ");
        if (p.kind == ParameterKind::Float) {
            EXPECT_EQ(p.floatValue(set), static_cast<float>(p.element(0).defaultValue));
        } else if (p.hasLongValues()) {
            for (std::size_t i = 0; i < p.elementCount; ++i)
                EXPECT_EQ(p.longValue(set, i), p.element(i).defaultValue);
        }
    }
    EXPECT_EQ(set.controllerName, "NC-Travo USB");
}

TEST(TemplateFile, WritesBackByteForByte)
{
    const std::string bytes = templateBytes();
    ParameterSet set;
    RecordingInteraction ui;
    ASSERT_TRUE(set.ReadText(bytes, ui));
    EXPECT_EQ(set.WriteText(), bytes);
}

// ---- Locale independence.

// Switches the whole process to a German locale for one test, if it is installed.
class GermanLocale : public testing::Test {
protected:
    void SetUp() override
    {
        m_saved = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
            GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
        ASSERT_STREQ(probe, "0,5") << "the German locale is not in effect";
    }
    void TearDown() override { std::setlocale(LC_ALL, m_saved.c_str()); }

private:
    std::string m_saved;
};

TEST_F(GermanLocale, ReadingAndWritingGiveTheSameResultsAsUnderC)
{
    const std::string bytes = templateBytes();
    ParameterSet set;
    RecordingInteraction ui;
    ASSERT_TRUE(set.ReadText(bytes, ui));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(set.startStopGeschwindigkeit, 0.5f);
    EXPECT_EQ(set.WriteText(), bytes);

    EXPECT_TRUE(set.ReadText("0100=2.5\n0101=1.5e1", ui));
    EXPECT_EQ(set.startStopGeschwindigkeit, 2.5f);
    EXPECT_EQ(set.fahrGeschwindigkeit, 15.0f);
    EXPECT_FALSE(set.ReadText("0100=0,5", ui)); // a decimal comma stays a syntax error

    const ParsedNumber<double> parsed = parseDouble("0.25");
    EXPECT_EQ(parsed.value, 0.25);
    EXPECT_EQ(parsed.end, 4u);
    std::string text;
    appendFixed6(text, 1234.5);
    EXPECT_EQ(text, "1234.500000");
}

} // namespace
} // namespace moravel
