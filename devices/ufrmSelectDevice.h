// SPDX-License-Identifier: GPL-2.0-or-later
// The recorder sheet: every arrival searches the devices of the chosen
// transport (with the progress window), lists them with the disc in each and
// its used space, and selects again the device that was selected before. The
// main window reads the chosen device through the query operations; the page
// itself never keeps a device open.
#pragma once

#include "base/sbTypes.h"
#include "engine/sbLog.h"
#include "forms/sbDockForm.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QSocketNotifier;
class QTimer;
class IsbDriveMonitor;
class QTreeWidget;
class QTreeWidgetItem;
class TsbDeviceFinder;
class TsbDeviceItem;

class TfrmSelectDevice : public TsbDockForm {
    Q_OBJECT

public:
    explicit TfrmSelectDevice(QWidget* parent = nullptr);
    ~TfrmSelectDevice() override;

    QLabel* Label1 = nullptr;
    QTreeWidget* lvDevices = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* btnRefresh = nullptr;
    // Under the list: why the drives that cannot be chosen are closed, and
    // what to do (hidden when every drive is free).
    QLabel* lblUnavailable = nullptr;
    // "Burn on every recorder with a suitable disc": off unless the user
    // ticks it; the one-drive burn is the wizard's own.
    QCheckBox* chbAllDrives = nullptr;

    bool ShowScanProgress = true;
    // When false only recorders (devices that write CD-R) are listed.
    bool ListAllDevices = true;
    std::string ScanInfoText;
    // The row whose state changed last.
    QTreeWidgetItem* CurrentItem = nullptr;

    TsbDeviceFinder& Finder() { return *m_finder; }

    // Drives plugged in or pulled out (udev, sbDriveMonitor): the library
    // knows its drives from its start, so the main window starts it again
    // here, before the search that follows. Called only while no device of
    // the page's is open.
    std::function<void()> OnDrivesAddedOrRemoved;
    // Between two questions to a drive without a disc (see DiscPollTick).
    int DiscPollInterval = 1500;

    void BeginWork() override;
    void EndWork() override;
    void RefreshPage() override;
    // Runs a search and refills the list (see the .cpp).
    void SetPageData(TsbBurner* data) override;
    // The "Destination device: <product>" line of the selected device.
    TsbLog* GetPageLog() override;

    // Each returns the form for "nothing selected" unless a device is selected.
    virtual TsbDiscInformation GetSelectedDiscInfo(TsbDiscInformation info = {}) const;
    virtual TsbTOCInformation GetSelectedTOCInfo(TsbTOCInformation info = {}) const;
    virtual TsbTrackInformation GetSelectedTrackInfo(TsbTrackInformation info = {}) const;
    virtual uint8_t GetSelectedDiscType() const;
    virtual TsbDiscSpace GetSelectedDiscSpace() const;
    virtual TsbReadModes GetSelectedReadModes() const;
    virtual TsbWriteModes GetSelectedWriteModes(TsbWriteModes modes = {}) const;
    virtual TsbDeviceInfo GetSelectedDeviceInfo(TsbDeviceInfo info = {}) const;
    virtual TsbDVDRPC GetSelectedDVDRPC() const;
    TsbDeviceAddress GetSelectedAddress() const;
    // The device's name, else "\\.\" and its drive letter; Path unchanged
    // when nothing is selected.
    std::string GetSelectedDevicePath(std::string path = {}) const;

    // The selected device's item, or nullptr. A drive the user may not open
    // now is never the selected device.
    TsbDeviceItem* SelectedDevice() const;
    // When the list holds drives and none may be opened now: the library's
    // text of the first, which Next shows. Empty otherwise.
    std::string RefusalText() const;
    // Whether "every recorder" is ticked.
    bool AllDrivesChosen() const;
    // The listed drives that take an image of ImageBytes (0: not known yet)
    // in a burn on every drive, by tavrin-burn --all's rule
    // (DriveFitForImage) and the recorder checks of Next, in list order.
    std::vector<TsbDeviceItem*> SuitableDevices(int64_t ImageBytes = 0) const;
    QTreeWidgetItem* FindItemByAddress(const TsbDeviceAddress& address) const;
    QTreeWidgetItem* FindItemByDevicePath(const std::string& path) const;
    // Opens the device briefly and measures the disc; zeros where that fails.
    static TsbDiscSpace QueryDiscSpace(TsbDeviceItem& item);

    void btnRefreshClick();
    // What the udev monitor's announcements do once they have settled: a
    // drive added or removed starts the library again and searches; a disc
    // put in or taken out searches. Put off while the page is not shown or
    // is at work.
    void DrivesChanged(bool addedOrRemoved);
    // Every DiscPollInterval while a listed drive has no disc: asks those
    // drives through the library whether one was put in (PollDisc) and
    // searches when one was. Its row says "Insert a blank disc into <drive>".
    void DiscPollTick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void lvDevicesChange(QTreeWidgetItem* item);
    void SelectRow(QTreeWidgetItem* row);
    static TsbDeviceItem* DeviceOf(const QTreeWidgetItem* row);
    // The row of one found device (none for one the page does not list);
    // what the note under the list says of it goes to Notes.
    void AddRow(TsbDeviceItem* device, QStringList& notes);
    void StartDriveMonitor();
    void MonitorReadable();

    std::unique_ptr<IsbDriveMonitor> m_monitor;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_settle = nullptr;
    QTimer* m_discPoll = nullptr;
    bool m_monitorTried = false;
    bool m_pendingAddedOrRemoved = false;
    bool m_pendingChange = false;
    // The drives listed without a disc, asked on the poll timer.
    std::vector<std::string> m_waitingFor;

    TsbLog m_pageLog;
    std::unique_ptr<TsbDeviceFinder> m_finder;
    // Set while the page itself fills the list: the list's own notifications
    // of that time are not the user's.
    bool m_filling = false;
    // Whether any row has had a state change since the page was created.
    bool m_rowChanged = false;
};
