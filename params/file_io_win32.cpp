// The file functions on Windows: wide-character paths from UTF-8, binary reads and writes
// through the Win32 file functions, and the save's replacing rename (MoveFileExW).

#include "params/file_io.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <random>

namespace moravel {
namespace {

std::wstring widen(const std::string& text)
{
    if (text.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

// The system's errors as the POSIX build reports the same cases (so that the messages read
// alike); the rest keep their Windows code.
std::error_code errorOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return std::make_error_code(std::errc::permission_denied);
    case ERROR_WRITE_PROTECT:
        return std::make_error_code(std::errc::read_only_file_system);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_FILENAME_EXCED_RANGE:
        return std::make_error_code(std::errc::filename_too_long);
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
        return std::make_error_code(std::errc::invalid_argument);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return std::make_error_code(std::errc::file_exists);
    default:
        return {static_cast<int>(error), std::system_category()};
    }
}

std::error_code lastError() { return errorOf(::GetLastError()); }

// Closes a handle once.
class Handle {
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != INVALID_HANDLE_VALUE; }
    // Closes now and reports whether the close succeeded.
    bool reset()
    {
        const HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h == INVALID_HANDLE_VALUE || ::CloseHandle(h) != 0;
    }

private:
    HANDLE m_h;
};

// Device names ("NUL", "COM3.ncp") and the device namespace ("\\.\COM3") are never opened:
// opening a serial port may already reset the controller behind it.
bool namesDevice(const std::string& path)
{
    const bool deviceNamespace = path.size() >= 4 && (path[0] == '\\' || path[0] == '/') &&
                                 (path[1] == '\\' || path[1] == '/') && (path[2] == '.' || path[2] == '?') &&
                                 (path[3] == '\\' || path[3] == '/') &&
                                 !(path.size() >= 6 && path[2] == '?' && path[5] == ':'); // \\?\C:\... is a file
    return deviceNamespace || isReservedDeviceName(path);
}

// The attributes of what is at path; INVALID_FILE_ATTRIBUTES when nothing is there.
DWORD attributesOf(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

std::error_code writeAll(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr))
            return lastError();
        if (written == 0)
            return std::make_error_code(std::errc::io_error);
        bytes.remove_prefix(written);
    }
    return {};
}

// Creates a new, empty file next to target; returns its handle and fills name.
HANDLE createTemporary(const std::wstring& target, std::wstring& name)
{
    const std::size_t slash = target.find_last_of(L"\\/:");
    const std::wstring dir = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    const std::wstring base = slash == std::wstring::npos ? target : target.substr(slash + 1);
    static thread_local std::mt19937_64 random(std::random_device{}());
    static constexpr wchar_t kChars[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring suffix;
        for (int i = 0; i < 8; ++i)
            suffix += kChars[random() % (sizeof kChars / sizeof kChars[0] - 1)];
        name = dir + L"." + base + L"." + suffix + L".tmp";
        const HANDLE file =
            ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

std::filesystem::path whereItWouldBe(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path given(widen(path));
    std::filesystem::path absolute = std::filesystem::absolute(given, error);
    if (error)
        absolute = given;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
    std::wstring text = (error ? absolute.lexically_normal() : resolved).wstring();
    // File names on Windows compare without regard to case.
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

} // namespace

FileBytes readFileBytes(const std::string& path, std::size_t maxBytes)
{
    FileBytes result;
    if (namesDevice(path)) {
        result.error = FileError::NotRegularFile;
        return result;
    }
    const std::wstring wide = widen(path);
    const DWORD attributes = attributesOf(wide);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result.error = std::make_error_code(std::errc::is_a_directory);
        return result;
    }
    Handle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) {
        result.error = lastError();
        return result;
    }
    // The decision that counts is made on the opened handle: a disk file, not a pipe or a
    // character device.
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result.error = FileError::NotRegularFile;
        return result;
    }
    const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (size > maxBytes) {
        result.error = std::make_error_code(std::errc::file_too_large);
        return result;
    }
    result.bytes.reserve(static_cast<std::size_t>(size));
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) {
            result.error = lastError();
            result.bytes.clear();
            return result;
        }
        if (n == 0)
            break;
        if (n > maxBytes - result.bytes.size()) {
            result.error = std::make_error_code(std::errc::file_too_large);
            result.bytes.clear();
            return result;
        }
        result.bytes.append(buffer, n);
    }
    return result;
}

std::error_code replaceFileAtomically(const std::string& path, std::string_view bytes)
{
    if (namesDevice(path))
        return FileError::NotRegularFile;
    const std::wstring target = widen(path);
    const DWORD attributes = attributesOf(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::make_error_code(std::errc::is_a_directory);

    std::wstring temporary;
    Handle file(createTemporary(target, temporary));
    if (!file.valid())
        return lastError();
    std::error_code error = writeAll(file.get(), bytes);
    if (!error && !::FlushFileBuffers(file.get()))
        error = lastError();
    if (!file.reset() && !error)
        error = lastError();
    // One rename that replaces the old file, or leaves it as it was when it fails; written
    // through, so that it is on the disk when the call returns.
    if (!error && !::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = lastError();
    if (error) {
        ::DeleteFileW(temporary.c_str());
        return error;
    }
    return {};
}

bool namesSameFile(const std::string& a, const std::string& b)
{
    const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        if (namesDevice(path))
            return false;
        // Access 0 with backup semantics reads the identity of a file or a folder without
        // opening its content.
        const Handle file(::CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file.valid() && ::GetFileInformationByHandle(file.get(), &info) != 0;
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (identity(a, ia) && identity(b, ib))
        return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
               ia.nFileIndexLow == ib.nFileIndexLow;
    return whereItWouldBe(a) == whereItWouldBe(b);
}

bool pathExists(const std::string& path)
{
    return !namesDevice(path) && attributesOf(widen(path)) != INVALID_FILE_ATTRIBUTES;
}

bool isReadOnlyFile(const std::string& path)
{
    if (namesDevice(path))
        return false;
    const DWORD attributes = attributesOf(widen(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

} // namespace moravel
