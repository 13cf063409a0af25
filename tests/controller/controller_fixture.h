#pragma once
// Test fixture: the application object against in-process simulated controllers on real
// pseudo-terminals, with the settings file in a temporary home directory. The moravel-cli
// tests use it too.

#include "app/controller/moravel_app.h"
#include "sim/simulator.h"
#include "tests/support/frames.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <span>

namespace moravel::test {

using namespace std::chrono_literals;
using quorlink::sim::Device;
using Bytes = std::vector<std::uint8_t>;
using Progress = std::pair<std::int64_t, std::int64_t>;
using Texts = std::vector<std::string>;

// Records everything an operation tells the user, in order, and answers confirm().
class ScriptedInteraction : public UserInteraction {
public:
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    // Recorded with the other messages; "Abbrechen" once goOnAfterFailures failures were shown.
    bool showStepFailure(std::string_view text) override
    {
        messages.emplace_back(text);
        return goOnAfterFailures < 0 || ++stepFailures <= goOnAfterFailures;
    }
    bool stopRequested() const override { return stopWhen && stopWhen(); }
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
    int goOnAfterFailures = -1; // -1: every failure answered with "go on"
    int stepFailures = 0;
    std::function<bool()> stopWhen;
    std::function<void(std::int64_t done)> onProgress;
    Texts messages, confirmations, events; // events: status texts and busy switches
    std::vector<Progress> progress;
    int busyDepth = 0;
};

inline Bytes randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Checks the frames of one parameter sweep: mode 1, one class 1 request of code per exchanged
// key in ascending order, mode 2. Returns the value areas (bytes 4 ... 19) by key.
inline std::map<std::uint16_t, Bytes> checkSweep(std::span<const Frame> frames, std::uint8_t code)
{
    std::map<std::uint16_t, Bytes> byKey;
    EXPECT_EQ(frames.size(), 40u);
    if (frames.size() != 40)
        return byKey;
    EXPECT_TRUE(isModeSwitch(frames.front(), 1));
    EXPECT_TRUE(isModeSwitch(frames.back(), 2));
    std::vector<std::uint16_t> keys;
    for (std::size_t i = 1; i + 1 < frames.size(); ++i) {
        EXPECT_TRUE(isParameter(frames[i], code));
        keys.push_back(keyOf(frames[i]));
        byKey[keys.back()] = Bytes(frames[i].begin() + 4, frames[i].begin() + 20);
    }
    const auto simulated = quorlink::sim::ParameterStore::keys();
    EXPECT_EQ(keys, std::vector<std::uint16_t>(simulated.begin(), simulated.end()));
    return byKey;
}

class ControllerTest : public ::testing::Test {
protected:
    // The settings file then lies at $HOME/.config/...
    ControllerTest()
    {
        ::setenv("HOME", home.path().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("MORAVEL_DATA_DIR");
    }
    ~ControllerTest() override
    {
        if (app.isConnected())
            KorvexCloseConnection(&app.m_context);
    }

    // Exports QUORLINK_COM1..8 for the ports added so far (the others point nowhere), starts
    // the devices and loads the settings. Call once, after addPort.
    void begin()
    {
        sim.exportEnvironment();
        sim.start();
        app.loadSettings();
    }

    void usePort(const char* name)
    {
        app.connectionMode = 1;
        std::memset(app.m_context.portName, 0, 5);
        std::memcpy(app.m_context.portName, name, std::strlen(name));
    }

    // begin() with one controller on port.
    Device& controllerOn(int port)
    {
        Device& device = sim.addPort(port);
        begin();
        return device;
    }

    // One controller on COM3, the app connected to it by port; the device's logs cleared.
    Device& connectOnCom3()
    {
        Device& device = controllerOn(3);
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
        return requestsOf(device);
    }

    TempDir home;
    quorlink::sim::Simulator sim;
    CMoravelSDIApp app;
    ScriptedInteraction ui;
};

} // namespace moravel::test
