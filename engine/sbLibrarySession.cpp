// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbLibrarySession.h"

#include "base/sbConst.h"
#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbStrUtils.h"
#include "engine/sbLibraryMessages.h"
#include "platform/sbSystem.h"
#include "starburn/StarBurn.h"

TsbLibrarySession::TsbLibrarySession()
    : TsbLibrarySession(TsbLibraryEntryPoints{&StarBurn_UpStartEx, &StarBurn_DownShut}) {}

TsbLibrarySession::TsbLibrarySession(TsbLibraryEntryPoints entryPoints)
    : m_entryPoints(entryPoints) {}

void TsbLibrarySession::StartLibrary() {
    if (m_libraryStarted) {
        return;
    }
    // Before the start: the drives' software speaks while the library finds them.
    InstallLibraryMessageHandler();
    char exceptionText[kExceptionTextSize] = {};
    // No configuration file: the library reads the one its environment names,
    // or uses its built-in recorders. The failure names the exception alone.
    const TsbCallResult result =
        LibraryCall("StarBurn_UpStartEx", {"StarBurn_UpStartEx() failed, exception %d"}, [&] {
            return m_entryPoints.UpStartEx(nullptr, exceptionText, sizeof exceptionText);
        });
    if (result.Failed()) {
        const std::string& text = result.FailureText;
        const std::string reason = BufferToStr(exceptionText, sizeof exceptionText);
        if (!reason.empty()) {
            Logger().Log(reason);
            platform::OutputDebugString(text + ": " + reason);
        }
        throw EsbError(text);
    }
    m_libraryStarted = true;
}

void TsbLibrarySession::ShutDownLibrary() {
    try {
        LibraryCall("StarBurn_DownShut", [&] { m_entryPoints.DownShut(); });
    } catch (...) {
        // Nothing can be done about a library that fails to stop; the program
        // is closing its window either way.
    }
    m_libraryStarted = false;
}
