// SPDX-License-Identifier: GPL-2.0-or-later
// The program's handler for the backends' messages. A backend reads its
// messages for its own failure texts; every one it reads passes through here
// too, so the program's log holds what the drive software said.
#include "starburn/core/sbMessages.h"

#include "starburn/StarBurnLinux.h"

#include <mutex>

namespace starburn {
namespace {

struct Handler {
    std::mutex mutex;
    PSB_MESSAGE_HANDLER function = nullptr;
    void* context = nullptr;
    bool debug = false;
};

Handler& handler() {
    static Handler h;
    return h;
}

} // namespace

void deliverMessage(MessageKind kind, const std::string& severity, int code, int osErrno,
                    const std::string& text) {
    Handler& h = handler();
    // Held while the handler runs: a handler being replaced is never called
    // after the call that replaced it has returned.
    std::lock_guard lock(h.mutex);
    if (h.function == nullptr || (kind == MessageKind::debug && !h.debug)) {
        return;
    }
    h.function(static_cast<uint32_t>(kind), severity.c_str(), static_cast<uint32_t>(code),
               static_cast<int32_t>(osErrno), text.c_str(), h.context);
}

} // namespace starburn

extern "C" STARBURN_API void StarBurn_SetMessageHandler(PSB_MESSAGE_HANDLER pHandler,
                                                        void* pContext, uint8_t bDebug) {
    starburn::Handler& h = starburn::handler();
    std::lock_guard lock(h.mutex);
    h.function = pHandler;
    h.context = pContext;
    h.debug = bDebug != 0;
}
