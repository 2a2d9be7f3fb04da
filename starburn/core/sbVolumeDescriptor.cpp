// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/core/sbVolumeDescriptor.h"

#include <cstring>

namespace starburn {
namespace {

// Where the fields stand; numbers are recorded in both byte orders, and the
// little-endian half is read.
constexpr size_t kIdentifier = 40;
constexpr size_t kIdentifierLength = 32;
constexpr size_t kVolumeSpaceSize = 80;
constexpr size_t kLogicalBlockSize = 128;
constexpr size_t kFieldsEnd = kLogicalBlockSize + 2;

uint32_t littleEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

PrimaryVolume readPrimaryVolume(const unsigned char* block, size_t size) {
    PrimaryVolume volume;
    if (block == nullptr || size < kFieldsEnd || block[0] != 1 ||
        std::memcmp(block + 1, "CD001", 5) != 0) {
        return volume;
    }
    volume.isPrimary = true;
    for (size_t i = kIdentifier; i < kIdentifier + kIdentifierLength; ++i) {
        const unsigned char c = block[i];
        volume.identifier += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : ' ';
    }
    while (!volume.identifier.empty() && volume.identifier.back() == ' ') {
        volume.identifier.pop_back();
    }
    volume.spaceBlocks = littleEndian32(block + kVolumeSpaceSize);
    volume.blockSize =
        static_cast<uint16_t>(block[kLogicalBlockSize] | block[kLogicalBlockSize + 1] << 8);
    return volume;
}

} // namespace starburn
