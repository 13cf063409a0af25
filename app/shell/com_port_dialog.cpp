#include "app/shell/com_port_dialog.h"

#include "app/dialogs/field_validation.h"
#include "app/shell/gui_interaction.h"
#include "params/cp1252.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

namespace moravel {
namespace {

// Lets only characters into the field that code page 1252 can hold (the controller name is
// stored and sent as code page 1252 bytes).
class Cp1252Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        return utf8ToCp1252(input.toStdString()).ok() ? Acceptable : Invalid;
    }
};

// The baud field's number; none when the field holds no number. Digits beyond 32 bits give
// the largest number, which is out of range all the same.
std::optional<std::uint32_t> baudNumber(const QString& field)
{
    const std::string text = field.toStdString();
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const std::string_view digits(text.data() + first, text.find_last_not_of(" \t") + 1 - first);
    if (!std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint32_t value = 0;
    if (std::from_chars(digits.data(), digits.data() + digits.size(), value).ec != std::errc())
        return std::numeric_limits<std::uint32_t>::max();
    return value;
}

// The standard field message for a field outside its limits.
std::string limitMessage(ComPortField field)
{
    switch (field) {
    case ComPortField::BaudRate:
        return integerRangeMessage(kMinBaudRate, kMaxBaudRate);
    case ComPortField::ControllerName:
        return tooManyCharactersMessage(kMaxControllerNameChars);
    case ComPortField::PortName:
        return tooManyCharactersMessage(kMaxPortNameChars);
    case ComPortField::None:
        break;
    }
    return {};
}

} // namespace

CComPortSettingsDlg::CComPortSettingsDlg(const ComPortChoice& initial, QWidget* parent)
    : QDialog(parent),
      m_mode(new QButtonGroup(this)),
      m_name(new QLineEdit),
      m_port(new QComboBox),
      m_baud(new QLineEdit),
      m_initialMode(initial.connectionMode)
{
    setWindowTitle(QStringLiteral("Com Port Settings"));

    auto* byName = new QRadioButton(QStringLiteral("Controller &name"));
    auto* byPort = new QRadioButton(QStringLiteral("COM &port:"));
    auto* autodetect = new QRadioButton(QStringLiteral("A&utodetect"));
    m_mode->addButton(byName, 0);
    m_mode->addButton(byPort, 1);
    m_mode->addButton(autodetect, 2);

    m_name->setValidator(new Cp1252Validator(m_name));
    m_name->setText(toQString(cp1252ToUtf8(initial.controllerName)));
    // Room for 16 characters of the widest kind the name usually has.
    m_name->setMinimumWidth(m_name->fontMetrics().horizontalAdvance(QStringLiteral("NC-Travo USB WWW")) + 12);

    m_port->setEditable(true);
    for (int n = 1; n <= 8; ++n)
        m_port->addItem(QStringLiteral("COM%1").arg(n));
    m_port->setInsertPolicy(QComboBox::NoInsert);
    // Port names are plain ASCII ("COM3"); the field holds bytes, not characters.
    m_port->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[\\x20-\\x7e]*")), m_port));
    m_port->setEditText(toQString(initial.portName));

    m_baud->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_baud));
    m_baud->setText(QString::number(initial.baudRate));
    m_baud->setMaximumWidth(m_baud->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 12);

    if (QAbstractButton* selected = m_mode->button(initial.connectionMode))
        selected->setChecked(true);

    auto* portBox = new QGroupBox(QStringLiteral("Port connection"));
    auto* portGrid = new QGridLayout(portBox);
    portGrid->addWidget(byName, 0, 0);
    portGrid->addWidget(m_name, 0, 1);
    portGrid->addWidget(byPort, 1, 0);
    portGrid->addWidget(m_port, 1, 1);
    portGrid->addWidget(autodetect, 2, 0, 1, 2);
    portGrid->setColumnStretch(1, 1);

    auto* settingsBox = new QGroupBox(QStringLiteral("Setttings"));
    auto* settingsRow = new QHBoxLayout(settingsBox);
    auto* baudLabel = new QLabel(QStringLiteral("Baude rate :"));
    baudLabel->setBuddy(m_baud);
    settingsRow->addWidget(baudLabel);
    settingsRow->addWidget(m_baud);
    settingsRow->addStretch(1);

    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CComPortSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CComPortSettingsDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(portBox);
    layout->addWidget(settingsBox);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

ComPortChoice CComPortSettingsDlg::choice() const
{
    ComPortChoice c;
    // A stored mode that no button stands for stays until the user picks one.
    c.connectionMode = m_mode->checkedId() < 0 ? m_initialMode : m_mode->checkedId();
    c.portName = m_port->currentText().toStdString();
    c.controllerName = utf8ToCp1252(m_name->text().toStdString()).bytes;
    c.baudRate = baudNumber(m_baud->text()).value_or(0);
    return c;
}

void CComPortSettingsDlg::refuse(QWidget* field, const std::string& message)
{
    QMessageBox::warning(this, QString::fromLatin1(kApplicationTitle), toQString(message));
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        edit->selectAll();
    else if (auto* combo = qobject_cast<QComboBox*>(field); combo && combo->lineEdit())
        combo->lineEdit()->selectAll();
}

std::pair<ComPortField, std::string> CComPortSettingsDlg::firstFault() const
{
    // The limits are the controller's. The texts can also be wrong in ways choice() does not
    // show, each checked in its field's turn: a baud field without a number, a name with
    // characters code page 1252 lacks (choice() holds a '?' for each).
    if (!baudNumber(m_baud->text()))
        return {ComPortField::BaudRate, integerExpectedMessage()};
    const ComPortField outOfLimits = checkComPortChoice(choice());
    if (outOfLimits == ComPortField::BaudRate || outOfLimits == ComPortField::ControllerName)
        return {outOfLimits, limitMessage(outOfLimits)};
    const std::string name = m_name->text().toStdString();
    if (const auto characters = checkCp1252Text(name, std::numeric_limits<std::size_t>::max()); !characters.ok())
        return {ComPortField::ControllerName, characters.message};
    return {outOfLimits, limitMessage(outOfLimits)};
}

ComPortField CComPortSettingsDlg::validate()
{
    const auto [field, message] = firstFault();
    switch (field) {
    case ComPortField::BaudRate:
        refuse(m_baud, message);
        break;
    case ComPortField::ControllerName:
        refuse(m_name, message);
        break;
    case ComPortField::PortName:
        refuse(m_port, message);
        break;
    case ComPortField::None:
        break;
    }
    return field;
}

void CComPortSettingsDlg::accept()
{
    if (validate() == ComPortField::None)
        QDialog::accept();
}

} // namespace moravel
