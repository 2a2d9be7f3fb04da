#include "devices/ufrmSelectDevice.h"

#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbUtils.h"
#include "devices/sbDeviceList.h"
#include "engine/sbBurner.h"
#include "ui/sbGuard.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <fmt/printf.h>

#include <algorithm>

namespace {

constexpr int DeviceRole = Qt::UserRole + 1;
constexpr int kUnavailableTop = 232;

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
    lvDevices->setHeaderLabels(
        {tr("Product"), tr("Vendor"), tr("Revision"), tr("Media "), tr("Size, MB"), tr("Label")});
    const int widths[] = {150, 70, 60, 60, 70, 85};
    for (int i = 0; i < 6; ++i) {
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
    lvDevices->setAccessibleName(tr("Recorders"));
    lvDevices->setAccessibleDescription(Label1->text());
    btnRefresh->setAccessibleDescription(Label2->text());
    connect(btnRefresh, &QPushButton::clicked, this,
            sbGuarded(this, [this] { btnRefreshClick(); }));
}

TfrmSelectDevice::~TfrmSelectDevice() {
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
            TsbDeviceItem* device = devices.Items(i);
            // Measured first: a drive that cannot be opened for it is listed
            // as one that may not be opened now, never as holding a blank disc.
            if (device->Usable() && device->DiscType != DISC_TYPE_NO_MEDIA &&
                (ListAllDevices || device->MediaFormats.WritesCDR != 0)) {
                device->DiscSpace = QueryDiscSpace(*device);
            }
            // A drive that may not be opened now is listed when it writes
            // CDs or does not tell what it writes: greyed out, with the
            // library's advice beside it and below the list.
            const bool mayWriteCDs =
                device->MediaFormats.WritesCDR != 0 || !device->MediaFormatsKnown();
            if (!device->Usable() && (ListAllDevices || mayWriteCDs)) {
                const QString name = QString::fromStdString(
                    !device->Product.empty() ? device->Product : device->DeviceName);
                const QString advice = QString::fromStdString(device->AccessText);
                auto* row = new QTreeWidgetItem(
                    QStringList{name, QString::fromStdString(device->Vendor),
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
                refusals << name + QStringLiteral(": ") + advice;
                continue;
            }
            if (!ListAllDevices && device->MediaFormats.WritesCDR == 0) {
                continue;
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
            }
            auto* row = new QTreeWidgetItem(columns);
            row->setData(0, DeviceRole, QVariant::fromValue(static_cast<void*>(device)));
            describeRow(lvDevices, row);
            lvDevices->addTopLevelItem(row);
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
            if (QTreeWidgetItem* row = FindItemByDevicePath(path)) {
                SelectRow(row);
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
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
