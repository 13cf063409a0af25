// The locale-independent number reading against strtol (with a 32-bit long) and glibc's
// strtod, the same forms on every system, and code page 1252 <-> UTF-8. (Reading and writing floats is checked under two locales in writer_test.)

#include "params/cp1252.h"
#include "params/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <random>

namespace moravel {
namespace {

// Keys and integer values are read as strtol reads them.
TEST(NumberText, ParseLongAgreesWithStrtolClampedToThirtyTwoBits)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    std::vector<std::string> texts = {"0x", "0xg", "-0x10", "", "2147483648", "-2147483649", "99999999999999999999"};
    const std::string alphabet = "0123456789abcdefxX+- \t";
    for (int n = 0; n < 20000; ++n) {
        texts.emplace_back(rng() % 14, ' ');
        for (char& c : texts.back())
            c = alphabet[rng() % alphabet.size()];
    }
    for (const std::string& s : texts)
        for (int base : {10, 16}) {
            char* end = nullptr;
            const long long expected = std::clamp<long long>(std::strtoll(s.c_str(), &end, base), INT32_MIN, INT32_MAX);
            const auto actual = parseLong(s, base);
            ASSERT_EQ(actual.value, expected) << "'" << s << "' base " << base;
            ASSERT_EQ(actual.end, static_cast<std::size_t>(end - s.c_str())) << "'" << s << "' base " << base;
        }
}

// What the reader takes as a float, pinned on every system (the Windows build included, whose
// C runtime reads these forms otherwise): value and the characters taken.
TEST(NumberText, ParseDoubleTakesTheSameFormsOnEverySystem)
{
    using namespace std::literals;
    const double inf = HUGE_VAL;
    const struct {
        std::string_view text;
        double value;
        std::size_t end;
    } cases[] = {
        {" \t+1.5e2x", 150, 8},  {"-0.25", -0.25, 5},    {".5", 0.5, 2},         {"5.", 5, 2},
        {"1e", 1, 1},             {"1e+", 1, 1},          {"0x1.8p1", 3, 7},      {"-0X.8", -0.5, 5},
        {"0x", 0, 1},             {"0xg", 0, 1},          {"0x.p1", 0, 1},        {"0x1p", 1, 3},
        {"INF", inf, 3},          {"-Infinity", -inf, 9}, {"infinit", inf, 3},    {"1e400", inf, 5},
        {"-1e400", -inf, 6},      {"0.001e312", inf, 9},  {"1e-400", 0, 6},       {"1000e-330", 0, 9},
        {"0x1p99999", inf, 9},    {"4.9e-324", 4.9e-324, 8}, {"1.5\0" "9"sv, 1.5, 3}, {"+-1", 0, 0},
        {"--1", 0, 0},            {"", 0, 0},             {" ", 0, 0},            {"e5", 0, 0},
    };
    for (const auto& c : cases) {
        const auto parsed = parseDouble(c.text);
        EXPECT_EQ(parsed.value, c.value) << c.text;
        EXPECT_EQ(parsed.end, c.end) << c.text;
    }
    for (const char* text : {"nan", "-NaN", "nan(12_ab)", "nan("}) {
        const auto parsed = parseDouble(text);
        EXPECT_TRUE(std::isnan(parsed.value)) << text;
        EXPECT_EQ(std::signbit(parsed.value), text[0] == '-') << text;
        EXPECT_EQ(parsed.end, std::strlen(text) - (text[3] == '(' && text[4] == '\0')) << text;
    }
}

#ifndef _WIN32
// On Linux the reader keeps taking exactly what glibc's strtod takes in the "C" locale.
TEST(NumberText, ParseDoubleAgreesWithStrtod)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string alphabet = "0123456789.eEpPxX+- abcdfinNtyA()_";
    const char* const kStarts[] = {"1", "0x", "-.", "inf", "nan(", "9e3"};
    std::vector<std::string> texts;
    for (int n = 0; n < 50000; ++n) {
        texts.emplace_back(rng() % 12, ' ');
        for (char& ch : texts.back())
            ch = alphabet[rng() % alphabet.size()];
        if (n % 4 == 0) // a well-formed start, so that many texts get past the first character
            texts.back().insert(0, kStarts[rng() % std::size(kStarts)]);
    }
    for (const std::string& s : texts) {
        char* end = nullptr;
        const double expected = strtod_l(s.c_str(), &end, c);
        const auto actual = parseDouble(s);
        ASSERT_EQ(actual.end, static_cast<std::size_t>(end - s.c_str())) << "'" << s << "'";
        if (std::isnan(expected))
            ASSERT_TRUE(std::isnan(actual.value) && std::signbit(actual.value) == std::signbit(expected)) << s;
        else
            ASSERT_EQ(actual.value, expected) << "'" << s << "'";
    }
    freelocale(c);
}
#endif

TEST(Cp1252, EveryByteSurvivesTheWayThroughUtf8AndOtherCharactersAreReported)
{
    EXPECT_EQ(cp1252ToUtf8("K\xfchlung \xe4\xf6\xdf \x80 \x84\x93 \x81\x9d"), "Kühlung äöß € „“ \u0081\u009d");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const Cp1252Result back = utf8ToCp1252(cp1252ToUtf8(all));
    EXPECT_TRUE(back.ok());
    EXPECT_EQ(back.bytes, all);

    const Cp1252Result cyrillic = utf8ToCp1252("a\u0416b\U0001F600");
    EXPECT_FALSE(cyrillic.ok());
    EXPECT_EQ(cyrillic.bytes, "a?b?");
    EXPECT_EQ(cyrillic.unmappable, (std::u32string{U'\u0416', U'\U0001F600'}));
    for (const char* bad : {"\xc3", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xf5\x80\x80\x80", "\xff"}) {
        const Cp1252Result r = utf8ToCp1252(bad);
        EXPECT_TRUE(r.invalidUtf8 && r.unmappable.empty()) << bad;
    }
    EXPECT_EQ(utf8ToCp1252("x\xc3(y").bytes, "x?(y");
}

} // namespace
} // namespace moravel
