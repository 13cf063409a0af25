#include "cli/commands.h"

#include <algorithm>
#include <cstdio>

namespace moravel::cli {
namespace {

#define kConnectionHelp "CONNECTION: --port COMn | --auto | --name NAME, for this run only (see moravel-cli --help).\n"

constexpr Command kCommands[] = {
    {"check", "check [--json] FILE",
     "Read a parameter file and report every message of the reader (as JSON with --json).", &runCheck,
     "An accepted file that lacks keys exchanged with the controller gets a warning on stderr\n"
     "listing them (transfer refuses such a file without --partial); the exit status stays 0.\n"},
    {"format", "format FILE", "Read a parameter file and write it to stdout as the program saves it.", &runFormat},
    {"read", "read [-o FILE] [--force] [CONNECTION]",
     "Read the controller's parameters into the template and write them as a parameter file (to stdout).", &runRead,
     "Starts from the template NC-Travo_USB_Param_NEW.ncp, as the program's read does (or from\n"
     "the built-in copy when no template file is found), and writes the result to FILE\n"
     "(replaced atomically) or stdout. Keys that could not be read keep their template values\n"
     "(exit status 3); such a partial result still goes to stdout or to a new FILE, but an\n"
     "existing FILE is kept as it is.\n"
     "--force          write the partial result over an existing FILE as well\n" kConnectionHelp},
    {"transfer", "transfer [--verify] [--partial] [--backup BACKUP] [CONNECTION] FILE",
     "Send a parameter file to the controller; --backup saves the controller's set first, --verify reads it back.",
     &runTransfer,
     "FILE is read as 'check' reads it; a rejected file is not sent (exit status 1). A file\n"
     "that lacks any of the 38 keys exchanged with the controller is not sent either (exit\n"
     "status 1, the missing keys listed on stderr).\n"
     "--partial        send only the keys FILE holds; the controller keeps its values for the\n"
     "                 others (--verify then compares only the keys sent)\n"
     "--backup BACKUP  read the controller's set first and save it to BACKUP; if a key cannot\n"
     "                 be read or BACKUP cannot be written, nothing is sent. BACKUP may not\n"
     "                 be FILE itself\n"
     "--verify         read all 38 keys back afterwards and list each differing key as diff does\n" kConnectionHelp},
    {"diff", "diff [--json] [CONNECTION] FILE", "List every key whose value differs between FILE and the controller.",
     &runDiff,
     "One line per differing key on stdout: KEY<TAB>NAME<TAB>FILE VALUE<TAB>CONTROLLER VALUE,\n"
     "the values in the file format (UTF-8). --json prints\n"
     "[{\"key\": \"0101\", \"name\": \"LBYTE_...\", \"file\": \"...\", \"controller\": \"...\"}, ...].\n"
     "Exit status 0 no differences, 1 differences, 3 keys that could not be read.\n" kConnectionHelp},
    {"flash", "flash [--yes] [--backup BACKUP] [CONNECTION] FIRMWARE",
     "Upload a firmware file (.crx) through the controller's bootloader.", &runFlash,
     "--backup BACKUP  save the controller's parameter set to BACKUP before the bootloader is entered\n"
     "                 (not to FIRMWARE itself)\n"
     "--yes            do not wait for Enter at the bootloader prompt (needed when stdin is not\n"
     "                 a terminal)\n"
     "Progress goes to stderr: a one-line bar on a terminal, plain lines otherwise.\n"
     "SIGINT or SIGTERM stops the upload between two blocks (exit status 7).\n"
     "Exit status 4 no connection or connection lost, 5 bootloader not found, 6 checksum\n"
     "mismatch, 7 upload stopped.\n" kConnectionHelp},
    {"update", "update [--yes] [--backup BACKUP] [--wait SECONDS] [CONNECTION] FIRMWARE",
     "Upload a firmware file and keep the controller's parameters: back up, flash, restore, verify.", &runUpdate,
     "Reads the controller's 38 keys into the template (as read does) and saves them to BACKUP,\n"
     "uploads FIRMWARE as flash does, waits for the controller to be restarted out of its\n"
     "bootloader, sends the saved set back and reads all 38 keys back, listing each key that\n"
     "differs from the backup on stdout as diff does. A key that cannot be read stops it before\n"
     "anything is flashed (exit status 3), and so does a backup that cannot be saved (exit\n"
     "status 2). From the backup on, the last line on stderr names the backup file.\n"
     "--backup BACKUP  where the set is saved (not FIRMWARE itself); by default\n"
     "                 $XDG_DATA_HOME/moravel/backups/<controller name>-<YYYYmmdd-HHMMSS>.ncp\n"
     "                 (~/.local/share when XDG_DATA_HOME is unset or not absolute)\n"
     "--wait SECONDS   after the upload, open the port of the upload every 2 s until the\n"
     "                 controller answers, for at most SECONDS (default 60)\n"
     "--yes            no prompts: neither the bootloader prompt nor \"Starten Sie den Controller\n"
     "                 neu (Reset) und bestätigen Sie mit Enter.\" (needed when stdin is not a\n"
     "                 terminal)\n"
     "Exit status 0 the controller holds the backup's values again, 1 keys differ, 3 keys\n"
     "failed, 4 no connection or the controller did not come back, 5 bootloader not found,\n"
     "6 checksum mismatch, 7 upload stopped (also by SIGINT or SIGTERM).\n" kConnectionHelp},
    {"calibrate", "calibrate [--yes] [--measured MM] [CONNECTION] AXIS DISTANCE",
     "Calibrate an axis's steps per millimetre: move it DISTANCE mm, enter the travel measured, send the new value.",
     &runCalibrate,
     "AXIS is X, Y, Z or C, DISTANCE a positive number of millimetres. Reads the axis's Auflösung\n"
     "and travel range (between mode 1 and mode 2), moves the axis by DISTANCE x Auflösung steps\n"
     "in the plus direction and waits until it stands still, then sets the Auflösung to those\n"
     "steps / MM (mode 1, the one key, its read-back, mode 2) and prints\n"
     "\"Auflösung X: OLD -> NEW Schritte/mm\". No other key is ever sent. A DISTANCE longer than\n"
     "the travel range, a move of less than 1 or more than 2147483647 steps and a new value\n"
     "outside 0.1 ... 999 are refused (exit status 1) before anything moves or is sent.\n"
     "--yes            start the move without waiting for Enter\n"
     "--measured MM    the travel measured; without it the command asks on the terminal\n"
     "                 (an empty answer or Ctrl-D changes nothing, exit status 7)\n"
     "Without a terminal it needs both --yes and --measured (exit status 2 otherwise).\n"
     "SIGINT or SIGTERM while the axis may be moving sends NotHalt first (exit status 130, 143).\n"
     "Exit status 0 the controller holds the new value, 1 refused, 3 a key could not be read\n"
     "or changed, the read-back differs or the move was not confirmed, 4 no connection or\n"
     "connection lost, 7 cancelled at a prompt.\n" kConnectionHelp},
    {"ports", "ports", "List COM1 ... COM8 with their devices and whether they can be opened.", &runPorts},
};

void printError(std::string_view message)
{
    std::fprintf(stderr, "moravel-cli: %.*s\n", static_cast<int>(message.size()), message.data());
}

} // namespace

std::span<const Command> commands() { return kCommands; }

int usageError(std::string_view message)
{
    printError(message);
    std::fputs("Try 'moravel-cli --help'.\n", stderr);
    return kExitError;
}

int fail(std::string_view message)
{
    printError(message);
    return kExitError;
}

bool Arguments::has(std::string_view option) const
{
    return std::find(options.begin(), options.end(), option) != options.end();
}

const std::string* Arguments::value(std::string_view option) const
{
    const auto it = values.find(option);
    return it == values.end() ? nullptr : &it->second;
}

bool splitArguments(std::span<const std::string> args, std::span<const std::string_view> allowed, Arguments& out,
                    std::span<const std::string_view> valued)
{
    const auto contains = [](std::span<const std::string_view> list, std::string_view option) {
        return std::find(list.begin(), list.end(), option) != list.end();
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            const std::size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            if (contains(valued, name)) {
                if (equals == std::string::npos && i + 1 >= args.size()) {
                    usageError("option '" + name + "' needs a value");
                    return false;
                }
                const std::string value = equals != std::string::npos ? arg.substr(equals + 1) : args[++i];
                if (!out.values.emplace(name, value).second) {
                    usageError("option '" + name + "' given twice");
                    return false;
                }
            } else if (arg == "--help" || contains(allowed, arg)) {
                out.options.push_back(arg);
            } else {
                usageError("unknown option '" + arg + "'");
                return false;
            }
        } else {
            out.operands.push_back(arg);
        }
    }
    return true;
}

void printCommandHelp(std::string_view name)
{
    for (const Command& c : commands())
        if (c.name == name)
            printCommandHelp(c);
}

void printCommandHelp(const Command& command)
{
    std::printf("Usage: moravel-cli %.*s\n\n%.*s\n", static_cast<int>(command.usage.size()), command.usage.data(),
                static_cast<int>(command.summary.size()), command.summary.data());
    if (!command.details.empty())
        std::printf("\n%.*s", static_cast<int>(command.details.size()), command.details.data());
}

} // namespace moravel::cli
