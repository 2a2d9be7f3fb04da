// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbLibraryCall.h"

#include <gtest/gtest.h>

namespace {

TEST(LibraryFailureTextTest, TheFixedPattern) {
    char buffer[kExceptionTextSize] = "No medium";
    EXPECT_EQ(LibraryFailureText("StarBurn_CdvdBurnerGrabber_TestUnitReady", 7, 2, buffer),
              "StarBurn_CdvdBurnerGrabber_TestUnitReady() failed, exception 7, status 2, text "
              "\"No medium\"");
    EXPECT_EQ(LibraryFailureText("F", 1, 0xFFFFFFFFu, ""),
              "F() failed, exception 1, status -1, text \"\"");
}

TEST(LibraryFailureTextTest, ABufferWithoutZeroIsReadOnlyToItsSize) {
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(LibraryFailureText("F", 1, 0, buffer, sizeof buffer),
              "F() failed, exception 1, status 0, text \"abcd\"");
}

} // namespace
