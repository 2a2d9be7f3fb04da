// SPDX-License-Identifier: GPL-2.0-or-later
// Erasing rewritable discs on virtual recorders through the C interface.
#include "starburn/StarBurnLinux.h"
#include "tests/starburn/sbTestSupport.h"

#include <thread>

using namespace sbtest;

namespace {

// The order of the callback's reasons, and the last progress it gave.
struct Reasons {
    std::mutex mutex;
    std::vector<uint32_t> seen;
    int64_t total = 0;
    int64_t done = 0;
    std::atomic<int> progress{0};

    static void callback(uint32_t reason, void* context, void* special1, void* special2) {
        auto* self = static_cast<Reasons*>(context);
        std::lock_guard lock(self->mutex);
        self->seen.push_back(reason & 0xFF);
        if ((reason & 0xFF) == SB_REASON_WRITE_PROGRESS) {
            self->total = *static_cast<const int64_t*>(special1);
            self->done = *static_cast<const int64_t*>(special2);
            ++self->progress;
        }
    }
};

class Blank : public Library {
protected:
    void TearDown() override {
        if (g != nullptr) {
            StarBurn_Destroy(&g);
        }
        Library::TearDown();
    }

    uint8_t blank(bool full) {
        return StarBurn_CdvdBurnerGrabber_Blank(g, r.text, sizeof r.text, &r.status, r.failure,
                                                full ? 1 : 0);
    }

    uint8_t trackAtOnce(const std::string& path) {
        return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                              r.failure, path.c_str(), 1, 0, 1, 0,
                                                              SB_WRITE_REVISION);
    }

    uint32_t freeBlocks() {
        uint32_t blocks = 0;
        uint64_t bytes = 0;
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(g, 3, &blocks, &bytes),
                  SB_EXCEPTION_NONE);
        return blocks;
    }

    void* g = nullptr;
    Reasons reasons;
    Report r;
};

} // namespace

TEST_F(Blank, AWrittenRewritableDiscBecomesBlankWithItsFullCapacityAndTakesAWriteAgain) {
    ASSERT_EQ(StarBurnTesting_InsertDisc("CdRom1", DISC_TYPE_CDRW, 2048), SB_EXCEPTION_NONE);
    g = open("CdRom1", 0, &Reasons::callback, &reasons);
    ASSERT_NE(g, nullptr);
    const std::string first = image("first.iso", 300 * 1024, 1);
    ASSERT_EQ(trackAtOnce(first), SB_EXCEPTION_NONE) << r.text;
    ASSERT_EQ(discInfo(g).DiscStatus, SB_DISC_STATUS_APPENDABLE);

    for (const bool full : {false, true}) {
        SCOPED_TRACE(full ? "full" : "quick");
        {
            std::lock_guard lock(reasons.mutex);
            reasons.seen.clear();
        }
        ASSERT_EQ(blank(full), SB_EXCEPTION_NONE) << r.text;
        EXPECT_EQ(discInfo(g).DiscStatus, SB_DISC_STATUS_BLANK);
        EXPECT_EQ(freeBlocks(), 2048u);
        std::lock_guard lock(reasons.mutex);
        ASSERT_FALSE(reasons.seen.empty());
        EXPECT_EQ(reasons.seen.front(), SB_REASON_OTHER_PROGRESS) << "reason 11 comes first";
        EXPECT_EQ(reasons.seen.back(), SB_REASON_WRITE_PROGRESS);
        EXPECT_GT(reasons.total, 0);
        EXPECT_EQ(reasons.done, reasons.total);
        if (full) {
            EXPECT_EQ(reasons.total, 2048 * 2048) << "a full blank goes over every block";
        }
    }

    // The blank disc holds nothing of before and is written from its start.
    const auto second = patternBytes(100 * 1024, 2);
    const std::string path = dir.file("second.iso");
    writeBytes(path, second);
    ASSERT_EQ(trackAtOnce(path), SB_EXCEPTION_NONE) << r.text;
    std::vector<uint8_t> back(second.size());
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_ReadData(g, r.text, sizeof r.text, &r.status, r.failure, 0,
                                                  50, back.data()),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_TRUE(back == second);
}

TEST_F(Blank, WriteOnceAndPressedDiscsAreRefusedAndKeepWhatTheyHold) {
    g = open("CdRom1");
    const std::string path = image("keep.iso", 64 * 1024, 3);
    ASSERT_EQ(trackAtOnce(path), SB_EXCEPTION_NONE) << r.text; // onto the CD-R
    EXPECT_EQ(blank(false), SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_NE(std::string(r.text).find("write-once"), std::string::npos) << r.text;
    EXPECT_EQ(discInfo(g).DiscStatus, SB_DISC_STATUS_APPENDABLE);
    StarBurn_Destroy(&g);

    g = open("CdRom2");
    EXPECT_EQ(blank(true), SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_NE(std::string(r.text).find("pressed"), std::string::npos) << r.text;
}

TEST_F(Blank, ACancelStopsTheEraseAndTheDiscNeedsAnotherBlank) {
    // At 4x CD in real time a full blank of this disc takes about six seconds.
    start(std::string(kTestRecorders) + "[Virtual]\nTimeFactor = 1\n");
    ASSERT_EQ(StarBurnTesting_InsertDisc("CdRom1", DISC_TYPE_CDRW, 2048), SB_EXCEPTION_NONE);
    g = open("CdRom1", 0, &Reasons::callback, &reasons);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(g, r.text, sizeof r.text, &r.status, r.failure,
                                                   0xFFFF, 706),
              SB_EXCEPTION_NONE);
    std::thread canceller([&] {
        while (reasons.progress.load() < 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        StarBurn_CdvdBurnerGrabber_Cancel(g);
    });
    EXPECT_EQ(blank(true), SB_EXCEPTION_CANCELLED) << r.text;
    canceller.join();
    EXPECT_NE(discInfo(g).DiscStatus, SB_DISC_STATUS_BLANK);
    const std::string path = image("refused.iso", 64 * 1024, 4);
    EXPECT_EQ(trackAtOnce(path), SB_EXCEPTION_MEDIUM_ERROR) << "a half-erased disc takes no write";

    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(g, r.text, sizeof r.text, &r.status, r.failure,
                                                   0xFFFF, 0xFFFF),
              SB_EXCEPTION_NONE);
    ASSERT_EQ(blank(false), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(discInfo(g).DiscStatus, SB_DISC_STATUS_BLANK);
    EXPECT_EQ(trackAtOnce(path), SB_EXCEPTION_NONE) << r.text;
}
