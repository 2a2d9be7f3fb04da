// SPDX-License-Identifier: GPL-2.0-or-later
// The vocabulary that the device code, the burn engine and the wizard pages
// share: transports, write modes, log kinds and the small records in which
// device and disc facts travel.
#pragma once

#include "starburn/StarBurn.h"

#include <cstddef>
#include <cstdint>
#include <string>

// How a device is addressed: by its name (CdRom0, opened with
// StarBurn_CdvdBurnerGrabber_CreateEx) or by its SCSI address (opened with
// StarBurn_CdvdBurnerGrabber_Create).
enum TsbTransportType : uint8_t { ttSpti = 0, ttAspi = 1 };

// The kind of a log line and of every message event of the burn engine.
enum TsbLogItemType : uint8_t { litInfo = 0, litError = 1, litWarning = 2 };

// The write mode of a burn. 0 to 3 burn a file tree handed to the burner, 4
// writes a built image into a file, 5 to 8 burn an image file.
enum TsbWriteMode : uint8_t {
    wmTrackAtOnceFromTree = 0,
    wmSessionAtOnceFromTree = 1,
    wmDiscAtOncePQFromTree = 2,
    wmDiscAtOnceRawPWFromTree = 3,
    wmImageToFile = 4,
    wmDiscAtOncePQFromFile = 5,
    wmDiscAtOnceRawPWFromFile = 6,
    wmTrackAtOnceFromFile = 7,
    wmSessionAtOnceFromFile = 8
};

#pragma pack(push, 1)

// A device's SCSI address; the library hands the same five bytes
// (SB_DEVICE_ADDRESS) to the device-found callback.
struct TsbDeviceAddress {
    uint8_t Present = 0;
    uint8_t PortID = 0;
    uint8_t BusID = 0;
    uint8_t TargetID = 0;
    uint8_t LUN = 0;

    // This (stored) address names the same device as Other: it holds an
    // address and the four numbers match.
    bool Matches(const TsbDeviceAddress& other) const {
        return Present != 0 && PortID == other.PortID && BusID == other.BusID &&
               TargetID == other.TargetID && LUN == other.LUN;
    }

    static TsbDeviceAddress FromLibrary(const SB_DEVICE_ADDRESS& address) {
        return TsbDeviceAddress{address.Present, address.PortID, address.BusID, address.TargetID,
                                address.LUN};
    }
};

// Which media a device handles. Bytes 1 to 10 are the outputs of
// StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats in the order 1, 2, 3,
// 4, 5, 7, 8, 9, 10, 6 (the test-write ability moves to the end); bytes 11 to
// 16 are the outputs of ..._GetSupportedMediaFormatsExEx in their order.
// Each byte is non-zero for yes.
struct TsbMediaFormats {
    uint8_t ReadsCDR = 0;
    uint8_t ReadsCDRW = 0;
    uint8_t ReadsDVDROM = 0; // decides whether the region settings are read
    uint8_t ReadsDVDR = 0;
    uint8_t ReadsDVDRAM = 0;
    uint8_t WritesCDR = 0; // marks the device as a recorder
    uint8_t WritesCDRW = 0;
    uint8_t WritesDVDR = 0;
    uint8_t WritesDVDRAM = 0;
    uint8_t TestWrite = 0;
    uint8_t ReadsDVDPlusR = 0;
    uint8_t ReadsDVDPlusRW = 0;
    uint8_t WritesDVDPlusR = 0;
    uint8_t WritesDVDPlusRW = 0;
    uint8_t ReadsDVDPlusRDL = 0;
    uint8_t WritesDVDPlusRDL = 0;

    // Writes some kind of disc. (The recorder sheet looks at CD-R alone.)
    bool WritesAnything() const {
        return WritesCDR || WritesCDRW || WritesDVDR || WritesDVDRAM || WritesDVDPlusR ||
               WritesDVDPlusRW || WritesDVDPlusRDL;
    }
};

// The write methods a device offers. The defaults are those of a device not
// yet probed: every method assumed, test writing not.
struct TsbWriteModes {
    uint8_t CanWriteTAO = 1;
    uint8_t CanWriteSAO = 1;
    uint8_t CanWriteDAOPQ = 1;
    uint8_t CanWriteDAORaw = 1;
    uint8_t CanTestWrite = 0;
};

// The outputs of StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes in order.
struct TsbReadModes {
    uint8_t ReadsCDDA = 0;
    uint8_t ReadsCDDAAccurate = 0;
    uint8_t ReadsMode2Form1 = 0;
    uint8_t ReadsMode2Form2 = 0;
    uint8_t ReadsRaw = 0;
    uint8_t ReadsSubchannel = 0;
};

// The library's information blocks, kept byte for byte as the library
// filled them. Only the few bytes named by the accessors are read.
struct TsbDiscInformation {
    uint8_t Bytes[sizeof(SB_DISC_INFORMATION)] = {};

    bool Valid() const { return Bytes[0] != 0; }
    // Non-zero when the disc is not blank (appendable, complete or other).
    uint8_t DiscStatus() const { return Bytes[1]; }
};

struct TsbTrackInformation {
    uint8_t Bytes[sizeof(SB_TRACK_INFORMATION)] = {};

    bool NextWritableAddressValid() const { return Bytes[11] != 0; }
};

struct TsbTOCInformation {
    uint8_t Bytes[sizeof(SB_TOC_INFORMATION)] = {};
};

#pragma pack(pop)

static_assert(sizeof(TsbDeviceAddress) == sizeof(SB_DEVICE_ADDRESS));
static_assert(offsetof(TsbDeviceAddress, PortID) == offsetof(SB_DEVICE_ADDRESS, PortID));
static_assert(offsetof(TsbDeviceAddress, LUN) == offsetof(SB_DEVICE_ADDRESS, LUN));
static_assert(sizeof(TsbMediaFormats) == 16);
static_assert(sizeof(TsbWriteModes) == 5);
static_assert(sizeof(TsbReadModes) == 6);
static_assert(sizeof(TsbDiscInformation) == 33);
static_assert(sizeof(TsbTrackInformation) == 28);
static_assert(sizeof(TsbTOCInformation) == 13838);
static_assert(offsetof(SB_TRACK_INFORMATION, NextWritableAddressValid) == 11);
static_assert(offsetof(SB_DISC_INFORMATION, DiscStatus) == 1);

// What the device page hands out about the selected device.
struct TsbDeviceInfo {
    std::string Vendor;
    std::string Product;
    std::string ProductRevisionLevel;
    int64_t BufferSize = 0; // the device's 32-bit buffer size
    TsbMediaFormats MediaFormats;
};

// The DVD region settings: the decimal texts of the five one-byte outputs
// of StarBurn_CdvdBurnerGrabber_GetRPC, in order.
struct TsbDVDRPC {
    bool Valid = false;
    std::string RPCType;
    std::string RegionMask;
    std::string UserChangesLeft;
    std::string VendorResetsLeft;
    std::string RegionScheme;
};

// The space of the disc in a drive; all zero when unknown.
struct TsbDiscSpace {
    int64_t FreeBytes = 0;
    int64_t TotalBytes = 0; // FreeBytes + UsedBytes
    int64_t UsedBytes = 0;
    int64_t FreeSpaceAux = 0; // the free block count the library reported

    bool IsBlank() const { return FreeBytes == TotalBytes; }
};

// The source chosen in the wizard for the actions.
struct TsbActionOptions {
    int32_t SourceIsFile = 0;
    std::string SourceFileName;
    int32_t Reserved = 0;
};
