#include "app/shell/commissioning_assistant.h"
#include "app/shell/main_frame.h"
namespace moravel {
CommissioningAssistant::CommissioningAssistant(CMainFrame& frame) : QDialog(&frame) {}
} // namespace moravel
