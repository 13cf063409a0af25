// The window without the controller: the menu and its enabling rules, the document commands
// and keys, the panes and bars, and the start of the program.

#include "tests/gui/gui_support.h"

#include "app/shell/recent_files.h"
#include "app/shell/views.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>

namespace moravel::gui {
namespace {

// A file the reader rejects: its second line has no '='.
constexpr const char* kRejected = "0102=20 % Eilgang\nkaputt\n";
const std::string kTemplateText = test::readFile(MORAVEL_TEMPLATE_FILE);

constexpr Command kNeedValid[] = {Command::ParameterSave,    Command::ParameterSaveAs,   Command::ParameterTransfer,
                                  Command::ParameterCompare, Command::Geschwindigkeiten, Command::Schnittstelle,
                                  Command::Mechanik,         Command::Motortest,         Command::Referenzfahrt,
                                  Command::Sonstige};

class WindowStates : public WindowTest {
protected:
    // Without a connection: the commands that need parameters are enabled only with valid ones,
    // all others but "Verbindung &schließen" always.
    void expectCommands(bool parametersValid)
    {
        frame().updateCommands();
        for (std::size_t i = 0; i < kCommandCount; ++i) {
            const auto c = static_cast<Command>(i);
            const bool needsValid = std::ranges::find(kNeedValid, c) != std::end(kNeedValid);
            EXPECT_EQ(enabled(c), c != Command::CloseConnection && (parametersValid || !needsValid))
                << frame().action(c)->text().toStdString();
        }
    }
};

TEST_F(WindowStates, NewLoadsTheTemplateAndEnablesTheParameterCommandsAndSavingItAsksForAName)
{
    expectCommands(false);
    EXPECT_EQ(frame().windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("Unbenannt - MoravelSDI"));
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("Bereit"));

    runCommand(Command::ParameterNew);
    expectCommands(true);
    EXPECT_EQ(doc().pathName(), workFile("NC-Travo_USB_Param_NEW.ncp"));
    EXPECT_FALSE(doc().isModified());
    EXPECT_EQ(m_driver.messages, QStringList{});
    const std::string saved = workFile("eigene.ncp");
    m_driver.paths.push_back(QString::fromStdString(saved));
    runCommand(Command::ParameterSave);
    EXPECT_EQ(doc().pathName(), saved);
    EXPECT_EQ(test::readFile(saved), doc().m_parameterSet.WriteText());
    EXPECT_EQ(recentFiles().value(0), QString::fromStdString(saved));
    EXPECT_EQ(frame().windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("eigene.ncp - MoravelSDI"));
}

// Ctrl+S is the plain save, even on the template (after a question, since every later "&Neu"
// starts from it); after a rejected file it would write the half-read set over the previous,
// good file, so it does nothing then.
TEST_F(WindowStates, CtrlSSavesStraightAwayButDoesNothingAfterARejectedFile)
{
    const std::string templ = workFile("NC-Travo_USB_Param_NEW.ncp");
    runCommand(Command::ParameterNew);
    doc().m_parameterSet.eilgang = 42.5F;
    doc().setModified();
    m_driver.clicks = {QStringLiteral("Vorlage überschreiben")};
    press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(doc().isModified());
    EXPECT_EQ(test::readFile(templ), doc().m_parameterSet.WriteText());
    EXPECT_TRUE(m_driver.messages.takeFirst().startsWith(QString::fromStdString(templ) + " ist die Vorlage"));
    test::writeFile(templ, kTemplateText);

    const std::string good = test::TempDir::writeIn(workFile(""), "gut.ncp", kTemplateText);
    const std::string bad = test::TempDir::writeIn(workFile(""), "kaputt.ncp", kRejected);
    m_driver.paths = {QString::fromStdString(good), QString::fromStdString(bad)};
    runCommand(Command::ParameterOpen);
    runCommand(Command::ParameterOpen);
    EXPECT_EQ(m_driver.messages.size(), 1) << "the reader's message";
    EXPECT_EQ(doc().pathName(), good);
    expectCommands(false);

    for (Qt::Key key : {Qt::Key_S, Qt::Key_N, Qt::Key_O})
        press(key, Qt::ControlModifier);
    EXPECT_EQ(test::readFile(good), kTemplateText);
    EXPECT_EQ(m_driver.fileDialogs.size(), 2) << "no dialog after the two opens (Ctrl+N and Ctrl+O do nothing)";
}

TEST_F(WindowStates, TheSaveQuestionGuardsNewAndClosingAndAbbrechenKeepsTheDocument)
{
    runCommand(Command::ParameterNew);
    for (Command c : {Command::ParameterNew, Command::Exit}) {
        SCOPED_TRACE(frame().action(c)->text().toStdString());
        doc().setModified();
        m_driver.messages.clear();
        m_driver.answers = {QMessageBox::Cancel};
        runCommand(c);
        EXPECT_EQ(m_driver.messages.size(), 1);
        EXPECT_TRUE(doc().isModified());
        EXPECT_TRUE(frame().isVisible());
        m_driver.answers = {QMessageBox::No};
        runCommand(c);
        EXPECT_EQ(m_driver.messages.size(), 2);
        EXPECT_EQ(doc().isModified(), c == Command::Exit);
        EXPECT_EQ(frame().isVisible(), c == Command::ParameterNew);
    }
}

TEST_F(WindowStates, SplitterStartsWithTheStatusViewAt300PixelsAndF6SwitchesThePanes)
{
    EXPECT_EQ(frame().splitter()->widget(0), frame().statusView());
    EXPECT_EQ(frame().splitter()->sizes().value(0), 300);

    press(Qt::Key_F6);
    EXPECT_TRUE(frame().statusView()->hasFocus()) << "the control view starts active";
    press(Qt::Key_F6);
    EXPECT_TRUE(frame().controlView()->isAncestorOf(QApplication::focusWidget()) || frame().controlView()->hasFocus());
    press(Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_TRUE(frame().statusView()->hasFocus());
}

// The menus' items and the dialogs they open: UnhappyPaths.EveryDialogAndBoxHasExactlyItsOwnTitle.
TEST_F(WindowStates, MenusToolbarAndViewTogglesFollowTheCommandTable)
{
    auto texts = [](const QList<QAction*>& actions) {
        QStringList result;
        for (QAction* a : actions)
            result << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return result;
    };
    EXPECT_EQ(texts(frame().menuBar()->actions()),
              (QStringList{"&Datei", "&Ansicht", "COM port", "Firmware", "Parameter", "&?"}));
    EXPECT_EQ(texts(frame().toolBar()->actions()),
              (QStringList{"&Neu", "&Öffnen...", "&Speichern", "-", "Inf&o über MoravelSDI..."}));

    const std::pair<Command, QWidget*> toggles[] = {{Command::ToolBar, frame().toolBar()},
                                                    {Command::StatusBar, frame().statusBar()}};
    for (const auto& [command, bar] : toggles) {
        QAction* toggle = frame().action(command);
        SCOPED_TRACE(toggle->text().toStdString());
        for (bool shown : {true, false, true}) {
            EXPECT_EQ(std::pair(toggle->isChecked(), bar->isVisible()), std::pair(shown, shown));
            toggle->trigger();
        }
    }
}

TEST(ProgramStart, AFileOnTheCommandLineBecomesTheDocumentAndARejectedOneEndsTheProgram)
{
    const std::string good = test::TempDir::writeIn(workFile(""), "start-gut.ncp", kTemplateText);
    MoravelProgram program;
    ASSERT_TRUE(program.start({QString::fromStdString(good)}));
    EXPECT_EQ(program.document().pathName(), good);
    EXPECT_TRUE(program.window()->action(Command::ParameterSave)->isEnabled());
    EXPECT_TRUE(program.window()->windowTitle().startsWith(QStringLiteral("start-gut.ncp")));

    DialogDriver driver;
    const std::string bad = test::TempDir::writeIn(workFile(""), "start-kaputt.ncp", kRejected);
    MoravelProgram rejected;
    EXPECT_FALSE(rejected.start({QString::fromStdString(bad)}));
    EXPECT_EQ(rejected.window(), nullptr);
    EXPECT_EQ(driver.messages.size(), 1) << "the reader's message";
}

} // namespace
} // namespace moravel::gui
