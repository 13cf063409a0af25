#include "app/controller/port_diagnosis.h"

#include "app/controller/settings.h"

#include "link/common/port_map.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace moravel {
namespace {

namespace fs = std::filesystem;

std::string canonical(const std::string& path)
{
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved.string();
}

// The /dev/serial/by-id link that points at device (udev makes them for USB serial devices).
std::string stableNameOf(const std::string& device)
{
    std::error_code error;
    const std::string target = canonical(device);
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", error))
        if (canonical(entry.path().string()) == target)
            return entry.path().string();
    return {};
}

std::string groupOf(const std::string& device)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return {};
    if (const group* g = ::getgrgid(st.st_gid))
        return g->gr_name;
    return std::to_string(st.st_gid);
}

// The first other process that has device open, as far as /proc lets this user see.
std::string holderOf(const std::string& device)
{
    const std::string target = canonical(device);
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
            continue;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError).string() != target)
                continue;
            std::string name;
            std::ifstream(process.path() / "comm") >> name;
            return "process " + pid + (name.empty() ? "" : " (" + name + ")");
        }
    }
    return {};
}

void probeDevice(PortProbe& probe)
{
    const int fd = ::open(probe.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        switch (error) {
        case ENOENT:
            probe.state = PortProbe::State::Missing;
            break;
        case EACCES:
        case EPERM:
            probe.state = PortProbe::State::PermissionDenied;
            probe.group = groupOf(probe.device);
            break;
        case EBUSY:
            probe.state = PortProbe::State::InUse;
            probe.holder = holderOf(probe.device);
            break;
        default:
            probe.state = PortProbe::State::Failed;
            probe.error = std::strerror(error);
            break;
        }
        return;
    }
    if (!::isatty(fd)) {
        probe.state = PortProbe::State::NotSerial;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        probe.state = PortProbe::State::InUse;
        probe.holder = holderOf(probe.device);
    } else {
        probe.state = PortProbe::State::Available;
        // Keep DTR raised when this descriptor closes, as the link library does: a
        // controller may reset when DTR drops.
        termios t{};
        if (::tcgetattr(fd, &t) == 0 && (t.c_cflag & HUPCL) != 0) {
            t.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    ::close(fd);
}

} // namespace

PortProbe probePort(int number)
{
    PortProbe probe;
    probe.number = number;
    char name[5] = {'C', 'O', 'M', static_cast<char>('0' + number), '\0'};
    char path[quorlink::kMaxDevicePath];
    if (number < 1 || number > 8 || !quorlink::resolvePortName(name, path))
        return probe;
    probe.device = path;
    probe.stableName = stableNameOf(probe.device);
    probeDevice(probe);
    return probe;
}

std::string describe(const PortProbe& probe)
{
    switch (probe.state) {
    case PortProbe::State::NoDevice:
        return "no device";
    case PortProbe::State::Missing:
        return "missing (the device does not exist)";
    case PortProbe::State::Available:
        return "can be opened";
    case PortProbe::State::InUse:
        return "in use" + (probe.holder.empty() ? std::string(" by another program") : " by " + probe.holder);
    case PortProbe::State::PermissionDenied:
        return "permission denied" +
               (probe.group.empty() ? std::string() : " (the device belongs to group '" + probe.group + "')");
    case PortProbe::State::NotSerial:
        return "not a serial device";
    case PortProbe::State::Failed:
        return "cannot be opened: " + probe.error;
    }
    return {};
}

std::vector<std::string> explainFailedOpen(const std::vector<int>& numbers)
{
    std::vector<std::string> lines;
    bool anyDevice = false;
    for (const int n : numbers) {
        const PortProbe probe = probePort(n);
        if (probe.state == PortProbe::State::NoDevice)
            continue;
        anyDevice = true;
        std::string line = "COM" + std::to_string(n) + " (" + probe.device + "): " + describe(probe);
        switch (probe.state) {
        case PortProbe::State::Available:
            line += ", but no controller answered there";
            break;
        case PortProbe::State::PermissionDenied:
            line += "; add your user to that group, for example 'sudo usermod -aG " +
                    (probe.group.empty() ? std::string("dialout") : probe.group) + " $USER', and log in again";
            break;
        case PortProbe::State::InUse:
            line += "; close that program and try again";
            break;
        default:
            break;
        }
        lines.push_back(line);
    }
    if (!anyDevice) {
        const std::string which = numbers.size() == 1 ? "COM" + std::to_string(numbers.front()) + " maps to no"
                                                      : "none of COM1 ... COM8 maps to a";
        lines.push_back(which + " serial device; is the controller plugged in? ('moravel-cli ports' lists the "
                                "ports; QUORLINK_COMn=/dev/... names a device explicitly)");
    }
    return lines;
}

std::vector<int> portsTriedByOpen(int connectionMode, const char (&portName)[5])
{
    switch (connectionMode) {
    case 0:
    case 2:
        return {1, 2, 3, 4, 5, 6, 7, 8};
    case 1:
        return {portNumberForMode1(portName)};
    default:
        return {};
    }
}

} // namespace moravel
