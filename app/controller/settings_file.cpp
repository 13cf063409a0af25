// The settings file on POSIX systems: the INI file Qt keeps under $XDG_CONFIG_HOME.

#include "app/controller/settings_file.h"

#include "app/controller/settings.h"

#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace moravel {
namespace {

// The file Qt would choose for organisation and application in the user scope, worked out
// afresh at every access: Qt keeps the configuration directory it saw first for the rest of
// the process, and needs no QCoreApplication this way.
std::string settingsPathOf()
{
    std::string dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        dir = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* user = ::getpwuid(::getuid());
            home = user != nullptr ? user->pw_dir : "/";
        }
        dir = std::string(home) + "/.config";
    }
    return dir + "/" + kSettingsOrganisation + "/" + kSettingsApplication + ".conf";
}

// A descriptor closed on every path out.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The kind of what is at path, without blocking and without following a FIFO's open:
// S_IFREG, S_IFDIR, ...; 0 when nothing is there.
mode_t fileKind(const std::string& path)
{
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    struct stat st {};
    if (file.fd >= 0)
        return ::fstat(file.fd, &st) == 0 ? (st.st_mode & S_IFMT) : 0;
    // Not openable for reading (no permission, or a FIFO without a reader for a write-only
    // open): the directory entry's kind still tells.
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// Why a write of path fails, found by trying what QSettings does; empty when nothing fails.
std::string writeProblem(const std::string& path)
{
    const mode_t kind = fileKind(path);
    if (kind == S_IFDIR)
        return std::strerror(EISDIR);
    if (kind != 0 && kind != S_IFREG)
        return "keine gewöhnliche Datei";
    std::error_code error;
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();
    // The first folder on the way that exists must be a folder this user may write into.
    std::filesystem::path existing = dir;
    while (!existing.empty() && !std::filesystem::exists(existing, error))
        existing = existing.parent_path();
    if (!existing.empty() && !std::filesystem::is_directory(existing, error))
        return existing.string() + ": " + std::strerror(ENOTDIR);
    if (std::filesystem::is_directory(dir, error) && ::access(dir.c_str(), W_OK) != 0)
        return dir.string() + ": " + std::strerror(errno);
    if (kind == S_IFREG) {
        // Appending nothing changes nothing, but finds a file this user may not write.
        const Descriptor file{::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
        if (file.fd < 0)
            return std::strerror(errno);
    }
    return {};
}

} // namespace

std::string settingsFilePath() { return settingsPathOf(); }

bool settingsFileUsable()
{
    const mode_t kind = fileKind(settingsFilePath());
    return kind == 0 || kind == S_IFREG || kind == S_IFDIR;
}

std::unique_ptr<QSettings> openSettingsFile()
{
    if (!settingsFileUsable())
        return nullptr;
    return std::make_unique<QSettings>(QString::fromStdString(settingsFilePath()), QSettings::IniFormat);
}

std::string settingsSaveFailureText()
{
    const std::string path = settingsFilePath();
    std::string reason = writeProblem(path);
    if (reason.empty())
        reason = "Schreibfehler (zum Beispiel ein voller Datenträger)";
    return "Die Einstellungen können nicht gespeichert werden:\n" + path + "\n" + reason;
}

std::string settingsIgnoredNote()
{
    return "Einstellungsdatei ist keine gewöhnliche Datei, Standardwerte verwendet: " + settingsFilePath();
}

} // namespace moravel
