#pragma once
// The ways moravel-cli shows the program's messages, status texts and progress.

#include "params/user_interaction.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace moravel::cli {

// Prints each message to stderr followed by a blank line, so that messages with inner line
// breaks stay apart, and each status text on a line of its own. A stop signal
// (stop_signal.h) is the user's request to stop.
//
// Progress: on a terminal one bar that is redrawn in place ("[####....]  50 %  19 / 38 keys
// 0:02"); a message or status text ends the bar's line first. Otherwise one plain line per
// report when a label is set ("Firmware: 8192 / 16384 bytes (50 %), 0.4 s"), else nothing.
class StderrInteraction : public UserInteraction {
public:
    StderrInteraction();

    void showMessage(std::string_view text) override;
    void setStatusText(std::string_view text) override;
    bool stopRequested() const override;
    void reportProgress(std::int64_t done, std::int64_t total) override;

    // What the progress counts ("keys", "bytes") and the label of its plain lines (empty:
    // no plain lines).
    void setProgressUnits(std::string_view unit, std::string_view plainLabel = {});
    // Ends the bar's line if one is open.
    void endBar();

private:
    bool m_terminal;
    bool m_barOpen = false;
    bool m_started = false;
    std::chrono::steady_clock::time_point m_start;
    std::string m_unit = "keys";
    std::string m_plainLabel;
};

// Waits for Enter on stdin. False at the end of input (Ctrl-D; on Windows Ctrl-Z), on a read
// error, and when a stop signal came (Windows: Ctrl-C). In console_posix.cpp and
// console_win32.cpp.
bool waitForEnter();

// The upload's user (flash and update): the bootloader prompt, and the progress in bytes.
class FlashInteraction : public StderrInteraction {
public:
    explicit FlashInteraction(bool assumeYes);
    bool confirm(std::string_view text) override;

protected:
    bool assumeYes() const { return m_assumeYes; }

private:
    bool m_assumeYes;
};

// Keeps the messages in order, for output as JSON.
class CollectingInteraction : public UserInteraction {
public:
    void showMessage(std::string_view text) override { m_messages.emplace_back(text); }
    const std::vector<std::string>& messages() const { return m_messages; }

private:
    std::vector<std::string> m_messages;
};

// Passes on the messages only: for steps whose status texts moravel-cli says in its own words.
class MessagesOnly : public UserInteraction {
public:
    explicit MessagesOnly(UserInteraction& ui) : m_ui(ui) {}
    void showMessage(std::string_view text) override { m_ui.showMessage(text); }
    bool stopRequested() const override { return m_ui.stopRequested(); }

private:
    UserInteraction& m_ui;
};

} // namespace moravel::cli
