// The simulator's own behaviour that the link and upload tests do not show: the bootloader's
// way back to command mode, pacing, and the program quorlink-sim running a command.

#include "tests/link/sim_fixture.h"
#include "tests/support/child_process.h"

#include <csignal>
#include <poll.h>
#include <sstream>
#include <string>
#include <thread>

namespace quorlink::test {
namespace {

// Raw bytes to and from one simulated controller.
class Bootloader : public SimTest {
protected:
    void send(const Bytes& bytes)
    {
        const auto size = static_cast<std::int32_t>(bytes.size());
        ASSERT_EQ(KorvexWriteChar(&m_ctx, bytes.data(), size), size);
    }

    // Polls like the upload does, up to a deadline; returns what the first read delivered.
    Bytes answer(std::chrono::milliseconds within = 1000ms)
    {
        Bytes buffer(16);
        const auto deadline = std::chrono::steady_clock::now() + within;
        std::int32_t n;
        while ((n = KorvexReadChar(&m_ctx, buffer.data(), 16)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        return {buffer.begin(), buffer.begin() + n};
    }
};

// The upload tests check the bytes, the blocks and the CRC; here the device's way back.
TEST_F(Bootloader, ReturnsToCommandModeAfterTheChecksumAndWhenAbsentSwallowsTheEntryByte)
{
    auto& device = openOnCom3();
    send({'S'});
    EXPECT_EQ(answer(), (Bytes{'A', 'V', 'R', 'B', '1', '2', '8'}));
    EXPECT_TRUE(device.inBootloader());
    send({'$'});
    EXPECT_EQ(answer(), Bytes(4, 0)); // the CRC-32 of no data
    EXPECT_FALSE(device.inBootloader());
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);
    device.setBootloaderPresent(false);
    send({'S'});
    EXPECT_TRUE(answer(200ms).empty());
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1); // frames stay aligned
}

// A reset out of the bootloader: silent until the restart is over, then a controller with
// factory values.
TEST_F(Bootloader, ComesBackAfterAResetWithFactoryValues)
{
    auto& device = openOnCom3();
    device.parameters().setLong(0x0506, 9);
    device.setResetAfterUpload(2s);
    send({'S'});
    EXPECT_EQ(answer().size(), 7u);
    send({'$'});
    EXPECT_EQ(answer(), Bytes(4, 0)) << "the checksum answer still goes out";
    EXPECT_TRUE(device.restarting());
    EXPECT_EQ(device.parameters().getLong(0x0506), sim::ParameterStore().getLong(0x0506));
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 0) << "no answer while it restarts";
    send({'S'});
    EXPECT_TRUE(answer(200ms).empty()) << "nor from its bootloader";
    for (const auto until = std::chrono::steady_clock::now() + 10s;
         device.restarting() && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);
    EXPECT_FALSE(device.inBootloader());
}

using Pacing = Bootloader;

TEST_F(Pacing, HoldsAHostWriteToTheLineRateAndStillAnswersInTime)
{
    openOnCom3().setPacing(true);
    std::int32_t name[4];
    EXPECT_EQ(ParameterLesen(&m_ctx, 5, 5, name), 1);
    // 30000 bytes take 2.6 s on the line; the pseudo-terminal buffers about 17 KB of them.
    Bytes data(30000, 0);
    data[0] = 'S';
    const auto start = std::chrono::steady_clock::now();
    send(data);
    EXPECT_GT(secondsSince(start), 0.6);
}

// ---- quorlink-sim -- COMMAND -------------------------------------------------------------

// quorlink-sim run as a shell's background job would start it: SIGINT and SIGTERM ignored
// and blocked. Its standard output is read through a pipe.
class SimProgram : public ::testing::Test {
protected:
    void start(std::vector<std::string> args, bool ownProcessGroup = false)
    {
        int out[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        m_pid = moravel::test::spawn(QUORLINK_SIM_PROGRAM, std::move(args),
                                     {moravel::test::kSameUser, [&] {
                                          if (ownProcessGroup)
                                              setpgid(0, 0);
                                          signal(SIGINT, SIG_IGN);
                                          signal(SIGTERM, SIG_IGN);
                                          sigset_t stop;
                                          sigemptyset(&stop);
                                          sigaddset(&stop, SIGINT);
                                          sigaddset(&stop, SIGTERM);
                                          sigprocmask(SIG_BLOCK, &stop, nullptr);
                                          dup2(out[1], STDOUT_FILENO);
                                      }});
        ASSERT_GE(m_pid, 0);
        close(out[1]);
        m_out = out[0];
    }

    // Everything the command printed up to `marker` (or the end), waiting at most 10 s.
    std::string readUntil(const std::string& marker = "")
    {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (marker.empty() || text.find(marker) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd pfd{m_out, POLLIN, 0};
            if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buffer[256];
            const ssize_t n = read(m_out, buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

    // The simulator's exit status (minus the signal that ended it).
    int exitStatus()
    {
        const int code = moravel::test::waitChild(m_pid);
        m_pid = -1;
        return code;
    }

    void TearDown() override
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            close(m_out);
    }

    pid_t m_pid = -1;
    int m_out = -1;
};

std::uint64_t statusMask(const std::string& status, const std::string& field)
{
    std::istringstream lines(status);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    }
    ADD_FAILURE() << field << " missing in:\n" << status;
    return ~0ull;
}

TEST_F(SimProgram, CommandStartsWithDefaultStopSignalsAndExitStatusIsPassedOn)
{
    start({"--reset-after-upload", "soon", "--", "true"});
    EXPECT_EQ(exitStatus(), 2);
    start({"--reset-after-upload", "0.5", "--ports", "COM2", "--", "true"});
    EXPECT_EQ(exitStatus(), 0);
    start({"--ports", "COM2", "--", "grep", "-E", "^Sig(Blk|Ign):", "/proc/self/status"});
    const std::string status = readUntil();
    EXPECT_EQ(exitStatus(), 0);
    const std::uint64_t stopBits = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
    EXPECT_EQ(statusMask(status, "SigBlk"), 0u);
    EXPECT_EQ(statusMask(status, "SigIgn") & stopBits, 0u);
    start({"--", "sh", "-c", "exit 3"});
    EXPECT_EQ(exitStatus(), 3);
}

struct StopCase {
    const char* name;
    int signal;
    bool toTheGroup; // as Ctrl-C on a terminal: the simulator and the command both get it
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class StopSignal : public SimProgram, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopSignal, EndsTheCommandAndTheSimulatorWithTheCommandsSignalStatus)
{
    start({"--ports", "COM1", "--", "sh", "-c", "echo ready; exec sleep 30"}, GetParam().toTheGroup);
    ASSERT_NE(readUntil("ready").find("ready"), std::string::npos);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(kill(GetParam().toTheGroup ? -m_pid : m_pid, GetParam().signal), 0);
    EXPECT_EQ(exitStatus(), 128 + GetParam().signal);
    EXPECT_LT(secondsSince(start), 5.0);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal,
                         ::testing::Values(StopCase{"InterruptToTheSimulator", SIGINT, false},
                                           StopCase{"TerminateToTheSimulator", SIGTERM, false},
                                           StopCase{"InterruptToTheProcessGroup", SIGINT, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorlink::test
