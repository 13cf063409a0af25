// Destroying the window while its worker waits for a message box: the worker gets the box's
// answer at once, so the window's destructor, which waits for the worker, cannot hang.

#include "tests/gui/gui_support.h"

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace moravel::gui {
namespace {

using namespace std::chrono_literals;

// Ends the process with a message when the scope is not left in time: a deadlock would
// otherwise hold the test until CTest's timeout without saying where it hangs.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, const char* what)
        : m_thread([this, limit, what] {
              std::unique_lock lock(m_mutex);
              if (!m_left.wait_for(lock, limit, [this] { return m_done; })) {
                  std::fprintf(stderr, "deadlock: %s has not returned after %lld s\n", what,
                               static_cast<long long>(limit.count()));
                  std::_Exit(1);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_left.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_left;
    bool m_done = false;
    std::thread m_thread; // last: starts once the rest is set up
};

TEST(WindowShutdown, DestroyingTheWindowWhileTheWorkerShowsABoxReturnsAtOnce)
{
    CMoravelSDIApp app;
    CMoravelSDIDoc doc;
    GuiInteraction ui;
    app.loadSettings();
    doc.PrepareNew();
    auto frame = std::make_unique<CMainFrame>(app, doc, ui);
    frame->show();

    // The open fails, and the worker waits for the box with its message; the window is
    // destroyed from within that box's event loop, as a quitting program would.
    controller().setSilent(true);
    qint64 destroyMs = -1;
    QTimer poll;
    poll.callOnTimeout([&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || !frame)
            return;
        EXPECT_TRUE(box->text().startsWith(QStringLiteral("Error opening connection.")));
        EXPECT_TRUE(frame->isBusy());
        const Watchdog watchdog(30s, "the window's destructor");
        QElapsedTimer clock;
        clock.start();
        frame.reset();
        destroyMs = clock.elapsed();
    });
    poll.start(10);
    frame->action(Command::OpenConnection)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return destroyMs >= 0; }, 60000));
    controller().setSilent(false);
    EXPECT_LT(destroyMs, 5000);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the box went with the window";
    EXPECT_EQ(app.connected, 0);
}

// A question the worker has handed over but the GUI thread has not shown yet, and every
// later one, is answered as a closed box would be; the handed-over one never appears.
TEST(WindowShutdown, AfterShutDownTheWorkersQuestionsAreAnsweredWithoutABox)
{
    DialogDriver driver; // would record and answer any box shown
    GuiInteraction ui;
    std::atomic<bool> asking{false};
    std::atomic<int> confirmed{-1};
    std::thread worker([&] {
        asking = true;
        const bool first = ui.confirm("eins"); // waits: the GUI thread is not in its event loop
        ui.showMessage("zwei");
        confirmed = (first ? 1 : 0) + (ui.confirm("drei") ? 2 : 0);
    });
    while (!asking)
        std::this_thread::yield();
    std::this_thread::sleep_for(200ms); // long enough for the worker to wait in confirm

    {
        const Watchdog watchdog(30s, "the worker");
        ui.shutDown();
        worker.join();
    }
    EXPECT_EQ(confirmed, 0) << "no confirmation";
    QTest::qWait(100); // the request handed over is delivered now
    EXPECT_EQ(driver.messages, QStringList{});
}

} // namespace
} // namespace moravel::gui
