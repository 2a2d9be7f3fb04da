// SPDX-License-Identifier: GPL-2.0-or-later
// A disc's sectors read back chunk by chunk, data or audio, with the
// library's text and sense of a failed read: the read-back's comparison and
// the disc copy read through it.
#pragma once

#include "base/sbLibraryCall.h"
#include "base/sbStrUtils.h"
#include "starburn/StarBurnLinux.h"

#include <cstdint>
#include <cstring>
#include <string>

struct TsbSectorReader {
    void* Grabber;
    char ExceptionText[1024]{};
    uint32_t Status = 0;
    uint8_t FailureInfo[SB_FAILURE_INFO_SIZE]{};

    uint8_t Read(bool Audio, uint32_t Lba, uint32_t Sectors, void* Buffer) {
        ExceptionText[0] = '\0';
        std::memset(FailureInfo, 0, sizeof FailureInfo);
        // A read per chunk: the caller announces the reads once, before the first.
        return QuietLibraryCall([&] {
            return Audio ? StarBurn_CdvdBurnerGrabber_ReadAudio(Grabber, ExceptionText,
                                                                sizeof ExceptionText, &Status,
                                                                FailureInfo, Lba, Sectors, Buffer)
                         : StarBurn_CdvdBurnerGrabber_ReadData(Grabber, ExceptionText,
                                                               sizeof ExceptionText, &Status,
                                                               FailureInfo, Lba, Sectors, Buffer);
        });
    }
    // 5/64/00: the sector is of another kind (an audio track's pregap or run-out).
    bool NotOfTheTrack() const {
        return FailureInfo[0] != 0 && FailureInfo[1] == 0x05 && FailureInfo[2] == 0x64;
    }
    std::string Text() const { return BufferToStr(ExceptionText, sizeof ExceptionText); }
};
