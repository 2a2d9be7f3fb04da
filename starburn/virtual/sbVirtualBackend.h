// SPDX-License-Identifier: GPL-2.0-or-later
// The virtual recorders as a backend of the library.
#pragma once

#include "starburn/virtual/sbVirtualRecorder.h"

#include <memory>
#include <string_view>

namespace starburn::virt {

// The virtual recorder behind a device name ("CdRom0") of the running
// session, or null when there is none (or the drive belongs to another backend).
std::shared_ptr<Recorder> findRecorder(std::string_view deviceName);

} // namespace starburn::virt
