#include "tests/gui/gui_support.h"

#include "tests/support/test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace moravel::gui {
namespace {

quorlink::sim::Simulator* g_simulator = nullptr;
std::string g_workDir;

} // namespace

quorlink::sim::Device& controller()
{
    return g_simulator->device(3);
}

std::string workDir()
{
    return g_workDir;
}

std::string workFile(const std::string& name)
{
    return g_workDir + "/" + name;
}

std::string templateText()
{
    return test::readFile(MORAVEL_TEMPLATE_FILE);
}

DialogDriver::DialogDriver() : m_timer(new QTimer)
{
    m_timer->setInterval(10);
    QObject::connect(m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer->start();
}

DialogDriver::~DialogDriver()
{
    delete m_timer;
}

void DialogDriver::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
        return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        messages.append(box->text());
        QMessageBox::StandardButton answer = QMessageBox::Ok;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        QAbstractButton* button = box->button(answer);
        if (button == nullptr)
            button = box->defaultButton();
        if (button != nullptr)
            button->click();
        else
            box->done(answer);
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
        fileDialogs.append(files->windowTitle());
        if (paths.empty()) {
            files->reject();
            return;
        }
        const QString path = paths.front();
        paths.pop_front();
        files->selectFile(path);
        static_cast<QDialog*>(files)->accept(); // QFileDialog::accept, which checks the path
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        if (handlers.empty()) {
            dialog->reject();
            return;
        }
        auto handler = std::move(handlers.front());
        handlers.pop_front();
        handler(*dialog);
    }
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

void WindowTest::SetUp()
{
    controller().clearLogs();
    m_program = std::make_unique<MoravelProgram>();
    ASSERT_TRUE(m_program->start({}));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_program->window()));
}

void WindowTest::TearDown()
{
    if (m_program && m_program->window()) {
        waitIdle();
        if (app().IsConnected())
            runCommand(Command::CloseConnection);
    }
    m_program.reset();
}

void WindowTest::waitIdle()
{
    EXPECT_TRUE(waitUntil([this] { return !frame().isBusy(); }));
}

void WindowTest::runCommand(Command c)
{
    frame().updateCommands();
    frame().action(c)->trigger();
    waitIdle();
}

} // namespace moravel::gui

// The environment is set before any thread starts (setenv is not thread-safe): the platform,
// a settings home and working folder of this process, and the simulator's ports.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static moravel::test::TempDir home;
    setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
    setenv("HOME", home.path().c_str(), 1);
    const std::string work = home.file("work");
    std::filesystem::create_directories(work);
    std::filesystem::copy_file(MORAVEL_TEMPLATE_FILE, work + "/NC-Travo_USB_Param_NEW.ncp");
    if (chdir(work.c_str()) != 0)
        return 1;
    moravel::gui::g_workDir = work;

    static quorlink::sim::Simulator simulator;
    simulator.addPort(3);
    simulator.exportEnvironment();
    simulator.start();
    moravel::gui::g_simulator = &simulator;

    QApplication application(argc, argv);
    moravel::setUpApplication(application);
    return RUN_ALL_TESTS();
}
