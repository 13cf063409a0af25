// The shared library's face: exactly the 30 exports, libc as its only dependency, its
// soname, and a header that C compiles.

#include <quorlink.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern "C" int quorlinkHeaderCheckFromC(void);

namespace {

// The lines a tool prints about the library, split into whitespace-separated fields.
std::vector<std::vector<std::string>> toolOutput(const std::string& tool, const std::string& options)
{
    const std::string command = tool + " " + options + " " + QUORLINK_LIBRARY;
    std::vector<std::vector<std::string>> lines;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::istringstream in(buffer);
        lines.emplace_back(std::istream_iterator<std::string>(in), std::istream_iterator<std::string>());
    }
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << command;
    return lines;
}

TEST(Exports, AreExactlyTheThirtyCommands)
{
    std::istringstream names(
        "KorvexOpenConnectionPort KorvexOpenConnectionAuto KorvexOpenConnectionName KorvexCloseConnection "
        "KorvexWriteChar KorvexReadChar StatusAbfrage GetPosition_mm GetPosition_Schritte BetriebsArtenWechsel "
        "FehlerQuitieren NotHalt_mitBremsrampe NotStop_ohneBremsrampe FahreRelativ_XY_mm FahreRelativ_XY_Schritte "
        "FahreRelativ_ZC_mm FahreRelativ_ZC_Schritte SpindelKuhlungSetzen AllgemeineAusgaeneSetzen Referenzfahrt "
        "ParkPositionAnfahren NullPunktSetzen_mm NullPunktSetzen_Schritte ParameterLesen ParameterAendern_long "
        "ParameterAendern_float ParameterAendern_4_longs ParameterAendern_4_uchar ParameterAendern_ControllerName "
        "ParameterAendern_Richtung_Sequenz_ReferenzFahrt");
    const std::set<std::string> expected(std::istream_iterator<std::string>(names), {});
    std::set<std::string> defined;
    for (const auto& fields : toolOutput(QUORLINK_NM, "-D --defined-only")) {
        ASSERT_EQ(fields.size(), 3u); // "0000000000001234 T Name": function symbols only
        EXPECT_EQ(fields[1], "T") << fields[2];
        defined.insert(fields[2]);
    }
    EXPECT_EQ(defined, expected);
}

TEST(Exports, LibraryNeedsOnlyLibcAndHasItsSoname)
{
    std::set<std::string> needed, soname;
    for (const auto& fields : toolOutput(QUORLINK_READELF, "-d")) {
        // " 0x0000000000000001 (NEEDED)  Shared library: [libc.so.6]"
        if (fields.size() == 5 && (fields[1] == "(NEEDED)" || fields[1] == "(SONAME)"))
            (fields[1] == "(NEEDED)" ? needed : soname).insert(fields[4].substr(1, fields[4].size() - 2));
    }
    EXPECT_EQ(soname, std::set<std::string>{"libquorlink.so.1"});
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

} // namespace
