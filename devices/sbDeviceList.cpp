#include "devices/sbDeviceList.h"

#include "base/sbCallBack.h"
#include "base/sbConst.h"
#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbUtils.h"
#include "platform/sbDrives.h"
#include "platform/sbSystem.h"
#include "starburn/StarBurn.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/printf.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>

namespace {

constexpr auto waitStep = std::chrono::milliseconds(80);
constexpr uint32_t textSize = 1024;
constexpr int lastDeviceNumber = 20;

// A failed opening the user can do something about: another program holds
// the drive, or the user may not open it. Anything else leaves no state.
std::optional<TsbDeviceAccess> AccessOfFailedOpening(uint8_t exception, uint32_t status) {
    if (exception == SB_EXCEPTION_DEVICE_BUSY) {
        return daBusy;
    }
    if (exception == SB_EXCEPTION_NOT_READY && (status == EACCES || status == EPERM)) {
        return daForbidden;
    }
    return std::nullopt;
}

// The library's text of a refusal, or, when it gave none, what the state says.
std::string RefusalText(TsbDeviceAccess access, const char* text, uint32_t size) {
    std::string given = BufferToStr(text, size);
    if (!given.empty()) {
        return given;
    }
    switch (access) {
    case daMounted:
        return "The disc in the drive is mounted; unmount it and try again";
    case daForbidden:
        return "You may not open the drive (permission denied)";
    default:
        return "The drive is in use by another program; close it there and try again";
    }
}

// One probe: the device it opened and the buffers its calls fill on failure.
struct TsbProbe {
    TsbDeviceList& list;
    void* grabber = nullptr;
    char exceptionText[textSize]{};
    uint32_t status = 31;
    uint8_t failureInfo[SB_FAILURE_INFO_SIZE]{};
    TsbDeviceItem* item = nullptr;

    explicit TsbProbe(TsbDeviceList& List) : list(List) {}
    TsbProbe(const TsbProbe&) = delete;
    TsbProbe& operator=(const TsbProbe&) = delete;

    // Closing: the device never stays open, whatever happened on the way.
    ~TsbProbe() {
        if (grabber == nullptr) {
            return;
        }
        // A log that cannot be written must not keep the device open (nor
        // leave a destructor with an error).
        try {
            Logger().Log("StarBurn_Destroy: Grabber");
        } catch (const std::exception&) {
        }
        StarBurn_Destroy(&grabber);
        grabber = nullptr;
        if (list.CancelRequested() && list.Count() > 0) {
            list.Delete(list.Count() - 1);
        }
    }

    TsbDeviceItem& Item() {
        if (item == nullptr) {
            item = list.Add();
        }
        return *item;
    }

    void run(const TsbDeviceAddress* Address, const char* Name);
    // Records a failed opening the user can remedy; false for any other.
    bool noteRefusal(uint8_t result);
    // The item's state and the library's text (in exceptionText) of why the
    // drive may not be used now; nothing of its disc.
    void markRefused(TsbDeviceAccess access);
    // False, with the item's state and text, when the opened drive may not
    // be used now.
    bool readAccess();
    void readDeviceFacts(const TsbDeviceAddress* Address, const char* Name);
    void readDiscFacts();
};

void TsbProbe::run(const TsbDeviceAddress* Address, const char* Name) {
    if (list.CancelRequested()) {
        return;
    }
    if (list.TransportType == ttAspi) {
        TsbDeviceAddress address{};
        if (Address != nullptr) {
            address = *Address;
        }
        if (address.Present != 0) {
            Item().Address = address;
        }
        Logger().Log("StarBurn_CdvdBurnerGrabber_Create (before create)");
        const uint8_t result = StarBurn_CdvdBurnerGrabber_Create(
            &grabber, exceptionText, textSize, &status, failureInfo, nullptr, nullptr,
            address.PortID, address.BusID, address.TargetID, address.LUN, 1);
        if (result != 0) {
            grabber = nullptr;
            Logger().Log(LibraryFailureText("StarBurn_CdvdBurnerGrabber_Create", result, status,
                                            exceptionText));
            noteRefusal(result);
        } else {
            Logger().Log(fmt::sprintf("StarBurn_CdvdBurnerGrabber_Create (after create): "
                                      "PortID:%d,BusID:%d,TargetID:%d,LUN:%d",
                                      address.PortID, address.BusID, address.TargetID,
                                      address.LUN));
            Item().TransportType = ttAspi;
        }
        if (grabber != nullptr) {
            readDeviceFacts(&address, nullptr);
        }
        return;
    }

    const std::string name = Name != nullptr ? Name : "";
    const uint8_t result = StarBurn_CdvdBurnerGrabber_CreateEx(
        &grabber, exceptionText, textSize, &status, failureInfo, nullptr, nullptr, name.c_str(), 1);
    if (result != 0) {
        grabber = nullptr;
        Logger().Log(LibraryFailureText("StarBurn_CdvdBurnerGrabber_CreateEx", result, status,
                                        exceptionText));
        if (noteRefusal(result)) {
            item->DeviceName = name;
            item->TransportType = ttSpti;
            item->DriveLetter = GetDriveLetterByDeviceAddress(std::nullopt, name);
        }
        return;
    }
    TsbDeviceItem& item = Item();
    item.DeviceName = name;
    item.TransportType = ttSpti;
    if (grabber != nullptr) {
        readDeviceFacts(nullptr, name.c_str());
    }
}

bool TsbProbe::noteRefusal(uint8_t result) {
    const auto access = AccessOfFailedOpening(result, status);
    if (!access) {
        return false;
    }
    markRefused(*access);
    return true;
}

void TsbProbe::markRefused(TsbDeviceAccess access) {
    TsbDeviceItem& refused = Item();
    refused.Access = access;
    refused.AccessText = RefusalText(access, exceptionText, textSize);
    refused.DiscType = DISC_TYPE_UNKNOWN;
}

bool TsbProbe::readAccess() {
    uint8_t state = SB_DEVICE_ACCESS_FREE;
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetAccess");
    const uint8_t result = StarBurn_CdvdBurnerGrabber_GetAccess(grabber, exceptionText, textSize,
                                                                &status, failureInfo, &state);
    if (result == SB_EXCEPTION_NONE || state == SB_DEVICE_ACCESS_FREE ||
        state > SB_DEVICE_ACCESS_FORBIDDEN) {
        return true;
    }
    Logger().Log(
        LibraryFailureText("StarBurn_CdvdBurnerGrabber_GetAccess", result, status, exceptionText));
    markRefused(static_cast<TsbDeviceAccess>(state));
    return false;
}

void TsbProbe::readDeviceFacts(const TsbDeviceAddress* Address, const char* Name) {
    char vendor[textSize]{};
    char product[textSize]{};
    char revision[textSize]{};
    uint32_t bufferSize = 0;
    std::optional<TsbDeviceAddress> address;
    if (Address != nullptr) {
        address = *Address;
    }
    const std::string driveLetter =
        GetDriveLetterByDeviceAddress(address, Name != nullptr ? Name : "");

    Logger().Log("StarBurn_CdvdBurnerGrabber_GetDeviceInformation");
    StarBurn_CdvdBurnerGrabber_GetDeviceInformation(grabber, vendor, product, revision,
                                                    &bufferSize);
    TsbDeviceItem& item = Item();
    item.Vendor = BufferToStr(vendor, textSize);
    item.Product = BufferToStr(product, textSize);
    item.ProductRevisionLevel = BufferToStr(revision, textSize);
    item.BufferSize = bufferSize;
    item.DriveLetter = driveLetter;

    uint8_t out[10]{};
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats");
    StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(grabber, &out[0], &out[1], &out[2], &out[3],
                                                        &out[4], &out[5], &out[6], &out[7], &out[8],
                                                        &out[9]);
    // Output 6 (test write) goes to the end of the ten.
    static constexpr int order[10] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 5};
    uint8_t formats[16]{};
    for (int k = 0; k < 10; ++k) {
        formats[k] = out[order[k]] != 0;
    }
    const bool testWrite = out[5] != 0;

    uint8_t ex[6]{};
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx");
    StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx(grabber, &ex[0], &ex[1], &ex[2], &ex[3],
                                                            &ex[4], &ex[5]);
    for (int k = 0; k < 6; ++k) {
        formats[10 + k] = ex[k] != 0;
    }
    static_assert(sizeof formats == sizeof item.MediaFormats);
    std::memcpy(&item.MediaFormats, formats, sizeof formats);

    // A drive in use elsewhere or closed to the user keeps its name and what
    // it is; what it tells of its disc now is nothing to choose it by.
    if (!readAccess()) {
        return;
    }

    uint8_t write[4]{};
    Logger().Log("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes");
    if (StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(grabber, exceptionText, textSize,
                                                            &status, failureInfo, &write[0],
                                                            &write[1], &write[2], &write[3]) == 0) {
        item.WriteModes = TsbWriteModes{write[0], write[1], write[2], write[3],
                                        static_cast<uint8_t>(testWrite ? 1 : 0)};
    }

    uint8_t read[6]{};
    Logger().Log("StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes");
    if (StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes(
            grabber, exceptionText, textSize, &status, failureInfo, &read[0], &read[1], &read[2],
            &read[3], &read[4], &read[5]) == 0) {
        item.ReadModes = TsbReadModes{read[0], read[1], read[2], read[3], read[4], read[5]};
    }

    readDiscFacts();

    if (item.MediaFormats.ReadsDVDROM != 0) {
        uint8_t rpc[5][260]{};
        Logger().Log("StarBurn_CdvdBurnerGrabber_GetRPC");
        const uint8_t result =
            StarBurn_CdvdBurnerGrabber_GetRPC(grabber, exceptionText, textSize, &status,
                                              failureInfo, rpc[0], rpc[1], rpc[2], rpc[3], rpc[4]);
        if (result != 0) {
            // Unknown, not a region of zeros.
            Logger().Log(LibraryFailureText("StarBurn_CdvdBurnerGrabber_GetRPC", result, status,
                                            exceptionText));
            return;
        }
        item.DVDRPC.Valid = true;
        item.DVDRPC.RPCType = std::to_string(rpc[0][0]);
        item.DVDRPC.RegionMask = std::to_string(rpc[1][0]);
        item.DVDRPC.UserChangesLeft = std::to_string(rpc[2][0]);
        item.DVDRPC.VendorResetsLeft = std::to_string(rpc[3][0]);
        item.DVDRPC.RegionScheme = std::to_string(rpc[4][0]);
    }
}

// What the drive-letter lookup asks the operating system on Windows, the
// library answers here: every device name that has a letter is defined in the
// platform's table of letters before a search, so the probe finds the letter
// of a device it opened by name.
void DefineDriveLettersFromLibrary() {
    platform::ClearDosDevices();
    for (int n = 0; n <= 20; ++n) {
        const std::string name = "CdRom" + std::to_string(n);
        char drive[8] = {};
        if (StarBurn_GetDriveLetterByDeviceName(name.c_str(), drive, sizeof drive) == 0 &&
            drive[0] != '\0') {
            platform::DefineDosDevice(drive[0], "\\Device\\" + name);
        }
    }
}

// The label of the disc in a drive, as the volume information of its root
// gives it; by device name when the drive has no letter. Never longer than
// 256 characters.
std::string DiscVolumeLabel(const std::string& driveLetter, const std::string& deviceName) {
    const std::string device = !driveLetter.empty() ? "\\\\.\\" + driveLetter : deviceName;
    if (device.empty()) {
        return {};
    }
    char label[257] = {};
    if (StarBurn_GetVolumeLabel(device.c_str(), label, sizeof label) != 0) {
        return {};
    }
    return label;
}

void TsbProbe::readDiscFacts() {
    TsbDeviceItem& item = Item();
    Logger().Log("StarBurn_CdvdBurnerGrabber_TestUnitReady");
    const uint8_t ready = StarBurn_CdvdBurnerGrabber_TestUnitReady(grabber, exceptionText, textSize,
                                                                   &status, failureInfo);
    item.DiscType = DISC_TYPE_NO_MEDIA;
    if (ready != 0 || list.CancelRequested()) {
        return;
    }
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetInsertedDiscType");
    item.DiscType = StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(grabber);
    item.DiscLabel = DiscVolumeLabel(item.DriveLetter, item.DeviceName);

    TsbDiscInformation disc{};
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetDiscInformation");
    if (StarBurn_CdvdBurnerGrabber_GetDiscInformation(grabber, exceptionText, textSize, &status,
                                                      failureInfo, disc.Bytes) != 0) {
        return;
    }
    item.DiscInformation = disc;

    TsbTrackInformation track{};
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetTrackInformation");
    StarBurn_CdvdBurnerGrabber_GetTrackInformation(grabber, exceptionText, textSize, &status,
                                                   failureInfo, SB_TRACK_NUMBER_INVISIBLE,
                                                   track.Bytes);
    item.TrackInformation = track;

    StarBurn_SetFastReadTOC(1);
    // The table of contents is large (13838 bytes): read it straight into the item.
    item.TOCInformation = TsbTOCInformation{};
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetTOCInformation");
    StarBurn_CdvdBurnerGrabber_GetTOCInformation(grabber, exceptionText, textSize, &status,
                                                 failureInfo, item.TOCInformation.Bytes);
}

} // namespace

// ---------------------------------------------------------------------------
// The probe

void ProbeFoundDevice(void* Context, void* Special1, void* Special2) {
    if (Context == nullptr) {
        return;
    }
    TsbProbe probe(*static_cast<TsbDeviceList*>(Context));
    std::optional<TsbDeviceAddress> address;
    if (Special1 != nullptr) {
        address = TsbDeviceAddress::FromLibrary(*static_cast<const SB_DEVICE_ADDRESS*>(Special1));
    }
    probe.run(address ? &*address : nullptr, static_cast<const char*>(Special2));
}

void RegisterDeviceProbe() {
    static std::once_flag once;
    std::call_once(once, [] { SetDeviceFoundHandler(ProbeFoundDevice); });
}

// ---------------------------------------------------------------------------
// TsbDeviceList

TsbDeviceItem* TsbDeviceList::Add() {
    items_.push_back(std::make_unique<TsbDeviceItem>());
    return items_.back().get();
}

void TsbDeviceList::Delete(int Index) {
    items_.erase(items_.begin() + Index);
}

// ---------------------------------------------------------------------------
// TsbDeviceFinderThread

TsbDeviceFinderThread::TsbDeviceFinderThread(TsbDeviceList* Devices)
    : devices_(Devices), transportType_(Devices->TransportType) {}

void TsbDeviceFinderThread::Execute() {
    // Nothing may leave a thread: an error ends this search with the devices found so far.
    try {
        if (transportType_ == ttSpti) {
            for (int n = 0; n <= lastDeviceNumber; ++n) {
                const std::string name = "CdRom" + std::to_string(n);
                void* grabber = nullptr;
                char text[textSize]{};
                uint32_t status = 0;
                uint8_t failureInfo[SB_FAILURE_INFO_SIZE]{};
                const uint8_t result = StarBurn_CdvdBurnerGrabber_CreateEx(
                    &grabber, text, textSize, &status, failureInfo, nullptr, nullptr, name.c_str(),
                    1);
                // A drive that is there but may not be opened now is still
                // reported: the probe lists it with the reason.
                if (result != SB_EXCEPTION_NONE && !AccessOfFailedOpening(result, status)) {
                    continue;
                }
                if (grabber != nullptr) {
                    StarBurn_Destroy(&grabber);
                }
                LibraryCallback(SB_REASON_DEVICE_FOUND, devices_, nullptr,
                                const_cast<char*>(name.c_str()));
            }
        } else if (transportType_ == ttAspi) {
            Logger().Log("StarBurn_FindDevice");
            StarBurn_FindDevice(5, 0, LibraryCallback, devices_);
        }
    } catch (const std::exception& error) {
        // Most likely the diagnostic log itself could not be written.
        platform::OutputDebugString(std::string("Device search failed: ") + error.what());
    }
}

// ---------------------------------------------------------------------------
// TsbDeviceFinder

TsbDeviceFinder::TsbDeviceFinder() {
    RegisterDeviceProbe();
}

TsbDeviceFinder::~TsbDeviceFinder() {
    WaitForSearch();
}

void TsbDeviceFinder::Search(bool ShowProgress) {
    // The window is this search's own: a search started from the messages
    // processed while this one waits gets a window of its own, and each goes
    // with the search that made it, whatever happens below.
    std::unique_ptr<IsbProgressWindow> window;
    if (ShowProgress) {
        window = CreateProgressWindow();
    }
    struct WindowGuard {
        IsbProgressWindow*& current;
        IsbProgressWindow* previous;
        ~WindowGuard() { current = previous; }
    } guard{progressWindow_, progressWindow_};
    progressWindow_ = window.get();

    if (window) {
        Devices.Cancelled = false;
        window->SetCaption(LoadResString(rsScanningDevices));
        window->SetCancelVisible(true);
        window->SetInfoText(InfoText);
        window->Show();
        window->SetOnCancel([this] { CancelSearch(); });
        ProcessMessages();
    }
    // A search still running is waited for before its list is touched: the
    // search thread appends to it without a lock.
    WaitForSearch();
    Devices.Clear();
    Devices.TransportType = TransportType;
    DefineDriveLettersFromLibrary();

    searchThread_ = std::make_unique<TsbDeviceFinderThread>(&Devices);
    searchThread_->OnTerminate = [this](TsbThread* Sender) { SearchThreadDone(Sender); };
    searchThread_->Start();
    WaitForSearch();

    if (window) {
        window->Hide();
    }
}

void TsbDeviceFinder::CancelSearch() {
    Devices.Cancelled = true;
}

void TsbDeviceFinder::WaitForSearch() {
    while (searchThread_) {
        if (searchThread_->WaitFor(waitStep)) {
            searchThread_.reset();
            break;
        }
        ProcessMessages();
    }
}

void TsbDeviceFinder::SearchThreadDone(TsbThread* /*Sender*/) {
    // Runs on the search thread, which must not free itself: WaitForSearch
    // lets go of the thread object on the waiting thread once it has ended.
}

TsbDiscSpace QueryDiscSpace(TsbDeviceItem& item) {
    TsbDiscSpace space;
    void* grabber = nullptr;
    uint32_t status = 31;
    char text[1024] = {};
    uint8_t failureInfo[kFailureInfoSize] = {};
    uint8_t result = 0;
    if (item.TransportType == ttSpti) {
        result =
            StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, sizeof text, &status, failureInfo,
                                                nullptr, nullptr, item.DeviceName.c_str(), 1);
        if (result != 0) {
            Logger().Log(LibraryFailureText("StarBurn_CdvdBurnerGrabber_CreateEx", result, status,
                                            text, sizeof text));
        }
    } else {
        result = StarBurn_CdvdBurnerGrabber_Create(
            &grabber, text, sizeof text, &status, failureInfo, nullptr, nullptr,
            item.Address.PortID, item.Address.BusID, item.Address.TargetID, item.Address.LUN, 1);
        if (result != 0) {
            Logger().Log(LibraryFailureText("StarBurn_CdvdBurnerGrabber_Create", result, status,
                                            text, sizeof text));
        }
    }

    if (result != 0) {
        grabber = nullptr;
        const auto access = AccessOfFailedOpening(result, status);
        item.Access = access ? *access : daUnavailable;
        item.AccessText = access ? RefusalText(*access, text, sizeof text)
                                 : "The drive could not be opened to measure its disc (" +
                                       BufferToStr(text, sizeof text) + ")";
        return space;
    }

    uint32_t freeBlocks = 0;
    uint64_t freeBytes = 0;
    result = StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(grabber, 3, &freeBlocks, &freeBytes);
    if (result != 0) {
        Logger().Log(fmt::sprintf(
            "StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace() failed, exception %d\"", result));
        freeBlocks = 0;
        freeBytes = 0;
    }
    uint64_t usedBytes = 0;
    result = StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(grabber, text, sizeof text, &status,
                                                         failureInfo, &usedBytes);
    if (result != 0) {
        Logger().Log(LibraryFailureText("StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace", result,
                                        status, text, sizeof text));
        usedBytes = 0;
    }
    space.FreeBytes = static_cast<int64_t>(freeBytes);
    space.UsedBytes = static_cast<int64_t>(usedBytes);
    space.TotalBytes = space.FreeBytes + space.UsedBytes;
    space.FreeSpaceAux = freeBlocks;
    StarBurn_Destroy(&grabber);
    return space;
}

bool TsbDeviceItem::MediaFormatsKnown() const {
    static const TsbMediaFormats none{};
    return std::memcmp(&MediaFormats, &none, sizeof none) != 0;
}

const char* DeviceAccessName(TsbDeviceAccess access) {
    switch (access) {
    case daBusy:
        return "busy";
    case daMounted:
        return "mounted";
    case daForbidden:
        return "forbidden";
    case daUnavailable:
        return "unavailable";
    default:
        return "available";
    }
}

void CheckRecorderForBurn(const TsbDeviceItem& device, const TsbDiscSpace& space) {
    if (!device.Usable()) {
        throw EsbError(device.AccessText);
    }
    if (space.FreeBytes != space.TotalBytes) {
        throw EsbError(LoadResString(rsDiscNotBlank));
    }
    if (device.DiscType == DISC_TYPE_NO_MEDIA) {
        throw EsbError(LoadResString(rsNoMediaInDrive));
    }
    if (!IsWritableDiscType(device.DiscType) ||
        !device.TrackInformation.NextWritableAddressValid()) {
        throw EsbError(LoadResString(rsNoWritableDisc));
    }
    if (!device.DiscInformation.Valid()) {
        throw EsbError(LoadResString(rsNoWritableDisc));
    }
}
