// SPDX-License-Identifier: GPL-2.0-or-later
// The description of virtual recorders: read from the configuration's
// [Recorder ID] and [Virtual] sections, or from the built-in set.
#pragma once

#include "ini/sbIni.h"
#include "starburn/StarBurn.h"
#include "starburn/core/sbDevice.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace starburn::virt {

// A kind of disc the virtual recorders know.
struct DiscKind {
    uint8_t type;      // DISC_TYPE
    const char* name;  // "DVD+R", as written in the configuration
    bool dvd;          // DVD speeds apply
    bool recordable;   // false for pressed discs (CD-ROM, DVD-ROM)
    bool erasable;     // rewritable media
    uint32_t capacity; // 2048-byte blocks of a common disc of the kind
};

const DiscKind* discKindByName(std::string_view name);
const DiscKind* discKindByType(uint8_t type);
std::string discKindNames(); // "CD-ROM, CD-R, ..." for messages

// Whether a drive with these facts reads / writes a disc kind.
bool readsKind(const DeviceFacts& facts, const DiscKind& kind);
bool writesKind(const DeviceFacts& facts, const DiscKind& kind);

enum class InitialState { Blank, Appendable, Complete };

// The disc a recorder holds when the library first starts (and the kind an
// eject replaces a written disc with).
struct DiscConfig {
    uint8_t type = DISC_TYPE_NO_MEDIA;
    uint32_t capacity = 0; // blocks
    InitialState state = InitialState::Blank;
    uint32_t usedBlocks = 0; // written before, for non-blank discs
};

struct RecorderConfig {
    std::string id; // letters, digits, '-' and '_': also its folder under the state folder
    int line = 0;
    std::string deviceName; // "CdRomN" or empty
    std::optional<SB_DEVICE_ADDRESS> address;
    char driveLetter = 0;

    DeviceFacts facts;
    RegionInfo region;
    bool bupEnabled = false;
    // KB/s, ascending.
    std::vector<uint32_t> cdWriteSpeeds;
    std::vector<uint32_t> dvdWriteSpeeds;
    std::vector<uint32_t> cdReadSpeeds;
    std::vector<uint32_t> dvdReadSpeeds;

    DiscConfig disc;

    // Faults for tests: every write fails at this byte (write error), or the
    // disc is taken out at that byte; a limit on the write rate.
    std::optional<uint64_t> failWriteAtByte;
    std::optional<uint64_t> takeDiscOutAtByte;
    uint64_t writeLimit = 0; // bytes per second, 0 for none
    // Faults for verification tests: reading this block fails with a medium
    // error; this byte of every successful write (counted from the write's
    // first byte) is flipped on the disc right after the write.
    std::optional<uint32_t> readErrorAtBlock;
    std::optional<uint64_t> corruptAfterWrite;
};

struct VirtualConfig {
    double timeFactor = 1.0; // 1: as long as a real drive takes; 0: as fast as the disk allows
    bool builtInRecorders = true;
    std::vector<RecorderConfig> recorders;
};

// The built-in set, as configuration text (documented in the README).
extern const char* const kBuiltInRecorders;

// Reads the virtual recorders' part of a configuration. Recorders with an
// invalid setting are left out; every problem is "file:line: text".
VirtualConfig readVirtualConfig(const sbini::IniDocument* configuration,
                                std::vector<std::string>& problems);

// True for the sections readVirtualConfig reads.
bool isVirtualSection(std::string_view sectionName);

// True when id can name a recorder's folder: 1 to 64 of A-Z a-z 0-9 - _,
// starting with a letter or digit, and not "ejected". Nothing else can reach
// the file system.
bool isSafeId(std::string_view id);

// KB/s of an x-factor: CD 1x = 176.4 KB/s, DVD 1x = 1385 KB/s.
uint32_t cdSpeed(double factor);
uint32_t dvdSpeed(double factor);

} // namespace starburn::virt
