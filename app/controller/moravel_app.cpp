// The link state: open and close, and the manual-control commands that open it as needed.

#include "app/controller/moravel_app.h"

#include <cstdio>

namespace moravel {

std::string openErrorMessage(unsigned errorCode)
{
    char text[64];
    std::snprintf(text, sizeof text, "Error opening connection. ErrorCode  %x     ", errorCode);
    return text;
}

bool CMoravelSDIApp::OpenConnection(UserInteraction& ui)
{
    if (connected != 0)
        return true;
    std::int32_t opened = 0;
    switch (connectionMode) {
    case 0:
        opened = KorvexOpenConnectionName(&m_context, m_context.controllerName);
        break;
    case 1:
        opened = KorvexOpenConnectionPort(&m_context, portNumberForMode1(m_context.portName));
        break;
    case 2:
        opened = KorvexOpenConnectionAuto(&m_context);
        break;
    default:
        break; // an unknown mode from the settings fails with code 0
    }
    if (opened != 0) {
        connected = 1;
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
        ui.showMessage(CloseErrorText);
}

bool CMoravelSDIApp::SendMoveRelativeXY(std::int32_t value, std::int32_t count, const std::int32_t x[],
                                        const std::int32_t y[], std::int32_t flags, UserInteraction& ui)
{
    return OpenConnection(ui) && FahreRelativ_XY_Schritte(&m_context, value, count, x, y, flags) != 0;
}

bool CMoravelSDIApp::SendNotHalt(UserInteraction& ui)
{
    return OpenConnection(ui) && NotHalt_mitBremsrampe(&m_context) != 0;
}

bool CMoravelSDIApp::SendNotStop(UserInteraction& ui)
{
    return OpenConnection(ui) && NotStop_ohneBremsrampe(&m_context) != 0;
}

} // namespace moravel
