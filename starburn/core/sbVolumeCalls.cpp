// SPDX-License-Identifier: GPL-2.0-or-later
// The volume label of a device's disc and a device's drive letter, for the
// program's stand-ins of the operating system's volume and device-name queries,
// and the reading of a primary volume descriptor the program has in hand.
#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbSession.h"
#include "starburn/core/sbVolumeDescriptor.h"

#include <cstring>

using namespace starburn;

extern "C" STARBURN_API uint8_t StarBurn_GetVolumeLabel(const char* pDeviceName, char* pLabel,
                                                        uint32_t ulLabelSize) {
    return guarded(Report{}, [&]() -> uint8_t {
        auto session = currentSession();
        if (!session) {
            return SB_EXCEPTION_NOT_STARTED;
        }
        if (pDeviceName == nullptr || pLabel == nullptr || ulLabelSize == 0) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        auto entry = session->table.byName(std::string(pDeviceName, strnlen(pDeviceName, 64)));
        if (!entry) {
            return SB_EXCEPTION_NO_DEVICE;
        }
        copyText(pLabel, ulLabelSize, entry->device->discVolumeLabel());
        return SB_EXCEPTION_NONE;
    });
}

extern "C" STARBURN_API uint8_t StarBurn_GetMediaId(const char* pDeviceName, char* pMediaId,
                                                    uint32_t ulMediaIdSize, char* pManufacturer,
                                                    uint32_t ulManufacturerSize) {
    return guarded(Report{}, [&]() -> uint8_t {
        auto session = currentSession();
        if (!session) {
            return SB_EXCEPTION_NOT_STARTED;
        }
        if (pDeviceName == nullptr || pMediaId == nullptr || ulMediaIdSize == 0 ||
            pManufacturer == nullptr || ulManufacturerSize == 0) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        auto entry = session->table.byName(std::string(pDeviceName, strnlen(pDeviceName, 64)));
        if (!entry) {
            return SB_EXCEPTION_NO_DEVICE;
        }
        std::string id;
        std::string manufacturer;
        entry->device->discMediaId(id, manufacturer);
        copyText(pMediaId, ulMediaIdSize, id);
        copyText(pManufacturer, ulManufacturerSize, manufacturer);
        return SB_EXCEPTION_NONE;
    });
}

extern "C" STARBURN_API uint8_t StarBurn_GetDriveLetterByDeviceName(const char* pDeviceName,
                                                                    char* pDriveName,
                                                                    uint32_t ulDriveNameSize) {
    return guarded(Report{}, [&]() -> uint8_t {
        auto session = currentSession();
        if (!session) {
            return SB_EXCEPTION_NOT_STARTED;
        }
        if (pDeviceName == nullptr || pDriveName == nullptr || ulDriveNameSize < 3) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        auto entry = session->table.byName(std::string(pDeviceName, strnlen(pDeviceName, 64)));
        if (!entry) {
            return SB_EXCEPTION_NO_DEVICE;
        }
        const char name[3] = {entry->driveLetter, ':', '\0'};
        copyText(pDriveName, ulDriveNameSize, entry->driveLetter != 0 ? name : "");
        return SB_EXCEPTION_NONE;
    });
}

extern "C" STARBURN_API uint8_t StarBurn_ReadPrimaryVolumeDescriptor(
    const void* pBlock, uint32_t ulBlockSize, SB_PRIMARY_VOLUME_DESCRIPTOR* pDescriptor) {
    return guarded(Report{}, [&]() -> uint8_t {
        if (pBlock == nullptr || pDescriptor == nullptr) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        const PrimaryVolume volume =
            readPrimaryVolume(static_cast<const unsigned char*>(pBlock), ulBlockSize);
        std::memset(pDescriptor, 0, sizeof *pDescriptor);
        pDescriptor->IsPrimary = volume.isPrimary ? 1 : 0;
        copyText(pDescriptor->VolumeIdentifier, sizeof pDescriptor->VolumeIdentifier,
                 volume.identifier);
        pDescriptor->VolumeSpaceSize = volume.spaceBlocks;
        pDescriptor->LogicalBlockSize = volume.blockSize;
        return SB_EXCEPTION_NONE;
    });
}
