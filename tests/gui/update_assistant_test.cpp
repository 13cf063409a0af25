// The update and restore assistants driven through the menu, against the simulator's
// controller, which restarts out of its bootloader with factory parameters.

#include "tests/gui/gui_support.h"

#include <QLabel>
#include <QTableWidget>

#include <cstdlib>

namespace moravel::gui {
namespace {

using namespace std::chrono_literals;
using quorlink::sim::ParameterStore;

class UpdateAssistantTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ::setenv("XDG_DATA_HOME", workFile("data").c_str(), 1);
        // A set unlike the factory's.
        ParameterStore& p = controller().parameters();
        p.setLong(0x0000, 1234);
        p.setFloat(0x0101, 7.25f);
        p.setFourLongs(0x040A, {300, 200, 100, 40});
        p.setName("Fr\xE4se 2");
        p.setLong(0x0506, 9);
        m_before = p.values();
        controller().setResetAfterUpload(500ms);
    }
    void TearDown() override
    {
        controller().setResetAfterUpload(std::nullopt);
        controller().setIgnoredChange(std::nullopt);
        WindowTest::TearDown();
    }

    // Starts the update with a firmware of 20000 bytes; returns once the assistant is shown.
    UpdateAssistant& startUpdate()
    {
        m_driver.paths.push_back(
            QString::fromStdString(test::TempDir::writeIn(workFile(""), "firmware.crx", std::string(20000, 'Z'))));
        frame().updateCommands();
        frame().action(Command::FirmwareUpdate)->trigger();
        EXPECT_TRUE(QTest::qWaitFor([this] { return frame().assistant() != nullptr; }, 10000));
        return *frame().assistant();
    }
    QStringList marks(const UpdateAssistant& a)
    {
        QStringList list;
        for (UpdateStep step :
             {UpdateStep::Backup, UpdateStep::Upload, UpdateStep::Restart, UpdateStep::Restore, UpdateStep::Verify})
            list << a.stepMark(step);
        return list;
    }
    static std::vector<std::string> backups()
    {
        std::vector<std::string> files;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(workFile("data/moravel/backups"), error))
            files.push_back(entry.path().string());
        return files;
    }

    std::array<quorlink::sim::ValueArea, 38> m_before{};
};

// The whole update with its marks and summary, the backup under the default name (the values
// themselves: tests/controller/update_test.cpp). The window stays usable: NotHalt pressed in
// the assistant is queued.
TEST_F(UpdateAssistantTest, KeepsEveryValueAcrossAFirmwareThatStartsFromFactoryValues)
{
    const std::string documentTitle = doc().title();
    const int connectionMode = app().connectionMode;
    ASSERT_NE(connectionMode, 1) << "the wait for the restart opens by port number";
    UpdateAssistant& assistant = startUpdate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return assistant.stepMark(UpdateStep::Backup) == QStringLiteral("✓"); }, 30000));
    EXPECT_FALSE(frame().action(Command::ParameterRead)->isEnabled()) << "the connection belongs to the update";
    assistant.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&assistant));
    QTest::keyClick(&assistant, kNotHaltKey);
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("NotHalt wird nach der laufenden Operation gesendet."));
    waitIdle();

    ASSERT_TRUE(assistant.finished());
    EXPECT_EQ(marks(assistant), (QStringList{"✓", "✓", "✓", "✓", "✓"}));
    EXPECT_EQ(m_driver.messages, (QStringList{"Aktivieren Sie den Bootloader (Enter+Reset)",
                                              "Starten Sie den Controller neu (Reset) und bestätigen Sie mit OK.\n\n"
                                              "Danach wird bis zu 60 s lang an COM3 auf ihn gewartet."}));
    const auto files = backups();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(assistant.summary().startsWith(QStringLiteral("Die Firmware ist aktualisiert")))
        << assistant.summary().toStdString();
    EXPECT_TRUE(assistant.backupLabel()->text().contains(QString::fromStdString(files[0])));
    EXPECT_EQ(assistant.differenceTable(), nullptr);
    EXPECT_EQ(doc().title(), documentTitle) << "the user's document is not the backup";
    EXPECT_FALSE(doc().isModified());
    EXPECT_EQ(app().connectionMode, connectionMode) << "the user's way of connecting is kept";
    assistant.closeButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([this] { return frame().assistant() == nullptr; }, 5000));
}

// "Abbrechen" during the upload lets it finish and ends before the restart; the summary names
// the backup, and restoring it afterwards brings the values back, verified. A key the
// controller does not take is listed.
TEST_F(UpdateAssistantTest, StopsBetweenStepsAndTheBackupRestoresIt)
{
    UpdateAssistant& assistant = startUpdate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return assistant.stepMark(UpdateStep::Upload) == QStringLiteral("…"); }, 30000));
    assistant.cancelButton()->click();
    EXPECT_FALSE(assistant.cancelButton()->isEnabled());
    waitIdle();
    ASSERT_TRUE(assistant.finished());
    EXPECT_EQ(marks(assistant), (QStringList{"✓", "✓", "–", "", ""})) << "Neustart never ran";
    EXPECT_EQ(controller().bootloaderBytes().size(), 6u + 3 * 8193 + 1) << "the upload ran to its end";
    const auto files = backups();
    ASSERT_EQ(files.size(), 1u);
    const QString summary = assistant.summary();
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Abgebrochen vor Schritt „Neustart“."))) << summary.toStdString();
    EXPECT_TRUE(
        summary.contains(QStringLiteral("moravel-cli transfer --verify \"%1\"").arg(QString::fromStdString(files[0]))))
        << summary.toStdString();
    EXPECT_EQ(m_driver.messages.size(), 1) << "no restart question after Abbrechen";
    EXPECT_NE(frame().messagePane()->text(), QStringLiteral("Firmwareübertragung ist abgeschlossen."));

    // Writing the backup back asks first, naming the file; "Abbrechen" sends nothing.
    m_driver.paths.push_back(QString::fromStdString(files[0]));
    m_driver.clicks = {QStringLiteral("Abbrechen")};
    controller().clearLogs();
    runCommand(Command::ParameterRestore);
    EXPECT_TRUE(m_driver.messages.back().startsWith(QStringLiteral("Die Sicherung\n") + files[0].c_str()));
    EXPECT_EQ(controller().frameCount(), 0u);

    ASSERT_TRUE(QTest::qWaitFor([] { return !controller().restarting(); }, 10000));
    EXPECT_NE(controller().parameters().values(), m_before) << "factory values after the new firmware";
    controller().setIgnoredChange(0x0506);
    m_driver.paths.push_back(QString::fromStdString(files[0]));
    m_driver.clicks = {QStringLiteral("Zurückschreiben")};
    runCommand(Command::ParameterRestore);
    ASSERT_NE(frame().assistant(), nullptr);
    UpdateAssistant& restore = *frame().assistant();
    EXPECT_EQ(restore.stepMark(UpdateStep::Restore), QStringLiteral("✓"));
    EXPECT_EQ(restore.stepMark(UpdateStep::Verify), QStringLiteral("✗"));
    ASSERT_NE(restore.differenceTable(), nullptr);
    ASSERT_EQ(restore.differenceTable()->rowCount(), 1);
    EXPECT_EQ(restore.differenceTable()->item(0, 0)->text(), QStringLiteral("0506"));
    EXPECT_EQ(restore.differenceTable()->item(0, 2)->text(), QStringLiteral("9"));

    controller().setIgnoredChange(std::nullopt);
    m_driver.paths.push_back(QString::fromStdString(files[0]));
    m_driver.clicks = {QStringLiteral("Zurückschreiben")};
    runCommand(Command::ParameterRestore);
    UpdateAssistant& again = *frame().assistant();
    EXPECT_NE(&again, &restore) << "a finished assistant gives way to the next";
    EXPECT_EQ(again.stepMark(UpdateStep::Verify), QStringLiteral("✓"));
    EXPECT_TRUE(again.summary().startsWith(QStringLiteral("Der Controller hält wieder alle Parameter")));
    EXPECT_EQ(controller().parameters().values(), m_before);
    EXPECT_EQ(m_driver.fileDialogs.size(), 4);
}

} // namespace
} // namespace moravel::gui
