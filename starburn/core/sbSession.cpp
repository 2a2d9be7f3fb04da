// The library session: version, start-up and shut-down.
#include "starburn/StarBurn.h"
#include "starburn/core/sbHandles.h"

#include <atomic>
#include <cstring>

namespace {
std::atomic<bool> g_started{false};
}

extern "C" {

STARBURN_API uint32_t StarBurn_GetVersion(void) {
    return STARBURN_VERSION;
}

STARBURN_API uint8_t StarBurn_UpStartEx(const char* /*pConfigurationFile*/, char* pExceptionText,
                                        uint32_t ulExceptionTextSize) {
    if (pExceptionText != nullptr && ulExceptionTextSize > 0) {
        pExceptionText[0] = '\0';
    }
    g_started = true;
    return SB_EXCEPTION_NONE;
}

STARBURN_API void StarBurn_DownShut(void) {
    starburn::unregisterAllObjects();
    g_started = false;
}

STARBURN_API void StarBurn_Destroy(void** ppObject) {
    if (ppObject == nullptr) {
        return;
    }
    starburn::unregisterObject(*ppObject);
    *ppObject = nullptr;
}

} // extern "C"
