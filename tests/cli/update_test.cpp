// moravel-cli update end to end: the real binary as a child process against the in-process
// simulator, whose controller restarts out of its bootloader with factory parameters.

#include "tests/cli/cli_runner.h"
#include "tests/controller/controller_fixture.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <thread>

namespace moravel::test {
namespace {

using quorlink::sim::ParameterStore;
using quorlink::sim::ValueArea;
using Values = std::map<std::uint16_t, ValueArea>;

const std::string kRestartPrompt = "Starten Sie den Controller neu (Reset) und bestätigen Sie mit Enter.";

Values valuesOf(const ParameterStore& store)
{
    Values values;
    for (const std::uint16_t key : ParameterStore::keys())
        values[key] = *store.get(key);
    return values;
}

// The last line of a text (without its line break).
std::string lastLine(std::string text)
{
    text.erase(text.find_last_not_of('\n') + 1); // npos + 1: all of it
    return text.substr(text.rfind('\n') + 1);
}

std::vector<std::string> filesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().string());
    return names;
}

class UpdateCli : public CliControllerTest {
protected:
    // A set unlike the factory's in every shape.
    static void ownSettings(Device& device)
    {
        ParameterStore& p = device.parameters();
        p.setLong(0x0000, 1234);
        p.setFloat(0x0101, 7.25f);
        p.setLong(0x0202, 1);
        p.setBytes(0x0304, Bytes{0, 1, 1, 0, 3, 2, 1, 0});
        p.setFloat(0x0402, 80.0f);
        p.setFourLongs(0x040A, {300, 200, 100, 40});
        p.setBytes(0x040D, Bytes{1, 1, 0, 1});
        p.setName("Fr\xE4se 2");
        p.setLong(0x0506, 9);
    }
};

// On a terminal: the bootloader prompt, the upload, the restart prompt (no open attempt before
// Enter), then the controller, back with factory values, gets the whole backup again.
TEST_F(UpdateCli, RestoresEveryKeyToAControllerThatRestartsWithFactoryValues)
{
    Device& device = controllerOn(3);
    ownSettings(device);
    const Values before = valuesOf(device.parameters());
    const Values factory = valuesOf(ParameterStore("NC-Travo USB    "));
    ASSERT_NE(before, factory);
    device.setResetAfterUpload(1s);
    const std::string backup = dir.file("before.ncp");

    bool restartAnswered = false;
    const auto [status, screen] =
        runOnTerminal({"update", "--backup", backup, "--port", "COM3", firmware(20000)},
                      {{"Press Enter",
                        [&](pid_t) {
                            EXPECT_TRUE(device.bootloaderBytes().empty()) << "nothing flashed before the answer";
                            EXPECT_EQ(valuesOf(device.parameters()), before) << "nothing changed by the backup";
                            return '\n';
                        }},
                       {kRestartPrompt, [&](pid_t) {
                            restartAnswered = true;
                            EXPECT_EQ(valuesOf(device.parameters()), factory)
                                << "the new firmware starts from factory values";
                            // The controller is back after 1 s, but nothing asks for it before Enter.
                            const std::size_t frames = device.frameCount();
                            std::this_thread::sleep_for(1500ms);
                            EXPECT_FALSE(device.restarting());
                            EXPECT_EQ(device.frameCount(), frames) << "an open attempt before Enter";
                            return '\n';
                        }}});
    EXPECT_EQ(status, 0) << screen;
    EXPECT_TRUE(restartAnswered) << screen;
    EXPECT_EQ(device.bootloaderBytes().size(), 6u + 3 * 8193 + 1);
    const Values after = valuesOf(device.parameters());
    for (const std::uint16_t key : ParameterStore::keys())
        EXPECT_EQ(after.at(key), before.at(key)) << "key " << std::hex << key;
    EXPECT_NE(readFile(backup).find("\n0101=7.250000 "), std::string::npos);
    EXPECT_NE(screen.find("] 100 %  20000 / 20000 bytes"), std::string::npos) << screen;
    EXPECT_EQ(lastLine(screen), "moravel-cli: firmware updated, the controller holds its parameters again; backup of "
                                "the parameters: " +
                                    backup + "\r")
        << screen;
}

// Ctrl-D at the restart prompt: nothing more is sent, the backup is named.
TEST_F(UpdateCli, EndsWhenTheRestartIsNotConfirmed)
{
    Device& device = controllerOn(3);
    const std::string backup = dir.file("b.ncp");
    std::size_t frames = 0;
    const auto [status, screen] =
        runOnTerminal({"update", "--backup", backup, firmware(100)},
                      {{"Press Enter", [](pid_t) { return '\n'; }}, {kRestartPrompt, [&](pid_t) {
                                                                         frames = device.frameCount();
                                                                         return '\x04';
                                                                     }}});
    EXPECT_EQ(status, 7) << screen;
    EXPECT_EQ(device.frameCount(), frames);
    EXPECT_EQ(lastLine(screen),
              "moravel-cli: stopped before the parameters were restored; backup of the parameters: " + backup + "\r");
}

// A key that cannot be read stops the update before the bootloader (no backup written); a
// missing bootloader leaves the backup, saved under the default name, and names it last.
TEST_F(UpdateCli, StopsBeforeFlashingWithoutAWholeBackupAndKeepsTheBackupWithoutABootloader)
{
    const std::filesystem::path data = dir.path() / "data";
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    Device& device = controllerOn(2);
    const std::string image = firmware(100);
    const std::filesystem::path folder = data / "moravel" / "backups";

    device.setNoReplyForKey(0x0403);
    run({"update", "--yes", image}, 3,
        "Fehler bei ParameterLesen    HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT.\n\n");
    EXPECT_TRUE(device.bootloaderBytes().empty());
    EXPECT_TRUE(filesIn(folder).empty());

    device.setNoReplyForKey(std::nullopt);
    device.parameters().setName("  Fr\xE4se/2 ");
    device.setBootloaderPresent(false);
    const CliRun noBootloader = run({"update", "--yes", image}, 5, "CRX-Bootloader nicht gefunden!\n\n");
    const auto files = filesIn(folder);
    ASSERT_EQ(files.size(), 1u);
    // .../backups/Fr_se_2-YYYYmmdd-HHMMSS.ncp
    const std::string name = files[0].substr(files[0].rfind('/') + 1);
    const std::string stamp = name.substr(std::string("Fr_se_2-").size(), 15);
    EXPECT_NE(files[0].find("/backups/Fr_se_2-20"), std::string::npos) << files[0];
    EXPECT_EQ(name.size(), std::string("Fr_se_2-YYYYmmdd-HHMMSS.ncp").size()) << files[0];
    EXPECT_TRUE(name.ends_with(".ncp") && stamp[8] == '-' &&
                std::all_of(stamp.begin(), stamp.end(), [](char c) { return c == '-' || std::isdigit(c) != 0; }))
        << files[0];
    EXPECT_NE(readFile(files[0]).find("\n0505=  Fr\xE4se/2"), std::string::npos);
    EXPECT_EQ(lastLine(noBootloader.err), "moravel-cli: nothing flashed; backup of the parameters: " + files[0]);
}

// A controller that stays silent after the upload: exit status 4 once --wait has passed (XDG_DATA_HOME
// not absolute: the backup goes below ~/.local/share).
TEST_F(UpdateCli, GivesUpWhenTheControllerDoesNotComeBack)
{
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    Device& device = controllerOn(4);
    device.setResetAfterUpload(std::chrono::hours(1));
    const CliRun r =
        run({"update", "--yes", "--wait", "3", firmware(100)}, 4, "can be opened, but no controller answered");
    const auto files = filesIn(home.path() / ".local" / "share" / "moravel" / "backups");
    ASSERT_EQ(files.size(), 1u) << r.err;
    EXPECT_NE(r.err.find("moravel-cli: waiting up to 3 s for the controller on COM4\n"), std::string::npos) << r.err;
    EXPECT_EQ(lastLine(r.err),
              "moravel-cli: the controller did not answer within 3 s; backup of the parameters: " + files[0]);
    EXPECT_TRUE(device.restarting());
}

// The restored controller keeps a value of its own: the key is listed as diff lists it.
TEST_F(UpdateCli, ListsTheKeysTheControllerDidNotTakeBack)
{
    Device& device = controllerOn(1);
    device.parameters().setLong(0x0506, 9);
    device.setResetAfterUpload(500ms);
    device.setIgnoredChange(0x0506);
    const std::int32_t factory = ParameterStore().getLong(0x0506);
    ASSERT_NE(factory, 9);
    const std::string backup = dir.file("b.ncp");
    const CliRun r = run({"update", "--yes", "--backup", backup, firmware(100)}, 1);
    EXPECT_EQ(r.out, "0506\tLBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG\t9\t" + std::to_string(factory) + "\n");
    EXPECT_EQ(lastLine(r.err), "moravel-cli: 1 key(s) differ from the backup after restoring (listed on stdout); "
                               "backup of the parameters: " +
                                   backup);
}

// A key whose transfer the controller does not confirm counts as failed (exit status 3), even
// though the read-back finds its value.
TEST_F(UpdateCli, ReportsAKeyTheRestoreFailedFor)
{
    Device& device = controllerOn(1);
    device.parameters().setLong(0x0000, 1234);
    device.setResetAfterUpload(500ms);
    device.setWrongValueEcho(0x0000);
    const std::string backup = dir.file("b.ncp");
    const CliRun r = run({"update", "--yes", "--backup", backup, firmware(100)}, 3,
                         "Fehler bei Parameterübertragung    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.\n\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lastLine(r.err), "moravel-cli: 1 key(s) failed while restoring; backup of the parameters: " + backup);
    EXPECT_EQ(device.parameters().getLong(0x0000), 1234);
}

// Refusals before the controller is touched, and a backup that cannot be written.
TEST_F(UpdateCli, RefusesUnconfirmedRunsAndBadArgumentsAndStopsWithoutABackup)
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

    run({"update", "--yes", "--backup", dir.file("no/such/folder/b.ncp"), image}, 2,
        "no backup written; nothing flashed");
    EXPECT_TRUE(device.bootloaderBytes().empty());
}

} // namespace
} // namespace moravel::test
