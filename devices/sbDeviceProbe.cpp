// SPDX-License-Identifier: GPL-2.0-or-later
// The probe: what the library callback does for a found device, on the
// search thread. It opens the device, asks everything the wizard needs of
// the device and its disc, keeps the answers in a new item of the search's
// list, and closes the device again.
#include "base/sbCallBack.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbStrUtils.h"
#include "base/sbUtils.h"
#include "devices/sbDeviceList.h"
#include "starburn/StarBurn.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/printf.h>

#include <cstring>
#include <mutex>
#include <optional>

namespace {

constexpr uint32_t textSize = 1024;

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
            LibraryCall("StarBurn_Destroy: Grabber", [this] { StarBurn_Destroy(&grabber); });
        } catch (const std::exception&) {
            QuietLibraryCall([this] { StarBurn_Destroy(&grabber); });
        }
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
    // How a failed call of Function reads, from the probe's buffers.
    TsbCallFailure Failure(std::string_view Function) const {
        return FailureOf(Function, exceptionText, textSize, &status);
    }

    void run(const TsbDeviceAddress* Address, const char* Name);
    void openByAddress(const TsbDeviceAddress* Address);
    void openByName(const char* Name);
    // Records a failed opening the user can remedy; false for any other.
    bool noteRefusal(uint8_t result);
    // The item's state and the library's text (in exceptionText) of why the
    // drive may not be used now; nothing of its disc.
    void markRefused(TsbDeviceAccess access);
    // False, with the item's state and text, when the opened drive may not
    // be used now.
    bool readAccess();
    void readDeviceFacts(const TsbDeviceAddress* Address, const char* Name);
    void readMediaFormats();
    void readModes();
    void readDiscFacts();
    void readRegion();
};

void TsbProbe::run(const TsbDeviceAddress* Address, const char* Name) {
    if (list.CancelRequested()) {
        return;
    }
    if (list.TransportType == ttAspi) {
        openByAddress(Address);
    } else {
        openByName(Name);
    }
}

void TsbProbe::openByAddress(const TsbDeviceAddress* Address) {
    TsbDeviceAddress address{};
    if (Address != nullptr) {
        address = *Address;
    }
    if (address.Present != 0) {
        Item().Address = address;
    }
    const TsbCallResult opened = LibraryCall(
        "StarBurn_CdvdBurnerGrabber_Create (before create)",
        Failure("StarBurn_CdvdBurnerGrabber_Create"), [&] {
            return StarBurn_CdvdBurnerGrabber_Create(
                &grabber, exceptionText, textSize, &status, failureInfo, nullptr, nullptr,
                address.PortID, address.BusID, address.TargetID, address.LUN, 1);
        });
    if (opened.Failed()) {
        grabber = nullptr;
        noteRefusal(opened.Exception);
        return;
    }
    Logger().Log(fmt::sprintf("StarBurn_CdvdBurnerGrabber_Create (after create): "
                              "PortID:%d,BusID:%d,TargetID:%d,LUN:%d",
                              address.PortID, address.BusID, address.TargetID, address.LUN));
    Item().TransportType = ttAspi;
    if (grabber != nullptr) {
        readDeviceFacts(&address, nullptr);
    }
}

void TsbProbe::openByName(const char* Name) {
    const std::string name = Name != nullptr ? Name : "";
    const TsbCallResult opened = LibraryCall(
        "StarBurn_CdvdBurnerGrabber_CreateEx", Failure("StarBurn_CdvdBurnerGrabber_CreateEx"), [&] {
            return StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, exceptionText, textSize, &status,
                                                       failureInfo, nullptr, nullptr, name.c_str(),
                                                       1);
        });
    if (opened.Failed()) {
        grabber = nullptr;
        if (noteRefusal(opened.Exception)) {
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
    // The answer is the state: a drive in use or closed also fails the call.
    const TsbCallResult result =
        LibraryCall("StarBurn_CdvdBurnerGrabber_GetAccess",
                    Failure("StarBurn_CdvdBurnerGrabber_GetAccess"), [&] {
                        return StarBurn_CdvdBurnerGrabber_GetAccess(
                            grabber, exceptionText, textSize, &status, failureInfo, &state);
                    });
    if (!result.Failed() || state == SB_DEVICE_ACCESS_FREE || state > SB_DEVICE_ACCESS_FORBIDDEN) {
        return true;
    }
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

    // A short query: no failure buffers, its answer is what it filled in.
    LibraryCall("StarBurn_CdvdBurnerGrabber_GetDeviceInformation", [&] {
        return StarBurn_CdvdBurnerGrabber_GetDeviceInformation(grabber, vendor, product, revision,
                                                               &bufferSize);
    });
    TsbDeviceItem& item = Item();
    item.Vendor = BufferToStr(vendor, textSize);
    item.Product = BufferToStr(product, textSize);
    item.ProductRevisionLevel = BufferToStr(revision, textSize);
    item.BufferSize = bufferSize;
    item.DriveLetter = driveLetter;
    readMediaFormats();

    // A drive in use elsewhere or closed to the user keeps its name and what
    // it is; what it tells of its disc now is nothing to choose it by.
    if (!readAccess()) {
        return;
    }
    readModes();
    readDiscFacts();
    readRegion();
}

void TsbProbe::readMediaFormats() {
    TsbDeviceItem& item = Item();
    uint8_t out[10]{};
    LibraryCall("StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats", [&] {
        return StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(
            grabber, &out[0], &out[1], &out[2], &out[3], &out[4], &out[5], &out[6], &out[7],
            &out[8], &out[9]);
    });
    // Output 6 (test write) goes to the end of the ten.
    static constexpr int order[10] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 5};
    uint8_t formats[16]{};
    for (int k = 0; k < 10; ++k) {
        formats[k] = out[order[k]] != 0;
    }
    uint8_t ex[6]{};
    LibraryCall("StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx", [&] {
        return StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx(
            grabber, &ex[0], &ex[1], &ex[2], &ex[3], &ex[4], &ex[5]);
    });
    for (int k = 0; k < 6; ++k) {
        formats[10 + k] = ex[k] != 0;
    }
    static_assert(sizeof formats == sizeof item.MediaFormats);
    std::memcpy(&item.MediaFormats, formats, sizeof formats);
}

void TsbProbe::readModes() {
    TsbDeviceItem& item = Item();
    uint8_t write[4]{};
    // A failed probe leaves the modes of a new item: every one, no test write.
    if (!LibraryCall("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes",
                     Failure("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes"),
                     [&] {
                         return StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
                             grabber, exceptionText, textSize, &status, failureInfo, &write[0],
                             &write[1], &write[2], &write[3]);
                     })
             .Failed()) {
        item.WriteModes = TsbWriteModes{write[0], write[1], write[2], write[3],
                                        static_cast<uint8_t>(item.MediaFormats.TestWrite)};
    }
    uint8_t read[6]{};
    if (!LibraryCall("StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes",
                     Failure("StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes"),
                     [&] {
                         return StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes(
                             grabber, exceptionText, textSize, &status, failureInfo, &read[0],
                             &read[1], &read[2], &read[3], &read[4], &read[5]);
                     })
             .Failed()) {
        item.ReadModes = TsbReadModes{read[0], read[1], read[2], read[3], read[4], read[5]};
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
    if (LibraryCall("StarBurn_GetVolumeLabel", [&] {
            return StarBurn_GetVolumeLabel(device.c_str(), label, sizeof label);
        }) != 0) {
        return {};
    }
    return label;
}

namespace {

// The media id and manufacturer of the disc in a drive, by its device name.
void DiscMediaId(TsbDeviceItem& item) {
    char id[128] = {};
    char maker[128] = {};
    if (!item.DeviceName.empty() && LibraryCall("StarBurn_GetMediaId", [&] {
                                        return StarBurn_GetMediaId(item.DeviceName.c_str(), id,
                                                                   sizeof id, maker, sizeof maker);
                                    }) == 0) {
        item.MediaId = id;
        item.MediaMaker = maker;
    }
}

} // namespace

void TsbProbe::readDiscFacts() {
    TsbDeviceItem& item = Item();
    const TsbCallResult ready =
        LibraryCall("StarBurn_CdvdBurnerGrabber_TestUnitReady",
                    Failure("StarBurn_CdvdBurnerGrabber_TestUnitReady"), [&] {
                        return StarBurn_CdvdBurnerGrabber_TestUnitReady(
                            grabber, exceptionText, textSize, &status, failureInfo);
                    });
    item.DiscType = DISC_TYPE_NO_MEDIA;
    if (ready.Failed() && ready.Exception == SB_EXCEPTION_NOT_READY && failureInfo[0] != 0 &&
        failureInfo[1] == 0x2 && failureInfo[2] == 0x04) {
        // Still not ready after the library's wait (2/04/xx): not an empty
        // drive to put a disc in, but one that cannot be used now, and why.
        item.Access = daUnavailable;
        item.AccessText = BufferToStr(exceptionText, textSize);
        item.DiscType = DISC_TYPE_UNKNOWN;
        return;
    }
    if (ready.Failed() || list.CancelRequested()) {
        return;
    }
    item.DiscType = LibraryCall("StarBurn_CdvdBurnerGrabber_GetInsertedDiscType", [&] {
        return StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(grabber);
    });
    item.DiscLabel = DiscVolumeLabel(item.DriveLetter, item.DeviceName);
    DiscMediaId(item);

    TsbDiscInformation disc{};
    if (LibraryCall("StarBurn_CdvdBurnerGrabber_GetDiscInformation",
                    Failure("StarBurn_CdvdBurnerGrabber_GetDiscInformation"),
                    [&] {
                        return StarBurn_CdvdBurnerGrabber_GetDiscInformation(
                            grabber, exceptionText, textSize, &status, failureInfo, disc.Bytes);
                    })
            .Failed()) {
        return;
    }
    item.DiscInformation = disc;

    TsbTrackInformation track{};
    LibraryCall("StarBurn_CdvdBurnerGrabber_GetTrackInformation",
                Failure("StarBurn_CdvdBurnerGrabber_GetTrackInformation"), [&] {
                    return StarBurn_CdvdBurnerGrabber_GetTrackInformation(
                        grabber, exceptionText, textSize, &status, failureInfo,
                        SB_TRACK_NUMBER_INVISIBLE, track.Bytes);
                });
    item.TrackInformation = track;

    LibraryCall("StarBurn_SetFastReadTOC", [] { StarBurn_SetFastReadTOC(1); });
    // The table of contents is large (13838 bytes): read it straight into the item.
    item.TOCInformation = TsbTOCInformation{};
    LibraryCall("StarBurn_CdvdBurnerGrabber_GetTOCInformation",
                Failure("StarBurn_CdvdBurnerGrabber_GetTOCInformation"), [&] {
                    return StarBurn_CdvdBurnerGrabber_GetTOCInformation(
                        grabber, exceptionText, textSize, &status, failureInfo,
                        item.TOCInformation.Bytes);
                });
}

void TsbProbe::readRegion() {
    TsbDeviceItem& item = Item();
    if (item.MediaFormats.ReadsDVDROM == 0) {
        return;
    }
    uint8_t rpc[5][260]{};
    // Unknown after a failure, not a region of zeros.
    if (LibraryCall("StarBurn_CdvdBurnerGrabber_GetRPC",
                    Failure("StarBurn_CdvdBurnerGrabber_GetRPC"),
                    [&] {
                        return StarBurn_CdvdBurnerGrabber_GetRPC(grabber, exceptionText, textSize,
                                                                 &status, failureInfo, rpc[0],
                                                                 rpc[1], rpc[2], rpc[3], rpc[4]);
                    })
            .Failed()) {
        return;
    }
    item.DVDRPC.Valid = true;
    item.DVDRPC.RPCType = std::to_string(rpc[0][0]);
    item.DVDRPC.RegionMask = std::to_string(rpc[1][0]);
    item.DVDRPC.UserChangesLeft = std::to_string(rpc[2][0]);
    item.DVDRPC.VendorResetsLeft = std::to_string(rpc[3][0]);
    item.DVDRPC.RegionScheme = std::to_string(rpc[4][0]);
}

} // namespace

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
