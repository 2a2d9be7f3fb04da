// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbLibraryMessages.h"

#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/format.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

// A report needs the messages around a failure, not a whole day's.
constexpr std::size_t kKeptLines = 4000;

struct TKept {
    std::mutex Mutex;
    std::deque<std::string> Lines;
};

TKept& kept() {
    static TKept k;
    return k;
}

void onMessage(uint32_t kind, const char* severity, uint32_t code, int32_t osErrno,
               const char* text, void* /*context*/) {
    // The library stops at nothing it calls: nothing may escape into it.
    try {
        const std::string line = LibraryMessageLine(kind, severity != nullptr ? severity : "", code,
                                                    osErrno, text != nullptr ? text : "");
        Logger().Log(line);
        TKept& k = kept();
        std::lock_guard lock(k.Mutex);
        k.Lines.push_back(FormatLogLine(std::chrono::system_clock::now(), line));
        if (k.Lines.size() > kKeptLines) {
            k.Lines.pop_front();
        }
    } catch (...) {
    }
}

bool debugWanted() {
    const char* value = std::getenv("TAVRIN_LIBBURN_DEBUG");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

} // namespace

void InstallLibraryMessageHandler() {
    LibraryCall("StarBurn_SetMessageHandler",
                [] { StarBurn_SetMessageHandler(&onMessage, nullptr, debugWanted() ? 1 : 0); });
}

std::string LibraryMessageLine(uint32_t Kind, const std::string& Severity, uint32_t Code,
                               int32_t OsErrno, const std::string& Text) {
    const char* kind = Kind == SB_MESSAGE_ERROR     ? "error"
                       : Kind == SB_MESSAGE_WARNING ? "warning"
                                                    : "debug";
    const std::string error = OsErrno != 0 ? fmt::format(" (errno {})", OsErrno) : std::string();
    return fmt::format("libburn {}: {} 0x{:08X}{}: {}", kind, Severity, Code, error, Text);
}

std::vector<std::string> RecentLibraryMessages() {
    TKept& k = kept();
    std::lock_guard lock(k.Mutex);
    return {k.Lines.begin(), k.Lines.end()};
}
