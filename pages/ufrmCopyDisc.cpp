// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmCopyDisc.h"

#include "base/sbError.h"
#include "base/sbProgressCaption.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbUtils.h"
#include "devices/sbDeviceList.h"
#include "engine/sbBurner.h"
#include "engine/sbDiscCopy.h"
#include "engine/sbInhibit.h"
#include "engine/sbThread.h"
#include "forms/UtilFuncs.h"
#include "ui/sbDialogs.h"
#include "ui/sbGuard.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeWidget>

namespace {

constexpr int DriveRole = Qt::UserRole + 1;
constexpr int kGaugeSteps = 1000;

// The image's name from the disc's volume id, with what a file name cannot
// hold put aside.
QString ProposedName(const TsbDeviceItem& device) {
    QString name = QString::fromStdString(device.DiscLabel).trimmed();
    name.replace(QRegularExpression(QStringLiteral("[/\\x00-\\x1f]")), QStringLiteral("_"));
    if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) {
        name = QStringLiteral("disc") + name;
    }
    return name + (HoldsOnlyAudio(device.TOCInformation) ? QStringLiteral(".cue")
                                                         : QStringLiteral(".iso"));
}

bool HasDiscToCopy(const TsbDeviceItem& device) {
    const TsbDiscSpace& space = device.DiscSpace;
    return device.Usable() && device.DiscType != DISC_TYPE_NO_MEDIA &&
           !(space.TotalBytes > 0 && space.FreeBytes == space.TotalBytes);
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

// The copy, planned and run off the window's thread: a drive may take
// seconds to answer the first read, and the window stays the user's.
class TfrmCopyDisc::TCopyThread : public TsbThread {
public:
    void* Grabber = nullptr;
    std::string Output;
    bool Replace = false;
    std::string Reason;
    TsbCopyCallbacks Callbacks;
    // Read once the thread has been joined.
    TsbCopyResult Result;
    bool Audio = false;
    // Where bad sectors are listed; set before the copy starts reading.
    std::string ListFile;

protected:
    void Execute() override {
        const TsbStayAwake awake(Reason);
        try {
            const TsbCopyPlan plan = PlanDiscCopy(Grabber);
            Audio = plan.Audio;
            ListFile = (plan.Audio ? AudioBinName(Output) : Output) + ".bad-sectors";
            Result = CopyDisc(Grabber, plan, Output, Callbacks, Replace);
        } catch (const std::exception& e) {
            Result = TsbCopyResult{};
            Result.FailureText = e.what();
        }
    }
};

TfrmCopyDisc::TfrmCopyDisc(QWidget* parent)
    : QDialog(parent), m_finder(std::make_unique<TsbDeviceFinder>()),
      m_burner(std::make_unique<TsbBurner>()) {
    setObjectName(QStringLiteral("frmCopyDisc"));
    setWindowTitle(tr("Copy a disc to an image file"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // Modal to the welcome window alone: the device search's progress
    // window, a window of its own, keeps its Cancel.
    setWindowModality(Qt::WindowModal);
    setFixedSize(560, 420);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    setFont(tahoma);

    lblTitle = new QLabel(tr("Copy a disc to an image file"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(9);
    lblTitle->setFont(bold);
    lblTitle->setGeometry(12, 10, 536, 18);

    lblDrives = new QLabel(tr("Drive with the disc to copy:"), this);
    lblDrives->setObjectName(QStringLiteral("lblDrives"));
    lblDrives->setGeometry(12, 38, 536, 16);

    lvDrives = new QTreeWidget(this);
    lvDrives->setObjectName(QStringLiteral("lvDrives"));
    lvDrives->setGeometry(12, 56, 536, 120);
    lvDrives->setRootIsDecorated(false);
    lvDrives->setItemsExpandable(false);
    lvDrives->setUniformRowHeights(true);
    lvDrives->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDrives->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDrives->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDrives->header()->setSectionsClickable(false);
    lvDrives->setHeaderLabels({tr("Drive"), tr("Vendor"), tr("Disc"), tr("Size, MB"), tr("Label")});
    const int widths[] = {170, 80, 70, 70, 120};
    for (int i = 0; i < 5; ++i) {
        lvDrives->setColumnWidth(i, widths[i]);
    }
    lvDrives->setAccessibleName(tr("Drives"));
    lvDrives->setAccessibleDescription(lblDrives->text());
    connect(lvDrives, &QTreeWidget::currentItemChanged, this,
            sbGuarded(this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
                DriveSelected(current);
            }));

    btnRefresh = new QPushButton(tr("&Refresh"), this);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setGeometry(12, 182, 90, 25);
    btnRefresh->setAccessibleDescription(tr("Looks for the drives and their discs again"));
    connect(btnRefresh, &QPushButton::clicked, this, sbGuarded(this, [this] { RefreshDrives(); }));

    lblImage = new QLabel(tr("Image file:"), this);
    lblImage->setObjectName(QStringLiteral("lblImage"));
    lblImage->setGeometry(12, 218, 536, 16);

    edtImage = new QLineEdit(this);
    edtImage->setObjectName(QStringLiteral("edtImage"));
    edtImage->setGeometry(12, 236, 440, 23);
    edtImage->setAccessibleName(tr("Image file"));
    edtImage->setAccessibleDescription(
        tr("The image file the disc is copied to; an audio CD becomes a BIN file and its cue "
           "sheet"));
    lblImage->setBuddy(edtImage);

    btnBrowse = new QPushButton(tr("&Browse..."), this);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setGeometry(458, 235, 90, 25);
    btnBrowse->setAccessibleDescription(tr("Chooses the image file in a dialog"));
    connect(btnBrowse, &QPushButton::clicked, this, sbGuarded(this, [this] { btnBrowseClick(); }));

    pbCopy = new QProgressBar(this);
    pbCopy->setObjectName(QStringLiteral("pbCopy"));
    pbCopy->setGeometry(12, 274, 536, 18);
    pbCopy->setRange(0, kGaugeSteps);
    pbCopy->setValue(0);
    pbCopy->setTextVisible(false);
    pbCopy->setAccessibleName(tr("Copy progress"));

    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setGeometry(12, 296, 536, 16);
    lblProgress->setTextFormat(Qt::PlainText);

    lblResult = new QLabel(this);
    lblResult->setObjectName(QStringLiteral("lblResult"));
    lblResult->setGeometry(12, 318, 536, 62);
    lblResult->setWordWrap(true);
    lblResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Paths and the checksum, for the user to copy from.
    lblResult->setTextFormat(Qt::PlainText);
    lblResult->setTextInteractionFlags(Qt::TextSelectableByMouse);

    btnCopy = new QPushButton(tr("&Copy"), this);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    btnCopy->setGeometry(282, 386, 84, 25);
    btnCopy->setAccessibleDescription(tr("Copies the disc to the image file"));
    connect(btnCopy, &QPushButton::clicked, this, sbGuarded(this, [this] { btnCopyClick(); }));

    btnStop = new QPushButton(tr("&Stop"), this);
    btnStop->setObjectName(QStringLiteral("btnStop"));
    btnStop->setGeometry(373, 386, 84, 25);
    btnStop->setAccessibleDescription(tr("Stops the copy; no image is written"));
    btnStop->setEnabled(false);
    connect(btnStop, &QPushButton::clicked, this, sbGuarded(this, [this] { btnStopClick(); }));

    btnClose = new QPushButton(tr("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(464, 386, 84, 25);
    btnClose->setAccessibleDescription(tr("Closes this window (Esc)"));
    connect(btnClose, &QPushButton::clicked, this, sbGuarded(this, [this] { reject(); }));

    m_progressTimer = new QTimer(this);
    connect(m_progressTimer, &QTimer::timeout, this, sbGuarded(this, [this] { ShowProgress(); }));
}

TfrmCopyDisc::~TfrmCopyDisc() {
    if (m_thread) {
        m_cancel = true;
        { const std::lock_guard<std::mutex> lock(m_askMutex); }
        m_askAnswered.notify_all();
        m_thread->Join();
        m_thread.reset();
    }
    CloseDrive();
    // The rows point into the finder's list.
    lvDrives->clear();
}

void TfrmCopyDisc::Open() {
    if (!m_copying) {
        pbCopy->setValue(0);
        lblProgress->clear();
        lblResult->clear();
    }
    show();
    raise();
    activateWindow();
    if (!m_copying) {
        SearchDrives();
    }
}

void TfrmCopyDisc::SearchDrives() {
    if (m_copying) {
        return;
    }
    FillDrives(SelectedDrive() ? SelectedDrive()->DeviceName : std::string());
}

void TfrmCopyDisc::RefreshDrives() {
    if (m_copying) {
        return;
    }
    const std::string previous = SelectedDrive() ? SelectedDrive()->DeviceName : std::string();
    if (RestartLibrary) {
        // The rows point into the drives of the library that stops.
        lvDrives->clear();
        CloseDrive();
        RestartLibrary();
    }
    FillDrives(previous);
}

void TfrmCopyDisc::FillDrives(const std::string& previous) {
    lvDrives->clear();
    btnRefresh->setEnabled(false);
    try {
        m_finder->TransportType = ttSpti;
        m_finder->InfoText = LoadResString(rsScanningSystemHint);
        m_finder->Search(true);
    } catch (...) {
        btnRefresh->setEnabled(true);
        throw;
    }
    btnRefresh->setEnabled(true);
    // The search's progress window hands the keyboard back to the window that
    // was active when it came; shown a moment before, this one may not have
    // been yet, and without a window manager it would stay under the welcome window.
    raise();
    activateWindow();

    QTreeWidgetItem* chosen = nullptr;
    const TsbDeviceList& devices = m_finder->Devices;
    for (int i = 0; i < devices.Count(); ++i) {
        TsbDeviceItem* device = devices.Items(i);
        const QString name = q(!device->Product.empty() ? device->Product : device->DeviceName);
        auto* row = new QTreeWidgetItem(QStringList{name, q(device->Vendor)});
        row->setData(0, DriveRole, QVariant::fromValue(static_cast<void*>(device)));
        if (device->Usable() && device->DiscType != DISC_TYPE_NO_MEDIA) {
            // Opened a moment to tell a blank disc from one with something on it.
            device->DiscSpace = QueryDiscSpace(*device);
        }
        if (!device->Usable()) {
            // Another program has it, or the user may not open it: the
            // library's advice says what to do.
            row->setText(2, tr("Unavailable"));
            row->setText(4, q(device->AccessText));
            for (int c = 0; c < lvDrives->columnCount(); ++c) {
                row->setToolTip(c, q(device->AccessText));
            }
            row->setFlags(row->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
        } else if (device->DiscType == DISC_TYPE_NO_MEDIA) {
            row->setText(2, q(LoadResString(rsNoMediaInDrive)));
        } else {
            const TsbDiscSpace& space = device->DiscSpace;
            row->setText(2, q(DiscTypeToStr(device->DiscType)));
            row->setText(3, space.TotalBytes > 0 && space.FreeBytes == space.TotalBytes
                                ? q(LoadResString(rsBlank))
                                : q(SizeToMBStr(false, space.UsedBytes)));
            row->setText(4, q(device->DiscLabel));
        }
        lvDrives->addTopLevelItem(row);
        if (device->Usable() && (device->DeviceName == previous ||
                                 (previous.empty() && !chosen && HasDiscToCopy(*device)))) {
            chosen = row;
        }
    }
    if (chosen) {
        lvDrives->setCurrentItem(chosen);
    }
}

TsbDeviceItem* TfrmCopyDisc::SelectedDrive() const {
    const QTreeWidgetItem* row = lvDrives->currentItem();
    auto* device =
        row ? static_cast<TsbDeviceItem*>(row->data(0, DriveRole).value<void*>()) : nullptr;
    return device && device->Usable() ? device : nullptr;
}

void TfrmCopyDisc::DriveSelected(QTreeWidgetItem*) {
    const TsbDeviceItem* device = SelectedDrive();
    if (!device || !HasDiscToCopy(*device)) {
        return;
    }
    // The drive's own name until the user types another.
    const QString typed = edtImage->text().trimmed();
    if (!typed.isEmpty() && typed != m_proposedName) {
        return;
    }
    QString folder = LastImageFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::homePath();
    }
    m_proposedName = QDir(folder).filePath(ProposedName(*device));
    edtImage->setText(m_proposedName);
}

void TfrmCopyDisc::btnBrowseClick() {
    const TsbDeviceItem* device = SelectedDrive();
    const bool audio = device && HoldsOnlyAudio(device->TOCInformation);
    const QString chosen = TsbDialogs::SaveFileName(
        this, tr("Copy the disc to"), audio ? tr("Cue sheets (*.cue)") : tr("ISO images (*.iso)"),
        edtImage->text().trimmed(), audio ? QStringLiteral("cue") : QStringLiteral("iso"), false);
    if (!chosen.isEmpty()) {
        edtImage->setText(chosen);
    }
}

void TfrmCopyDisc::btnCopyClick() {
    if (m_copying) {
        return;
    }
    TsbDeviceItem* device = SelectedDrive();
    if (!device) {
        TsbDialogs::MessageBox(this, tr("Choose the drive with the disc to copy."), {},
                               TsbMsgKind::mkWarning);
        return;
    }
    if (device->DiscType == DISC_TYPE_NO_MEDIA) {
        TsbDialogs::MessageBox(this, q(LoadResString(rsNoMediaInDrive)), {}, TsbMsgKind::mkWarning);
        return;
    }
    if (!HasDiscToCopy(*device)) {
        TsbDialogs::MessageBox(this, tr("The disc is blank: there is nothing on it to copy."), {},
                               TsbMsgKind::mkWarning);
        return;
    }
    const QString output = edtImage->text().trimmed();
    if (output.isEmpty() || output.endsWith(QLatin1Char('/'))) {
        TsbDialogs::MessageBox(this, tr("Choose the image file to copy the disc to."), {},
                               TsbMsgKind::mkWarning);
        return;
    }
    // Asked here, not by the file dialog: a copy writes more files than the
    // one it names, and a typed name is asked about too.
    QStringList existing;
    for (const std::string& file :
         CopyOutputFiles(HoldsOnlyAudio(device->TOCInformation), output.toStdString())) {
        if (QFileInfo::exists(q(file)) || QFileInfo(q(file)).isSymLink()) {
            existing << q(file);
        }
    }
    const bool replace = !existing.isEmpty();
    if (replace &&
        TsbDialogs::MessageBox(
            this,
            tr("Files of this copy exist already:\n%1\n\nReplace them? The files there now stay "
               "until the copy is whole.")
                .arg(existing.join(QLatin1Char('\n'))),
            {}, TsbMsgKind::mkConfirmation, TsbMsgButtons::mbYesNo) != TsbMsgResult::mrYes) {
        return;
    }

    CopyDeviceChoice(*device, ttSpti, *m_burner);
    try {
        m_burner->OpenDevice();
    } catch (...) {
        CloseDrive();
        throw;
    }
    m_output = output;
    m_discType = device->DiscType;
    m_done = 0;
    m_total = 0;
    m_cancel = false;
    m_answer.reset();

    m_thread = std::make_unique<TCopyThread>();
    m_thread->Grabber = m_burner->Grabber;
    m_thread->Output = output.toStdString();
    m_thread->Replace = replace;
    m_thread->Reason =
        CopyReason(m_thread->Output, DriveTitle(device->DeviceName, device->Product));
    m_thread->Callbacks.Progress = [this](uint64_t done, uint64_t total) {
        m_total = total;
        m_done = done;
    };
    m_thread->Callbacks.Cancelled = [this] { return m_cancel.load(); };
    m_thread->Callbacks.BadSector = [this](uint32_t sector, const std::string& why) {
        return WaitForBadSectorAnswer(sector, why);
    };
    m_thread->OnTerminate = [this](TsbThread*) {
        QMetaObject::invokeMethod(
            this, [this] { sbGuard(this, [this] { CopyEnded(); }); }, Qt::QueuedConnection);
    };
    lblResult->clear();
    pbCopy->setValue(0);
    lblProgress->setText(tr("Reading the disc's table of contents..."));
    SetCopying(true);
    m_started = std::chrono::steady_clock::now();
    m_progressTimer->start(ProgressInterval);
    m_thread->Start();
}

void TfrmCopyDisc::btnStopClick() {
    if (!m_copying) {
        return;
    }
    m_cancel = true;
    { const std::lock_guard<std::mutex> lock(m_askMutex); }
    m_askAnswered.notify_all();
    btnStop->setEnabled(false);
    lblProgress->setText(tr("Stopping..."));
}

void TfrmCopyDisc::reject() {
    sbGuard(this, [this] {
        if (!m_copying) {
            QDialog::reject();
            return;
        }
        if (m_closeWhenStopped ||
            TsbDialogs::MessageBox(this, tr("A copy is running. Stop it? No image is written."), {},
                                   TsbMsgKind::mkConfirmation,
                                   TsbMsgButtons::mbYesNo) != TsbMsgResult::mrYes) {
            return;
        }
        m_closeWhenStopped = true;
        btnStopClick();
    });
}

void TfrmCopyDisc::SetCopying(bool copying) {
    m_copying = copying;
    for (QWidget* control :
         std::initializer_list<QWidget*>{lvDrives, btnRefresh, edtImage, btnBrowse, btnCopy}) {
        control->setEnabled(!copying);
    }
    btnStop->setEnabled(copying);
}

void TfrmCopyDisc::ShowProgress() {
    const uint64_t total = m_total;
    const uint64_t done = std::min<uint64_t>(m_done, total);
    if (total == 0 || m_cancel) {
        return;
    }
    pbCopy->setValue(static_cast<int>(done * kGaugeSteps / total));
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    lblProgress->setText(q(ProgressCaption(done, total, elapsed, m_discType)));
}

TsbBadSectorChoice TfrmCopyDisc::WaitForBadSectorAnswer(uint32_t sector, const std::string& why) {
    const QString listFile = q(m_thread->ListFile);
    std::unique_lock<std::mutex> lock(m_askMutex);
    m_answer.reset();
    QMetaObject::invokeMethod(
        this,
        [this, sector, why = q(why), listFile] {
            sbGuard(this, [&] { AskBadSector(sector, why, listFile); });
        },
        Qt::QueuedConnection);
    m_askAnswered.wait(lock, [this] { return m_answer.has_value() || m_cancel; });
    return m_answer.value_or(TsbBadSectorChoice::Stop);
}

void TfrmCopyDisc::AskBadSector(uint32_t sector, const QString& why, const QString& listFile) {
    TsbBadSectorChoice choice = TsbBadSectorChoice::Stop;
    // Whatever happens to the box, the copy thread gets its answer.
    struct TAnswer {
        TfrmCopyDisc* Form;
        TsbBadSectorChoice& Choice;
        ~TAnswer() {
            {
                const std::lock_guard<std::mutex> lock(Form->m_askMutex);
                Form->m_answer = Choice;
            }
            Form->m_askAnswered.notify_all();
        }
    } answer{this, choice};
    if (m_cancel) {
        return;
    }
    const QString text =
        tr("Sector %1 cannot be read (%2).\n\n"
           "Fill it and every further sector that cannot be read with zeros, go on, and list "
           "them in %3?\n\n"
           "No stops the copy, and no image is written. Clean the disc (wipe from the centre "
           "outwards) and copy it again, or try another drive.")
            .arg(QString::number(sector), why, QFileInfo(listFile).fileName());
    if (TsbDialogs::MessageBox(this, text, {}, TsbMsgKind::mkWarning, TsbMsgButtons::mbYesNo) ==
        TsbMsgResult::mrYes) {
        choice = TsbBadSectorChoice::FillWithZeros;
    }
}

void TfrmCopyDisc::CopyEnded() {
    if (!m_thread) {
        return;
    }
    m_progressTimer->stop();
    m_thread->Join();
    const TsbCopyResult result = m_thread->Result;
    const bool audio = m_thread->Audio;
    m_thread.reset();
    CloseDrive();
    SetCopying(false);
    const bool closing = m_closeWhenStopped;
    m_closeWhenStopped = false;

    if (result.Done) {
        pbCopy->setValue(kGaugeSteps);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
        lblProgress->setText(q(ProgressCaption(result.Bytes, result.Bytes, elapsed, m_discType)));
        QStringList lines;
        lines << tr("Disc copied to %1").arg(q(result.Files.at(0)));
        if (audio && result.Files.size() > 2) {
            lines << tr("Cue sheet: %1").arg(q(result.Files.at(2)));
        }
        lines << tr("SHA-256: %1 (in %2)").arg(q(result.Sha256), q(result.Files.at(1)));
        if (!result.BadSectors.empty()) {
            QStringList sectors;
            for (uint32_t lba : result.BadSectors) {
                sectors << QString::number(lba);
            }
            const QString pattern =
                result.BadSectors.size() == 1
                    ? tr("%1 unreadable sector filled with zeros: %2 (listed in %3)")
                    : tr("%1 unreadable sectors filled with zeros: %2 (listed in %3)");
            lines << pattern.arg(QString::number(result.BadSectors.size()),
                                 sectors.join(QStringLiteral(", ")), q(result.Files.back()));
        }
        lblResult->setText(lines.join(QLatin1Char('\n')));
        RememberImageFolder(m_output);
    } else if (result.Cancelled) {
        pbCopy->setValue(0);
        lblProgress->clear();
        lblResult->setText(tr("The copy was stopped; no image was written."));
    } else {
        pbCopy->setValue(0);
        lblProgress->clear();
        lblResult->setText(tr("The disc was not copied."));
        if (!closing) {
            TsbDialogs::MessageBox(this,
                                   tr("The disc was not copied.\n\n%1").arg(q(result.FailureText)),
                                   {}, TsbMsgKind::mkError);
        }
    }
    if (closing) {
        QDialog::reject();
    }
}

void TfrmCopyDisc::CloseDrive() {
    try {
        m_burner->CloseDevice();
    } catch (const std::exception&) {
        // The drive is let go whatever the log says; the next copy opens it anew.
    }
}
