// The parameter table's rows reach their values through the accessor their kind calls for.

#include "params/parameter_table.h"

#include <gtest/gtest.h>

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

// Writing through a row's accessor changes that parameter only: two rows that shared a member
// by mistake would overwrite each other.
TEST(ParameterTable, NoTwoRowsShareAValue)
{
    ParameterSet set;
    for (const ParameterInfo& p : parameterTable()) {
        SCOPED_TRACE(std::string(p.itemMacro));
        if (p.hasLongValues()) {
            for (std::size_t i = 0; i < p.elementCount; ++i)
                p.longValue(set, i) = static_cast<std::int32_t>(p.key.value * 16 + i);
        } else if (p.floatAt != nullptr)
            p.floatValue(set) = static_cast<float>(p.key.value);
        else if (p.textAt != nullptr)
            p.textValue(set) = std::to_string(p.key.value);
    }
    for (const ParameterInfo& p : parameterTable()) {
        SCOPED_TRACE(std::string(p.itemMacro));
        if (p.hasLongValues()) {
            for (std::size_t i = 0; i < p.elementCount; ++i)
                EXPECT_EQ(p.longValue(set, i), static_cast<std::int32_t>(p.key.value * 16 + i));
        } else if (p.floatAt != nullptr) {
            EXPECT_EQ(p.floatValue(set), static_cast<float>(p.key.value));
        } else if (p.textAt != nullptr) {
            EXPECT_EQ(p.textValue(set), std::to_string(p.key.value));
        }
    }
}

} // namespace
} // namespace moravel
