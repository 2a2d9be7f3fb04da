// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmOptionsSummary.h"

#include "base/sbResConst.h"
#include "engine/sbFolderSource.h"
#include "forms/sbTexts.h"
#include "ui/sbGuard.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>

#include <algorithm>

TfrmOptionsSummary::TfrmOptionsSummary(QWidget* parent) : TsbDockForm(parent) {
    setObjectName(QStringLiteral("frmOptionsSummary"));
    resize(567, 436);
    lblName = new QLabel(this);
    lblName->setObjectName(QStringLiteral("lblName"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(9);
    lblName->setFont(bold);
    lblName->setGeometry(16, 16, 521, 17);

    // The hint lies under the text box, as laid out.
    lblNextAction = new QLabel(this);
    lblNextAction->setObjectName(QStringLiteral("lblNextAction"));
    lblNextAction->setGeometry(32, 216, 63, 13);

    edtSummary = new QTextEdit(this);
    edtSummary->setObjectName(QStringLiteral("edtSummary"));
    edtSummary->setGeometry(32, 48, 497, 296);
    edtSummary->setReadOnly(true);
    edtSummary->setAcceptRichText(false);
    edtSummary->setLineWrapMode(QTextEdit::NoWrap);
    edtSummary->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edtSummary->setAccessibleName(ResText(rsOptionsSummary));
    edtSummary->setAccessibleDescription(ResText(rsSummaryIntro));
    edtSummary->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edtSummary->setFrameShape(QFrame::StyledPanel);
    QPalette pal = edtSummary->palette();
    pal.setColor(QPalette::Base, Qt::white);
    edtSummary->setPalette(pal);

    lblVolumeLabel = new QLabel(tr("&Volume label:"), this);
    lblVolumeLabel->setObjectName(QStringLiteral("lblVolumeLabel"));
    edtVolumeLabel = new QLineEdit(this);
    edtVolumeLabel->setObjectName(QStringLiteral("edtVolumeLabel"));
    lblVolumeLabel->setBuddy(edtVolumeLabel);
    edtVolumeLabel->setAccessibleDescription(
        tr("The name the disc shows: A-Z, 0-9 and _, at most 32 characters."));
    edtVolumeLabel->setToolTip(edtVolumeLabel->accessibleDescription());
    // Fixed when the field is left, so the label the disc gets is seen before the burn.
    connect(edtVolumeLabel, &QLineEdit::editingFinished, this,
            sbGuarded(this, [this] { FixVolumeLabel(); }));
    HideVolumeLabel();
}

void TfrmOptionsSummary::OfferVolumeLabel(const QString& folder) {
    if (folder != m_labelFolder) {
        m_labelFolder = folder;
        edtVolumeLabel->setText(
            QString::fromStdString(FolderLabelOf(QFile::encodeName(folder).toStdString())));
    }
    lblVolumeLabel->show();
    edtVolumeLabel->show();
    PlaceControls();
}

void TfrmOptionsSummary::HideVolumeLabel() {
    lblVolumeLabel->hide();
    edtVolumeLabel->hide();
    PlaceControls();
}

std::string TfrmOptionsSummary::FixVolumeLabel() {
    const std::string label = FolderVolumeLabel(edtVolumeLabel->text().toStdString());
    if (edtVolumeLabel->text() != QString::fromStdString(label)) {
        edtVolumeLabel->setText(QString::fromStdString(label));
    }
    return label;
}

void TfrmOptionsSummary::resizeEvent(QResizeEvent* event) {
    TsbDockForm::resizeEvent(event);
    PlaceControls();
}

void TfrmOptionsSummary::PlaceControls() {
    // Anchored to all four sides of a 567 x 436 page; the label field, when
    // shown, takes the bottom of the text box's room.
    const int field = edtVolumeLabel && edtVolumeLabel->isVisibleTo(this) ? 30 : 0;
    edtSummary->resize(std::max(0, width() - 32 - 38), std::max(0, height() - 48 - 92 - field));
    if (field > 0) {
        const int top = edtSummary->y() + edtSummary->height() + 8;
        const int label = std::max(100, lblVolumeLabel->sizeHint().width());
        lblVolumeLabel->setGeometry(32, top + 3, label, 13);
        edtVolumeLabel->setGeometry(32 + label + 8, top, 240, 21);
    }
}
