// SPDX-License-Identifier: GPL-2.0-or-later
// The test-only C functions of StarBurnTesting.h.
#include "starburn/StarBurnTesting.h"
#include "starburn/core/sbFaults.h"
#include "starburn/core/sbSession.h"
#include "starburn/virtual/sbVirtualBackend.h"

#include <cstring>
#include <mutex>
#include <vector>

using namespace starburn;

namespace {

// Recorders whose write faults or limits a test changed, so ClearFaults can
// undo them.
std::mutex g_touchedMutex;
std::vector<std::weak_ptr<virt::Recorder>> g_touched;

template <class Body>
uint8_t onRecorder(const char* deviceName, Body&& body) {
    return guarded(Report{}, [&]() -> uint8_t {
        if (!currentSession()) {
            return SB_EXCEPTION_NOT_STARTED;
        }
        if (deviceName == nullptr) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        auto recorder = virt::findRecorder(std::string(deviceName, strnlen(deviceName, 64)));
        if (!recorder) {
            return SB_EXCEPTION_NO_DEVICE;
        }
        return body(*recorder, recorder);
    });
}

void remember(const std::shared_ptr<virt::Recorder>& recorder) {
    std::lock_guard lock(g_touchedMutex);
    g_touched.push_back(recorder);
}

} // namespace

extern "C" {

STARBURN_API uint8_t StarBurnTesting_FailCall(const char* pFunctionName, const char* pDeviceName,
                                              uint8_t ucException, uint32_t ulStatus,
                                              const char* pText, uint32_t ulCount) {
    return guarded(Report{}, [&]() -> uint8_t {
        if (pFunctionName == nullptr || !isFaultableFunction(pFunctionName) ||
            ucException == SB_EXCEPTION_NONE) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        CallFault fault;
        fault.function = pFunctionName;
        fault.device = pDeviceName != nullptr ? pDeviceName : "";
        fault.exception = ucException;
        fault.status = ulStatus;
        fault.text = (pText != nullptr && *pText != '\0') ? std::string(pText)
                                                          : "Injected failure of " + fault.function;
        fault.count = ulCount;
        armCallFault(std::move(fault));
        return SB_EXCEPTION_NONE;
    });
}

STARBURN_API uint8_t StarBurnTesting_HoldCall(const char* pFunctionName, const char* pDeviceName) {
    return guarded(Report{}, [&]() -> uint8_t {
        if (pFunctionName == nullptr || !isFaultableFunction(pFunctionName)) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        armCallHold(pFunctionName, pDeviceName != nullptr ? pDeviceName : "");
        return SB_EXCEPTION_NONE;
    });
}

STARBURN_API uint8_t StarBurnTesting_AwaitHeldCall(uint32_t ulTimeoutMs) {
    return awaitHeldCall(ulTimeoutMs) ? SB_EXCEPTION_NONE : SB_EXCEPTION_NOT_READY;
}

STARBURN_API void StarBurnTesting_ReleaseHeldCall(void) {
    releaseHeldCall();
}

STARBURN_API void StarBurnTesting_ClearFaults(void) {
    clearCallFaults(false);
    std::vector<std::weak_ptr<virt::Recorder>> touched;
    {
        std::lock_guard lock(g_touchedMutex);
        touched.swap(g_touched);
    }
    for (auto& weak : touched) {
        if (auto recorder = weak.lock()) {
            recorder->clearTestFaults();
        }
    }
}

STARBURN_API uint8_t StarBurnTesting_FailWriteAt(const char* pDeviceName, uint64_t ullByte,
                                                 uint8_t bTakeDiscOut) {
    return onRecorder(pDeviceName, [&](virt::Recorder& r, const auto& shared) -> uint8_t {
        r.armWriteFault(ullByte, bTakeDiscOut != 0);
        remember(shared);
        return SB_EXCEPTION_NONE;
    });
}

STARBURN_API uint8_t StarBurnTesting_TakeDiscOut(const char* pDeviceName) {
    return onRecorder(pDeviceName, [&](virt::Recorder& r, const auto&) -> uint8_t {
        return r.takeDiscOut().exception;
    });
}

STARBURN_API uint8_t StarBurnTesting_InsertDisc(const char* pDeviceName, uint8_t ucDiscType,
                                                uint32_t ulCapacityBlocks) {
    return onRecorder(pDeviceName, [&](virt::Recorder& r, const auto&) -> uint8_t {
        return r.insertDisc(ucDiscType, ulCapacityBlocks).exception;
    });
}

STARBURN_API uint8_t StarBurnTesting_SlowWrite(const char* pDeviceName,
                                               uint64_t ullBytesPerSecond) {
    return onRecorder(pDeviceName, [&](virt::Recorder& r, const auto& shared) -> uint8_t {
        r.setWriteLimit(ullBytesPerSecond);
        remember(shared);
        return SB_EXCEPTION_NONE;
    });
}

STARBURN_API uint8_t StarBurnTesting_GetLastEjectedImage(const char* pDeviceName, char* pPath,
                                                         uint32_t ulPathSize) {
    return onRecorder(pDeviceName, [&](virt::Recorder& r, const auto&) -> uint8_t {
        if (pPath == nullptr || ulPathSize == 0) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        const std::string path = r.lastEjectedImage();
        if (path.empty()) {
            return SB_EXCEPTION_FILE_ERROR;
        }
        if (path.size() >= ulPathSize) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        copyText(pPath, ulPathSize, path);
        return SB_EXCEPTION_NONE;
    });
}

STARBURN_API uint8_t StarBurnTesting_GetStateFolder(char* pPath, uint32_t ulPathSize) {
    auto session = currentSession();
    if (!session) {
        return SB_EXCEPTION_NOT_STARTED;
    }
    if (pPath == nullptr || ulPathSize <= session->stateFolder.size()) {
        return SB_EXCEPTION_INVALID_PARAMETER;
    }
    copyText(pPath, ulPathSize, session->stateFolder);
    return SB_EXCEPTION_NONE;
}

} // extern "C"
