#pragma once
// Whole-file reading and crash-safe replacing of parameter files (POSIX).

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace moravel {

struct FileBytes {
    std::string bytes;
    std::error_code error; // empty when the file was read completely
    bool ok() const { return !error; }
};

// Reads the whole file, byte for byte, up to its end (whatever its size was when it was
// opened). Fails for a path that cannot be opened, for a directory and on a read error, and
// with std::errc::file_too_large (nothing kept) as soon as it has more than maxBytes.
FileBytes readFileBytes(const std::string& path, std::size_t maxBytes = SIZE_MAX);

// Replaces the file at path by bytes so that it holds either its old content or all of the
// new one, never anything in between:
//   the bytes go to a new temporary file in the same directory, are flushed to the disk,
//   and only then is the temporary file renamed over path. On any failure (cannot create,
//   short or failed write, full disk, failed flush) the temporary file is removed, the old
//   file stays untouched and the error is returned.
// An existing file keeps its permission bits and, where the process may set them, its owner
// and group; a new file gets 0666 less the umask, as a plain fopen would. A symbolic link is
// followed, so the link stays and its target is replaced. Anything but a regular file at the
// path (a directory, a device) is refused.
std::error_code replaceFileAtomically(const std::string& path, std::string_view bytes);

// True when a file exists at path and may not be written: it has no write permission bit
// at all (also for root, who may write anyway), or this process may not write it.
bool isReadOnlyFile(const std::string& path);

} // namespace moravel
