// ParameterSet::ReadText: the parameter-file reader.
//
// All cutting works on string_views into the caller's text, so each line is looked at a
// fixed number of times and reading takes time proportional to the text's size.

#include "params/number_text.h"
#include "params/parameter_set.h"
#include "params/parameter_table.h"
#include "params/text_util.h"
#include "params/user_interaction.h"

#include <optional>

namespace moravel {
namespace {

// Text before the first c, or the empty text when there is none.
std::string_view before(std::string_view s, char c)
{
    const std::size_t pos = s.find(c);
    return pos == std::string_view::npos ? std::string_view{} : s.substr(0, pos);
}

// Text after the first c, or the whole of s when there is none.
std::string_view after(std::string_view s, char c)
{
    const std::size_t pos = s.find(c);
    return pos == std::string_view::npos ? s : s.substr(pos + 1);
}

// A long field: the whole field must be a number; a quadruple element may also be empty
// (it then reads as 0). White space before the number is skipped, after it it is an error.
std::optional<std::int32_t> readLongField(std::string_view field)
{
    if (field.empty())
        return 0;
    const auto parsed = parseLong(field, 10);
    if (parsed.end != field.size())
        return std::nullopt;
    return parsed.value;
}

class Reader {
public:
    Reader(ParameterSet& set, UserInteraction& ui) : m_set(set), m_ui(ui) {}

    bool read(std::string_view text);

private:
    bool fail(SyntaxError error)
    {
        m_ui.showMessage(syntaxErrorMessage(error, m_lineNumber));
        return false;
    }

    // Stores an element's value if valid, else its default with the element's message.
    void storeLong(const ParameterInfo& p, std::size_t element, std::int32_t value)
    {
        if (p.isValid(element, value)) {
            p.longValue(m_set, element) = value;
        } else {
            p.longValue(m_set, element) = static_cast<std::int32_t>(p.element(element).defaultValue);
            m_ui.showMessage(validationMessage(p, element));
        }
    }

    // Reads the elements' texts in order; a syntax error stops after the earlier ones.
    template <std::size_t N>
    bool readElements(const ParameterInfo& p, const std::array<std::string_view, N>& texts)
    {
        for (std::size_t i = 0; i < N; ++i) {
            const auto value = readLongField(texts[i]);
            if (!value)
                return fail(SyntaxError::BadValue);
            storeLong(p, i, *value);
        }
        return true;
    }

    bool readLine(std::string_view line);
    bool readValue(const ParameterInfo& p, std::string_view value);
    bool readQuadruple(const ParameterInfo& p, std::string_view value);
    bool readHomingRecord(const ParameterInfo& p, std::string_view value);

    ParameterSet& m_set;
    UserInteraction& m_ui;
    int m_lineNumber = 0; // 1 for the first line of the file
};

bool Reader::read(std::string_view text)
{
    m_set.lineComments.clear();
    m_set.origins.clear();
    std::string_view rest = text;
    while (!rest.empty()) {
        ++m_lineNumber;
        std::string_view line;
        const std::size_t lineFeed = rest.find('\n');
        if (lineFeed != std::string_view::npos) {
            line = rest.substr(0, lineFeed);
            rest.remove_prefix(lineFeed + 1);
        } else {
            line = rest;
            rest = {};
        }
        if (!readLine(line))
            return false;
    }
    return true;
}

bool Reader::readLine(std::string_view line)
{
    std::string_view comment;
    const std::size_t percent = line.find('%');
    if (percent != std::string_view::npos) {
        comment = line.substr(percent);
        line = line.substr(0, percent);
    }
    line = trimFileSpace(line);
    if (line.empty())
        return true; // blank or comment only

    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return fail(SyntaxError::NoEquals);
    const std::string_view keyField = trimFileSpace(line.substr(0, equals));
    const std::string_view valueField = trimFileSpace(line.substr(equals + 1));
    if (keyField.empty())
        return fail(SyntaxError::NoKey);
    if (valueField.empty())
        return fail(SyntaxError::NoValue);

    // The entry is made for the number read even when the key field holds more than that.
    const auto key = parseLong(keyField, 16);
    m_set.lineComments[key.value].assign(comment);
    if (key.end != keyField.size())
        return fail(SyntaxError::BadKey);

    const ParameterInfo* p = findParameter(key.value);
    if (p == nullptr)
        return true; // outside the table: only the comment is kept
    if (!readValue(*p, valueField))
        return false;
    m_set.setOrigin(p->key.value, ValueOrigin::File);
    return true;
}

bool Reader::readValue(const ParameterInfo& p, std::string_view value)
{
    switch (p.kind) {
    case ParameterKind::Long: {
        const auto parsed = parseLong(value, 10);
        if (parsed.end != value.size())
            return fail(SyntaxError::BadValue);
        storeLong(p, 0, parsed.value);
        return true;
    }
    case ParameterKind::Float: {
        const auto parsed = parseDouble(value);
        if (parsed.end != value.size())
            return fail(SyntaxError::BadValue);
        // Checked in double precision, narrowed afterwards.
        if (p.isValid(0, parsed.value)) {
            p.floatValue(m_set) = static_cast<float>(parsed.value);
        } else {
            p.floatValue(m_set) = static_cast<float>(p.element(0).defaultValue);
            m_ui.showMessage(validationMessage(p));
        }
        return true;
    }
    case ParameterKind::AxisQuadruple:
    case ParameterKind::EnumQuadruple:
        return readQuadruple(p, value);
    case ParameterKind::HomingRecord:
        return readHomingRecord(p, value);
    case ParameterKind::String:
        if (value.size() > 16) {
            p.textValue(m_set).assign(value.substr(0, 16));
            m_ui.showMessage(kControllerNameTruncatedMessage);
        } else {
            p.textValue(m_set).assign(value);
        }
        return true;
    case ParameterKind::Reserved:
        return true;
    }
    return true;
}

// "[x;y;z;c]": after the first "[", three elements ending at ";", the last at "]".
bool Reader::readQuadruple(const ParameterInfo& p, std::string_view s)
{
    std::array<std::string_view, 4> elements;
    s = after(s, '[');
    for (std::size_t i = 0; i < 3; ++i) {
        elements[i] = before(s, ';');
        s = after(s, ';');
    }
    elements[3] = before(s, ']');
    return readElements(p, elements);
}

// "[[d1;d2;d3;d4][a1;a2;a3;a4]]": the directions after the second "[", the axes after the
// next "[".
bool Reader::readHomingRecord(const ParameterInfo& p, std::string_view s)
{
    std::array<std::string_view, 8> elements;
    s = after(after(s, '['), '[');
    for (std::size_t i = 0; i < 3; ++i) {
        elements[i] = before(s, ';');
        s = after(s, ';');
    }
    elements[3] = before(s, ']');
    s = after(s, '[');
    for (std::size_t i = 4; i < 7; ++i) {
        elements[i] = before(s, ';');
        s = after(s, ';');
    }
    elements[7] = before(s, ']');
    if (!readElements(p, elements))
        return false;
    if (!isValidHomingOrder(m_set.Reihenfolge)) {
        m_ui.showMessage(kHomingOrderFileMessage);
        return false;
    }
    return true;
}

} // namespace

bool ParameterSet::ReadText(std::string_view text, UserInteraction& ui)
{
    if (text.empty())
        return false;
    return Reader(*this, ui).read(text);
}

} // namespace moravel
