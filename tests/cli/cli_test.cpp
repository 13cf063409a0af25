// moravel-cli check and format run as a child process: exit status, stdout and stderr.

#include "tests/cli/cli_runner.h"
#include "version/moravel_version.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>
#include <sys/stat.h>

namespace moravel::test {
namespace {

using Texts = std::vector<std::string>;

const std::string kWeglaenge = "Motortest -> Weglänge war ungültig\nund ist mit DEFAULT Wert (400 Schritte) "
                               "initialisiert.\nBitte definieren Sie den Wert richtig im Dialog.";
const std::string kVonZ = "Mechanik -> 'Verfahrbereich von' Z war ungültig\nund ist mit DEFAULT Wert (0 mm) "
                          "initialisiert.\nBitte definieren Sie den Wert richtig im Dialog.";
const std::string kSyntax = "Syntax Error im Wert. Sieh NC-Travo_USB_Param.ncp, Zeile 3.\n"
                            "Bitte beenden Sie das Programm und korigieren Sie den File";

std::string json(bool valid, const Texts& messages)
{
    return nlohmann::ordered_json{{"valid", valid}, {"messages", messages}}.dump() + "\n";
}

class Cli : public testing::Test {
protected:
    TempDir dir;
};

// Messages go to stderr, each followed by a blank line; --json puts them on stdout in UTF-8.
// A file the reader accepts with messages (format mixed) still exits 0.
TEST_F(Cli, CheckAndFormatGiveTheReadersVerdictMessagesAndText)
{
    const std::string syntax = dir.write("syntax.ncp", "0000=70000\r\n0409=[0;0;-40000;0]\n0100=x\n");
    const std::string empty = dir.write("empty.ncp", "");
    // 8-bit bytes, comments with carriage returns, an unknown key and a duplicate.
    const std::string mixed = dir.write(
        "mixed.ncp", "% Kopf\r\n0101=4 % Fahr\xe4n\r\n07ff=weg\n0505=Fr\xe4se\x80\n0000=70000\n0101=5 % neu\r\n");
    // A set without a line of the table writes an empty text, which is no parameter file.
    const std::string unknown = dir.write("unknown.ncp", "07ff=1\n");
    const struct {
        Texts args;
        int status;
        std::string out, err;
    } cases[] = {
        {{"check", MORAVEL_TEMPLATE_FILE}, 0, "", ""},
        {{"check", "--json", MORAVEL_TEMPLATE_FILE}, 0, json(true, {}), ""},
        {{"check", "--", syntax}, 1, "", kWeglaenge + "\n\n" + kVonZ + "\n\n" + kSyntax + "\n\n"},
        {{"check", "--json", syntax}, 1, json(false, {kWeglaenge, kVonZ, kSyntax}), ""},
        {{"check", "--json", empty}, 1, json(false, {}), ""},
        {{"format", mixed},
         0,
         "0000=400                             \n"
         "0101=5.000000                        % neu\r\n"
         "0505=Fr\xe4se\x80                          \n",
         kWeglaenge + "\n\n"},
        {{"format", syntax}, 1, "", kWeglaenge + "\n\n" + kVonZ + "\n\n" + kSyntax + "\n\n"},
        {{"format", unknown}, 2, "", "moravel-cli: no parameters to write; nothing written to stdout\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args.back());
        const CliRun run = runCli(dir, c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST_F(Cli, WrongArgumentsAndUnreadableOrUnwritableFilesExitWithTwo)
{
    const std::string a = dir.write("a.ncp", "0100=1\n");
    const Texts cases[] = {
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
        EXPECT_TRUE(contains(run.err, "moravel-cli: "));
    }
    const CliRun full = runCli(dir, {"format", MORAVEL_TEMPLATE_FILE}, "/dev/full");
    EXPECT_EQ(full.status, 2);
    EXPECT_TRUE(contains(full.err, "cannot write"));
}

// Only a regular file of at most 16 MiB is read as a parameter file, and the decision comes
// before any reading: a device that never ends, a FIFO nobody writes (the open must not
// block) and a file one byte over the limit end the command at once with exit status 2.
TEST_F(Cli, FilesThatAreNoParameterFilesAreRefusedBeforeTheyAreRead)
{
    const std::string fifo = dir.file("fifo"), big = dir.write("big.ncp", "");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::truncate(big.c_str(), (16 << 20) + 1), 0); // sparse
    const struct {
        std::string path, reason;
    } files[] = {{"/dev/zero", "Not a regular file"}, {fifo, "Not a regular file"}, {big, "File too large"}};
    for (const auto& f : files)
        for (const char* command : {"check", "format", "transfer", "diff"}) {
            SCOPED_TRACE(std::string(command) + " " + f.path);
            const CliRun run = runCli(dir, {command, f.path});
            EXPECT_EQ(run.status, 2);
            EXPECT_EQ(run.out, "");
            EXPECT_TRUE(startsWith(run.err, "moravel-cli: cannot read '" + f.path + "': " + f.reason));
        }
}

// An accepted file that lacks exchanged keys gets a warning listing them; the verdict stays.
// A file of CR-only line ends is one line: its first key, the rest a comment.
TEST_F(Cli, CheckWarnsAboutTheExchangedKeysAFileLacks)
{
    const std::string comment = dir.write("comment.ncp", "%\n");
    const CliRun none = runCli(dir, {"check", comment});
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(startsWith(none.err, "moravel-cli: warning: '" + comment +
                                         "' lacks 38 of the 38 keys exchanged with the controller; transfer refuses it "
                                         "(transfer --partial sends only the keys it holds):\n  0000  "
                                         "LBYTE_MOTORTEST_WEGLAENGE_LONG\n  0001  LBYTE_MOTORTEST_START_STOP_FLOAT\n"));
    EXPECT_EQ(std::count(none.err.begin(), none.err.end(), '\n'), 39);
    EXPECT_TRUE(contains(none.err, "\n  0506  LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG\n"));
    EXPECT_EQ(none.err.find("  0108  "), std::string::npos) << "not exchanged";

    std::string text = readFile(MORAVEL_TEMPLATE_FILE);
    std::replace(text.begin(), text.end(), '\n', '\r');
    const CliRun crOnly = runCli(dir, {"check", "--json", dir.write("cr.ncp", text)});
    EXPECT_EQ(crOnly.status, 0);
    EXPECT_TRUE(contains(crOnly.err, "' lacks 37 of the 38 keys"));
    EXPECT_EQ(crOnly.err.find("  0000  "), std::string::npos);
}

// Each command of the main help answers --help with the same usage line (the manual page is
// made from both).
TEST_F(Cli, HelpAndVersion)
{
    std::istringstream help(runCli(dir, {"--help"}).out);
    Texts commands;
    std::string line;
    while (std::getline(help, line) && line != "Commands:") {
    }
    while (std::getline(help, line) && !line.empty()) {
        if (line[2] != ' ') {
            commands.push_back(line.substr(2, line.find(' ', 2) - 2));
            EXPECT_TRUE(startsWith(runCli(dir, {commands.back(), "--help"}).out, "Usage: moravel-cli " + line.substr(2)));
        }
    }
    EXPECT_EQ(commands, (Texts{"check", "format", "read", "transfer", "diff", "flash", "update", "ports"}));
    EXPECT_EQ(runCli(dir, {"--version"}).out, "moravel-cli " MORAVEL_VERSION "\n");
}

} // namespace
} // namespace moravel::test
