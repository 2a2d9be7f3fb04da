// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/ufrmFinish.h"

#include "app/sbApplication.h"
#include "forms/sbTexts.h"
#include "ui/sbGuard.h"
#include "ui/sbImageButton.h"

#include <QCloseEvent>
#include <QLabel>

QString FinishOutcomeText(bool writeStarted, bool cancelled) {
    if (writeStarted && !cancelled) {
        return ResText(15229);
    }
    if (cancelled) {
        return ResText(15232);
    }
    return ResText(15231);
}

QString FinishCopiesText(int done, int failed, bool cancelled) {
    const QString outcome = FinishOutcomeText(done > 0 && failed == 0, cancelled);
    return outcome + QStringLiteral("\n\n") +
           TfrmFinish::tr("%1 of %2 copies done, %3 failed")
               .arg(done)
               .arg(done + failed)
               .arg(failed);
}

TfrmFinish::TfrmFinish(QWidget* parent) : TsbChromeForm(parent) {
    setObjectName(QStringLiteral("frmFinish"));
    setWindowTitle(QStringLiteral("Tavrin"));

    CompleteLabel = AddLabel(this, QStringLiteral("CompleteLabel"), QRect(240, 104, 512, 49),
                             tr("Completing the Tavrin"));
    QFont bold = font();
    bold.setPointSize(9);
    bold.setBold(true);
    CompleteLabel->setFont(bold);
    CompleteLabel->setWordWrap(true);
    CompleteLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    DescriptionLabel =
        AddLabel(this, QStringLiteral("DescriptionLabel"), QRect(240, 160, 512, 233));
    DescriptionLabel->setWordWrap(true);
    DescriptionLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ButtonPrev->setEnabled(false);
    ButtonNext->setText(tr("Finish"));
    ButtonClose->setEnabled(false);
    connect(ButtonNext, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonNextClick(); }));
    connect(ButtonExit, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonExitClick(); }));

    // FormCreate
    LoadChromeReported();
}

void TfrmFinish::ApplyLayout(int layout) {
    TsbChromeForm::ApplyLayout(layout);
    if (layout == 1) {
        CompleteLabel->move(270, 90);
        DescriptionLabel->move(270, 160);
    }
}

void TfrmFinish::ButtonNextClick() {
    close();
}

void TfrmFinish::ButtonExitClick() {
    close();
}

void TfrmFinish::closeEvent(QCloseEvent* event) {
    event->accept();
    // Nothing comes after this window: however it is closed (Finish, its
    // close button, the window manager), the program ends, so it never lingers
    // without a window.
    if (auto* app = TsbApplication::Instance()) {
        app->Terminate();
    }
}
