// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmSourceFileSelection.h"

#include "base/sbResConst.h"
#include "engine/sbBurner.h"
#include "engine/sbVerify.h"
#include "forms/UtilFuncs.h"
#include "forms/sbTexts.h"
#include "ui/sbDialogs.h"
#include "ui/sbGuard.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <fmt/printf.h>

#include <sys/stat.h>

TfrmSourceFileSelection::TfrmSourceFileSelection(QWidget* parent) : TsbDockForm(parent) {
    setObjectName(QStringLiteral("frmSourceFileSelection"));
    resize(567, 436);

    Label1 = new QLabel(tr("Select file system image to burn"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(9);
    Label1->setFont(bold);
    Label1->setGeometry(16, 16, 197, 14);

    Label2 = new QLabel(tr("&Image file path:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(32, 48, 76, 13);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(120, 46, 377, 21);
    connect(Edit1, &QLineEdit::textChanged, this,
            sbGuarded(this, [this](const QString& text) { Edit1Change(text); }));
    // A dropped file is for the whole window (it fills this box), not text
    // to insert into the box.
    Edit1->setAcceptDrops(false);
    SizeTimer = new QTimer(this);
    SizeTimer->setSingleShot(true);
    SizeTimer->setInterval(TypingPauseMs);
    connect(SizeTimer, &QTimer::timeout, this, sbGuarded(this, [this] { ReadImageFileSize(); }));

    Button1 = new QPushButton(QStringLiteral("..."), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(504, 43, 33, 25);
    connect(Button1, &QPushButton::clicked, this, sbGuarded(this, [this] { Button1Click(); }));
    setTabOrder(Edit1, Button1);
    // The box is named by its label (Alt+I); the browse button has Ctrl+O
    // and says in words what its dots mean.
    Label2->setBuddy(Edit1);
    Edit1->setAccessibleDescription(ResText(rsSelectImageFileHint));
    Button1->setShortcut(QKeySequence::Open);
    Button1->setAccessibleName(tr("Browse"));
    Button1->setAccessibleDescription(tr("Chooses the image file in a file dialog (Ctrl+O)."));
    Button1->setToolTip(Button1->accessibleDescription());

    lblSizeInformation = new QLabel(this);
    lblSizeInformation->setObjectName(QStringLiteral("lblSizeInformation"));
    lblSizeInformation->setGeometry(32, 88, 441, 13);

    lblChecksum = new QLabel(this);
    lblChecksum->setObjectName(QStringLiteral("lblChecksum"));
    lblChecksum->setGeometry(32, 108, 441, 13);
}

void TfrmSourceFileSelection::RefreshPage() {}

void TfrmSourceFileSelection::SetPageData(TsbBurner* data) {
    TsbDockForm::SetPageData(data);
    Burner = data;
    WriteSizeLine();
}

void TfrmSourceFileSelection::WriteSizeLine() {
    const double file = static_cast<double>(ImageFileSize) / 1024 / 1024;
    const double disc = Burner ? static_cast<double>(Burner->DiscSpace.FreeBytes) / 1024 / 1024 : 0;
    lblSizeInformation->setText(
        QString::fromStdString(fmt::sprintf(LoadResString(rsFileAndDiscSize), file, disc)));
}

void TfrmSourceFileSelection::WriteChecksumLine() {
    bool found = false;
    // Only a regular file is looked into (ReadImageFileSize found its size).
    if (!ImageFileName.isEmpty() && ImageFileSize > 0) {
        try {
            found = CheckImageFile(QFile::encodeName(ImageFileName).toStdString()).HasImplantedMd5;
        } catch (const std::exception&) {
            // An unreadable file is refused, with its reason, when Next is pressed.
        }
    }
    lblChecksum->setText(found ? tr("Implanted checksum found") : QString());
}

void TfrmSourceFileSelection::Edit1Change(const QString& text) {
    ImageFileName = text;
    SizeTimer->start();
}

int64_t TfrmSourceFileSelection::ReadImageFileSize() {
    SizeTimer->stop();
    ImageFileSize = 0;
    if (!ImageFileName.isEmpty()) {
        struct stat st {};
        const QByteArray path = QFile::encodeName(ImageFileName);
        if (::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
            ImageFileSize = static_cast<int64_t>(st.st_size);
        }
    }
    WriteSizeLine();
    WriteChecksumLine();
    return ImageFileSize;
}

QString TfrmSourceFileSelection::StartFolder() const {
    if (!ImageFileName.isEmpty()) {
        return ImageFileName;
    }
    return LastImageFolder();
}

void TfrmSourceFileSelection::Button1Click() {
    const QString chosen = TsbDialogs::OpenFileName(
        this, QString(), tr("Disc images (*.iso *.cue);;ISO image (*.iso);;Cue sheet (*.cue)"),
        StartFolder());
    if (chosen.isEmpty()) {
        return;
    }
    Edit1->setText(chosen);
    // stat, not open: a FIFO picked here must not hang the window.
    struct stat st {};
    const QByteArray path = QFile::encodeName(chosen);
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        ReadImageFileSize();
        TsbDialogs::MessageBox(this,
                               tr("\"%1\" is not an image file (not a regular file).").arg(chosen),
                               tr("Image file"), TsbMsgKind::mkError);
        return;
    }
    ReadImageFileSize();
    RememberImageFolder(chosen);
}
