// SPDX-License-Identifier: GPL-2.0-or-later
// What the recorder sheet and tavrin-burn ask of a found device before it
// is chosen: the space of its disc, and the checks Next makes.
#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "devices/sbDeviceList.h"
#include "engine/sbBurner.h"
#include "starburn/StarBurn.h"

TsbDiscSpace QueryDiscSpace(TsbDeviceItem& item) {
    TsbDiscSpace space;
    void* grabber = nullptr;
    uint32_t status = 31;
    char text[kExceptionTextSize] = {};
    uint8_t failureInfo[kFailureInfoSize] = {};
    const bool byName = item.TransportType == ttSpti;
    const char* const open =
        byName ? "StarBurn_CdvdBurnerGrabber_CreateEx" : "StarBurn_CdvdBurnerGrabber_Create";
    const TsbCallResult opened =
        LibraryCall(open, FailureOf(open, text, sizeof text, &status), [&] {
            return byName ? StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, sizeof text,
                                                                &status, failureInfo, nullptr,
                                                                nullptr, item.DeviceName.c_str(), 1)
                          : StarBurn_CdvdBurnerGrabber_Create(
                                &grabber, text, sizeof text, &status, failureInfo, nullptr, nullptr,
                                item.Address.PortID, item.Address.BusID, item.Address.TargetID,
                                item.Address.LUN, 1);
        });
    if (opened.Failed()) {
        const auto access = AccessOfFailedOpening(opened.Exception, status);
        item.Access = access ? *access : daUnavailable;
        item.AccessText =
            access ? RefusalText(*access, text, sizeof text)
                   : SbTranslate("Devices", "The drive could not be opened to measure its disc") +
                         " (" + BufferToStr(text, sizeof text) + ")";
        return space;
    }

    uint32_t freeBlocks = 0;
    uint64_t freeBytes = 0;
    // A short query: only the exception number, and a closing quote, in its failure.
    if (LibraryCall("StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace",
                    {"StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace() failed, exception %d\""},
                    [&] {
                        return StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(grabber, 3, &freeBlocks,
                                                                           &freeBytes);
                    })
            .Failed()) {
        freeBlocks = 0;
        freeBytes = 0;
    }
    uint64_t usedBytes = 0;
    if (LibraryCall(
            "StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace",
            FailureOf("StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace", text, sizeof text, &status),
            [&] {
                return StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(
                    grabber, text, sizeof text, &status, failureInfo, &usedBytes);
            })
            .Failed()) {
        usedBytes = 0;
    }
    space.FreeBytes = static_cast<int64_t>(freeBytes);
    space.UsedBytes = static_cast<int64_t>(usedBytes);
    space.TotalBytes = space.FreeBytes + space.UsedBytes;
    space.FreeSpaceAux = freeBlocks;
    LibraryCall("StarBurn_Destroy: Grabber", [&] { StarBurn_Destroy(&grabber); });
    return space;
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

void CopyDeviceChoice(const TsbDeviceItem& device, TsbTransportType transport, TsbBurner& burner) {
    burner.DeviceInfo.Vendor = device.Vendor;
    burner.DeviceInfo.Product = device.Product;
    burner.DeviceInfo.ProductRevisionLevel = device.ProductRevisionLevel;
    burner.DeviceInfo.BufferSize = static_cast<int64_t>(device.BufferSize);
    burner.DeviceInfo.MediaFormats = device.MediaFormats;
    burner.DeviceAddress = device.Address;
    burner.DiscSpace = device.DiscSpace;
    burner.WriteModes = device.WriteModes;
    burner.DiscType = device.DiscType;
    burner.DeviceName =
        !device.DeviceName.empty() ? device.DeviceName : "\\\\.\\" + device.DriveLetter;
    burner.TransportType = transport;
}

bool IsRewritableDisc(uint8_t DiscType) {
    switch (DiscType) {
    case DISC_TYPE_CDRW:
    case DISC_TYPE_DVDRWRO:
    case DISC_TYPE_DVDRWSR:
    case DISC_TYPE_DVDPLUSRW:
    case DISC_TYPE_DVDRAM:
    case DISC_TYPE_BDRE:
        return true;
    default:
        return false;
    }
}

TsbDriveFit DriveFitForImage(const TsbDeviceItem& device, int64_t ImageBytes, bool Overwrite) {
    if (!device.Usable() || !device.MediaFormats.WritesAnything() ||
        device.DiscType == DISC_TYPE_NO_MEDIA) {
        return TsbDriveFit::NoCandidate;
    }
    if (!device.DiscSpace.IsBlank() && !(Overwrite && IsRewritableDisc(device.DiscType))) {
        return TsbDriveFit::NotBlank;
    }
    return device.DiscSpace.FreeBytes < ImageBytes ? TsbDriveFit::TooSmall : TsbDriveFit::Fits;
}
