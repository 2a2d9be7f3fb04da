// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/core/sbStreamSource.h"

#include <algorithm>
#include <cerrno>

namespace starburn {
namespace {

// The most one call of the caller's read function is asked for.
constexpr size_t kStreamStep = 1024 * 1024;

class StreamSource : public ImageSource {
public:
    StreamSource(uint64_t size, PSB_STREAM_READ read, void* context)
        : size_(size), read_(read), context_(context) {}

    uint64_t size() const override { return size_; }

    bool read(void* buffer, size_t length, std::string& error, int& errnoValue) override {
        if (length > size_ - position_) {
            errnoValue = EINVAL;
            error = "The write asked for bytes past the end of the stream";
            return false;
        }
        auto* out = static_cast<char*>(buffer);
        size_t done = 0;
        while (done < length) {
            const auto step = static_cast<uint32_t>(std::min(length - done, kStreamStep));
            uint32_t got = 0;
            const uint8_t answer = read_(context_, out + done, step, &got);
            if (answer != SB_EXCEPTION_NONE || got == 0 || got > step) {
                errnoValue = answer == SB_EXCEPTION_CANCELLED ? ECANCELED : EIO;
                error = answer == SB_EXCEPTION_CANCELLED
                            ? "The stream of the write was cancelled after " +
                                  std::to_string(position_ + done) + " bytes"
                            : "The stream of the write stopped after " +
                                  std::to_string(position_ + done) + " of " +
                                  std::to_string(size_) + " bytes";
                position_ += done;
                return false;
            }
            done += got;
        }
        position_ += done;
        return true;
    }

    bool rewind(std::string& error, int& errnoValue) override {
        if (position_ == 0) {
            return true;
        }
        errnoValue = ESPIPE;
        error = "A stream cannot be read again from its start";
        return false;
    }

    bool fedByCaller() const override { return true; }

private:
    uint64_t size_;
    PSB_STREAM_READ read_;
    void* context_;
    uint64_t position_ = 0;
};

} // namespace

std::unique_ptr<ImageSource> openStreamSource(uint64_t size, PSB_STREAM_READ read, void* context) {
    return std::make_unique<StreamSource>(size, read, context);
}

} // namespace starburn
