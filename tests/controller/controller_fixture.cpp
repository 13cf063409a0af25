#include "tests/controller/controller_fixture.h"

#include <cstdlib>
#include <cstring>

namespace moravel::test {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

ControllerTest::ControllerTest()
{
    ::setenv("HOME", home.path().c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
}

void ControllerTest::begin()
{
    sim.exportEnvironment();
    sim.start();
    app.LoadSettings();
}

quorlink::sim::Device& ControllerTest::connectOnCom3()
{
    auto& device = sim.addPort(3);
    begin();
    app.connectionMode = 1;
    std::memcpy(app.m_context.portName, "COM3", 5);
    EXPECT_TRUE(app.OpenConnection(ui));
    EXPECT_TRUE(device.waitForFrames(1, 1s));
    device.clearLogs();
    return device;
}

std::vector<Frame> ControllerTest::framesOf(quorlink::sim::Device& device, std::size_t count)
{
    device.waitForFrames(count, 2s);
    std::vector<Frame> frames;
    for (const auto& f : device.frames())
        frames.push_back(f.bytes);
    return frames;
}

void ControllerTest::loadTemplate(CMoravelSDIDoc& doc)
{
    RecordingInteraction quiet;
    ASSERT_TRUE(doc.LoadFromFile(MORAVEL_TEMPLATE_FILE, quiet));
}

void ControllerTest::TearDown()
{
    if (app.IsConnected())
        KorvexCloseConnection(&app.m_context);
}

} // namespace moravel::test
