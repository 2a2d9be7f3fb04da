// SPDX-License-Identifier: GPL-2.0-or-later
// What the virtual recorder's source files share: the answers a drive gives
// with their sense data, the clock of paced writes and reads, and block counts.
#pragma once

#include "starburn/core/sbDevice.h"
#include "starburn/core/sbVolumeDescriptor.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace starburn::virt {

using Clock = std::chrono::steady_clock;

// Sense data of the answers a drive gives.
Error notReady(const std::string& text);
Error incompatibleMedium(const std::string& text);
Error invalidField(uint8_t exception, const std::string& text);
// In 64 bits: an image of 8 TiB is 2^32 blocks, not none.
uint64_t blocksOf(uint64_t bytes);
// The primary volume descriptor at block 16 of a contents file.
PrimaryVolume primaryVolumeOf(int fd);

} // namespace starburn::virt
