#pragma once
// The "Info über Moravel" box: the program's icon, name and version, and the maker's notice.

#include <QDialog>

namespace moravel {

class CInfoDlg : public QDialog {
    Q_OBJECT
public:
    explicit CInfoDlg(QWidget* parent = nullptr);
};

// The application icon in every size the resources hold.
QIcon applicationIcon();

} // namespace moravel
