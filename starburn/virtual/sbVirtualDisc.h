// SPDX-License-Identifier: GPL-2.0-or-later
// A virtual disc: its kind, sessions and tracks, and the information blocks
// a drive answers about it. Pure bookkeeping; the recorder keeps its bytes.
#pragma once

#include "ini/sbIni.h"
#include "starburn/StarBurn.h"
#include "starburn/virtual/sbVirtualConfig.h"

#include <cstdint>
#include <string>
#include <vector>

namespace starburn::virt {

constexpr uint32_t kBlockSize = 2048;
constexpr uint32_t kMaxTracks = 99;

struct Track {
    uint32_t number = 0;  // from 1
    uint32_t session = 0; // from 1
    uint32_t start = 0;   // LBA
    uint32_t blocks = 0;
    bool damaged = false;
};

class Disc {
public:
    // An empty tray.
    Disc() = default;

    // A disc as the configuration describes it.
    static Disc fromConfig(const DiscConfig& config);
    // A fresh blank disc of a kind.
    static Disc blank(uint8_t type, uint32_t capacity);

    bool present() const { return type_ != DISC_TYPE_NO_MEDIA; }
    uint8_t type() const { return type_; }
    uint32_t capacity() const { return capacity_; }
    const DiscKind* kind() const { return discKindByType(type_); }
    const std::vector<Track>& tracks() const { return tracks_; }

    bool isBlank() const { return present() && tracks_.empty() && !complete_ && !damaged_; }
    bool isComplete() const { return complete_; }
    bool isDamaged() const { return damaged_; }
    bool hasOpenSession() const { return sessionOpen_; }
    bool pressed() const;
    // Blank or appendable: a write may go on it.
    bool writable() const;

    uint32_t nextWritable() const;
    uint32_t freeBlocks() const;
    uint64_t usedBytes() const;

    // Adds the tracks of a write (blocks each) starting at nextWritable().
    // A Track-At-Once write opens or extends a session; the other methods
    // write a session of their own.
    void addTrackAtOnce(uint32_t blocks, bool multiSession);
    void addSession(const std::vector<uint32_t>& blocks, bool close, bool multiSession);
    // A write failed after it had begun: what it wrote stays, marked damaged.
    void addDamaged(uint32_t blocks);

    // A write to the disc has begun (saved before its first byte, so a crash
    // shows), or has ended either way. addDamaged ends it too.
    void beginWrite() { writeInProgress_ = true; }
    void endWrite() { writeInProgress_ = false; }
    bool writeInterrupted() const { return writeInProgress_; }

    // Closes the open session. False when none is open.
    bool closeSession();

    void fill(SB_DISC_INFORMATION& out) const;
    // False when the track does not exist.
    bool fill(uint32_t trackNumber, SB_TRACK_INFORMATION& out) const;
    void fill(SB_TOC_INFORMATION& out) const;

    // The disc as a state file, and back. parse returns false with error
    // when the text does not describe a disc.
    std::string serialize() const;
    static bool parse(const sbini::IniDocument& doc, Disc& out, std::string& error);

private:
    uint32_t sessionCount() const; // sessions holding tracks
    uint32_t nextSessionNumber() const;

    uint8_t type_ = DISC_TYPE_NO_MEDIA;
    uint32_t capacity_ = 0;
    std::vector<Track> tracks_;
    bool sessionOpen_ = false;  // the last session holds tracks and is open
    bool finalOnClose_ = false; // closing it completes the disc
    bool complete_ = false;
    bool damaged_ = false;
    bool writeInProgress_ = false;
};

} // namespace starburn::virt
