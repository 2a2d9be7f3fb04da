// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmSelectTransport.h"

#include "platform/sbSystem.h"

#include <QLabel>
#include <QRadioButton>

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text,
                  bool wrap) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setWordWrap(wrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

TSelectTransportForm::TSelectTransportForm(QWidget* parent) : TsbDockForm(parent) {
    setObjectName(QStringLiteral("SelectTransportForm"));
    Label1 = makeLabel(this, "Label1", QRect(16, 16, 349, 14),
                       tr("Select SCSI transport you want to use for device access:"), false);
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(9);
    Label1->setFont(bold);

    rbSpti = new QRadioButton(tr("SPTI - SCSI Pass Through Interface"), this);
    rbSpti->setObjectName(QStringLiteral("rbSpti"));
    rbSpti->setGeometry(32, 64, 475, 17);
    Label2 = makeLabel(this, "Label2", QRect(48, 87, 475, 56),
                       tr("This transport is preferrable for Windows NT-based systems "
                          "(NT4/2000/XP/2003/Vista/Windows7). It can't be used for Windows 9x "
                          "systems (95/98/Me)."),
                       true);
    rbAspi = new QRadioButton(tr("ASPI - Advanced SCSI Programming Interface"), this);
    rbAspi->setObjectName(QStringLiteral("rbAspi"));
    rbAspi->setGeometry(32, 168, 475, 17);
    Label3 = makeLabel(this, "Label3", QRect(48, 190, 475, 27),
                       tr("This transport is primarily intended for Windows 9x "
                          "systems, but can be used in Windows NT-based systems."),
                       true);
    // What a screen reader says of each choice: the note under it.
    rbSpti->setAccessibleDescription(Label2->text());
    rbAspi->setAccessibleDescription(Label3->text());
    FormCreate();
}

void TSelectTransportForm::FormCreate() {
    if (platform::GetWindowsPlatform() == 1) {
        rbSpti->setChecked(true);
    } else {
        rbSpti->setEnabled(false);
        rbAspi->setChecked(true);
    }
}

bool TSelectTransportForm::UseASPI() const {
    return !rbSpti->isChecked();
}
