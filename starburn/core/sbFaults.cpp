// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/core/sbFaults.h"

#include "ini/sbIni.h"

#include "starburn/StarBurn.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace starburn {

using namespace sbini;
namespace {

constexpr std::array kFunctions = {
    "StarBurn_UpStartEx",
    "StarBurn_FindDevice",
    "StarBurn_GetDeviceNameByDeviceAddress",
    "StarBurn_CdvdBurnerGrabber_Create",
    "StarBurn_CdvdBurnerGrabber_CreateEx",
    "StarBurn_CdvdBurnerGrabber_GetDeviceInformation",
    "StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats",
    "StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx",
    "StarBurn_CdvdBurnerGrabber_GetInsertedDiscType",
    "StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace",
    "StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes",
    "StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes",
    "StarBurn_CdvdBurnerGrabber_TestUnitReady",
    "StarBurn_CdvdBurnerGrabber_GetAccess",
    "StarBurn_CdvdBurnerGrabber_GetDiscInformation",
    "StarBurn_CdvdBurnerGrabber_GetTrackInformation",
    "StarBurn_CdvdBurnerGrabber_GetTOCInformation",
    "StarBurn_CdvdBurnerGrabber_GetRPC",
    "StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace",
    "StarBurn_CdvdBurnerGrabber_GetSpeeds",
    "StarBurn_CdvdBurnerGrabber_SetSpeeds",
    "StarBurn_CdvdBurnerGrabber_GetBUP",
    "StarBurn_CdvdBurnerGrabber_SetBUP",
    "StarBurn_CdvdBurnerGrabber_SendOPC",
    "StarBurn_CdvdBurnerGrabber_Lock",
    "StarBurn_CdvdBurnerGrabber_Release",
    "StarBurn_CdvdBurnerGrabber_Eject",
    "StarBurn_CdvdBurnerGrabber_CloseSession",
    "StarBurn_CdvdBurnerGrabber_ReadData",
    "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile",
    "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree",
    "StarBurn_CdvdBurnerGrabber_SessionAtOnce",
    "StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile",
    "StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile",
    "StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree",
    "StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree",
    "StarBurn_ISO9660JolietFileTree_Create",
    "StarBurn_ISO9660JolietFileTree_SetBootImage",
    "StarBurn_ISO9660JolietFileTree_BuildImage",
    "StarBurn_ISO9660JolietFileTree_Read",
    "StarBurn_ISO9660JolietFileTree_SeekToBegin",
};

std::mutex g_mutex;
std::vector<CallFault> g_faults;

struct CallHold {
    std::string function;
    std::string device;
    bool armed = false;
    bool holding = false;
    bool released = false;
};
std::mutex g_holdMutex;
std::condition_variable g_holdChanged;
CallHold g_hold;

} // namespace

bool isFaultableFunction(std::string_view function) {
    return std::find(kFunctions.begin(), kFunctions.end(), function) != kFunctions.end();
}

void armCallFault(CallFault fault) {
    std::lock_guard lock(g_mutex);
    g_faults.push_back(std::move(fault));
}

std::optional<Error> takeCallFault(std::string_view function, std::string_view device) {
    std::lock_guard lock(g_mutex);
    if (g_faults.empty()) {
        return std::nullopt;
    }
    for (auto it = g_faults.begin(); it != g_faults.end(); ++it) {
        if (it->function != function) {
            continue;
        }
        if (!it->device.empty() && !sameName(it->device, device)) {
            continue;
        }
        Error e = makeError(it->exception, it->status, it->text);
        if (it->count == 1) {
            g_faults.erase(it);
        } else if (it->count > 1) {
            --it->count;
        }
        return e;
    }
    return std::nullopt;
}

void clearCallFaults(bool configurationOnly) {
    if (!configurationOnly) {
        releaseHeldCall();
    }
    std::lock_guard lock(g_mutex);
    if (!configurationOnly) {
        g_faults.clear();
        return;
    }
    std::erase_if(g_faults, [](const CallFault& f) { return f.fromConfiguration; });
}

void armCallHold(std::string function, std::string device) {
    std::lock_guard lock(g_holdMutex);
    g_hold.function = std::move(function);
    g_hold.device = std::move(device);
    g_hold.armed = true;
}

void holdCallForTest(std::string_view function, std::string_view device) {
    std::unique_lock lock(g_holdMutex);
    if (!g_hold.armed || g_hold.function != function ||
        (!g_hold.device.empty() && !sameName(g_hold.device, device))) {
        return;
    }
    g_hold.armed = false;
    g_hold.holding = true;
    g_hold.released = false;
    g_holdChanged.notify_all();
    g_holdChanged.wait(lock, [] { return g_hold.released; });
    g_hold.holding = false;
    g_hold.released = false;
}

bool awaitHeldCall(uint32_t milliseconds) {
    std::unique_lock lock(g_holdMutex);
    return g_holdChanged.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [] { return g_hold.holding; });
}

void releaseHeldCall() {
    std::lock_guard lock(g_holdMutex);
    g_hold.armed = false;
    if (g_hold.holding) {
        g_hold.released = true;
        g_holdChanged.notify_all();
    }
}

bool isFaultSection(std::string_view sectionName) {
    return sectionName.size() >= 5 && sameName(sectionName.substr(0, 5), "fault") &&
           (sectionName.size() == 5 || sectionName[5] == ' ' || sectionName[5] == '\t');
}

void loadCallFaults(const sbini::IniDocument& doc, std::vector<std::string>& problems) {
    for (const auto& section : doc.sections) {
        if (!isFaultSection(section.name)) {
            continue;
        }
        CallFault fault;
        fault.fromConfiguration = true;
        bool usable = true;
        bool haveCall = false;
        for (const auto& e : section.entries) {
            uint64_t n = 0;
            if (sameName(e.key, "Call")) {
                if (!isFaultableFunction(e.value)) {
                    problems.push_back(iniProblem(
                        doc, e.line, "\"" + e.value + "\" is not a library call that can fail"));
                    usable = false;
                }
                fault.function = e.value;
                haveCall = true;
            } else if (sameName(e.key, "Device")) {
                fault.device = e.value;
            } else if (sameName(e.key, "Exception")) {
                if (!parseUnsigned(e.value, n) || n == 0 || n > 255) {
                    problems.push_back(
                        iniProblem(doc, e.line, "Exception must be a number from 1 to 255"));
                    usable = false;
                }
                fault.exception = static_cast<uint8_t>(n);
            } else if (sameName(e.key, "Status")) {
                if (!parseUnsigned(e.value, n) || n > 0xFFFFFFFFull) {
                    problems.push_back(
                        iniProblem(doc, e.line, "Status must be a number from 0 to 4294967295"));
                    usable = false;
                }
                fault.status = static_cast<uint32_t>(n);
            } else if (sameName(e.key, "Text")) {
                fault.text = e.value;
            } else if (sameName(e.key, "Count")) {
                if (!parseUnsigned(e.value, n) || n > 0xFFFFFFFFull) {
                    problems.push_back(
                        iniProblem(doc, e.line, "Count must be a number (0 fails every call)"));
                    usable = false;
                }
                fault.count = static_cast<uint32_t>(n);
            } else {
                problems.push_back(iniProblem(
                    doc, e.line, "unknown setting \"" + e.key + "\" in a [Fault] section"));
            }
        }
        if (!haveCall) {
            problems.push_back(
                iniProblem(doc, section.line, "a [Fault] section needs Call = the call's name"));
            usable = false;
        }
        if (usable) {
            if (fault.text.empty()) {
                fault.text = "Injected failure of " + fault.function;
            }
            armCallFault(std::move(fault));
        }
    }
}

} // namespace starburn
