#pragma once
// The program as a whole: the objects of one run and the start sequence.
//
// MoravelProgram owns the application object, the document, the window's user interaction
// and, once started, the main window. start() runs the start sequence: the per-user settings,
// then the document (the file of the command line, if any), then the window. The executable
// `moravel` is main() around it; the tests and the start-up benchmark create it in-process.

#include "app/controller/moravel_app.h"
#include "app/document/moravel_document.h"
#include "app/shell/gui_interaction.h"

#include <QStringList>

#include <memory>

class QApplication;
class QTranslator;

namespace moravel {

class CMainFrame;

// Application-wide set-up before anything else: names for the settings, the icon, Qt's German
// translations (so that standard dialogs and buttons are German whatever the user's locale).
void setUpApplication(QApplication& application);

class MoravelProgram {
public:
    MoravelProgram();
    ~MoravelProgram();
    MoravelProgram(const MoravelProgram&) = delete;
    MoravelProgram& operator=(const MoravelProgram&) = delete;

    // The start sequence. arguments: the command line without the program name; at most one
    // parameter file. Returns false when the file could not be opened or was rejected (its
    // messages have been shown); the program then ends. Otherwise the window is shown.
    bool start(const QStringList& arguments);

    CMoravelSDIApp& app() { return m_app; }
    CMoravelSDIDoc& document() { return m_doc; }
    GuiInteraction& interaction() { return m_ui; }
    CMainFrame* window() const { return m_window.get(); }

private:
    CMoravelSDIApp m_app;
    CMoravelSDIDoc m_doc;
    GuiInteraction m_ui;
    std::unique_ptr<CMainFrame> m_window;
};

// main() of `moravel`.
int runMoravel(int argc, char** argv);

} // namespace moravel
