#include "pages/ufrmSourceFileSelection.h"

#include "base/sbResConst.h"
#include "engine/sbBurner.h"
#include "engine/sbVerify.h"
#include "forms/sbTexts.h"
#include "ui/sbDialogs.h"
#include "ui/sbGuard.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <fmt/printf.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TfrmSourceFileSelection::TfrmSourceFileSelection(QWidget* parent) : TsbDockForm(parent) {
    setObjectName(QStringLiteral("frmSourceFileSelection"));
    resize(567, 436);

    Label1 = new QLabel(QStringLiteral("Select file system image to burn"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(9);
    Label1->setFont(bold);
    Label1->setGeometry(16, 16, 197, 14);

    Label2 = new QLabel(QStringLiteral("Image file path:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(32, 48, 76, 13);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(120, 46, 377, 21);
    connect(Edit1, &QLineEdit::textChanged, this,
            sbGuarded(this, [this](const QString& text) { Edit1Change(text); }));

    Button1 = new QPushButton(QStringLiteral("..."), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(504, 43, 33, 25);
    connect(Button1, &QPushButton::clicked, this, sbGuarded(this, [this] { Button1Click(); }));
    setTabOrder(Edit1, Button1);

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
    if (!ImageFileName.isEmpty()) {
        try {
            found = CheckImageFile(QFile::encodeName(ImageFileName).toStdString()).HasImplantedMd5;
        } catch (const std::exception&) {
            // An unreadable file is refused, with its reason, when Next is pressed.
        }
    }
    lblChecksum->setText(found ? QStringLiteral("Implanted checksum found") : QString());
}

void TfrmSourceFileSelection::Edit1Change(const QString& text) {
    ImageFileName = text;
}

void TfrmSourceFileSelection::Button1Click() {
    const QString chosen = TsbDialogs::OpenFileName(
        this, QString(), QStringLiteral("ISO image (*.iso)"), Edit1->text());
    if (chosen.isEmpty()) {
        return;
    }
    ImageFileName = chosen;
    Edit1->setText(chosen);

    const QByteArray path = QFile::encodeName(chosen);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        ImageFileSize = static_cast<int64_t>(st.st_size);
    }
    ::close(fd);
    WriteSizeLine();
    WriteChecksumLine();
}
