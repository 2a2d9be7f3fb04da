// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbError.h"
#include "engine/sbLog.h"

#include <gtest/gtest.h>

namespace {

TsbLog logWithOwners(std::initializer_list<int32_t> owners) {
    TsbLog log;
    int n = 0;
    for (int32_t owner : owners) {
        TsbLogItem& item = log.Add();
        item.PageOwner = owner;
        item.LogMessage = "line " + std::to_string(n++);
    }
    return log;
}

std::vector<std::string> messages(const TsbLog& log) {
    std::vector<std::string> result;
    for (int i = 0; i < log.Count(); ++i) {
        result.push_back(log.Items(i).LogMessage);
    }
    return result;
}

TEST(LogTest, AssignCopiesEveryField) {
    TsbLogItem source;
    source.LogMessage = "Burning completed";
    source.LogTime = std::chrono::system_clock::now();
    source.ItemType = litWarning;
    source.PageOwner = 6;
    TsbLogItem copy;
    copy.Assign(source);
    EXPECT_EQ(copy.LogMessage, source.LogMessage);
    EXPECT_EQ(copy.LogTime, source.LogTime);
    EXPECT_EQ(copy.ItemType, litWarning);
    EXPECT_EQ(copy.PageOwner, 6);
}

TEST(LogTest, RemoveFromPageTakesThePageAndEverythingAfterIt) {
    TsbLog log = logWithOwners({1, 2, 2, 3, 2, 4});
    log.RemoveFromPage(2);
    EXPECT_EQ(messages(log), (std::vector<std::string>{"line 0"}));
}

TEST(LogTest, RemoveFromPageWithAnUnknownKeyLeavesTheLog) {
    TsbLog log = logWithOwners({1, 2, 3});
    log.RemoveFromPage(9);
    EXPECT_EQ(log.Count(), 3);
}

TEST(LogTest, RemoveFromPageOfTheFirstLineEmptiesTheLog) {
    TsbLog log = logWithOwners({5, 1, 2});
    log.RemoveFromPage(5);
    EXPECT_EQ(log.Count(), 0);
    log.RemoveFromPage(5);
    EXPECT_EQ(log.Count(), 0);
}

TEST(LogTest, ItemsOutsideTheLogRaise) {
    TsbLog log = logWithOwners({1});
    EXPECT_THROW(log.Items(1), EsbError);
    EXPECT_THROW(log.Items(-1), EsbError);
    EXPECT_THROW(log.Delete(3), EsbError);
    log.Delete(0);
    EXPECT_EQ(log.Count(), 0);
}

TEST(LogTest, LinesKeepTheirAddressWhileOthersAreAdded) {
    TsbLog log;
    TsbLogItem& first = log.Add();
    for (int i = 0; i < 100; ++i) {
        log.Add();
    }
    first.LogMessage = "still here";
    EXPECT_EQ(log.Items(0).LogMessage, "still here");
}

} // namespace
