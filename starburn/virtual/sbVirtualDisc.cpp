// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/virtual/sbVirtualDisc.h"

#include "ini/sbIni.h"

#include <cstring>

namespace starburn::virt {

using namespace sbini;

Disc Disc::fromConfig(const DiscConfig& config) {
    Disc d;
    if (config.type == DISC_TYPE_NO_MEDIA || discKindByType(config.type) == nullptr) {
        return d;
    }
    d.type_ = config.type;
    d.capacity_ = config.capacity;
    if (config.state != InitialState::Blank && config.usedBlocks > 0) {
        d.tracks_.push_back({1, 1, 0, config.usedBlocks, false});
        d.complete_ = config.state == InitialState::Complete;
    }
    return d;
}

Disc Disc::blank(uint8_t type, uint32_t capacity) {
    Disc d;
    d.type_ = type;
    d.capacity_ = capacity;
    return d;
}

bool Disc::pressed() const {
    const DiscKind* k = kind();
    return k != nullptr && !k->recordable;
}

bool Disc::writable() const {
    return present() && !pressed() && !complete_ && !damaged_ && nextWritable() < capacity_ &&
           tracks_.size() < kMaxTracks;
}

uint32_t Disc::nextWritable() const {
    return tracks_.empty() ? 0 : tracks_.back().start + tracks_.back().blocks;
}

uint32_t Disc::freeBlocks() const {
    return writable() ? capacity_ - nextWritable() : 0;
}

uint64_t Disc::usedBytes() const {
    uint64_t blocks = 0;
    for (const auto& t : tracks_) {
        blocks += t.blocks;
    }
    return blocks * kBlockSize;
}

uint32_t Disc::sessionCount() const {
    return tracks_.empty() ? 0 : tracks_.back().session;
}

uint32_t Disc::nextSessionNumber() const {
    return sessionOpen_ ? sessionCount() : sessionCount() + 1;
}

void Disc::addTrackAtOnce(uint32_t blocks, bool multiSession) {
    const uint32_t session = nextSessionNumber();
    tracks_.push_back(
        {static_cast<uint32_t>(tracks_.size() + 1), session, nextWritable(), blocks, false});
    sessionOpen_ = true;
    finalOnClose_ = !multiSession;
}

void Disc::addSession(const std::vector<uint32_t>& blocks, bool close, bool multiSession) {
    const uint32_t session = nextSessionNumber();
    for (uint32_t b : blocks) {
        tracks_.push_back(
            {static_cast<uint32_t>(tracks_.size() + 1), session, nextWritable(), b, false});
    }
    if (close) {
        sessionOpen_ = false;
        complete_ = !multiSession;
    } else {
        sessionOpen_ = true;
        finalOnClose_ = !multiSession;
    }
}

void Disc::addDamaged(uint32_t blocks) {
    const uint32_t session = nextSessionNumber();
    tracks_.push_back(
        {static_cast<uint32_t>(tracks_.size() + 1), session, nextWritable(), blocks, true});
    sessionOpen_ = false;
    damaged_ = true;
    writeInProgress_ = false;
}

bool Disc::closeSession() {
    if (!sessionOpen_) {
        return false;
    }
    sessionOpen_ = false;
    complete_ = finalOnClose_;
    return true;
}

void Disc::fill(SB_DISC_INFORMATION& out) const {
    std::memset(&out, 0, sizeof out);
    out.Valid = 1;
    const DiscKind* k = kind();
    out.Erasable = (k != nullptr && k->erasable) ? 1 : 0;
    out.DiscTypeCode = (k != nullptr && k->dvd) ? 0xFF : 0x00;
    out.FirstTrackNumber = 1;
    out.LastPossibleLeadOutStart = capacity_;
    const uint32_t lastTrack = static_cast<uint32_t>(tracks_.size());
    if (pressed()) {
        out.DiscStatus = SB_DISC_STATUS_OTHER;
        out.LastSessionStatus = SB_SESSION_STATUS_COMPLETE;
    } else if (isBlank()) {
        out.DiscStatus = SB_DISC_STATUS_BLANK;
        out.LastSessionStatus = SB_SESSION_STATUS_EMPTY;
    } else if (complete_) {
        out.DiscStatus = SB_DISC_STATUS_COMPLETE;
        out.LastSessionStatus = SB_SESSION_STATUS_COMPLETE;
    } else if (damaged_) {
        out.DiscStatus = SB_DISC_STATUS_APPENDABLE;
        out.LastSessionStatus = SB_SESSION_STATUS_DAMAGED;
    } else if (sessionOpen_) {
        out.DiscStatus = SB_DISC_STATUS_APPENDABLE;
        out.LastSessionStatus = SB_SESSION_STATUS_INCOMPLETE;
    } else {
        out.DiscStatus = SB_DISC_STATUS_APPENDABLE;
        out.LastSessionStatus = SB_SESSION_STATUS_EMPTY;
    }
    // As a drive counts: an appendable disc's empty next session counts too,
    // and the last session's tracks include the next, invisible one.
    if (tracks_.empty()) {
        out.NumberOfSessions = 1;
        out.FirstTrackInLastSession = 1;
        out.LastTrackInLastSession = 1;
    } else if (writable() && !sessionOpen_) {
        out.NumberOfSessions = static_cast<uint8_t>(sessionCount() + 1);
        out.FirstTrackInLastSession = static_cast<uint8_t>(lastTrack + 1);
        out.LastTrackInLastSession = static_cast<uint8_t>(lastTrack + 1);
    } else {
        out.NumberOfSessions = static_cast<uint8_t>(sessionCount());
        uint32_t first = lastTrack;
        while (first > 1 && tracks_[first - 2].session == tracks_.back().session) {
            --first;
        }
        out.FirstTrackInLastSession = static_cast<uint8_t>(first);
        out.LastTrackInLastSession = static_cast<uint8_t>(writable() ? lastTrack + 1 : lastTrack);
    }
    out.LastSessionLeadInStart = writable() ? nextWritable() : 0;
}

bool Disc::fill(uint32_t trackNumber, SB_TRACK_INFORMATION& out) const {
    std::memset(&out, 0, sizeof out);
    const uint32_t count = static_cast<uint32_t>(tracks_.size());
    if (trackNumber == SB_TRACK_NUMBER_INVISIBLE || trackNumber == count + 1) {
        // The next track to be written.
        out.Valid = 1;
        out.TrackNumber = static_cast<uint8_t>(count + 1);
        out.SessionNumber = static_cast<uint8_t>(nextSessionNumber());
        out.TrackMode = 4;
        out.DataMode = 1;
        out.TrackStartAddress = nextWritable();
        if (writable()) {
            out.Blank = 1;
            out.NextWritableAddressValid = 1;
            out.NextWritableAddress = nextWritable();
            out.FreeBlocks = freeBlocks();
            out.TrackSize = freeBlocks();
        }
        return true;
    }
    if (trackNumber == 0 || trackNumber > count) {
        return false;
    }
    const Track& t = tracks_[trackNumber - 1];
    out.Valid = 1;
    out.TrackNumber = static_cast<uint8_t>(t.number);
    out.SessionNumber = static_cast<uint8_t>(t.session);
    out.TrackMode = 4;
    out.DataMode = 1;
    out.Damage = t.damaged ? 1 : 0;
    out.TrackStartAddress = t.start;
    out.TrackSize = t.blocks;
    return true;
}

void Disc::fill(SB_TOC_INFORMATION& out) const {
    std::memset(&out, 0, sizeof out);
    if (tracks_.empty()) {
        return; // a blank disc has no table of contents
    }
    out.Valid = 1;
    out.FirstTrackNumber = 1;
    out.LastTrackNumber = static_cast<uint8_t>(tracks_.size());
    out.NumberOfSessions = static_cast<uint8_t>(sessionCount());
    uint32_t first = static_cast<uint32_t>(tracks_.size());
    while (first > 1 && tracks_[first - 2].session == tracks_.back().session) {
        --first;
    }
    out.FirstTrackInLastSession = static_cast<uint8_t>(first);
    out.LeadOutStartAddress = nextWritable();
    out.NumberOfEntries = static_cast<uint32_t>(tracks_.size());
    for (size_t i = 0; i < tracks_.size() && i < SB_TOC_MAX_ENTRIES; ++i) {
        out.Entries[i].SessionNumber = static_cast<uint8_t>(tracks_[i].session);
        out.Entries[i].TrackNumber = static_cast<uint8_t>(tracks_[i].number);
        out.Entries[i].AdrControl = 0x14; // ADR 1 (position), control 4 (data track)
        out.Entries[i].TrackMode = 1;
        out.Entries[i].StartAddress = tracks_[i].start;
    }
}

std::string Disc::serialize() const {
    std::string s = "; The disc in this recorder, kept by libStarBurn. Do not edit.\n[Disc]\n";
    const DiscKind* k = kind();
    s += "Type = " + std::string(k != nullptr ? k->name : "none") + "\n";
    if (!present()) {
        return s;
    }
    s += "Capacity = " + std::to_string(capacity_) + "\n";
    s += std::string("SessionOpen = ") + (sessionOpen_ ? "yes" : "no") + "\n";
    s += std::string("FinalOnClose = ") + (finalOnClose_ ? "yes" : "no") + "\n";
    s += std::string("Complete = ") + (complete_ ? "yes" : "no") + "\n";
    s += std::string("Damaged = ") + (damaged_ ? "yes" : "no") + "\n";
    if (writeInProgress_) {
        s += "WriteInProgress = yes\n";
    }
    for (const auto& t : tracks_) {
        s += "Track = " + std::to_string(t.session) + ", " + std::to_string(t.start) + ", " +
             std::to_string(t.blocks) + ", " + (t.damaged ? "damaged" : "good") + "\n";
    }
    return s;
}

bool Disc::parse(const sbini::IniDocument& doc, Disc& out, std::string& error) {
    const sbini::IniSection* section = nullptr;
    for (const auto& s : doc.sections) {
        if (sameName(s.name, "Disc")) {
            section = &s;
        }
    }
    if (section == nullptr) {
        error = "it has no [Disc] section";
        return false;
    }
    Disc d;
    const sbini::IniEntry* type = section->find("Type");
    if (type == nullptr) {
        error = "it names no disc type";
        return false;
    }
    if (sameName(type->value, "none")) {
        out = Disc();
        return true;
    }
    const DiscKind* kind = discKindByName(type->value);
    if (kind == nullptr) {
        error = "\"" + type->value + "\" is not a disc kind";
        return false;
    }
    d.type_ = kind->type;
    uint64_t n = 0;
    const sbini::IniEntry* capacity = section->find("Capacity");
    if (capacity == nullptr) {
        error = "its capacity is missing";
        return false;
    }
    if (!parseUnsigned(capacity->value, n) || n == 0 || n > 0xFFFFFFFFu) {
        error = iniProblem(doc, capacity->line,
                           "the capacity \"" + capacity->value + "\" is not a number of blocks");
        return false;
    }
    d.capacity_ = static_cast<uint32_t>(n);
    struct Flag {
        const char* key;
        bool* target;
    } flags[] = {{"SessionOpen", &d.sessionOpen_},
                 {"FinalOnClose", &d.finalOnClose_},
                 {"Complete", &d.complete_},
                 {"Damaged", &d.damaged_}};
    for (auto& f : flags) {
        const sbini::IniEntry* e = section->find(f.key);
        if (e == nullptr || !parseBool(e->value, *f.target)) {
            error = std::string("its ") + f.key + " setting is missing or not yes/no";
            return false;
        }
    }
    if (const sbini::IniEntry* e = section->find("WriteInProgress");
        e != nullptr && !parseBool(e->value, d.writeInProgress_)) {
        error = iniProblem(doc, e->line, "WriteInProgress is not yes/no");
        return false;
    }
    for (const auto& e : section->entries) {
        if (!sameName(e.key, "Track")) {
            continue;
        }
        const auto parts = splitList(e.value);
        uint64_t session = 0;
        uint64_t start = 0;
        uint64_t blocks = 0;
        if (parts.size() != 4 || !parseUnsigned(parts[0], session) ||
            !parseUnsigned(parts[1], start) || !parseUnsigned(parts[2], blocks) ||
            (parts[3] != "good" && parts[3] != "damaged")) {
            error = iniProblem(doc, e.line, "\"" + e.value + "\" does not describe a track");
            return false;
        }
        const uint32_t expectedStart = d.nextWritable();
        const uint32_t lastSession = d.tracks_.empty() ? 1 : d.tracks_.back().session;
        // Compared without adding, so no sum wraps past the capacity.
        if (start != expectedStart || blocks == 0 || blocks > d.capacity_ ||
            start > d.capacity_ - blocks || session < lastSession || session > lastSession + 1 ||
            session == 0 || d.tracks_.size() >= kMaxTracks) {
            error =
                iniProblem(doc, e.line, "the track \"" + e.value + "\" does not fit on the disc");
            return false;
        }
        d.tracks_.push_back({static_cast<uint32_t>(d.tracks_.size() + 1),
                             static_cast<uint32_t>(session), static_cast<uint32_t>(start),
                             static_cast<uint32_t>(blocks), parts[3] == "damaged"});
    }
    if (d.tracks_.empty() && (d.sessionOpen_ || d.damaged_)) {
        error = "it has an open or damaged session without tracks";
        return false;
    }
    out = d;
    return true;
}

} // namespace starburn::virt
