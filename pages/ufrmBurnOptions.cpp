// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmBurnOptions.h"

#include "base/sbError.h"
#include "base/sbTranslate.h"
#include "devices/sbDiscSpeedList.h"
#include "engine/sbBurner.h"
#include "ui/sbGuard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>

namespace {

// The user's remembered choice, in ~/.config/tavrin/tavrin.conf.
const char* const VerifySettingKey = "BurnOptions/VerifyAfterBurning";

QSettings UserSettings() {
    return QSettings(QStringLiteral("tavrin"), QStringLiteral("tavrin"));
}

} // namespace

TfrmBurnOptions::TfrmBurnOptions(QWidget* parent)
    : TsbDockForm(parent), m_speedList(std::make_unique<TsbDiscSpeedList>()) {
    setObjectName(QStringLiteral("frmBurnOptions"));
    auto label = [this](const char* name, const QRect& geometry, const QString& text, bool wrap) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(geometry);
        l->setWordWrap(wrap);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    };
    Label1 = label("Label1", QRect(16, 16, 520, 41),
                   tr("Sending Optimum Power Calibration (OPC) calibrates the device "
                      "laser power at the beginning of burning session to adjust for "
                      "the properties of each recordable disc."),
                   true);
    chbSOPC = new QCheckBox(tr("Send optimum power calibration"), this);
    chbSOPC->setObjectName(QStringLiteral("chbSOPC"));
    chbSOPC->setGeometry(32, 70, 213, 17);
    chbSOPC->setChecked(true);
    Label2 = label("Label2", QRect(16, 96, 520, 57),
                   tr("Optimal burning speed depends on the disc used and burning "
                      "device capabilities. Poorly chosen burning speed may result in "
                      "coaster disc. To determine the best burning speed you can make "
                      "test burns or consult your device and disc manufacturers."),
                   true);
    Label4 = label("Label4", QRect(32, 160, 72, 13), tr("Burning speed:"), false);
    cmbSpeed = new QComboBox(this);
    cmbSpeed->setObjectName(QStringLiteral("cmbSpeed"));
    cmbSpeed->setEditable(false);
    cmbSpeed->setGeometry(136, 158, 161, 22);
    cmbSpeed->addItem(tr("Fastest"));
    chbVerify = new QCheckBox(tr("Verify the disc after burning"), this);
    chbVerify->setObjectName(QStringLiteral("chbVerify"));
    chbVerify->setGeometry(32, 190, 265, 17);
    // Off until the user ticks it once; from then on the choice is kept.
    chbVerify->setChecked(UserSettings().value(QLatin1String(VerifySettingKey), false).toBool());
    connect(chbVerify, &QCheckBox::clicked, this, sbGuarded(this, [](bool checked) {
                QSettings settings = UserSettings();
                settings.setValue(QLatin1String(VerifySettingKey), checked);
            }));
    lblMultisession = label("lblMultisession", QRect(16, 218, 520, 33),
                            tr("Multisession mode allows appending data to the disc "
                               "later. In single session mode data cannot be appended "
                               "after the disc is burned."),
                            true);
    chbMultiSession = new QCheckBox(tr("Create multisession disc"), this);
    chbMultiSession->setObjectName(QStringLiteral("chbMultiSession"));
    chbMultiSession->setGeometry(32, 258, 215, 17);
    chbMultiSession->setChecked(true);
    lblCopies = label("lblCopies", QRect(32, 286, 100, 17), tr("&Copies:"), false);
    spnCopies = new QSpinBox(this);
    spnCopies->setObjectName(QStringLiteral("spnCopies"));
    spnCopies->setGeometry(136, 284, 64, 22);
    spnCopies->setRange(1, 999);
    spnCopies->setValue(1);
    lblCopies->setBuddy(spnCopies);
    spnCopies->setAccessibleName(tr("Copies on each recorder"));
    spnCopies->setAccessibleDescription(
        tr("More than one: after each disc the recorder ejects it and waits for the next blank "
           "disc"));
    // A screen reader may land on the box's own text field: it is named the same.
    if (auto* edit = spnCopies->findChild<QLineEdit*>()) {
        edit->setAccessibleName(spnCopies->accessibleName());
        edit->setAccessibleDescription(spnCopies->accessibleDescription());
    }
    // Each choice is described by the note above it; the speed list is
    // named by its label.
    Label4->setBuddy(cmbSpeed);
    chbSOPC->setAccessibleDescription(Label1->text());
    cmbSpeed->setAccessibleDescription(Label2->text());
    chbVerify->setAccessibleDescription(
        tr("Reads the disc back after burning and compares it with the image file."));
    chbMultiSession->setAccessibleDescription(lblMultisession->text());
}

TfrmBurnOptions::~TfrmBurnOptions() = default;

void TfrmBurnOptions::SetPageData(TsbBurner* data) {
    TsbDockForm::SetPageData(data);
    if (!data) {
        return;
    }
    TsbBurner& burner = *data;
    m_speedList->Fill(burner);

    cmbSpeed->clear();
    for (int i = 0; i < m_speedList->Count(); ++i) {
        cmbSpeed->addItem(QString::fromStdString(m_speedList->Items(i)->StrSpeed));
    }
    if (m_speedList->Count() > 0) {
        cmbSpeed->setCurrentIndex(m_speedList->Count() - 1);
    }
    const uint8_t mode = burner.WriteMode;
    if (mode == wmDiscAtOncePQFromTree || mode == wmDiscAtOnceRawPWFromTree ||
        mode == wmDiscAtOncePQFromFile || mode == wmDiscAtOnceRawPWFromFile) {
        chbMultiSession->setChecked(false);
        chbMultiSession->setEnabled(false);
    } else {
        chbMultiSession->setChecked(true);
        chbMultiSession->setEnabled(true);
    }
    chbSOPC->setChecked(burner.SendOPC);
    chbSOPC->setEnabled(!burner.TestWrite);
    if (!chbSOPC->isEnabled()) {
        chbSOPC->setChecked(false);
    }
    for (int i = 0; i < m_speedList->Count(); ++i) {
        if (m_speedList->Items(i)->SpeedInPoint == burner.SpeedFactor) {
            cmbSpeed->setCurrentIndex(i);
            break;
        }
    }
    lblMultisession->setVisible(MultiSessionVisible);
    chbMultiSession->setVisible(MultiSessionVisible);
}

const TsbDiscSpeedItem& TfrmBurnOptions::GetSelectedSpeed() const {
    const int at = cmbSpeed->currentIndex();
    if (at < 0 || at >= m_speedList->Count()) {
        throw EsbError(SbTranslate("Devices", NoSpeedSelectedText));
    }
    return *m_speedList->Items(at);
}

bool TfrmBurnOptions::GetSendOPC() const {
    return chbSOPC->isChecked();
}

bool TfrmBurnOptions::GetMultiSession() const {
    return chbMultiSession->isChecked();
}

bool TfrmBurnOptions::GetVerify() const {
    return chbVerify->isChecked();
}

int TfrmBurnOptions::GetCopies() const {
    return spnCopies->value();
}
