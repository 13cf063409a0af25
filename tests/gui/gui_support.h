#pragma once
// Support for the window tests: the process-wide set-up (offscreen platform, a settings home
// and a working folder of their own, the simulated controller on COM3), the real program
// started in-process, and a driver that answers the real message boxes and file dialogs.

#include "app/shell/main_frame.h"
#include "app/shell/moravel_program.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace moravel::gui {

// The simulated controller of this test process (COM3; the other ports point nowhere).
quorlink::sim::Device& controller();
// The test's working folder (the current directory); it holds the template file.
std::string workDir();
std::string workFile(const std::string& name);
// A copy of the template file; the test's parameter files start from it.
std::string templateText();

// Answers every modal box and dialog the program opens, from a script, and records them.
// Runs on the GUI thread from a timer, so it also serves the boxes of a worker thread.
class DialogDriver {
public:
    DialogDriver();
    ~DialogDriver();

    // Answers of message boxes, in order; a box beyond the list gets OK.
    std::deque<QMessageBox::StandardButton> answers;
    // Paths for file dialogs, in order; a dialog beyond the list is cancelled.
    std::deque<QString> paths;
    // Handlers for other dialogs (called once each, in order); without one, a dialog is
    // cancelled.
    std::deque<std::function<void(QDialog&)>> handlers;

    // Texts of the message boxes, in the order they appeared.
    QStringList messages;
    // Titles of the file dialogs that were shown.
    QStringList fileDialogs;

private:
    void poll();
    QTimer* m_timer;
};

// Processes events until condition holds or timeoutMs passed; returns the condition.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 30000);

// The program started as `moravel` without arguments would be, with its window shown.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    CMainFrame& frame() { return *m_program->window(); }
    CMoravelSDIDoc& doc() { return m_program->document(); }
    CMoravelSDIApp& app() { return m_program->app(); }
    GuiInteraction& ui() { return m_program->interaction(); }
    bool enabled(Command c) { return frame().action(c)->isEnabled(); }
    // Triggers the command and waits until the operation it started has finished.
    void runCommand(Command c);
    // Waits for every controller operation to end.
    void waitIdle();

    DialogDriver m_driver;
    std::unique_ptr<MoravelProgram> m_program;
};

} // namespace moravel::gui
