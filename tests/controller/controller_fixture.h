#pragma once
// Test fixture: the application object against in-process simulated controllers on real
// pseudo-terminals, with the settings file in a temporary home directory.

#include "app/controller/moravel_app.h"
#include "sim/simulator.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace moravel::test {

using namespace std::chrono_literals;
using Frame = std::array<std::uint8_t, 64>;

// Records everything an operation tells the user, in order, and answers confirm().
class ScriptedInteraction : public UserInteraction {
public:
    void showMessage(std::string_view text) override
    {
        messages.emplace_back(text);
        events.push_back("message: " + std::string(text));
    }
    bool confirm(std::string_view text) override
    {
        confirmations.emplace_back(text);
        events.push_back("confirm: " + std::string(text));
        return confirmAnswer;
    }
    void setStatusText(std::string_view text) override
    {
        statusTexts.emplace_back(text);
        events.push_back("status: " + std::string(text));
        if (onStatus)
            onStatus(text);
    }
    void setBusy(bool busy) override
    {
        busyDepth += busy ? 1 : -1;
        events.push_back(busy ? "busy on" : "busy off");
    }
    void reportProgress(std::int64_t done, std::int64_t total) override
    {
        progress.emplace_back(done, total);
        if (onProgress)
            onProgress(done, total);
    }

    bool confirmAnswer = true;
    std::function<void(std::string_view)> onStatus;
    std::function<void(std::int64_t, std::int64_t)> onProgress;
    std::vector<std::string> messages;
    std::vector<std::string> confirmations;
    std::vector<std::string> statusTexts;
    std::vector<std::string> events;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    int busyDepth = 0;
};

// The parameter key of a class 1 request (group << 8 | item).
inline std::uint16_t keyOf(const Frame& f)
{
    return static_cast<std::uint16_t>(f[2] << 8 | f[3]);
}

// Whether f is the mode switch to mode.
inline bool isModeSwitch(const Frame& f, int mode)
{
    return f[0] == 0 && f[1] == 1 && f[2] == mode;
}

double secondsSince(std::chrono::steady_clock::time_point start);

class ControllerTest : public ::testing::Test {
protected:
    // A temporary home directory for the settings file (XDG_CONFIG_HOME is cleared, so the
    // file lies at $HOME/.config/...).
    ControllerTest();

    // Exports QUORLINK_COM1..8 for the ports added so far (the others point nowhere), starts
    // the devices and loads the settings. Call once, after addPort.
    void begin();

    // begin() with one controller on COM3, the app in mode 1 on COM3 and connected; the
    // device's logs cleared.
    quorlink::sim::Device& connectOnCom3();

    // The frames a device received after its logs were last cleared (waits for count).
    std::vector<Frame> framesOf(quorlink::sim::Device& device, std::size_t count = 0);

    // A document loaded from the template file.
    void loadTemplate(CMoravelSDIDoc& doc);

    void TearDown() override;

    TempDir home;
    quorlink::sim::Simulator sim;
    CMoravelSDIApp app;
    ScriptedInteraction ui;
};

} // namespace moravel::test
