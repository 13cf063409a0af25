#include "app/shell/jog_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace moravel {
namespace {

// The keys of the numeric keypad, with Num Lock on (digits) and off (the cursor keys printed
// below the digits): 4/6 X, 8/2 Y, 9/3 Z.
struct KeypadJog {
    Qt::Key digit;
    Qt::Key cursor;
    std::size_t axis;
    int direction;
};
constexpr KeypadJog kKeypadJogs[] = {
    {Qt::Key_4, Qt::Key_Left, 0, -1},   {Qt::Key_6, Qt::Key_Right, 0, +1},  {Qt::Key_2, Qt::Key_Down, 1, -1},
    {Qt::Key_8, Qt::Key_Up, 1, +1},     {Qt::Key_3, Qt::Key_PageDown, 2, -1}, {Qt::Key_9, Qt::Key_PageUp, 2, +1},
};

QString keypadHint(std::size_t axis, int direction)
{
    for (const KeypadJog& k : kKeypadJogs)
        if (k.axis == axis && k.direction == direction)
            return QStringLiteral(" (Ziffernblock %1)").arg(QChar(static_cast<char16_t>(k.digit)));
    return {};
}

} // namespace

JogPanel::JogPanel(QWidget* parent) : QGroupBox(QStringLiteral("Achsen verfahren"), parent), m_stepSize(new QComboBox)
{
    setObjectName(QStringLiteral("jogPanel"));
    setFocusPolicy(Qt::StrongFocus);
    auto* grid = new QGridLayout(this);
    auto* stepLabel = new QLabel(QStringLiteral("&Schrittweite:"));
    stepLabel->setBuddy(m_stepSize);
    m_stepSize->setObjectName(QStringLiteral("jogStepSize"));
    for (const double step : StepSizes)
        m_stepSize->addItem(QStringLiteral("%1 mm").arg(step));
    m_stepSize->setCurrentIndex(1);
    grid->addWidget(stepLabel, 0, 0, 1, 2);
    grid->addWidget(m_stepSize, 0, 2, 1, 2, Qt::AlignLeft);

    for (std::size_t axis = 0; axis < kAxisCount; ++axis) {
        const QChar name = QLatin1Char(kAxisNames[axis]);
        const int row = static_cast<int>(axis) + 1;
        grid->addWidget(new QLabel(name), row, 0);
        m_minus[axis] = new QPushButton(QStringLiteral("%1 −").arg(name));
        m_plus[axis] = new QPushButton(QStringLiteral("%1 +").arg(name));
        m_positions[axis] = new QLabel;
        m_positions[axis]->setObjectName(QStringLiteral("position%1").arg(name));
        m_positions[axis]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_positions[axis]->setMinimumWidth(m_positions[axis]->fontMetrics().horizontalAdvance(
            positionText(-88888.888)));
        for (const int direction : {-1, +1}) {
            QPushButton* button = jogButton(axis, direction);
            button->setAutoDefault(false); // Enter in a dialog must not move an axis
            button->setObjectName(QStringLiteral("jog%1%2").arg(name).arg(direction > 0 ? "Plus" : "Minus"));
            button->setToolTip(QStringLiteral("Achse %1 in %2-Richtung um die Schrittweite verfahren%3")
                                   .arg(name)
                                   .arg(direction > 0 ? "Plus" : "Minus")
                                   .arg(keypadHint(axis, direction)));
            connect(button, &QPushButton::clicked, this, [this, axis, direction] { request(axis, direction); });
        }
        grid->addWidget(m_minus[axis], row, 1);
        grid->addWidget(m_positions[axis], row, 2);
        grid->addWidget(m_plus[axis], row, 3);
    }
    grid->setColumnStretch(4, 1);
    showNoPositions();

    for (const KeypadJog& k : kKeypadJogs)
        for (const Qt::Key key : {k.digit, k.cursor}) {
            auto* shortcut = new QShortcut(QKeySequence(Qt::KeypadModifier | key), this);
            shortcut->setContext(Qt::WidgetWithChildrenShortcut);
            connect(shortcut, &QShortcut::activated, this, [this, k] { request(k.axis, k.direction); });
        }
}

double JogPanel::stepSize() const
{
    const int index = m_stepSize->currentIndex();
    return index >= 0 && static_cast<std::size_t>(index) < StepSizes.size() ? StepSizes[static_cast<std::size_t>(index)]
                                                                             : StepSizes[1];
}

QString JogPanel::positionText(double millimetres) { return QStringLiteral("%1 mm").arg(millimetres, 0, 'f', 3); }

void JogPanel::showPositions(const std::array<float, kAxisCount>& millimetres)
{
    for (std::size_t axis = 0; axis < kAxisCount; ++axis)
        m_positions[axis]->setText(positionText(millimetres[axis]));
}

void JogPanel::showNoPositions()
{
    for (QLabel* label : m_positions)
        label->setText(QStringLiteral("– mm"));
}

void JogPanel::setJogEnabled(bool enabled)
{
    m_enabled = enabled;
    for (std::size_t axis = 0; axis < kAxisCount; ++axis) {
        m_minus[axis]->setEnabled(enabled);
        m_plus[axis]->setEnabled(enabled);
    }
}

bool JogPanel::isShowing() const { return isVisible() && !window()->isMinimized(); }

void JogPanel::request(std::size_t axis, int direction)
{
    // The keys come here also while the buttons are disabled.
    if (m_enabled)
        emit jogRequested(axis, direction * stepSize());
}

} // namespace moravel
