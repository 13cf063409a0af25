#pragma once
// moravel-cli run as a child process, and the fixture of its controller commands.

#include "tests/controller/controller_fixture.h"
#include "tests/support/child_process.h"

#include <string>
#include <utility>
#include <vector>

namespace moravel::test {

struct CliRun {
    int status = -1;
    std::string out, err;
};

// moravel-cli as a Child, its stdout and stderr the files "stdout" and "stderr" of dir.
class CliChild : public Child {
public:
    CliChild(const TempDir& dir, std::vector<std::string> args)
        : Child(MORAVEL_CLI, std::move(args), dir.file("stdout"), dir.file("stderr"))
    {
    }
};

// Runs moravel-cli with stdin from /dev/null, stdout to stdoutPath (captured when empty) and
// stderr captured; the captures are files of dir.
inline CliRun runCli(const TempDir& dir, std::vector<std::string> args, std::string stdoutPath = {},
                     uid_t uid = kSameUser, const std::string& exe = MORAVEL_CLI)
{
    const bool capture = stdoutPath.empty();
    if (capture)
        stdoutPath = dir.file("stdout");
    Child child(exe, std::move(args), stdoutPath, dir.file("stderr"), uid);
    const int status = child.finish();
    return {status, capture ? readFile(stdoutPath) : "", child.err};
}

inline std::pair<int, std::string> runOnTerminal(std::vector<std::string> args, Prompts prompts)
{
    return runOnTerminal(MORAVEL_CLI, std::move(args), std::move(prompts));
}

// moravel-cli against the simulated controllers, its files in dir.
class CliControllerTest : public ControllerTest {
protected:
    // Runs moravel-cli and checks its exit status and that its stderr contains err.
    CliRun run(const Texts& args, int status, const std::string& err = "")
    {
        const CliRun r = runCli(dir, args);
        EXPECT_EQ(r.status, status) << args.front() << " ... " << args.back() << "\n" << r.err;
        EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
        return r;
    }

    // A firmware image of size random bytes.
    std::string firmware(std::size_t size)
    {
        const Bytes image = randomBytes(size, 7);
        return dir.write("fw.crx", std::string(image.begin(), image.end()));
    }

    TempDir dir;
};

} // namespace moravel::test
