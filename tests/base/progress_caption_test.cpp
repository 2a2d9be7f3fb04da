// SPDX-License-Identifier: GPL-2.0-or-later
// The write gauge's caption from known amounts and times, and the meter that
// turns a sequence of percentage events on a given clock into captions.
#include "base/sbProgressCaption.h"
#include "starburn/StarBurn.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t MiB = 1024 * 1024;

} // namespace

TEST(ProgressCaption, AmountSpeedAndTimesForCdAndDvd) {
    EXPECT_EQ(ProgressCaption(350 * MiB, 700 * MiB, 50, DISC_TYPE_CDR),
              "350.0 of 700.0 MB \u00B7 7.0 MB/s (42x) \u00B7 0:50 elapsed \u00B7 0:50 left");
    // The same speed is a smaller factor on a DVD.
    EXPECT_EQ(ProgressCaption(1024 * MiB, 4096 * MiB, 100, DISC_TYPE_DVDPLUSR),
              "1024.0 of 4096.0 MB \u00B7 10.2 MB/s (8x) \u00B7 1:40 elapsed \u00B7 5:00 left");
    // Nothing written yet: no speed and no time left can be told.
    EXPECT_EQ(ProgressCaption(0, 700 * MiB, 3, DISC_TYPE_CDR),
              "0.0 of 700.0 MB \u00B7 0:03 elapsed");
    // More reported than the whole is shown as the whole.
    EXPECT_EQ(ProgressCaption(800 * MiB, 700 * MiB, 100, DISC_TYPE_CDRW),
              "700.0 of 700.0 MB \u00B7 7.0 MB/s (42x) \u00B7 1:40 elapsed \u00B7 0:00 left");
    EXPECT_EQ(DurationText(3723), "1:02:03");
    EXPECT_EQ(DurationText(-5), "0:00");
}

TEST(ProgressCaption, MeterClockStartsAtTheFirstEventOfEachWrite) {
    TsbProgressMeter meter;
    EXPECT_EQ(meter.Update(10, 5), "");
    meter.Start(700 * MiB, DISC_TYPE_CDR);
    // The preparation took 1000 s of the clock; the write starts here.
    EXPECT_EQ(meter.Update(0, 1000), "0.0 of 700.0 MB \u00B7 0:00 elapsed");
    EXPECT_EQ(meter.Update(50, 1050),
              "350.0 of 700.0 MB \u00B7 7.0 MB/s (42x) \u00B7 0:50 elapsed \u00B7 0:50 left");
    EXPECT_EQ(meter.Update(100, 1100),
              "700.0 of 700.0 MB \u00B7 7.0 MB/s (42x) \u00B7 1:40 elapsed \u00B7 0:00 left");
    // A second write starts its own clock.
    meter.Start(700 * MiB, DISC_TYPE_CDR);
    EXPECT_EQ(meter.Update(25, 2000), "175.0 of 700.0 MB \u00B7 0:00 elapsed");
}
