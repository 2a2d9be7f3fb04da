// SPDX-License-Identifier: GPL-2.0-or-later
// Reading a tree's image: libisofs' generator behind a bounded ring buffer,
// read in sequence from one position, restarted from its first byte.
#include "starburn/filetree/sbFileTree.h"

#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

#include "starburn/filetree/sbFileStream.h"
#include "starburn/filetree/sbFileTreeParts.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace starburn::filetree {
namespace {

// Reading from libisofs' ring buffer in slices keeps every call within an int.
constexpr size_t kReadSlice = 1u << 20;

} // namespace

// ---------------------------------------------------------------------------
// Stream faults

void StreamFaults::report(const char* path, int fault, int errnoValue) {
    std::lock_guard lock(mutex_);
    if (any_.load(std::memory_order_relaxed)) {
        return; // the first fault is the one worth telling
    }
    switch (fault) {
    case SB_STREAM_OPEN_FAILED:
        text_ = "cannot open source file " + quoted(path) + ": " + std::strerror(errnoValue);
        break;
    case SB_STREAM_READ_FAILED:
        text_ = "cannot read source file " + quoted(path) + ": " + std::strerror(errnoValue);
        break;
    default:
        text_ = "source file " + quoted(path) +
                " changed size after the image was built; build the image again";
        break;
    }
    errno_ = errnoValue;
    any_.store(true, std::memory_order_release);
}

void StreamFaults::clear() {
    std::lock_guard lock(mutex_);
    any_.store(false, std::memory_order_release);
    text_.clear();
    errno_ = 0;
}

Error StreamFaults::error() const {
    std::lock_guard lock(mutex_);
    return {SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(errno_), text_};
}

bool FileTree::beginWrite(Error& error) {
    std::lock_guard lock(mutex_);
    if (!enter(error)) {
        return false;
    }
    writing_ = true;
    return true;
}

void FileTree::endWrite() {
    std::lock_guard lock(mutex_);
    writing_ = false;
}

bool FileTree::readForWrite(void* buffer, size_t length, Error& error) {
    std::lock_guard lock(mutex_);
    return enter(error, true) && readLocked(buffer, length, error);
}

bool FileTree::rewindForWrite(Error& error) {
    std::lock_guard lock(mutex_);
    return enter(error, true) && rewindLocked(error);
}

void FileTree::invalidate() {
    stopStream();
    if (image_ != nullptr) {
        releaseImage(image_);
        image_ = nullptr;
    }
    if (opts_ != nullptr) {
        iso_write_opts_free(opts_);
        opts_ = nullptr;
    }
    size_ = 0;
    position_ = 0;
    streamBroken_ = false;
}

void FileTree::stopStream() {
    if (source_ == nullptr) {
        return;
    }
    // Freeing the source closes the ring buffer and waits for libisofs'
    // writer thread, so no stream runs once this returns.
    if (source_->free_data != nullptr) {
        source_->free_data(source_);
    }
    std::free(source_);
    source_ = nullptr;
}

bool FileTree::startStream(Error& error) {
    stopStream();
    faults_.clear();
    streamBroken_ = false;
    position_ = 0;
    burn_source* source = nullptr;
    const int r = iso_image_create_burn_source(image_, opts_, &source);
    if (r < 0 || source == nullptr) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "cannot start the image: " + libisofsText(image_, r)};
        if (faults_.any()) {
            error = faults_.error();
        }
        return false;
    }
    source_ = source;
    size_ = static_cast<uint64_t>(source_->get_size(source_));
    return true;
}

Error FileTree::streamFailure(const std::string& what) {
    Error error = faults_.any() ? faults_.error()
                                : Error{SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                                        what + ": " + libisofsText(image_, 0)};
    streamBroken_ = true;
    streamError_ = error;
    stopStream();
    return error;
}

bool FileTree::built() {
    std::lock_guard lock(mutex_);
    return image_ != nullptr;
}

uint64_t FileTree::imageSize() {
    std::lock_guard lock(mutex_);
    return image_ != nullptr ? size_ : 0;
}

bool FileTree::read(void* buffer, size_t length, Error& error) {
    std::lock_guard lock(mutex_);
    return enter(error) && readLocked(buffer, length, error);
}

bool FileTree::readLocked(void* buffer, size_t length, Error& error) {
    if (image_ == nullptr) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "the image is not built: build it (BuildImage) before reading"};
        return false;
    }
    if (streamBroken_) {
        error = streamError_;
        error.text += " (start again with SeekToBegin)";
        return false;
    }
    if (length > size_ - position_) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE,
                 "cannot read " + std::to_string(length) + " bytes at byte " +
                     std::to_string(position_) + ": the image ends at byte " +
                     std::to_string(size_)};
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (buffer == nullptr) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE, "no buffer to read into"};
        return false;
    }
    if (source_ == nullptr && !startStream(error)) {
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < length) {
        const int want = static_cast<int>(std::min(length - done, kReadSlice));
        const int got = source_->read != nullptr ? source_->read(source_, out + done, want)
                                                 : source_->read_xt(source_, out + done, want);
        if (got <= 0) {
            error = streamFailure(got == 0 ? "the image ended early" : "image generation failed");
            return false;
        }
        done += static_cast<size_t>(got);
    }
    // A source file that failed was filled in by libisofs; those bytes never leave here.
    if (faults_.any() || (position_ + length == size_ && !generatorEndedWell())) {
        error = streamFailure("image generation failed");
        return false;
    }
    position_ += length;
    return true;
}

bool FileTree::generatorEndedWell() {
    // Past the last announced byte the ring buffer answers once its writer
    // has ended, and its status then tells how: 3 ("failing") and 7
    // ("aborted") are a generator that failed after all the bytes came, or
    // made them up.
    unsigned char extra = 0;
    const int more = source_->read != nullptr ? source_->read(source_, &extra, 1)
                                              : source_->read_xt(source_, &extra, 1);
    size_t capacity = 0;
    size_t free = 0;
    const int status = iso_ring_buffer_get_status(source_, &capacity, &free);
    return more == 0 && status != 3 && status != 7;
}

bool FileTree::rewind(Error& error) {
    std::lock_guard lock(mutex_);
    return enter(error) && rewindLocked(error);
}

bool FileTree::rewindLocked(Error& error) {
    if (image_ == nullptr) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "the image is not built: build it (BuildImage) before reading"};
        return false;
    }
    if (position_ == 0 && source_ != nullptr && !streamBroken_) {
        return true; // nothing read yet: the running stream is already at the start
    }
    return startStream(error);
}

} // namespace starburn::filetree
