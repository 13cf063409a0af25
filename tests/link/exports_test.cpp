// The shared library's face: exactly the 30 exports, libc as its only dependency, its
// soname, and a header that C compiles.

#include "link/include/quorlink.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern "C" int quorlinkHeaderCheckFromC(void);

namespace {

// The lines a tool prints about the library.
std::vector<std::string> toolOutput(const std::string& tool, const std::string& options)
{
    const std::string command = tool + " " + options + " " + QUORLINK_LIBRARY;
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << command;
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(Exports, AreExactlyTheThirtyCommands)
{
    const std::set<std::string> expected = {
        "KorvexOpenConnectionPort", "KorvexOpenConnectionAuto", "KorvexOpenConnectionName", "KorvexCloseConnection",
        "KorvexWriteChar", "KorvexReadChar", "StatusAbfrage", "GetPosition_mm", "GetPosition_Schritte",
        "BetriebsArtenWechsel", "FehlerQuitieren", "NotHalt_mitBremsrampe", "NotStop_ohneBremsrampe",
        "FahreRelativ_XY_mm", "FahreRelativ_XY_Schritte", "FahreRelativ_ZC_mm", "FahreRelativ_ZC_Schritte",
        "SpindelKuhlungSetzen", "AllgemeineAusgaeneSetzen", "Referenzfahrt", "ParkPositionAnfahren",
        "NullPunktSetzen_mm", "NullPunktSetzen_Schritte", "ParameterLesen", "ParameterAendern_long",
        "ParameterAendern_float", "ParameterAendern_4_longs", "ParameterAendern_4_uchar",
        "ParameterAendern_ControllerName", "ParameterAendern_Richtung_Sequenz_ReferenzFahrt",
    };
    ASSERT_EQ(expected.size(), 30u);
    std::set<std::string> defined;
    for (const auto& line : toolOutput(QUORLINK_NM, "-D --defined-only")) {
        // "0000000000001234 T Name": function symbols only.
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        EXPECT_EQ(type, "T") << line;
        defined.insert(name);
    }
    EXPECT_EQ(defined, expected);
}

TEST(Exports, LibraryNeedsOnlyLibcAndHasItsSoname)
{
    std::set<std::string> needed, soname;
    for (const auto& line : toolOutput(QUORLINK_READELF, "-d")) {
        const auto open = line.find('['), close = line.find(']');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        const std::string value = line.substr(open + 1, close - open - 1);
        if (line.find("(NEEDED)") != std::string::npos)
            needed.insert(value);
        else if (line.find("(SONAME)") != std::string::npos)
            soname.insert(value);
    }
    EXPECT_EQ(soname, std::set<std::string> {"libquorlink.so.1"});
    ASSERT_EQ(needed.count("libc.so.6"), 1u);
    for (const auto& lib : needed) {
        const bool sanitizerRuntime = lib.rfind("libasan.so", 0) == 0 || lib.rfind("libubsan.so", 0) == 0;
        EXPECT_TRUE(lib == "libc.so.6" || (QUORLINK_SANITIZED && sanitizerRuntime)) << "needs " << lib;
    }
}

TEST(Exports, HeaderCompilesAsCWithTheSameLayout)
{
    EXPECT_EQ(quorlinkHeaderCheckFromC(), static_cast<int>(sizeof(ConnectionContext)));
}

}  // namespace
