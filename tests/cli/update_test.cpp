// moravel-cli update end to end: the real binary as a child process against the in-process
// simulator, whose controller restarts out of its bootloader with factory parameters. The
// update's rules are tested in-process (tests/controller/update_test.cpp); here its prompts,
// exit statuses and closing lines.

#include "tests/cli/cli_runner.h"
#include "tests/controller/controller_fixture.h"

namespace moravel::test {
namespace {

const std::string kRestartPrompt = "Starten Sie den Controller neu (Reset) und bestätigen Sie mit Enter.";
const std::string kBackupNamed = "; backup of the parameters: ";

// The last line of a text (without its line break).
std::string lastLine(std::string text)
{
    text.erase(text.find_last_not_of('\n') + 1); // npos + 1: all of it
    return text.substr(text.rfind('\n') + 1);
}

using UpdateCli = CliControllerTest;

// On a terminal: the bootloader prompt, the upload's bar, then the restart prompt with nothing
// sent in between; Enter restores the backup, Ctrl-D ends there.
TEST_F(UpdateCli, AsksOnATerminalAndNamesTheBackupLast)
{
    Device& device = controllerOn(3);
    device.setResetAfterUpload(300ms);
    const std::string backup = dir.file("before.ncp"), image = firmware(20000);
    for (const char restartKey : {'\n', '\x04'}) {
        SCOPED_TRACE(int(restartKey));
        std::size_t framesAtUpload = 0;
        const auto [status, screen] = runOnTerminal(
            {"update", "--backup", backup, "--port", "COM3", image},
            {{"Press Enter",
              [&](pid_t) {
                  framesAtUpload = device.frameCount();
                  return '\n';
              }},
             {kRestartPrompt, [&](pid_t) {
                  EXPECT_EQ(device.frameCount(), framesAtUpload) << "a request before the restart was confirmed";
                  return restartKey;
              }}});
        EXPECT_EQ(status, restartKey == '\n' ? 0 : 7) << screen;
        EXPECT_TRUE(contains(screen, "] 100 %  20000 / 20000 bytes"));
        EXPECT_EQ(lastLine(screen), (restartKey == '\n'
                                         ? "moravel-cli: firmware updated, the controller holds its parameters again"
                                         : "moravel-cli: stopped before the parameters were restored") +
                                        kBackupNamed + backup + "\r");
    }
}

struct ExitCase {
    const char* name;
    std::function<void(Device&)> fault;
    Texts options;
    int status;
    std::string err;  // in stderr
    std::string last; // the last line of stderr, before the backup's name
    bool saved = true;
    bool listsKey = false;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

const ExitCase kExitCases[] = {
    {"UnreadableKey", [](Device& d) { d.setNoReplyForKey(0x0403); }, {}, 3,
     "Fehler bei ParameterLesen    HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT.\n\n",
     "moravel-cli: 1 key(s) could not be read; no backup written, nothing flashed", false},
    {"UnwritableBackup", [](Device&) {}, {"--backup", "/nonexistent/b.ncp"}, 2, "no backup written; nothing flashed",
     "", false},
    {"NoBootloader", [](Device& d) { d.setBootloaderPresent(false); }, {}, 5, "CRX-Bootloader nicht gefunden!\n\n",
     "moravel-cli: nothing flashed"},
    {"ControllerStaysAway", [](Device& d) { d.setResetAfterUpload(std::chrono::hours(1)); }, {"--wait", "3"}, 4,
     "moravel-cli: waiting up to 3 s for the controller on COM1\n",
     "moravel-cli: the controller did not answer within 3 s"},
    {"KeyKeptByTheController", [](Device& d) { d.setIgnoredChange(0x0506); }, {}, 1, "",
     "moravel-cli: 1 key(s) differ from the backup after restoring (listed on stdout)", true, true},
    {"KeyChangeNotConfirmed", [](Device& d) { d.setWrongValueEcho(0x0000); }, {}, 3,
     "Fehler bei Parameterübertragung    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.\n\n",
     "moravel-cli: 1 key(s) failed while restoring"},
};

class UpdateExit : public CliControllerTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(UpdateExit, GivesItsStatusAndLastLine)
{
    const ExitCase& c = GetParam();
    Device& device = controllerOn(1);
    device.parameters().setLong(0x0506, 9);
    device.setResetAfterUpload(300ms);
    c.fault(device);
    const std::string backup = dir.file("b.ncp");
    Texts args{"update", "--yes"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    if (c.status != 2)
        args.insert(args.end(), {"--backup", backup});
    args.push_back(firmware(100));
    const CliRun r = run(args, c.status, c.err);
    if (!c.last.empty()) {
        EXPECT_EQ(lastLine(r.err), c.last + (c.saved ? kBackupNamed + backup : ""));
    }
    EXPECT_EQ(std::filesystem::exists(backup), c.saved);
    EXPECT_EQ(r.out, c.listsKey ? "0506\tLBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG\t9\t" +
                                      std::to_string(quorlink::sim::ParameterStore().getLong(0x0506)) + "\n"
                                : "");
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateExit, ::testing::ValuesIn(kExitCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Refusals before the controller is touched.
TEST_F(UpdateCli, RefusesUnconfirmedRunsAndBadArguments)
{
    Device& device = controllerOn(1);
    const std::string image = firmware(100);
    run({"update", image}, 2, "stdin is not a terminal; confirm the prompts with --yes");
    for (const Texts& args :
         {Texts{"update", "--yes"}, Texts{"update", "--yes", "--wait", "x", image},
          Texts{"update", "--yes", "--wait", "-1", image}, Texts{"update", "--yes", "--backup", image, image},
          Texts{"update", "--yes", dir.file("none.crx")}})
        run(args, 2);
    EXPECT_EQ(device.frameCount(), 0u);
}

} // namespace
} // namespace moravel::test
