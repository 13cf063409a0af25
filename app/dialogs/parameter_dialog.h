#pragma once
// The widget side of a parameter dialog: one QDialog built from a DialogForm.
//
// The dialog lays out its fields as the form says (label rows with their frames, Mechanik's
// per-axis frames, Referenzfahrt's direction combos and radio grid), shows the members it is
// given, and on "OK" hands the controls' contents to exchange() in the form's exchange order.
// The first failing field's message goes to ui.showMessage, that field gets the focus and the
// dialog stays open; otherwise it closes with Accepted and members() holds the checked values.
// "Abbrechen", Esc and the close box reject it. The dialog never touches a ParameterSet.
//
// Each control's object name is "field<id>" with the field's control id; each radio button
// of the Referenzfahrt grid is named by its own id ("field1164" ... "field1179").
//
// runParameterDialog is the whole command of one dialog of the "Parameter" menu, on the GUI
// thread: nothing while doc.m_bParametersValid is clear; otherwise the dialog over parent with
// the document's values, and after "OK" the changed values written back (each change sets the
// modified flag). Messages go to ui.showMessage, which must show a modal box and return once
// it is closed. Nothing is sent to the controller.

#include "app/dialogs/dialog_rules.h"

#include <QDialog>

#include <array>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace moravel {

class ParameterDialog : public QDialog {
    Q_OBJECT

public:
    ParameterDialog(const DialogForm& form, UserInteraction& ui, QWidget* parent = nullptr);

    const DialogForm& form() const { return m_form; }

    // Every control receives its member: numbers as text, a combo box selects the first entry
    // that begins with its text (letter case ignored) or else shows the text itself.
    void setMembers(const DialogMembers& members);
    // The members; after an accepted "OK" the values the user confirmed.
    const DialogMembers& members() const { return m_members; }

    // The widget of field i (exchange order); for a radio column its X button.
    QWidget* fieldWidget(std::size_t i) const;
    // The radio button of a homing step (0 to 3) and axis (0 to 3). REQUIRES: Homing layout.
    QRadioButton* radioButton(int step, int axis) const;
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

    // "OK": checks the fields in exchange order; closes only when all pass.
    void accept() override;

private:
    struct Control {
        QLineEdit* edit = nullptr;
        QComboBox* combo = nullptr;
        QCheckBox* check = nullptr;
        QButtonGroup* group = nullptr;
        std::array<QRadioButton*, 4> radios{};
        QWidget* widget() const;
    };

    void createControl(std::size_t i);
    void layoutLabelRows(QGridLayout* grid);
    void layoutAxisFrames(QGridLayout* grid);
    void layoutHoming(QGridLayout* grid);
    int frameTitleHeight() const;
    void addFrame(QGridLayout* grid, const QString& title, int row, int column, int rowSpan, int columnSpan);
    void showControl(std::size_t i, const ControlValue& value);
    ControlValue readControl(std::size_t i) const;
    void focusField(std::size_t i);

    const DialogForm& m_form;
    UserInteraction& m_ui;
    DialogMembers m_members;
    std::vector<Control> m_controls; // parallel to m_form.fields
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

DialogOutcome runParameterDialog(DialogId id, QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui);

} // namespace moravel
