// Where the template parameter file is looked for.

#include "app/controller/moravel_app.h"
#include "app/controller/template_file.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace moravel::test {
namespace {

namespace fs = std::filesystem;

TEST(TemplateFile, CurrentDirectoryThenDataDirectoryThenTheSourceTree)
{
    TempDir cwd;
    TempDir data;
    fs::current_path(cwd.path());
    ::setenv("MORAVEL_DATA_DIR", data.path().c_str(), 1);

    // This test runs from the build tree: without other copies it gets the source tree's.
    EXPECT_EQ(fs::path(findTemplateFile()), fs::path(MORAVEL_TEMPLATE_FILE));

    const std::string inData = data.write("NC-Travo_USB_Param_NEW.ncp", "0000=1\n");
    EXPECT_EQ(findTemplateFile(), inData);

    cwd.write("NC-Travo_USB_Param_NEW.ncp", "0000=2\n");
    EXPECT_EQ(findTemplateFile(), "NC-Travo_USB_Param_NEW.ncp");
}

} // namespace
} // namespace moravel::test
