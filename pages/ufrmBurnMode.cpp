// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmBurnMode.h"

#include "engine/sbBurner.h"
#include "engine/sbModeChoice.h"
#include "forms/sbTexts.h"
#include "forms/sbWizardOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

TfrmBurnMode::TfrmBurnMode(QWidget* parent) : TsbDockForm(parent) {
    setObjectName(QStringLiteral("frmBurnMode"));
    auto label = [this](const char* name, const QRect& geometry, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(geometry);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    };
    B = label("B", QRect(16, 16, 328, 14),
              tr("Burning Mode is the way of burning data to the disc."));
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(9);
    B->setFont(bold);
    laCDTEXTNote = label("laCDTEXTNote", QRect(32, 40, 420, 13),
                         tr("Note: CD-Text infromation will be  burned only if Disc-At-Once "
                            "raw P-W method is used."));
    laCDTEXTNote->setWordWrap(true);
    Label1 = label("Label1", QRect(32, 43, 69, 13), tr("Burning Mode:"));
    cmbModes = new QComboBox(this);
    cmbModes->setObjectName(QStringLiteral("cmbModes"));
    cmbModes->setEditable(false);
    cmbModes->setGeometry(140, 40, 181, 21);
    Label2 = label("Label2", QRect(32, 71, 497, 26), QString());
    Label2->setWordWrap(true);
    chbTestMode = new QCheckBox(tr("Test mode (simulate burning)"), this);
    chbTestMode->setObjectName(QStringLiteral("chbTestMode"));
    chbTestMode->setGeometry(40, 111, 289, 17);
    Label1->setBuddy(cmbModes);
    cmbModes->setAccessibleDescription(B->text());

    // FormCreate: the note stays hidden; the rest is laid out from it.
    laCDTEXTNote->hide();
    Label2->setText(ResText(15237));
    Label1->move(Label1->x(), laCDTEXTNote->y() + 3);
    cmbModes->move(cmbModes->x(), Label1->y() - 3);
    Label2->move(Label2->x(), Label1->y() + 28);
    chbTestMode->move(chbTestMode->x(), Label2->y() + 40);
}

int32_t& TfrmBurnMode::IndexOf(TsbModeChoice choice) {
    int32_t* const indices[] = {&DAORawIndex, &DAOPQIndex, &SAOIndex, &TAOIndex};
    return *indices[choice];
}

int32_t TfrmBurnMode::IndexOf(TsbModeChoice choice) const {
    const int32_t indices[] = {DAORawIndex, DAOPQIndex, SAOIndex, TAOIndex};
    return indices[choice];
}

void TfrmBurnMode::SetPageData(TsbBurner* data) {
    TsbDockForm::SetPageData(data);
    cmbModes->clear();
    TAOIndex = SAOIndex = DAOPQIndex = DAORawIndex = -1;
    if (!data) {
        return;
    }
    const TsbBurner& burner = *data;
    const uint8_t mode = burner.WriteMode;
    int next = 0;
    int selected = 0;
    for (const TsbModeChoice choice : sbModeChoices) {
        const bool allowed[] = {AllowDAORaw, AllowDAOPQ, AllowSAO, AllowTAO};
        if (!ModeChoiceOffered(choice, burner.WriteModes, burner.DiscType, allowed[choice])) {
            continue;
        }
        cmbModes->addItem(QString::fromLatin1(ModeChoiceName(choice)));
        IndexOf(choice) = next;
        if (mode == ModeChoiceWriteMode(choice, true) ||
            mode == ModeChoiceWriteMode(choice, false)) {
            selected = next;
        }
        ++next;
    }
    cmbModes->setCurrentIndex(cmbModes->count() > 0 ? selected : -1);
    chbTestMode->setEnabled(burner.WriteModes.CanTestWrite != 0);
    chbTestMode->setChecked(burner.TestWrite);
}

void TfrmBurnMode::GetModeChoice(TsbWizardOptions& options) const {
    const int at = cmbModes->currentIndex();
    // Nothing offered (or chosen) leaves the first mode of the list.
    uint8_t mode = wmDiscAtOnceRawPWFromTree;
    for (const TsbModeChoice choice : sbModeChoices) {
        if (at == IndexOf(choice)) {
            mode = ModeChoiceWriteMode(choice, ImageFileModes);
        }
    }
    options.WriteMode = mode;
    options.TestWrite = chbTestMode->isChecked() ? 1 : 0;
}
