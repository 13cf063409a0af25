// The locale-independent conversions behave like strtol (with a 32-bit long), strtod and
// "%f" in the C locale.

#include "params/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace moravel {
namespace {

TEST(NumberText, ParseLongAgreesWithStrtolClampedToThirtyTwoBits)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    std::vector<std::string> samples = {"0x", "0xg", "-0x10", " \t12", "+", "-", "", "2147483648", "-2147483649",
                                        "99999999999999999999999", "-80000001", "0x0x1", "+-1"};
    const std::string alphabet = "0123456789abcdefxX+- \t";
    for (int n = 0; n < 20000; ++n) {
        samples.emplace_back(rng() % 14, ' ');
        for (char& c : samples.back())
            c = alphabet[rng() % alphabet.size()];
    }
    for (const std::string& s : samples)
        for (int base : {10, 16}) {
            char* end = nullptr;
            const long long expected = std::clamp<long long>(std::strtoll(s.c_str(), &end, base), INT32_MIN, INT32_MAX);
            const auto actual = parseLong(s, base);
            ASSERT_EQ(actual.value, expected) << "'" << s << "' base " << base;
            ASSERT_EQ(actual.end, static_cast<std::size_t>(end - s.c_str())) << "'" << s << "' base " << base;
        }
}

TEST(NumberText, ParseDoubleStopsWhereStrtodStops)
{
    const struct {
        std::string text;
        double value;
        std::size_t end;
    } cases[] = {{"+1.5e0", 1.5, 6}, {"0,5", 0, 1}, {"1e", 1, 1},     {".5", 0.5, 2},
                 {"x", 0, 0},        {std::string("1\0" "2", 3), 1, 1}, {"0x1p3", 8, 5}};
    for (const auto& c : cases) {
        EXPECT_EQ(parseDouble(c.text).value, c.value) << c.text;
        EXPECT_EQ(parseDouble(c.text).end, c.end) << c.text;
    }
}

TEST(NumberText, AppendFixed6MatchesPrintf)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    std::vector<double> values = {-0.0, 0.0000005, 0.0000015, 2.5e-7, 1e300, -123.4567895, 1e30f};
    for (int n = 0; n < 20000; ++n) {
        const auto bits = static_cast<std::uint32_t>(rng());
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
}

} // namespace
} // namespace moravel
