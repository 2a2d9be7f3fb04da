// SPDX-License-Identifier: GPL-2.0-or-later
// Named-call faults for tests: make a StarBurn_* call fail with a chosen
// exception number, status and text, on one drive or on any. Armed through
// the configuration ([Fault NAME] sections) or StarBurnTesting_FailCall.
#pragma once

#include "ini/sbIni.h"
#include "starburn/core/sbFailure.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace starburn {

struct CallFault {
    std::string function; // "StarBurn_CdvdBurnerGrabber_GetSpeeds"
    std::string device;   // "CdRom0", or empty for every drive
    uint8_t exception = 1;
    uint32_t status = 0;
    std::string text;
    uint32_t count = 1; // calls left to fail; 0 fails every call until cleared
    bool fromConfiguration = false;
};

// True for the name of a StarBurn_* function that returns an exception number.
bool isFaultableFunction(std::string_view function);

void armCallFault(CallFault fault);

// The failure the named call has to report now, if a fault is armed for it
// (and the drive, when the call works on one). Uses up one count.
std::optional<Error> takeCallFault(std::string_view function, std::string_view device);

// Forgets faults: every one, or only those the configuration armed; every
// one also lets a held call go.
void clearCallFaults(bool configurationOnly);

// A hold stops the next named call (on the drive, or on any when `device` is
// empty) at holdCallForTest, where it has its drive to itself and is about to
// act, until releaseHeldCall: a test can then put another call exactly there.
void armCallHold(std::string function, std::string device);
void holdCallForTest(std::string_view function, std::string_view device);
// True once an armed hold has stopped its call; false after `milliseconds`.
bool awaitHeldCall(uint32_t milliseconds);
// Lets a held call go on and disarms a hold not yet reached.
void releaseHeldCall();

// Arms the faults of the configuration's [Fault NAME] sections; a section it
// cannot read is a problem "file:line: text".
void loadCallFaults(const sbini::IniDocument& configuration, std::vector<std::string>& problems);

// True for a configuration section that loadCallFaults reads.
bool isFaultSection(std::string_view sectionName);

} // namespace starburn
