// The update's rules, once, in-process: runFirmwareUpdate against the simulator's controller,
// which restarts out of its bootloader with factory values, and a front end that answers from
// a script. The window and moravel-cli tests check only how they show the outcome.

#include "app/controller/firmware_update.h"
#include "tests/controller/controller_fixture.h"

#include <cstdlib>

namespace moravel::test {
namespace {

using quorlink::sim::ParameterStore;

// Goes on, or stops in front of one step or at the restart prompt; notes how each step ended.
class ScriptedFrontEnd : public UpdateFrontEnd {
public:
    explicit ScriptedFrontEnd(UserInteraction& ui) : m_ui(ui) {}
    UserInteraction& interaction(UpdateStep) override { return m_ui; }
    void stepEnded(UpdateStep, bool succeeded) override { ended += succeeded ? '+' : '-'; }
    bool goOn(UpdateStep next) override { return next != stopBefore; }
    bool confirmRestart(int port, std::chrono::seconds) override
    {
        restartPort = port;
        return confirm;
    }

    std::optional<UpdateStep> stopBefore;
    bool confirm = true;
    int restartPort = 0;
    std::string ended; // one '+' or '-' per step that ran

private:
    UserInteraction& m_ui;
};

struct UpdateCase {
    const char* name;
    std::function<void(Device&, ScriptedFrontEnd&)> script;
    std::optional<UpdateStep> step;
    UpdateEnd end;
    UpdateAdvice next;
    std::string ended;
    std::vector<std::uint16_t> differing = {};
};

void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.name; }

using Step = UpdateStep;
using End = UpdateEnd;
using Advice = UpdateAdvice;
const auto kNone = [](Device&, ScriptedFrontEnd&) {};

const UpdateCase kUpdateCases[] = {
    {"RestoresEveryKey", kNone, std::nullopt, End::Done, Advice::None, "+++++"},
    {"UnreadableKeyFlashesNothing", [](Device& d, auto&) { d.setNoReplyForKey(0x0403); }, Step::Backup,
     End::KeysFailed, Advice::None, "-"},
    {"NoBootloader", [](Device& d, auto&) { d.setBootloaderPresent(false); }, Step::Upload, End::NoBootloader,
     Advice::None, "+-"},
    {"ChecksumMismatch", [](Device& d, auto&) { d.setWrongCrc(true); }, Step::Upload, End::ChecksumMismatch,
     Advice::UploadAgain, "+-"},
    {"StoppedBeforeTheUpload", [](auto&, ScriptedFrontEnd& f) { f.stopBefore = Step::Upload; }, Step::Upload,
     End::Stopped, Advice::None, "+"},
    {"RestartNotConfirmed", [](auto&, ScriptedFrontEnd& f) { f.confirm = false; }, Step::Restart, End::Stopped,
     Advice::RestoreBackup, "++-"},
    {"ControllerStaysAway", [](Device& d, auto&) { d.setResetAfterUpload(std::chrono::hours(1)); }, Step::Restart,
     End::NoAnswer, Advice::RestoreBackup, "++-"},
    {"StoppedBeforeTheRestore", [](auto&, ScriptedFrontEnd& f) { f.stopBefore = Step::Restore; }, Step::Restore,
     End::Stopped, Advice::RestoreBackup, "+++"},
    {"StoppedBeforeTheReadBack", [](auto&, ScriptedFrontEnd& f) { f.stopBefore = Step::Verify; }, Step::Verify,
     End::Stopped, Advice::RestoreBackup, "++++"},
    {"KeyKeptByTheController", [](Device& d, auto&) { d.setIgnoredChange(0x0506); }, std::nullopt, End::Differences,
     Advice::CheckAndRestore, "++++-", {0x0506}},
    {"KeyChangeNotConfirmed", [](Device& d, auto&) { d.setWrongValueEcho(0x0000); }, std::nullopt, End::KeysFailed,
     Advice::CheckAndRestore, "+++--"},
};

class Update : public ControllerTest, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(Update, EndsWithItsVerdict)
{
    const UpdateCase& c = GetParam();
    Device& device = controllerOn(3);
    device.parameters().setLong(0x0000, 1234);
    device.parameters().setLong(0x0506, 9);
    const auto before = device.parameters().values();
    device.setResetAfterUpload(300ms);
    ScriptedFrontEnd frontEnd(ui);
    c.script(device, frontEnd);
    CMoravelSDIDoc backup;
    ASSERT_NE(loadTemplate(backup, ui), CMoravelSDIDoc::OpenResult::Failed);
    // The controller comes back after 0.3 s and is found by the second open attempt; one that
    // stays away is given up after the first.
    const UpdateOptions options{home.file("backup.ncp"), c.end == End::NoAnswer ? 0s : 60s};
    const int mode = app.connectionMode;

    const UpdateOutcome o = runFirmwareUpdate(app, backup, randomBytes(100, 3), options, frontEnd);
    EXPECT_EQ(o.step, c.step);
    EXPECT_EQ(o.end, c.end);
    EXPECT_EQ(o.stopped, c.end == End::Stopped);
    EXPECT_EQ(o.next(), c.next);
    EXPECT_EQ(frontEnd.ended, c.ended);
    std::vector<std::uint16_t> differing;
    for (const ParameterDifference& d : o.differences)
        differing.push_back(d.parameter->key.value);
    EXPECT_EQ(differing, c.differing);
    EXPECT_EQ(o.failedKeys, c.end == End::KeysFailed ? 1 : 0);
    const bool saved = c.step != Step::Backup, flashed = saved && c.step != Step::Upload;
    EXPECT_EQ(o.backupPath, saved ? options.backupPath : "");
    EXPECT_EQ(std::filesystem::exists(options.backupPath), saved) << "no backup without every key";
    EXPECT_EQ(frontEnd.restartPort, flashed ? 3 : 0);
    const bool uploaded = flashed || c.end == End::ChecksumMismatch;
    EXPECT_EQ(device.bootloaderBytes().size(), uploaded ? 6u + 8193 + 1 : 0u);
    if (!uploaded || c.end == End::Done) {
        EXPECT_EQ(device.parameters().values(), before) << "nothing flashed, or every key back";
    }
    EXPECT_FALSE(app.isConnected());
    EXPECT_EQ(app.connectionMode, mode) << "the wait opens by port, the user's way of connecting stays";
}

INSTANTIATE_TEST_SUITE_P(Cases, Update, ::testing::ValuesIn(kUpdateCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A backup's default name: the controller's name made safe for a file name and the time.
TEST(BackupName, IsTheControllersNameAndTheTimeInTheUsersDataFolder)
{
    const std::pair<std::string_view, std::string_view> names[] = {
        {"  Fr\xE4se/2 ", "Fr_se_2"}, {"                ", "controller"}, {".a.b", "_a.b"}, {"NC-Travo USB    ", "NC-Travo_USB"}};
    for (const auto& [name, part] : names)
        EXPECT_EQ(backupNamePart(name), part) << name;

    TempDir data;
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    std::string error;
    const std::string first = defaultBackupPath("Fr\xE4se", error);
    writeFile(first, "x");
    const std::string second = defaultBackupPath("Fr\xE4se", error);
    // <data>/moravel/backups/Fr_se-YYYYmmdd-HHMMSS.ncp
    const std::string folder = data.file("moravel/backups/");
    EXPECT_TRUE(startsWith(first, folder + "Fr_se-20"));
    EXPECT_EQ(first.size(), folder.size() + std::string("Fr_se-YYYYmmdd-HHMMSS.ncp").size()) << first;
    EXPECT_NE(second, first) << "a second backup does not replace the first";
    EXPECT_FALSE(std::filesystem::exists(second));
    ::setenv("XDG_DATA_HOME", "relative", 1);
    ::setenv("HOME", data.path().c_str(), 1);
    EXPECT_EQ(backupFolder(), data.path() / ".local/share/moravel/backups");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(error.empty()) << error;
}

} // namespace
} // namespace moravel::test
