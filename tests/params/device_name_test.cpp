// The names Windows reserves for devices, which the Windows build never opens as files.

#include "params/file_io.h"

#include <gtest/gtest.h>

namespace moravel {
namespace {

TEST(FileNames, WindowsDeviceNamesAreKnownWithAnyCaseFolderAndExtension)
{
    for (const char* device : {"NUL", "nul.ncp", "CON", "prn.txt", "Aux", "COM1", "com3", "COM9.ncp", "LPT1",
                               "lpt9.x.y", "C:\\data\\NUL.ncp", "/tmp/com3 .ncp", "conin$", "CONOUT$",
                               "COM\xc2\xb9", "d:nul"})
        EXPECT_TRUE(isReservedDeviceName(device)) << device;
    for (const char* file : {"COM0", "COM10", "LPT0", "NULL", "nul_.ncp", "CONSOLE", "x.NUL", "COM", "",
                             "C:\\NUL\\a.ncp", "params.ncp", "COM1x"})
        EXPECT_FALSE(isReservedDeviceName(file)) << file;
}

} // namespace
} // namespace moravel
