#include "app/shell/compare_dialog.h"

#include "app/shell/gui_interaction.h"
#include "params/cp1252.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace moravel {
namespace {

QString differenceSummary(const ComparisonResult& result)
{
    const auto count = static_cast<int>(result.differences.size());
    QString text;
    if (count == 0)
        text = QStringLiteral("Die Parameter des Dokuments stimmen mit denen des Controllers überein.");
    else if (count == 1)
        text = QStringLiteral("1 Parameter unterscheidet sich vom Controller.");
    else
        text = QStringLiteral("%1 Parameter unterscheiden sich vom Controller.").arg(count);
    if (result.failedKeys == 1)
        text += QStringLiteral(" 1 Parameter konnte nicht gelesen werden.");
    else if (result.failedKeys > 1)
        text += QStringLiteral(" %1 Parameter konnten nicht gelesen werden.").arg(result.failedKeys);
    return text;
}

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

QTableWidget* makeDifferenceTable(const std::vector<ParameterDifference>& differences, const QString& setTitle,
                                  QWidget* parent)
{
    auto* table = new QTableWidget(static_cast<int>(differences.size()), 4, parent);
    table->setObjectName(QStringLiteral("differences"));
    table->setHorizontalHeaderLabels(
        {QStringLiteral("Schlüssel"), QStringLiteral("Name"), setTitle, QStringLiteral("Controller")});
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    int row = 0;
    for (const ParameterDifference& d : differences) {
        const ParameterInfo& p = *d.parameter;
        table->setItem(row, 0, cell(QStringLiteral("%1").arg(p.key.value, 4, 16, QLatin1Char('0'))));
        table->setItem(row, 1, cell(toQString(p.itemMacro)));
        table->setItem(row, 2, cell(toQString(cp1252ToUtf8(d.setValue))));
        table->setItem(row, 3, cell(toQString(cp1252ToUtf8(d.controllerValue))));
        ++row;
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);

    // Wide enough for the longest macro name and two values without scrolling sideways.
    int width = table->verticalHeader()->width() + 4;
    for (int c = 0; c < table->columnCount(); ++c)
        width += table->columnWidth(c);
    const int rows = std::min(table->rowCount(), 14);
    const int height = table->horizontalHeader()->height() + rows * table->verticalHeader()->defaultSectionSize() + 8;
    table->setMinimumSize(std::max(width + 24, 560), std::max(height, 120));
    table->setVisible(!differences.empty());
    return table;
}

CompareDialog::CompareDialog(const ComparisonResult& result, QWidget* parent)
    : QDialog(parent),
      m_table(makeDifferenceTable(result.differences, QStringLiteral("Dokument"), this)),
      m_summary(differenceSummary(result))
{
    setWindowTitle(QStringLiteral("Mit Controller vergleichen"));
    auto* summary = new QLabel(m_summary);
    summary->setWordWrap(true);

    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);
}

QString CompareDialog::summary() const { return m_summary; }

} // namespace moravel
