// COMn to device path: the environment variable, and the default order of the devices.

#include "link/common/port_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace quorlink {
namespace {

namespace fs = std::filesystem;

TEST(DefaultDevices, AcmFirstThenUsbEachInNumericOrderAndNoPlaceholderPorts)
{
    const fs::path dir = fs::temp_directory_path() / ("quorlink-dev-" + std::to_string(getpid()));
    fs::create_directories(dir);
    // Regular files stand in for the device nodes; ttyS* need a real UART behind them.
    for (const char* name :
         {"ttyACM10", "ttyUSB0", "ttyACM2", "ttyS0", "ttyS1", "ttyACMx", "ttyUSB", "tty0", "ttyUSB3", "ttyACM"})
        std::ofstream(dir / name).put('\n');
    const char* const expected[] = {"", "ttyACM2", "ttyACM10", "ttyUSB0", "ttyUSB3", ""}; // COM0 .. COM5
    for (int n = 0; n < 6; ++n) {
        char path[kMaxDevicePath];
        EXPECT_EQ(defaultDevice(dir.c_str(), n, path) ? fs::path(path).filename().string() : "", expected[n]) << n;
    }
    fs::remove_all(dir);
}

TEST(PortNames, OnlyComAndOneDigitAreNamesAndTheEnvironmentVariableGivesThePath)
{
    const struct {
        const char name[5];
        int number;
    } cases[] = {{"COM1", 1}, {"COM8", 8}, {"COM9", 9},
                 {"COM0", 0}, {"com1", 0}, {"COM", 0},
                 {"CO1", 0},  {"", 0},     {{'C', 'O', 'M', '1', '2'}, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(portNumberOf(c.name), c.number) << std::string(c.name, 5);
    char path[kMaxDevicePath];
    setenv("QUORLINK_COM5", "/dev/pts/77", 1);
    ASSERT_TRUE(resolvePortName("COM5", path));
    EXPECT_STREQ(path, "/dev/pts/77");
    setenv("QUORLINK_COM5", "", 1);
    EXPECT_FALSE(resolvePortName("COM5", path)); // set but empty: maps to nothing
    setenv("QUORLINK_COM5", std::string(kMaxDevicePath, 'x').c_str(), 1);
    EXPECT_FALSE(resolvePortName("COM5", path));
    EXPECT_FALSE(resolvePortName("COMX", path));
}

} // namespace
} // namespace quorlink
