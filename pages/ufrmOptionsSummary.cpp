// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmOptionsSummary.h"

#include "base/sbResConst.h"
#include "forms/sbTexts.h"

#include <QLabel>
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
}

void TfrmOptionsSummary::resizeEvent(QResizeEvent* event) {
    TsbDockForm::resizeEvent(event);
    // Anchored to all four sides of a 567 x 436 page.
    edtSummary->resize(std::max(0, width() - 32 - 38), std::max(0, height() - 48 - 92));
}
