#pragma once
// The two form views of the main window's splitter.
//
// CMoravelStatusView (left) shows the document's moving indicator as the read-only check box
// "Fahren". CMoravelControlView (right) carries the jog and emergency-stop buttons; it hands
// each press to the window, which runs the controller command off the GUI thread and then
// stores the outcome with CMoravelSDIDoc::SetMoving.
//
// The status view is laid out like a dialog form: controls at fixed positions in dialog units
// (a quarter of the font's average character width, an eighth of its height), scrolling when
// the pane is smaller than the controls need. The control view keeps its two stop buttons at
// its top, outside any scroll area, at their full size whatever the pane's size; its other
// panels (the X jog row first) scroll below them.

#include "app/document/moravel_document.h"

#include <QScrollArea>

#include <cstdint>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace moravel {

class JogPanel;

// A scrolling pane whose content is a form of controls placed in dialog units.
class FormView : public QScrollArea {
    Q_OBJECT
public:
    explicit FormView(QWidget* parent);

protected:
    // Places a child at (x, y) with size (w, h) in dialog units; never smaller than the
    // child's own size hint, so that no label is cut off.
    void place(QWidget* child, int x, int y, int w, int h);
    QWidget* form() const { return m_form; }

private:
    QWidget* m_form;
};

class CMoravelStatusView : public FormView, public DocumentView {
    Q_OBJECT
public:
    CMoravelStatusView(CMoravelSDIDoc& doc, QWidget* parent = nullptr);
    ~CMoravelStatusView() override;

    void onInitialUpdate(CMoravelSDIDoc& doc) override;
    void onDocumentUpdate(CMoravelSDIDoc& doc, DocumentView* sender, int hint) override;

    QCheckBox* fahrenBox() const { return m_fahrenBox; }
    // How often an update changed the check box (the tests watch that a repeated value does
    // not notify the view).
    int refreshCount() const { return m_refreshCount; }

    int m_bFahren = 0;

private:
    void writeToControl();

    CMoravelSDIDoc& m_doc;
    QCheckBox* m_fahrenBox;
    int m_refreshCount = 0;
};

class CMoravelControlView : public QWidget, public DocumentView {
    Q_OBJECT
public:
    CMoravelControlView(CMoravelSDIDoc& doc, QWidget* parent = nullptr);
    ~CMoravelControlView() override;

    // Document updates never change this view.
    void onDocumentUpdate(CMoravelSDIDoc&, DocumentView*, int) override {}

    QPushButton* jogPlusButton() const { return m_jogPlus; }
    QPushButton* jogMinusButton() const { return m_jogMinus; }
    QPushButton* notHaltButton() const { return m_notHalt; }
    QPushButton* notStopButton() const { return m_notStop; }
    // Jogs of all four axes, below the buttons.
    JogPanel* jogPanel() const { return m_jogPanel; }
    // The yellow panel that holds the stops, and the line below them that tells what became of
    // a stop that had to wait ("NotHalt wird nach der laufenden Operation gesendet.", then
    // "NotHalt gesendet."); hidden while empty.
    QFrame* stopPanel() const { return m_stopPanel; }
    QLabel* stopNote() const { return m_stopNote; }
    void setStopNote(const QString& text);
    // The scrolling column below the stops; a panel goes in with panels()->addWidget(panel).
    QVBoxLayout* panels() const { return m_panels; }

    // Steps of one jog of the X axis.
    static constexpr std::int32_t kJogSteps = 1000;

signals:
    // A relative XY move of stepsX in X and 0 in Y (value 0, one pair, flags 3).
    void jogRequested(std::int32_t stepsX);
    void notHaltRequested();
    void notStopRequested();

public slots:
    void OnJogPlus() { emit jogRequested(kJogSteps); }
    void OnJogMinus() { emit jogRequested(-kJogSteps); }
    void OnNotHalt() { emit notHaltRequested(); }
    void OnNotStop() { emit notStopRequested(); }

private:
    QWidget* createStopPanel();
    QWidget* createXJogPanel();

    CMoravelSDIDoc& m_doc;
    QPushButton* m_jogPlus;
    QPushButton* m_jogMinus;
    QPushButton* m_notHalt;
    QPushButton* m_notStop;
    JogPanel* m_jogPanel;
    QFrame* m_stopPanel = nullptr;
    QLabel* m_stopNote = nullptr;
    QVBoxLayout* m_panels = nullptr;
};

} // namespace moravel
