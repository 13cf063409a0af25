#include "app/controller/port_diagnosis.h"

#include "app/controller/settings.h"

#include "link/common/port_map.h"

#include <string>
#include <string_view>
#include <utility>

namespace moravel {

PortProbe probePort(int number)
{
    PortProbe probe;
    probe.number = number;
    char name[5] = {'C', 'O', 'M', static_cast<char>('0' + number), '\0'};
    char path[quorlink::kMaxDevicePath];
    if (number < 1 || number > 8 || !quorlink::resolvePortName(name, path))
        return probe;
    probe.device = path;
    probe.stableName = platform::stableLineName(probe.device);
    platform::LineProbe line = platform::probeLine(probe.device);
    probe.state = line.state;
    probe.group = std::move(line.group);
    probe.holder = std::move(line.holder);
    probe.error = std::move(line.error);
    return probe;
}

std::string describe(const PortProbe& probe)
{
    switch (probe.state) {
    case PortProbe::State::NoDevice:
        return "no device";
    case PortProbe::State::Missing:
        return "missing (the device does not exist)";
    case PortProbe::State::Available:
        return "can be opened";
    case PortProbe::State::InUse:
        return "in use" + (probe.holder.empty() ? std::string(" by another program") : " by " + probe.holder);
    case PortProbe::State::PermissionDenied:
        return "permission denied" +
               (probe.group.empty() ? std::string() : " (the device belongs to group '" + probe.group + "')");
    case PortProbe::State::NotSerial:
        return "not a serial device";
    case PortProbe::State::Failed:
        return "cannot be opened: " + probe.error;
    }
    return {};
}

std::vector<std::string> explainFailedOpen(const std::vector<int>& numbers)
{
    std::vector<std::string> lines;
    bool anyDevice = false;
    for (const int n : numbers) {
        const PortProbe probe = probePort(n);
        if (probe.state == PortProbe::State::NoDevice)
            continue;
        anyDevice = true;
        std::string line = "COM" + std::to_string(n) + " (" + probe.device + "): " + describe(probe);
        switch (probe.state) {
        case PortProbe::State::Available:
            line += ", but no controller answered there";
            break;
        case PortProbe::State::PermissionDenied:
            if (probe.group.empty() || grantsSerialAccess(probe.group))
                line += "; add your user to that group, for example 'sudo usermod -aG " +
                        (probe.group.empty() ? std::string("dialout") : probe.group) + " $USER', and log in again";
            else
                line += "; that group does not stand for serial devices: have the device given to group 'dialout' "
                        "(for example with the udev rule 60-moravel-controller.rules among moravel's examples)";
            break;
        case PortProbe::State::InUse:
            line += "; close that program and try again";
            break;
        default:
            break;
        }
        lines.push_back(line);
    }
    if (!anyDevice) {
        const std::string which = numbers.size() == 1 ? "COM" + std::to_string(numbers.front()) + " maps to no"
                                                      : "none of COM1 ... COM8 maps to a";
        lines.push_back(which + " serial device; is the controller plugged in? ('moravel-cli ports' lists the "
                                "ports; QUORLINK_COMn=" +
                                std::string(platform::kDeviceExample) + " names a device explicitly)");
    }
    return lines;
}

bool grantsSerialAccess(const std::string& group) { return group == "dialout" || group == "uucp"; }

namespace {

// "process 123 (minicom)" as the window says it.
std::string holderInGerman(const std::string& holder)
{
    constexpr std::string_view kProcess = "process ";
    return holder.starts_with(kProcess) ? "Prozess " + holder.substr(kProcess.size()) : holder;
}

std::string lineInGerman(const PortProbe& probe)
{
    const std::string port = "COM" + std::to_string(probe.number) + " (" + probe.device + "): ";
    switch (probe.state) {
    case PortProbe::State::NoDevice:
        break;
    case PortProbe::State::Missing:
        return port + "Das Gerät ist nicht (mehr) vorhanden. Ist der Controller angeschlossen und eingeschaltet?";
    case PortProbe::State::Available:
        return port + "Lässt sich öffnen, aber dort hat kein Controller geantwortet. Ist er eingeschaltet, und "
                      "ist es der richtige Anschluss?";
    case PortProbe::State::InUse:
        return port + "Wird von einem anderen Programm benutzt" +
               (probe.holder.empty() ? std::string() : " (" + holderInGerman(probe.holder) + ")") +
               ". Beenden Sie es und versuchen Sie es erneut.";
    case PortProbe::State::PermissionDenied:
        if (probe.group.empty())
            return port + "Zugriff verweigert. Der Systemverwalter muss Ihnen den Zugriff auf das Gerät geben.";
        if (grantsSerialAccess(probe.group))
            return port + "Zugriff verweigert. Das Gerät gehört der Gruppe „" + probe.group +
                   "“: Der Systemverwalter muss Ihren Benutzer in diese Gruppe aufnehmen; danach einmal ab- und "
                   "wieder anmelden.";
        return port + "Zugriff verweigert. Das Gerät gehört der Gruppe „" + probe.group +
               "“, die nicht für serielle Geräte gedacht ist: Der Systemverwalter muss es der Gruppe „dialout“ "
               "geben (eine udev-Regel) und Ihren Benutzer in diese Gruppe aufnehmen.";
    case PortProbe::State::NotSerial:
        return port + "Das ist keine serielle Schnittstelle.";
    case PortProbe::State::Failed:
        return port + "Lässt sich nicht öffnen: " + probe.error;
    }
    return {};
}

} // namespace

std::vector<std::string> explainFailedOpenInWindow(const std::vector<int>& numbers)
{
    std::vector<std::string> lines;
    for (const int n : numbers) {
        const PortProbe probe = probePort(n);
        if (probe.state != PortProbe::State::NoDevice)
            lines.push_back(lineInGerman(probe));
    }
    if (lines.empty())
        lines.push_back((numbers.size() == 1 ? "COM" + std::to_string(numbers.front()) + " führt zu keinem"
                                             : std::string("Keiner der Anschlüsse COM1 bis COM8 führt zu einem")) +
                        " seriellen Gerät. Ist der Controller angeschlossen und eingeschaltet?");
    return lines;
}

std::vector<int> portsTriedByOpen(int connectionMode, const char (&portName)[5])
{
    switch (connectionMode) {
    case 0:
    case 2:
        return {1, 2, 3, 4, 5, 6, 7, 8};
    case 1:
        return {portNumberForMode1(portName)};
    default:
        return {};
    }
}

} // namespace moravel
