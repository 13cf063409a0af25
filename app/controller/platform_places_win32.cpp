// The places of this user and this program on Windows.

#include "app/controller/platform_places.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <string>

namespace moravel::platform {

std::filesystem::path userDataFolder()
{
    if (const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA"); local != nullptr && local[0] != L'\0')
        return local;
    if (const wchar_t* profile = ::_wgetenv(L"USERPROFILE"); profile != nullptr && profile[0] != L'\0')
        return std::filesystem::path(profile) / L"AppData" / L"Local";
    return L".";
}

std::filesystem::path executablePath()
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0)
            return {};
        if (n < name.size()) {
            name.resize(n);
            return name;
        }
        name.resize(name.size() * 2);
    }
}

// An installed program keeps its data beside itself (the zip) or in share\moravel next to
// its bin folder (the installer).
std::vector<std::filesystem::path> installedDataFolders()
{
    const std::filesystem::path exe = executablePath();
    if (exe.empty())
        return {};
    const std::filesystem::path folder = exe.parent_path();
    return {folder, folder.parent_path() / L"share" / L"moravel"};
}

std::tm localTime(std::time_t t)
{
    std::tm local{};
    ::localtime_s(&local, &t);
    return local;
}

} // namespace moravel::platform
