#pragma once
// The result of "Mit Controller vergleichen...": every key whose value in the document differs
// from the controller's, as a table (key, name, document value, controller value).

#include "app/controller/moravel_app.h"

#include <QDialog>

class QTableWidget;

namespace moravel {

class CompareDialog : public QDialog {
    Q_OBJECT
public:
    CompareDialog(const ComparisonResult& result, QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    // The line above the table.
    QString summary() const;

private:
    QTableWidget* m_table;
    QString m_summary;
};

} // namespace moravel
