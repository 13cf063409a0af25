#pragma once
#include <QDialog>
namespace moravel {
class CMainFrame;
class CommissioningAssistant : public QDialog {
    Q_OBJECT
public:
    explicit CommissioningAssistant(CMainFrame& frame);
    void start() {}
    bool finished() const { return false; }
};
} // namespace moravel
