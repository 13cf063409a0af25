// ParameterSet::WriteText: the parameter-file writer.

#include "params/number_text.h"
#include "params/parameter_set.h"
#include "params/parameter_table.h"
#include "params/text_util.h"

namespace moravel {
namespace {

constexpr std::size_t kValueWidth = 32;

void appendLongs(std::string& out, const ParameterInfo& p, const ParameterSet& set, std::size_t first,
                 std::size_t count)
{
    out += '[';
    for (std::size_t i = first; i < first + count; ++i) {
        if (i != first)
            out += ';';
        appendLong(out, p.longValue(set, i));
    }
    out += ']';
}

// The controller name as it is written. The reader cuts a line at its line feed and its
// comment at the first "%", trims the value and refuses an empty one with "Kein Wert
// vorhanden". A name from the controller or a dialog that would leave nothing there (empty,
// blanks only, or starting with "%") would make the saved file unreadable, so the default
// name is written instead: it is what the Sonstige dialog and the connection settings use in
// place of an empty name, and it keeps the line (and its comment) in every later save. A
// name is also cut before a line feed, which would otherwise start a line of its own.
std::string_view writtenControllerName(std::string_view name)
{
    name = name.substr(0, name.find('\n'));
    if (trimFileSpace(name.substr(0, name.find('%'))).empty())
        return kDefaultControllerName;
    return name;
}

void appendValueText(std::string& out, const ParameterInfo& p, const ParameterSet& set)
{
    switch (p.kind) {
    case ParameterKind::Long:
        appendLong(out, p.longValue(set));
        break;
    case ParameterKind::Float:
        appendFixed6(out, static_cast<double>(p.floatValue(set)));
        break;
    case ParameterKind::AxisQuadruple:
    case ParameterKind::EnumQuadruple:
        appendLongs(out, p, set, 0, 4);
        break;
    case ParameterKind::HomingRecord:
        out += '[';
        appendLongs(out, p, set, 0, 4);
        appendLongs(out, p, set, 4, 4);
        out += ']';
        break;
    case ParameterKind::String:
        out += writtenControllerName(p.textValue(set));
        break;
    case ParameterKind::Reserved:
        out += "[]";
        break;
    }
}

} // namespace

std::string valueText(const ParameterInfo& p, const ParameterSet& set)
{
    std::string text;
    appendValueText(text, p, set);
    return text;
}

std::string ParameterSet::WriteText() const
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(lineComments.size() * 48);
    for (const auto& [key, comment] : lineComments) {
        const ParameterInfo* p = findParameter(key);
        if (p == nullptr)
            continue;
        // "%04x=": the table's keys all have four digits.
        const std::uint16_t k = p->key.value;
        text += kHex[k >> 12 & 0xF];
        text += kHex[k >> 8 & 0xF];
        text += kHex[k >> 4 & 0xF];
        text += kHex[k & 0xF];
        text += '=';
        const std::size_t valueStart = text.size();
        appendValueText(text, *p, *this);
        const std::size_t valueLength = text.size() - valueStart;
        if (valueLength < kValueWidth)
            text.append(kValueWidth - valueLength, ' ');
        text += comment;
        text += '\n';
    }
    return text;
}

} // namespace moravel
