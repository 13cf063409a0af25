#pragma once
// Status bar panes that give way instead of cutting: a label that elides its text when it gets
// less room than its text needs (the whole text in its tooltip), and the sharing-out of a
// status bar's width in an order of precedence.

#include <QLabel>
#include <QString>

#include <initializer_list>

class QStatusBar;

namespace moravel {

// A label showing as much of its text as fits, with "…" where it is cut. Its minimum width is
// that of a few characters, so it never holds the window wider than it is; its preferred width
// is the whole text. text() is the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }
    // What the label shows now (the text, or its elided start).
    QString shownText() const { return QLabel::text(); }
    // The width the whole text needs, margins included.
    int fullWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString m_text;
    QString m_toolTip; // a tooltip of its own (none: the whole text when it is cut)
};

// Shares out the status bar's width: first comes gets the whole width its text needs, each of
// the others what is left, down to its minimum, in the order given (hidden panes are passed
// over); the first is the bar's stretching pane and takes what remains. A pane that gets less
// than its text needs elides it.
// A pane that wants more room than its size hint (an empty indicator keeping its place) says
// so in this property (an int).
inline constexpr const char* kPreferredWidth = "preferredWidth";
void shareStatusBarWidth(QStatusBar* bar, ElidedLabel* first, std::initializer_list<QWidget*> others);

} // namespace moravel
