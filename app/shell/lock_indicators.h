#pragma once
// The status bar's lock-key indicators "UF" (Caps Lock), "NUM" (Num Lock) and "RF" (Scroll
// Lock).
//
// Qt does not tell the lock state, so the indicators read the keyboard LEDs the kernel
// exports under /sys/class/leds (readable by every user). They are refreshed when a lock key
// is pressed in the program and when its window becomes active. Where no LED is exported
// (remote displays, most virtual machines) an indicator stays empty.

#include <QObject>

#include <array>

class QLabel;
class QStatusBar;

namespace moravel {

class LockIndicators : public QObject {
    Q_OBJECT
public:
    // Adds the three panes to the status bar (as permanent widgets, in this order).
    explicit LockIndicators(QStatusBar* bar);

    void refresh();
    QLabel* pane(int index) const { return m_panes[static_cast<std::size_t>(index)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLabel*, 3> m_panes{};
};

// Whether any keyboard LED of the given kind ("capslock", "numlock", "scrolllock") is lit;
// false where the system exports none.
bool keyboardLedLit(const char* kind);

} // namespace moravel
