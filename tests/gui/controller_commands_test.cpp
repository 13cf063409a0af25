// The controller commands through the window, against the simulated controller on COM3; the
// "Com Port Settings" dialog; the messages of the worker thread.

#include "tests/gui/gui_support.h"

#include "app/dialogs/field_validation.h"
#include "app/shell/compare_dialog.h"
#include "app/shell/views.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <atomic>
#include <filesystem>
#include <thread>

namespace moravel::gui {
namespace {

class ControllerCommands : public WindowTest {
protected:
    void click(QPushButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        waitIdle();
    }
    static int stops() { return controller().machineState().stops; }
    static int positionX() { return controller().machineState().positionSteps[0]; }

    // Records every status text and the last progress the window showed.
    void watchStatus()
    {
        QObject::connect(&m_program->interaction(), &GuiInteraction::statusTextChanged, &frame(),
                         [this](const QString& t) { m_statusTexts << t; });
        QObject::connect(&m_program->interaction(), &GuiInteraction::progressChanged, &frame(),
                         [this](qint64 done, qint64 total) {
                             m_progress = {done, total};
                             m_progressShown = m_progressShown || frame().progressBar()->isVisible();
                         });
    }

    QStringList m_statusTexts;
    std::pair<qint64, qint64> m_progress;
    bool m_progressShown = false;
};

TEST_F(ControllerCommands, ComPortSettingsAreWrittenBackAndOpenAndCloseSwitchTheirMenuItems)
{
    answerComPortDialog([](CComPortSettingsDlg& com) {
        com.modeGroup()->button(1)->setChecked(true);
        com.portCombo()->setEditText(QStringLiteral("COM3"));
        com.baudEdit()->setText(QStringLiteral("120000"));
    });
    runCommand(Command::ComPortSettings);
    EXPECT_EQ(app().connectionMode, 1);
    EXPECT_EQ(app().m_context.baudRate, 120000u);
    runCommand(Command::OpenConnection);
    EXPECT_TRUE(app().isConnected());
    EXPECT_FALSE(enabled(Command::OpenConnection));
    EXPECT_TRUE(enabled(Command::CloseConnection));
    runCommand(Command::CloseConnection);
    EXPECT_FALSE(app().isConnected());
    EXPECT_TRUE(enabled(Command::OpenConnection));
    EXPECT_FALSE(enabled(Command::CloseConnection));
    EXPECT_EQ(m_driver.messages, QStringList{});
}

TEST_F(ControllerCommands, JogAndBothStopsDriveTheReadOnlyFahrenBox)
{
    CMoravelControlView& control = *frame().controlView();
    QCheckBox* fahren = frame().statusView()->fahrenBox();
    const int stops0 = stops(), x0 = positionX();
    QTest::mouseClick(fahren, Qt::LeftButton);
    EXPECT_FALSE(fahren->isChecked());

    // A stop that cannot reach the controller shows the open error and ticks the box.
    controller().setSilent(true);
    click(control.notStopButton());
    controller().setSilent(false);
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(m_driver.messages.front().startsWith(QStringLiteral("Error opening connection. ErrorCode  ")));
    EXPECT_TRUE(fahren->isChecked());
    EXPECT_EQ(stops(), stops0);

    click(control.notHaltButton());
    EXPECT_FALSE(fahren->isChecked());
    EXPECT_EQ(stops(), stops0 + 1);
    click(control.jogPlusButton());
    EXPECT_TRUE(fahren->isChecked());
    EXPECT_EQ(positionX(), x0 + 1000);
    click(control.jogMinusButton());
    EXPECT_EQ(positionX(), x0);
    EXPECT_EQ(frame().statusView()->refreshCount(), 3) << "a second move does not notify again";
    runCommand(Command::ParameterNew);
    EXPECT_TRUE(fahren->isChecked()) << "the indicator survives \"&Neu\"";

    // A stop pressed while a move is under way runs right after it.
    QTest::mouseClick(control.jogPlusButton(), Qt::LeftButton);
    EXPECT_FALSE(control.jogMinusButton()->isEnabled());
    ASSERT_TRUE(control.notStopButton()->isEnabled());
    click(control.notStopButton());
    EXPECT_FALSE(fahren->isChecked());
    EXPECT_EQ(stops(), stops0 + 2);
    EXPECT_EQ(positionX(), x0 + 1000);
    EXPECT_EQ(m_driver.messages.size(), 1);
}

TEST_F(ControllerCommands, ReadWithOneFailingKeyShowsItsMessageAndClosingWaitsForTheSweep)
{
    watchStatus();
    controller().parameters().setFloat(0x0102, 77.5F);
    controller().setNoReplyForKey(0x0101);
    frame().action(Command::ParameterRead)->trigger();
    // Nothing else may use the document or the connection meanwhile; closing waits for the end.
    for (Command c : {Command::ParameterNew, Command::ParameterTransfer, Command::OpenConnection})
        EXPECT_FALSE(enabled(c)) << frame().action(c)->text().toStdString();
    frame().close();
    EXPECT_TRUE(frame().isVisible());
    waitIdle();

    EXPECT_EQ(m_driver.messages,
              QStringList{"Fehler bei ParameterLesen    HBYTE_GESCHWINDIGKEITEN  LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT."});
    EXPECT_EQ(doc().m_parameterSet.eilgang, 77.5F);
    EXPECT_EQ(doc().pathName(), workFile("NC-Travo_USB_Param_NEW.ncp"));
    EXPECT_TRUE(enabled(Command::ParameterTransfer));
    EXPECT_EQ(m_statusTexts,
              (QStringList{"Parameterübertragung ... ", "Parameterübertragung mit Fehlern: 37 von 38 übertragen."}));
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("Parameterübertragung mit Fehlern: 37 von 38 übertragen."));
    EXPECT_TRUE(m_progressShown);
    EXPECT_EQ(m_progress, (std::pair<qint64, qint64>{38, 38}));
    EXPECT_FALSE(frame().progressBar()->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !frame().isVisible(); }));
}

TEST_F(ControllerCommands, TransferWithOneWrongEchoNamesThatKeyAndCompareListsTheDifferences)
{
    runCommand(Command::ParameterNew);
    giveOrigins(); // as read from the template
    doc().m_parameterSet.sicherheitsabstand = 12;
    controller().setWrongValueEcho(0x0202);
    runCommand(Command::ParameterTransfer);
    EXPECT_EQ(m_driver.messages, QStringList{"Fehler bei Parameterübertragung    HBYTE_SCHNITTSTELLE  "
                                             "BYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG."});
    EXPECT_EQ(controller().parameters().getLong(0x0506), 12) << "the keys after the failing one are sent";

    // The comparison shows the keys changed on the controller since, and changes nothing.
    controller().parameters().setLong(0x0506, 99);
    controller().parameters().setName("Fr\xe4se 2");
    const std::string before = doc().m_parameterSet.WriteText();
    QStringList shown; // the summary, then each row with its (trimmed) cells joined by '|'
    m_driver.handlers.push_back([&](QDialog& dialog) {
        auto& compare = dynamic_cast<CompareDialog&>(dialog);
        shown << compare.summary();
        for (int r = 0; r < compare.table()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < compare.table()->columnCount(); ++c)
                cells << compare.table()->item(r, c)->text().trimmed();
            shown << cells.join('|');
        }
        dialog.accept();
    });
    runCommand(Command::ParameterCompare);
    EXPECT_EQ(shown, (QStringList{"2 Parameter unterscheiden sich vom Controller.",
                                  "0505|LBYTE_SONSTIGE_CONTROLLERNAME_CHAR|NC-Travo USB|Fräse 2",
                                  "0506|LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG|12|99"}));
    EXPECT_EQ(doc().m_parameterSet.WriteText(), before);
    EXPECT_FALSE(doc().isModified());
}

TEST_F(ControllerCommands, FirmwareUploadThroughTheMenuShowsProgressAndARefusedFileSendsNothing)
{
    watchStatus();
    // Far larger than any controller's flash (sparse, so it costs no disk).
    const std::string huge = test::TempDir::writeIn(workFile(""), "kein-firmware.crx", "");
    std::filesystem::resize_file(huge, std::uintmax_t{64} << 20);
    m_driver.paths.push_back(QString::fromStdString(huge));
    runCommand(Command::FirmwareUpload);
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(m_driver.messages.front().contains(QStringLiteral("kein-firmware.crx")));
    EXPECT_TRUE(controller().bootloaderBytes().empty());

    const std::string image(20000, '\x5a');
    m_driver.paths.push_back(QString::fromStdString(test::TempDir::writeIn(workFile(""), "firmware.crx", image)));
    m_driver.messages.clear();
    runCommand(Command::FirmwareUpload);
    EXPECT_EQ(m_driver.messages, QStringList{"Aktivieren Sie den Bootloader (Enter+Reset)"});
    EXPECT_TRUE(m_progressShown);
    EXPECT_EQ(m_progress, (std::pair<qint64, qint64>{20000, 20000})) << "the file's bytes, not the padding";
    EXPECT_EQ(m_statusTexts, (QStringList{"Firmwareübertragung ... ", "Checksumme prüfen ...",
                                          "Firmwareübertragung ist abgeschlossen."}));
    // 'S', 'P', 'e', "A..", three blocks of '#' and 8192 bytes, '$'.
    EXPECT_EQ(controller().bootloaderBytes().size(), 1u + 1 + 1 + 3 + 3 * 8193 + 1);
    EXPECT_FALSE(app().isConnected());
}

// The fields filter what is typed; "OK" checks the baud rate (a number, then its range), the
// name (its length, then code page 1252), then the port, naming and focusing the first failure.
TEST(ComPortDialog, FiltersItsFieldsAndOkChecksBaudThenNameThenPortFocusingTheFirstFailure)
{
    DialogDriver driver;
    CComPortSettingsDlg dialog(ComPortChoice{1, "COM7", "Fr\xe4se", 120000});
    EXPECT_EQ(dialog.nameEdit()->text(), QStringLiteral("Fräse"));
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.baudEdit()->clear();
    QTest::keyClicks(dialog.baudEdit(), QStringLiteral("1a2-3"));
    EXPECT_EQ(dialog.baudEdit()->text(), QStringLiteral("123"));
    dialog.nameEdit()->clear();
    for (const QChar c : QStringLiteral("Ä€\u4e2dx"))
        QTest::sendKeyEvent(QTest::Click, dialog.nameEdit(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    EXPECT_EQ(dialog.nameEdit()->text(), QStringLiteral("Ä€x"));
    EXPECT_EQ(dialog.choice().controllerName, "\xc4\x80x");

    const QString tooLong = QStringLiteral("12345678901234567");
    const struct {
        QString baud, name, port; // the name as pasted, past the field's filter
        ComPortField refused;
        std::string message;
        QWidget* focus;
    } steps[] = {
        {"", tooLong, "COM123", ComPortField::BaudRate, integerExpectedMessage(), dialog.baudEdit()},
        {"99999999999", tooLong, "COM123", ComPortField::BaudRate, integerRangeMessage(100000, 120000), dialog.baudEdit()},
        {"120000", tooLong, "COM123", ComPortField::ControllerName, tooManyCharactersMessage(16), dialog.nameEdit()},
        {" 100000", "x中€", "COM123", ComPortField::ControllerName, unsupportedCharactersMessage("中"), dialog.nameEdit()},
        {"120000", "x€", "COM123", ComPortField::PortName, tooManyCharactersMessage(5), dialog.portCombo()},
        {"120000", "x€", "COM12", ComPortField::None, "", nullptr},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.message);
        dialog.baudEdit()->setText(step.baud);
        dialog.nameEdit()->setText(step.name);
        dialog.portCombo()->setEditText(step.port);
        driver.messages.clear();
        EXPECT_EQ(dialog.validate(), step.refused);
        EXPECT_EQ(driver.messages.join(""), QString::fromStdString(step.message));
        EXPECT_TRUE(!step.focus || dialog.focusWidget() == step.focus || step.focus->isAncestorOf(dialog.focusWidget()));
    }
}

// The boxes of a worker thread are shown on the GUI thread in order, each after the status
// texts sent before it, and the worker goes on only once the box has been closed.
TEST(GuiInteractionThreads, MessagesOfAWorkerAreShownInOrderAndWaitedFor)
{
    DialogDriver driver;
    driver.answers = {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Cancel};
    GuiInteraction ui;
    QStringList statusTexts; // each with the number of boxes shown before it arrived
    QObject::connect(&ui, &GuiInteraction::statusTextChanged, &ui,
                     [&](const QString& t) { statusTexts << t + "@" + QString::number(driver.messages.size()); });
    std::atomic<int> confirmed{-1};
    std::thread worker([&] {
        for (const char* text : {"eins", "zwei"}) {
            ui.setStatusText(text);
            ui.showMessage(text);
            EXPECT_EQ(driver.messages.value(driver.messages.size() - 1).toStdString(), text);
        }
        confirmed = ui.confirm("Aktivieren Sie den Bootloader (Enter+Reset)") ? 1 : 0;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return confirmed >= 0; }, 30000));
    worker.join();
    EXPECT_EQ(confirmed, 0) << "the declined confirmation";
    EXPECT_EQ(driver.messages, (QStringList{"eins", "zwei", "Aktivieren Sie den Bootloader (Enter+Reset)"}));
    EXPECT_EQ(statusTexts, (QStringList{"eins@0", "zwei@1"}));
}

} // namespace
} // namespace moravel::gui
