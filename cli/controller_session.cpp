#include "cli/controller_session.h"

#include "app/controller/firmware_update.h"
#include "app/controller/port_diagnosis.h"
#include "app/controller/template_file.h"
#include "link/common/port_map.h"
#include "params/cp1252.h"
#include "params/text_util.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>

namespace moravel::cli {

std::optional<int> setUpConnection(const Arguments& args, CMoravelSDIApp& app)
{
    app.loadSettings();
    const std::string* port = args.value("--port");
    const std::string* name = args.value("--name");
    if (int{args.has("--auto")} + (port != nullptr) + (name != nullptr) > 1)
        return usageError("use only one of --port, --auto and --name");
    if (args.has("--auto"))
        app.connectionMode = 2;
    if (port != nullptr) {
        const int n = quorlink::parsePortNumber(*port, quorlink::PortNameForm::AnyCase);
        if (n < 1 || n > 8)
            return usageError("--port takes COM1 ... COM8, not '" + *port + "'");
        app.connectionMode = 1;
        std::snprintf(app.m_context.portName, sizeof app.m_context.portName, "COM%d", n);
    }
    if (name != nullptr) {
        const Cp1252Result bytes = utf8ToCp1252(*name);
        if (!bytes.ok())
            return usageError("--name: the name has characters that the controller cannot hold");
        if (bytes.bytes.size() > kMaxControllerNameChars)
            return usageError("--name: the controller name has at most 16 characters");
        // Blank-padded like the name a transfer sends, so that "NC-Travo USB" finds the
        // controller that reports "NC-Travo USB    ".
        app.connectionMode = 0;
        const auto field = blankPaddedName(bytes.bytes);
        std::memcpy(app.m_context.controllerName, field.data(), field.size());
        app.m_context.controllerName[field.size()] = '\0';
    }
    return std::nullopt;
}

int noConnection(const std::vector<int>& tried)
{
    for (const std::string& line : explainFailedOpen(tried))
        std::fprintf(stderr, "moravel-cli: %s\n", line.c_str());
    return kExitNoConnection;
}

int noConnection(const CMoravelSDIApp& app)
{
    return noConnection(portsTriedByOpen(app.connectionMode, app.m_context.portName));
}

std::optional<int> renewFromTemplate(CMoravelSDIDoc& doc, UserInteraction& ui)
{
    switch (loadTemplate(doc, ui)) {
    case CMoravelSDIDoc::OpenResult::Loaded:
        return std::nullopt;
    case CMoravelSDIDoc::OpenResult::BuiltIn:
        std::fprintf(stderr, "moravel-cli: no template file %s found; using the built-in template\n",
                     std::string(kTemplateFileName).c_str());
        return std::nullopt;
    default:
        return fail("cannot read the template file '" + findTemplateFile() + "'");
    }
}

namespace {

std::string keyText(const ParameterInfo& p)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", p.key.value);
    return text;
}

} // namespace

bool printDifferences(const std::vector<ParameterDifference>& differences, bool json)
{
    std::string out;
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const ParameterDifference& d : differences)
            list.push_back({{"key", keyText(*d.parameter)},
                            {"name", std::string(d.parameter->itemMacro)},
                            {"file", cp1252ToUtf8(d.setValue)},
                            {"controller", cp1252ToUtf8(d.controllerValue)}});
        out = list.dump() + "\n";
    } else {
        for (const ParameterDifference& d : differences)
            out += keyText(*d.parameter) + "\t" + std::string(d.parameter->itemMacro) + "\t" +
                   cp1252ToUtf8(d.setValue) + "\t" + cp1252ToUtf8(d.controllerValue) + "\n";
    }
    return writeStdout(out);
}

} // namespace moravel::cli
