// The locale-independent conversions behave like strtol (with a 32-bit long), strtod and
// "%f" in the C locale.

#include "params/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace moravel {
namespace {

// strtol, narrowed the way a 32-bit long would clamp.
ParsedNumber<std::int32_t> referenceLong(const std::string& text, int base)
{
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, base);
    v = std::clamp<long long>(v, INT32_MIN, INT32_MAX);
    return {static_cast<std::int32_t>(v), static_cast<std::size_t>(end - text.c_str())};
}

TEST(NumberText, ParseLongAgreesWithStrtol)
{
    const char* samples[] = {"0", "12", "-12", "+12", " \t12", "12 ", "0x", "0xg", "-0x10", "0X1f", "ff", "FF",
                             "+", "-", "", " ", "2147483647", "2147483648", "-2147483648", "-2147483649",
                             "99999999999999999999999", "7fffffff", "80000000", "-80000000", "-80000001",
                             "ffffffffffffffff", "12.5", "1e3", "--1", "+-1", "0x-1", "00012", "0x0x1"};
    for (const char* s : samples)
        for (int base : {10, 16}) {
            SCOPED_TRACE(testing::Message() << "'" << s << "' base " << base);
            const auto expected = referenceLong(s, base);
            const auto actual = parseLong(s, base);
            EXPECT_EQ(actual.value, expected.value);
            EXPECT_EQ(actual.end, expected.end);
        }

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    const std::string alphabet = "0123456789abcdefxX+- \t";
    for (int n = 0; n < 20000; ++n) {
        std::string s(rng() % 14, ' ');
        for (char& c : s)
            c = alphabet[rng() % alphabet.size()];
        const int base = n % 2 == 0 ? 10 : 16;
        const auto expected = referenceLong(s, base);
        const auto actual = parseLong(s, base);
        ASSERT_EQ(actual.value, expected.value) << "'" << s << "' base " << base;
        ASSERT_EQ(actual.end, expected.end) << "'" << s << "' base " << base;
    }
}

TEST(NumberText, ParseDoubleStopsWhereStrtodStops)
{
    struct Case {
        std::string text;
        double value;
        std::size_t end;
    };
    const Case cases[] = {{"0.5", 0.5, 3},  {"+1.5e0", 1.5, 6}, {"0,5", 0, 1},  {"1e", 1, 1},
                          {".5", 0.5, 2},   {"5.", 5, 2},       {"x", 0, 0},    {std::string("1\0" "2", 3), 1, 1},
                          {"0x1p3", 8, 5},  {"-0", -0.0, 2},    {"1e-2", 0.01, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = parseDouble(c.text);
        EXPECT_EQ(parsed.value, c.value);
        EXPECT_EQ(parsed.end, c.end);
    }
}

TEST(NumberText, AppendFixed6MatchesPrintf)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    std::vector<double> values = {0, -0.0, 0.5, 100, 0.1f, 999, 1e30f, 0.0000005, 0.0000015, 2.5e-7, -1.0e-7,
                                  1e300, -123.4567895};
    for (int n = 0; n < 20000; ++n) {
        std::uint32_t bits = static_cast<std::uint32_t>(rng());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f))
            values.push_back(f);
        values.push_back(std::uniform_real_distribution<double>(0, 1000)(rng));
    }
    for (double v : values) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%f", v);
        std::string actual;
        appendFixed6(actual, v);
        ASSERT_EQ(actual, expected) << v;
    }
    std::string text;
    appendLong(text, INT32_MIN);
    appendLong(text, 7);
    EXPECT_EQ(text, "-21474836487");
}

} // namespace
} // namespace moravel
