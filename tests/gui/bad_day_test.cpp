// The window on a bad day: the stops in reach at 480 x 360 and beside the assistant, a read
// that lost its link half-way and the names a save proposes, the closing texts of the sweeps,
// the diagnosis of a port that will not open, the link pane through an open and an unplugged
// device.

#include "tests/gui/gui_support.h"

#include "app/shell/views.h"
#include "tests/support/child_process.h"
#include "tests/support/frames.h"

#include <QAbstractScrollArea>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace moravel::gui {
namespace {

class BadDay : public WindowTest {
protected:
    CMoravelControlView& control() { return *frame().controlView(); }
    QString linkText() { return frame().linkPane()->text(); }
    QString title() { return frame().windowTitle().remove(QStringLiteral("[*]")); }

    // Inside the window, cut by nothing, full size, in no scroll area, clear of other windows.
    void expectInReach(const QPushButton* stop)
    {
        EXPECT_TRUE(frame().rect().contains(QRect(stop->mapTo(&frame(), QPoint(0, 0)), stop->size())));
        EXPECT_EQ(stop->visibleRegion().boundingRect(), stop->rect());
        EXPECT_TRUE(stop->width() >= stop->sizeHint().width() && stop->height() >= stop->sizeHint().height());
        for (const QWidget* w = stop->parentWidget(); w != nullptr; w = w->parentWidget())
            EXPECT_EQ(qobject_cast<const QAbstractScrollArea*>(w), nullptr);
        for (const QWidget* w : QApplication::topLevelWidgets()) {
            const QRect onScreen(stop->mapToGlobal(QPoint(0, 0)), stop->size());
            EXPECT_FALSE(w != &frame() && w->isVisible() && w->frameGeometry().intersects(onScreen));
        }
    }
};

TEST_F(BadDay, TheStopsStayInReachAt480x360AndTheAssistantKeepsClearOfThem)
{
    frame().resize(480, 360);
    ASSERT_TRUE(QTest::qWaitFor([this] { return frame().size() == QSize(480, 360); }));
    QPushButton* stops[] = {control().notHaltButton(), control().notStopButton()};
    const QSize jog = control().jogPlusButton()->size();
    for (QPushButton* stop : stops) {
        expectInReach(stop);
        EXPECT_GT(stop->width() * stop->height(), 2 * jog.width() * jog.height()) << "the largest controls";
    }
    EXPECT_EQ(stops[1]->nextInFocusChain(), control().jogMinusButton());
    EXPECT_EQ(control().jogMinusButton()->nextInFocusChain(), control().jogPlusButton());
    frame().SetStatusText(QStringLiteral("Parameterübertragung abgebrochen: 18 von 38 übertragen."));
    EXPECT_EQ(frame().messagePane()->shownText(), frame().messagePane()->text()) << "the whole text";

    QTest::mouseClick(stops[0], Qt::LeftButton);
    waitIdle();
    EXPECT_TRUE(test::isStop(test::requestsOf(controller()).back(), 1)) << "NotHalt";

    ::setenv("XDG_DATA_HOME", workFile("data").c_str(), 1);
    m_driver.paths = {QString::fromStdString(test::TempDir::writeIn(workFile(""), "f.crx", std::string(20000, 'Z')))};
    frame().action(Command::FirmwareUpdate)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return frame().assistant() != nullptr && frame().assistant()->isVisible(); }));
    QApplication::processEvents();
    for (QPushButton* stop : stops)
        expectInReach(stop);
    frame().assistant()->cancelButton()->click();
    waitIdle();
}

TEST_F(BadDay, AHalfSetIsMarkedAndSavedOnlyAfterAQuestionNamingItsKeys)
{
    // A file that lacks a key shows the template's value for it, not the previous file's.
    const std::string text = test::readFile(workFile("NC-Travo_USB_Param_NEW.ncp"));
    const std::size_t line = text.find("0102="), next = text.find('\n', line) + 1;
    for (const auto& [name, content] : {std::pair{"anders.ncp", text.substr(0, line) + "0102=42\n" + text.substr(next)},
                                        {"luecke.ncp", text.substr(0, line) + text.substr(next)}})
        frame().openDocument(QString::fromStdString(test::TempDir::writeIn(workFile(""), name, content)));
    EXPECT_FLOAT_EQ(doc().m_parameterSet.eilgang, 10.0F);
    EXPECT_EQ(frame().documentNote()->text(), QStringLiteral("37 von 38 Parametern aus der Datei gelesen"));
    EXPECT_EQ(title(), QStringLiteral("luecke.ncp (unvollständig) - MoravelSDI"));

    // The link lost at key 19 of a read: mode 1 and 18 keys answered.
    runCommand(Command::OpenConnection);
    controller().disappearAtFrame(20);
    runCommand(Command::ParameterRead);
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("Parameterübertragung abgebrochen: 18 von 38 übertragen."));
    EXPECT_EQ(title(), QStringLiteral("NC-Travo_USB_Param_NEW.ncp (unvollständig) - MoravelSDI"));
    frame().statusBar()->showMessage(QStringLiteral("Ein Menüpunkt")); // a prompt comes and goes
    frame().statusBar()->clearMessage();
    EXPECT_TRUE(frame().documentNote()->isVisible() &&
                frame().documentNote()->text() == "18 von 38 Parametern vom Controller gelesen");

    // "Speichern unter": the question first, and "Abbrechen" (the default) writes nothing.
    m_driver.messages = m_driver.fileDialogs = {};
    m_driver.clicks = {QStringLiteral("Abbrechen")};
    runCommand(Command::ParameterSaveAs);
    ASSERT_EQ(m_driver.messages.size(), 1);
    const QString question = m_driver.messages.takeFirst();
    EXPECT_TRUE(question.startsWith(QStringLiteral("20 von 38 Parametern haben keinen Wert vom Controller:")));
    for (const char* key :
         {"LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT (0x0401)", "LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG (0x0506)"})
        EXPECT_TRUE(question.contains(QLatin1String(key))) << key;
    EXPECT_FALSE(question.contains(QStringLiteral("(0x0400)"))) << "key 18 was read";
    EXPECT_EQ(m_driver.boxButtons.back(), (QStringList{"Speichern", "Abbrechen"}));
    EXPECT_EQ(m_driver.boxDefaults.back(), QStringLiteral("Abbrechen"));
    EXPECT_TRUE(m_driver.fileDialogs.isEmpty());
    m_driver.clicks = {QStringLiteral("Speichern")};
    m_driver.paths = {QStringLiteral("gelesen.ncp")};
    runCommand(Command::ParameterSaveAs);
    EXPECT_TRUE(std::filesystem::exists(workFile("gelesen.ncp")));
    EXPECT_EQ(test::readFile(workFile("NC-Travo_USB_Param_NEW.ncp")), text);

    // After "&Neu" a new name, numbered when taken; under the template's name, in any folder,
    // a question first, and "Abbrechen" writes nothing.
    runCommand(Command::ParameterNew);
    test::writeFile(workFile("Unbenannt.ncp"), "taken");
    const test::TempDir other;
    const std::string templ = other.file("NC-Travo_USB_Param_NEW.ncp");
    m_driver.paths = {QString::fromStdString(templ)};
    m_driver.clicks = {QStringLiteral("Abbrechen")};
    runCommand(Command::ParameterSaveAs);
    EXPECT_EQ(m_driver.proposed, (QStringList{QString::fromStdString(workFile("Unbenannt.ncp")),
                                              QString::fromStdString(workFile("Unbenannt-2.ncp"))}));
    EXPECT_TRUE(
        m_driver.messages.value(m_driver.messages.size() - 1).startsWith(QString::fromStdString(templ) + " ist"));
    EXPECT_EQ(m_driver.boxButtons.back(), (QStringList{"Vorlage überschreiben", "Abbrechen"}));
    EXPECT_FALSE(std::filesystem::exists(templ));
}

// "Abbrechen" in a failure message, a failing key and a clean sweep each end with their own
// text; a stop queued behind a sweep is confirmed when it has gone out.
TEST_F(BadDay, TheClosingTextOfASweepCountsWhatWentThrough)
{
    runCommand(Command::ParameterNew);
    QStringList texts;
    QObject::connect(&m_program->interaction(), &GuiInteraction::statusTextChanged, &frame(),
                     [&](const QString& t) { texts << t; });
    for (const auto& [silentKey, click, closing] :
         {std::tuple{std::optional<std::uint16_t>(0x0003), "Abbrechen", "abgebrochen: 3 von 38 übertragen."},
          {0x0101, "", "mit Fehlern: 37 von 38 übertragen."},
          {std::nullopt, "", "ist abgeschlossen."}}) {
        controller().setNoReplyForKey(silentKey);
        m_driver.clicks = {QString::fromUtf8(click)};
        texts.clear();
        runCommand(Command::ParameterTransfer);
        EXPECT_EQ(texts,
                  (QStringList{"Parameterübertragung ... ", "Parameterübertragung " + QString::fromUtf8(closing)}));
    }

    frame().action(Command::ParameterTransfer)->trigger();
    press(Qt::Key_F8);
    const QString waiting = QStringLiteral("NotHalt wird nach der laufenden Operation gesendet.");
    EXPECT_TRUE(control().stopNote()->text() == waiting && frame().messagePane()->shownText() == waiting);
    waitIdle();
    EXPECT_TRUE(test::isStop(test::requestsOf(controller()).back(), 1)) << "NotHalt";
    EXPECT_TRUE(control().stopNote()->text() == "NotHalt gesendet." &&
                frame().messagePane()->text() == "NotHalt gesendet.");

    frame().action(Command::ParameterTransfer)->trigger();
    frame().close();
    EXPECT_EQ(frame().messagePane()->text(),
              QStringLiteral("Das Fenster wird nach der laufenden Operation geschlossen."));
    EXPECT_TRUE(QTest::qWaitFor([this] { return !frame().isVisible(); }, 30000));
}

// The failed open's message from the open command, and from a jog on a link whose device has
// gone: German, for the technician, without command lines, environment variables or sudo.
TEST_F(BadDay, AFailedOpenExplainsThePortInTheWindowsWords)
{
    const std::string slave = controller().slavePath();
    const QString port = QStringLiteral("\n\nCOM3 (%1): ").arg(QString::fromStdString(slave));
    struct stat original {};
    ASSERT_EQ(::stat(slave.c_str(), &original), 0);
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr) << "Debian's group for serial devices";
    // Group 1: the device held by another open; else its group, and the open made as "nobody".
    const std::pair<gid_t, const char*> cases[] = {
        {1, "Wird von einem anderen Programm benutzt. Beenden Sie es"},
        {dialout->gr_gid, "Zugriff verweigert. Das Gerät gehört der Gruppe „dialout“: Der Systemverwalter muss Ihren "
                          "Benutzer in diese Gruppe aufnehmen; danach einmal ab- und wieder anmelden."},
        {0, "Zugriff verweigert. Das Gerät gehört der Gruppe „root“, die nicht für serielle Geräte gedacht ist"},
    };
    ASSERT_EQ(app().applyChoice({1, "COM3", "x", 115200}), ComPortField::None);
    for (const auto& [group, line] : cases) {
        m_driver.messages.clear();
        const int holder = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (group == 1) {
            ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
        } else { // root opens any device
            ASSERT_EQ(::chown(slave.c_str(), 0, group) | ::chmod(slave.c_str(), group == 0 ? 0600 : 0660), 0);
            ASSERT_EQ(::seteuid(test::kNobody), 0);
        }
        runCommand(Command::OpenConnection);
        EXPECT_EQ(::seteuid(0) | ::chown(slave.c_str(), original.st_uid, original.st_gid) |
                      ::chmod(slave.c_str(), original.st_mode & 07777) | ::close(holder),
                  0);
        EXPECT_TRUE(m_driver.messages.value(0).startsWith("Error opening connection. ErrorCode") &&
                    m_driver.messages.value(0).contains(port + QString::fromUtf8(line)));
    }

    runCommand(Command::OpenConnection);
    ASSERT_TRUE(app().isConnected());
    m_driver.messages.clear();
    controller().disappearNow();
    ASSERT_TRUE(QTest::qWaitFor([] { return controller().disappeared(); }));
    QTest::mouseClick(control().jogPlusButton(), Qt::LeftButton);
    waitIdle();
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(
        m_driver.messages.front().endsWith(port + QStringLiteral("Das Gerät ist nicht (mehr) vorhanden. Ist der "
                                                                 "Controller angeschlossen und eingeschaltet?")));
    for (const char* hint : {"moravel-cli", "QUORLINK", "sudo"})
        EXPECT_FALSE(m_driver.messages.front().contains(QLatin1String(hint))) << hint;
}

TEST_F(BadDay, TheLinkPaneShowsTheOpenUnderWayAndAnUnpluggedDeviceWhileIdle)
{
    ASSERT_EQ(app().applyChoice({1, "COM3", "x", 115200}), ComPortField::None);
    controller().setSilent(true); // the open waits for an answer that does not come
    frame().action(Command::OpenConnection)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([this] { return linkText() == QStringLiteral("Verbindung wird aufgebaut ..."); }));
    waitIdle();
    EXPECT_EQ(linkText(), QStringLiteral("Nicht verbunden"));
    controller().setSilent(false);
    runCommand(Command::OpenConnection);
    EXPECT_EQ(linkText(), QStringLiteral("Verbunden: COM3 (%1)").arg(QString::fromStdString(controller().slavePath())));

    const std::size_t frames = controller().frameCount();
    controller().disappearNow();
    EXPECT_TRUE(QTest::qWaitFor([this] { return linkText() == QStringLiteral("Nicht verbunden (Gerät entfernt)"); }));
    EXPECT_EQ(controller().frameCount(), frames) << "noticed without a byte on the line";
    EXPECT_EQ(m_driver.messages.size(), 1) << "only the failed open's";
}

} // namespace
} // namespace moravel::gui
