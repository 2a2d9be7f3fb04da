// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbResConst.h"

#include <gtest/gtest.h>

namespace {

TEST(ResConstTest, TheFileSizeLineHasSixBlanksBeforeDisc) {
    EXPECT_EQ(LoadResString(rsFileAndDiscSize), "File size: %.2f Mb      Disc size: %.2f Mb");
}

TEST(ResConstTest, UnknownIdsGiveAnEmptyText) {
    EXPECT_EQ(LoadResString(0), "");
    EXPECT_EQ(LoadResString(15104), "");
    EXPECT_EQ(LoadResString(15975), "");
}

TEST(ResConstTest, EveryUsedIdHasAText) {
    const int ids[] = {15101, 15102, 15103, 15106, 15109, 15120, 15121, 15131, 15132, 15140,
                       15141, 15143, 15144, 15145, 15147, 15148, 15149, 15150, 15151, 15152,
                       15153, 15154, 15155, 15157, 15162, 15164, 15167, 15168, 15169, 15171,
                       15200, 15202, 15204, 15210, 15211, 15220, 15221, 15222, 15223, 15228,
                       15229, 15230, 15231, 15232, 15233, 15234, 15235, 15237, 15238, 15308,
                       15605, 15951, 15952, 15953, 15954, 15955, 15958, 15959, 15960, 15961,
                       15962, 15963, 15964, 15965, 15966, 15967, 15968, 15972, 15974};
    for (int id : ids) {
        EXPECT_FALSE(LoadResString(id).empty()) << id;
    }
}

} // namespace
