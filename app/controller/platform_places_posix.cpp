// The places of this user and this program on POSIX systems.

#include "app/controller/platform_places.h"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <system_error>
#include <unistd.h>

#ifndef MORAVEL_INSTALLED_DATA_DIR
#error "MORAVEL_INSTALLED_DATA_DIR must name the installed data directory"
#endif

namespace moravel::platform {

std::filesystem::path userDataFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return data;
    const char* home = std::getenv("HOME");
    std::string homeDir = home != nullptr && home[0] == '/' ? home : "";
    if (homeDir.empty())
        if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
            homeDir = pw->pw_dir;
    return std::filesystem::path(homeDir) / ".local" / "share";
}

std::filesystem::path executablePath()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : exe;
}

std::vector<std::filesystem::path> installedDataFolders() { return {MORAVEL_INSTALLED_DATA_DIR}; }

std::tm localTime(std::time_t t)
{
    std::tm local{};
    ::localtime_r(&t, &local);
    return local;
}

} // namespace moravel::platform
