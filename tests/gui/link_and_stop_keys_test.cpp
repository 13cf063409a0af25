// The status bar's link pane through open, close, a settings change and a vanishing device;
// the emergency stops from the keyboard, with the focus anywhere in the window, and queued
// behind a running parameter read.

#include "tests/gui/gui_support.h"
#include "tests/support/frames.h"

#include "app/shell/views.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>

namespace moravel::gui {
namespace {

using test::Frame;

std::size_t countStops(const std::vector<Frame>& frames)
{
    return static_cast<std::size_t>(std::ranges::count_if(frames, [](const Frame& f) { return test::isStop(f); }));
}

class LinkAndStopKeys : public WindowTest {
protected:
    QString linkText() { return frame().linkPane()->text(); }
    static QString connectedToCom3()
    {
        return QStringLiteral("Verbunden: COM3 (%1) – NC-Travo USB")
            .arg(QString::fromStdString(controller().slavePath()));
    }
    // A key pressed where the focus is, with the window active (shortcuts reach only that).
    void pressAtFocus(Qt::Key key)
    {
        frame().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame()));
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key);
    }
};

TEST_F(LinkAndStopKeys, TheLinkPaneFollowsOpenCloseAndAVanishedDevice)
{
    EXPECT_EQ(linkText(), QStringLiteral("Nicht verbunden"));
    runCommand(Command::OpenConnection);
    ASSERT_TRUE(app().isConnected());
    EXPECT_EQ(linkText(), connectedToCom3());

    // New settings apply at the next open: the pane keeps describing the open connection,
    // also after another operation on it.
    ASSERT_EQ(app().applyChoice({0, "COM5", "Andere", 115200}), ComPortField::None);
    QTest::mouseClick(frame().controlView()->notHaltButton(), Qt::LeftButton);
    waitIdle();
    EXPECT_EQ(linkText(), connectedToCom3());

    runCommand(Command::CloseConnection);
    EXPECT_EQ(linkText(), QStringLiteral("Nicht verbunden"));

    // Opened by port, the context holds 16 blanks as the name: no name part.
    ASSERT_EQ(app().applyChoice({1, "COM3", "x", 115200}), ComPortField::None);
    runCommand(Command::OpenConnection);
    EXPECT_EQ(linkText(), QStringLiteral("Verbunden: COM3 (%1)").arg(QString::fromStdString(controller().slavePath())));
    EXPECT_EQ(m_driver.messages, QStringList{});

    // Unplugged in the middle of a read: the message, and the pane says so.
    controller().disappearAtFrame(1);
    runCommand(Command::ParameterRead);
    ASSERT_FALSE(m_driver.messages.isEmpty());
    EXPECT_TRUE(m_driver.messages.front().startsWith(QStringLiteral("Die Verbindung zum Controller ist unterbrochen")))
        << m_driver.messages.front().toStdString();
    EXPECT_FALSE(app().isConnected());
    EXPECT_EQ(linkText(), QStringLiteral("Nicht verbunden"));
    EXPECT_TRUE(enabled(Command::OpenConnection));
}

TEST_F(LinkAndStopKeys, F8AndF9SendTheStopsWithTheFocusInTheOtherPane)
{
    CMoravelControlView& control = *frame().controlView();
    EXPECT_EQ(control.notHaltButton()->toolTip(), QStringLiteral("NotHalt (mit Bremsrampe) – F8"));
    EXPECT_EQ(control.notStopButton()->toolTip(), QStringLiteral("NotStop (ohne Bremsrampe) – F9"));

    frame().statusView()->setFocus(Qt::OtherFocusReason);
    pressAtFocus(Qt::Key_F8);
    ASSERT_TRUE(QApplication::focusWidget() == frame().statusView());
    waitIdle();
    std::vector<Frame> frames = test::requestsOf(controller());
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(test::isStop(frames.back(), 1)) << "NotHalt, with braking ramp";
    EXPECT_EQ(countStops(frames), 1u);
    EXPECT_EQ(linkText(), connectedToCom3()) << "the stop opened the connection";

    pressAtFocus(Qt::Key_F9);
    waitIdle();
    frames = test::requestsOf(controller());
    EXPECT_TRUE(test::isStop(frames.back(), 0)) << "NotStop, without ramp";
    EXPECT_EQ(countStops(frames), 2u);
    EXPECT_FALSE(frame().statusView()->fahrenBox()->isChecked());
    EXPECT_FALSE(frame().messagePane()->text().contains(QStringLiteral("gesendet")))
        << "nothing was running: no word of a queue";
    EXPECT_EQ(m_driver.messages, QStringList{});
}

TEST_F(LinkAndStopKeys, AStopKeyDuringAReadIsQueuedSaysSoAndIsSentAfterTheRead)
{
    frame().action(Command::ParameterRead)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return controller().frameCount() >= 4; }, 10000)) << "the read under way";
    ASSERT_TRUE(frame().isBusy());
    pressAtFocus(Qt::Key_F8);
    EXPECT_EQ(frame().messagePane()->text(), QStringLiteral("NotHalt wird nach der laufenden Operation gesendet."));
    EXPECT_EQ(countStops(test::requestsOf(controller())), 0u) << "not in the middle of the sweep";
    waitIdle();

    const std::vector<Frame> frames = test::requestsOf(controller());
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(test::isStop(frames.back(), 1));
    EXPECT_EQ(countStops(frames), 1u);
    // The read's 38 keys (and the name read of the autodetect), then its switch back to
    // mode 2, then the stop.
    EXPECT_GE(std::ranges::count_if(frames, [](const Frame& f) { return test::isParameter(f, test::kParameterRead); }),
              38);
    ASSERT_GE(frames.size(), 2u);
    EXPECT_TRUE(test::isModeSwitch(frames[frames.size() - 2], 2)) << "the read's last request, the switch to mode 2";
    EXPECT_EQ(m_driver.messages, QStringList{});
    EXPECT_TRUE(doc().m_bParametersValid);
}

} // namespace
} // namespace moravel::gui
