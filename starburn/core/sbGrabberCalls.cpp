// SPDX-License-Identifier: GPL-2.0-or-later
// Opening drives, and every grabber call except the writes.
#include "starburn/core/sbCalls.h"

#include <cstring>

using namespace starburn;

namespace {

#define SB_REPORT                                                                                  \
    Report {                                                                                       \
        pExceptionText, ulExceptionTextSize, pStatus, pFailureInfo                                 \
    }

template <class Find>
uint8_t createGrabber(const char* function, void** ppGrabber, const Report& where,
                      PCALLBACK callback, void* context, uint32_t access, Find&& find) {
    return guarded(where, [&]() -> uint8_t {
        if (ppGrabber == nullptr) {
            return report(where, badArgument("No place was given for the grabber handle"));
        }
        *ppGrabber = nullptr;
        auto session = currentSession();
        if (!session) {
            return report(where, makeError(SB_EXCEPTION_NOT_STARTED, 0,
                                           "The library is not started (StarBurn_UpStartEx)"));
        }
        if (access > 1) {
            return report(where, badArgument("Access " + std::to_string(access) +
                                             " is not known (0 everything, 1 queries only)"));
        }
        Error notFound;
        auto entry = find(*session, notFound);
        if (auto fault = takeCallFault(function, entry ? entry->name : std::string())) {
            return report(where, *fault);
        }
        if (!entry) {
            return report(where, notFound);
        }
        // Opened for writing, the drive is this program's until the grabber
        // goes; a drive another program holds answers busy now.
        if (access == 0) {
            if (Error e = entry->device->claim()) {
                return report(where, e);
            }
        }
        auto grabber = std::make_shared<Grabber>(entry, callback, context, access == 1);
        void* handle = registerObject(grabber);
        if (currentSession() != session) {
            // The library shut down while the drive was being opened.
            if (auto object = unregisterObject(handle)) {
                object->shutDown();
            }
            return report(where, makeError(SB_EXCEPTION_NOT_STARTED, 0,
                                           "The library was shut down while the device opened"));
        }
        *ppGrabber = handle;
        return SB_EXCEPTION_NONE;
    });
}

void setFlag(uint8_t* out, bool value) {
    if (out != nullptr) {
        *out = value ? 1 : 0;
    }
}

template <class T>
void setValue(T* out, T value) {
    if (out != nullptr) {
        *out = value;
    }
}

} // namespace

extern "C" {

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Create(
    void** ppGrabber, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    void* pFailureInfo, PCALLBACK pCallback, void* pContext, uint8_t ucPortID, uint8_t ucBusID,
    uint8_t ucTargetID, uint8_t ucLUN, uint32_t ulAccess) {
    return createGrabber("StarBurn_CdvdBurnerGrabber_Create", ppGrabber, SB_REPORT, pCallback,
                         pContext, ulAccess, [&](Session& session, Error& notFound) {
                             auto entry =
                                 session.table.byAddress(ucPortID, ucBusID, ucTargetID, ucLUN);
                             if (!entry) {
                                 const SB_DEVICE_ADDRESS a{1, ucPortID, ucBusID, ucTargetID, ucLUN};
                                 notFound =
                                     makeError(SB_EXCEPTION_NO_DEVICE, ENODEV,
                                               "No device at SCSI address " + addressText(a));
                             }
                             return entry;
                         });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_CreateEx(void** ppGrabber, char* pExceptionText,
                                                         uint32_t ulExceptionTextSize,
                                                         uint32_t* pStatus, void* pFailureInfo,
                                                         PCALLBACK pCallback, void* pContext,
                                                         const char* pDeviceName,
                                                         uint32_t ulAccess) {
    return createGrabber(
        "StarBurn_CdvdBurnerGrabber_CreateEx", ppGrabber, SB_REPORT, pCallback, pContext, ulAccess,
        [&](Session& session, Error& notFound) -> std::shared_ptr<DeviceEntry> {
            if (pDeviceName == nullptr || *pDeviceName == '\0') {
                notFound = badArgument("No device name was given");
                return nullptr;
            }
            // Names are short; a longer text is no name of ours and is not
            // copied whole into the failure text.
            const std::string name(pDeviceName, strnlen(pDeviceName, 64));
            auto entry = session.table.byName(name);
            if (!entry) {
                notFound = makeError(SB_EXCEPTION_NO_DEVICE, ENODEV, "No device named " + name);
            }
            return entry;
        });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetDeviceInformation(void* pGrabber, char* pVendor,
                                                                     char* pProduct,
                                                                     char* pRevision,
                                                                     uint32_t* pBufferSize) {
    return shortCall("StarBurn_CdvdBurnerGrabber_GetDeviceInformation", pGrabber,
                     [&](Grabber& g) -> Error {
                         const DeviceFacts& f = g.device().facts();
                         // The header promises buffers of at least 64 bytes.
                         copyText(pVendor, 64, f.vendor);
                         copyText(pProduct, 64, f.product);
                         copyText(pRevision, 64, f.revision);
                         setValue(pBufferSize, f.bufferSize);
                         return {};
                     });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(
    void* pGrabber, uint8_t* pReadsCDR, uint8_t* pReadsCDRW, uint8_t* pReadsDVDROM,
    uint8_t* pReadsDVDR, uint8_t* pReadsDVDRAM, uint8_t* pTestWrite, uint8_t* pWritesCDR,
    uint8_t* pWritesCDRW, uint8_t* pWritesDVDR, uint8_t* pWritesDVDRAM) {
    return shortCall("StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats", pGrabber,
                     [&](Grabber& g) -> Error {
                         const DeviceFacts& f = g.device().facts();
                         setFlag(pReadsCDR, f.readsCdR);
                         setFlag(pReadsCDRW, f.readsCdRw);
                         setFlag(pReadsDVDROM, f.readsDvdRom);
                         setFlag(pReadsDVDR, f.readsDvdR);
                         setFlag(pReadsDVDRAM, f.readsDvdRam);
                         setFlag(pTestWrite, f.testWrite);
                         setFlag(pWritesCDR, f.writesCdR);
                         setFlag(pWritesCDRW, f.writesCdRw);
                         setFlag(pWritesDVDR, f.writesDvdR);
                         setFlag(pWritesDVDRAM, f.writesDvdRam);
                         return {};
                     });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx(
    void* pGrabber, uint8_t* pReadsDVDPlusR, uint8_t* pReadsDVDPlusRW, uint8_t* pWritesDVDPlusR,
    uint8_t* pWritesDVDPlusRW, uint8_t* pReadsDVDPlusRDL, uint8_t* pWritesDVDPlusRDL) {
    return shortCall("StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx", pGrabber,
                     [&](Grabber& g) -> Error {
                         const DeviceFacts& f = g.device().facts();
                         setFlag(pReadsDVDPlusR, f.readsDvdPlusR);
                         setFlag(pReadsDVDPlusRW, f.readsDvdPlusRw);
                         setFlag(pWritesDVDPlusR, f.writesDvdPlusR);
                         setFlag(pWritesDVDPlusRW, f.writesDvdPlusRw);
                         setFlag(pReadsDVDPlusRDL, f.readsDvdPlusRDl);
                         setFlag(pWritesDVDPlusRDL, f.writesDvdPlusRDl);
                         return {};
                     });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void* pGrabber) {
    uint8_t type = DISC_TYPE_UNKNOWN;
    guarded(Report{}, [&]() -> uint8_t {
        auto g = lookup<Grabber>(pGrabber, ObjectKind::Grabber);
        if (!g) {
            return SB_EXCEPTION_INVALID_HANDLE;
        }
        // An injected fault answers its number as the disc type, so a test can
        // make a drive claim any disc.
        if (auto fault =
                takeCallFault("StarBurn_CdvdBurnerGrabber_GetInsertedDiscType", g->entry().name)) {
            type = fault->exception;
            return fault->exception;
        }
        type = g->device().discType();
        return SB_EXCEPTION_NONE;
    });
    return type;
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(void* pGrabber,
                                                                 uint32_t /*ulFlags*/,
                                                                 uint32_t* pFreeBlocks,
                                                                 uint64_t* pFreeBytes) {
    return shortCall("StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace", pGrabber,
                     [&](Grabber& g) -> Error {
                         DiscSpace space;
                         if (Error e = g.device().discSpace(space)) {
                             return e;
                         }
                         setValue(pFreeBlocks, space.freeBlocks);
                         setValue(pFreeBytes, space.freeBytes);
                         return {};
                     });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
    SB_GRABBER_HEAD, uint8_t* pTrackAtOnce, uint8_t* pSessionAtOnce, uint8_t* pDiscAtOncePQ,
    uint8_t* pDiscAtOnceRawPW) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           const DeviceFacts& f = g.device().facts();
                           setFlag(pTrackAtOnce, f.trackAtOnce);
                           setFlag(pSessionAtOnce, f.sessionAtOnce);
                           setFlag(pDiscAtOncePQ, f.discAtOncePq);
                           setFlag(pDiscAtOnceRawPW, f.discAtOnceRawPw);
                           return {};
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes(
    SB_GRABBER_HEAD, uint8_t* pReadsCDDA, uint8_t* pReadsCDDAAccurate, uint8_t* pReadsMode2Form1,
    uint8_t* pReadsMode2Form2, uint8_t* pReadsRaw, uint8_t* pReadsSubchannel) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           const DeviceFacts& f = g.device().facts();
                           setFlag(pReadsCDDA, f.readsCdda);
                           setFlag(pReadsCDDAAccurate, f.readsCddaAccurate);
                           setFlag(pReadsMode2Form1, f.readsMode2Form1);
                           setFlag(pReadsMode2Form2, f.readsMode2Form2);
                           setFlag(pReadsRaw, f.readsRaw);
                           setFlag(pReadsSubchannel, f.readsSubchannel);
                           return {};
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_TestUnitReady(SB_GRABBER_HEAD) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_TestUnitReady", pGrabber, SB_REPORT,
                       [&](Grabber& g) { return g.device().testUnitReady(); });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetAccess(SB_GRABBER_HEAD, uint8_t* pState) {
    const Report where = SB_REPORT;
    return guarded(where, [&]() -> uint8_t {
        auto g = lookup<Grabber>(pGrabber, ObjectKind::Grabber);
        if (!g) {
            return report(where, badHandle());
        }
        uint8_t state = SB_DEVICE_ACCESS_FREE;
        Error e;
        if (auto fault = takeCallFault("StarBurn_CdvdBurnerGrabber_GetAccess", g->entry().name)) {
            // An injected answer reads as the drive's own would.
            e = *fault;
            const bool forbidden =
                e.exception == SB_EXCEPTION_NOT_READY && (e.status == EACCES || e.status == EPERM);
            state = e.exception == SB_EXCEPTION_DEVICE_BUSY ? SB_DEVICE_ACCESS_BUSY
                    : forbidden                             ? SB_DEVICE_ACCESS_FORBIDDEN
                                                            : SB_DEVICE_ACCESS_FREE;
        } else {
            e = g->device().access(state);
        }
        setValue(pState, state);
        return report(where, e);
    });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetDiscInformation(SB_GRABBER_HEAD,
                                                                   void* pDiscInformation) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_GetDiscInformation", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (pDiscInformation == nullptr) {
                               return badArgument("No disc information block was given");
                           }
                           SB_DISC_INFORMATION info{};
                           if (Error e = g.device().discInformation(info)) {
                               return e;
                           }
                           std::memcpy(pDiscInformation, &info, sizeof info);
                           return {};
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetTrackInformation(SB_GRABBER_HEAD,
                                                                    uint32_t ulTrackNumber,
                                                                    void* pTrackInformation) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_GetTrackInformation", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (pTrackInformation == nullptr) {
                               return badArgument("No track information block was given");
                           }
                           SB_TRACK_INFORMATION info{};
                           if (Error e = g.device().trackInformation(ulTrackNumber, info)) {
                               return e;
                           }
                           std::memcpy(pTrackInformation, &info, sizeof info);
                           return {};
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetTOCInformation(SB_GRABBER_HEAD,
                                                                  void* pTOCInformation) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_GetTOCInformation", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (pTOCInformation == nullptr) {
                               return badArgument("No table-of-contents block was given");
                           }
                           auto toc = std::make_unique<SB_TOC_INFORMATION>();
                           std::memset(toc.get(), 0, sizeof *toc);
                           if (Error e = g.device().tocInformation(*toc, fastReadToc())) {
                               return e;
                           }
                           std::memcpy(pTOCInformation, toc.get(), sizeof *toc);
                           return {};
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetRPC(SB_GRABBER_HEAD, uint8_t* pRPCType,
                                                       uint8_t* pRegionMask,
                                                       uint8_t* pUserChangesLeft,
                                                       uint8_t* pVendorResetsLeft,
                                                       uint8_t* pRegionScheme) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_GetRPC", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           RegionInfo r;
                           if (Error e = g.device().region(r)) {
                               return e;
                           }
                           setValue(pRPCType, r.rpcType);
                           setValue(pRegionMask, r.regionMask);
                           setValue(pUserChangesLeft, r.userChangesLeft);
                           setValue(pVendorResetsLeft, r.vendorResetsLeft);
                           setValue(pRegionScheme, r.regionScheme);
                           return {};
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(SB_GRABBER_HEAD,
                                                                 uint64_t* pUsedBytes) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           DiscSpace space;
                           if (Error e = g.device().discSpace(space)) {
                               return e;
                           }
                           setValue(pUsedBytes, space.usedBytes);
                           return {};
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetSpeeds(SB_GRABBER_HEAD,
                                                          uint32_t* pCurrentReadSpeed,
                                                          uint32_t* pMaximumReadSpeed,
                                                          uint32_t* pCurrentWriteSpeed,
                                                          uint32_t* pMaximumWriteSpeed) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_GetSpeeds", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           Speeds s;
                           if (Error e = g.device().speeds(s)) {
                               return e;
                           }
                           setValue(pCurrentReadSpeed, s.currentRead);
                           setValue(pMaximumReadSpeed, s.maximumRead);
                           setValue(pCurrentWriteSpeed, s.currentWrite);
                           setValue(pMaximumWriteSpeed, s.maximumWrite);
                           return {};
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SetSpeeds(SB_GRABBER_HEAD, uint32_t ulReadSpeed,
                                                          uint32_t ulWriteSpeed) {
    return grabberCall(
        "StarBurn_CdvdBurnerGrabber_SetSpeeds", pGrabber, SB_REPORT, [&](Grabber& g) -> Error {
            if (Error e = needsFullAccess(g, "change its speeds")) {
                return e;
            }
            return actOnDrive(g, "StarBurn_CdvdBurnerGrabber_SetSpeeds",
                              [&] { return g.device().setSpeeds(ulReadSpeed, ulWriteSpeed); });
        });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetBUP(SB_GRABBER_HEAD, uint8_t* pEnabled,
                                                       uint8_t* pSupported) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_GetBUP", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           bool enabled = false;
                           bool supported = false;
                           if (Error e = g.device().bup(enabled, supported)) {
                               return e;
                           }
                           setFlag(pEnabled, enabled);
                           setFlag(pSupported, supported);
                           return {};
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SetBUP(SB_GRABBER_HEAD, uint8_t bEnable) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_SetBUP", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (Error e = needsFullAccess(g, "change its buffer-underrun "
                                                            "protection")) {
                               return e;
                           }
                           return actOnDrive(g, "StarBurn_CdvdBurnerGrabber_SetBUP",
                                             [&] { return g.device().setBup(bEnable != 0); });
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SendOPC(SB_GRABBER_HEAD) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_SendOPC", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (Error e = needsFullAccess(g, "calibrate its laser power")) {
                               return e;
                           }
                           return actOnDrive(g, "StarBurn_CdvdBurnerGrabber_SendOPC",
                                             [&] { return g.device().sendOpc(); });
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Lock(SB_GRABBER_HEAD) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_Lock", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (Error e = needsFullAccess(g, "lock its tray")) {
                               return e;
                           }
                           return g.lock();
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Release(SB_GRABBER_HEAD) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_Release", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (Error e = needsFullAccess(g, "unlock its tray")) {
                               return e;
                           }
                           return g.release();
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Eject(SB_GRABBER_HEAD) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_Eject", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (Error e = needsFullAccess(g, "eject its disc")) {
                               return e;
                           }
                           return actOnDrive(g, "StarBurn_CdvdBurnerGrabber_Eject", [&] {
                               if (g.entry().locked()) {
                                   return senseError(SB_EXCEPTION_DEVICE_BUSY, 0x05, 0x53, 0x02,
                                                     "The tray of " + g.entry().name +
                                                         " is locked; release it before ejecting");
                               }
                               return g.device().eject();
                           });
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_CloseSession(SB_GRABBER_HEAD) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_CloseSession", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (Error e = needsFullAccess(g, "close a session")) {
                               return e;
                           }
                           return actOnDrive(g, "StarBurn_CdvdBurnerGrabber_CloseSession",
                                             [&] { return g.device().closeSession(); });
                       });
}

STARBURN_API void StarBurn_CdvdBurnerGrabber_Cancel(void* pGrabber) {
    if (auto g = lookup<Grabber>(pGrabber, ObjectKind::Grabber)) {
        g->cancel();
    }
}

} // extern "C"
