// The window on a bad day: the stops in reach at 480 x 360 and beside the assistant, a read
// that lost its link half-way, the closing texts of the sweeps, the diagnosis of a port that
// will not open, the link pane through an open and an unplugged device, and the name a save
// proposes.

#include "tests/gui/gui_support.h"

#include "app/shell/views.h"
#include "tests/support/child_process.h"
#include "tests/support/frames.h"

#include <QAbstractScrollArea>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace moravel::gui {
namespace {

namespace fs = std::filesystem;

class BadDay : public WindowTest {
protected:
    CMoravelControlView& control() { return *frame().controlView(); }
    QString linkText() { return frame().linkPane()->text(); }
    static QRect globalRect(const QWidget* w) { return {w->mapToGlobal(QPoint(0, 0)), w->size()}; }

    // Wholly inside the window, cut by nothing, at least the size it asks for, under no scroll area.
    void expectInReach(QPushButton* stop)
    {
        SCOPED_TRACE(stop->text().toStdString());
        EXPECT_TRUE(stop->isVisible() && stop->isEnabled());
        EXPECT_TRUE(frame().rect().contains(QRect(stop->mapTo(&frame(), QPoint(0, 0)), stop->size())));
        EXPECT_EQ(stop->visibleRegion().boundingRect(), stop->rect());
        EXPECT_GE(stop->width(), stop->sizeHint().width());
        EXPECT_GE(stop->height(), stop->sizeHint().height());
        for (QWidget* w = stop->parentWidget(); w != nullptr; w = w->parentWidget())
            EXPECT_EQ(qobject_cast<QAbstractScrollArea*>(w), nullptr) << w->objectName().toStdString();
    }

    // With MORAVEL_SHOTS set: the screen as it looks, every window at its place, into that folder.
    static void shoot(const char* name)
    {
        const char* folder = std::getenv("MORAVEL_SHOTS");
        if (folder == nullptr)
            return;
        QPixmap shot(QGuiApplication::primaryScreen()->geometry().size());
        shot.fill(QColor(0x50, 0x60, 0x70));
        QPainter painter(&shot);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                painter.drawPixmap(w->frameGeometry().topLeft(), w->grab());
        painter.end();
        EXPECT_TRUE(shot.save(QStringLiteral("%1/%2.png").arg(QString::fromLocal8Bit(folder), QLatin1String(name))));
    }

    void watchStatus()
    {
        QObject::connect(&m_program->interaction(), &GuiInteraction::statusTextChanged, &frame(),
                         [this](const QString& t) { m_statusTexts << t; });
    }
    QStringList m_statusTexts;
};

// The last request the controller received was NotHalt (with braking ramp).
bool lastWasNotHalt()
{
    const std::vector<test::Frame> frames = test::requestsOf(controller());
    return !frames.empty() && test::isStop(frames.back(), 1);
}

TEST_F(BadDay, TheStopsStayInReachAt480x360AndTheAssistantKeepsClearOfThem)
{
    frame().resize(480, 360);
    ASSERT_TRUE(QTest::qWaitFor([this] { return frame().size() == QSize(480, 360); }));
    QApplication::processEvents();
    QPushButton* stops[] = {control().notHaltButton(), control().notStopButton()};
    for (QPushButton* stop : stops) {
        expectInReach(stop);
        const QSize jog = control().jogPlusButton()->size();
        EXPECT_GT(stop->width() * stop->height(), 2 * jog.width() * jog.height()) << "the largest controls";
    }
    // Stops first, then the jog buttons from left to right.
    EXPECT_EQ(stops[0]->nextInFocusChain(), stops[1]);
    EXPECT_EQ(stops[1]->nextInFocusChain(), control().jogMinusButton());
    EXPECT_EQ(control().jogMinusButton()->nextInFocusChain(), control().jogPlusButton());

    // The message pane shows a closing text whole; the link pane gives way.
    const QString closing = QStringLiteral("Parameterübertragung abgebrochen: 18 von 38 übertragen.");
    frame().SetStatusText(closing);
    EXPECT_EQ(frame().messagePane()->shownText(), closing)
        << frame().messagePane()->width() << " of " << frame().messagePane()->fullWidth() << "; link "
        << frame().linkPane()->width() << ", bar " << frame().statusBar()->width();

    QTest::mouseClick(stops[0], Qt::LeftButton);
    waitIdle();
    EXPECT_TRUE(lastWasNotHalt()) << "a click at 480 x 360 sends it";
    EXPECT_EQ(control().stopNote()->text(), QStringLiteral("NotHalt gesendet."));
    shoot("window-480x360");

    // The assistant, as wide as the screen's room beside the window allows or not.
    ::setenv("XDG_DATA_HOME", workFile("data").c_str(), 1);
    m_driver.paths.push_back(
        QString::fromStdString(test::TempDir::writeIn(workFile(""), "firmware.crx", std::string(20000, 'Z'))));
    frame().updateCommands();
    frame().action(Command::FirmwareUpdate)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return frame().assistant() != nullptr && frame().assistant()->isVisible(); }));
    QApplication::processEvents();
    UpdateAssistant& assistant = *frame().assistant();
    for (QPushButton* stop : stops) {
        EXPECT_FALSE(assistant.frameGeometry().intersects(globalRect(stop)))
            << "assistant " << assistant.frameGeometry().x() << "," << assistant.frameGeometry().y() << " "
            << assistant.width() << "x" << assistant.height();
        expectInReach(stop);
    }
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(assistant.frameGeometry()));
    shoot("window-480x360-with-assistant");
    assistant.cancelButton()->click();
    waitIdle();
}

TEST_F(BadDay, AHalfSetIsMarkedAndSavedOnlyAfterAQuestionNamingItsKeys)
{
    // A file that lacks a key shows the template's value for it, not the previous file's.
    const std::string text = test::readFile(workFile("NC-Travo_USB_Param_NEW.ncp"));
    std::string other = text;
    other.replace(other.find("0102=10.000000"), 14, "0102=42.000000");
    std::string lacking = text;
    lacking.erase(lacking.find("0102="), lacking.find('\n', lacking.find("0102=")) + 1 - lacking.find("0102="));
    m_driver.paths = {QString::fromStdString(test::TempDir::writeIn(workFile(""), "anders.ncp", other)),
                      QString::fromStdString(test::TempDir::writeIn(workFile(""), "luecke.ncp", lacking))};
    runCommand(Command::ParameterOpen);
    runCommand(Command::ParameterOpen);
    EXPECT_FLOAT_EQ(doc().m_parameterSet.eilgang, 10.0F);
    EXPECT_EQ(doc().m_parameterSet.origin(0x0102), ValueOrigin::None);
    EXPECT_EQ(frame().documentNote()->text(), QStringLiteral("37 von 38 Parametern aus der Datei gelesen"));
    EXPECT_EQ(frame().windowTitle().remove(QStringLiteral("[*]")),
              QStringLiteral("luecke.ncp (unvollständig) - MoravelSDI"));

    // The link lost at key 19 of a read: mode 1 and 18 keys answered.
    runCommand(Command::OpenConnection);
    ASSERT_TRUE(app().isConnected());
    controller().clearLogs();
    controller().disappearAtFrame(20);
    runCommand(Command::ParameterRead);
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("Parameterübertragung abgebrochen: 18 von 38 übertragen."));
    EXPECT_EQ(frame().windowTitle().remove(QStringLiteral("[*]")),
              QStringLiteral("NC-Travo_USB_Param_NEW.ncp (unvollständig) - MoravelSDI"));
    // The note outlasts a menu prompt, which puts the idle text back into the message pane.
    frame().statusBar()->showMessage(QStringLiteral("Ein Menüpunkt"));
    frame().statusBar()->clearMessage();
    EXPECT_TRUE(frame().documentNote()->isVisible());
    EXPECT_EQ(frame().documentNote()->text(), QStringLiteral("18 von 38 Parametern vom Controller gelesen"));
    EXPECT_TRUE(frame().documentNote()->toolTip().contains(QStringLiteral("LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT (0x0401)")));

    // "Speichern unter": the question first, and "Abbrechen" (the default) writes nothing.
    m_driver.messages.clear();
    m_driver.fileDialogs.clear();
    m_driver.proposed.clear();
    m_driver.clicks = {QStringLiteral("Abbrechen")};
    runCommand(Command::ParameterSaveAs);
    ASSERT_EQ(m_driver.messages.size(), 1);
    const QString& question = m_driver.messages.front();
    EXPECT_TRUE(question.startsWith(QStringLiteral("20 von 38 Parametern haben keinen Wert vom Controller:")))
        << question.toStdString();
    for (const char* key : {"LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT (0x0401)", "LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG (0x0506)"})
        EXPECT_TRUE(question.contains(QLatin1String(key))) << key;
    EXPECT_FALSE(question.contains(QStringLiteral("(0x0400)"))) << "key 18 was read";
    EXPECT_EQ(m_driver.boxButtons.back(), (QStringList{"Speichern", "Abbrechen"}));
    EXPECT_EQ(m_driver.boxDefaults.back(), QStringLiteral("Abbrechen"));
    EXPECT_TRUE(m_driver.fileDialogs.isEmpty());

    // "Speichern" goes on to the file dialog, with a name of its own.
    m_driver.clicks = {QStringLiteral("Speichern")};
    m_driver.paths = {QStringLiteral("gelesen.ncp")};
    runCommand(Command::ParameterSaveAs);
    EXPECT_EQ(m_driver.proposed, QStringList{QString::fromStdString(workFile("Unbenannt.ncp"))});
    EXPECT_TRUE(fs::exists(workFile("gelesen.ncp")));
    EXPECT_EQ(test::readFile(workFile("NC-Travo_USB_Param_NEW.ncp")), text);
}

// "Abbrechen" in a failure message, a failing key and a clean sweep each end with their own
// text; a stop queued behind the clean one is confirmed when it has gone out.
TEST_F(BadDay, TheClosingTextOfASweepCountsWhatWentThrough)
{
    runCommand(Command::ParameterNew);
    struct Case {
        std::optional<std::uint16_t> silentKey;
        QString click;
        QString closing;
    };
    const Case cases[] = {
        {0x0003, QStringLiteral("Abbrechen"), QStringLiteral("Parameterübertragung abgebrochen: 3 von 38 übertragen.")},
        {0x0101, {}, QStringLiteral("Parameterübertragung mit Fehlern: 37 von 38 übertragen.")},
        {std::nullopt, {}, QStringLiteral("Parameterübertragung ist abgeschlossen.")},
    };
    watchStatus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.closing.toStdString());
        controller().setNoReplyForKey(c.silentKey);
        if (!c.click.isEmpty())
            m_driver.clicks = {c.click};
        m_statusTexts.clear();
        runCommand(Command::ParameterTransfer);
        EXPECT_EQ(m_statusTexts, (QStringList{"Parameterübertragung ... ", c.closing}));
        EXPECT_EQ(frame().messagePane()->text(), c.closing);
    }

    controller().clearLogs();
    frame().action(Command::ParameterTransfer)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return controller().frameCount() >= 4; }));
    press(Qt::Key_F8);
    const QString waiting = QStringLiteral("NotHalt wird nach der laufenden Operation gesendet.");
    EXPECT_EQ(control().stopNote()->text(), waiting);
    EXPECT_TRUE(control().stopNote()->isVisible());
    EXPECT_EQ(frame().messagePane()->shownText(), waiting) << "not cut by the progress bar";
    waitIdle();
    EXPECT_TRUE(lastWasNotHalt());
    EXPECT_EQ(control().stopNote()->text(), QStringLiteral("NotHalt gesendet."));
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("NotHalt gesendet."));

    // Closing during an operation says that the window waits for it.
    frame().action(Command::ParameterTransfer)->trigger();
    frame().close();
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("Das Fenster wird nach der laufenden Operation geschlossen."));
    waitIdle();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !frame().isVisible(); }));
}

// The failed open's message, from the open command and from a jog on a link whose device has
// gone: German, for the technician, with no command lines, environment variables or sudo.
TEST_F(BadDay, AFailedOpenExplainsThePortInTheWindowsWords)
{
    const std::string slave = controller().slavePath();
    const QString port = QStringLiteral("COM3 (%1): ").arg(QString::fromStdString(slave));
    struct stat original {};
    ASSERT_EQ(::stat(slave.c_str(), &original), 0);
    const auto restoreOwner = [&] {
        EXPECT_EQ(::seteuid(0), 0);
        EXPECT_EQ(::chown(slave.c_str(), original.st_uid, original.st_gid), 0);
        EXPECT_EQ(::chmod(slave.c_str(), original.st_mode & 07777), 0);
    };
    // The test runs as root, which opens any device: the open is made as "nobody" instead.
    const auto notForNobody = [&](gid_t group, mode_t mode) {
        ASSERT_EQ(::chown(slave.c_str(), 0, group), 0);
        ASSERT_EQ(::chmod(slave.c_str(), mode), 0);
        ASSERT_EQ(::seteuid(test::kNobody), 0);
    };
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr) << "Debian's group for serial devices";
    int busy = -1;

    struct Case {
        const char* name;
        std::function<void()> arrange, undo;
        QString line;
    };
    const Case cases[] = {
        {"busy",
         [&] {
             busy = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
             ASSERT_EQ(::flock(busy, LOCK_EX | LOCK_NB), 0);
         },
         [&] { ::close(busy); },
         port + QStringLiteral("Wird von einem anderen Programm benutzt. Beenden Sie es und versuchen Sie es erneut.")},
        {"denied, group dialout", [&] { notForNobody(dialout->gr_gid, 0660); }, restoreOwner,
         port + QStringLiteral("Zugriff verweigert. Das Gerät gehört der Gruppe „dialout“: Der Systemverwalter muss "
                               "Ihren Benutzer in diese Gruppe aufnehmen; danach einmal ab- und wieder anmelden.")},
        {"denied, group root", [&] { notForNobody(0, 0600); }, restoreOwner,
         port + QStringLiteral("Zugriff verweigert. Das Gerät gehört der Gruppe „root“, die nicht für serielle Geräte "
                               "gedacht ist: Der Systemverwalter muss es der Gruppe „dialout“ geben (eine udev-Regel) "
                               "und Ihren Benutzer in diese Gruppe aufnehmen.")},
    };
    ASSERT_EQ(app().applyChoice({1, "COM3", "x", 115200}), ComPortField::None);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_driver.messages.clear();
        c.arrange();
        runCommand(Command::OpenConnection);
        c.undo();
        ASSERT_EQ(m_driver.messages.size(), 1);
        EXPECT_TRUE(m_driver.messages.front().startsWith(QStringLiteral("Error opening connection. ErrorCode")));
        EXPECT_TRUE(m_driver.messages.front().endsWith(QStringLiteral("\n\n") + c.line)) << m_driver.messages.front().toStdString();
        EXPECT_FALSE(app().isConnected());
    }

    // Gone while connected: the jog opens afresh and explains the missing device.
    runCommand(Command::OpenConnection);
    ASSERT_TRUE(app().isConnected());
    m_driver.messages.clear();
    controller().disappearNow();
    QTest::mouseClick(control().jogPlusButton(), Qt::LeftButton);
    waitIdle();
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(m_driver.messages.front().endsWith(
        QStringLiteral("\n\n") + port +
        QStringLiteral("Das Gerät ist nicht (mehr) vorhanden. Ist der Controller angeschlossen und eingeschaltet?")))
        << m_driver.messages.front().toStdString();
    for (const char* hint : {"moravel-cli", "QUORLINK", "sudo"})
        EXPECT_FALSE(m_driver.messages.front().contains(QLatin1String(hint))) << hint;
}

TEST_F(BadDay, TheLinkPaneShowsTheOpenUnderWayAndAnUnpluggedDeviceWhileIdle)
{
    // A silent controller keeps the open waiting for its answer.
    ASSERT_EQ(app().applyChoice({1, "COM3", "x", 115200}), ComPortField::None);
    controller().setSilent(true);
    frame().action(Command::OpenConnection)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([this] { return linkText() == QStringLiteral("Verbindung wird aufgebaut ..."); }));
    waitIdle();
    EXPECT_EQ(linkText(), QStringLiteral("Nicht verbunden"));
    controller().setSilent(false);
    runCommand(Command::OpenConnection);
    EXPECT_EQ(linkText(), QStringLiteral("Verbunden: COM3 (%1)").arg(QString::fromStdString(controller().slavePath())));

    // Unplugged with nothing running: noticed without a byte on the line.
    const std::size_t frames = controller().frameCount();
    m_driver.messages.clear();
    controller().disappearNow();
    EXPECT_TRUE(QTest::qWaitFor([this] { return linkText() == QStringLiteral("Nicht verbunden (Gerät entfernt)"); }));
    EXPECT_FALSE(app().isConnected());
    EXPECT_TRUE(enabled(Command::OpenConnection));
    EXPECT_EQ(controller().frameCount(), frames);
    EXPECT_EQ(m_driver.messages, QStringList{});
}

TEST_F(BadDay, SaveAsProposesANewNameAndAsksBeforeWritingTheTemplate)
{
    runCommand(Command::ParameterNew);
    runCommand(Command::ParameterSaveAs); // cancelled
    test::writeFile(workFile("Unbenannt.ncp"), "taken");
    runCommand(Command::ParameterSaveAs);
    EXPECT_EQ(m_driver.proposed, (QStringList{QString::fromStdString(workFile("Unbenannt.ncp")),
                                              QString::fromStdString(workFile("Unbenannt-2.ncp"))}));

    // Under the template's name, also in another folder: asked first; "Abbrechen" writes nothing.
    const test::TempDir other;
    const std::string templ = other.file("NC-Travo_USB_Param_NEW.ncp");
    m_driver.paths = {QString::fromStdString(templ)};
    m_driver.clicks = {QStringLiteral("Abbrechen")};
    runCommand(Command::ParameterSaveAs);
    ASSERT_EQ(m_driver.messages.size(), 1);
    EXPECT_TRUE(m_driver.messages.front().startsWith(QString::fromStdString(templ) + QStringLiteral(" ist die Vorlage")));
    EXPECT_EQ(m_driver.boxButtons.back(), (QStringList{"Vorlage überschreiben", "Abbrechen"}));
    EXPECT_EQ(m_driver.boxDefaults.back(), QStringLiteral("Abbrechen"));
    EXPECT_FALSE(fs::exists(templ));
}

} // namespace
} // namespace moravel::gui
