// ParameterSet::WriteText: line format, value texts, and which lines are written.

#include "params/parameter_set.h"
#include "params/parameter_table.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace moravel {
namespace {

// "%04x=%-32s" and the comment.
std::string line(const char* key, std::string value, const char* comment = "")
{
    if (value.size() < 32)
        value.append(32 - value.size(), ' ');
    return std::string(key) + "=" + value + comment + "\n";
}

TEST(Writer, WritesEveryKindInItsFormatInAscendingKeyOrder)
{
    ParameterSet set;
    set.motortestWeglaenge = -400;
    set.startStopGeschwindigkeit = 0.5f;
    set.aufloesung = {100, 0.1f, 999, 1e30f};
    set.verfahrbereichBis = {100, 100, 50, 50};
    set.achsenconfiguration = {0, 1, 2, 300}; // written without validation
    set.Richtung = {1, 1, 0, 0};
    set.Reihenfolge = {2, 1, 0, 3};
    set.controllerName = "Fr\xe4se % 1";
    set.lineComments = {{0x0505, ""}, {0x0100, "% Start/Stop\r"}, {0x0403, "%c"}, {0x0000, ""}, {0x0300, ""},
                        {0x0304, ""}, {0x0400, ""}, {0x0401, ""}, {0x0402, ""}, {0x040A, ""}, {0x040D, ""},
                        {-1, ""}, {0x07FF, "% x"}, {0x10000, ""}};
    EXPECT_EQ(set.WriteText(), line("0000", "-400") + line("0100", "0.500000", "% Start/Stop\r") + line("0300", "[]") +
                                   line("0304", "[[1;1;0;0][2;1;0;3]]") + line("0400", "100.000000") +
                                   line("0401", "0.100000") + line("0402", "999.000000") +
                                   // A value longer than the field is written whole.
                                   "0403=1000000015047466219876688855040.000000%c\n" +
                                   line("040a", "[100;100;50;50]") + line("040d", "[0;1;2;300]") +
                                   line("0505", "Fr\xe4se % 1"));
    set.lineComments.clear();
    EXPECT_EQ(set.WriteText(), "");
}

// A name that would leave the reader an empty value (or split the line) would make the
// saved file unreadable; the default name is written in its place.
TEST(Writer, WritesAControllerNameThatTheReaderAccepts)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "NC-Travo USB    "},     {"    ", "NC-Travo USB    "}, {"\t\r", "NC-Travo USB    "},
        {"%abc", "NC-Travo USB    "}, {"  %a", "NC-Travo USB    "}, {"\nabc", "NC-Travo USB    "},
        {"ab\ncd", "ab"},             {"ab%cd", "ab%cd"},           {" x ", " x "},
    };
    for (const auto& [name, written] : cases) {
        ParameterSet set;
        set.controllerName = name;
        set.lineComments[0x0505] = "% Name";
        const std::string text = set.WriteText();
        EXPECT_EQ(text, line("0505", written, "% Name")) << name;
        ParameterSet back;
        test::RecordingInteraction ui;
        EXPECT_TRUE(back.ReadText(text, ui)) << name;
        EXPECT_TRUE(ui.messages.empty()) << name;
    }
}

} // namespace
} // namespace moravel
