// ParameterSet::WriteText: line format, value texts, and which lines are written.

#include "params/parameter_set.h"
#include "params/parameter_table.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace moravel {
namespace {

std::string pad(std::string value)
{
    if (value.size() < 32)
        value.append(32 - value.size(), ' ');
    return value;
}

TEST(Writer, WritesKeyValuePaddedToThirtyTwoAndTheCommentAsStored)
{
    ParameterSet set;
    set.startStopGeschwindigkeit = 0.5f;
    set.lineComments[0x0100] = "% Start/Stop";
    EXPECT_EQ(set.WriteText(), "0100=0.500000" + std::string(24, ' ') + "% Start/Stop\n");

    set.lineComments[0x0100] = "";
    EXPECT_EQ(set.WriteText(), "0100=" + pad("0.500000") + "\n");

    set.lineComments[0x0100] = "% mit CR\r";
    EXPECT_EQ(set.WriteText(), "0100=" + pad("0.500000") + "% mit CR\r\n");
}

TEST(Writer, WritesEveryKindInItsFormat)
{
    ParameterSet set;
    set.motortestWeglaenge = -400;
    set.aufloesung = {100, 0.1f, 999, 1e30f};
    set.verfahrbereichBis = {100, 100, 50, 50};
    set.achsenconfiguration = {0, 1, 2, 300};
    set.Richtung = {1, 1, 0, 0};
    set.Reihenfolge = {2, 1, 0, 3};
    set.controllerName = "Fr\xe4se % 1";
    for (std::int32_t key : {0x0000, 0x0300, 0x0304, 0x0400, 0x0401, 0x0402, 0x0403, 0x040A, 0x040D, 0x0505})
        set.lineComments[key] = "";
    set.lineComments[0x0403] = "%c";
    EXPECT_EQ(set.WriteText(), "0000=" + pad("-400") + "\n" +
                                   "0300=" + pad("[]") + "\n" +
                                   "0304=" + pad("[[1;1;0;0][2;1;0;3]]") + "\n" +
                                   "0400=" + pad("100.000000") + "\n" +
                                   "0401=" + pad("0.100000") + "\n" +
                                   "0402=" + pad("999.000000") + "\n" +
                                   // A value longer than the field is written whole.
                                   "0403=1000000015047466219876688855040.000000%c\n" +
                                   "040a=" + pad("[100;100;50;50]") + "\n" +
                                   "040d=" + pad("[0;1;2;300]") + "\n" +
                                   "0505=" + pad("Fr\xe4se % 1") + "\n");
}

TEST(Writer, DropsKeysOutsideTheTableAndWritesInAscendingOrder)
{
    ParameterSet set;
    set.lineComments = {{-1, ""}, {0x07FF, "% x"}, {0x0507, "% w"}, {0x0000, ""}, {0x10000, ""}, {INT32_MAX, ""}};
    EXPECT_EQ(set.WriteText(), "0000=" + pad("0") + "\n0507=" + pad("0") + "% w\n");

    set.lineComments.clear();
    EXPECT_EQ(set.WriteText(), "");
}

TEST(Writer, WritesValuesWithoutValidation)
{
    ParameterSet set;
    set.zusatzsignalSpindel = 0;
    set.weitere = 12345;
    set.lineComments = {{0x0200, ""}, {0x0507, ""}};
    EXPECT_EQ(set.WriteText(), "0200=" + pad("0") + "\n0507=" + pad("12345") + "\n");
}

// A name that would leave the reader an empty value (or split the line) would make the
// saved file unreadable; the default name is written in its place.
TEST(Writer, WritesAControllerNameThatTheReaderAccepts)
{
    struct Case {
        std::string name;
        std::string written;
    };
    const Case cases[] = {
        {"", "NC-Travo USB    "},
        {"    ", "NC-Travo USB    "},
        {"\t\r", "NC-Travo USB    "},
        {"%abc", "NC-Travo USB    "},
        {"  %abc", "NC-Travo USB    "},
        {"\nabc", "NC-Travo USB    "},
        {"ab\ncd", "ab"},
        {"ab%cd", "ab%cd"},
        {"NC-Travo USB    ", "NC-Travo USB    "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ParameterSet set;
        set.controllerName = c.name;
        set.lineComments[0x0505] = "% Name";
        const std::string text = set.WriteText();
        EXPECT_EQ(text, "0505=" + pad(c.written) + "% Name\n");
        ParameterSet back;
        test::RecordingInteraction ui;
        EXPECT_TRUE(back.ReadText(text, ui));
        EXPECT_TRUE(ui.messages.empty());
    }
}

} // namespace
} // namespace moravel
