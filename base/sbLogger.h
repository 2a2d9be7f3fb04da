// SPDX-License-Identifier: GPL-2.0-or-later
// The diagnostic log: one timestamped line per entry in a file beside the
// executable (or in the user's state folder when an installed program's
// folder may not be written), switched on from the registry. It records every library call
// and every failure, so a user can send it in when a burn goes wrong.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

class TsbLogger {
public:
    // Reads LogEnabled (Boolean, default off) and LogLevel (integer, default
    // 0) from HKEY_LOCAL_MACHINE\Software\Korvath, section
    // StarBurnVelmarSample (platform/sbRegistry.h).
    TsbLogger();

    TsbLogger(const TsbLogger&) = delete;
    TsbLogger& operator=(const TsbLogger&) = delete;

    // Stored only: no line is filtered by it.
    int32_t Level() const { return m_level; }
    bool Enabled() const { return m_enabled; }

    // The executable's folder + its base name + ".log" (/opt/a.b.exe logs to
    // /opt/a.b.log); when that folder exists but may not be written (an
    // installed program), $XDG_STATE_HOME/tavrin/ (~/.local/state/tavrin/) +
    // the base name + ".log". Worked out on first use, then kept. After that
    // file failed: the fallback file (FallbackLogFileName) the log went on in.
    std::string LogFileName();

    // Appends "hh:nn:ss.zzz: Message" (local time) when enabled; does nothing
    // otherwise. Lines from different threads are written one at a time and
    // never interleave.
    //
    // Never raises: a log that cannot be written must not stop the operation
    // it records (a session left open, a disc left in). The first failure is
    // reported once, on standard error and in a message box (front-end hook,
    // shown on the calling thread), and the log goes on in the fallback file;
    // when that cannot be written either, logging stops.
    void Log(std::string_view message);

private:
    std::string logFileNameLocked();
    // After a failed write of line: moves to the fallback file (or stops)
    // and returns the report for the user, empty when one was made already.
    std::string switchLocked(const std::string& failure, const std::string& line);

    int32_t m_level = 0;
    bool m_enabled = false;
    std::mutex m_mutex;
    std::string m_logFileName;
    std::string m_logFolder; // the state folder still to be made, if the log goes there
    bool m_stopped = false;
    bool m_reported = false;
};

// $XDG_STATE_HOME/tavrin/tavrin.log ($HOME/.local/state/... without it), or
// empty when neither is set to an absolute path.
std::string FallbackLogFileName();

// The one logger, created on first use and living to the end of the program.
TsbLogger& Logger();

// "hh:nn:ss.zzz: Message" for the given moment in local time.
std::string FormatLogLine(std::chrono::system_clock::time_point time, std::string_view message);
