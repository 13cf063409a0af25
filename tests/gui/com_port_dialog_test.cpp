// The "Com Port Settings" dialog and the window's user interaction.

#include "tests/gui/gui_support.h"

#include "app/dialogs/field_validation.h"
#include "app/shell/com_port_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

#include <atomic>
#include <thread>

namespace moravel::gui {
namespace {

ComPortChoice defaults()
{
    return ComPortChoice{2, "COM1", "NC-Travo USB    ", 115200};
}

TEST(ComPortDialog, ShowsTheInitialChoice)
{
    CComPortSettingsDlg dialog(ComPortChoice{1, "COM7", "Fr\xe4se", 120000});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Com Port Settings"));
    EXPECT_EQ(dialog.modeGroup()->checkedId(), 1);
    EXPECT_EQ(dialog.portCombo()->currentText(), QStringLiteral("COM7"));
    EXPECT_EQ(dialog.portCombo()->count(), 8);
    EXPECT_EQ(dialog.nameEdit()->text(), QStringLiteral("Fräse")); // code page 1252 shown as text
    EXPECT_EQ(dialog.baudEdit()->text(), QStringLiteral("120000"));
    EXPECT_EQ(dialog.choice().controllerName, "Fr\xe4se");
}

TEST(ComPortDialog, OkChecksBaudThenNameThenPortAndFocusesTheFirstFailure)
{
    DialogDriver driver;
    CComPortSettingsDlg dialog(defaults());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.baudEdit()->setText(QStringLiteral("99999"));
    dialog.nameEdit()->setText(QStringLiteral("12345678901234567"));
    dialog.portCombo()->setEditText(QStringLiteral("COM123"));

    struct Step {
        ComPortField field;
        QWidget* focus;
        std::string message;
        std::function<void()> mend;
    };
    const Step steps[] = {
        {ComPortField::BaudRate, dialog.baudEdit(), integerRangeMessage(100000, 120000),
         [&] { dialog.baudEdit()->setText(QStringLiteral("120000")); }},
        {ComPortField::ControllerName, dialog.nameEdit(), tooManyCharactersMessage(16),
         [&] { dialog.nameEdit()->setText(QStringLiteral("1234567890123456")); }},
        {ComPortField::PortName, dialog.portCombo(), tooManyCharactersMessage(5),
         [&] { dialog.portCombo()->setEditText(QStringLiteral("COM12")); }},
    };
    for (const Step& step : steps) {
        driver.messages.clear();
        EXPECT_EQ(dialog.validate(), step.field);
        ASSERT_EQ(driver.messages.size(), 1);
        EXPECT_EQ(driver.messages.front().toStdString(), step.message);
        QWidget* focus = dialog.focusWidget(); // the window gets it back once the box is gone
        EXPECT_TRUE(focus == step.focus || step.focus->isAncestorOf(focus)) << step.message;
        step.mend();
    }
    EXPECT_EQ(dialog.validate(), ComPortField::None);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(ComPortDialog, TheBaudFieldTakesDigitsOnlyAndTheNameOnlyCodePage1252)
{
    CComPortSettingsDlg dialog(defaults());
    dialog.baudEdit()->clear();
    QTest::keyClicks(dialog.baudEdit(), QStringLiteral("1a2-3"));
    EXPECT_EQ(dialog.baudEdit()->text(), QStringLiteral("123"));
    dialog.nameEdit()->clear();
    for (const QChar c : QStringLiteral("Ä€\u4e2dx"))
        QTest::sendKeyEvent(QTest::Click, dialog.nameEdit(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    EXPECT_EQ(dialog.nameEdit()->text(), QStringLiteral("Ä€x"));
    EXPECT_EQ(dialog.choice().controllerName, "\xc4\x80x");
}

// Every box a worker thread asks for is shown on the GUI thread, one at a time and in order,
// and the worker goes on only once it has been closed.
TEST(GuiInteractionThreads, MessagesOfAWorkerAreShownInOrderAndWaitedFor)
{
    DialogDriver driver;
    GuiInteraction ui;
    driver.answers = {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Cancel};
    QStringList statusTexts;
    QObject::connect(&ui, &GuiInteraction::statusTextChanged, &ui, [&](const QString& t) {
        statusTexts << t;
        EXPECT_EQ(driver.messages.size(), statusTexts.size() - 1) << "status text before its box";
    });
    std::atomic<int> returned{0};
    std::thread worker([&] {
        for (const char* text : {"eins", "zwei", "drei"}) {
            ui.setStatusText(text);
            ui.showMessage(text);
            ++returned;
        }
        returned = ui.confirm("Aktivieren Sie den Bootloader (Enter+Reset)") ? 100 : -1;
    });
    ASSERT_TRUE(waitUntil([&] { return returned.load() < 0 || returned.load() == 100; }));
    worker.join();
    EXPECT_EQ(returned.load(), -1) << "the declined confirmation";
    EXPECT_EQ(driver.messages,
              (QStringList{"eins", "zwei", "drei", "Aktivieren Sie den Bootloader (Enter+Reset)"}));
    EXPECT_EQ(statusTexts, (QStringList{"eins", "zwei", "drei"}));
}

} // namespace
} // namespace moravel::gui
