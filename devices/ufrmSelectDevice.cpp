// SPDX-License-Identifier: GPL-2.0-or-later
#include "devices/ufrmSelectDevice.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbUtils.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDiscWait.h"
#include "devices/sbDriveMonitor.h"
#include "engine/sbBurner.h"
#include "ui/sbGuard.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeWidget>

#include <fmt/printf.h>

#include <algorithm>

namespace {

constexpr int DeviceRole = Qt::UserRole + 1;
constexpr int kUnavailableTop = 232;
// udev announces a plugged-in drive in several steps: the page acts once
// they have settled.
constexpr int kSettleMs = 300;

// What tells a drive apart when the library, started again, has named the
// drives anew.
struct TDriveIdentity {
    std::string Name, Vendor, Product, Revision;
    bool Matches(const TsbDeviceItem& item) const {
        return item.Vendor == Vendor && item.Product == Product &&
               item.ProductRevisionLevel == Revision;
    }
};

// The disc column of a drive the user may not open now.
QString AccessCaption(TsbDeviceAccess access) {
    switch (access) {
    case daMounted:
        return QCoreApplication::translate("TfrmSelectDevice", "Mounted");
    case daForbidden:
        return QCoreApplication::translate("TfrmSelectDevice", "No access");
    case daUnavailable:
        return QCoreApplication::translate("TfrmSelectDevice", "Unavailable");
    default:
        return QCoreApplication::translate("TfrmSelectDevice", "In use");
    }
}

TsbDeviceItem* deviceOfRow(const QTreeWidgetItem* row) {
    return row ? static_cast<TsbDeviceItem*>(row->data(0, DeviceRole).value<void*>()) : nullptr;
}

// The row of the drive that was selected: the one of its name, unless a
// drive plugged in or out before it moved it to another name (and another
// drive took its own); then the one that looks the same.
QTreeWidgetItem* SameDrive(const QTreeWidget& list, QTreeWidgetItem* byName,
                           const TDriveIdentity& selected) {
    if (selected.Name.empty() || (byName && selected.Matches(*deviceOfRow(byName)))) {
        return byName;
    }
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const TsbDeviceItem* device = deviceOfRow(list.topLevelItem(i));
        if (device && device->Usable() && selected.Matches(*device)) {
            return list.topLevelItem(i);
        }
    }
    return nullptr;
}

// What a screen reader reads for a usable drive's row: its product, then
// the other columns under their headings.
void describeRow(const QTreeWidget* list, QTreeWidgetItem* row) {
    QStringList parts;
    for (int c = 1; c < list->columnCount(); ++c) {
        if (!row->text(c).isEmpty()) {
            parts << list->headerItem()->text(c).trimmed() + QStringLiteral(": ") + row->text(c);
        }
    }
    row->setData(0, Qt::AccessibleTextRole, row->text(0));
    row->setData(0, Qt::AccessibleDescriptionRole, parts.join(QStringLiteral(", ")));
}

} // namespace

TfrmSelectDevice::TfrmSelectDevice(QWidget* parent)
    : TsbDockForm(parent), m_finder(std::make_unique<TsbDeviceFinder>()) {
    setObjectName(QStringLiteral("frmSelectDevice"));
    resize(559, 409);

    Label1 = new QLabel(tr("Select CD or DVD burning device from the list"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(9);
    Label1->setFont(bold);
    Label1->move(16, 16);
    Label1->adjustSize();

    lvDevices = new QTreeWidget(this);
    lvDevices->setObjectName(QStringLiteral("lvDevices"));
    lvDevices->setGeometry(16, 48, 524, 177);
    lvDevices->setRootIsDecorated(false);
    lvDevices->setItemsExpandable(false);
    lvDevices->setUniformRowHeights(true);
    lvDevices->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDevices->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDevices->setSortingEnabled(false);
    lvDevices->header()->setSectionsClickable(false);
    lvDevices->header()->setStretchLastSection(false);
    lvDevices->setHeaderLabels({tr("Product"), tr("Vendor"), tr("Revision"), tr("Media "),
                                tr("Size, MB"), tr("Label"), tr("Disc maker")});
    const int widths[] = {150, 70, 60, 60, 70, 85, 160};
    for (int i = 0; i < 7; ++i) {
        lvDevices->setColumnWidth(i, widths[i]);
    }
    // The selection stays visible when the list loses focus.
    QPalette pal = lvDevices->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    lvDevices->setPalette(pal);
    connect(lvDevices, &QTreeWidget::currentItemChanged, this,
            sbGuarded(this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
                lvDevicesChange(current);
            }));
    connect(lvDevices, &QTreeWidget::itemSelectionChanged, this, sbGuarded(this, [this] {
                const auto selected = lvDevices->selectedItems();
                if (!selected.isEmpty()) {
                    lvDevicesChange(selected.first());
                }
            }));

    Label2 = new QLabel(tr("If you have plugged in new devices or changed disc in a "
                           "drive click Refresh to update devices list"),
                        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(16, 345, 529, 24);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblUnavailable = new QLabel(this);
    lblUnavailable->setObjectName(QStringLiteral("lblUnavailable"));
    lblUnavailable->setGeometry(16, kUnavailableTop, 524, 345 - 4 - kUnavailableTop);
    lblUnavailable->setWordWrap(true);
    lblUnavailable->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblUnavailable->setTextFormat(Qt::PlainText);
    lblUnavailable->hide();

    btnRefresh = new QPushButton(tr("&Refresh..."), this);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setGeometry(16, 376, 81, 23);
    // Beside Refresh: the sheet above it stays as the one-drive burn has it.
    chbAllDrives = new QCheckBox(tr("Burn on every recorder with a suitable disc"), this);
    chbAllDrives->setObjectName(QStringLiteral("chbAllDrives"));
    chbAllDrives->setGeometry(112, 379, 428, 19);
    chbAllDrives->setChecked(false);
    chbAllDrives->setAccessibleName(tr("Burn on every recorder"));
    chbAllDrives->setAccessibleDescription(
        tr("Writes the image to every listed recorder that holds a blank disc big enough for it, "
           "all at once"));
    lvDevices->setAccessibleName(tr("Recorders"));
    lvDevices->setAccessibleDescription(Label1->text());
    btnRefresh->setAccessibleDescription(Label2->text());
    connect(btnRefresh, &QPushButton::clicked, this,
            sbGuarded(this, [this] { btnRefreshClick(); }));

    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this,
            sbGuarded(this, [this] { DrivesChanged(m_pendingAddedOrRemoved); }));
    m_discPoll = new QTimer(this);
    connect(m_discPoll, &QTimer::timeout, this, sbGuarded(this, [this] { DiscPollTick(); }));
}

TfrmSelectDevice::~TfrmSelectDevice() {
    m_discPoll->stop();
    delete m_notifier;
    m_notifier = nullptr;
    // The rows point into the finder's list.
    lvDevices->clear();
    CurrentItem = nullptr;
}

void TfrmSelectDevice::resizeEvent(QResizeEvent* event) {
    TsbDockForm::resizeEvent(event);
    // Anchors: the list follows the right edge, the note and Refresh the bottom.
    lvDevices->resize(std::max(0, width() - 16 - 19), lvDevices->height());
    Label2->move(16, height() - 409 + 345);
    btnRefresh->move(16, height() - 409 + 376);
    chbAllDrives->setGeometry(std::max(112, btnRefresh->geometry().right() + 15),
                              height() - 409 + 379, std::max(0, lvDevices->width() - 96), 19);
    lblUnavailable->setGeometry(16, kUnavailableTop, lvDevices->width(),
                                std::max(0, Label2->y() - 4 - kUnavailableTop));
}

void TfrmSelectDevice::BeginWork() {
    btnRefresh->setEnabled(false);
    TsbDockForm::BeginWork();
}

void TfrmSelectDevice::EndWork() {
    btnRefresh->setEnabled(true);
    TsbDockForm::EndWork();
}

void TfrmSelectDevice::RefreshPage() {}

TsbDeviceItem* TfrmSelectDevice::DeviceOf(const QTreeWidgetItem* row) {
    return row ? static_cast<TsbDeviceItem*>(row->data(0, DeviceRole).value<void*>()) : nullptr;
}

void TfrmSelectDevice::lvDevicesChange(QTreeWidgetItem* item) {
    if (m_filling || !item) {
        return;
    }
    CurrentItem = item;
    m_rowChanged = true;
}

void TfrmSelectDevice::SelectRow(QTreeWidgetItem* row) {
    const TsbDeviceItem* device = DeviceOf(row);
    if (device && !device->Usable()) {
        return;
    }
    lvDevices->setCurrentItem(row);
    row->setSelected(true);
    CurrentItem = row;
    m_rowChanged = true;
}

void TfrmSelectDevice::SetPageData(TsbBurner* data) {
    TsbDockForm::SetPageData(data);
    const TsbDeviceAddress address = GetSelectedAddress();
    const std::string path = GetSelectedDevicePath();
    TDriveIdentity selected;
    if (const TsbDeviceItem* device = SelectedDevice()) {
        selected = {path, device->Vendor, device->Product, device->ProductRevisionLevel};
    }
    StartDriveMonitor();
    m_discPoll->stop();
    m_waitingFor.clear();
    m_pendingChange = false;
    if (m_pendingAddedOrRemoved) {
        m_pendingAddedOrRemoved = false;
        if (OnDrivesAddedOrRemoved) {
            // The rows point into the list of the library's old drives.
            lvDevices->clear();
            CurrentItem = nullptr;
            OnDrivesAddedOrRemoved();
        }
    }

    lvDevices->setUpdatesEnabled(false);
    BeginWork();
    auto finish = [this] {
        m_filling = false;
        EndWork();
        if (!m_rowChanged) {
            // The first drive that may be chosen; one in use or closed never is.
            for (int i = 0; i < lvDevices->topLevelItemCount(); ++i) {
                const TsbDeviceItem* device = DeviceOf(lvDevices->topLevelItem(i));
                if (device && device->Usable()) {
                    SelectRow(lvDevices->topLevelItem(i));
                    break;
                }
            }
        }
        lvDevices->setUpdatesEnabled(true);
        // Announced while this search ran: seen to once it has ended.
        if (m_pendingAddedOrRemoved || m_pendingChange) {
            m_settle->start();
        }
    };
    try {
        // The rows point into the list the search is about to rebuild.
        m_filling = true;
        lvDevices->clear();
        CurrentItem = nullptr;
        m_finder->TransportType = data ? data->TransportType : ttSpti;
        m_finder->InfoText = ScanInfoText;
        m_finder->Search(ShowScanProgress);

        lblUnavailable->clear();
        lblUnavailable->hide();
        QStringList refusals;
        const TsbDeviceList& devices = m_finder->Devices;
        for (int i = 0; i < devices.Count(); ++i) {
            AddRow(devices.Items(i), refusals);
        }
        if (!refusals.isEmpty()) {
            lblUnavailable->setText(refusals.join(QLatin1Char('\n')));
            lblUnavailable->show();
        }
        m_filling = false;

        if (address.Present != 0) {
            if (QTreeWidgetItem* row = FindItemByAddress(address)) {
                SelectRow(row);
            }
        }
        if (lvDevices->selectedItems().isEmpty()) {
            if (QTreeWidgetItem* same =
                    SameDrive(*lvDevices, FindItemByDevicePath(path), selected)) {
                SelectRow(same);
            }
        }
        if (!m_waitingFor.empty()) {
            m_discPoll->start(DiscPollInterval);
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TfrmSelectDevice::AddRow(TsbDeviceItem* device, QStringList& notes) {
    // Measured first: a drive that cannot be opened for it is listed
    // as one that may not be opened now, never as holding a blank disc.
    if (device->Usable() && device->DiscType != DISC_TYPE_NO_MEDIA &&
        (ListAllDevices || device->MediaFormats.WritesCDR != 0)) {
        device->DiscSpace = QueryDiscSpace(*device);
    }
    // A drive that may not be opened now is listed when it writes
    // CDs or does not tell what it writes: greyed out, with the
    // library's advice beside it and below the list.
    const bool mayWriteCDs = device->MediaFormats.WritesCDR != 0 || !device->MediaFormatsKnown();
    if (!device->Usable() && (ListAllDevices || mayWriteCDs)) {
        const QString name =
            QString::fromStdString(!device->Product.empty() ? device->Product : device->DeviceName);
        const QString advice = QString::fromStdString(device->AccessText);
        auto* row =
            new QTreeWidgetItem(QStringList{name, QString::fromStdString(device->Vendor),
                                            QString::fromStdString(device->ProductRevisionLevel),
                                            AccessCaption(device->Access), QString(), advice});
        row->setData(0, DeviceRole, QVariant::fromValue(static_cast<void*>(device)));
        row->setFlags(row->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
        for (int c = 0; c < lvDevices->columnCount(); ++c) {
            row->setToolTip(c, advice);
        }
        // Greyed out is not heard: the state goes with the name.
        row->setData(0, Qt::AccessibleTextRole,
                     name + QStringLiteral(", ") + AccessCaption(device->Access));
        row->setData(0, Qt::AccessibleDescriptionRole, advice);
        lvDevices->addTopLevelItem(row);
        notes << name + QStringLiteral(": ") + advice;
        return;
    }
    if (!ListAllDevices && device->MediaFormats.WritesCDR == 0) {
        return;
    }
    QStringList columns{QString::fromStdString(device->Product),
                        QString::fromStdString(device->Vendor),
                        QString::fromStdString(device->ProductRevisionLevel),
                        QString::fromStdString(DiscTypeToStr(device->DiscType))};
    if (device->DiscType != DISC_TYPE_NO_MEDIA) {
        const TsbDiscSpace& space = device->DiscSpace;
        const std::string size =
            space.TotalBytes > 0 ? SizeToMBStr(false, space.UsedBytes) : std::string();
        columns << (space.FreeBytes == space.TotalBytes
                        ? QString::fromStdString(LoadResString(rsBlank))
                        : QString::fromStdString(size))
                << QString::fromStdString(device->DiscLabel);
        // The maker first: the id alone tells most people nothing.
        const std::string maker = device->MediaMaker.empty() || device->MediaId.empty()
                                      ? device->MediaMaker + device->MediaId
                                      : device->MediaMaker + " (" + device->MediaId + ")";
        columns << QString::fromStdString(maker);
    }
    if (device->DiscType == DISC_TYPE_NO_MEDIA) {
        // The drive is asked on the poll timer until a disc is in.
        const QString waiting = QString::fromStdString(
            InsertDiscText(!device->Product.empty() ? device->Product : device->DeviceName));
        columns << QString() << waiting;
        notes << waiting;
        m_waitingFor.push_back(device->DeviceName);
    }
    auto* row = new QTreeWidgetItem(columns);
    row->setData(0, DeviceRole, QVariant::fromValue(static_cast<void*>(device)));
    if (device->DiscType == DISC_TYPE_NO_MEDIA) {
        row->setToolTip(5, columns.last());
    }
    describeRow(lvDevices, row);
    lvDevices->addTopLevelItem(row);
}

TsbLog* TfrmSelectDevice::GetPageLog() {
    m_pageLog.Clear();
    if (const TsbDeviceItem* device = SelectedDevice()) {
        TsbLogItem& line = m_pageLog.Add();
        line.LogMessage = LoadResString(rsDestinationDevice) + ": " + device->Product;
        line.ItemType = litInfo;
    }
    return &m_pageLog;
}

TsbDeviceItem* TfrmSelectDevice::SelectedDevice() const {
    const auto selected = lvDevices->selectedItems();
    if (selected.size() != 1 || !CurrentItem) {
        return nullptr;
    }
    TsbDeviceItem* device = DeviceOf(CurrentItem);
    return device && device->Usable() ? device : nullptr;
}

std::string TfrmSelectDevice::RefusalText() const {
    std::string first;
    for (int i = 0; i < lvDevices->topLevelItemCount(); ++i) {
        const TsbDeviceItem* device = DeviceOf(lvDevices->topLevelItem(i));
        if (device && device->Usable()) {
            return {};
        }
        if (device && first.empty()) {
            first = device->AccessText;
        }
    }
    return first;
}

bool TfrmSelectDevice::AllDrivesChosen() const {
    return chbAllDrives->isChecked();
}

std::vector<TsbDeviceItem*> TfrmSelectDevice::SuitableDevices(int64_t ImageBytes) const {
    std::vector<TsbDeviceItem*> suitable;
    for (int i = 0; i < lvDevices->topLevelItemCount(); ++i) {
        TsbDeviceItem* device = DeviceOf(lvDevices->topLevelItem(i));
        if (!device || DriveFitForImage(*device, ImageBytes, false) != TsbDriveFit::Fits) {
            continue;
        }
        try {
            CheckRecorderForBurn(*device, device->DiscSpace);
        } catch (const EsbError&) {
            continue; // one Next would refuse alone is left out here too
        }
        suitable.push_back(device);
    }
    return suitable;
}

TsbDiscInformation TfrmSelectDevice::GetSelectedDiscInfo(TsbDiscInformation info) const {
    info.Bytes[0] = 0;
    if (const TsbDeviceItem* device = SelectedDevice()) {
        info = device->DiscInformation;
    }
    return info;
}

TsbTOCInformation TfrmSelectDevice::GetSelectedTOCInfo(TsbTOCInformation info) const {
    info.Bytes[0] = 0;
    if (const TsbDeviceItem* device = SelectedDevice()) {
        info = device->TOCInformation;
    }
    return info;
}

TsbTrackInformation TfrmSelectDevice::GetSelectedTrackInfo(TsbTrackInformation info) const {
    info.Bytes[0] = 0;
    if (const TsbDeviceItem* device = SelectedDevice()) {
        info = device->TrackInformation;
    }
    return info;
}

uint8_t TfrmSelectDevice::GetSelectedDiscType() const {
    const TsbDeviceItem* device = SelectedDevice();
    return device ? device->DiscType : static_cast<uint8_t>(DISC_TYPE_UNKNOWN);
}

TsbDiscSpace TfrmSelectDevice::GetSelectedDiscSpace() const {
    const TsbDeviceItem* device = SelectedDevice();
    return device ? device->DiscSpace : TsbDiscSpace{};
}

TsbReadModes TfrmSelectDevice::GetSelectedReadModes() const {
    const TsbDeviceItem* device = SelectedDevice();
    return device ? device->ReadModes : TsbReadModes{};
}

TsbWriteModes TfrmSelectDevice::GetSelectedWriteModes(TsbWriteModes modes) const {
    modes.CanWriteTAO = 1;
    modes.CanWriteSAO = 1;
    modes.CanWriteDAOPQ = 1;
    modes.CanWriteDAORaw = 1;
    if (const TsbDeviceItem* device = SelectedDevice()) {
        modes = device->WriteModes;
    }
    return modes;
}

TsbDeviceInfo TfrmSelectDevice::GetSelectedDeviceInfo(TsbDeviceInfo info) const {
    info.Vendor.clear();
    info.Product.clear();
    info.ProductRevisionLevel.clear();
    info.BufferSize = 0;
    if (const TsbDeviceItem* device = SelectedDevice()) {
        info.Vendor = device->Vendor;
        info.Product = device->Product;
        info.ProductRevisionLevel = device->ProductRevisionLevel;
        info.BufferSize = static_cast<int64_t>(device->BufferSize);
        info.MediaFormats = device->MediaFormats;
    }
    return info;
}

TsbDVDRPC TfrmSelectDevice::GetSelectedDVDRPC() const {
    const TsbDeviceItem* device = SelectedDevice();
    return device ? device->DVDRPC : TsbDVDRPC{};
}

TsbDeviceAddress TfrmSelectDevice::GetSelectedAddress() const {
    const TsbDeviceItem* device = SelectedDevice();
    return device ? device->Address : TsbDeviceAddress{};
}

std::string TfrmSelectDevice::GetSelectedDevicePath(std::string path) const {
    if (const TsbDeviceItem* device = SelectedDevice()) {
        path = !device->DeviceName.empty() ? device->DeviceName : "\\\\.\\" + device->DriveLetter;
    }
    return path;
}

QTreeWidgetItem* TfrmSelectDevice::FindItemByAddress(const TsbDeviceAddress& address) const {
    for (int i = 0; i < lvDevices->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = lvDevices->topLevelItem(i);
        const TsbDeviceItem* device = DeviceOf(row);
        if (device && device->Address.Matches(address)) {
            return row;
        }
    }
    return nullptr;
}

QTreeWidgetItem* TfrmSelectDevice::FindItemByDevicePath(const std::string& path) const {
    for (int i = 0; i < lvDevices->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = lvDevices->topLevelItem(i);
        const TsbDeviceItem* device = DeviceOf(row);
        if (device && device->DeviceName == path) {
            return row;
        }
    }
    return nullptr;
}

TsbDiscSpace TfrmSelectDevice::QueryDiscSpace(TsbDeviceItem& item) {
    return ::QueryDiscSpace(item);
}

void TfrmSelectDevice::btnRefreshClick() {
    SetPageData(PageData());
}

void TfrmSelectDevice::StartDriveMonitor() {
    if (m_monitorTried) {
        return;
    }
    m_monitorTried = true;
    std::string failure;
    m_monitor = CreateDriveMonitor(failure);
    if (!m_monitor) {
        Logger().Log("Drives plugged in or out are not seen as they come: " + failure +
                     "; Refresh finds them");
        return;
    }
    m_notifier = new QSocketNotifier(m_monitor->Fd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this,
            sbGuarded(this, [this] { MonitorReadable(); }));
}

void TfrmSelectDevice::MonitorReadable() {
    const std::vector<TsbDriveEvent> events = m_monitor->Read();
    for (const TsbDriveEvent& event : events) {
        static const char* const said[] = {"plugged in", "pulled out", "disc changed"};
        Logger().Log("Drive " + event.DevNode + ": " + said[event.Action]);
        if (event.Action == TsbDriveEvent::DiscChanged) {
            m_pendingChange = true;
        } else {
            m_pendingAddedOrRemoved = true;
        }
    }
    if (!events.empty()) {
        m_settle->start();
    }
}

void TfrmSelectDevice::DrivesChanged(bool addedOrRemoved) {
    m_pendingAddedOrRemoved = m_pendingAddedOrRemoved || addedOrRemoved;
    if (!m_pendingAddedOrRemoved && !m_pendingChange) {
        return; // a search since has seen it
    }
    // Another sheet, or a search under way: the page's next arrival or the
    // search's end sees to it.
    if (!isVisible() || m_filling || m_finder->Searching() || !btnRefresh->isEnabled() ||
        !PageData()) {
        return;
    }
    SetPageData(PageData());
}

void TfrmSelectDevice::DiscPollTick() {
    if (!isVisible() || m_filling || m_finder->Searching() || !btnRefresh->isEnabled() ||
        !PageData()) {
        return;
    }
    for (const std::string& name : m_waitingFor) {
        const TsbDiscPoll poll = PollDisc(name);
        if (poll.Presence != dpNoDisc && poll.Presence != dpBusy) {
            Logger().Log("A disc was put into " + name);
            SetPageData(PageData());
            return;
        }
    }
}
