// SPDX-License-Identifier: GPL-2.0-or-later
// The disc library's session: started once, when the wizard first needs a
// device, and shut down when the wizard's main window goes away (after the
// burner has let go of its device). The main window owns one session.
#pragma once

#include <cstdint>

// The two library entry points a session uses; a test hands in its own.
struct TsbLibraryEntryPoints {
    uint8_t (*UpStartEx)(const char* configurationFile, char* exceptionText,
                         uint32_t exceptionTextSize);
    void (*DownShut)();
};

class TsbLibrarySession {
public:
    TsbLibrarySession();
    explicit TsbLibrarySession(TsbLibraryEntryPoints entryPoints);

    // True once StartLibrary has succeeded, until ShutDownLibrary.
    bool LibraryStarted() const { return m_libraryStarted; }

    // Starts the library unless it runs already. On failure raises EsbError
    // "StarBurn_UpStartEx() failed, exception <n>" (the library's own reason
    // goes to the diagnostic log and the debugger output) and stays stopped,
    // so the next call tries again.
    void StartLibrary();

    // Shuts the library down, whether or not it was started; never raises.
    // The session does not shut down by itself: its owner calls this once the
    // devices are released.
    void ShutDownLibrary();

private:
    TsbLibraryEntryPoints m_entryPoints;
    bool m_libraryStarted = false;
};
