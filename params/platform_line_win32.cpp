// Serial-line checks of the program on Windows: CreateFile, the comm-state, error and
// modem-status queries, and the SERIALCOMM list of the registry.

#include "params/platform_line.h"

#include <quorlink.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace moravel::platform {
namespace {

// The errors a serial port's handle gives once its device is gone (a USB adapter pulled):
// drivers differ in which one they return.
bool isDeviceRemovedError(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
    case ERROR_OPERATION_ABORTED:
        return true;
    default:
        return false;
    }
}

std::string systemText(DWORD error)
{
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                                     reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n > 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(error);
    if (text != nullptr)
        ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.'))
        result.pop_back();
    return result;
}

// "COM12" names the device \\.\COM12 (the only form that reaches ports above COM9).
std::string devicePath(const std::string& device)
{
    return device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device;
}

int comNumber(const std::string& name)
{
    if (name.size() < 4 || _strnicmp(name.c_str(), "COM", 3) != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos)
        return 0;
    return std::atoi(name.c_str() + 3);
}

} // namespace

const char* const kDeviceExample = "COM12";

bool deviceGone(const ConnectionContext& ctx)
{
    if (ctx.portHandle == -1)
        return true;
    // The library keeps the port's HANDLE in the 32-bit field (kernel handles fit in 32 bits).
    const HANDLE port = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(ctx.portHandle));
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port, &errors, &status) && isDeviceRemovedError(::GetLastError()))
        return true;
    DWORD modem = 0;
    return !::GetCommModemStatus(port, &modem) && isDeviceRemovedError(::GetLastError());
}

LineProbe probeLine(const std::string& device)
{
    LineProbe probe;
    // Share mode 0 is the exclusive open the library makes; another holder shows as
    // ERROR_ACCESS_DENIED (serial drivers) or ERROR_SHARING_VIOLATION.
    const HANDLE port = ::CreateFileA(devicePath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            probe.state = LineState::Missing;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            probe.state = LineState::InUse;
            break;
        default:
            probe.state = LineState::Failed;
            probe.error = systemText(error);
            break;
        }
        return probe;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(port, &dcb))
        probe.state = LineState::Available;
    else // wine opens a port whose device is gone as a file of unknown type
        probe.state = ::GetFileType(port) == FILE_TYPE_UNKNOWN ? LineState::Missing : LineState::NotSerial;
    ::CloseHandle(port);
    return probe;
}

std::string deviceOfHandle(int) { return {}; }

std::string stableLineName(const std::string&) { return {}; }

std::vector<std::string> unreachedSystemPorts()
{
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        char value[256];
        DWORD valueSize = sizeof value - 1;
        DWORD type = 0;
        const LONG status = ::RegEnumValueA(key, index, name, &nameSize, nullptr, &type,
                                            reinterpret_cast<BYTE*>(value), &valueSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        value[valueSize] = '\0';
        const std::string port(value);
        if (comNumber(port) > 8)
            ports.push_back(port);
    }
    ::RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const std::string& a, const std::string& b) { return comNumber(a) < comNumber(b); });
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

} // namespace moravel::platform
