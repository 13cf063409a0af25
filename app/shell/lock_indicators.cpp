#include "app/shell/lock_indicators.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace moravel {
namespace {

struct Indicator {
    const char* text;
    const char* led;
};
constexpr std::array<Indicator, 3> kIndicators{{{"UF", "capslock"}, {"NUM", "numlock"}, {"RF", "scrolllock"}}};

} // namespace

bool keyboardLedLit(const char* kind)
{
    const QDir leds(QStringLiteral("/sys/class/leds"));
    const QStringList names = leds.entryList({QStringLiteral("*::%1").arg(QLatin1String(kind))}, QDir::Dirs);
    for (const QString& name : names) {
        QFile brightness(leds.filePath(name + QStringLiteral("/brightness")));
        if (brightness.open(QIODevice::ReadOnly) && brightness.readAll().trimmed().toInt() > 0)
            return true;
    }
    return false;
}

LockIndicators::LockIndicators(QStatusBar* bar) : QObject(bar)
{
    for (std::size_t i = 0; i < kIndicators.size(); ++i) {
        auto* label = new QLabel(bar);
        const QString text = QString::fromLatin1(kIndicators[i].text);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 8);
        label->setAlignment(Qt::AlignCenter);
        label->setToolTip(text);
        bar->addPermanentWidget(label);
        m_panes[i] = label;
    }
    qApp->installEventFilter(this);
    refresh();
}

void LockIndicators::refresh()
{
    for (std::size_t i = 0; i < kIndicators.size(); ++i)
        m_panes[i]->setText(keyboardLedLit(kIndicators[i].led) ? QString::fromLatin1(kIndicators[i].text) : QString());
}

bool LockIndicators::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
            QTimer::singleShot(50, this, &LockIndicators::refresh); // the LED follows the key
    } else if (event->type() == QEvent::ApplicationActivate) {
        refresh();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace moravel
