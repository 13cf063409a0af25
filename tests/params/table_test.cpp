// The parameter table: its exchange list, the accessors, enumerated texts and the
// controller exchange's messages.

#include "params/parameter_table.h"

#include <gtest/gtest.h>

#include <set>

namespace moravel {
namespace {

TEST(Table, ExchangeListHoldsEveryKeyButTheFileOnlyOnesInAscendingOrder)
{
    std::vector<std::uint16_t> keys;
    for (const ParameterInfo* p : exchangeList())
        keys.push_back(p->key.value);
    EXPECT_EQ(keys, (std::vector<std::uint16_t>{
                        0x0000, 0x0001, 0x0002, 0x0003, 0x0100, 0x0101, 0x0102, 0x0103, 0x0104, 0x0105,
                        0x0106, 0x0107, 0x0200, 0x0201, 0x0202, 0x0203, 0x0304, 0x0400, 0x0401, 0x0402,
                        0x0403, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409, 0x040A, 0x040B, 0x040C,
                        0x040D, 0x0500, 0x0501, 0x0502, 0x0503, 0x0504, 0x0505, 0x0506}));
    for (std::int32_t key : {-1, 0x0004, 0x010A, 0x0305, 0x040E, 0x0508, 0x10100, INT32_MAX})
        EXPECT_EQ(findParameter(key), nullptr) << key;
}

// Writing through one row never changes another.
TEST(Table, AccessorsReachDistinctMembers)
{
    ParameterSet set;
    std::set<const void*> addresses;
    std::size_t count = 0;
    for (const ParameterInfo& p : parameterTable()) {
        if (p.kind == ParameterKind::Float)
            count += addresses.insert(&p.floatValue(set)).second ? 1 : 100;
        for (std::size_t i = 0; p.hasLongValues() && i < p.elementCount; ++i)
            count += addresses.insert(&p.longValue(set, i)).second ? 1 : 100;
    }
    EXPECT_EQ(count, 20u + 13u + 8u + 6u * 4u); // long scalars, floats, homing elements, quadruples
    const ParameterInfo& homing = *findParameter(0x0304);
    EXPECT_EQ(&homing.longValue(set, 1), &set.Richtung[1]);
    EXPECT_EQ(&homing.longValue(set, 7), &set.Reihenfolge[3]);
    EXPECT_EQ(&findParameter(0x0403)->floatValue(set), &set.aufloesung[AxisC]);
    EXPECT_EQ(&findParameter(0x0505)->textValue(set), &set.controllerName);
}

TEST(Table, EnumeratedTextsMapBothWaysWithTheirFallbacks)
{
    const ParameterInfo& signal = *findParameter(0x0202);
    EXPECT_EQ(enumText(signal, 2), "High aktiv");
    EXPECT_EQ(enumText(signal, 0), "deaktiv");
    EXPECT_EQ(enumValue(signal, "Low aktiv"), 1);
    EXPECT_EQ(enumValue(signal, "low aktiv"), 3);
    const ParameterInfo& tool = *findParameter(0x0500);
    EXPECT_EQ(enumText(tool, 0), "nur Parameter übernehmen");
    EXPECT_EQ(enumValue(tool, "an aktueller Position"), 3);
    EXPECT_EQ(enumText(*findParameter(0x040D), INT32_MIN), "deaktiv");
    EXPECT_EQ(enumValue(*findParameter(0x040D), "Linear"), 2);
    EXPECT_EQ(enumText(*findParameter(0x0304), 1), "negative");
}

TEST(Table, ControllerMessagesFollowTheirRuleWithTheThreeKnownExceptions)
{
    const auto read = [](std::int32_t key) { return readErrorMessage(*findParameter(key)); };
    const auto transfer = [](std::int32_t key) { return transferErrorMessage(*findParameter(key)); };
    EXPECT_EQ(read(0x0000), "Fehler bei ParameterLesen    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.");
    EXPECT_EQ(transfer(0x0000), "Fehler bei Parameterübertragung    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.");
    EXPECT_EQ(read(0x0400), "Fehler bei ParameterLesen    HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT.");
    EXPECT_EQ(transfer(0x0400), "Fehler bei Parameterübertragung      HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT.");
    EXPECT_EQ(read(0x0202),
              "Fehler bei ParameterLesen    HBYTE_SCHNITTSTELLE  LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG.");
    EXPECT_EQ(transfer(0x0202), "Fehler bei Parameterübertragung    HBYTE_SCHNITTSTELLE  "
                                "BYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG.");
    EXPECT_EQ(transfer(0x0505), "Fehler bei Parameterübertragung    HBYTE_SONSTIGE LBYTE_SONSTIGE_CONTROLLERNAME_CHAR.");
    EXPECT_EQ(transfer(0x0506),
              "Fehler bei Parameterübertragung    HBYTE_SONSTIGE  LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG.");
}

} // namespace
} // namespace moravel
