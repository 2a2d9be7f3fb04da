// SPDX-License-Identifier: GPL-2.0-or-later
// The virtual recorder's faults for tests (StarBurnTesting.h): a write that
// fails at a byte, a slowed write, a disc taken out or put in.
#include "starburn/virtual/sbVirtualRecorder.h"

#include "starburn/virtual/sbVirtualRecorderParts.h"

#include <cerrno>

namespace starburn::virt {

void Recorder::armWriteFault(uint64_t atByte, bool takeDiscOut) {
    std::lock_guard lock(mutex_);
    nextWriteFault_ = WriteFault{atByte, takeDiscOut};
}

void Recorder::setWriteLimit(uint64_t bytesPerSecond) {
    std::lock_guard lock(mutex_);
    writeLimit_ = bytesPerSecond;
}

Error Recorder::takeDiscOut() {
    std::lock_guard lock(mutex_);
    if (writing_) {
        discPulled_ = true; // the write notices at its next chunk and files the disc away
        return {};
    }
    if (!disc_.present()) {
        return {};
    }
    std::string path;
    if (!disc_.pressed()) {
        if (Error e = fileAwayLocked("taken-out", path, true)) {
            return e;
        }
    }
    disc_ = Disc();
    persistQuietly();
    return {};
}

Error Recorder::insertDisc(uint8_t type, uint32_t capacity) {
    const DiscKind* kind = discKindByType(type);
    if (kind == nullptr) {
        return makeError(SB_EXCEPTION_INVALID_PARAMETER, EINVAL,
                         "Disc type " + std::to_string(type) +
                             " is not one the virtual "
                             "recorders know");
    }
    std::lock_guard lock(mutex_);
    if (writing_) {
        return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The recorder is writing");
    }
    if (!readsKind(config_.facts, *kind)) {
        return incompatibleMedium("The drive " + config_.facts.product + " cannot read " +
                                  kind->name + " discs");
    }
    if (disc_.present() && !disc_.pressed()) {
        std::string path;
        if (Error e = fileAwayLocked("ejected", path, true)) {
            return e;
        }
    }
    DiscConfig c;
    c.type = type;
    c.capacity = capacity != 0 ? capacity : kind->capacity;
    if (!kind->recordable) {
        c.state = InitialState::Complete;
        c.usedBlocks = c.capacity / 4 * 3;
    }
    disc_ = Disc::fromConfig(c);
    discPulled_ = false;
    persistQuietly();
    return {};
}

void Recorder::clearTestFaults() {
    std::lock_guard lock(mutex_);
    nextWriteFault_.reset();
    writeLimit_ = config_.writeLimit;
}

std::string Recorder::lastEjectedImage() const {
    std::lock_guard lock(mutex_);
    return lastEjected_;
}

} // namespace starburn::virt
