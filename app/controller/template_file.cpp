// Where the template parameter file is found.

#include "app/controller/template_file.h"

#include "app/controller/platform_places.h"
#include "app/document/moravel_document.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

// MORAVEL_SOURCE_DATA_DIR (the source tree's app/resources) and MORAVEL_BUILD_DIR (the top of
// the build tree) are given where a program may run from its build tree; a Windows build
// carries no path of the build machine and has neither.
#if defined(MORAVEL_SOURCE_DATA_DIR) != defined(MORAVEL_BUILD_DIR)
#error "MORAVEL_SOURCE_DATA_DIR and MORAVEL_BUILD_DIR go together"
#endif

namespace moravel {
namespace {

namespace fs = std::filesystem;

bool isFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

#ifdef MORAVEL_BUILD_DIR
// Programs run from the build tree use the template of their source tree, so that a
// development build never picks up an older installed one.
bool runningFromBuildTree()
{
    const fs::path exe = platform::executablePath();
    if (exe.empty())
        return false;
    std::error_code error;
    const fs::path build = fs::weakly_canonical(MORAVEL_BUILD_DIR, error);
    if (error)
        return false;
    const auto [end, rest] = std::mismatch(build.begin(), build.end(), exe.begin(), exe.end());
    return end == build.end();
}
#endif

} // namespace

std::string findTemplateFile()
{
    const fs::path name{std::string(kTemplateFileName)};
    if (isFile(name))
        return name.string();
    if (const char* dir = std::getenv("MORAVEL_DATA_DIR"); dir != nullptr && *dir != '\0') {
        if (isFile(dir / name))
            return (dir / name).string();
    }
#ifdef MORAVEL_SOURCE_DATA_DIR
    if (runningFromBuildTree() && isFile(MORAVEL_SOURCE_DATA_DIR / name))
        return (MORAVEL_SOURCE_DATA_DIR / name).string();
#endif
    for (const fs::path& dir : platform::installedDataFolders())
        if (isFile(dir / name))
            return (dir / name).string();
    return name.string();
}

} // namespace moravel
