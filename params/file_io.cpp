// The file functions on POSIX systems.

#include "params/file_io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace moravel {
namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

// Closes a descriptor once.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now and reports whether close succeeded.
    bool reset()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

std::error_code writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (n == 0)
            return std::make_error_code(std::errc::io_error);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

std::string directoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new, empty file next to target; returns its descriptor and fills name.
int createTemporary(const std::string& target, std::string& name)
{
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    static thread_local std::mt19937_64 random(std::random_device{}());
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 8; ++i)
            suffix += kChars[random() % (sizeof kChars - 1)];
        name = dir + "." + base + "." + suffix + ".tmp";
        // 0666 less the umask, like the file a plain fopen("wb") would create.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The kernel's protected_symlinks rule: in a sticky, world-writable folder a link is followed
// only when it belongs to the follower or to the folder's owner. Applied by hand because the
// save resolves the last links of its path itself (to rename in the target's folder), and the
// kernel's own check may be switched off.
bool mayFollow(const std::string& link, const struct stat& linkStat)
{
    struct stat dir {};
    if (::stat(directoryOf(link).c_str(), &dir) != 0)
        return false;
    const bool shared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
    return !shared || linkStat.st_uid == ::geteuid() || linkStat.st_uid == dir.st_uid;
}

// The file that a save to path replaces or creates: path with the symbolic links at its end
// followed one by one (each checked by mayFollow), as open() would follow them.
std::error_code saveTarget(const std::string& path, std::string& target)
{
    std::string current = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return lastError();
            target = current; // a new file, possibly the target of a dangling link
            return {};
        }
        if (!S_ISLNK(st.st_mode)) {
            target = current;
            return {};
        }
        if (hops == 40) // the kernel's own limit
            return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        if (!mayFollow(current, st))
            return FileError::UnsafeSymlink;
        // Some file systems report a size of 0 for their links.
        std::string text(std::max<std::size_t>(static_cast<std::size_t>(st.st_size), PATH_MAX) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), text.data(), text.size());
        if (n < 0)
            return lastError();
        if (static_cast<std::size_t>(n) >= text.size())
            return std::make_error_code(std::errc::filename_too_long);
        text.resize(static_cast<std::size_t>(n));
        current = text.starts_with('/') ? text : directoryOf(current) + "/" + text;
    }
}

} // namespace

FileBytes readFileBytes(const std::string& path, std::size_t maxBytes)
{
    FileBytes result;
    const auto kind = [](const struct stat& st) -> std::error_code {
        if (S_ISDIR(st.st_mode))
            return std::make_error_code(std::errc::is_a_directory);
        if (!S_ISREG(st.st_mode))
            return FileError::NotRegularFile;
        return {};
    };
    // A look before the open keeps devices closed: opening a serial port may already reset
    // the controller behind it. The decision that counts is made on the opened descriptor.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (result.error = kind(st)))
        return result;
    // O_NONBLOCK: a FIFO put in place after the look must not block the open.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        result.error = lastError();
        return result;
    }
    if (::fstat(fd.get(), &st) != 0) {
        result.error = lastError();
        return result;
    }
    if ((result.error = kind(st)))
        return result;
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        result.error = std::make_error_code(std::errc::file_too_large);
        return result;
    }
    result.bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result.error = lastError();
            result.bytes.clear();
            return result;
        }
        if (n == 0)
            break;
        if (static_cast<std::size_t>(n) > maxBytes - result.bytes.size()) {
            result.error = std::make_error_code(std::errc::file_too_large);
            result.bytes.clear();
            return result;
        }
        result.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return result;
}

std::error_code replaceFileAtomically(const std::string& path, std::string_view bytes)
{
    std::string target;
    if (const std::error_code error = saveTarget(path, target))
        return error;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return lastError();
    if (exists && !S_ISREG(old.st_mode))
        return std::make_error_code(S_ISDIR(old.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);

    std::string temporary;
    Fd fd(createTemporary(target, temporary));
    if (fd.get() < 0)
        return lastError();

    std::error_code error;
    if (exists) {
        // Owner first: changing it clears set-id bits, which the mode then restores.
        if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0 && errno != EPERM)
            error = lastError();
        if (!error && ::fchmod(fd.get(), old.st_mode & 07777) != 0)
            error = lastError();
    }
    if (!error)
        error = writeAll(fd.get(), bytes);
    if (!error && ::fsync(fd.get()) != 0)
        error = lastError();
    if (!fd.reset() && !error)
        error = lastError();
    if (!error && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = lastError();
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }

    // Make the rename itself durable. The new content is in place already, so a failure
    // here is not reported.
    Fd dir(::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return {};
}

bool namesSameFile(const std::string& a, const std::string& b)
{
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    // A file that does not exist yet: compare where it would be. A dangling link counts as
    // its target, as a save would create that.
    const auto where = [](const std::string& path) {
        std::string target;
        if (saveTarget(path, target))
            target = path;
        std::error_code error;
        std::filesystem::path absolute = std::filesystem::absolute(target, error);
        if (error)
            absolute = target;
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
        return error ? absolute.lexically_normal() : resolved;
    };
    return where(a) == where(b);
}

bool pathExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isReadOnlyFile(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return true;
    return ::access(path.c_str(), W_OK) != 0;
}

} // namespace moravel
