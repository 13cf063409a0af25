// moravel-cli's controller commands end to end: the real binary as a child process against
// the in-process simulator on pseudo-terminals, with the settings in a temporary home.

#include "tests/cli/cli_runner.h"
#include "tests/controller/controller_fixture.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <sys/stat.h>

namespace moravel::test {
namespace {

using quorlink::sim::BootloaderStep;

// The status texts of a sweep on stderr, around what it shows (a failed key: the count).
std::string sweepStatus(const std::string& during = "")
{
    return "Parameterübertragung ... \n" + during +
           (during.empty() ? "Parameterübertragung ist abgeschlossen.\n"
                           : "Parameterübertragung mit Fehlern: 37 von 38 übertragen.\n");
}

// The value of key in a parameter file's text, without its padding and comment.
std::string valueIn(const std::string& text, const std::string& key)
{
    const std::size_t at = ("\n" + text).find("\n" + key + "="); // npos: substr throws
    std::string value = text.substr(at + 5, 32);
    return value.erase(value.find_last_not_of(' ') + 1);
}

class CliController : public CliControllerTest {
protected:
    // The template with the given lines replaced (each "KEY=VALUE").
    std::string parameterFile(std::initializer_list<std::string> lines)
    {
        std::string text = readFile(MORAVEL_TEMPLATE_FILE);
        for (std::string line : lines) {
            line.resize(37, ' '); // "%04x=%-32s"
            text.replace(text.find("\n" + line.substr(0, 5)) + 1, 37, line);
        }
        return dir.write("set.ncp", text);
    }
};

// The read command: the template first, then the sweep; every value shape unpacked into the
// file format, the template's comments kept.
TEST_F(CliController, ReadSweepsTheControllerIntoTheTemplateAndWritesAFileOrStdout)
{
    Device& device = controllerOn(3);
    device.parameters().setFloat(0x0101, 7.25f);
    device.parameters().setFourLongs(0x040A, {300, 200, 100, -5});
    device.parameters().setBytes(0x040D, Bytes{0, 1, 2, 0});
    device.parameters().setBytes(0x0304, Bytes{0, 1, 2, 0, 3, 2, 1, 0xFE});
    device.parameters().setBytes(0x0505, Bytes{'M', 'i', 'l', 'l', 0xE4, 0, 'x', 'y'});
    const std::string out = dir.file("read.ncp");
    EXPECT_EQ(run({"read", "-o", out, "--port", "COM3"}, 0).err, sweepStatus());
    const std::string file = readFile(out);
    EXPECT_EQ(valueIn(file, "0101"), "7.250000");
    EXPECT_EQ(valueIn(file, "040a"), "[300;200;100;-5]");
    EXPECT_EQ(valueIn(file, "040d"), "[0;1;2;0]");
    EXPECT_EQ(valueIn(file, "0304"), "[[0;1;2;0][3;2;1;254]]") << "zero-extended, not checked";
    EXPECT_EQ(valueIn(file, "0505"), "Mill\xE4") << "up to the first NUL";
    EXPECT_TRUE(contains(file, "% Eilgang (mm/s)\n"));
    EXPECT_EQ(dir.entries(), 3) << "no temporary file left";

    device.setNoReplyForKey(0x0403);
    const CliRun failed = run({"read"}, 3);
    EXPECT_EQ(failed.err,
              sweepStatus("Fehler bei ParameterLesen    HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT.\n\n"));
    EXPECT_EQ(valueIn(failed.out, "0403"), "100.000000") << "the template's value stays";
    EXPECT_EQ(valueIn(failed.out, "0101"), "7.250000");

    // The partial result goes to a new file or stdout, but an existing file is kept unless
    // --force says otherwise.
    const std::string kept = dir.write("good.ncp", "gut\n");
    run({"read", "-o", kept}, 3,
        "moravel-cli: 1 key(s) could not be read; the partial result is not written to '" + kept +
            "', which is kept as it was (--force writes it)\n");
    EXPECT_EQ(readFile(kept), "gut\n");
    run({"read", "-o", kept, "--force"}, 3);
    EXPECT_EQ(valueIn(readFile(kept), "0403"), "100.000000");
    const std::string fresh = dir.file("fresh.ncp");
    run({"read", "-o", fresh}, 3);
    EXPECT_EQ(readFile(fresh), readFile(kept));
    run({"read", "--force"}, 2, "--force goes with -o FILE");
}

// A run with an option never touches the settings file. An upload of a few bytes opens the
// link as every command does, without a 4 s parameter sweep per run.
TEST_F(CliController, ConnectionOptionsApplyToOneRunAndAreNotStored)
{
    sim.addPort(6, "Fr\xE4se");
    begin();
    ASSERT_EQ(app.applyChoice({1, "COM5", "Other", 115200}), ComPortField::None);
    const std::string settings = readFile(settingsFilePath());
    const std::string image = firmware(3);
    run({"flash", "--yes", image}, 4); // the stored COM5 has no controller
    run({"flash", "--yes", image, "--port", "com6"}, 0);
    run({"flash", "--yes", image, "--auto"}, 0);
    run({"flash", "--yes", image, "--name", "Fräse"}, 0); // UTF-8, matched blank-padded
    run({"flash", "--yes", image, "--name", "Fräs"}, 4);
    EXPECT_EQ(readFile(settingsFilePath()), settings);

    for (const Texts& args :
         {Texts{"read", "--port", "COM9"}, Texts{"read", "--port", "COM3", "--auto"},
          Texts{"read", "--name", "seventeen chars!!"}, Texts{"read", "--name", "\xE2\x9C\x93"}, Texts{"read", "FILE"},
          Texts{"read", "-o"}, Texts{"diff", "--port", "COM6"}, Texts{"flash", "--yes"}})
        run(args, 2, "moravel-cli: ");
}

TEST_F(CliController, TransferBacksUpSendsVerifiesAndReportsAFailedKey)
{
    Device& device = controllerOn(1);
    device.parameters().setLong(0x0506, 9);
    const std::string file = parameterFile({"0506=3", "040b=[1;2;3;4]", "0505=Neu"});
    const std::string backup = dir.file("backup.ncp");
    EXPECT_EQ(run({"transfer", "--verify", "--backup", backup, file}, 0).out, "");
    EXPECT_EQ(device.parameters().getLong(0x0506), 3);
    EXPECT_EQ(device.parameters().getFourLongs(0x040B), (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(device.parameters().name(), "Neu             ");
    EXPECT_EQ(valueIn(readFile(backup), "0506"), "9");

    // The controller confirms a change but keeps its old value: verify catches it.
    device.setIgnoredChange(0x0506);
    device.parameters().setLong(0x0506, 8);
    EXPECT_EQ(run({"transfer", "--verify", file}, 1).out, "0506\tLBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG\t3\t8\n");

    device.setWrongValueEcho(0x0505);
    EXPECT_EQ(run({"transfer", file}, 3).err,
              sweepStatus("Fehler bei Parameterübertragung    HBYTE_SONSTIGE LBYTE_SONSTIGE_CONTROLLERNAME_CHAR.\n\n"));
}

// Whether a user other than the one who ran moravel-cli can open the device now. A port that
// was left open at exit keeps its exclusive flag while the simulator holds the device, and
// the open fails with EBUSY. Root passes that flag, so as root the open is made as "nobody".
bool othersCanOpen(const std::string& path)
{
    if (::geteuid() != 0) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    }
    return ::chmod(path.c_str(), 0666) == 0 &&
           inChild([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0; }, kNobody);
}

// A backup over the command's own input would replace what is about to be sent (or flashed):
// refused before the controller is touched, however the two names reach the same file.
TEST_F(CliController, TransferChangesNothingForARejectedFileABackupOverItsInputOrAnIncompleteOrUnwritableBackup)
{
    Device& device = controllerOn(1);
    const std::string good = parameterFile({"0506=5"}), text = readFile(good), image = firmware(100);
    const std::string link = dir.file("link.ncp"), hard = dir.file("hard.ncp");
    ASSERT_EQ(::symlink("set.ncp", link.c_str()), 0);
    ASSERT_EQ(::link(good.c_str(), hard.c_str()), 0);
    const Texts cases[] = {
        {"transfer", "--backup", good, good},         {"transfer", "--backup", link, good},
        {"transfer", "--backup=" + hard, link},       {"transfer", "--backup", dir.file("not-there/../set.ncp"), good},
        {"flash", "--yes", "--backup", image, image},
    };
    for (const Texts& args : cases)
        run(args, 2, "' is the input file '");
    EXPECT_EQ(readFile(good), text);
    EXPECT_EQ(readFile(image).size(), 100u);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    run({"transfer", dir.write("bad.ncp", "0100=x\n")}, 1, "Syntax Error im Wert");
    EXPECT_EQ(device.frameCount(), 0u) << "not even opened";

    // Each of these ends the command early, and the port is closed all the same.
    const std::string unwritable = dir.file("no/such/dir/b.ncp");
    device.setNoReplyForKey(0x0000);
    run({"transfer", "--backup", dir.file("b.ncp"), good}, 3, "no backup written");
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.ncp")));
    EXPECT_TRUE(othersCanOpen(device.slavePath())) << "a key of the backup failed";
    device.setNoReplyForKey(std::nullopt);
    run({"transfer", "--backup", unwritable, good}, 2, "cannot write the backup");
    EXPECT_TRUE(othersCanOpen(device.slavePath())) << "transfer --backup";
    run({"flash", "--yes", "--backup", unwritable, image}, 2, "cannot write the backup");
    EXPECT_TRUE(othersCanOpen(device.slavePath())) << "flash --backup";
    for (const Frame& frame : requestsOf(device))
        EXPECT_FALSE(isParameter(frame, kParameterChange)) << "a parameter was changed";
}

// Without a template file anywhere, read starts from the program's own copy: all keys and
// comments are written, never an empty file. The program is copied out of the build tree,
// where it would take the source tree's template.
TEST_F(CliController, ReadWithoutATemplateFileStartsFromTheBuiltInCopy)
{
    if (std::filesystem::exists(MORAVEL_INSTALLED_TEMPLATE))
        GTEST_SKIP() << "an installed template exists: " << MORAVEL_INSTALLED_TEMPLATE;
    controllerOn(3).parameters().setFloat(0x0101, 7.25f);
    const std::string copy = dir.file("moravel-cli");
    std::filesystem::copy_file(MORAVEL_CLI, copy);
    TempDir cwd;
    const std::string out = dir.file("read.ncp");
    const CliRun r = [&] {
        const InFolder in(cwd.path());
        return runCli(dir, {"read", "-o", out}, {}, uid_t(-1), copy);
    }();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "moravel-cli: no template file NC-Travo_USB_Param_NEW.ncp found; using the built-in template\n" +
                         sweepStatus());
    const std::string file = readFile(out), templateText = readFile(MORAVEL_TEMPLATE_FILE);
    EXPECT_EQ(valueIn(file, "0101"), "7.250000");
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), std::count(templateText.begin(), templateText.end(), '\n'));
    EXPECT_TRUE(contains(file, "% Eilgang (mm/s)\n"));
}

TEST_F(CliController, DiffListsTheDifferingKeysPlainOrAsJsonWithItsExitStatus)
{
    Device& device = controllerOn(4);
    const std::string file = parameterFile({"0101=4.250000", "040d=[0;1;2;0]"});
    const std::string differing040d = "040d\tLBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR\t[0;1;2;0]\t[0;0;0;0]\n";
    const CliRun plain = run({"diff", file}, 1);
    EXPECT_EQ(plain.out, "0101\tLBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT\t4.250000\t4.000000\n" + differing040d);
    EXPECT_EQ(plain.err, sweepStatus());

    device.parameters().setName("M\xFChle");
    const auto list = nlohmann::json::parse(run({"diff", "--json", file}, 1).out);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (nlohmann::json{{"key", "0101"},
                                       {"name", "LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT"},
                                       {"file", "4.250000"},
                                       {"controller", "4.000000"}}));
    EXPECT_EQ(list[2]["controller"], "Mühle           ");

    device.parameters().setName("NC-Travo USB");
    EXPECT_EQ(run({"diff", MORAVEL_TEMPLATE_FILE, "--port", "COM4"}, 0).out, "");

    device.setNoReplyForKey(0x0101);
    EXPECT_EQ(run({"diff", file}, 3).out, differing040d) << "a key that was not read is not compared";
}

TEST_F(CliController, FlashUploadsWithPlainProgressAndABackup)
{
    Device& device = controllerOn(2);
    const std::string backup = dir.file("before.ncp");
    const CliRun flashed =
        run({"flash", "--yes", "--backup", backup, firmware(10000)}, 0, "\nFirmware: 8192 / 10000 bytes (81 %), ");
    // The backup's sweep, then the upload: status texts and one plain line per block, counted
    // in the file's bytes.
    const std::string upload = "Aktivieren Sie den Bootloader (Enter+Reset)\n\nFirmwareübertragung ... \n"
                               "Firmware: 0 / 10000 bytes (0 %), ";
    EXPECT_TRUE(startsWith(flashed.err, sweepStatus() + upload));
    const std::size_t last = flashed.err.find("\nFirmware: 10000 / 10000 bytes (100 %), ");
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(flashed.err.substr(flashed.err.find('\n', last + 1)),
              "\nChecksumme prüfen ...\nFirmwareübertragung ist abgeschlossen.\n");
    EXPECT_EQ(device.bootloaderBytes().size(), 6u + 2 * 8193 + 1);
    EXPECT_EQ(valueIn(readFile(backup), "0505"), "NC-Travo USB");
}

TEST_F(CliController, FlashHasAnExitStatusForEveryFailure)
{
    Device& device = controllerOn(2);
    const std::string image = firmware(100);
    run({"flash", image}, 2, "confirm the bootloader prompt with --yes");
    EXPECT_EQ(run({"flash", "--yes", dir.file("none.crx")}, 2).err,
              "Die Firmware-Datei kann nicht gelesen werden:\n" + dir.file("none.crx") + "\n\n");
    EXPECT_EQ(run({"flash", "--yes", "--port", "COM1", image}, 4).err.find("Aktivieren"), std::string::npos)
        << "no bootloader prompt without a link";
    EXPECT_TRUE(device.bootloaderBytes().empty());

    device.setWrongCrc(true);
    run({"flash", "--yes", image}, 6, "Update fehlgeschlagen! Checksumme stimmt nicht!\n\n");
    device.setBootloaderPresent(false);
    run({"flash", "--yes", image}, 5, "CRX-Bootloader nicht gefunden!\n\n");
    device.setBootloaderPresent(true);
    device.setBootloaderSilentAfter(BootloaderStep::Block); // last: it stays in its bootloader
    run({"flash", "--yes", image}, 7, "Update fehlgeschlagen! Der Bootloader antwortet nicht (Checksumme).\n\n");
}

// On a terminal the prompt waits for Enter and the progress is one bar; Ctrl-D cancels, and
// SIGINT ends the wait: nothing is sent.
TEST_F(CliController, FlashOnATerminalWaitsForEnterAndDrawsABar)
{
    Device& device = controllerOn(2);
    const std::string image = firmware(20000);
    const struct {
        char key; // '\0': SIGINT instead
        int status;
        std::string shown;
    } cases[] = {{'\n', 0, "\r[##############################] 100 %  20000 / 20000 bytes  0:0"},
                 {'\x04', 7, "Press Enter"},
                 {'\0', 7, "moravel-cli: stopped by SIGINT; nothing sent"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.key));
        device.clearLogs();
        const auto [status, screen] =
            runOnTerminal({"flash", image}, {{"Press Enter", [&](pid_t pid) {
                                                  EXPECT_TRUE(device.bootloaderBytes().empty())
                                                      << "nothing sent before the answer";
                                                  if (c.key == '\0') {
                                                      EXPECT_EQ(::kill(pid, SIGINT), 0);
                                                  }
                                                  return c.key;
                                              }}});
        EXPECT_EQ(status, c.status) << screen;
        EXPECT_EQ(screen.find("Firmware: "), std::string::npos) << "no plain lines on a terminal";
        EXPECT_TRUE(contains(screen, c.shown));
        EXPECT_EQ(device.bootloaderBytes().empty(), c.status != 0);
        EXPECT_TRUE(othersCanOpen(device.slavePath()));
    }
}

// A failed open names what each port the open tried looks like (missing, no answer, in use,
// permission denied); `ports` lists all eight.
TEST_F(CliController, FailedOpensAndPortsSayWhatEachPortIs)
{
    Device& refusing = sim.addPort(2);
    refusing.setStatusAcceptByte(0);
    Device& busy = sim.addPort(5);
    begin();
    usePort("COM5");
    ASSERT_TRUE(app.OpenConnection(ui));
    const std::string holder = "in use by process " + std::to_string(::getpid());

    const CliRun ports = run({"ports"}, 0);
    for (const std::string& line :
         Texts{"COM1  /nonexistent", "COM2  " + refusing.slavePath(), "can be opened\n", holder})
        EXPECT_TRUE(contains(ports.out, line));
    EXPECT_EQ(std::count(ports.out.begin(), ports.out.end(), '\n'), 8);

    const CliRun read = run({"read"}, 4);
    EXPECT_EQ(read.out, "");
    EXPECT_TRUE(startsWith(read.err, "Error opening connection. ErrorCode  3     \n\n"));
    for (const std::string& line :
         Texts{"moravel-cli: COM1 (/nonexistent): missing",
               "COM2 (" + refusing.slavePath() + "): can be opened, but no controller answered",
               "COM5 (" + busy.slavePath() + "): " + holder})
        EXPECT_TRUE(contains(read.err, line));

    // A port this user may not open. Root opens any device, so as root moravel-cli runs as
    // "nobody" (the pseudo-terminal belongs to root, mode 620); anyone else takes the
    // permissions away from their own pseudo-terminal.
    const bool root = ::geteuid() == 0;
    if (!root) {
        ASSERT_EQ(::chmod(refusing.slavePath().c_str(), 0), 0);
    }
    struct stat st {};
    ASSERT_EQ(::stat(refusing.slavePath().c_str(), &st), 0);
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string name = owner->gr_name;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const CliRun denied = runCli(dir, {"read", "--port", "COM2"}, {}, root ? kNobody : uid_t(-1));
    EXPECT_EQ(denied.status, 4);
    // A pseudo-terminal belongs to group tty, which is no group to join for a serial line.
    EXPECT_TRUE(contains(denied.err, "permission denied (the device belongs to group '" + name +
                                         "'); that group does not stand for serial devices"));
    EXPECT_FALSE(contains(denied.err, "usermod"));
}

// A transfer sends only values that came from the file: one that lacks exchanged keys is
// refused before the port is opened, and --partial sends just the keys it holds.
TEST_F(CliController, TransferRefusesAFileLackingExchangedKeysUnlessPartial)
{
    Device& device = controllerOn(1);
    device.parameters().setLong(0x0000, 123);
    const std::string file = dir.write("some.ncp", "0506=3\n0101=4.5 % Fahr\n");
    const CliRun refused = run({"transfer", file}, 1);
    EXPECT_TRUE(startsWith(refused.err, "moravel-cli: '" + file +
                                            "' lacks 36 of the 38 keys exchanged with the controller; nothing sent "
                                            "(--partial sends only the keys the file holds):\n  0000  "
                                            "LBYTE_MOTORTEST_WEGLAENGE_LONG\n"));
    EXPECT_EQ(refused.err.find("  0506  "), std::string::npos);
    EXPECT_EQ(device.frameCount(), 0u) << "not even opened";

    EXPECT_EQ(run({"transfer", "--partial", "--verify", file}, 0).out, "") << "only the keys sent are compared";
    EXPECT_EQ(device.parameters().getLong(0x0506), 3);
    EXPECT_EQ(device.parameters().getFloat(0x0101), 4.5f);
    EXPECT_EQ(device.parameters().getLong(0x0000), 123) << "a key the file lacks is not sent";
    std::vector<std::uint16_t> changed;
    for (const Frame& f : requestsOf(device))
        if (isParameter(f, kParameterChange))
            changed.push_back(keyOf(f));
    EXPECT_EQ(changed, (std::vector<std::uint16_t>{0x0101, 0x0506}));

    device.clearLogs();
    run({"transfer", "--partial", dir.write("none.ncp", "%\n")}, 1, "holds none of the 38 keys");
    EXPECT_EQ(device.frameCount(), 0u);
}

// The device vanishes in the middle of a sweep or an upload: the controller's one message,
// exit status 4, no output.
TEST_F(CliController, ALostLinkEndsWithStatusFourAndWritesNothing)
{
    Device& device = sim.addPort(3);
    Device& uploading = sim.addPort(2);
    begin();
    const std::string out = dir.file("read.ncp");
    device.disappearAtFrame(5);
    const CliRun read = run({"read", "-o", out, "--port", "COM3"}, 4);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(read.err.find("Fehler bei ParameterLesen"), read.err.rfind("Fehler bei ParameterLesen"))
        << "one message, not one per key\n"
        << read.err;
    EXPECT_EQ(run({"read", "--port", "COM3"}, 4).out, "");

    uploading.setPacing(true); // about 0.7 s per block
    CliChild flash(dir, {"flash", "--yes", "--port", "COM2", firmware(6 * 8192)});
    ASSERT_TRUE(flash.waitFor("Firmware: 8192 / ")) << flash.err;
    uploading.disappearNow();
    EXPECT_EQ(flash.finish(), 4) << flash.err;
}

// The first SIGINT or SIGTERM ends the key in flight, switches the controller back to mode 2
// and closes the port; nothing is written (an existing file stays, no temporary file is left)
// and the exit status is 128 + the signal. A second signal ends the program at once.
TEST_F(CliController, ASignalDuringASweepWritesNothingAndLeavesModeTwo)
{
    Device& device = controllerOn(3);
    device.setReplyDelay(50ms); // a sweep of about 6 s: the signal comes long before its end
    const std::string out = dir.write("kept.ncp", "kept\n");
    const std::string file = parameterFile({"0506=5"});
    const struct {
        Texts args;
        int signal;
        std::string outcome;
    } cases[] = {
        {{"read", "-o", out}, SIGINT, "nothing written"},
        {{"read"}, SIGTERM, "nothing written"},
        {{"diff", file}, SIGINT, "nothing written"},
        {{"transfer", "--backup", dir.file("backup.ncp"), file}, SIGTERM, "nothing written"},
        {{"transfer", file}, SIGTERM, "the controller may hold only part of the file's values"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " ... " + c.args.back());
        device.clearLogs();
        dir.write("stdout", "");
        dir.write("stderr", "");
        const auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
        CliChild cli(dir, c.args);
        ASSERT_TRUE(cli.waitFor("Parameterübertragung ... \n")) << cli.err;
        ASSERT_EQ(::kill(cli.pid, c.signal), 0);
        const int status = cli.finish();
        EXPECT_EQ(status, 128 + c.signal) << cli.err;
        const std::string name = c.signal == SIGINT ? "SIGINT" : "SIGTERM";
        EXPECT_TRUE(contains(cli.err, "moravel-cli: stopped by " + name + "; " + c.outcome + "\n"));
        EXPECT_EQ(readFile(dir.file("stdout")), "");
        EXPECT_EQ(readFile(out), "kept\n");
        EXPECT_FALSE(std::filesystem::exists(dir.file("backup.ncp")));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before)
            << "no temporary file left";
        const auto frames = requestsOf(device);
        ASSERT_FALSE(frames.empty());
        EXPECT_TRUE(isModeSwitch(frames.back(), 2)) << "mode 2 after the last parameter frame";
        const auto parameterFrames = std::ranges::count_if(frames, [](const Frame& f) { return isParameter(f); });
        EXPECT_TRUE(parameterFrames > 0 && parameterFrames < 30) << "ended at the next key, not at the end";
        EXPECT_TRUE(othersCanOpen(device.slavePath())) << "the port was closed";
    }

    // A second signal ends the program at once, by the signal's default action.
    CliChild read(dir, {"read", "-o", dir.file("read.ncp")});
    ASSERT_TRUE(read.waitFor("Parameterübertragung ... \n")) << read.err;
    ASSERT_EQ(::kill(read.pid, SIGINT), 0);
    ASSERT_EQ(::kill(read.pid, SIGTERM), 0);
    EXPECT_LT(read.finish(), 0) << "ended by a signal\n" << read.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("read.ncp")));
}

// The upload ends at its next block, not at its end.
TEST_F(CliController, ASignalEndsAnUploadAtItsNextBlock)
{
    Device& device = controllerOn(3);
    device.setPacing(true); // about 0.7 s per block
    const std::string image = firmware(10 * 8192);
    CliChild flash(dir, {"flash", "--yes", image});
    ASSERT_TRUE(flash.waitFor("Firmware: 8192 / ")) << flash.err;
    ASSERT_EQ(::kill(flash.pid, SIGTERM), 0);
    EXPECT_EQ(flash.finish(), 7) << flash.err;
    EXPECT_TRUE(contains(flash.err, "moravel-cli: stopped by SIGTERM; the upload is incomplete"));
    EXPECT_LT(device.bootloaderBytes().size(), 6u + 11 * 8193) << "stopped between blocks";
    EXPECT_TRUE(othersCanOpen(device.slavePath()));
}

} // namespace
} // namespace moravel::test
