#pragma once
// The jog panel: moves each of the four axes X, Y, Z and C by a chosen step in either
// direction and shows where the controller says the axes are.
//
// The panel itself sends nothing: a press (a button, or a key of the numeric keypad while the
// focus is in the panel: 4/6 X, 8/2 Y, 9/3 Z) asks for a move of the step size in millimetres,
// and whoever owns the panel converts it with the axis's Auflösung and runs it. The control
// view carries one for the window; the commissioning assistant carries one of its own.

#include <QGroupBox>

#include <array>
#include <cstddef>

class QComboBox;
class QLabel;
class QPushButton;

namespace moravel {

inline constexpr std::size_t kAxisCount = 4;
// The axes' names, in the order of every quadruple (X, Y, Z, C).
inline constexpr std::array<char, kAxisCount> kAxisNames = {'X', 'Y', 'Z', 'C'};

class JogPanel : public QGroupBox {
    Q_OBJECT
public:
    // The step sizes to choose from, in millimetres; the second is the one chosen at start.
    static constexpr std::array<double, 4> StepSizes = {0.1, 1.0, 10.0, 100.0};

    explicit JogPanel(QWidget* parent = nullptr);

    double stepSize() const;
    QComboBox* stepSizeBox() const { return m_stepSize; }
    // direction: +1 or -1.
    QPushButton* jogButton(std::size_t axis, int direction) const
    {
        return direction > 0 ? m_plus[axis] : m_minus[axis];
    }
    QLabel* positionLabel(std::size_t axis) const { return m_positions[axis]; }

    // The positions in millimetres, or "–" for every axis when they are not known.
    void showPositions(const std::array<float, kAxisCount>& millimetres);
    void showNoPositions();
    // Whether the jog buttons and keys may be used now.
    void setJogEnabled(bool enabled);
    // True while the panel is shown in a window that is not minimised.
    bool isShowing() const;

    // "12.345 mm"
    static QString positionText(double millimetres);

signals:
    // A move of the axis by millimetres (the step size, negative for minus).
    void jogRequested(std::size_t axis, double millimetres);

private:
    void request(std::size_t axis, int direction);

    QComboBox* m_stepSize;
    std::array<QPushButton*, kAxisCount> m_minus{};
    std::array<QPushButton*, kAxisCount> m_plus{};
    std::array<QLabel*, kAxisCount> m_positions{};
    bool m_enabled = true;
};

} // namespace moravel
