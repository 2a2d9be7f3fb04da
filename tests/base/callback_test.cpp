// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbCallBack.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

// Binds every slot of the global eventer to recorders and empties them again.
class CallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLastReportedProgress();
        TsbCallBackEventer& eventer = CallBackEventer();
        eventer.SetOnAddName(
            [this](TsbCallBackEventer& sender, const std::string& name, void* special) {
                EXPECT_EQ(&sender, &CallBackEventer());
                m_added.push_back(name);
                m_special = special;
            });
        eventer.SetOnRemoveName(
            [this](TsbCallBackEventer&, const std::string& name, void* special) {
                m_removed.push_back(name);
                m_special = special;
            });
        eventer.SetOnProgress(
            [this](TsbCallBackEventer&, int32_t percent) { m_progress.push_back(percent); });
        eventer.SetOnBufferStatus(
            [this](TsbCallBackEventer&, int32_t percent) { m_buffer.push_back(percent); });
    }
    void TearDown() override {
        TsbCallBackEventer& eventer = CallBackEventer();
        eventer.SetOnAddName({});
        eventer.SetOnRemoveName({});
        eventer.SetOnProgress({});
        eventer.SetOnBufferStatus({});
        eventer.SetOnCancelEnabled({});
        eventer.SetOnImageBuildStart({});
        SetDeviceFoundHandler({});
        ResetLastReportedProgress();
    }

    void progress(int64_t total, int64_t done) {
        LibraryCallback(SB_REASON_WRITE_PROGRESS, nullptr, &total, &done);
    }
    void buffer(uint32_t size, uint32_t free) {
        LibraryCallback(SB_REASON_BUFFER_STATUS, nullptr, &size, &free);
    }

    std::vector<std::string> m_added;
    std::vector<std::string> m_removed;
    void* m_special = nullptr;
    std::vector<int32_t> m_progress;
    std::vector<int32_t> m_buffer;
};

TEST_F(CallbackTest, TreeNamesAreRaisedAndCounted) {
    uint32_t nodes = 0;
    int node = 0;
    char first[] = "README.TXT";
    char second[] = "BOOT";
    LibraryCallback(SB_REASON_TREE_ADD_NAME, &nodes, first, &node);
    LibraryCallback(SB_REASON_TREE_ADD_NAME, &nodes, second, nullptr);
    EXPECT_EQ(nodes, 2u);
    EXPECT_EQ(m_added, (std::vector<std::string>{"README.TXT", "BOOT"}));
    LibraryCallback(SB_REASON_TREE_REMOVE_NAME, &nodes, first, &node);
    EXPECT_EQ(nodes, 1u);
    EXPECT_EQ(m_removed, std::vector<std::string>{"README.TXT"});
    EXPECT_EQ(m_special, &node);
}

TEST_F(CallbackTest, OnlyTheLowByteOfTheReasonCounts) {
    uint32_t nodes = 0;
    char name[] = "X";
    LibraryCallback(0x1200u | SB_REASON_TREE_ADD_NAME, &nodes, name, nullptr);
    EXPECT_EQ(nodes, 1u);
    int64_t total = 100;
    int64_t done = 40;
    LibraryCallback(0xFF00u | SB_REASON_WRITE_PROGRESS, nullptr, &total, &done);
    EXPECT_EQ(m_progress, std::vector<int32_t>{40});
}

TEST_F(CallbackTest, ATreeReportWithoutCountOrNameStillRaises) {
    LibraryCallback(SB_REASON_TREE_ADD_NAME, nullptr, nullptr, nullptr);
    EXPECT_EQ(m_added, std::vector<std::string>{""});
}

TEST_F(CallbackTest, OtherReasonsDoNothing) {
    uint32_t nodes = 5;
    char name[] = "IGNORED";
    int64_t numbers[2] = {100, 50};
    for (uint32_t reason : {2u, 4u, 5u, 9u, 10u, 11u, 14u, 200u, 255u}) {
        LibraryCallback(reason, &nodes, name, numbers);
    }
    EXPECT_EQ(nodes, 5u);
    EXPECT_TRUE(m_added.empty() && m_removed.empty() && m_progress.empty() && m_buffer.empty());
}

TEST_F(CallbackTest, ProgressIsRaisedOnlyWhenThePercentageChanges) {
    progress(1000, 0);
    progress(1000, 5);
    progress(1000, 10);
    EXPECT_EQ(m_progress, std::vector<int32_t>{1});
    progress(1000, 19);
    EXPECT_EQ(m_progress, std::vector<int32_t>{1});
    progress(1000, 20);
    EXPECT_EQ(m_progress, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(LastReportedProgress(), 2);
}

TEST_F(CallbackTest, TheResetMakesTheNextBurnStartFromZero) {
    progress(100, 100);
    EXPECT_EQ(m_progress, std::vector<int32_t>{100});
    ResetLastReportedProgress();
    progress(100, 0);
    progress(100, 100);
    EXPECT_EQ(m_progress, (std::vector<int32_t>{100, 100}));
}

TEST_F(CallbackTest, ProgressWithZeroTotalOrWithoutNumbersReportsNothing) {
    progress(0, 50);
    LibraryCallback(SB_REASON_WRITE_PROGRESS, nullptr, nullptr, nullptr);
    EXPECT_TRUE(m_progress.empty());
}

TEST_F(CallbackTest, ProgressOfHugeCountsDoesNotOverflow) {
    const int64_t total = int64_t(1) << 62;
    progress(total, total / 2);
    progress(total, total);
    EXPECT_EQ(m_progress, (std::vector<int32_t>{50, 100}));
}

TEST_F(CallbackTest, BufferFillIsTheUsedShareAndEveryReportRaises) {
    buffer(1000, 250);
    buffer(1000, 250);
    buffer(1000, 0);
    buffer(1000, 1000);
    buffer(3, 1); // 100 - 33, truncated
    EXPECT_EQ(m_buffer, (std::vector<int32_t>{75, 75, 100, 0, 67}));
}

TEST_F(CallbackTest, BufferOfSizeZeroReportsNothing) {
    buffer(0, 0);
    buffer(0, 10);
    LibraryCallback(SB_REASON_BUFFER_STATUS, nullptr, nullptr, nullptr);
    EXPECT_TRUE(m_buffer.empty());
}

TEST_F(CallbackTest, LargeBuffersDoNotWrapAround) {
    // 50 000 000 × 100 does not fit 32 bits; wrapped, this would read 93.
    buffer(100000000u, 50000000u);
    buffer(4000000000u, 1000000000u);
    EXPECT_EQ(m_buffer, (std::vector<int32_t>{50, 75}));
}

TEST_F(CallbackTest, MoreFreeThanTheBufferHoldsShowsAnEmptyBuffer) {
    buffer(1000, 1500);
    EXPECT_EQ(m_buffer, std::vector<int32_t>{0});
}

TEST_F(CallbackTest, AnUnboundSlotMakesTheReasonDoNothing) {
    CallBackEventer().SetOnBufferStatus({});
    CallBackEventer().SetOnProgress({});
    buffer(1000, 250);
    progress(100, 30);
    EXPECT_TRUE(m_buffer.empty());
    EXPECT_TRUE(m_progress.empty());
    CallBackEventer().DoCancelEnabled(true);
    CallBackEventer().DoImageBuildStart();
}

TEST_F(CallbackTest, DirectlyRaisedEventsReachTheirHandlers) {
    std::vector<bool> enabled;
    int buildStarts = 0;
    CallBackEventer().SetOnCancelEnabled(
        [&](TsbCallBackEventer&, bool value) { enabled.push_back(value); });
    CallBackEventer().SetOnImageBuildStart([&](TsbCallBackEventer&) { ++buildStarts; });
    CallBackEventer().DoCancelEnabled(true);
    CallBackEventer().DoCancelEnabled(false);
    CallBackEventer().DoImageBuildStart();
    CallBackEventer().DoProgress(0);
    EXPECT_EQ(enabled, (std::vector<bool>{true, false}));
    EXPECT_EQ(buildStarts, 1);
    EXPECT_EQ(m_progress, std::vector<int32_t>{0});
}

TEST_F(CallbackTest, ADeviceFoundGoesToTheRegisteredProbe) {
    int context = 0;
    SB_DEVICE_ADDRESS address{1, 0, 0, 3, 0};
    char name[] = "CdRom0";
    std::vector<std::tuple<void*, void*, void*>> calls;
    SetDeviceFoundHandler([&](void* c, void* s1, void* s2) { calls.emplace_back(c, s1, s2); });
    LibraryCallback(SB_REASON_DEVICE_FOUND, &context, &address, nullptr);
    LibraryCallback(SB_REASON_DEVICE_FOUND, &context, nullptr, name);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::make_tuple(static_cast<void*>(&context), static_cast<void*>(&address),
                                        static_cast<void*>(nullptr)));
    EXPECT_EQ(std::get<2>(calls[1]), static_cast<void*>(name));

    SetDeviceFoundHandler({});
    LibraryCallback(SB_REASON_DEVICE_FOUND, &context, &address, nullptr);
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(CallbackTest, SlotsMayChangeWhileAWorkerRaises) {
    std::atomic<bool> stop{false};
    std::atomic<int> raised{0};
    std::thread worker([&] {
        for (int64_t done = 0; !stop.load(); done = (done + 1) % 100) {
            int64_t total = 100;
            LibraryCallback(SB_REASON_WRITE_PROGRESS, nullptr, &total, &done);
        }
    });
    for (int i = 0; i < 200; ++i) {
        CallBackEventer().SetOnProgress([&](TsbCallBackEventer&, int32_t) { ++raised; });
        CallBackEventer().SetOnProgress({});
    }
    stop = true;
    worker.join();
    // The eventer still serves a handler bound after the churn.
    std::vector<int32_t> seen;
    CallBackEventer().SetOnProgress([&](TsbCallBackEventer&, int32_t p) { seen.push_back(p); });
    ResetLastReportedProgress();
    progress(100, 42);
    EXPECT_EQ(seen, std::vector<int32_t>{42});
}

} // namespace
