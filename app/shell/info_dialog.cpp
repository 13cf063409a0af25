#include "app/shell/info_dialog.h"

#include "version/moravel_version.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace moravel {

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/moravel-%1.png").arg(size), QSize(size, size));
    return icon;
}

CInfoDlg::CInfoDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Info über Moravel"));

    auto* iconLabel = new QLabel;
    iconLabel->setPixmap(applicationIcon().pixmap(48, 48));
    iconLabel->setAlignment(Qt::AlignTop);

    auto* version = new QLabel(QStringLiteral("MoravelSDI Version " MORAVEL_VERSION_SHORT));
    auto* notice = new QLabel(QStringLiteral("Copyright © korvex-travo. Konfiguration und Service für "
                                             "Schrittmotor-Steuerungen."));
    notice->setWordWrap(true);
    notice->setMinimumWidth(notice->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 44);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(version);
    text->addWidget(notice);
    text->addStretch(1);

    auto* row = new QHBoxLayout;
    row->addWidget(iconLabel);
    row->addSpacing(12);
    row->addLayout(text, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace moravel
