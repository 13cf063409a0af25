#pragma once
// Test fixture: the application object against in-process simulated controllers on real
// pseudo-terminals, with the settings file in a temporary home directory. The moravel-cli
// tests use it too.

#include "app/controller/moravel_app.h"
#include "sim/simulator.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace moravel::test {

using namespace std::chrono_literals;
using quorlink::sim::Device;
using Bytes = std::vector<std::uint8_t>;
using Frame = std::array<std::uint8_t, 64>;
using Progress = std::pair<std::int64_t, std::int64_t>;
using Texts = std::vector<std::string>;

// Records everything an operation tells the user, in order, and answers confirm().
class ScriptedInteraction : public UserInteraction {
public:
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    bool confirm(std::string_view text) override
    {
        confirmations.emplace_back(text);
        return confirmAnswer;
    }
    void setStatusText(std::string_view text) override { events.push_back("status: " + std::string(text)); }
    void setBusy(bool busy) override
    {
        busyDepth += busy ? 1 : -1;
        events.push_back(busy ? "busy on" : "busy off");
    }
    void reportProgress(std::int64_t done, std::int64_t total) override
    {
        progress.emplace_back(done, total);
        if (onProgress)
            onProgress(done);
    }

    bool confirmAnswer = true;
    std::function<void(std::int64_t done)> onProgress;
    Texts messages, confirmations, events; // events: status texts and busy switches
    std::vector<Progress> progress;
    int busyDepth = 0;
};

inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class ControllerTest : public ::testing::Test {
protected:
    // The settings file then lies at $HOME/.config/...
    ControllerTest()
    {
        ::setenv("HOME", home.path().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    ~ControllerTest() override
    {
        if (app.IsConnected())
            KorvexCloseConnection(&app.m_context);
    }

    // Exports QUORLINK_COM1..8 for the ports added so far (the others point nowhere), starts
    // the devices and loads the settings. Call once, after addPort.
    void begin()
    {
        sim.exportEnvironment();
        sim.start();
        app.LoadSettings();
    }

    void usePort(const char* name)
    {
        app.connectionMode = 1;
        std::memset(app.m_context.portName, 0, 5);
        std::memcpy(app.m_context.portName, name, std::strlen(name));
    }

    // One controller on COM3, the app connected to it by port; the device's logs cleared.
    Device& connectOnCom3()
    {
        Device& device = sim.addPort(3);
        begin();
        usePort("COM3");
        EXPECT_TRUE(app.OpenConnection(ui));
        EXPECT_TRUE(device.waitForFrames(1, 1s));
        device.clearLogs();
        return device;
    }

    // The frames a device received since its logs were last cleared (waits for count).
    static std::vector<Frame> framesOf(Device& device, std::size_t count)
    {
        device.waitForFrames(count, 2s);
        std::vector<Frame> frames;
        for (const auto& f : device.frames())
            frames.push_back(f.bytes);
        return frames;
    }

    TempDir home;
    quorlink::sim::Simulator sim;
    CMoravelSDIApp app;
    ScriptedInteraction ui;
};

} // namespace moravel::test
