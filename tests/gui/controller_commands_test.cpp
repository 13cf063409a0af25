// The controller commands through the window, against the simulated controller on COM3.

#include "tests/gui/gui_support.h"

#include "app/shell/com_port_dialog.h"
#include "app/shell/compare_dialog.h"
#include "app/shell/views.h"
#include "params/parameter_table.h"
#include "tests/support/test_support.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <filesystem>

namespace moravel::gui {
namespace {

using namespace std::chrono_literals;

class ControllerCommands : public WindowTest {
protected:
    void TearDown() override
    {
        controller().setSilent(false);
        controller().clearWrongValueEcho();
        controller().setNoReplyForKey(std::nullopt);
        WindowTest::TearDown();
    }

    // Clicks a button of the control view and waits for its command.
    void click(QPushButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        waitIdle();
    }

    // Records every status text and the largest progress the window showed.
    void watchStatus()
    {
        QObject::connect(&ui(), &GuiInteraction::statusTextChanged, &frame(),
                         [this](const QString& t) { m_statusTexts << t; });
        QObject::connect(&ui(), &GuiInteraction::progressChanged, &frame(), [this](qint64 done, qint64 total) {
            m_progressTotal = total;
            m_progressDone = std::max(m_progressDone, done);
            m_progressVisible = m_progressVisible || frame().progressBar()->isVisible();
        });
    }

    QStringList m_statusTexts;
    qint64 m_progressDone = 0;
    qint64 m_progressTotal = 0;
    bool m_progressVisible = false;
};

TEST_F(ControllerCommands, OpenAndCloseSwitchTheirMenuItems)
{
    runCommand(Command::OpenConnection);
    EXPECT_TRUE(app().IsConnected());
    EXPECT_FALSE(enabled(Command::OpenConnection));
    EXPECT_TRUE(enabled(Command::CloseConnection));
    runCommand(Command::CloseConnection);
    EXPECT_FALSE(app().IsConnected());
    EXPECT_TRUE(enabled(Command::OpenConnection));
    EXPECT_FALSE(enabled(Command::CloseConnection));
    EXPECT_TRUE(m_driver.messages.isEmpty()) << m_driver.messages.join('|').toStdString();
}

TEST_F(ControllerCommands, JogAndBothStopsDriveTheFahrenBox)
{
    CMoravelControlView& control = *frame().controlView();
    QCheckBox* fahren = frame().statusView()->fahrenBox();

    click(control.jogPlusButton());
    EXPECT_TRUE(fahren->isChecked());
    EXPECT_EQ(controller().machineState().positionSteps[0], 1000);
    click(control.jogMinusButton());
    EXPECT_EQ(controller().machineState().positionSteps[0], 0);
    EXPECT_EQ(frame().statusView()->refreshCount(), 1) << "a second move does not notify again";

    click(control.notHaltButton());
    EXPECT_FALSE(fahren->isChecked());
    click(control.jogPlusButton());
    EXPECT_TRUE(fahren->isChecked());
    click(control.notStopButton());
    EXPECT_FALSE(fahren->isChecked());
    EXPECT_EQ(controller().machineState().stops, 2);
    EXPECT_TRUE(m_driver.messages.isEmpty()) << m_driver.messages.join('|').toStdString();
}

TEST_F(ControllerCommands, AStopWithoutAConnectionShowsTheOpenErrorAndTicksTheBox)
{
    controller().setSilent(true);
    click(frame().controlView()->notStopButton());
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(m_driver.messages.front().startsWith(QStringLiteral("Error opening connection. ErrorCode  ")));
    EXPECT_TRUE(frame().statusView()->fahrenBox()->isChecked());
    EXPECT_EQ(controller().machineState().stops, 0);
}

TEST_F(ControllerCommands, AStopPressedDuringAMoveRunsRightAfterIt)
{
    CMoravelControlView& control = *frame().controlView();
    QTest::mouseClick(control.jogPlusButton(), Qt::LeftButton);
    EXPECT_FALSE(control.jogMinusButton()->isEnabled());
    EXPECT_FALSE(enabled(Command::ParameterRead));
    ASSERT_TRUE(control.notHaltButton()->isEnabled());
    QTest::mouseClick(control.notHaltButton(), Qt::LeftButton);
    waitIdle();
    EXPECT_EQ(controller().machineState().stops, 1);
    EXPECT_FALSE(frame().statusView()->fahrenBox()->isChecked());
}

TEST_F(ControllerCommands, ReadWithOneFailingKeyShowsItsMessageAndValidatesTheDocument)
{
    watchStatus();
    controller().parameters().setFloat(0x0102, 77.5F);
    controller().setNoReplyForKey(0x0101);
    frame().action(Command::ParameterRead)->trigger();
    // While the sweep runs, nothing else may touch the document or the connection.
    EXPECT_TRUE(frame().isBusy());
    EXPECT_FALSE(enabled(Command::ParameterNew));
    EXPECT_FALSE(enabled(Command::ParameterTransfer));
    EXPECT_FALSE(enabled(Command::OpenConnection));
    waitIdle();

    EXPECT_EQ(m_driver.messages,
              QStringList{"Fehler bei ParameterLesen    HBYTE_GESCHWINDIGKEITEN  LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT."});
    EXPECT_TRUE(doc().m_bParametersValid);
    EXPECT_EQ(doc().m_parameterSet.eilgang, 77.5F);
    EXPECT_EQ(doc().pathName(), workFile("NC-Travo_USB_Param_NEW.ncp"));
    EXPECT_TRUE(enabled(Command::ParameterTransfer));
    EXPECT_EQ(m_statusTexts, (QStringList{"Parameterübertragung ... ", "Parameterübertragung ist abgeschlossen."}));
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("Parameterübertragung ist abgeschlossen."));
    EXPECT_TRUE(m_progressVisible);
    EXPECT_EQ(m_progressTotal, 38);
    EXPECT_EQ(m_progressDone, 38);
    EXPECT_FALSE(frame().progressBar()->isVisible());
}

TEST_F(ControllerCommands, TransferWithOneWrongEchoShowsExactlyThatKeysMessage)
{
    runCommand(Command::ParameterNew);
    doc().m_parameterSet.sicherheitsabstand = 12;
    controller().setWrongValueEcho(0x0202);
    runCommand(Command::ParameterTransfer);
    EXPECT_EQ(m_driver.messages, QStringList{"Fehler bei Parameterübertragung    HBYTE_SCHNITTSTELLE  "
                                             "BYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG."});
    EXPECT_EQ(controller().parameters().getLong(0x0506), 12) << "the keys after the failing one are sent";
    EXPECT_FALSE(doc().isModified());
}

TEST_F(ControllerCommands, CompareListsTheDifferingKeysAndChangesNothing)
{
    runCommand(Command::ParameterNew);
    runCommand(Command::ParameterTransfer);
    controller().parameters().setLong(0x0506, 99);
    controller().parameters().setName("Fr\xe4se 2");
    const std::string before = doc().m_parameterSet.WriteText();

    QStringList summary;
    std::vector<QStringList> rows;
    m_driver.handlers.push_back([&](QDialog& dialog) {
        auto& compare = dynamic_cast<CompareDialog&>(dialog);
        summary << compare.summary();
        QTableWidget* table = compare.table();
        for (int r = 0; r < table->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < table->columnCount(); ++c)
                row << table->item(r, c)->text();
            rows.push_back(row);
        }
        dialog.accept();
    });
    runCommand(Command::ParameterCompare);
    ASSERT_TRUE(waitUntil([&] { return !summary.isEmpty(); }, 5000)) << m_driver.messages.join('|').toStdString();
    ASSERT_EQ(rows.size(), 2u) << summary.front().toStdString() << m_driver.messages.join('|').toStdString();
    EXPECT_EQ(rows[0].value(0), QStringLiteral("0505"));
    EXPECT_EQ(rows[0].value(1), QStringLiteral("LBYTE_SONSTIGE_CONTROLLERNAME_CHAR"));
    EXPECT_TRUE(rows[0].value(3).startsWith(QStringLiteral("Fräse 2"))) << rows[0].value(3).toStdString();
    EXPECT_EQ(rows[1].value(0), QStringLiteral("0506"));
    EXPECT_EQ(rows[1].value(3), QStringLiteral("99"));
    EXPECT_EQ(summary.front(), QStringLiteral("2 Parameter unterscheiden sich vom Controller."));
    EXPECT_EQ(doc().m_parameterSet.WriteText(), before);
    EXPECT_FALSE(doc().isModified());
}

TEST_F(ControllerCommands, FirmwareUploadThroughTheMenuShowsProgressAndClosesTheLink)
{
    watchStatus();
    std::string image(20000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7);
    const std::string path = test::TempDir::writeIn(workDir(), "firmware.crx", image);
    m_driver.paths.push_back(QString::fromStdString(path));
    runCommand(Command::FirmwareUpload);

    EXPECT_EQ(m_driver.messages, QStringList{"Aktivieren Sie den Bootloader (Enter+Reset)"});
    EXPECT_TRUE(m_progressVisible);
    EXPECT_EQ(m_progressTotal, 3 * 8192);
    EXPECT_EQ(m_progressDone, 3 * 8192);
    EXPECT_EQ(m_statusTexts.value(0), QStringLiteral("Firmwareübertragung ... "));
    EXPECT_EQ(m_statusTexts.last(), QStringLiteral("Firmwareübertragung ist abgeschlossen."));
    // 'S', 'P', 'e', "A..", three blocks of '#' and 8192 bytes, '$'.
    EXPECT_EQ(controller().bootloaderBytes().size(), 1u + 1 + 1 + 3 + 3 * 8193 + 1);
    EXPECT_FALSE(app().IsConnected());
    EXPECT_TRUE(enabled(Command::OpenConnection));
}

TEST_F(ControllerCommands, AFirmwareFileThatIsRefusedIsNamedAndNothingIsSent)
{
    // Far larger than any controller's flash (sparse, so it costs no disk).
    const std::string huge = test::TempDir::writeIn(workDir(), "kein-firmware.crx", "");
    std::filesystem::resize_file(huge, std::uintmax_t{64} << 20);
    m_driver.paths.push_back(QString::fromStdString(huge));
    runCommand(Command::FirmwareUpload);
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(m_driver.messages.front().contains(QStringLiteral("kein-firmware.crx")))
        << m_driver.messages.front().toStdString();
    EXPECT_TRUE(controller().bootloaderBytes().empty());
    EXPECT_FALSE(app().IsConnected());
}

TEST_F(ControllerCommands, ClosingDuringAnOperationClosesTheWindowWhenItHasEnded)
{
    runCommand(Command::ParameterNew);
    frame().action(Command::ParameterTransfer)->trigger();
    ASSERT_TRUE(frame().isBusy());
    frame().close();
    EXPECT_TRUE(frame().isVisible()) << "the sweep is not broken off";
    waitIdle();
    EXPECT_TRUE(waitUntil([this] { return !frame().isVisible(); }, 5000));
    EXPECT_EQ(controller().machineState().mode, 2) << "the sweep ran to its end";
}

TEST_F(ControllerCommands, ComPortSettingsAreWrittenBackAndUsedAtTheNextOpen)
{
    m_driver.handlers.push_back([](QDialog& dialog) {
        auto& com = dynamic_cast<CComPortSettingsDlg&>(dialog);
        com.modeGroup()->button(1)->setChecked(true);
        com.portCombo()->setEditText(QStringLiteral("COM3"));
        com.nameEdit()->setText(QStringLiteral("abc"));
        com.baudEdit()->setText(QStringLiteral("120000"));
        com.accept();
    });
    runCommand(Command::ComPortSettings);
    EXPECT_EQ(app().connectionMode, 1);
    EXPECT_EQ(std::string(app().m_context.portName, 5), std::string("COM3\0", 5));
    EXPECT_EQ(std::string(app().m_context.controllerName, 16), std::string("abc") + std::string(13, '\0'));
    EXPECT_EQ(app().m_context.baudRate, 120000u);
    QSettings settings;
    EXPECT_EQ(settings.value(QStringLiteral("COMSettings/Connection")).toInt(), 1);
    EXPECT_EQ(settings.value(QStringLiteral("COMSettings/BaudeRate")).toInt(), 120000);

    runCommand(Command::OpenConnection);
    EXPECT_TRUE(app().IsConnected());
    EXPECT_EQ(app().m_context.baudRate, 115200u) << "the open resets the line settings";
}

} // namespace
} // namespace moravel::gui
