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
    const std::vector<std::uint16_t> expected = {
        0x0000, 0x0001, 0x0002, 0x0003, 0x0100, 0x0101, 0x0102, 0x0103, 0x0104, 0x0105,
        0x0106, 0x0107, 0x0200, 0x0201, 0x0202, 0x0203, 0x0304, 0x0400, 0x0401, 0x0402,
        0x0403, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409, 0x040A, 0x040B, 0x040C,
        0x040D, 0x0500, 0x0501, 0x0502, 0x0503, 0x0504, 0x0505, 0x0506};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(parameterTable().size(), 45u);
}

TEST(Table, FindsExactlyTheTableKeys)
{
    EXPECT_EQ(findParameter(0x040A)->itemMacro, "LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG");
    EXPECT_EQ(findParameter(ParameterKey(HBYTE_SONSTIGE, LBYTE_SONSTIGE_WEITERE_LONG))->key.value, 0x0507);
    for (std::int32_t key : {-1, 0x0004, 0x010A, 0x0305, 0x040E, 0x0508, 0x07FF, 0x10100, INT32_MAX})
        EXPECT_EQ(findParameter(key), nullptr) << key;
}

// Every accessor reaches its own member: writing through one row never changes another.
TEST(Table, AccessorsReachDistinctMembers)
{
    ParameterSet set;
    std::set<const void*> addresses;
    std::size_t count = 0;
    for (const ParameterInfo& p : parameterTable()) {
        SCOPED_TRACE(testing::Message() << "key 0x" << std::hex << p.key.value);
        switch (p.kind) {
        case ParameterKind::Float:
            EXPECT_EQ(p.elementCount, 1u);
            addresses.insert(&p.floatValue(set));
            ++count;
            break;
        case ParameterKind::String:
            EXPECT_EQ(&p.textValue(set), &set.controllerName);
            break;
        case ParameterKind::Reserved:
            EXPECT_FALSE(p.hasLongValues());
            EXPECT_FALSE(p.isExchanged());
            break;
        default:
            for (std::size_t i = 0; i < p.elementCount; ++i, ++count)
                addresses.insert(&p.longValue(set, i));
        }
    }
    EXPECT_EQ(addresses.size(), count);
    // 20 long scalars, 13 floats, 8 homing elements, 6 quadruples.
    EXPECT_EQ(count, 20u + 13u + 8u + 6u * 4u);

    const ParameterInfo& homing = *findParameter(0x0304);
    EXPECT_EQ(&homing.longValue(set, 0), &set.Richtung[0]);
    EXPECT_EQ(&homing.longValue(set, 7), &set.Reihenfolge[3]);
    EXPECT_EQ(&findParameter(0x0403)->floatValue(set), &set.aufloesung[AxisC]);
    EXPECT_EQ(&findParameter(0x0408)->longValue(set, AxisY), &set.richtungsumkehr[AxisY]);
}

TEST(Table, EnumeratedTextsMapBothWaysWithTheirFallbacks)
{
    const ParameterInfo& signal = *findParameter(0x0202);
    EXPECT_EQ(enumText(signal, 1), "Low aktiv");
    EXPECT_EQ(enumText(signal, 2), "High aktiv");
    EXPECT_EQ(enumText(signal, 0), "deaktiv");
    EXPECT_EQ(enumValue(signal, "High aktiv"), 2);
    EXPECT_EQ(enumValue(signal, "low aktiv"), 3);
    EXPECT_EQ(enumValue(signal, ""), 3);
    EXPECT_TRUE(signal.listHasEmptyEntry);
    EXPECT_FALSE(findParameter(0x0200)->listHasEmptyEntry);

    const ParameterInfo& tool = *findParameter(0x0500);
    EXPECT_EQ(enumText(tool, 0), "nur Parameter übernehmen");
    EXPECT_EQ(enumText(tool, 3), "an aktueller Position");
    EXPECT_EQ(enumValue(tool, "ignorieren"), 1);
    EXPECT_EQ(enumValue(tool, "x"), 4);
    EXPECT_EQ(enumText(*findParameter(0x0501), 0), "zusätzlich vor Programmstart");
    EXPECT_EQ(enumValue(*findParameter(0x0504), "abbrechen"), 2);

    const ParameterInfo& axes = *findParameter(0x040D);
    EXPECT_EQ(enumText(axes, 0), "linear");
    EXPECT_EQ(enumText(axes, INT32_MIN), "deaktiv");
    EXPECT_EQ(enumValue(axes, "Linear"), 2);

    const ParameterInfo& homing = *findParameter(0x0304);
    EXPECT_EQ(enumText(homing, 1), "negative");
    EXPECT_EQ(enumValue(homing, "Positive"), 2);
    EXPECT_TRUE(homing.listSorted);
}

TEST(Table, DialogsAcceptSpeedsFromZeroPointOneButFilesFromZeroPointZeroOne)
{
    for (std::int32_t key : {0x0001, 0x0002, 0x0100, 0x0106}) {
        EXPECT_EQ(findParameter(key)->dialogMin, 0.1) << key;
        EXPECT_EQ(findParameter(key)->element(0).validMin, 0.01) << key;
    }
    EXPECT_EQ(findParameter(0x0400)->dialogMin, findParameter(0x0400)->element(0).validMin);
    EXPECT_EQ(findParameter(0x0504)->dialogLabel, "Unbekannte Programmbefele");
    EXPECT_EQ(findParameter(0x0108)->dialogFrame, "Noch nicht verwendet");
    EXPECT_EQ(findParameter(0x040A)->dialogColumn, "bis");
}

TEST(Table, ControllerMessagesFollowTheirRuleWithTheThreeKnownExceptions)
{
    const ParameterInfo& first = *findParameter(0x0000);
    EXPECT_EQ(readErrorMessage(first), "Fehler bei ParameterLesen    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.");
    EXPECT_EQ(transferErrorMessage(first),
              "Fehler bei Parameterübertragung    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.");
    EXPECT_EQ(transferErrorMessage(*findParameter(0x0400)),
              "Fehler bei Parameterübertragung      HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT.");
    EXPECT_EQ(readErrorMessage(*findParameter(0x0400)),
              "Fehler bei ParameterLesen    HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT.");
    EXPECT_EQ(transferErrorMessage(*findParameter(0x0202)),
              "Fehler bei Parameterübertragung    HBYTE_SCHNITTSTELLE  BYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG.");
    EXPECT_EQ(readErrorMessage(*findParameter(0x0202)),
              "Fehler bei ParameterLesen    HBYTE_SCHNITTSTELLE  LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG.");
    EXPECT_EQ(transferErrorMessage(*findParameter(0x0505)),
              "Fehler bei Parameterübertragung    HBYTE_SONSTIGE LBYTE_SONSTIGE_CONTROLLERNAME_CHAR.");
    EXPECT_EQ(transferErrorMessage(*findParameter(0x0506)),
              "Fehler bei Parameterübertragung    HBYTE_SONSTIGE  LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG.");
}

} // namespace
} // namespace moravel
