// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbLogger.h"

#include "base/sbConst.h"
#include "base/sbFrontEnd.h"
#include "base/sbStrUtils.h"
#include "base/sbUtils.h"
#include "platform/sbRegistry.h"
#include "platform/sbSystem.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fmt/printf.h>

TsbLogger::TsbLogger() {
    platform::TRegistryIniFile registry(platform::kLocalMachine);
    registry.OpenKey(kRegistryKey);
    m_enabled = registry.ReadBool(kRegistrySection, kRegistryLogEnabled, false);
    m_level = registry.ReadInteger(kRegistrySection, kRegistryLogLevel, 0);
}

std::string TsbLogger::logFileNameLocked() {
    if (m_logFileName.empty()) {
        const std::string executable = platform::GetExecutablePath();
        const size_t slash = executable.rfind('/');
        const std::string folder =
            slash == std::string::npos ? std::string() : executable.substr(0, slash + 1);
        const std::string base = ExtractFileBaseName(executable) + ".log";
        m_logFileName = folder + base;
        // An installed program's folder belongs to root: the log goes to the
        // user's state folder instead, where a user finds it to send it in.
        if (!platform::IsFolderWritable(folder)) {
            const std::string state = platform::UserStateFolder();
            if (!state.empty()) {
                m_logFolder = state + "/tavrin";
                m_logFileName = m_logFolder + "/" + base;
            }
        }
    }
    return m_logFileName;
}

std::string TsbLogger::LogFileName() {
    std::lock_guard lock(m_mutex);
    return logFileNameLocked();
}

void TsbLogger::Log(std::string_view message) {
    if (!m_enabled) {
        return;
    }
    const std::string line = FormatLogLine(std::chrono::system_clock::now(), message);
    std::string report;
    {
        // The device search, the burn thread and the main thread all log; one
        // writer at a time keeps every line whole and in the order written.
        std::lock_guard lock(m_mutex);
        if (m_stopped) {
            return;
        }
        try {
            const std::string fileName = logFileNameLocked();
            if (!m_logFolder.empty()) {
                // Made on the first line, so a program that never logs leaves no trace.
                std::error_code ignored;
                std::filesystem::create_directories(m_logFolder, ignored);
                m_logFolder.clear();
            }
            AppendLineToFile(fileName, line);
            return;
        } catch (const std::exception& e) {
            report = switchLocked(e.what(), line);
        }
    }
    if (report.empty()) {
        return;
    }
    // Outside the lock: the window thread, which logs too, shows the box.
    std::fprintf(stderr, "Tavrin: %s\n", report.c_str());
    ShowMessageBox(report, "Diagnostic log", TsbMessageBoxKind::mbkWarning);
}

std::string TsbLogger::switchLocked(const std::string& failure, const std::string& line) {
    const std::string fallback = FallbackLogFileName();
    std::string outcome;
    if (!fallback.empty() && fallback != m_logFileName) {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(fallback).parent_path();
        std::filesystem::create_directories(folder, ec);
        try {
            AppendLineToFile(fallback, line);
            outcome = "The diagnostic log goes on in \"" + fallback + "\".";
            m_logFileName = fallback;
        } catch (const std::exception& e) {
            outcome = std::string(e.what()) + "\nThe diagnostic log stops here.";
            m_stopped = true;
        }
    } else {
        outcome = "The diagnostic log stops here.";
        m_stopped = true;
    }
    if (m_reported) {
        std::fprintf(stderr, "Tavrin: %s\n%s\n", failure.c_str(), outcome.c_str());
        return {};
    }
    m_reported = true;
    return failure + "\n" + outcome;
}

std::string FallbackLogFileName() {
    const std::string state = platform::UserStateFolder();
    return state.empty() ? std::string() : state + "/tavrin/tavrin.log";
}

TsbLogger& Logger() {
    static TsbLogger logger;
    return logger;
}

std::string FormatLogLine(std::chrono::system_clock::time_point time, std::string_view message) {
    using namespace std::chrono;
    const std::time_t seconds = system_clock::to_time_t(time);
    std::tm parts{};
    ::localtime_r(&seconds, &parts);
    auto milliseconds = duration_cast<std::chrono::milliseconds>(time.time_since_epoch()) % 1000;
    if (milliseconds.count() < 0) {
        milliseconds += std::chrono::milliseconds(1000);
    }
    return fmt::sprintf("%02d:%02d:%02d.%03d: %s", parts.tm_hour, parts.tm_min, parts.tm_sec,
                        static_cast<int>(milliseconds.count()), message);
}
