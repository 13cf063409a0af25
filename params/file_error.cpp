// The file functions' own errors and the device names Windows reserves: the same on every
// system.

#include "params/file_io.h"

#include <algorithm>
#include <array>
#include <string>

namespace moravel {
namespace {

class FileErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "moravel-file"; }
    std::string message(int code) const override
    {
        switch (static_cast<FileError>(code)) {
        case FileError::NotRegularFile:
            return "Not a regular file";
        case FileError::UnsafeSymlink:
            return "Symbolic link in a shared sticky folder belongs to another user; not followed";
        case FileError::NothingToSave:
            return "No parameters to save";
        }
        return "Unknown error";
    }
};

} // namespace

const std::error_category& fileErrorCategory()
{
    static const FileErrorCategory category;
    return category;
}

bool isReservedDeviceName(std::string_view path)
{
    const std::size_t slash = path.find_last_of("/\\:");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    // The name before its first dot and without trailing blanks is what Windows compares:
    // "NUL.ncp" and "com3 .txt" are devices too.
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kPlain.begin(), kPlain.end(), upper) != kPlain.end())
        return true;
    // COM1 ... COM9 and LPT1 ... LPT9, also with the superscript digits ¹ ² ³ (UTF-8).
    if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0))
        return false;
    const std::string_view digit = std::string_view(upper).substr(3);
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xc2\xb9" || digit == "\xc2\xb2" ||
           digit == "\xc2\xb3";
}

} // namespace moravel
