// SPDX-License-Identifier: GPL-2.0-or-later
// Device discovery: the list of CD/DVD devices with what could be learned
// about each and about the disc in it.
//
// A TsbDeviceFinder owns a TsbDeviceList. Its Search clears the list, starts a
// TsbDeviceFinderThread that enumerates the devices of the chosen transport,
// and waits for it on the main thread in 80 ms steps, letting the front end
// process its messages in between. The library callback's device-found
// reason runs the probe (ProbeFoundDevice) on the search thread; the probe
// appends one item per device that opens. The main thread reads the list
// only after the search has ended; the one value both threads touch while it
// runs is the list's Cancelled flag.
#pragma once

#include "base/sbFrontEnd.h"
#include "base/sbTypes.h"
#include "engine/sbThread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TsbBurner;

// What keeps the user from opening a found drive now. A drive that is not
// free is listed, with the library's text of what to do, but cannot be
// chosen.
enum TsbDeviceAccess : uint8_t {
    daFree = 0,
    daBusy = 1,       // another program has it open
    daMounted = 2,    // a file system of its disc is mounted
    daForbidden = 3,  // the user may not open its device file
    daUnavailable = 4 // it could not be opened to measure its disc
};

// "busy", "mounted", "forbidden", "unavailable" ("available" for a free drive).
const char* DeviceAccessName(TsbDeviceAccess access);

// A failed opening the user can do something about: another program holds
// the drive, or the user may not open it. Anything else leaves no state.
std::optional<TsbDeviceAccess> AccessOfFailedOpening(uint8_t exception, uint32_t status);

// The library's text of a refusal (Text, Size: its exception-text buffer),
// or, when it gave none, what the state says.
std::string RefusalText(TsbDeviceAccess access, const char* text, uint32_t size);

class TsbDeviceItem {
public:
    std::string Vendor;
    std::string Product;
    std::string ProductRevisionLevel;
    std::string DiscLabel;
    // The disc's media id and its manufacturer, where the drive reports them.
    std::string MediaId;
    std::string MediaMaker;
    uint32_t BufferSize = 0;
    TsbDeviceAddress Address{};
    std::string DeviceName;
    TsbTransportType TransportType = ttSpti;
    TsbMediaFormats MediaFormats{};
    uint8_t DiscType = DISC_TYPE_UNKNOWN;
    std::string DriveLetter;
    TsbDiscInformation DiscInformation{};
    TsbTrackInformation TrackInformation{};
    TsbTOCInformation TOCInformation{};
    TsbDiscSpace DiscSpace{};
    TsbReadModes ReadModes{};
    TsbWriteModes WriteModes;
    TsbDVDRPC DVDRPC{};
    // Free, or why the drive may not be opened now and what to do about it
    // (the library's text). Such an item has its name (and its identity
    // where the drive opened for queries) and nothing of a disc.
    TsbDeviceAccess Access = daFree;
    std::string AccessText;
    bool Usable() const { return Access == daFree; }
    // False when the drive told nothing of what it reads and writes (it could
    // not be opened, or a real drive could not be examined).
    bool MediaFormatsKnown() const;
};

class TsbDeviceList {
public:
    TsbDeviceList() = default;
    virtual ~TsbDeviceList() = default;
    TsbDeviceList(const TsbDeviceList&) = delete;
    TsbDeviceList& operator=(const TsbDeviceList&) = delete;

    // The transport of the running search.
    TsbTransportType TransportType = ttSpti;
    // Set to ask the running search to stop; read by the search thread.
    std::atomic<bool> Cancelled{false};
    // What the probe asks, on the search thread, to learn whether to stop.
    virtual bool CancelRequested() const { return Cancelled; }

    TsbDeviceItem* Items(int Index) const {
        return items_.at(static_cast<std::size_t>(Index)).get();
    }
    // Appends an item and returns it; items keep their address until deleted.
    TsbDeviceItem* Add();
    int Count() const { return static_cast<int>(items_.size()); }
    void Delete(int Index);
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TsbDeviceItem>> items_;
};

// The thread that enumerates the devices of one transport.
class TsbDeviceFinderThread : public TsbThread {
public:
    explicit TsbDeviceFinderThread(TsbDeviceList* Devices);

protected:
    void Execute() override;

private:
    TsbDeviceList* devices_;
    TsbTransportType transportType_;
};

class TsbDeviceFinder {
public:
    TsbDeviceFinder();
    // Waits for a running search before the list goes.
    virtual ~TsbDeviceFinder();
    TsbDeviceFinder(const TsbDeviceFinder&) = delete;
    TsbDeviceFinder& operator=(const TsbDeviceFinder&) = delete;

    // The found devices, in the order they were found.
    TsbDeviceList Devices;
    // The transport of the next search, and the text its progress window shows.
    TsbTransportType TransportType = ttSpti;
    std::string InfoText;

    // Runs one complete search; returns when it is over.
    void Search(bool ShowProgress);
    // Asks the running search to stop (the progress window's Cancel).
    void CancelSearch();
    // Returns when no search thread is running.
    virtual void WaitForSearch();
    // The search thread's termination handler; runs on the search thread.
    virtual void SearchThreadDone(TsbThread* Sender);

    bool Searching() const { return searchThread_ != nullptr; }
    // The progress window while a search shows one.
    IsbProgressWindow* ProgressWindow() const { return progressWindow_; }

private:
    std::unique_ptr<TsbDeviceFinderThread> searchThread_;
    IsbProgressWindow* progressWindow_ = nullptr;
};

// The device-found reason of the library callback: opens the device named by
// Special2 (ttSpti) or addressed by Special1 (ttAspi), reads its facts and
// the disc's, and appends them to the TsbDeviceList given as Context. A
// device the user may not open now (busy, mounted, forbidden) is appended
// with that state and the library's text instead of its disc.
void ProbeFoundDevice(void* Context, void* Special1, void* Special2);

// Hands the library callback's device-found reason to ProbeFoundDevice.
// Done once, the first time a finder is created.
void RegisterDeviceProbe();

// The free and used space of the disc in a found device, as the recorder
// sheet shows it: the device is opened for the two questions and closed
// again. A question that fails is logged and counts as 0 bytes. A device
// that cannot be opened has no space to tell: the failure becomes its state
// (busy, forbidden or unavailable, with the library's text), so it is never
// shown as blank nor passes the recorder checks.
TsbDiscSpace QueryDiscSpace(TsbDeviceItem& item);

// Hands the chosen device's facts to the burner, as Next on the recorder
// sheet does (and tavrin-burn after its checks): what it is, where it is
// (its name, or its drive letter as \\.\X:, and its address), the disc and
// what the recorder writes, and the transport it was found by.
void CopyDeviceChoice(const TsbDeviceItem& device, TsbTransportType transport, TsbBurner& burner);

// The checks Next on the recorder sheet makes before the device is opened,
// in its order and with its texts: a drive the user may not open now (its
// advice), a disc that is not blank, no disc, a disc that cannot be written.
// Raises EsbError with the first that fails.
void CheckRecorderForBurn(const TsbDeviceItem& device, const TsbDiscSpace& space);

// Whether a found drive takes an image in a burn on every drive at once
// (tavrin-burn --all, the recorder sheet's "every recorder" box): one that
// is no recorder, is closed to the user or has no disc is no candidate; a
// candidate takes the image when its disc is blank (or, with Overwrite,
// rewritable) and has room for ImageBytes (0: the image is not known yet).
enum class TsbDriveFit : uint8_t { NoCandidate, NotBlank, TooSmall, Fits };
TsbDriveFit DriveFitForImage(const TsbDeviceItem& device, int64_t ImageBytes, bool Overwrite);
// A disc that can be written again after an erase.
bool IsRewritableDisc(uint8_t DiscType);
