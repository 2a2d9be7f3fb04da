// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbConst.h"
#include "base/sbTypes.h"
#include "base/sbUtils.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>

namespace {

TEST(DiscTypeTest, DisplayTexts) {
    const char* expected[] = {"Unknown",
                              "CD-ROM",
                              "CD-R",
                              "CD-RW",
                              "DVD-ROM",
                              "DVD-R",
                              "DVD-RAM",
                              "DVD-RW RO (Restricted Overwrite)",
                              "DVD-RW SR (Sequential Recording)",
                              "DVD+RW",
                              "DD (Double Density) CD-ROM",
                              "DD (Double Density) CD-R",
                              "DD (Double Density) CD-RW",
                              "DVD+R",
                              "Empty",
                              "DVD+R DL",
                              "DVD-R DL",
                              "BD-R",
                              "BD-RE",
                              "HD DVD-ROM",
                              "HD DVD-R",
                              "HD DVD-RW"};
    for (int type = 0; type <= 21; ++type) {
        EXPECT_EQ(DiscTypeToStr(static_cast<uint8_t>(type)), expected[type]) << type;
    }
    for (int type = 22; type <= 255; ++type) {
        EXPECT_EQ(DiscTypeToStr(static_cast<uint8_t>(type)), "") << type;
    }
}

TEST(DiscTypeTest, DvdSetCountsDvdPlusRDualLayerButNotDvdMinusRDualLayer) {
    const std::set<int> dvd = {4, 5, 6, 7, 8, 9, 13, 15};
    for (int type = 0; type <= 255; ++type) {
        EXPECT_EQ(IsDVDDiscType(static_cast<uint8_t>(type)), dvd.count(type) == 1) << type;
    }
    EXPECT_TRUE(IsDVDDiscType(DISC_TYPE_DVDPLUSR_DL));
    EXPECT_FALSE(IsDVDDiscType(DISC_TYPE_DVDR_DL));
}

TEST(DiscTypeTest, OnlyPressedDiscsAreNotWritable) {
    const std::set<int> pressed = {1, 4, 10};
    for (int type = 0; type <= 255; ++type) {
        EXPECT_EQ(IsWritableDiscType(static_cast<uint8_t>(type)), pressed.count(type) == 0) << type;
    }
    EXPECT_TRUE(IsWritableDiscType(DISC_TYPE_UNKNOWN));
    EXPECT_TRUE(IsWritableDiscType(DISC_TYPE_NO_MEDIA));
}

TEST(RecordTest, DeviceAddressComesFromTheLibraryRecordAndMatchesOnlyWhenPresent) {
    const SB_DEVICE_ADDRESS fromLibrary{1, 2, 3, 4, 5};
    const TsbDeviceAddress stored = TsbDeviceAddress::FromLibrary(fromLibrary);
    EXPECT_EQ(stored.PortID, 2);
    EXPECT_EQ(stored.LUN, 5);
    TsbDeviceAddress other = stored;
    other.Present = 0;
    EXPECT_TRUE(stored.Matches(other));
    EXPECT_FALSE(other.Matches(stored));
    other = stored;
    other.TargetID = 9;
    EXPECT_FALSE(stored.Matches(other));
}

TEST(RecordTest, InformationBlocksReadTheirNamedBytes) {
    SB_DISC_INFORMATION disc{};
    disc.Valid = 1;
    disc.DiscStatus = SB_DISC_STATUS_APPENDABLE;
    TsbDiscInformation discBlock;
    std::memcpy(discBlock.Bytes, &disc, sizeof disc);
    EXPECT_TRUE(discBlock.Valid());
    EXPECT_EQ(discBlock.DiscStatus(), SB_DISC_STATUS_APPENDABLE);

    SB_TRACK_INFORMATION track{};
    TsbTrackInformation trackBlock;
    std::memcpy(trackBlock.Bytes, &track, sizeof track);
    EXPECT_FALSE(trackBlock.NextWritableAddressValid());
    track.NextWritableAddressValid = 1;
    std::memcpy(trackBlock.Bytes, &track, sizeof track);
    EXPECT_TRUE(trackBlock.NextWritableAddressValid());
}

} // namespace
