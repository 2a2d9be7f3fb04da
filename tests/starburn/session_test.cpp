#include "starburn/StarBurn.h"

#include <gtest/gtest.h>

TEST(Session, VersionIsTheOneTheProgramExpects) {
    EXPECT_EQ(StarBurn_GetVersion(), 0x20080820u);
}

TEST(Session, StartAndShutDown) {
    char text[64] = "junk";
    EXPECT_EQ(StarBurn_UpStartEx(nullptr, text, sizeof text), SB_EXCEPTION_NONE);
    EXPECT_STREQ(text, "");
    StarBurn_DownShut();
}
