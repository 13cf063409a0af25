#pragma once
// Whole-file reading and crash-safe replacing of parameter files. One implementation per
// system: file_io.cpp (POSIX) and file_io_win32.cpp (the build compiles one).

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace moravel {

// The largest parameter file read: far beyond any real one (a few KiB), small enough that a
// wrong file (an image, a disk dump) cannot exhaust the memory.
inline constexpr std::size_t kMaxParameterFileSize = std::size_t{16} << 20;

// Failures of the file functions that have no errno of their own.
enum class FileError {
    NotRegularFile = 1, // a device, FIFO, socket or directory where a file is expected
    UnsafeSymlink,      // a link in a shared sticky folder that belongs to someone else
    NothingToSave,      // an empty parameter text, which saved would be an empty file
};
const std::error_category& fileErrorCategory();
inline std::error_code make_error_code(FileError e) { return {static_cast<int>(e), fileErrorCategory()}; }

struct FileBytes {
    std::string bytes;
    std::error_code error; // empty when the file was read completely
    bool ok() const { return !error; }
};

// Reads the whole file, byte for byte, up to its end (whatever its size was when it was
// opened). Fails for a path that cannot be opened, on a read error, with
// FileError::NotRegularFile (std::errc::is_a_directory for a directory) for anything but a
// regular file, and with std::errc::file_too_large (nothing kept) for a file of more than
// maxBytes, before reading when its size says so, else as soon as it has grown past it.
// Neither a FIFO nor a device blocks or is read: the open does not wait, and the decision is
// made on the opened descriptor.
FileBytes readFileBytes(const std::string& path, std::size_t maxBytes);

// readFileBytes with the limit of parameter files: the one rule for the program and the CLI.
inline FileBytes readParameterFile(const std::string& path) { return readFileBytes(path, kMaxParameterFileSize); }

// Replaces the file at path by bytes so that it holds either its old content or all of the
// new one, never anything in between:
//   the bytes go to a new temporary file in the same directory, are flushed to the disk,
//   and only then is the temporary file renamed over path. On any failure (cannot create,
//   short or failed write, full disk, failed flush) the temporary file is removed, the old
//   file stays untouched and the error is returned.
// An existing file keeps its permission bits and, where the process may set them, its owner
// and group; a new file gets 0666 less the umask, as a plain fopen would. A symbolic link is
// followed, so the link stays and its target is replaced, or created when it does not exist
// yet (a dangling link). Links are followed only where the kernel's protected_symlinks rule
// would follow them: a link in a sticky, world-writable folder (/tmp) that belongs neither to
// this process's effective user nor to the folder's owner gives FileError::UnsafeSymlink.
// Anything but a regular file at the path (a directory, a device) is refused.
// On Windows the rename is MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
// (a plain rename fails over an existing file there); a read-only file is not replaced, and
// a link is replaced itself rather than followed.
std::error_code replaceFileAtomically(const std::string& path, std::string_view bytes);

// True when the last part of path is a name that Windows reserves for a device in every
// folder: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 ... COM9, LPT1 ... LPT9, in any case and
// also with an extension ("NUL.ncp", "com3.txt"). The Windows build refuses such a path
// (FileError::NotRegularFile) before any open, for reading and for saving; elsewhere they
// are ordinary names.
bool isReservedDeviceName(std::string_view path);

// True when a and b name the same file: the same device and inode once links are followed,
// or, when either does not exist, the same absolute path once its existing part is resolved.
bool namesSameFile(const std::string& a, const std::string& b);

// True when something is at path (a link is followed; on Windows a device name counts as
// nothing, since it is refused).
bool pathExists(const std::string& path);

// True when a file exists at path and may not be written: it has no write permission bit
// at all (also for root, who may write anyway), or this process may not write it.
bool isReadOnlyFile(const std::string& path);

} // namespace moravel

template <>
struct std::is_error_code_enum<moravel::FileError> : std::true_type {
};
