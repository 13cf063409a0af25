#pragma once
// The window tests' fixture (the real program, started in-process, against the simulator) and
// a driver that answers the real message boxes and file dialogs.

#include "app/shell/com_port_dialog.h"
#include "app/shell/main_frame.h"
#include "app/shell/moravel_program.h"
#include "params/controller_exchange.h"
#include "sim/simulator.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace moravel::gui {

// Set by main(): the simulator, with one controller on COM3.
inline quorlink::sim::Simulator* g_simulator = nullptr;
inline quorlink::sim::Device& controller() { return g_simulator->device(3); }
// A file of the working folder (the current directory, which holds a copy of the template).
inline std::string workFile(const std::string& name) { return (std::filesystem::current_path() / name).string(); }

// Answers every modal box and dialog the program opens, from a script, and records them.
// It polls on the GUI thread, so it also serves the boxes a worker thread asks for.
// A dialog is answered once it is the active window, so that it has finished showing and
// its focus is settled; a file dialog gets its path typed into its file-name field.
class DialogDriver {
public:
    DialogDriver()
    {
        m_timer.callOnTimeout([this] { poll(); });
        m_timer.start(10);
    }

    std::deque<QMessageBox::StandardButton> answers;    // message boxes; beyond the list: OK
    std::deque<QString> paths;                          // file dialogs; beyond the list: cancelled
    std::deque<std::function<void(QDialog&)>> handlers; // other dialogs; beyond the list: rejected
    std::deque<QString> clicks;                         // message boxes: the button with this text, or "Escape"
    QStringList messages;                               // texts of the message boxes, in order
    QList<QStringList> boxButtons;                      // each message box's button texts
    QStringList boxDefaults;                            // each message box's default button text
    QStringList fileDialogs;                            // titles of the file dialogs shown
    QStringList proposed;                               // the path each file dialog proposed
    QStringList titles;                                 // window titles of every modal answered

private:
    // A dialog that never becomes active (no window manager would refuse it, but the
    // offscreen platform is not one) is answered after this long all the same.
    static constexpr int kActivationWaitMs = 2000;

    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        if (modal != m_seen) {
            m_seen = modal;
            m_seenFor.start();
        }
        if (!modal->isActiveWindow() && m_seenFor.elapsed() < kActivationWaitMs)
            return;
        titles.append(modal->windowTitle());
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.append(box->text());
            QStringList texts;
            for (QAbstractButton* b : box->buttons())
                texts.append(b->text());
            boxButtons.append(texts);
            boxDefaults.append(box->defaultButton() != nullptr ? box->defaultButton()->text() : QString());
            if (!clicks.empty()) {
                const QString text = clicks.front();
                clicks.pop_front();
                if (text == QLatin1String("Escape"))
                    return QTest::keyClick(box, Qt::Key_Escape);
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == text)
                        return b->click();
            }
            const QMessageBox::StandardButton answer = answers.empty() ? QMessageBox::Ok : answers.front();
            if (!answers.empty())
                answers.pop_front();
            box->button(answer) ? box->button(answer)->click() : box->done(answer);
        } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            answer(*files);
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            if (handlers.empty())
                return dialog->reject();
            const auto handler = std::move(handlers.front());
            handlers.pop_front();
            handler(*dialog);
        }
    }

    void answer(QFileDialog& files)
    {
        if (&files == m_answeredFiles) {
            // Still open after its answer: the dialog did not take the path (it opened a
            // folder instead, or asked something the script did not answer).
            ADD_FAILURE() << "the file dialog \"" << files.windowTitle().toStdString() << "\" refused "
                          << m_answeredPath.toStdString();
            m_answeredFiles = nullptr;
            return files.reject();
        }
        fileDialogs.append(files.windowTitle());
        proposed.append(files.selectedFiles().value(0));
        if (paths.empty())
            return files.reject();
        // selectFile() leaves the field alone while it has the focus, and an empty field
        // would accept the folder; so the path goes into the field itself.
        auto* name = files.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) {
            ADD_FAILURE() << "the file dialog has no file-name field (a native dialog?)";
            return files.reject();
        }
        m_answeredPath = paths.front();
        paths.pop_front();
        m_answeredFiles = &files;
        QObject::connect(
            &files, &QDialog::finished, &m_timer, [this] { m_answeredFiles = nullptr; }, Qt::SingleShotConnection);
        name->setText(m_answeredPath);
        static_cast<QDialog&>(files).accept(); // QFileDialog::accept, which checks the path
    }

    QTimer m_timer;
    QPointer<QWidget> m_seen; // the modal widget last seen, and since when
    QElapsedTimer m_seenFor;
    QPointer<QFileDialog> m_answeredFiles; // the file dialog last answered, and with what
    QString m_answeredPath;
};

// The program started as `moravel` without arguments would be, with its window shown.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller().clearLogs();
        ASSERT_TRUE(m_program->start({}));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_program->window()));
    }
    void TearDown() override
    {
        controller().setSilent(false);
        controller().clearWrongValueEcho();
        controller().setNoReplyForKey(std::nullopt);
        if (m_program->window() == nullptr)
            return;
        waitIdle();
        if (app().isConnected())
            runCommand(Command::CloseConnection);
    }

    CMainFrame& frame() { return *m_program->window(); }
    CMoravelSDIDoc& doc() { return m_program->document(); }
    CMoravelSDIApp& app() { return m_program->app(); }
    bool enabled(Command c) { return frame().action(c)->isEnabled(); }
    void waitIdle()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !frame().isBusy(); }, 30000));
    }
    // Triggers the command and waits until the operation it started has ended.
    void runCommand(Command c)
    {
        frame().updateCommands();
        frame().action(c)->trigger();
        waitIdle();
    }
    // A key press on the window, made active first: shortcuts only reach an active window.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        frame().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame()));
        QTest::keyClick(&frame(), key, modifiers);
    }

    // The next "Com Port Settings" dialog: fill fills it in, then it is accepted.
    void answerComPortDialog(std::function<void(CComPortSettingsDlg&)> fill)
    {
        m_driver.handlers.push_back([fill](QDialog& dialog) {
            auto& com = dynamic_cast<CComPortSettingsDlg&>(dialog);
            fill(com);
            com.accept();
        });
    }
    // Every exchanged key of the document as if read from a file, but those listed.
    void giveOrigins(std::initializer_list<std::int32_t> without = {})
    {
        for (const ParameterInfo* p : exchangeList())
            doc().m_parameterSet.setOrigin(p->key.value, ValueOrigin::File);
        for (std::int32_t key : without)
            doc().m_parameterSet.setOrigin(key, ValueOrigin::None);
    }

    DialogDriver m_driver;
    std::unique_ptr<MoravelProgram> m_program = std::make_unique<MoravelProgram>();
};

} // namespace moravel::gui
