// SPDX-License-Identifier: GPL-2.0-or-later
// The drives of the last device search, as a problem report lists them: the
// search remembers them, so a report made after a failure (or after the
// library has stopped) still names every drive with its firmware.
#pragma once

#include "devices/sbDeviceList.h"
#include "engine/sbProblemReport.h"

#include <vector>

// Called when a search has ended.
void RememberDrivesForReport(const TsbDeviceList& Devices);
// Empty when no search ran.
std::vector<TsbReportDrive> RememberedDrives();
