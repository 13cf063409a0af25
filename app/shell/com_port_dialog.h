#pragma once
// The "Com Port Settings" dialog: how the program finds the controller.
//
// It only edits a ComPortChoice: the window fills it from the application object and hands
// the accepted choice back to CMoravelSDIApp::ApplyChoice, which stores it. OK checks the
// fields in the order baud rate, controller name, port name; the first one that fails shows
// the standard field message, gets the focus and keeps the dialog open.

#include "app/controller/moravel_app.h"

#include <QDialog>

class QButtonGroup;
class QComboBox;
class QLineEdit;

namespace moravel {

class CComPortSettingsDlg : public QDialog {
    Q_OBJECT
public:
    CComPortSettingsDlg(const ComPortChoice& initial, QWidget* parent = nullptr);

    // The values as edited (meaningful after OK).
    ComPortChoice choice() const;

    // Checks the fields in their order; shows the message of the first that fails and gives
    // it the focus. Returns that field, or None.
    ComPortField validate();

    void accept() override;

    QButtonGroup* modeGroup() const { return m_mode; }
    QLineEdit* nameEdit() const { return m_name; }
    QComboBox* portCombo() const { return m_port; }
    QLineEdit* baudEdit() const { return m_baud; }

    // Limits of the fields.
    static constexpr std::size_t MaxNameChars = 16;
    static constexpr std::size_t MaxPortChars = 5;
    static constexpr std::uint32_t MinBaud = 100000;
    static constexpr std::uint32_t MaxBaud = 120000;

private:
    void refuse(QWidget* field, const std::string& message);

    QButtonGroup* m_mode;
    QLineEdit* m_name;
    QComboBox* m_port;
    QLineEdit* m_baud;
};

} // namespace moravel
