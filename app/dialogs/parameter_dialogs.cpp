#include "app/dialogs/parameter_dialogs.h"

#include "app/dialogs/parameter_dialog.h"

namespace moravel {
namespace {

// The modal part of the command: the Qt dialog, alive for this one command.
class QtDialogPresenter : public DialogPresenter {
public:
    QtDialogPresenter(QWidget* parent, UserInteraction& ui) : m_parent(parent), m_ui(ui) {}

    bool showModal(const DialogForm& form, DialogMembers& members) override
    {
        ParameterDialog dialog(form, m_ui, m_parent);
        dialog.setMembers(members);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        members = dialog.members();
        return true;
    }

private:
    QWidget* m_parent;
    UserInteraction& m_ui;
};

} // namespace

DialogOutcome runParameterDialog(DialogId id, QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    QtDialogPresenter presenter(parent, ui);
    return runDialogCommand(id, doc, ui, presenter);
}

void OnParameterGeschwindigkeiten(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    runParameterDialog(DialogId::Geschwindigkeiten, parent, doc, ui);
}

void OnParameterSchnittstelle(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    runParameterDialog(DialogId::Schnittstelle, parent, doc, ui);
}

void OnParameterMechanik(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    runParameterDialog(DialogId::Mechanik, parent, doc, ui);
}

void OnParameterMotortest(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    runParameterDialog(DialogId::Motortest, parent, doc, ui);
}

void OnParameterReferenzfahrt(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    runParameterDialog(DialogId::Referenzfahrt, parent, doc, ui);
}

void OnParameterSonstige(QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    runParameterDialog(DialogId::Sonstige, parent, doc, ui);
}

} // namespace moravel
