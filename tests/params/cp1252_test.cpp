// Code page 1252 <-> UTF-8.

#include "params/cp1252.h"

#include <gtest/gtest.h>

namespace moravel {
namespace {

TEST(Cp1252, ConvertsGermanTextAndTheHighRangeBothWays)
{
    EXPECT_EQ(cp1252ToUtf8("K\xfchlung \xe4\xf6\xdf \x80 \x84\x93"), "Kühlung äöß € „“");
    EXPECT_EQ(utf8ToCp1252("Kühlung äöß € „“").bytes, "K\xfchlung \xe4\xf6\xdf \x80 \x84\x93");
    EXPECT_TRUE(utf8ToCp1252("Weglänge").ok());
}

TEST(Cp1252, EveryByteSurvivesTheWayThroughUtf8)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = cp1252ToUtf8(all);
    const Cp1252Result back = utf8ToCp1252(utf8);
    EXPECT_TRUE(back.ok());
    EXPECT_EQ(back.bytes, all);
    EXPECT_EQ(cp1252ToUtf8("\x81\x8d\x8f\x90\x9d"), "\u0081\u008d\u008f\u0090\u009d");
}

TEST(Cp1252, ReportsCharactersItCannotHoldAndBrokenUtf8)
{
    const Cp1252Result cyrillic = utf8ToCp1252("a\u0416b\U0001F600");
    EXPECT_FALSE(cyrillic.ok());
    EXPECT_EQ(cyrillic.bytes, "a?b?");
    EXPECT_EQ(cyrillic.unmappable, (std::u32string{U'\u0416', U'\U0001F600'}));

    for (const char* bad : {"\xc3", "\xc3(", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xf5\x80\x80\x80", "\xff"}) {
        const Cp1252Result r = utf8ToCp1252(bad);
        EXPECT_TRUE(r.invalidUtf8) << bad;
        EXPECT_TRUE(r.unmappable.empty());
    }
    EXPECT_EQ(utf8ToCp1252("x\xc3(y").bytes, "x?(y");
}

} // namespace
} // namespace moravel
