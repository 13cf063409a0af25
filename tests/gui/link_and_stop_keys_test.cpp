// The status bar's link pane through open, close, a settings change and a vanishing device.

#include "tests/gui/gui_support.h"

#include "app/shell/views.h"

#include <QLabel>
#include <QPushButton>

namespace moravel::gui {
namespace {

class LinkAndStopKeys : public WindowTest {
protected:
    QString linkText() { return frame().linkPane()->text(); }
    static QString connectedToCom3()
    {
        return QStringLiteral("Verbunden: COM3 (%1) – NC-Travo USB")
            .arg(QString::fromStdString(controller().slavePath()));
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

} // namespace
} // namespace moravel::gui
