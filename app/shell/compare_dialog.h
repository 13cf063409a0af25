#pragma once
// The result of "Mit Controller vergleichen...": every key whose value in the document differs
// from the controller's, as a table (key, name, document value, controller value).

#include "app/controller/moravel_app.h"

#include <QDialog>

#include <vector>

class QTableWidget;

namespace moravel {

// The differing keys as a read-only table: key, name, the set's value (column setTitle) and
// the controller's; hidden when there are none.
QTableWidget* makeDifferenceTable(const std::vector<ParameterDifference>& differences, const QString& setTitle,
                                  QWidget* parent);

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
