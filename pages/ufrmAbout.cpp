// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmAbout.h"

#include "base/sbLogger.h"
#include "forms/HelpLinkFuncs.h"
#include "forms/UtilFuncs.h"
#include "forms/sbIniFile.h"
#include "forms/sbProduct.h"
#include "platform/sbRegistry.h"
#include "ui/sbGuard.h"
#include "ui/sbLinkLabel.h"

#include <QCoreApplication>
#include <QDate>
#include <QLabel>
#include <QPushButton>

namespace {

// Design-time patterns of the two formatted labels.
const char* const VersionPattern = "%1";
const char* const CopyrightPattern = "Copyright \u00A9 2008-%1 %2";

TsbLinkLabel* makeLink(QWidget* parent, const char* name, const QPoint& pos) {
    auto* label = new TsbLinkLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(pos);
    QFont f = label->font();
    f.setUnderline(true);
    label->setFont(f);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
    label->setPalette(pal);
    return label;
}

} // namespace

QString AboutFilesText() {
    return QCoreApplication::translate("TfrmAbout",
                                       "Diagnostic log (when LogEnabled=1 in %1):\n%2\n"
                                       "Virtual recorders' discs:\n~/.local/share/tavrin/starburn/ "
                                       "($XDG_DATA_HOME/tavrin/starburn/ when it is set)")
        .arg(QString::fromStdString(platform::RegistryFilePath()),
             QString::fromStdString(Logger().LogFileName()));
}

QString AboutCopyrightText(int year, const QString& holder) {
    return QString::fromUtf8(CopyrightPattern).arg(QString::number(year), holder);
}

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("About"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(385, 159);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    setFont(tahoma);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 33, 33);
    Image1->setAlignment(Qt::AlignCenter);

    lblAppName = new QLabel(this);
    lblAppName->setObjectName(QStringLiteral("lblAppName"));
    lblAppName->move(50, 8);
    QFont bold = font();
    bold.setBold(true);
    lblAppName->setFont(bold);

    LabelVersion = new QLabel(QString::fromLatin1(VersionPattern), this);
    LabelVersion->setObjectName(QStringLiteral("LabelVersion"));
    LabelVersion->move(50, 24);

    LabelCopyright = new QLabel(QString::fromUtf8(CopyrightPattern), this);
    LabelCopyright->setObjectName(QStringLiteral("LabelCopyright"));
    LabelCopyright->move(50, 56);

    LabelWeb = makeLink(this, "LabelWeb", {50, 72});
    LabelSupportEmail = makeLink(this, "LabelSupportEmail", {50, 88});
    for (TsbLinkLabel* link : {LabelWeb, LabelSupportEmail}) {
        connect(link, &TsbLinkLabel::mouseEntered, this,
                sbGuarded(this, [this] { setCursor(Qt::PointingHandCursor); }));
        connect(link, &TsbLinkLabel::mouseLeft, this,
                sbGuarded(this, [this] { setCursor(Qt::ArrowCursor); }));
    }
    connect(LabelWeb, &TsbLinkLabel::clicked, this, sbGuarded(this, [this] { LabelWebClick(); }));
    connect(LabelSupportEmail, &TsbLinkLabel::clicked, this,
            sbGuarded(this, [this] { LabelSupportEmailClick(); }));

    Button1 = new QPushButton(tr("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(152, 128, 89, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, sbGuarded(this, [this] { Button1Click(); }));
}

void TfrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    sbGuard(this, [this] { FormShow(); });
}

void TfrmAbout::FormShow() {
    const QString title = ApplicationTitle();
    lblAppName->setText(title);
    lblAppName->adjustSize();
    setWindowTitle(tr("About ") + title);

    Image1->setPixmap(ApplicationIcon().pixmap(32, 32));
    // Where the program keeps its files, for whoever hovers over the box.
    setToolTip(AboutFilesText());

    const int year = QDate::currentDate().year();
    LabelWeb->setText(GetHomePageLink(title));
    LabelWeb->adjustSize();
    LabelSupportEmail->setText(GetSupportLink(title));
    LabelSupportEmail->adjustSize();

    const TsbIniFile ini(ProductInfoFile());
    const QString version = ini.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Version"));
    const QString holder = ini.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Copyright"));
    if (!m_patternsFilled) {
        // QString::arg takes the values as they are, so a "%" in the settings
        // file is shown, never read as a pattern.
        LabelVersion->setText(LabelVersion->text().arg(version));
        LabelCopyright->setText(LabelCopyright->text().arg(QString::number(year), holder));
        m_patternsFilled = true;
    }
    LabelVersion->adjustSize();
    LabelCopyright->adjustSize();
}

void TfrmAbout::LabelWebClick() {
    ShellOpen(LabelWeb->text());
}

void TfrmAbout::LabelSupportEmailClick() {
    ShellOpen(LabelSupportEmail->text());
}

void TfrmAbout::Button1Click() {
    done(QDialog::Accepted);
}
