#include "app/shell/views.h"

#include "app/shell/jog_panel.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace moravel {
namespace {

// Dialog base units of a font: the average width of the Latin letters and the line height.
struct DialogUnits {
    double x;
    double y;
    explicit DialogUnits(const QFontMetrics& fm)
        : x(fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0),
          y(fm.height())
    {
    }
    int toX(int dlu) const { return static_cast<int>(std::lround(dlu * x / 4.0)); }
    int toY(int dlu) const { return static_cast<int>(std::lround(dlu * y / 8.0)); }
};

} // namespace

FormView::FormView(QWidget* parent) : QScrollArea(parent), m_form(new QWidget)
{
    m_form->resize(0, 0);
    setWidget(m_form);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFrameShape(QFrame::StyledPanel); // the two panes stand apart at the splitter
    setFocusPolicy(Qt::StrongFocus);
}

void FormView::place(QWidget* child, int x, int y, int w, int h)
{
    const DialogUnits units(fontMetrics());
    const QSize hint = child->sizeHint().expandedTo(child->minimumSize());
    const QRect rect(units.toX(x), units.toY(y), std::max(units.toX(w), hint.width()),
                     std::max(units.toY(h), hint.height()));
    child->setGeometry(rect);
    const QSize needed(std::max(m_form->width(), rect.right() + units.toX(6)),
                       std::max(m_form->height(), rect.bottom() + units.toY(6)));
    m_form->resize(needed);
}

CMoravelStatusView::CMoravelStatusView(CMoravelSDIDoc& doc, QWidget* parent)
    : FormView(parent), m_doc(doc), m_fahrenBox(new QCheckBox(QStringLiteral("Fahren"), form()))
{
    setObjectName(QStringLiteral("statusView"));
    auto* caption = new QLabel(QStringLiteral(" Status View"), form());
    place(caption, 7, 6, 132, 8);
    place(m_fahrenBox, 9, 29, 38, 10);
    m_fahrenBox->setEnabled(false);
    m_doc.addView(this);
}

CMoravelStatusView::~CMoravelStatusView() { m_doc.removeView(this); }

void CMoravelStatusView::writeToControl() { m_fahrenBox->setChecked(m_bFahren != 0); }

void CMoravelStatusView::onInitialUpdate(CMoravelSDIDoc& doc)
{
    writeToControl();
    onDocumentUpdate(doc, nullptr, 0);
}

void CMoravelStatusView::onDocumentUpdate(CMoravelSDIDoc& doc, DocumentView*, int)
{
    const int moving = doc.m_bMoving ? 1 : 0;
    if (moving == m_bFahren)
        return;
    m_bFahren = moving;
    writeToControl();
    ++m_refreshCount;
}

CMoravelControlView::CMoravelControlView(CMoravelSDIDoc& doc, QWidget* parent)
    : FormView(parent),
      m_doc(doc),
      m_jogPlus(new QPushButton(QStringLiteral(">>"), form())),
      m_jogMinus(new QPushButton(QStringLiteral("<<"), form())),
      m_notHalt(new QPushButton(QStringLiteral("NotHalt (mit Bremsrampe) "), form())),
      m_notStop(new QPushButton(QStringLiteral("NotStop (ohne Bremsrampe) "), form())),
      m_jogPanel(new JogPanel(form()))
{
    setObjectName(QStringLiteral("controlView"));
    auto* caption = new QLabel(QStringLiteral("Control View"), form());
    place(caption, 6, 4, 132, 8);
    place(m_jogPlus, 166, 125, 50, 14);
    place(m_jogMinus, 49, 127, 50, 14);
    // The stop buttons share the width of the wider one, so that they line up.
    const int stopWidth = std::max(m_notHalt->sizeHint().width(), m_notStop->sizeHint().width());
    m_notHalt->setMinimumWidth(stopWidth);
    m_notStop->setMinimumWidth(stopWidth);
    place(m_notHalt, 180, 40, 95, 14);
    place(m_notStop, 180, 60, 95, 14);
    place(m_jogPanel, 6, 150, 160, 90);

    connect(m_jogPlus, &QPushButton::clicked, this, &CMoravelControlView::OnJogPlus);
    connect(m_jogMinus, &QPushButton::clicked, this, &CMoravelControlView::OnJogMinus);
    connect(m_notHalt, &QPushButton::clicked, this, &CMoravelControlView::OnNotHalt);
    connect(m_notStop, &QPushButton::clicked, this, &CMoravelControlView::OnNotStop);
    m_doc.addView(this);
}

CMoravelControlView::~CMoravelControlView() { m_doc.removeView(this); }

} // namespace moravel
