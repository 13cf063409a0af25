// The parameter table's rows reach their values through the accessor their kind calls for.

#include "params/parameter_set.h"
#include "params/parameter_table.h"

#include <gtest/gtest.h>

#include <set>

namespace moravel {
namespace {

TEST(ParameterTable, EveryRowReachesItsValueThroughTheAccessorOfItsKind)
{
    for (const ParameterInfo& p : parameterTable()) {
        SCOPED_TRACE(p.itemMacro.empty() ? "reserved row" : std::string(p.itemMacro));
        const bool isFloat = p.kind == ParameterKind::Float;
        const bool isText = p.kind == ParameterKind::String;
        const bool isLong = !isFloat && !isText && p.kind != ParameterKind::Reserved;
        EXPECT_EQ(p.longAt != nullptr, isLong);
        EXPECT_EQ(p.floatAt != nullptr, isFloat);
        EXPECT_EQ(p.textAt != nullptr, isText);
    }
}

// Every row reaches members of its own: two rows that shared a member by mistake would
// overwrite each other.
TEST(ParameterTable, NoTwoRowsShareAValue)
{
    ParameterSet set;
    std::set<const void*> seen;
    std::size_t count = 0;
    const auto note = [&](const void* member) { seen.insert(member), ++count; };
    for (const ParameterInfo& p : parameterTable()) {
        if (p.kind == ParameterKind::Float)
            note(&p.floatValue(set));
        for (std::size_t i = 0; p.hasLongValues() && i < p.elementCount; ++i)
            note(&p.longValue(set, i));
    }
    EXPECT_EQ(seen.size(), count);
    EXPECT_EQ(count, 20u + 13u + 8u + 6u * 4u); // long scalars, floats, homing elements, quadruples
}

} // namespace
} // namespace moravel
