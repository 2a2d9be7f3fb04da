// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/sbDrives.h"

#include <gtest/gtest.h>

namespace {

class DrivesTest : public ::testing::Test {
protected:
    void TearDown() override { platform::ClearDosDevices(); }
};

TEST_F(DrivesTest, DefinedLettersAnswerTheirTarget) {
    EXPECT_TRUE(platform::DefineDosDevice('e', "\\Device\\CdRom0"));
    EXPECT_EQ(platform::QueryDosDevice("E:").value_or(""), "\\Device\\CdRom0");
    EXPECT_EQ(platform::QueryDosDevice("e:/").value_or(""), "\\Device\\CdRom0");
    EXPECT_FALSE(platform::QueryDosDevice("F:").has_value());
    EXPECT_FALSE(platform::QueryDosDevice("E").has_value());
    EXPECT_FALSE(platform::QueryDosDevice("E:x").has_value());
    EXPECT_FALSE(platform::DefineDosDevice('1', "x"));

    platform::DefineDosDevice('E', "\\Device\\CdRom1");
    EXPECT_EQ(platform::QueryDosDevice("E:").value_or(""), "\\Device\\CdRom1");
    platform::RemoveDosDevice('E');
    EXPECT_FALSE(platform::QueryDosDevice("E:").has_value());
}

} // namespace
