#include "tests/gui/gui_support.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

// Set before any thread starts (setenv is not thread-safe): the platform, a settings home and a
// working folder (with a copy of the template) of this process, and the simulator's ports.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static moravel::test::TempDir home;
    setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
    setenv("HOME", home.path().c_str(), 1);
    const std::string work = home.file("work");
    std::filesystem::create_directories(work);
    std::filesystem::copy_file(MORAVEL_TEMPLATE_FILE, work + "/NC-Travo_USB_Param_NEW.ncp");
    if (chdir(work.c_str()) != 0)
        return 1;

    static quorlink::sim::Simulator simulator;
    simulator.addPort(3);
    simulator.exportEnvironment();
    simulator.start();
    moravel::gui::g_simulator = &simulator;

    QApplication application(argc, argv);
    moravel::setUpApplication(application);
    return RUN_ALL_TESTS();
}
