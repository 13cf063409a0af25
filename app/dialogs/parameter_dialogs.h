#pragma once
// The six dialogs of the "Parameter" menu, for the program's window.
//
// Each entry point runs one dialog command on the document, on the GUI thread:
//   - while doc.m_bParametersValid is clear it does nothing (the window disables the six
//     menu items then; the check here keeps a stray call harmless);
//   - otherwise it copies the values out of doc.m_parameterSet, shows the dialog modally over
//     parent and, after a successful "OK", writes back the values that changed, setting the
//     document's modified flag for each change (it never clears it). "Abbrechen", Esc and
//     the close box change nothing.
// Every message (the field checks on "OK", the empty controller name, the homing order) goes
// to ui.showMessage, which must show a modal box with an OK button and return once the user
// has closed it. Nothing is sent to the controller and no view needs refreshing.
//
// The window connects its menu actions like this:
//
//     connect(m_mechanikAct, &QAction::triggered, this,
//             [this] { OnParameterMechanik(this, m_doc, m_interaction); });
//
// runParameterDialog is the same for a DialogId and reports what happened.

#include "app/dialogs/dialog_rules.h"

class QWidget;

namespace moravel {

DialogOutcome runParameterDialog(DialogId id, QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui);

void OnParameterGeschwindigkeiten(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui);
void OnParameterSchnittstelle(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui);
void OnParameterMechanik(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui);
void OnParameterMotortest(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui);
void OnParameterReferenzfahrt(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui);
void OnParameterSonstige(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui);

} // namespace moravel
