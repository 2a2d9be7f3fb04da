// SPDX-License-Identifier: GPL-2.0-or-later
// The caption above the write gauge: how much of the image is written, how
// fast, for how long and how long the rest will take, e.g.
//   "312.4 of 700.0 MB · 7.9 MB/s (45x) · 0:40 elapsed · 0:49 left"
// A megabyte here is 1,048,576 bytes, as on the image sheet's size line; the
// x-factor is the speed over the 1x of the disc's kind (CD 176.4 kB/s,
// DVD 1,385 kB/s, Blu-ray 4,495.5 kB/s), as the speed list counts it.
// No Qt: a command-line front end prints the same text.
#pragma once

#include <cstdint>
#include <string>

// The bytes per second of 1x for a disc type (a StarBurn DISC_TYPE_* value).
double OneXBytesPerSecond(uint8_t discType);

// "0:07", "12:40", "1:02:03"; negative times count as zero.
std::string DurationText(double seconds);

// The caption from its four inputs. Until a speed can be told (nothing
// written yet, or no time passed) it gives amount and elapsed time only.
std::string ProgressCaption(uint64_t bytesDone, uint64_t bytesTotal, double elapsedSeconds,
                            uint8_t discType);

// Turns the write's percentage events into captions. The clock starts at the
// first event of a write, so the preparation before it (calibration, locking
// the tray) does not lower the speed shown.
class TsbProgressMeter {
public:
    // A new write of bytesTotal bytes onto a disc of discType.
    void Start(uint64_t bytesTotal, uint8_t discType);
    // The caption after a progress event of percent at nowSeconds (any
    // steady clock, in seconds); empty before Start.
    std::string Update(int32_t percent, double nowSeconds);
    bool Started() const { return m_started; }

private:
    bool m_started = false;
    bool m_clockRunning = false;
    uint64_t m_total = 0;
    uint8_t m_discType = 0;
    double m_startSeconds = 0;
};
