// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/starburn/sbTestSupport.h"

#include <cstring>
#include <thread>

using namespace sbtest;

TEST(Session, VersionIsTheOneTheProgramExpects) {
    EXPECT_EQ(StarBurn_GetVersion(), 0x20080820u);
}

TEST(Session, StartsWithTheBuiltInSetWithoutAConfiguration) {
    TempDir dir;
    ::setenv("STARBURN_STATE_DIR", dir.file("state").c_str(), 1);
    ::unsetenv("STARBURN_CONFIG");
    char text[64] = "junk";
    ASSERT_EQ(StarBurn_UpStartEx(nullptr, text, sizeof text), SB_EXCEPTION_NONE);
    EXPECT_STREQ(text, "");
    // A second start while started does nothing.
    EXPECT_EQ(StarBurn_UpStartEx(nullptr, text, sizeof text), SB_EXCEPTION_NONE);

    std::vector<SB_DEVICE_ADDRESS> found;
    auto collect = [](uint32_t reason, void* context, void* special1, void* special2) {
        EXPECT_EQ(reason, SB_REASON_DEVICE_FOUND);
        EXPECT_EQ(special2, nullptr);
        static_cast<std::vector<SB_DEVICE_ADDRESS>*>(context)->push_back(
            *static_cast<SB_DEVICE_ADDRESS*>(special1));
    };
    ASSERT_EQ(StarBurn_FindDevice(5, 0, collect, &found), SB_EXCEPTION_NONE);
    ASSERT_EQ(found.size(), 3u);

    const uint8_t expectedTypes[] = {DISC_TYPE_DVDPLUSR, DISC_TYPE_CDR, DISC_TYPE_DVDROM};
    for (size_t i = 0; i < found.size(); ++i) {
        void* g = nullptr;
        Report r;
        ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Create(
                      &g, r.text, sizeof r.text, &r.status, r.failure, nullptr, nullptr,
                      found[i].PortID, found[i].BusID, found[i].TargetID, found[i].LUN, 1),
                  SB_EXCEPTION_NONE)
            << r.text;
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), expectedTypes[i]);
        StarBurn_Destroy(&g);
    }

    // The writers hold blank discs of the promised sizes.
    void* g = nullptr;
    Report r;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom0", 1),
              SB_EXCEPTION_NONE);
    uint32_t blocks = 0;
    uint64_t bytes = 0;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(g, 3, &blocks, &bytes),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(bytes, 2295104ull * 2048); // 4.7 GB
    StarBurn_Destroy(&g);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom1", 1),
              SB_EXCEPTION_NONE);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(g, 3, &blocks, &bytes),
              SB_EXCEPTION_NONE);
    EXPECT_GT(bytes, 700ull * 1000 * 1000);
    EXPECT_LT(bytes, 740ull * 1000 * 1000);
    StarBurn_Destroy(&g);
    StarBurn_DownShut();
    ::unsetenv("STARBURN_STATE_DIR");
}
