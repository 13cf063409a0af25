// The window when things go wrong: a cancelled save question before a read, a shared
// template, the settings file and its dialog, failed opens, failed keys of a sweep, values
// from nowhere before a transfer; and the titles of the dialogs and boxes.

#include "tests/gui/gui_support.h"

#include "app/controller/settings.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace moravel::gui {
namespace {

namespace fs = std::filesystem;

class UnhappyPaths : public WindowTest {
protected:
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(settingsFilePath(), ignored);
        WindowTest::TearDown();
    }

    static void writeSettings(const std::string& lines)
    {
        fs::create_directories(fs::path(settingsFilePath()).parent_path());
        test::writeFile(settingsFilePath(), "[COMSettings]\n" + lines);
    }

    // The program started afresh (the settings are read at the start).
    void restart()
    {
        m_program.reset();
        m_program = std::make_unique<MoravelProgram>();
        ASSERT_TRUE(m_program->start({}));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_program->window()));
    }
};

TEST_F(UnhappyPaths, CancelAtTheSaveQuestionOfTheReadReadsNothing)
{
    runCommand(Command::ParameterNew);
    controller().parameters().setLong(0x0506, 10);
    doc().m_parameterSet.sicherheitsabstand = 77;
    doc().setModified();
    controller().clearLogs();
    m_driver.answers = {QMessageBox::Cancel};
    runCommand(Command::ParameterRead);
    EXPECT_EQ(m_driver.messages.size(), 1) << "only the save question";
    EXPECT_EQ(doc().m_parameterSet.sicherheitsabstand, 77);
    EXPECT_TRUE(doc().isModified());
    EXPECT_FALSE(app().isConnected());
    EXPECT_EQ(controller().frameCount(), 0u);
}

TEST_F(UnhappyPaths, ASharedTemplateIsNeverWrittenButTheCurrentFoldersIs)
{
    test::TempDir shared, work;
    const std::string text = test::readFile(workFile("NC-Travo_USB_Param_NEW.ncp"));
    const std::string templ = shared.write("NC-Travo_USB_Param_NEW.ncp", text);
    setenv("MORAVEL_DATA_DIR", shared.path().c_str(), 1);
    {
        const test::InFolder inWork(work.path());
        runCommand(Command::ParameterNew);
        ASSERT_EQ(doc().pathName(), templ);
        doc().m_parameterSet.sicherheitsabstand = 55;
        doc().setModified();

        // Ctrl+S, "&Speichern" and the save question's "Ja" all ask for a new name.
        press(Qt::Key_S, Qt::ControlModifier);
        runCommand(Command::ParameterSave);
        m_driver.answers = {QMessageBox::Yes};
        runCommand(Command::ParameterNew);
        EXPECT_EQ(m_driver.fileDialogs.size(), 3);
        EXPECT_TRUE(doc().isModified()) << "each dialog was cancelled";
        EXPECT_EQ(test::readFile(templ), text);

        // Another name is written.
        m_driver.paths = {QStringLiteral("eigene.ncp")};
        press(Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(test::readFile(templ), text);
        EXPECT_EQ(doc().pathName(), (work.path() / "eigene.ncp").string());
        EXPECT_FALSE(doc().isModified());
    }
    unsetenv("MORAVEL_DATA_DIR");

    // The current folder's template is the user's own: Ctrl+S writes it, once asked.
    runCommand(Command::ParameterNew);
    ASSERT_EQ(doc().pathName(), workFile("NC-Travo_USB_Param_NEW.ncp"));
    doc().m_parameterSet.sicherheitsabstand = 56;
    doc().setModified();
    const qsizetype dialogs = m_driver.fileDialogs.size();
    m_driver.clicks = {QStringLiteral("Vorlage überschreiben")};
    press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(m_driver.fileDialogs.size(), dialogs);
    EXPECT_NE(test::readFile(workFile("NC-Travo_USB_Param_NEW.ncp")), text);
    test::writeFile(workFile("NC-Travo_USB_Param_NEW.ncp"), text);
}

TEST_F(UnhappyPaths, TheComPortDialogShowsTheStoredSettingsWhereAnOpenResetTheContext)
{
    // Stored "Mein Fräser" (UTF-8 in the file) and 110000 baud; an open by COM port leaves 16
    // blanks and 115200 in the context.
    writeSettings("Connection=1\nDeviceName=COM3\nController=Mein Fr\xC3\xA4ser\nBaudeRate=110000\n");
    restart();
    runCommand(Command::OpenConnection);
    ASSERT_TRUE(app().isConnected());
    const std::string before = test::readFile(settingsFilePath());

    QString shownName, shownBaud;
    answerComPortDialog([&](CComPortSettingsDlg& com) {
        shownName = com.nameEdit()->text();
        shownBaud = com.baudEdit()->text();
    });
    runCommand(Command::ComPortSettings);
    EXPECT_EQ(shownName, QStringLiteral("Mein Fräser"));
    EXPECT_EQ(shownBaud, QStringLiteral("110000"));
    EXPECT_EQ(test::readFile(settingsFilePath()), before) << "OK without a change writes nothing";

    // A mode no button stands for stays until one is picked.
    runCommand(Command::CloseConnection);
    writeSettings("Connection=7\nBaudeRate=110000\n");
    restart();
    int checked = 0;
    answerComPortDialog([&](CComPortSettingsDlg& com) {
        checked = com.modeGroup()->checkedId();
        com.baudEdit()->setText(QStringLiteral("120000"));
    });
    runCommand(Command::ComPortSettings);
    EXPECT_EQ(checked, -1);
    const std::string after = test::readFile(settingsFilePath());
    EXPECT_NE(after.find("Connection=7\n"), std::string::npos) << after;
    EXPECT_NE(after.find("BaudeRate=120000\n"), std::string::npos) << after;
    EXPECT_EQ(m_driver.messages, QStringList{});
}

TEST_F(UnhappyPaths, ASettingsFifoIsLeftAloneAndAnUnwritableFileIsNamedInAMessage)
{
    fs::create_directories(fs::path(settingsFilePath()).parent_path());
    ASSERT_EQ(::mkfifo(settingsFilePath().c_str(), 0600), 0);
    restart(); // with no writer at the FIFO, a read would block for ever
    EXPECT_TRUE(frame().messagePane()->text().contains(QString::fromStdString(settingsFilePath())));
    EXPECT_EQ(app().connectionMode, kDefaultConnectionMode);

    const auto changeBaud = [this](std::uint32_t baud) {
        answerComPortDialog([baud](CComPortSettingsDlg& com) { com.baudEdit()->setText(QString::number(baud)); });
        runCommand(Command::ComPortSettings);
    };
    changeBaud(110000);
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(m_driver.messages.front().contains(QString::fromStdString(settingsFilePath())));
    EXPECT_EQ(app().m_context.baudRate, 110000u) << "the choice applies to this run";
    fs::remove(settingsFilePath());

    // A folder where the file belongs: writing fails for root as well.
    fs::create_directories(settingsFilePath());
    m_driver.messages.clear();
    changeBaud(120000);
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(
        m_driver.messages.front().startsWith(QStringLiteral("Die Einstellungen können nicht gespeichert werden:\n%1\n")
                                                 .arg(QString::fromStdString(settingsFilePath()))))
        << m_driver.messages.front().toStdString();
    EXPECT_TRUE(m_driver.messages.front().contains(QString::fromLatin1(std::strerror(EISDIR))));
}

TEST_F(UnhappyPaths, AFailedKeysBoxOffersAbbrechenWhichAloneEndsTheOperation)
{
    // The box itself, asked for by a worker as a sweep does.
    for (const auto& [click, goesOn] : {std::pair{QStringLiteral("OK"), true}, {QStringLiteral("Abbrechen"), false}}) {
        m_driver.clicks = {click};
        std::atomic<int> answer = -1;
        std::thread worker([&] { answer = m_program->interaction().showStepFailure("Schritt") ? 1 : 0; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer >= 0; }, 10000));
        worker.join();
        EXPECT_EQ(answer, goesOn ? 1 : 0) << click.toStdString();
        EXPECT_EQ(m_driver.boxButtons.back(), (QStringList{"OK", "Abbrechen"}));
        EXPECT_EQ(m_driver.boxDefaults.back(), QStringLiteral("OK"));
    }
    // Escape goes on as well.
    m_driver.clicks = {QStringLiteral("Escape")};
    EXPECT_TRUE(m_program->interaction().showStepFailure("Schritt"));

    // A read whose second key fails: "Abbrechen" ends the sweep there, once the sweep asks
    // through showStepFailure.
    m_driver.messages.clear();
    controller().setNoReplyForKey(0x0101);
    controller().parameters().setLong(0x0506, 99);
    m_driver.clicks = {QStringLiteral("Abbrechen")};
    runCommand(Command::ParameterRead);
    ASSERT_EQ(m_driver.messages.size(), 1);
    if (!m_driver.boxButtons.back().contains(QStringLiteral("Abbrechen")))
        GTEST_SKIP() << "the read sweep reports its failed keys without offering to stop";
    EXPECT_NE(doc().m_parameterSet.sicherheitsabstand, 99) << "the keys after the failed one are not read";
    EXPECT_TRUE(doc().m_bParametersValid);
}

TEST_F(UnhappyPaths, ATransferAsksBeforeSendingValuesFromNowhere)
{
    runCommand(Command::ParameterNew);
    giveOrigins({0x0400});
    doc().m_parameterSet.sicherheitsabstand = 12;
    controller().parameters().setLong(0x0506, 99);
    m_driver.clicks = {QStringLiteral("Abbrechen")};
    runCommand(Command::ParameterTransfer);
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(m_driver.messages.front().contains(QStringLiteral("\nLBYTE_MECHANIK_AUFLOESUNG_X_FLOAT (0x0400)")))
        << m_driver.messages.front().toStdString();
    EXPECT_FALSE(m_driver.messages.front().contains(QStringLiteral("0x0506")));
    EXPECT_EQ(m_driver.boxButtons.back(), (QStringList{"Übertragen", "Abbrechen"}));
    EXPECT_EQ(m_driver.boxDefaults.back(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(controller().parameters().getLong(0x0506), 99) << "Abbrechen sends nothing";
    EXPECT_FALSE(app().isConnected());

    m_driver.clicks = {QStringLiteral("Übertragen")};
    runCommand(Command::ParameterTransfer);
    EXPECT_EQ(controller().parameters().getLong(0x0506), 12);

    // With every value accounted for there is no question.
    giveOrigins();
    m_driver.messages.clear();
    runCommand(Command::ParameterTransfer);
    EXPECT_EQ(m_driver.messages, QStringList{});
}

TEST_F(UnhappyPaths, EveryDialogAndBoxHasExactlyItsOwnTitle)
{
    // Qt appends an application display name, when one is set, to every window title.
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("probe")) << "no display name is set";
    QCoreApplication::setApplicationName(name);

    runCommand(Command::ParameterNew);
    for (Command c : {Command::Geschwindigkeiten, Command::Schnittstelle, Command::Mechanik, Command::Motortest,
                      Command::Referenzfahrt, Command::Sonstige, Command::ComPortSettings, Command::About})
        runCommand(c);
    ASSERT_EQ(app().applyChoice({1, "COM6", "x", 115200}), ComPortField::None);
    runCommand(Command::OpenConnection);
    EXPECT_EQ(m_driver.titles,
              (QStringList{"Geschwindigkeiten", "Schnittstelle", "Mechanik", "Motortest", "Referenzfahrt", "Sonstige",
                           "Com Port Settings", "Info über Moravel", "MoravelSDI"}));
    EXPECT_EQ(frame().windowTitle(), QStringLiteral("NC-Travo_USB_Param_NEW.ncp[*] - MoravelSDI"));
}

} // namespace
} // namespace moravel::gui
