// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbInhibit.h"

#include "base/sbLogger.h"

#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace {

struct THeld {
    std::mutex Mutex;
    std::shared_ptr<IsbInhibitBus> Bus;
    int Depth = 0;
    std::unique_ptr<IsbInhibitor> Inhibitor;
    std::string Way; // the service that granted it, for the release line
};

THeld& held() {
    static THeld h;
    return h;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Logind first, then the portal; in a sandbox the other way round.
void take(THeld& h, const std::string& why) {
    struct TWay {
        const char* Name;
        bool Portal;
    };
    const bool sandboxed = RunsInSandbox();
    const TWay ways[] = {{sandboxed ? "desktop portal" : "logind", sandboxed},
                         {sandboxed ? "logind" : "desktop portal", !sandboxed}};
    std::string failures;
    for (const TWay& way : ways) {
        std::string failure;
        std::unique_ptr<IsbInhibitor> inhibitor;
        try {
            inhibitor =
                way.Portal ? h.Bus->TakePortal(why, failure) : h.Bus->TakeLogind(why, failure);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        if (inhibitor) {
            h.Inhibitor = std::move(inhibitor);
            h.Way = way.Name;
            Logger().Log("Sleep and idle suspend held off (" + h.Way +
                         (failures.empty() ? std::string() : "; " + failures) + "): " + why);
            return;
        }
        failures += std::string(failures.empty() ? "" : "; ") + way.Name + ": " +
                    (failure.empty() ? std::string("no answer") : failure);
    }
    Logger().Log("Sleep and idle suspend are not held off, the work goes on (" + failures + ")");
}

} // namespace

void SetInhibitBus(std::shared_ptr<IsbInhibitBus> Bus) {
    THeld& h = held();
    std::lock_guard lock(h.Mutex);
    h.Bus = std::move(Bus);
}

bool RunsInSandbox() {
    const char* snap = std::getenv("SNAP");
    return ::access("/.flatpak-info", F_OK) == 0 || (snap != nullptr && *snap != '\0');
}

TsbStayAwake::TsbStayAwake(const std::string& Why) {
    THeld& h = held();
    std::lock_guard lock(h.Mutex);
    if (h.Depth++ > 0 || !h.Bus) {
        return;
    }
    try {
        take(h, Why);
    } catch (...) {
        // A log line that failed to build: the work goes on all the same.
    }
}

TsbStayAwake::~TsbStayAwake() {
    THeld& h = held();
    std::lock_guard lock(h.Mutex);
    if (--h.Depth > 0 || !h.Inhibitor) {
        return;
    }
    try {
        h.Inhibitor.reset();
        Logger().Log("Sleep and idle suspend allowed again (" + h.Way + ")");
    } catch (...) {
        // Nothing may leave a destructor; the inhibitor is gone either way.
        h.Inhibitor.reset();
    }
}

std::string DriveTitle(const std::string& DeviceName, const std::string& Product) {
    if (Product.empty()) {
        return DeviceName;
    }
    return DeviceName.empty() ? Product : DeviceName + " (" + Product + ")";
}

std::string WriteReason(const std::string& ImagePath, const std::string& Drive) {
    return "Tavrin is writing " +
           (ImagePath.empty() ? std::string("a disc") : baseName(ImagePath)) + " to " + Drive;
}

std::string VerifyReason(const std::string& ImagePath, const std::string& Drive) {
    return "Tavrin is comparing the disc in " + Drive + " with " + baseName(ImagePath);
}

std::string CopyReason(const std::string& ImagePath, const std::string& Drive) {
    return "Tavrin is copying the disc in " + Drive + " to " + baseName(ImagePath);
}

std::string EraseReason(const std::string& Drive) {
    return "Tavrin is erasing the disc in " + Drive;
}
