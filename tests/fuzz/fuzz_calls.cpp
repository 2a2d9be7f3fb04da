// SPDX-License-Identifier: GPL-2.0-or-later
// Random sequences of valid and invalid calls through the C interface, on
// virtual recorders. The header's promises are checked after every call:
// nothing crashes, every result is an SB_EXCEPTION_* number, a failure text is
// zero-terminated inside its buffer and nothing is written past it, and a
// destroyed handle stays invalid.
#include "starburn/StarBurn.h"
#include "starburn/StarBurnLinux.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint8_t kHighestException = SB_EXCEPTION_TREE_ERROR;
constexpr size_t kGuard = 16;
constexpr char kUntouched = '\x5A';

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

struct Setup {
    std::string folder;
    std::string image;

    Setup() {
        char name[] = "/tmp/tavrin_fuzz_calls_XXXXXX";
        check(::mkdtemp(name) != nullptr, "a temporary folder");
        folder = name;
        image = folder + "/image.iso";
        std::vector<char> bytes(40 * 2048, 'i');
        FILE* f = std::fopen(image.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        const std::string config = folder + "/recorders.ini";
        f = std::fopen(config.c_str(), "w");
        std::fputs("[Virtual]\nTimeFactor = 0\nBuiltInRecorders = no\n"
                   "[Libburn]\nRealDrives = no\n"
                   "[Recorder cd]\nDeviceName = CdRom0\nDriveLetter = E\nDisc = CD-R\n"
                   "DiscCapacity = 400\n"
                   "[Recorder dvd]\nDeviceName = CdRom1\nDisc = DVD+RW\nDiscCapacity = 300\n"
                   "[Recorder reader]\nDeviceName = CdRom2\nWrites = none\nDisc = DVD-ROM\n"
                   "DiscState = complete\nDiscUsed = 100\n",
                   f);
        std::fclose(f);
        ::setenv("STARBURN_STATE_DIR", (folder + "/state").c_str(), 1);
        ::setenv("STARBURN_REAL_DRIVES", "0", 1);
        char text[512];
        check(StarBurn_UpStartEx(config.c_str(), text, sizeof text) == SB_EXCEPTION_NONE, text);
        std::atexit([] { StarBurn_DownShut(); });
    }
};

// Reads the fuzz input a byte at a time; zeros once it runs out.
struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t next() { return at < size ? data[at++] : 0; }
    bool more() const { return at < size; }
};

// The failure report of one grabber call, with a guard zone behind the text.
struct Report {
    char buffer[256 + kGuard];
    uint32_t size;
    uint32_t status = 0;
    uint8_t failure[64] = {};

    explicit Report(uint8_t wanted) : size(wanted % 200) {
        std::memset(buffer, kUntouched, sizeof buffer);
    }
    void verify(uint8_t result) const {
        check(result <= kHighestException, "the result is an SB_EXCEPTION_* number");
        for (size_t i = size; i < size + kGuard; ++i) {
            check(buffer[i] == kUntouched, "nothing written past the text buffer");
        }
        if (result != SB_EXCEPTION_NONE && size > 0) {
            check(std::memchr(buffer, 0, size) != nullptr, "the text ends inside its buffer");
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setup setup;
    Input in{data, size};
    void* live[3] = {};
    std::vector<void*> destroyed;

    auto handle = [&](uint8_t pick) -> void* {
        if ((pick & 0x80) != 0 && !destroyed.empty()) {
            return destroyed[pick % destroyed.size()];
        }
        return live[pick % 3];
    };
    auto isDestroyed = [&](void* h) {
        for (void* d : destroyed) {
            if (d == h) {
                return true;
            }
        }
        return false;
    };

    for (int steps = 0; in.more() && steps < 64; ++steps) {
        const uint8_t op = in.next() % 16;
        const uint8_t pick = in.next();
        void* h = handle(pick);
        Report r(in.next());
        uint8_t result = SB_EXCEPTION_NONE;
        switch (op) {
        case 0: {
            void*& slot = live[pick % 3];
            if (slot == nullptr) {
                static const char* const names[] = {"CdRom0",    "CdRom1",    "CdRom2", "CdRom9",
                                                    "\\\\.\\E:", "\\\\.\\Q:", "",       "CdRom"};
                result = StarBurn_CdvdBurnerGrabber_CreateEx(&slot, r.buffer, r.size, &r.status,
                                                             r.failure, nullptr, nullptr,
                                                             names[in.next() % 8], in.next() % 3);
                check(result == SB_EXCEPTION_NONE || slot == nullptr, "no handle from a failure");
                check(result != SB_EXCEPTION_NONE || !isDestroyed(slot),
                      "a new handle never repeats a destroyed one");
            }
            break;
        }
        case 1: {
            void*& slot = live[pick % 3];
            if (slot != nullptr) {
                destroyed.push_back(slot);
                StarBurn_Destroy(&slot);
                check(slot == nullptr, "Destroy nulls the handle variable");
            }
            continue;
        }
        case 2:
            result =
                StarBurn_CdvdBurnerGrabber_TestUnitReady(h, r.buffer, r.size, &r.status, r.failure);
            break;
        case 3: {
            SB_DISC_INFORMATION info;
            result = StarBurn_CdvdBurnerGrabber_GetDiscInformation(h, r.buffer, r.size, &r.status,
                                                                   r.failure, &info);
            break;
        }
        case 4: {
            SB_TRACK_INFORMATION info;
            result = StarBurn_CdvdBurnerGrabber_GetTrackInformation(h, r.buffer, r.size, &r.status,
                                                                    r.failure, in.next(), &info);
            break;
        }
        case 5: {
            std::vector<uint8_t> toc(sizeof(SB_TOC_INFORMATION));
            result = StarBurn_CdvdBurnerGrabber_GetTOCInformation(h, r.buffer, r.size, &r.status,
                                                                  r.failure, toc.data());
            break;
        }
        case 6: {
            const uint32_t speed = uint32_t(in.next()) * 700;
            result = StarBurn_CdvdBurnerGrabber_SetSpeeds(h, r.buffer, r.size, &r.status, r.failure,
                                                          speed, speed);
            break;
        }
        case 7:
            result =
                (pick & 1) != 0
                    ? StarBurn_CdvdBurnerGrabber_Lock(h, r.buffer, r.size, &r.status, r.failure)
                    : StarBurn_CdvdBurnerGrabber_Release(h, r.buffer, r.size, &r.status, r.failure);
            break;
        case 8:
            result = StarBurn_CdvdBurnerGrabber_Eject(h, r.buffer, r.size, &r.status, r.failure);
            break;
        case 9:
            result =
                StarBurn_CdvdBurnerGrabber_CloseSession(h, r.buffer, r.size, &r.status, r.failure);
            break;
        case 10: {
            const uint8_t how = in.next();
            const char* file = (how & 8) != 0 ? "/nonexistent/image.iso" : setup.image.c_str();
            result = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
                h, r.buffer, r.size, &r.status, r.failure, file, 1, how & 1, (how >> 1) & 1,
                (how >> 2) & 1, (how & 16) != 0 ? 4 : 5);
            break;
        }
        case 11: {
            uint64_t used = 0;
            result = StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(h, r.buffer, r.size, &r.status,
                                                                 r.failure, &used);
            uint32_t blocks = 0;
            uint64_t bytes = 0;
            check(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(h, 3, &blocks, &bytes) <=
                      kHighestException,
                  "the result is an SB_EXCEPTION_* number");
            break;
        }
        case 12:
            result =
                (pick & 1) != 0
                    ? StarBurn_CdvdBurnerGrabber_SendOPC(h, r.buffer, r.size, &r.status, r.failure)
                    : StarBurn_CdvdBurnerGrabber_SetBUP(h, r.buffer, r.size, &r.status, r.failure,
                                                        pick & 2);
            break;
        case 13:
            StarBurn_CdvdBurnerGrabber_Cancel(h);
            continue;
        case 14: {
            uint8_t state = 0xFF;
            result = StarBurn_CdvdBurnerGrabber_GetAccess(h, r.buffer, r.size, &r.status, r.failure,
                                                          (pick & 1) != 0 ? &state : nullptr);
            if (result == SB_EXCEPTION_NONE && (pick & 1) != 0) {
                check(state == SB_DEVICE_ACCESS_FREE, "a drive that answers 0 is free");
            }
            break;
        }
        case 15: {
            // Block numbers and counts from the input, some past the disc.
            uint8_t block[4 * 2048];
            const uint32_t lba = static_cast<uint32_t>(in.next()) * 37u;
            const uint32_t blocks = in.next() % 5;
            result =
                StarBurn_CdvdBurnerGrabber_ReadData(h, r.buffer, r.size, &r.status, r.failure, lba,
                                                    blocks, (pick & 1) != 0 ? block : nullptr);
            break;
        }
        }
        r.verify(result);
        if (h != nullptr && isDestroyed(h) && op >= 2) {
            check(result == SB_EXCEPTION_INVALID_HANDLE, "a destroyed handle stays invalid");
        }
    }
    for (void*& slot : live) {
        if (slot != nullptr) {
            StarBurn_Destroy(&slot);
        }
    }
    return 0;
}
