#include "params/file_io.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace moravel {
namespace {

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

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

// The file that a save to path replaces: the target of a symbolic link, else path itself.
std::string saveTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr)
            return resolved;
    }
    return path;
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

} // namespace

FileBytes readFileBytes(const std::string& path, std::size_t maxBytes)
{
    FileBytes result;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        result.error = lastError();
        return result;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        result.error = lastError();
        return result;
    }
    if (S_ISDIR(st.st_mode)) {
        result.error = std::make_error_code(std::errc::is_a_directory);
        return result;
    }
    if (S_ISREG(st.st_mode))
        result.bytes.reserve(std::min(static_cast<std::size_t>(st.st_size), maxBytes));
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
    const std::string target = saveTarget(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return lastError();
    if (exists && !S_ISREG(old.st_mode))
        return std::make_error_code(S_ISDIR(old.st_mode) ? std::errc::is_a_directory
                                                         : std::errc::invalid_argument);

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
