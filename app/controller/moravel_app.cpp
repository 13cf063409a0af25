// The link state: open and close, and the manual-control commands that open it as needed.

#include "app/controller/moravel_app.h"

#include "link/common/port_map.h"
#include "params/controller_exchange.h"

#include <cstdio>
#include <cstring>

namespace moravel {

std::string openErrorMessage(unsigned errorCode)
{
    char text[64];
    std::snprintf(text, sizeof text, "Error opening connection. ErrorCode  %x     ", errorCode);
    return text;
}

std::string linkLostMessage(std::string_view portName, std::string_view devicePath)
{
    std::string where(portName);
    if (!devicePath.empty())
        where.append(where.empty() ? "" : ", ").append(devicePath);
    std::string text = "Die Verbindung zum Controller ist unterbrochen";
    if (!where.empty())
        text.append(" (").append(where).append(")");
    return text + ". Prüfen Sie Kabel und Stromversorgung und versuchen Sie es erneut.";
}

namespace {

// The device a port name maps to now; empty when it maps to nothing.
std::string devicePathOf(const char (&portName)[5])
{
    char path[quorlink::kMaxDevicePath];
    return quorlink::resolvePortName(portName, path) ? std::string(path) : std::string();
}

std::string_view portNameOf(const char (&portName)[5]) { return {portName, ::strnlen(portName, sizeof portName)}; }

} // namespace

void CMoravelSDIApp::dropLostLink(UserInteraction& ui)
{
    ui.showMessage(linkLostMessage(portNameOf(m_context.portName), m_devicePath));
    if (m_context.portHandle >= 0)
        KorvexCloseConnection(&m_context); // the library has not closed it itself
    connected = 0;
}

bool CMoravelSDIApp::dropVanishedLink()
{
    if (connected == 0 || !linkLost(m_context))
        return false;
    if (m_context.portHandle >= 0)
        KorvexCloseConnection(&m_context);
    connected = 0;
    return true;
}

bool CMoravelSDIApp::OpenConnection(UserInteraction& ui)
{
    return openWith(ui, connectionMode, portNumberForMode1(m_context.portName));
}

bool CMoravelSDIApp::OpenConnectionOnPort(int port, UserInteraction& ui) { return openWith(ui, 1, port); }

bool CMoravelSDIApp::openWith(UserInteraction& ui, int mode, int port)
{
    if (connected != 0 && linkLost(m_context)) {
        // Gone since the last command (unplugged while idle): open afresh.
        if (m_context.portHandle >= 0)
            KorvexCloseConnection(&m_context);
        connected = 0;
    }
    if (connected != 0)
        return true;
    std::int32_t opened = 0;
    switch (mode) {
    case 0:
        opened = KorvexOpenConnectionName(&m_context, m_context.controllerName);
        break;
    case 1:
        opened = KorvexOpenConnectionPort(&m_context, port);
        break;
    case 2:
        opened = KorvexOpenConnectionAuto(&m_context);
        break;
    default:
        break; // an unknown mode from the settings fails with code 0
    }
    if (opened != 0) {
        connected = 1;
        // Taken now: once the device has vanished, its name may map elsewhere or nowhere.
        m_devicePath = devicePathOf(m_context.portName);
        return true;
    }
    ui.showMessage(openErrorMessage(m_context.errorCode));
    m_context.errorCode = 0;
    return false;
}

void CMoravelSDIApp::CloseConnection(UserInteraction& ui)
{
    if (connected == 0)
        return;
    if (KorvexCloseConnection(&m_context) != 0)
        connected = 0;
    else
        ui.showMessage(kCloseErrorText);
}

bool CMoravelSDIApp::manualCommand(UserInteraction& ui, const std::function<std::int32_t()>& call)
{
    if (!OpenConnection(ui))
        return false;
    if (call() != 0)
        return true;
    if (linkLost(m_context))
        dropLostLink(ui);
    return false;
}

bool CMoravelSDIApp::SendMoveRelativeXY(std::int32_t value, std::int32_t count, const std::int32_t x[],
                                        const std::int32_t y[], std::int32_t flags, UserInteraction& ui)
{
    return manualCommand(ui, [&] { return FahreRelativ_XY_Schritte(&m_context, value, count, x, y, flags); });
}

bool CMoravelSDIApp::SendMoveRelativeZC(std::int32_t value, std::int32_t count, const std::int32_t z[],
                                        const std::int32_t c[], std::int32_t flags, UserInteraction& ui)
{
    return manualCommand(ui, [&] { return FahreRelativ_ZC_Schritte(&m_context, value, count, z, c, flags); });
}

bool CMoravelSDIApp::SendNotHalt(UserInteraction& ui)
{
    return manualCommand(ui, [&] { return NotHalt_mitBremsrampe(&m_context); });
}

bool CMoravelSDIApp::SendNotStop(UserInteraction& ui)
{
    return manualCommand(ui, [&] { return NotStop_ohneBremsrampe(&m_context); });
}

} // namespace moravel
