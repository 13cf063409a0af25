#pragma once
// The window's moves of single axes and its position queries, for the jog panels and the
// commissioning assistant.
//
// Moves run as operations of the window's worker thread (the commands are disabled meanwhile,
// the stop keys stay live). The positions come from GetPosition_mm: after every move, and
// every 0.5 s while a jog panel is showing, the program is connected and the worker has
// nothing else to do. Those periodic queries are quiet jobs (OperationRunner::runQuietly):
// they leave the commands enabled, and any operation started meanwhile waits at most for the
// one query under way. The timer restarts whenever an operation ends, so no query follows an
// operation straight away.
//
// A jog of the window's panel converts millimetres to steps with the controller's Auflösung,
// read once per connection (mode 1, the four keys, mode 2) and again after any operation that
// may have changed it; when the controller does not answer, the document's values serve.

#include "app/controller/position_poll.h"
#include "app/shell/jog_panel.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace moravel {

class CMainFrame;

class AxisControl : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollIntervalMs = 500;

    explicit AxisControl(CMainFrame& frame);

    // Polls while this panel is showing. The window's panel shows the positions and jogs
    // through jog(); another owner (the assistant) converts both itself.
    enum class PanelOwner { Window, Other };
    void addPanel(JogPanel* panel, PanelOwner owner = PanelOwner::Window);

    // The window panel's jog: millimetres on axis, converted with the controller's Auflösung.
    void jog(std::size_t axis, double millimetres);
    // One move of steps on axis only (value 0, one pair, the other axis of the pair 0, flags
    // 3), opening the connection if needed, then a position query. done(accepted) on the GUI
    // thread. The document's moving indicator follows, as for the X jog.
    void move(std::size_t axis, std::int32_t steps, std::function<void(bool accepted)> done = {});

    // Without a connection (a link dropped between operations): no positions shown, and the
    // Auflösung is read again on the next connection.
    void forgetWithoutLink();

    // The last positions read (none once a query failed or the link closed).
    const std::optional<std::array<float, kAxisCount>>& lastPositions() const { return m_last; }

signals:
    // After every position query, read or not.
    void positionsRead(const moravel::PositionPoll& reading);

private:
    // move(), with the steps either given or worked out on the worker (stepsOnWorker; 0 sends
    // nothing).
    void move(std::size_t axis, std::int32_t steps, std::function<void(bool)> done,
              std::function<std::int32_t()> stepsOnWorker);
    void onBusyChanged(bool busy);
    void poll();
    bool panelShowing() const;
    void deliver(const PositionPoll& reading);
    // Worker thread: the controller's Auflösung, cached; the document's when it cannot be read.
    std::array<float, kAxisCount> resolution();

    CMainFrame& m_frame;
    std::vector<QPointer<JogPanel>> m_panels;
    QTimer m_timer;
    std::optional<std::array<float, kAxisCount>> m_last;
    bool m_ownOperation = false; // set while one of ours is being queued
    // Worker thread only, but for the flag the GUI thread sets when an operation that may
    // change parameters or the connection starts.
    std::optional<std::array<float, kAxisCount>> m_resolution;
    std::atomic<bool> m_resolutionStale{true};
};

} // namespace moravel
