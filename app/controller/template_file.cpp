// Where the template parameter file is found.

#include "app/controller/template_file.h"

#include "app/controller/platform_places.h"
#include "app/document/moravel_document.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef MORAVEL_SOURCE_DATA_DIR
#error "MORAVEL_SOURCE_DATA_DIR must name the source tree's app/resources"
#endif
#ifndef MORAVEL_BUILD_DIR
#error "MORAVEL_BUILD_DIR must name the top of the build tree"
#endif

namespace moravel {
namespace {

namespace fs = std::filesystem;

bool isFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

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

} // namespace

std::string findTemplateFile()
{
    const fs::path name{std::string(TemplateFileName)};
    if (isFile(name))
        return name.string();
    if (const char* dir = std::getenv("MORAVEL_DATA_DIR"); dir != nullptr && *dir != '\0') {
        if (isFile(dir / name))
            return (dir / name).string();
    }
    if (runningFromBuildTree() && isFile(MORAVEL_SOURCE_DATA_DIR / name))
        return (MORAVEL_SOURCE_DATA_DIR / name).string();
    for (const fs::path& dir : platform::installedDataFolders())
        if (isFile(dir / name))
            return (dir / name).string();
    return name.string();
}

} // namespace moravel
