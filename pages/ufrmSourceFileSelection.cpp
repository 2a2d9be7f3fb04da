// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmSourceFileSelection.h"

#include "base/sbResConst.h"
#include "engine/sbBurner.h"
#include "engine/sbFolderSource.h"
#include "engine/sbThread.h"
#include "engine/sbVerify.h"
#include "forms/UtilFuncs.h"
#include "forms/sbTexts.h"
#include "ui/sbDialogs.h"
#include "ui/sbGuard.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <fmt/printf.h>

#include <sys/stat.h>

// A folder's tree made and measured on a worker, in a burner of its own
// until the main window hands the tree to the one that writes.
class TsbFolderMeasure : public TsbThread {
public:
    explicit TsbFolderMeasure(std::string folder) : Folder(std::move(folder)) {}

    const std::string Folder;
    TsbBurner Tree;
    TsbFolderTree Result;
    // The reason the folder cannot be burnt, when it cannot.
    std::string Error;

protected:
    void Execute() override {
        try {
            Result = PrepareFolderTree(Tree, Folder);
        } catch (const std::exception& e) {
            Error = e.what();
        } catch (...) {
            Error = "The folder cannot be burnt";
        }
    }
};

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
    connect(SizeTimer, &QTimer::timeout, this, sbGuarded(this, [this] { LookAtSource(); }));

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

    // A folder is burnt as a data disc: typed, dropped or chosen here.
    btnFolder = new QPushButton(tr("Choose a &folder..."), this);
    btnFolder->setObjectName(QStringLiteral("btnFolder"));
    btnFolder->setGeometry(120, 72, 161, 25);
    connect(btnFolder, &QPushButton::clicked, this,
            sbGuarded(this, [this] { FolderButtonClick(); }));
    btnFolder->setToolTip(tr("Burns a folder's files as a data disc instead of an image file."));
    setTabOrder(Button1, btnFolder);
    lblSizeInformation->move(32, 108);
    lblChecksum->move(32, 128);

    lblFolder = new QLabel(this);
    lblFolder->setObjectName(QStringLiteral("lblFolder"));
    lblFolder->setGeometry(32, 128, 505, 13);
    lblFolder->setWordWrap(true);
}

TfrmSourceFileSelection::~TfrmSourceFileSelection() {
    // Its last report, already on its way, is dropped with the page.
    if (m_measure) {
        m_measure->Join();
    }
}

void TfrmSourceFileSelection::RefreshPage() {}

void TfrmSourceFileSelection::SetPageData(TsbBurner* data) {
    TsbDockForm::SetPageData(data);
    Burner = data;
    WriteSizeLine();
    // Another recorder's disc: the folder is measured against its space.
    WriteFolderLine();
}

void TfrmSourceFileSelection::WriteSizeLine() {
    const int64_t bytes = FolderName.isEmpty() ? ImageFileSize : FolderBytes;
    const double file = static_cast<double>(bytes) / 1024 / 1024;
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
        LookAtSource();
        TsbDialogs::MessageBox(this,
                               tr("\"%1\" is not an image file (not a regular file).").arg(chosen),
                               tr("Image file"), TsbMsgKind::mkError);
        return;
    }
    LookAtSource();
    RememberImageFolder(chosen);
}

void TfrmSourceFileSelection::FolderButtonClick() {
    const QString start = FolderName.isEmpty() ? StartFolder() : FolderName;
    const QString chosen =
        TsbDialogs::ExistingFolder(this, tr("Choose the folder to burn as a data disc"),
                                   start.isEmpty() ? QString() : QFileInfo(start).absolutePath());
    if (chosen.isEmpty()) {
        return;
    }
    Edit1->setText(chosen);
    LookAtSource();
}

void TfrmSourceFileSelection::LookAtSource() {
    SizeTimer->stop();
    if (IsSourceFolder(QFile::encodeName(ImageFileName).toStdString())) {
        ImageFileSize = 0;
        lblChecksum->clear();
        FolderName = ImageFileName;
        MeasureFolder();
        return;
    }
    ForgetFolder();
    ReadImageFileSize();
}

bool TfrmSourceFileSelection::FolderMeasuring() const {
    return !FolderName.isEmpty() && (m_measure || !m_measured);
}

QString TfrmSourceFileSelection::FolderRefusal() const {
    if (FolderName.isEmpty()) {
        return {};
    }
    if (FolderMeasuring()) {
        return tr("Tavrin is still measuring the folder; Next waits for its size.");
    }
    if (!m_measured->Error.empty()) {
        return QString::fromStdString(m_measured->Error);
    }
    return QString::fromStdString(
        FolderDoesNotFitText(FolderBytes, Burner ? Burner->DiscSpace.FreeBytes : 0));
}

bool TfrmSourceFileSelection::HandOverFolderTree(TsbBurner& burner) {
    if (!m_measured || m_measured->Tree.FileTree == nullptr) {
        return false;
    }
    HandOverFileTree(m_measured->Tree, burner);
    return true;
}

void TfrmSourceFileSelection::MeasureFolder() {
    m_measured.reset();
    FolderBytes = 0;
    FolderNotes.clear();
    WriteSizeLine();
    WriteFolderLine();
    if (m_measure) {
        m_measureAgain = true;
        return;
    }
    m_measure = std::make_unique<TsbFolderMeasure>(QFile::encodeName(FolderName).toStdString());
    // Raised on the worker: the result is taken on the window's thread, and
    // the page waits for the worker before it goes.
    m_measure->OnTerminate = [this](TsbThread*) {
        QMetaObject::invokeMethod(this, sbGuarded(this, [this] { FolderMeasured(); }),
                                  Qt::QueuedConnection);
    };
    m_measure->Start();
}

void TfrmSourceFileSelection::FolderMeasured() {
    if (!m_measure) {
        return;
    }
    m_measure->Join();
    std::unique_ptr<TsbFolderMeasure> done = std::move(m_measure);
    if (m_measureAgain) {
        // Another folder was named meanwhile (or this one again).
        m_measureAgain = false;
        if (!FolderName.isEmpty()) {
            MeasureFolder();
        }
        return;
    }
    if (FolderName.isEmpty()) {
        return;
    }
    FolderBytes = done->Result.Bytes;
    FolderNotes = done->Result.Notes;
    m_measured = std::move(done);
    WriteSizeLine();
    WriteFolderLine();
}

void TfrmSourceFileSelection::DropMeasure() {
    if (m_measure) {
        m_measure->Join();
        // Its report, already queued, finds no measure and is dropped.
        m_measure.reset();
    }
    m_measureAgain = false;
    m_measured.reset();
}

void TfrmSourceFileSelection::ForgetFolder() {
    if (FolderName.isEmpty()) {
        return;
    }
    FolderName.clear();
    FolderBytes = 0;
    FolderNotes.clear();
    m_measured.reset();
    // A measure still running ends unheeded.
    m_measureAgain = m_measure != nullptr;
    WriteFolderLine();
}

void TfrmSourceFileSelection::WriteFolderLine() {
    if (!lblFolder) {
        return;
    }
    lblFolder->setText(FolderRefusal());
    if (OnFolderStateChanged) {
        OnFolderStateChanged();
    }
}
