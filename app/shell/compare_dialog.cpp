#include "app/shell/compare_dialog.h"

#include "app/shell/gui_interaction.h"
#include "params/cp1252.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

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

CompareDialog::CompareDialog(const ComparisonResult& result, QWidget* parent)
    : QDialog(parent),
      m_table(new QTableWidget(static_cast<int>(result.differences.size()), 4)),
      m_summary(differenceSummary(result))
{
    setWindowTitle(QStringLiteral("Mit Controller vergleichen"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Schlüssel"), QStringLiteral("Name"), QStringLiteral("Dokument"),
                                        QStringLiteral("Controller")});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    int row = 0;
    for (const ParameterDifference& d : result.differences) {
        const ParameterInfo& p = *d.parameter;
        m_table->setItem(row, 0, cell(QStringLiteral("%1").arg(p.key.value, 4, 16, QLatin1Char('0'))));
        m_table->setItem(row, 1, cell(toQString(p.itemMacro)));
        m_table->setItem(row, 2, cell(toQString(cp1252ToUtf8(d.setValue))));
        m_table->setItem(row, 3, cell(toQString(cp1252ToUtf8(d.controllerValue))));
        ++row;
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto* summary = new QLabel(m_summary);
    summary->setWordWrap(true);

    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);

    // Wide enough for the longest macro name and two values without scrolling sideways.
    int width = m_table->verticalHeader()->width() + 4;
    for (int c = 0; c < m_table->columnCount(); ++c)
        width += m_table->columnWidth(c);
    const int rows = std::min(m_table->rowCount(), 14);
    const int height =
        m_table->horizontalHeader()->height() + rows * m_table->verticalHeader()->defaultSectionSize() + 8;
    m_table->setMinimumSize(std::max(width + 24, 560), std::max(height, 120));
    m_table->setVisible(!result.differences.empty());
}

QString CompareDialog::summary() const { return m_summary; }

} // namespace moravel
