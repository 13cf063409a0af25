// moravel-cli run as a child process: exit status, stdout and stderr.

#include "params/parameter_set.h"
#include "tests/cli/cli_runner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace moravel {
namespace {

using test::readFile;
using test::runCli;
using test::CliRun;
using test::TempDir;
using test::writeFile;

class Cli : public testing::Test {
protected:
    std::string file(std::string_view name, std::string_view bytes) { return dir.write(name, bytes); }
    TempDir dir;
};

const std::string kInvalidValues = "0000=70000\r\n0409=[0;0;-40000;0]\n";
const std::string kWeglaenge = "Motortest -> Weglänge war ungültig\nund ist mit DEFAULT Wert (400 Schritte) "
                               "initialisiert.\nBitte definieren Sie den Wert richtig im Dialog.";
const std::string kVonZ = "Mechanik -> 'Verfahrbereich von' Z war ungültig\nund ist mit DEFAULT Wert (0 mm) "
                          "initialisiert.\nBitte definieren Sie den Wert richtig im Dialog.";

TEST_F(Cli, CheckPassesTheTemplateWithoutAnyMessage)
{
    for (const char* option : {"", "--json"}) {
        std::vector<std::string> args{"check"};
        if (*option)
            args.push_back(option);
        args.push_back(MORAVEL_TEMPLATE_FILE);
        const CliRun run = runCli(dir, args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, *option ? "{\"valid\":true,\"messages\":[]}\n" : "");
    }
}

TEST_F(Cli, CheckPrintsEachMessageFollowedByABlankLine)
{
    const CliRun run = runCli(dir, {"check", file("a.ncp", kInvalidValues)});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kWeglaenge + "\n\n" + kVonZ + "\n\n");
}

TEST_F(Cli, CheckJsonListsTheMessagesInOrderAsUtf8)
{
    const CliRun run = runCli(dir, {"check", "--json", file("a.ncp", kInvalidValues + "0100=x\n")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["valid"], false);
    EXPECT_EQ(json["messages"], (std::vector<std::string>{kWeglaenge, kVonZ,
                                                          "Syntax Error im Wert. Sieh NC-Travo_USB_Param.ncp, Zeile 3.\n"
                                                          "Bitte beenden Sie das Programm und korigieren Sie den File"}));
    EXPECT_NE(run.out.find("Weglänge war ungültig\\nund"), std::string::npos);
    EXPECT_EQ(run.out.rfind("{\"valid\":false,", 0), 0u);

    const CliRun empty = runCli(dir, {"check", "--json", file("empty.ncp", "")});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "{\"valid\":false,\"messages\":[]}\n");
}

TEST_F(Cli, WrongArgumentsAndUnreadableFilesExitWithTwo)
{
    const std::string a = file("a.ncp", "0100=1\n");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"check"},
        {"check", "--json"},
        {"check", a, a},
        {"check", "--xml", a},
        {"format", "--json", a},
        {"check", dir.file("missing.ncp")},
        {"check", "--json", dir.path().string()},
        {"format", dir.file("missing.ncp")},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::Message() << (args.empty() ? "(none)" : args.front()) << " " << args.size());
        const CliRun run = runCli(dir, args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("moravel-cli: "), std::string::npos) << run.err;
    }
    EXPECT_EQ(runCli(dir, {"check", "--", a}).status, 0);
}

TEST_F(Cli, FormatWritesTheWritersBytesAndMessagesToStderr)
{
    const std::string bytes = "% Kopf\r\n0101=4 % Fahr\xe4n\r\n07ff=weg\n0505=Fr\xe4se\x80\n0000=70000\n0101=5 % neu\r\n";
    const CliRun run = runCli(dir, {"format", file("a.ncp", bytes)});
    EXPECT_EQ(run.status, 0);
    ParameterSet set;
    test::RecordingInteraction ui;
    ASSERT_TRUE(set.ReadText(bytes, ui));
    EXPECT_EQ(run.out, set.WriteText());
    EXPECT_EQ(run.out, "0000=400                             \n"
                       "0101=5.000000                        % neu\r\n"
                       "0505=Fr\xe4se\x80                          \n");
    EXPECT_EQ(run.err, kWeglaenge + "\n\n");
}

TEST_F(Cli, FormatWritesNothingForARejectedFileAndReportsAFailedWrite)
{
    const CliRun rejected = runCli(dir, {"format", file("a.ncp", "0100=1\n0304=[[1;1;0;0][1;1;0;3]]\n")});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_EQ(rejected.out, "");
    EXPECT_NE(rejected.err.find("GENAU EIN MAL"), std::string::npos);

    const CliRun full = runCli(dir, {"format", MORAVEL_TEMPLATE_FILE}, "/dev/full");
    EXPECT_EQ(full.status, 2);
    EXPECT_NE(full.err.find("cannot write"), std::string::npos);
}

TEST_F(Cli, HelpAndVersion)
{
    const CliRun help = runCli(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("check [--json] FILE"), std::string::npos);
    EXPECT_NE(help.out.find("format FILE"), std::string::npos);
    const CliRun checkHelp = runCli(dir, {"check", "--help"});
    EXPECT_EQ(checkHelp.status, 0);
    EXPECT_EQ(checkHelp.out.rfind("Usage: moravel-cli check [--json] FILE", 0), 0u);
    const CliRun version = runCli(dir, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "moravel-cli " MORAVEL_VERSION "\n");
}

} // namespace
} // namespace moravel
