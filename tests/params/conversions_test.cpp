// The locale-independent integer reading against strtol (with a 32-bit long), and code page
// 1252 <-> UTF-8. (Reading and writing floats is checked under two locales in writer_test.)

#include "params/cp1252.h"
#include "params/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
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
