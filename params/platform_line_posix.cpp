// Serial-line checks of the program on POSIX systems (Linux): poll, open, flock, termios.

#include "params/platform_line.h"

#include <quorlink.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace moravel::platform {
namespace {

namespace fs = std::filesystem;

std::string canonical(const std::string& path)
{
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved.string();
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

} // namespace

const char* const kDeviceExample = "/dev/...";

bool deviceGone(const ConnectionContext& ctx)
{
    if (ctx.portHandle < 0)
        return true;
    pollfd pfd{ctx.portHandle, 0, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

LineProbe probeLine(const std::string& device)
{
    LineProbe probe;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        switch (error) {
        case ENOENT:
            probe.state = LineState::Missing;
            break;
        case EACCES:
        case EPERM:
            probe.state = LineState::PermissionDenied;
            probe.group = groupOf(device);
            break;
        case EBUSY:
            probe.state = LineState::InUse;
            probe.holder = holderOf(device);
            break;
        default:
            probe.state = LineState::Failed;
            probe.error = std::strerror(error);
            break;
        }
        return probe;
    }
    if (!::isatty(fd)) {
        probe.state = LineState::NotSerial;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        probe.state = LineState::InUse;
        probe.holder = holderOf(device);
    } else {
        probe.state = LineState::Available;
        // Keep DTR raised when this descriptor closes, as the link library does: a
        // controller may reset when DTR drops.
        termios t{};
        if (::tcgetattr(fd, &t) == 0 && (t.c_cflag & HUPCL) != 0) {
            t.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    ::close(fd);
    return probe;
}

std::string deviceOfHandle(int portHandle)
{
    if (portHandle < 0)
        return {};
    std::error_code error;
    const fs::path target = fs::read_symlink("/proc/self/fd/" + std::to_string(portHandle), error);
    return error ? std::string() : target.string();
}

// The /dev/serial/by-id link that points at device (udev makes them for USB serial devices).
std::string stableLineName(const std::string& device)
{
    std::error_code error;
    const std::string target = canonical(device);
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", error))
        if (canonical(entry.path().string()) == target)
            return entry.path().string();
    return {};
}

std::vector<std::string> unreachedSystemPorts() { return {}; }

} // namespace moravel::platform
