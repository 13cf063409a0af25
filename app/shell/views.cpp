#include "app/shell/views.h"

#include "app/shell/jog_panel.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
    : QWidget(parent),
      m_doc(doc),
      m_jogPlus(new QPushButton(QStringLiteral(">>"))),
      m_jogMinus(new QPushButton(QStringLiteral("<<"))),
      m_notHalt(new QPushButton(QStringLiteral("NotHalt (mit Bremsrampe) "))),
      m_notStop(new QPushButton(QStringLiteral("NotStop (ohne Bremsrampe) "))),
      m_jogPanel(new JogPanel)
{
    setObjectName(QStringLiteral("controlView"));
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addWidget(new QLabel(QStringLiteral("Control View")));
    // The stops stay put: the scroll area below takes whatever height is left, down to none.
    layout->addWidget(createStopPanel());

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("controlPanels"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setMinimumHeight(0);
    auto* content = new QWidget;
    m_panels = new QVBoxLayout(content);
    m_panels->setContentsMargins(0, 8, 0, 0);
    m_panels->addWidget(createXJogPanel());
    m_panels->addWidget(m_jogPanel);
    m_panels->addStretch(1);
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);

    // Stops first, then the jog buttons from left to right.
    setTabOrder(m_notHalt, m_notStop);
    setTabOrder(m_notStop, m_jogMinus);
    setTabOrder(m_jogMinus, m_jogPlus);

    connect(m_jogPlus, &QPushButton::clicked, this, &CMoravelControlView::OnJogPlus);
    connect(m_jogMinus, &QPushButton::clicked, this, &CMoravelControlView::OnJogMinus);
    connect(m_notHalt, &QPushButton::clicked, this, &CMoravelControlView::OnNotHalt);
    connect(m_notStop, &QPushButton::clicked, this, &CMoravelControlView::OnNotStop);
    m_doc.addView(this);
}

QWidget* CMoravelControlView::createStopPanel()
{
    // The colours of a machine's emergency stop: red buttons on a yellow plate. The two
    // differ in shade so that neither is taken for the other; the focus shows as a black
    // frame, since a style sheet replaces the style's own focus marker.
    m_stopPanel = new QFrame;
    m_stopPanel->setObjectName(QStringLiteral("stopPanel"));
    m_stopPanel->setStyleSheet(QStringLiteral(
        "#stopPanel { background: #ffd200; border: 1px solid #8a7000; border-radius: 4px; }"
        "QPushButton { color: white; font-weight: bold; border: 2px solid #5c0010; border-radius: 6px;"
        "  padding: 6px 12px; }"
        "QPushButton:focus { border: 3px solid black; }"
        "#notHalt { background: #d7141a; } #notHalt:pressed { background: #8c0c10; }"
        "#notStop { background: #9e0b0f; } #notStop:pressed { background: #5e0609; }"
        "QLabel { color: black; }"));
    auto* stops = new QVBoxLayout(m_stopPanel);
    stops->setContentsMargins(8, 8, 8, 8);
    stops->setSpacing(8);
    for (QPushButton* stop : {m_notHalt, m_notStop}) {
        stop->setObjectName(stop == m_notHalt ? QStringLiteral("notHalt") : QStringLiteral("notStop"));
        QFont font = stop->font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.25);
        stop->setFont(font);
        stop->setMinimumHeight(QFontMetrics(font).height() * 5 / 2);
        stop->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        stops->addWidget(stop);
    }
    m_stopNote = new QLabel;
    m_stopNote->setObjectName(QStringLiteral("stopNote"));
    m_stopNote->setWordWrap(true);
    m_stopNote->hide();
    stops->addWidget(m_stopNote);
    return m_stopPanel;
}

QWidget* CMoravelControlView::createXJogPanel()
{
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("xJogPanel"));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("X")));
    for (QPushButton* jog : {m_jogMinus, m_jogPlus}) {
        jog->setMinimumWidth(jog->fontMetrics().horizontalAdvance(QStringLiteral("M")) * 6);
        row->addWidget(jog);
    }
    row->addStretch(1);
    return panel;
}

void CMoravelControlView::setStopNote(const QString& text)
{
    m_stopNote->setText(text);
    m_stopNote->setVisible(!text.isEmpty());
}

CMoravelControlView::~CMoravelControlView() { m_doc.removeView(this); }

} // namespace moravel
