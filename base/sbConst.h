// SPDX-License-Identifier: GPL-2.0-or-later
// Constants shared by the device code and the engine.
#pragma once

#include "base/sbTypes.h"
#include "starburn/StarBurn.h"

#include <cstddef>
#include <cstdint>

// The library version this program was written against.
inline constexpr uint32_t kExpectedStarBurnVersion = 0x20080820u;
static_assert(kExpectedStarBurnVersion == STARBURN_VERSION);

// Every grabber call gets an exception-text buffer of this size.
inline constexpr size_t kExceptionTextSize = 1024;
// The failure-information block handed to grabber calls; the library needs
// at least SB_FAILURE_INFO_SIZE bytes, the burner keeps 64.
inline constexpr size_t kFailureInfoSize = 64;
static_assert(kFailureInfoSize >= SB_FAILURE_INFO_SIZE);
// The status a grabber-create call starts from, so a failure that sets none
// is recognisable.
inline constexpr uint32_t kStatusBeforeCreate = 31;

// The registry values of the diagnostic log.
inline constexpr const char* kRegistryKey = "Software\\Korvath";
inline constexpr const char* kRegistrySection = "StarBurnVelmarSample";
inline constexpr const char* kRegistryLogEnabled = "LogEnabled";
inline constexpr const char* kRegistryLogLevel = "LogLevel";
