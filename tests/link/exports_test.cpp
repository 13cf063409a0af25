// The shared library's face: exactly the 30 exports, libc as its only dependency, its
// soname, and a header that C compiles.

#include "link/include/quorlink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern "C" int quorlinkHeaderCheckFromC(void);

namespace {

std::string run(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    while (const std::size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return output;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

TEST(Exports, AreExactlyTheThirtyCommands)
{
    const std::set<std::string> expected = {
        "KorvexOpenConnectionPort", "KorvexOpenConnectionAuto", "KorvexOpenConnectionName",
        "KorvexCloseConnection", "KorvexWriteChar", "KorvexReadChar", "StatusAbfrage", "GetPosition_mm",
        "GetPosition_Schritte", "BetriebsArtenWechsel", "FehlerQuitieren", "NotHalt_mitBremsrampe",
        "NotStop_ohneBremsrampe", "FahreRelativ_XY_mm", "FahreRelativ_XY_Schritte", "FahreRelativ_ZC_mm",
        "FahreRelativ_ZC_Schritte", "SpindelKuhlungSetzen", "AllgemeineAusgaeneSetzen", "Referenzfahrt",
        "ParkPositionAnfahren", "NullPunktSetzen_mm", "NullPunktSetzen_Schritte", "ParameterLesen",
        "ParameterAendern_long", "ParameterAendern_float", "ParameterAendern_4_longs", "ParameterAendern_4_uchar",
        "ParameterAendern_ControllerName", "ParameterAendern_Richtung_Sequenz_ReferenzFahrt",
    };
    ASSERT_EQ(expected.size(), 30u);
    std::set<std::string> defined;
    for (const auto& line : lines(run(std::string(QUORLINK_NM) + " -D --defined-only " + QUORLINK_LIBRARY))) {
        // "0000000000001234 T Name": the name is the last field; function symbols only.
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
    std::set<std::string> needed;
    std::string soname;
    for (const auto& line : lines(run(std::string(QUORLINK_READELF) + " -d " + QUORLINK_LIBRARY))) {
        const auto open = line.find('[');
        const auto close = line.find(']');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        const std::string value = line.substr(open + 1, close - open - 1);
        if (line.find("(NEEDED)") != std::string::npos)
            needed.insert(value);
        else if (line.find("(SONAME)") != std::string::npos)
            soname = value;
    }
    EXPECT_EQ(soname, "libquorlink.so.1");
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
