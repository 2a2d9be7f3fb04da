// SPDX-License-Identifier: GPL-2.0-or-later
// A problem report: one .tar.gz a user sends in when a burn went wrong, with
// what a developer needs to see why: the diagnostic log, libburn's messages,
// the drives with their vendor, product and firmware, the program's version,
// the lines the user saw, and the settings, all with the user's home folder
// and name left out.
#pragma once

#include <string>
#include <vector>

// One drive as the last device search found it.
struct TsbReportDrive {
    std::string Name;    // CdRom0
    std::string Letter;  // E:
    std::string Address; // 1:0:0:0
    std::string Vendor;
    std::string Product;
    std::string Firmware; // the product revision
    std::string State;    // available, busy, mounted, forbidden
    std::string Disc;     // the disc type, or empty
    std::string Note;     // why the drive cannot be used, or empty
};

struct TsbProblemReport {
    // "Tavrin 1.0.0", "tavrin-burn 1.0.0".
    std::string Program;
    std::vector<TsbReportDrive> Drives;
    // What the user saw of this run: the wizard's log, the terminal's lines.
    std::vector<std::string> RunLog;
    // Settings files beyond the engine's own (the registry file, the
    // library's configuration): the wizard's remembered choices.
    std::vector<std::string> SettingsFiles;
};

// Writes the report to Path, replacing a file there only once the whole
// report is written. Raises EsbError with a text for the user when it cannot.
void WriteProblemReport(const std::string& Path, const TsbProblemReport& Report);

// Text with Home ("/home/ann") shown as "~" and the user's name (as a whole
// word) as "<user>"; either may be empty.
std::string WithoutUserPaths(const std::string& Text, const std::string& Home,
                             const std::string& User);

// "tavrin-report-20261208-143012.tar.gz", the name offered for a report made now.
std::string ProposedReportFileName();
