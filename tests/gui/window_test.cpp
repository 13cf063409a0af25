// The window without the controller: the enabling rules of the menu, the document commands,
// title, splitter, panes and bars.

#include "tests/gui/gui_support.h"

#include "app/shell/recent_files.h"
#include "app/shell/views.h"
#include "tests/support/test_support.h"

#include <QCheckBox>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <filesystem>

namespace moravel::gui {
namespace {

// A file the reader rejects: its second line has no '='.
constexpr const char* kRejected = "0102=20 % Eilgang\nkaputt\n";

constexpr Command kNeedValid[] = {Command::ParameterSave,     Command::ParameterSaveAs,  Command::ParameterTransfer,
                                  Command::ParameterCompare,  Command::Geschwindigkeiten, Command::Schnittstelle,
                                  Command::Mechanik,          Command::Motortest,         Command::Referenzfahrt,
                                  Command::Sonstige};
constexpr Command kAlways[] = {Command::ParameterNew, Command::ParameterOpen, Command::ParameterRead,
                               Command::FirmwareUpload, Command::ComPortSettings, Command::About, Command::Exit};

using WindowStates = WindowTest;

TEST_F(WindowStates, AfterStartOnlyTheCommandsWithoutParametersAreEnabled)
{
    frame().updateCommands();
    for (Command c : kNeedValid)
        EXPECT_FALSE(enabled(c)) << frame().action(c)->text().toStdString();
    for (Command c : kAlways)
        EXPECT_TRUE(enabled(c)) << frame().action(c)->text().toStdString();
    EXPECT_TRUE(enabled(Command::OpenConnection));
    EXPECT_FALSE(enabled(Command::CloseConnection));
    EXPECT_EQ(frame().windowTitle().replace(QStringLiteral("[*]"), QString()), QStringLiteral("Unbenannt - MoravelSDI"));
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("Bereit"));
}

TEST_F(WindowStates, NewLoadsTheTemplateAndEnablesTheParameterCommands)
{
    runCommand(Command::ParameterNew);
    for (Command c : kNeedValid)
        EXPECT_TRUE(enabled(c)) << frame().action(c)->text().toStdString();
    EXPECT_EQ(doc().pathName(), workFile("NC-Travo_USB_Param_NEW.ncp"));
    EXPECT_FALSE(doc().isModified());
    EXPECT_TRUE(frame().windowTitle().startsWith(QStringLiteral("NC-Travo_USB_Param_NEW.ncp")));
    EXPECT_TRUE(m_driver.messages.isEmpty()) << m_driver.messages.join('|').toStdString();

    // "&Speichern" on the template goes through the file dialog, proposing the template.
    const std::string saved = workFile("eigene.ncp");
    m_driver.paths.push_back(QString::fromStdString(saved));
    runCommand(Command::ParameterSave);
    ASSERT_EQ(m_driver.fileDialogs.size(), 1);
    EXPECT_EQ(doc().pathName(), saved);
    EXPECT_EQ(test::readFile(saved), doc().m_parameterSet.WriteText());
    EXPECT_EQ(recentFiles().value(0), QString::fromStdString(saved));
}

TEST_F(WindowStates, ARejectedFileDisablesTheParameterCommandsAndCtrlSDoesNothing)
{
    const std::string good = test::TempDir::writeIn(workDir(), "gut.ncp", templateText());
    const std::string bad = test::TempDir::writeIn(workDir(), "kaputt.ncp", kRejected);
    m_driver.paths = {QString::fromStdString(good), QString::fromStdString(bad)};
    runCommand(Command::ParameterOpen);
    ASSERT_EQ(doc().pathName(), good);
    runCommand(Command::ParameterOpen);

    EXPECT_EQ(m_driver.messages.size(), 1) << "the reader's syntax message";
    EXPECT_EQ(doc().pathName(), good);
    frame().updateCommands();
    for (Command c : kNeedValid)
        EXPECT_FALSE(enabled(c)) << frame().action(c)->text().toStdString();

    // Ctrl+S would write the half-read set over the good file: it does nothing.
    QTest::keyClick(&frame(), Qt::Key_S, Qt::ControlModifier);
    QTest::qWait(50);
    EXPECT_EQ(test::readFile(good), templateText());
    EXPECT_TRUE(m_driver.fileDialogs.size() == 2) << "no save dialog either";
}

TEST_F(WindowStates, CtrlSSavesStraightToTheCurrentPathEvenTheTemplate)
{
    runCommand(Command::ParameterNew);
    doc().m_parameterSet.eilgang = 42.5F;
    doc().setModified();
    QTest::keyClick(&frame(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(m_driver.fileDialogs.isEmpty());
    EXPECT_FALSE(doc().isModified());
    EXPECT_EQ(test::readFile(workFile("NC-Travo_USB_Param_NEW.ncp")), doc().m_parameterSet.WriteText());
    test::writeFile(workFile("NC-Travo_USB_Param_NEW.ncp"), templateText());
}

TEST_F(WindowStates, CtrlNAndCtrlODoNothing)
{
    QTest::keyClick(&frame(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(&frame(), Qt::Key_O, Qt::ControlModifier);
    QTest::qWait(50);
    EXPECT_TRUE(m_driver.fileDialogs.isEmpty());
    EXPECT_FALSE(doc().m_bParametersValid);
}

TEST_F(WindowStates, NewAsksBeforeReplacingAModifiedDocumentAndCancelKeepsIt)
{
    runCommand(Command::ParameterNew);
    doc().setModified();
    m_driver.answers = {QMessageBox::Cancel};
    runCommand(Command::ParameterNew);
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(doc().isModified());
    EXPECT_TRUE(frame().isWindowModified());

    m_driver.answers = {QMessageBox::No};
    runCommand(Command::ParameterNew);
    EXPECT_EQ(m_driver.messages.size(), 2);
    EXPECT_FALSE(doc().isModified());
}

TEST_F(WindowStates, ClosingAsksAboutUnsavedChanges)
{
    runCommand(Command::ParameterNew);
    doc().setModified();
    m_driver.answers = {QMessageBox::Cancel};
    runCommand(Command::Exit);
    EXPECT_TRUE(frame().isVisible());
    m_driver.answers = {QMessageBox::No};
    runCommand(Command::Exit);
    EXPECT_FALSE(frame().isVisible());
}

TEST_F(WindowStates, SplitterStartsWithTheStatusViewAt300PixelsAndTheControlViewActive)
{
    ASSERT_EQ(frame().splitter()->count(), 2);
    EXPECT_EQ(frame().splitter()->widget(0), frame().statusView());
    EXPECT_EQ(frame().splitter()->widget(1), frame().controlView());
    EXPECT_EQ(frame().splitter()->sizes().value(0), 300);

    frame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame()));
    frame().controlView()->setFocus();
    QTest::keyClick(&frame(), Qt::Key_F6);
    EXPECT_TRUE(frame().statusView()->hasFocus());
    QTest::keyClick(&frame(), Qt::Key_F6);
    EXPECT_TRUE(frame().controlView()->hasFocus() || frame().controlView()->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(&frame(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_TRUE(frame().statusView()->hasFocus());
}

TEST_F(WindowStates, ViewMenuTogglesTheBarsAndTheirCheckMarks)
{
    QAction* toolBar = frame().action(Command::ToolBar);
    QAction* statusBar = frame().action(Command::StatusBar);
    EXPECT_TRUE(toolBar->isChecked());
    EXPECT_TRUE(statusBar->isChecked());
    toolBar->trigger();
    statusBar->trigger();
    EXPECT_FALSE(frame().toolBar()->isVisible());
    EXPECT_FALSE(frame().statusBar()->isVisible());
    EXPECT_FALSE(toolBar->isChecked());
    EXPECT_FALSE(statusBar->isChecked());
    toolBar->trigger();
    statusBar->trigger();
    EXPECT_TRUE(frame().toolBar()->isVisible());
    EXPECT_TRUE(frame().statusBar()->isVisible());
    EXPECT_TRUE(toolBar->isChecked());
}

TEST_F(WindowStates, MenusAndToolbarFollowTheCommandTable)
{
    QStringList menus;
    for (QAction* menu : frame().menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, (QStringList{"&Datei", "&Ansicht", "COM port", "Firmware", "Parameter", "&?"}));

    QStringList parameter;
    for (QAction* a : frame().menuBar()->actions().at(4)->menu()->actions())
        parameter << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(parameter, (QStringList{"&Neu", "&Öffnen...", "Vom Controller &Lesen", "-", "Zum Controller &Übertragen",
                                      "Mit Controller &vergleichen...", "&Speichern", "Speichern &unter ...", "-",
                                      "&Geschwindigkeiten...", "S&chnittstelle...", "&Mechanik...", "Motor&test...",
                                      "&Referenzfahrt...", "S&onstige..."}));

    const QList<QAction*> tools = frame().toolBar()->actions();
    ASSERT_EQ(tools.size(), 5);
    EXPECT_EQ(tools[0], frame().action(Command::ParameterNew));
    EXPECT_EQ(tools[1], frame().action(Command::ParameterOpen));
    EXPECT_EQ(tools[2], frame().action(Command::ParameterSave));
    EXPECT_TRUE(tools[3]->isSeparator());
    EXPECT_EQ(tools[4], frame().action(Command::About));

    QAction* transfer = frame().action(Command::ParameterTransfer);
    EXPECT_EQ(transfer->statusTip(), QStringLiteral("Aktuelle Parameter werden zum Controller übertragen."));
    EXPECT_EQ(transfer->toolTip(), QStringLiteral("Parameter zum Controller Übertragen"));
    EXPECT_EQ(frame().action(Command::ParameterNew)->toolTip(), QStringLiteral("Neue Parameterdatei Öffnen "));
}

TEST_F(WindowStates, TheInfoBoxShowsNameAndVersionAndClosesWithOk)
{
    QStringList texts;
    m_driver.handlers.push_back([&](QDialog& box) {
        texts << box.windowTitle();
        for (QLabel* label : box.findChildren<QLabel*>())
            texts << label->text();
        box.accept();
    });
    runCommand(Command::About);
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_EQ(texts.front(), QStringLiteral("Info über Moravel"));
    EXPECT_TRUE(texts.contains(QStringLiteral("MoravelSDI Version 1.0")));
}

TEST_F(WindowStates, TheFahrenBoxIsReadOnlyAndUpdatedOnlyOnChange)
{
    CMoravelStatusView& view = *frame().statusView();
    QTest::mouseClick(view.fahrenBox(), Qt::LeftButton);
    EXPECT_FALSE(view.fahrenBox()->isChecked());
    doc().SetMoving(true);
    doc().SetMoving(true);
    EXPECT_TRUE(view.fahrenBox()->isChecked());
    EXPECT_EQ(view.refreshCount(), 1);
    runCommand(Command::ParameterNew); // the indicator survives "&Neu"
    EXPECT_TRUE(view.fahrenBox()->isChecked());
    doc().SetMoving(false);
    EXPECT_FALSE(view.fahrenBox()->isChecked());
}

// Starting with a file the reader rejects shows its messages and ends the program.
TEST(ProgramStart, ARejectedFileOnTheCommandLineEndsTheProgram)
{
    DialogDriver driver;
    const std::string bad = test::TempDir::writeIn(workDir(), "start-kaputt.ncp", kRejected);
    MoravelProgram program;
    EXPECT_FALSE(program.start({QString::fromStdString(bad)}));
    EXPECT_EQ(program.window(), nullptr);
    EXPECT_EQ(driver.messages.size(), 1);
}

TEST(ProgramStart, AFileOnTheCommandLineBecomesTheDocument)
{
    const std::string good = test::TempDir::writeIn(workDir(), "start-gut.ncp", templateText());
    MoravelProgram program;
    ASSERT_TRUE(program.start({QString::fromStdString(good)}));
    EXPECT_EQ(program.document().pathName(), good);
    EXPECT_TRUE(program.window()->action(Command::ParameterSave)->isEnabled());
    EXPECT_TRUE(program.window()->windowTitle().startsWith(QStringLiteral("start-gut.ncp")));
}

} // namespace
} // namespace moravel::gui
