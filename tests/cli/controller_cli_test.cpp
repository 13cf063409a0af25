// moravel-cli's controller commands end to end: the real binary as a child process against
// the in-process simulator on pseudo-terminals, with the settings in a temporary home.

#include "app/controller/moravel_app.h"
#include "sim/simulator.h"
#include "tests/cli/cli_runner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <zlib.h>

#include <cstdlib>
#include <grp.h>
#include <sys/stat.h>
#include <poll.h>
#include <pty.h>
#include <memory>
#include <random>

namespace moravel::test {
namespace {

using namespace std::chrono_literals;
using quorlink::sim::Device;

class CliController : public testing::Test {
protected:
    CliController()
    {
        ::setenv("HOME", home.path().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("MORAVEL_DATA_DIR");
    }
    ~CliController() override
    {
        if (held.portHandle > 0)
            KorvexCloseConnection(&held);
    }

    // Exports the ports added so far (the rest point nowhere) and starts the devices.
    void begin()
    {
        sim.exportEnvironment();
        sim.start();
    }
    Device& controllerOn(int port)
    {
        Device& device = sim.addPort(port);
        begin();
        return device;
    }

    CliRun run(std::vector<std::string> args, const std::string& stdinPath = "/dev/null")
    {
        return runCli(dir, std::move(args), {}, stdinPath);
    }

    // The template with the given lines replaced (each "KEY=VALUE").
    std::string parameterFile(std::string_view name, std::initializer_list<std::string> lines)
    {
        std::string text = readFile(MORAVEL_TEMPLATE_FILE);
        for (const std::string& line : lines) {
            // "%04x=%-32s": the key, "=" and the value padded to 32 characters.
            const std::size_t at = text.find("\n" + line.substr(0, 5)) + 1;
            std::string padded = line;
            padded.resize(37, ' ');
            text.replace(at, 37, padded);
        }
        return dir.write(name, text);
    }

    static std::unique_ptr<ParameterSet> parsed(const std::string& text)
    {
        auto set = std::make_unique<ParameterSet>();
        RecordingInteraction ui;
        EXPECT_TRUE(set->ReadText(text, ui));
        return set;
    }

    TempDir home;
    TempDir dir;
    quorlink::sim::Simulator sim;
    ConnectionContext held{};
};

constexpr const char* kOpenFailed3 = "Error opening connection. ErrorCode  3     \n\n";

TEST_F(CliController, ReadWritesTheControllersSetToAFileOrStdout)
{
    Device& device = controllerOn(3);
    device.parameters().setFloat(0x0102, 11.5f);
    device.parameters().setName("Werkstatt       ");
    const std::string out = dir.file("read.ncp");
    const CliRun toFile = run({"read", "-o", out});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.err, "");
    const std::string file = readFile(out);
    const auto set = parsed(file);
    EXPECT_EQ(set->eilgang, 11.5f);
    EXPECT_EQ(set->controllerName, "Werkstatt");
    EXPECT_NE(file.find("% Eilgang (mm/s)\n"), std::string::npos) << "the template's comments";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3) << "no temporary file left";

    const CliRun toStdout = run({"read", "--port", "COM3"});
    EXPECT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out, file);
}

TEST_F(CliController, ReadReportsFailedKeysAndAMissingController)
{
    Device& device = controllerOn(2);
    device.setNoReplyForKey(0x0403);
    const CliRun failed = run({"read"});
    EXPECT_EQ(failed.status, 3);
    EXPECT_EQ(failed.err, "Fehler bei ParameterLesen    HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT.\n\n");
    EXPECT_EQ(parsed(failed.out)->aufloesung[AxisC], 100.0f) << "the template's value stays";

    const CliRun missing = run({"read", "--port", "COM4"});
    EXPECT_EQ(missing.status, 4);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err.rfind("Error opening connection. ErrorCode  1     \n\nmoravel-cli: COM4 (/nonexistent): missing",
                                0),
              0u)
        << missing.err;

    device.setStatusAcceptByte(0);
    const CliRun none = run({"read"});
    EXPECT_EQ(none.status, 4);
    EXPECT_EQ(none.err.rfind(kOpenFailed3, 0), 0u) << none.err;
    EXPECT_NE(none.err.find("COM2 (" + device.slavePath() + "): can be opened, but no controller answered"),
              std::string::npos)
        << none.err;
}

TEST_F(CliController, ConnectionOptionsApplyToOneRunAndAreNotStored)
{
    sim.addPort(6, "Fr\xE4se");
    begin();
    {
        CMoravelSDIApp app;
        app.LoadSettings();
        ASSERT_EQ(app.ApplyChoice({1, "COM5", "Other", 115200}), ComPortField::None);
    }
    const std::string settings = readFile(SettingsFilePath());
    const std::string out = dir.file("out.ncp");
    EXPECT_EQ(run({"read", "-o", out}).status, 4) << "the stored COM5 has no controller";
    EXPECT_EQ(run({"read", "-o", out, "--port", "com6"}).status, 0);
    EXPECT_EQ(run({"read", "-o", out, "--auto"}).status, 0);
    EXPECT_EQ(run({"read", "-o", out, "--name", "Fräse"}).status, 0) << "UTF-8, blank-padded";
    EXPECT_EQ(run({"read", "-o", out, "--name", "Fräs"}).status, 4);
    EXPECT_EQ(readFile(SettingsFilePath()), settings);

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"read", "--port", "COM9"},
             {"read", "--port", "COM3", "--auto"},
             {"read", "--name", "seventeen chars!!"},
             {"read", "--name", "\xE2\x9C\x93"},
             {"read", "FILE"},
             {"read", "-o"},
             {"diff", "--port", "COM6"},
             {"flash", "--yes"},
         }) {
        const CliRun bad = run(args);
        EXPECT_EQ(bad.status, 2) << args.back();
        EXPECT_NE(bad.err.find("moravel-cli: "), std::string::npos) << bad.err;
    }
}

TEST_F(CliController, TransferBacksUpSendsAndVerifies)
{
    Device& device = controllerOn(1);
    device.parameters().setLong(0x0506, 9);
    const std::string file = parameterFile("new.ncp", {"0506=3", "040b=[1;2;3;4]", "0505=Neu"});
    const std::string backup = dir.file("backup.ncp");
    const CliRun sent = run({"transfer", "--verify", "--backup", backup, file});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(sent.out, "");
    EXPECT_EQ(device.parameters().getLong(0x0506), 3);
    EXPECT_EQ(device.parameters().getFourLongs(0x040B), (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(device.parameters().name(), "Neu             ");
    EXPECT_EQ(parsed(readFile(backup))->sicherheitsabstand, 9);
}

TEST_F(CliController, TransferReportsAMismatchOnVerifyAndAFailedKey)
{
    Device& device = controllerOn(1);
    const std::string file = parameterFile("new.ncp", {"0506=3", "0505=Neu"});
    // The controller confirms a change but keeps its old value: verify catches it.
    device.setIgnoredChange(0x0506);
    device.parameters().setLong(0x0506, 8);
    const CliRun mismatch = run({"transfer", "--verify", file});
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_EQ(mismatch.out, "0506\tLBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG\t3\t8\n");

    device.setWrongValueEcho(0x0505);
    const CliRun failed = run({"transfer", file});
    EXPECT_EQ(failed.status, 3);
    EXPECT_EQ(failed.err.rfind("Fehler bei Parameterübertragung    HBYTE_SONSTIGE LBYTE_SONSTIGE_CONTROLLERNAME_CHAR.\n\n", 0),
              0u)
        << failed.err;
}

TEST_F(CliController, TransferSendsNothingForARejectedOrUnreadableFileOrAnIncompleteBackup)
{
    Device& device = controllerOn(1);
    device.clearLogs();
    const CliRun rejected = run({"transfer", dir.write("bad.ncp", "0100=x\n")});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_NE(rejected.err.find("Syntax Error im Wert"), std::string::npos);
    EXPECT_EQ(run({"transfer", dir.file("missing.ncp")}).status, 2);

    const std::string good = parameterFile("good.ncp", {"0506=5"});
    device.setNoReplyForKey(0x0000);
    const CliRun incomplete = run({"transfer", "--backup", dir.file("b.ncp"), good});
    EXPECT_EQ(incomplete.status, 3);
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.ncp")));
    for (const auto& frame : device.frames())
        EXPECT_NE(frame.bytes[1], 0x11) << "no parameter was changed";
    device.setNoReplyForKey(std::nullopt);

    const CliRun unwritable = run({"transfer", "--backup", dir.file("no/such/dir/b.ncp"), good});
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_NE(unwritable.err.find("cannot write the backup"), std::string::npos);
    EXPECT_NE(device.parameters().getLong(0x0506), 5);
}

TEST_F(CliController, DiffListsTheDifferingKeysPlainOrAsJson)
{
    Device& device = controllerOn(4);
    const std::string file = parameterFile("f.ncp", {"0101=4.250000", "040d=[0;1;2;0]"});
    const CliRun plain = run({"diff", file});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.out, "0101\tLBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT\t4.250000\t4.000000\n"
                         "040d\tLBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR\t[0;1;2;0]\t[0;0;0;0]\n");
    EXPECT_EQ(plain.err, "");

    device.parameters().setName("M\xFChle");
    const CliRun json = run({"diff", "--json", file});
    EXPECT_EQ(json.status, 1);
    const auto list = nlohmann::json::parse(json.out);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (nlohmann::json{{"key", "0101"}, {"name", "LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT"},
                                       {"file", "4.250000"}, {"controller", "4.000000"}}));
    EXPECT_EQ(list[2]["controller"], "Mühle           ");

}

TEST_F(CliController, DiffExitStatusForNoDifferencesAFailedKeyAndARejectedFile)
{
    Device& device = controllerOn(4);
    const std::string file = parameterFile("f.ncp", {"0101=4.250000"});
    device.parameters().setName("NC-Travo USB");
    const CliRun none = run({"diff", MORAVEL_TEMPLATE_FILE, "--port", "COM4"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");

    device.setNoReplyForKey(0x0101);
    EXPECT_EQ(run({"diff", file}).status, 3);
    EXPECT_EQ(run({"diff", dir.write("bad.ncp", "x\n")}).status, 1);
}

class CliFlash : public CliController {
protected:
    std::string firmware(std::size_t size)
    {
        std::string bytes(size, '\0');
        std::mt19937 random(static_cast<unsigned>(size));
        for (char& c : bytes)
            c = static_cast<char>(random());
        return dir.write("fw.crx", bytes);
    }
};

TEST_F(CliFlash, UploadsWithPlainProgressAndABackup)
{
    Device& device = controllerOn(2);
    const std::string backup = dir.file("before.ncp");
    const CliRun flashed = run({"flash", "--yes", "--backup", backup, firmware(10000)});
    EXPECT_EQ(flashed.status, 0) << flashed.err;
    EXPECT_EQ(flashed.err.rfind("Aktivieren Sie den Bootloader (Enter+Reset)\n\nFirmware: 0 / 16384 bytes (0 %), ", 0),
              0u)
        << flashed.err;
    EXPECT_NE(flashed.err.find("\nFirmware: 8192 / 16384 bytes (50 %), "), std::string::npos);
    EXPECT_NE(flashed.err.find("\nFirmware: 16384 / 16384 bytes (100 %), "), std::string::npos);
    EXPECT_EQ(std::count(flashed.err.begin(), flashed.err.end(), '\n'), 5);
    EXPECT_EQ(device.bootloaderBytes().size(), 6u + 2 * 8193 + 1);
    EXPECT_TRUE(parsed(readFile(backup))->lineComments.size() == 45);
}

TEST_F(CliFlash, EveryFailureHasItsExitStatus)
{
    Device& device = controllerOn(2);
    const std::string image = firmware(100);

    const CliRun noTerminal = run({"flash", image});
    EXPECT_EQ(noTerminal.status, 2) << "without a terminal the prompt needs --yes";
    EXPECT_TRUE(device.bootloaderBytes().empty());

    const CliRun unreadable = run({"flash", "--yes", dir.file("none.crx")});
    EXPECT_EQ(unreadable.status, 2);
    EXPECT_EQ(unreadable.err, "Die Firmware-Datei kann nicht gelesen werden:\n" + dir.file("none.crx") + "\n\n");

    EXPECT_EQ(run({"flash", "--yes", "--port", "COM1", image}).status, 4);

    device.setWrongCrc(true);
    const CliRun wrongCrc = run({"flash", "--yes", image});
    EXPECT_EQ(wrongCrc.status, 6);
    EXPECT_NE(wrongCrc.err.find("Update fehlgeschlagen! Checksumme stimmt nicht!\n\n"), std::string::npos);

    device.setBootloaderPresent(false);
    const CliRun absent = run({"flash", "--yes", image});
    EXPECT_EQ(absent.status, 5);
    EXPECT_NE(absent.err.find("CRX-Bootloader nicht gefunden!\n\n"), std::string::npos);
}

TEST_F(CliFlash, ASilentBootloaderStopsTheUpload)
{
    Device& device = controllerOn(2);
    device.setBootloaderSilentAfter(quorlink::sim::BootloaderStep::Block);
    const CliRun stopped = run({"flash", "--yes", firmware(20000)});
    EXPECT_EQ(stopped.status, 7);
    EXPECT_NE(stopped.err.find("Update fehlgeschlagen! Der Bootloader antwortet nicht (Checksumme).\n\n"),
              std::string::npos)
        << stopped.err;
    EXPECT_LT(stopped.seconds, 15.0);
}

// On a terminal the prompt waits for Enter (Ctrl-D cancels) and the progress is one bar.
TEST_F(CliFlash, OnATerminalThePromptWaitsForEnterAndTheProgressIsABar)
{
    Device& device = controllerOn(2);
    const std::string image = firmware(20000);
    for (const char answer : {'\n', '\x04'}) {
        SCOPED_TRACE(answer == '\n' ? "Enter" : "Ctrl-D");
        device.clearLogs();
        int master = -1;
        int slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        const int out = ::open(dir.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t pid = spawnCli({"flash", image}, slave, out, slave, static_cast<uid_t>(-1), true);
        ::close(slave);
        ::close(out);
        std::string screen;
        bool answered = false;
        for (;;) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0)
                break;
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            screen.append(buffer, static_cast<std::size_t>(n));
            if (!answered && screen.find("Press Enter") != std::string::npos) {
                EXPECT_TRUE(device.bootloaderBytes().empty()) << "nothing sent before the answer";
                ASSERT_EQ(::write(master, &answer, 1), 1);
                answered = true;
            }
        }
        ::close(master);
        const int status = waitCli(pid);
        EXPECT_TRUE(answered) << screen;
        if (answer == '\n') {
            EXPECT_EQ(status, 0) << screen;
            EXPECT_NE(screen.find("\r[##############################] 100 %  24576 / 24576 bytes  0:0"), std::string::npos)
                << screen;
            EXPECT_EQ(screen.find("Firmware: "), std::string::npos);
        } else {
            EXPECT_EQ(status, 7) << screen;
            EXPECT_TRUE(device.bootloaderBytes().empty());
        }
    }
}

TEST_F(CliController, PortsListsEveryPortAndWhetherItOpens)
{
    Device& free = sim.addPort(2);
    Device& busy = sim.addPort(5);
    begin();
    ASSERT_EQ(KorvexOpenConnectionPort(&held, 5), 1);
    const CliRun ports = run({"ports"});
    EXPECT_EQ(ports.status, 0);
    const std::string expectedFree = "COM2  " + free.slavePath();
    EXPECT_NE(ports.out.find(expectedFree), std::string::npos) << ports.out;
    EXPECT_NE(ports.out.find("can be opened\n"), std::string::npos);
    EXPECT_NE(ports.out.find("in use by process " + std::to_string(::getpid())), std::string::npos) << ports.out;
    EXPECT_NE(ports.out.find("COM1  /nonexistent"), std::string::npos);
    EXPECT_EQ(std::count(ports.out.begin(), ports.out.end(), '\n'), 8);

    const CliRun inUse = run({"read", "--port", "COM5"});
    EXPECT_EQ(inUse.status, 4);
    EXPECT_NE(inUse.err.find("COM5 (" + busy.slavePath() + "): in use by process"), std::string::npos) << inUse.err;
}

TEST_F(CliController, APortTheUserMayNotOpenNamesItsGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run moravel-cli as another user";
    Device& device = sim.addPort(3);
    begin();
    // The pseudo-terminal belongs to root (mode 620); "nobody" may not open it.
    struct stat st {};
    ASSERT_EQ(::stat(device.slavePath().c_str(), &st), 0);
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string groupName = owner->gr_name;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const uid_t nobody = 65534;
    const CliRun denied = runCli(dir, {"read", "--port", "COM3"}, {}, "/dev/null", nobody);
    EXPECT_EQ(denied.status, 4);
    EXPECT_NE(denied.err.find("permission denied (the device belongs to group '" + groupName +
                              "'); add your user to that group, for example 'sudo usermod -aG " + groupName + " $USER'"),
              std::string::npos)
        << denied.err;
}

} // namespace
} // namespace moravel::test
