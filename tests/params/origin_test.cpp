// Where the reader says a value came from: File for every key whose line it read, None for
// the keys the text lacked; and keysWithoutOrigin, the keys a transfer would send from nowhere.

#include "params/controller_exchange.h"
#include "params/parameter_set.h"
#include "params/parameter_table.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace moravel {
namespace {

std::set<std::int32_t> keysWithOrigin(const ParameterSet& set, ValueOrigin origin)
{
    std::set<std::int32_t> keys;
    for (const ParameterInfo& p : parameterTable())
        if (set.origin(p.key.value) == origin)
            keys.insert(p.key.value);
    return keys;
}

TEST(Origins, TheReaderMarksTheKeysOfTheLinesItReadAndNoOthers)
{
    const std::string full = test::readFile(MORAVEL_TEMPLATE_FILE);
    ASSERT_FALSE(full.empty());
    std::string crOnly = full;
    std::replace(crOnly.begin(), crOnly.end(), '\n', '\r');

    std::set<std::int32_t> allKeys;
    for (const ParameterInfo& p : parameterTable())
        allKeys.insert(p.key.value);

    const struct {
        const char* name;
        std::string text;
        std::set<std::int32_t> fromFile;
        std::size_t withoutOrigin; // exchanged keys at None
    } cases[] = {
        {"complete", full, allKeys, 0},
        // An invalid value replaced by its default (with its message) still came from the file.
        {"partial", "% Kopf\n0100=0.5\n0000=70000\n07ff=x\n0108=3\n", {0x0000, 0x0100, 0x0108}, 36},
        {"only a percent sign", "%", {}, 38},
        // Carriage returns do not end lines: the whole file is one line, its first "%" starts
        // a comment that holds the rest.
        {"carriage returns only, a heading first", "% Parameter\r" + crOnly, {}, 38},
        {"carriage returns only", crOnly, {0x0000}, 37},
        // The line with the syntax error is not counted; the one before it is.
        {"stopped by a syntax error", "0101=4\n0102=x\n0103=1\n", {0x0101}, 37},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ParameterSet set;
        test::RecordingInteraction ui;
        ASSERT_TRUE(set.ReadText(full, ui)); // every key File before the case's own text
        set.ReadText(c.text, ui);
        EXPECT_EQ(keysWithOrigin(set, ValueOrigin::File), c.fromFile);
        EXPECT_EQ(keysWithOrigin(set, ValueOrigin::Controller), std::set<std::int32_t>{});
        const auto missing = keysWithoutOrigin(set);
        EXPECT_EQ(missing.size(), c.withoutOrigin);
        for (const ParameterInfo* p : missing)
            EXPECT_FALSE(c.fromFile.contains(p->key.value)) << p->key.value;
    }
}

// A new set holds values from nowhere; an empty text is refused and changes no origin.
TEST(Origins, ANewSetHasNoneAndAnEmptyTextChangesNothing)
{
    ParameterSet set;
    EXPECT_EQ(keysWithoutOrigin(set).size(), 38u);
    test::RecordingInteraction ui;
    ASSERT_TRUE(set.ReadText("0100=0.5\n", ui));
    EXPECT_FALSE(set.ReadText("", ui));
    EXPECT_EQ(set.origin(0x0100), ValueOrigin::File);
    EXPECT_EQ(keysWithoutOrigin(set).size(), 37u);
}

} // namespace
} // namespace moravel
