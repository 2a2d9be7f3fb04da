// SPDX-License-Identifier: GPL-2.0-or-later
// The one reader of an ISO9660 primary volume descriptor (ECMA-119 8.4), the
// block 16 of a disc or an image: both backends take a disc's label from it,
// and StarBurn_ReadPrimaryVolumeDescriptor hands it to the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace starburn {

// Block 16 of a volume, where its primary volume descriptor stands.
constexpr uint32_t kPrimaryVolumeDescriptorBlock = 16;

struct PrimaryVolume {
    bool isPrimary = false;
    std::string identifier; // printable, without its padding blanks
    uint32_t spaceBlocks = 0;
    uint16_t blockSize = 0;
};

// The descriptor in the first size bytes of block (not a descriptor: all
// empty). A block cut short is read as far as it goes; it is a descriptor
// when its first 130 bytes, which hold every field here, are there.
PrimaryVolume readPrimaryVolume(const unsigned char* block, size_t size);

} // namespace starburn
