#pragma once
// The places and the clock of this user and this program where operating systems differ.
// One implementation per system, platform_places_posix.cpp and platform_places_win32.cpp
// (the build compiles one).

#include <ctime>
#include <filesystem>
#include <vector>

namespace moravel::platform {

// The folder for this user's data files: $XDG_DATA_HOME, else ~/.local/share (POSIX);
// %LOCALAPPDATA% (Windows).
std::filesystem::path userDataFolder();

// The running program's file, empty when it cannot be found.
std::filesystem::path executablePath();

// The folders an installed program's data files (the template) are in, in the order to try.
std::vector<std::filesystem::path> installedDataFolders();

// The local time of t (thread-safe).
std::tm localTime(std::time_t t);

} // namespace moravel::platform
