#include "app/shell/status_panes.h"

#include <QLayout>
#include <QResizeEvent>
#include <QStatusBar>
#include <QStyle>

#include <algorithm>

namespace moravel {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ElidedLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    elide();
}

int ElidedLabel::fullWidth() const
{
    const QMargins m = contentsMargins();
    return fontMetrics().horizontalAdvance(m_text) + m.left() + m.right() + 2 * margin() + 4;
}

QSize ElidedLabel::sizeHint() const { return {fullWidth(), QLabel::sizeHint().height()}; }

QSize ElidedLabel::minimumSizeHint() const
{
    // A few characters and the ellipsis: enough to see that something is there.
    const int few = fontMetrics().horizontalAdvance(m_text.left(4) + QChar(0x2026));
    return {std::min(fullWidth(), few + 4), QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    const QMargins m = contentsMargins();
    const int room = width() - m.left() - m.right() - 2 * margin() - 2;
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideRight, std::max(room, 0));
    QLabel::setText(shown);
    // The whole text on hovering, when it had to be cut; a tooltip set from outside stays.
    if (toolTip().isEmpty() || toolTip() == m_toolTip) {
        m_toolTip = shown == m_text ? QString() : m_text;
        setToolTip(m_toolTip);
    }
}

void shareStatusBarWidth(QStatusBar* bar, ElidedLabel* first, std::initializer_list<QWidget*> others)
{
    // What the layout takes besides the panes: its margins and the spacing of every visible
    // item, the size grip's room. A little slack keeps rounding from pushing the first pane.
    const int spacing = std::max(bar->layout() != nullptr ? bar->layout()->spacing() : 0, 7);
    int room = bar->contentsRect().width() - 6;
    for (QWidget* child : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isVisibleTo(bar))
            continue;
        room -= spacing;
        if (child != first && std::find(others.begin(), others.end(), child) == others.end())
            room -= child->sizeHint().width(); // the lock indicators and the like keep their size
    }
    int left = room - first->fullWidth();
    for (QWidget* pane : others) {
        if (!pane->isVisibleTo(bar))
            continue;
        const int wanted = std::max(pane->sizeHint().width(), pane->property(kPreferredWidth).toInt());
        // A pane that only keeps its place may give it up entirely.
        const int least = pane->property(kPreferredWidth).isValid() ? 0 : pane->minimumSizeHint().width();
        const int width = std::clamp(left, least, std::max(least, wanted));
        pane->setMaximumWidth(width);
        left -= width;
    }
}

} // namespace moravel
