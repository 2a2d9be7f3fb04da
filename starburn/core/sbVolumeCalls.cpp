// The volume label of a device's disc and a device's drive letter, for the
// program's stand-ins of the operating system's volume and device-name queries.
#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbSession.h"

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
