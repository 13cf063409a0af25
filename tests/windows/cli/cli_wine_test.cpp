// moravel-cli.exe under wine against the Linux simulator (COM3 is the controller, see
// CMakeLists.txt), and the settings in wine's registry. The program runs as a child process
// with its output in files; each case works in a folder of its own.

#include "app/controller/settings_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace moravel {
namespace {

namespace fs = std::filesystem;

std::wstring widen(const std::string& s)
{
    std::wstring wide(s.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), wide.data(), static_cast<int>(s.size()))));
    return wide;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

fs::path programFolder()
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(self).parent_path();
}

// The source tree's file, through wine's drive Z: (the whole Linux file system).
fs::path sourceFile(const std::string& unixPath) { return fs::path(L"Z:" + widen(unixPath)).make_preferred(); }

struct CliRun {
    DWORD status = 0;
    std::string out, err;
};

// Runs program (moravel-cli.exe unless named) with args in the current folder; stdin is NUL.
CliRun run(const std::vector<std::string>& args, std::wstring program = {})
{
    if (program.empty())
        program = (programFolder() / L"moravel-cli.exe").wstring();
    std::wstring line = L"\"" + program + L"\"";
    for (const std::string& a : args)
        line += L" \"" + widen(a) + L"\""; // no argument here holds a quote or ends with '\'
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto open = [&](const wchar_t* name, DWORD access, DWORD disposition) {
        return ::CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition, 0, nullptr);
    };
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = open(L"NUL", GENERIC_READ, OPEN_EXISTING);
    start.hStdOutput = open(L"run.out", GENERIC_WRITE, CREATE_ALWAYS);
    start.hStdError = open(L"run.err", GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    CliRun r;
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &r.status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    } else {
        r.status = 0xDEAD;
    }
    for (HANDLE h : {start.hStdInput, start.hStdOutput, start.hStdError})
        ::CloseHandle(h);
    r.out = readFile("run.out");
    r.err = readFile("run.err");
    fs::remove("run.out");
    fs::remove("run.err");
    return r;
}

// wine's reg.exe, as a user's "reg add" would store the value.
void regAdd(const std::string& name, const std::string& type, const std::string& data)
{
    const CliRun r = run({"add", "HKCU\\Software\\korvex-travo\\MoravelSDI\\COMSettings", "/v", name, "/t", type, "/d",
                       data, "/f"},
                      L"reg.exe");
    ASSERT_EQ(r.status, 0u) << name << " " << r.err;
}

void regDeleteSettings()
{
    run({"delete", "HKCU\\Software\\korvex-travo\\MoravelSDI", "/f"}, L"reg.exe");
}

// Every case in a new, empty folder of its own, with the template found by MORAVEL_DATA_DIR.
class WinCli : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / (L"wincli-" + std::to_wstring(::GetCurrentProcessId()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        fs::current_path(m_dir);
        ::SetEnvironmentVariableW(L"MORAVEL_DATA_DIR", sourceFile(MORAVEL_RESOURCES).c_str());
    }
    void TearDown() override
    {
        fs::current_path(fs::temp_directory_path());
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    std::vector<std::string> filesHere() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        return names;
    }
    fs::path m_dir;
};

TEST_F(WinCli, ChecksAndFormatsFilesAsOnLinux)
{
    const std::string numbers = sourceFile(MORAVEL_NUMBERS_FILE).string();
    const CliRun format = run({"format", numbers});
    EXPECT_EQ(format.status, 0u) << format.err;
    EXPECT_EQ(format.out, readFile(sourceFile(MORAVEL_NUMBERS_FORMATTED))) << "the same bytes as the Linux build's";
    const CliRun json = run({"check", "--json", sourceFile(MORAVEL_TEMPLATE).string()});
    EXPECT_EQ(json.status, 0u);
    EXPECT_EQ(json.out, "{\"valid\":true,\"messages\":[]}\n");
}

TEST_F(WinCli, ControllerCommandsAgainstTheSimulator)
{
    ASSERT_EQ(run({"read", "--port", "COM3", "-o", "set.ncp"}).status, 0u);
    const std::string set = readFile("set.ncp");
    EXPECT_EQ(set.find('\r'), std::string::npos) << "written in binary";
    EXPECT_EQ(set.rfind("0000=400 ", 0), 0u);
    EXPECT_EQ(run({"transfer", "--verify", "--port", "COM3", "set.ncp"}).status, 0u);
    EXPECT_EQ(run({"diff", "--port", "COM3", "set.ncp"}).out, "");
    writeFile("changed.ncp", "0000=401\n" + set.substr(set.find('\n') + 1));
    const CliRun diff = run({"diff", "--auto", "changed.ncp"});
    EXPECT_EQ(diff.status, 1u);
    EXPECT_EQ(diff.out.rfind("0000\t", 0), 0u) << diff.out;
    writeFile("firmware.bin", std::string(3000, '\x5a'));
    const CliRun flash = run({"flash", "--yes", "--port", "COM3", "--backup", "backup.ncp", "firmware.bin"});
    EXPECT_EQ(flash.status, 0u) << flash.err;
    EXPECT_EQ(readFile("backup.ncp"), set);

    // What 'ports' and a failed open say, from Windows' own answers: COM1 leads nowhere. (Wine
    // lets a second program open a port, so "in use" is Windows' alone.)
    const std::string com1 = std::string("\\\\.\\") + std::getenv("QUORLINK_COM1");
    const CliRun ports = run({"ports"});
    EXPECT_NE(ports.out.find("COM1  " + com1 + " "), std::string::npos) << ports.out;
    EXPECT_NE(ports.out.find("missing (the device does not exist)"), std::string::npos) << ports.out;
    EXPECT_NE(ports.out.find("can be opened"), std::string::npos) << ports.out;
    const CliRun missing = run({"read", "--port", "COM1"});
    EXPECT_EQ(missing.status, 4u);
    EXPECT_NE(missing.err.find("COM1 (" + com1 + "): missing (the device does not exist)"), std::string::npos)
        << missing.err;
}

TEST_F(WinCli, UpdateRestoresTheSetAfterTheRestart)
{
    writeFile("firmware.bin", std::string(2000, '\x33'));
    const CliRun update = run({"update", "--yes", "--port", "COM3", "--backup", "backup.ncp", "firmware.bin"});
    EXPECT_EQ(update.status, 0u) << update.err;
    EXPECT_EQ(readFile("backup.ncp").rfind("0000=", 0), 0u);
}

TEST_F(WinCli, SavesReplaceKeepOrRefuse)
{
    writeFile("set.ncp", "old");
    ASSERT_EQ(run({"read", "--port", "COM3", "-o", "set.ncp"}).status, 0u);
    EXPECT_EQ(readFile("set.ncp").rfind("0000=", 0), 0u) << "an existing file is replaced";

    // A name so long that the temporary file beside it cannot be made: the save fails.
    const std::string kept(250, 'k');
    writeFile(kept, "old");
    EXPECT_EQ(run({"read", "--port", "COM3", "-o", kept}).status, 2u);
    EXPECT_EQ(readFile(kept), "old");
    EXPECT_EQ(filesHere(), (std::vector<std::string>{kept, "set.ncp"})) << "no temporary file left";

    for (const char* device : {"NUL.ncp", "com3"}) {
        const CliRun save = run({"read", "--port", "COM3", "-o", device});
        EXPECT_EQ(save.status, 2u) << device;
        EXPECT_NE(save.err.find("Not a regular file"), std::string::npos) << device << ": " << save.err;
    }
    for (const char* device : {"NUL.ncp", "com3", "CON", "aux.txt", "LPT1.ncp"}) {
        const CliRun check = run({"check", device});
        EXPECT_EQ(check.status, 2u) << device;
        EXPECT_NE(check.err.find("Not a regular file"), std::string::npos) << device << ": " << check.err;
    }
}

TEST_F(WinCli, SettingsComeFromTheRegistry)
{
    regDeleteSettings();
    EXPECT_EQ(readStoredSettings(), (ComPortChoice{2, "COM1", "NC-Travo USB    ", 115200})) << "the defaults";
    const struct {
        const char *name, *type, *data;
        ComPortChoice expected;
    } cases[] = {
        {"Connection", "REG_DWORD", "1", {1, "COM1", "NC-Travo USB    ", 115200}},
        {"DeviceName", "REG_SZ", "COM3", {1, "COM3", "NC-Travo USB    ", 115200}},
        {"BaudeRate", "REG_SZ", " 110000 ", {1, "COM3", "NC-Travo USB    ", 110000}},
        {"BaudeRate", "REG_SZ", "-5", {1, "COM3", "NC-Travo USB    ", 115200}},
        {"Controller", "REG_SZ", "Fr\xc3\xa4se \xd0\x96", {1, "COM3", "Fr\xe4se ?", 115200}},
        {"Controller", "REG_SZ", "@@x", {1, "COM3", "@x", 115200}},
        {"Connection", "REG_SZ", "zwei", {2, "COM3", "@x", 115200}},
    };
    for (const auto& c : cases) {
        regAdd(c.name, c.type, c.data);
        EXPECT_EQ(readStoredSettings(), c.expected) << c.name << "=" << c.data;
    }
    // What the window's QSettings and this build write, read back the same.
    const ComPortChoice written{1, "COM3", "@\xe4\x80", 100000};
    ASSERT_TRUE(writeStoredSettings(written));
    EXPECT_EQ(readStoredSettings(), written);

    // Without a connection option the CLI opens what the registry says.
    EXPECT_EQ(run({"read", "-o", "set.ncp"}).status, 0u);
    regAdd("DeviceName", "REG_SZ", "COM5");
    const CliRun refused = run({"read", "-o", "other.ncp"});
    EXPECT_EQ(refused.status, 4u);
    EXPECT_NE(refused.err.find("COM5"), std::string::npos) << refused.err;
    regDeleteSettings();
}

} // namespace
} // namespace moravel
