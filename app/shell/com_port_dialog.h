#pragma once
// The "Com Port Settings" dialog: how the program finds the controller.
//
// It only edits a ComPortChoice: the window fills it from the application object and hands
// the accepted choice back to CMoravelSDIApp::applyChoice, which stores it. OK checks the
// fields in the order baud rate, controller name, port name, against the limits of
// checkComPortChoice; the first one that fails shows the standard field message, gets the
// focus and keeps the dialog open.

#include "app/controller/moravel_app.h"

#include <QDialog>

#include <string>
#include <utility>

class QButtonGroup;
class QComboBox;
class QLineEdit;

namespace moravel {

class CComPortSettingsDlg : public QDialog {
    Q_OBJECT
public:
    CComPortSettingsDlg(const ComPortChoice& initial, QWidget* parent = nullptr);

    // The values as edited (meaningful after OK). With no mode button chosen (the initial
    // mode was none of 0, 1, 2) the mode is the initial one.
    ComPortChoice choice() const;

    // Checks the fields in their order; shows the message of the first that fails and gives
    // it the focus. Returns that field, or None.
    ComPortField validate();

    void accept() override;

    QButtonGroup* modeGroup() const { return m_mode; }
    QLineEdit* nameEdit() const { return m_name; }
    QComboBox* portCombo() const { return m_port; }
    QLineEdit* baudEdit() const { return m_baud; }

private:
    // The first field OK refuses and its message; None and no message when all pass.
    std::pair<ComPortField, std::string> firstFault() const;
    void refuse(QWidget* field, const std::string& message);

    QButtonGroup* m_mode;
    QLineEdit* m_name;
    QComboBox* m_port;
    QLineEdit* m_baud;
    int m_initialMode;
};

} // namespace moravel
