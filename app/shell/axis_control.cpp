#include "app/shell/axis_control.h"

#include "app/controller/commissioning.h"
#include "app/shell/commissioning_assistant.h"
#include "app/shell/main_frame.h"
#include <cmath>
#include <memory>

namespace moravel {
namespace {

// Steps that a move request can carry (the controller's position is a 32-bit count).
constexpr double kMaxMoveSteps = 2147483647.0;

} // namespace

AxisControl::AxisControl(CMainFrame& frame) : QObject(&frame), m_frame(frame)
{
    m_timer.setInterval(kPollIntervalMs);
    m_timer.callOnTimeout(this, &AxisControl::poll);
    m_timer.start();
    connect(&frame, &CMainFrame::busyChanged, this, &AxisControl::onBusyChanged);
}

void AxisControl::addPanel(JogPanel* panel, PanelOwner owner)
{
    m_panels.emplace_back(panel);
    if (owner == PanelOwner::Other)
        return;
    connect(panel, &JogPanel::jogRequested, this, &AxisControl::jog);
    connect(this, &AxisControl::positionsRead, panel, [panel](const PositionPoll& reading) {
        if (reading.read)
            panel->showPositions(reading.millimetres);
        else
            panel->showNoPositions();
    });
    if (m_last)
        panel->showPositions(*m_last);
}

bool AxisControl::panelShowing() const
{
    for (const QPointer<JogPanel>& panel : m_panels)
        if (panel && panel->isShowing())
            return true;
    return false;
}

void AxisControl::onBusyChanged(bool busy)
{
    if (busy) {
        // Anything but our own moves may change the Auflösung or the connection.
        if (!m_ownOperation)
            m_resolutionStale = true;
        return;
    }
    m_timer.start(); // the next query a whole interval after the operation
    forgetWithoutLink();
}

void AxisControl::forgetWithoutLink()
{
    if (m_frame.m_app.isConnected())
        return;
    // The next connection may reach another controller: its Auflösung is read afresh.
    m_resolutionStale = true;
    if (m_last) {
        m_last.reset();
        emit positionsRead(PositionPoll{});
    }
}

void AxisControl::poll()
{
    if (!panelShowing() || !m_frame.m_app.isConnected() || !m_frame.m_runner.idle())
        return;
    auto reading = std::make_shared<PositionPoll>();
    m_frame.m_runner.runQuietly([this, reading] { *reading = pollPosition(m_frame.m_app); },
                                [this, reading] { deliver(*reading); });
}

void AxisControl::deliver(const PositionPoll& reading)
{
    if (reading.read)
        m_last = reading.millimetres;
    else
        m_last.reset();
    emit positionsRead(reading);
    // A quiet query leaves the connection as it is; dropping it is an operation of its own,
    // with the one message that names the device.
    if (reading.linkLost)
        m_frame.runOperation(CMainFrame::Progress::None,
                             [this] { m_frame.m_app.dropLostLink(m_frame.m_ui); });
    else
        m_frame.updateLinkPane();
}

std::array<float, kAxisCount> AxisControl::resolution()
{
    if (m_resolutionStale.exchange(false))
        m_resolution.reset();
    if (m_resolution)
        return *m_resolution;
    m_resolution = readResolutions(m_frame.m_app);
    return m_resolution ? *m_resolution : m_frame.m_doc.m_parameterSet.aufloesung;
}

void AxisControl::jog(std::size_t axis, double millimetres)
{
    m_frame.dispatch(CMainFrame::Availability::Idle, [this, axis, millimetres] {
        move(axis, 0, {}, [this, axis, millimetres]() -> std::int32_t {
            const double n = std::round(millimetres * static_cast<double>(resolution()[axis]));
            if (!(std::abs(n) >= 1.0 && std::abs(n) <= kMaxMoveSteps)) {
                m_frame.m_ui.setStatusText(
                    QStringLiteral("Achse %1: die Schrittweite ergibt mit der Auflösung keinen ganzen Schritt; es "
                                   "wurde nichts gesendet.")
                        .arg(QLatin1Char(kAxisNames[axis]))
                        .toStdString());
                return 0;
            }
            return static_cast<std::int32_t>(n);
        });
    });
}

void AxisControl::move(std::size_t axis, std::int32_t steps, std::function<void(bool)> done)
{
    move(axis, steps, std::move(done), {});
}

void AxisControl::move(std::size_t axis, std::int32_t steps, std::function<void(bool)> done,
                       std::function<std::int32_t()> stepsOnWorker)
{
    struct Outcome {
        std::optional<bool> accepted; // none: nothing was sent
        PositionPoll reading;
    };
    auto outcome = std::make_shared<Outcome>();
    m_ownOperation = true;
    m_frame.runOperation(
        CMainFrame::Progress::None,
        [this, axis, steps, outcome, stepsOnWorker = std::move(stepsOnWorker)] {
            if (!m_frame.openConnection()) {
                outcome->accepted = false;
                return;
            }
            const std::int32_t n = stepsOnWorker ? stepsOnWorker() : steps;
            if (n == 0)
                return;
            outcome->accepted = moveAxis(m_frame.m_app, static_cast<int>(axis), n, m_frame.m_ui);
            outcome->reading = pollPosition(m_frame.m_app);
        },
        [this, outcome, done = std::move(done)] {
            if (outcome->accepted)
                m_frame.m_doc.SetMoving(*outcome->accepted);
            deliver(outcome->reading);
            if (done)
                done(outcome->accepted.value_or(false));
        });
    m_ownOperation = false;
}

} // namespace moravel
