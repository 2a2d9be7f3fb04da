// SPDX-License-Identifier: GPL-2.0-or-later
// The library session: version, start-up and shut-down, device search, and
// destroying handles.
#include "starburn/core/sbSession.h"

#include "ini/sbIni.h"

#include "starburn/StarBurn.h"
#include "starburn/core/sbFaults.h"
#include "starburn/core/sbGrabber.h"
#include "starburn/core/sbHandles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn {

using namespace sbini;
namespace {

std::mutex g_startMutex; // start and shut-down, one at a time
std::mutex g_sessionMutex;
std::shared_ptr<Session> g_session;
std::atomic<bool> g_fastReadToc{false};

Error prepareStateFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(ec.value()),
                         "The state folder \"" + folder + "\" cannot be created: " + ec.message());
    }
    if (!std::filesystem::is_directory(folder, ec)) {
        return makeError(SB_EXCEPTION_FILE_ERROR, ENOTDIR,
                         "The state folder \"" + folder + "\" is not a folder");
    }
    // The disc images in it are the user's: no one else may look in or
    // plant files there.
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && st.st_uid == ::geteuid() &&
        (st.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) {
        const int err = errno;
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                         "The state folder \"" + folder +
                             "\" cannot be made private: " + std::strerror(err));
    }
    // Proven by writing, not by looking at permission bits: a read-only
    // mount or an ACL says no only when asked.
    std::string probe = folder + "/.write-test-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        const int err = errno;
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                         "The state folder \"" + folder +
                             "\" cannot be written: " + std::strerror(err));
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

std::string joinProblems(const std::vector<std::string>& problems) {
    std::string text;
    for (const auto& p : problems) {
        if (!text.empty()) {
            text += '\n';
        }
        text += p;
    }
    return text;
}

} // namespace

std::shared_ptr<Session> currentSession() {
    std::lock_guard lock(g_sessionMutex);
    return g_session;
}

std::string defaultStateFolder(std::string& error) {
    if (const char* dir = std::getenv("STARBURN_STATE_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/tavrin/starburn";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return std::string(home) + "/.local/share/tavrin/starburn";
    }
    error = "No state folder: neither STARBURN_STATE_DIR, XDG_DATA_HOME nor HOME is set";
    return {};
}

void invokeCallback(PCALLBACK callback, uint32_t reason, void* context, void* special1,
                    void* special2) {
    if (callback == nullptr) {
        return;
    }
    try {
        callback(reason, context, special1, special2);
    } catch (...) {
        throw CallbackAbort{std::current_exception()};
    }
}

} // namespace starburn

using namespace starburn;

extern "C" {

STARBURN_API uint32_t StarBurn_GetVersion(void) {
    return STARBURN_VERSION;
}

STARBURN_API uint8_t StarBurn_UpStartEx(const char* pConfigurationFile, char* pExceptionText,
                                        uint32_t ulExceptionTextSize) {
    const Report where{pExceptionText, ulExceptionTextSize, nullptr, nullptr};
    return guarded(where, [&]() -> uint8_t {
        std::lock_guard startLock(g_startMutex);
        copyText(pExceptionText, ulExceptionTextSize, "");
        if (currentSession()) {
            return SB_EXCEPTION_NONE;
        }
        if (auto fault = takeCallFault("StarBurn_UpStartEx", "")) {
            return report(where, *fault);
        }

        std::string configPath;
        if (pConfigurationFile != nullptr && *pConfigurationFile != '\0') {
            configPath = pConfigurationFile;
        } else if (const char* env = std::getenv("STARBURN_CONFIG");
                   env != nullptr && *env != '\0') {
            configPath = env;
        }

        std::vector<std::string> problems;
        std::optional<sbini::IniDocument> configuration;
        if (!configPath.empty()) {
            std::string error;
            configuration = readIniFile(configPath, problems, error);
            if (!configuration) {
                return report(where, makeError(SB_EXCEPTION_CONFIGURATION, 0, error));
            }
        }

        auto session = std::make_shared<Session>();
        std::string error;
        session->stateFolder = defaultStateFolder(error);
        if (session->stateFolder.empty()) {
            return report(where, makeError(SB_EXCEPTION_FILE_ERROR, ENOENT, error));
        }
        if (Error e = prepareStateFolder(session->stateFolder)) {
            return report(where, e);
        }

        session->backends = createBackends();
        BackendContext context;
        context.configuration = configuration ? &*configuration : nullptr;
        context.stateFolder = session->stateFolder;
        context.table = &session->table;
        context.problems = &problems;
        for (auto& backend : session->backends) {
            if (Error e = backend->start(context)) {
                for (auto& started : session->backends) {
                    started->shutDown();
                }
                return report(where, e);
            }
        }

        if (configuration) {
            for (const auto& section : configuration->sections) {
                bool known = isFaultSection(section.name);
                for (const auto& backend : session->backends) {
                    known = known || backend->ownsSection(section.name);
                }
                if (!known) {
                    problems.push_back(
                        iniProblem(*configuration, section.line,
                                   "unknown section [" + section.name + "]; it is ignored"));
                }
            }
            loadCallFaults(*configuration, problems);
        }

        for (const auto& p : problems) {
            std::fprintf(stderr, "libStarBurn: %s\n", p.c_str());
        }
        copyText(pExceptionText, ulExceptionTextSize, joinProblems(problems));

        std::lock_guard lock(g_sessionMutex);
        g_session = std::move(session);
        return SB_EXCEPTION_NONE;
    });
}

STARBURN_API void StarBurn_DownShut(void) {
    if (deferShutDownToEndOfWrites()) {
        return;
    }
    std::lock_guard startLock(g_startMutex);
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(g_sessionMutex);
        session = std::move(g_session);
    }
    // Grabbers cancel their writes and wait for them before the drives go.
    unregisterAllObjects();
    if (session) {
        for (const auto& entry : session->table.all()) {
            entry->device->shutDown();
        }
        for (auto& backend : session->backends) {
            backend->shutDown();
        }
    }
    clearCallFaults(false);
    clearAbortedWaits();
}

STARBURN_API uint8_t StarBurn_FindDevice(uint8_t ucScsiDeviceType, uint32_t /*ulFlags*/,
                                         PCALLBACK pCallback, void* pContext) {
    return guarded(Report{}, [&]() -> uint8_t {
        auto session = currentSession();
        if (!session) {
            return SB_EXCEPTION_NOT_STARTED;
        }
        if (pCallback == nullptr) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        if (auto fault = takeCallFault("StarBurn_FindDevice", "")) {
            return fault->exception;
        }
        // Every drive of every backend is a CD/DVD drive (peripheral type 5).
        constexpr uint8_t kCdDvdDevice = 5;
        if (ucScsiDeviceType != kCdDvdDevice) {
            return SB_EXCEPTION_NONE;
        }
        // The table is fixed while the session runs, so no lock is held while
        // the callback opens and probes each drive.
        for (const auto& entry : session->table.all()) {
            SB_DEVICE_ADDRESS address = entry->address;
            invokeCallback(pCallback, SB_REASON_DEVICE_FOUND, pContext, &address, nullptr);
        }
        return SB_EXCEPTION_NONE;
    });
}

STARBURN_API uint8_t StarBurn_GetDeviceNameByDeviceAddress(uint8_t ucPortID, uint8_t ucBusID,
                                                           uint8_t ucTargetID, uint8_t ucLUN,
                                                           char* pDeviceName) {
    return guarded(Report{}, [&]() -> uint8_t {
        auto session = currentSession();
        if (!session) {
            return SB_EXCEPTION_NOT_STARTED;
        }
        if (pDeviceName == nullptr) {
            return SB_EXCEPTION_INVALID_PARAMETER;
        }
        if (auto fault = takeCallFault("StarBurn_GetDeviceNameByDeviceAddress", "")) {
            return fault->exception;
        }
        auto entry = session->table.byAddress(ucPortID, ucBusID, ucTargetID, ucLUN);
        if (!entry || entry->driveLetter == 0) {
            return SB_EXCEPTION_NO_DEVICE;
        }
        const char name[] = {'\\', '\\', '.', '\\', entry->driveLetter, ':', '\0'};
        std::memcpy(pDeviceName, name, sizeof name);
        return SB_EXCEPTION_NONE;
    });
}

STARBURN_API void StarBurn_SetFastReadTOC(uint8_t bFastReadTOC) {
    g_fastReadToc = bFastReadTOC != 0;
}

STARBURN_API void StarBurn_Destroy(void** ppObject) {
    if (ppObject == nullptr) {
        return;
    }
    if (auto object = unregisterObject(*ppObject)) {
        object->shutDown();
    }
    *ppObject = nullptr;
}

} // extern "C"

namespace starburn {
bool fastReadToc() {
    return g_fastReadToc.load();
}
} // namespace starburn
