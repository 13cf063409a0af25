#include "link/common/port_map.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quorlink {
namespace {

#ifndef _WIN32

// Device numbers of one name group ("ttyACM" 0, 1, 10 ...), sorted.
struct DeviceGroup {
    static constexpr int kCapacity = 256; // more devices of one kind than anyone has
    const char* prefix;
    int numbers[kCapacity];
    int count = 0;
};

// Number after prefix when name is prefix followed by decimal digits only, else -1.
int deviceNumber(const char* name, const char* prefix)
{
    const std::size_t len = std::strlen(prefix);
    if (std::strncmp(name, prefix, len) != 0 || name[len] == '\0')
        return -1;
    long value = 0;
    for (const char* p = name + len; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || value > 1000000)
            return -1;
        value = value * 10 + (*p - '0');
    }
    return static_cast<int>(value);
}

void scanDirectory(const char* devDir, DeviceGroup* groups, int groupCount)
{
    DIR* dir = opendir(devDir);
    if (dir == nullptr)
        return;
    while (const dirent* entry = readdir(dir)) {
        for (int g = 0; g < groupCount; ++g) {
            const int number = deviceNumber(entry->d_name, groups[g].prefix);
            if (number >= 0 && groups[g].count < DeviceGroup::kCapacity) {
                groups[g].numbers[groups[g].count++] = number;
                break;
            }
        }
    }
    closedir(dir);
    for (int g = 0; g < groupCount; ++g)
        std::sort(groups[g].numbers, groups[g].numbers + groups[g].count);
}

bool formatPath(char (&path)[kMaxDevicePath], const char* devDir, const char* prefix, int number)
{
    const int len = std::snprintf(path, kMaxDevicePath, "%s/%s%d", devDir, prefix, number);
    return len > 0 && static_cast<std::size_t>(len) < kMaxDevicePath;
}

// Most machines register ttyS0 ... ttyS31 whether or not a UART is behind them; the
// driver reports those as PORT_UNKNOWN.
bool isRealSerialPort(const char* path)
{
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info{};
    const bool real = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    close(fd);
    return real;
}
#endif

#ifdef _WIN32
// The Win32 device name of a port: "\\.\" and the name (COM10 and above are reached only
// so), unless the name is a device path already.
bool win32DevicePath(const char* name, char (&path)[kMaxDevicePath])
{
    const bool isPath = name[0] == '\\' && name[1] == '\\';
    const int len = std::snprintf(path, kMaxDevicePath, "%s%s", isPath ? "" : "\\\\.\\", name);
    return len > 0 && static_cast<std::size_t>(len) < kMaxDevicePath;
}
#endif

} // namespace

int parsePortNumber(std::string_view name, PortNameForm form)
{
    if (name.size() < 4 || name[3] < '1' || name[3] > '9')
        return 0;
    if (form != PortNameForm::FourthCharacter) {
        if (name.size() != 4)
            return 0;
        for (std::size_t i = 0; i < 3; ++i) {
            char c = name[i];
            if (form == PortNameForm::AnyCase && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            if (c != "COM"[i])
                return 0;
        }
    }
    return name[3] - '0';
}

int portNumberOf(const char portName[5])
{
    if (portName == nullptr)
        return 0;
    return parsePortNumber(std::string_view(portName, ::strnlen(portName, 5)), PortNameForm::Exact);
}

#ifndef _WIN32
bool defaultDevice(const char* devDir, int n, char (&path)[kMaxDevicePath])
{
    if (n < 1)
        return false;
    DeviceGroup groups[3] = {{"ttyACM", {}}, {"ttyUSB", {}}, {"ttyS", {}}};
    scanDirectory(devDir, groups, 3);
    for (int g = 0; g < 2; ++g) {
        if (n <= groups[g].count)
            return formatPath(path, devDir, groups[g].prefix, groups[g].numbers[n - 1]);
        n -= groups[g].count;
    }
    for (int i = 0; i < groups[2].count; ++i) {
        if (formatPath(path, devDir, groups[2].prefix, groups[2].numbers[i]) && isRealSerialPort(path) && --n == 0)
            return true;
    }
    return false;
}
#endif

bool resolvePortName(const char portName[5], char (&path)[kMaxDevicePath])
{
    const int n = portNumberOf(portName);
    if (n == 0)
        return false;
    char variable[] = "QUORLINK_COM0";
    variable[sizeof variable - 2] = static_cast<char>('0' + n);
    if (const char* value = std::getenv(variable)) {
        const std::size_t len = std::strlen(value);
        if (len == 0 || len >= kMaxDevicePath)
            return false;
#ifdef _WIN32
        return win32DevicePath(value, path);
#else
        std::memcpy(path, value, len + 1);
        return true;
#endif
    }
#ifdef _WIN32
    char name[5];
    std::memcpy(name, "COM0", sizeof name);
    name[3] = static_cast<char>('0' + n);
    return win32DevicePath(name, path);
#else
    return defaultDevice("/dev", n, path);
#endif
}

} // namespace quorlink
