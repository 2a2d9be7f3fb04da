// SPDX-License-Identifier: GPL-2.0-or-later
// The libburn backend on drives libburn takes for real ones (the MMC emulator
// answers their SG_IO): the device search, burns in each way a medium is
// written, read back block for block, multisession, test mode, erasing and
// formatting, eject, close session, cancel and two drives at once.
#include "tests/starburn/libburn_mmc_support.h"

#include <atomic>
#include <set>

using namespace sbtest;

namespace {

constexpr uint64_t kDvdBlocks = 2295104;
constexpr uint64_t kBdBlocks = 12219392;

class Flow : public Emulated {
protected:
    // Writes a generated image and reads it back from the track the write
    // made; returns the image padded to whole blocks.
    std::vector<uint8_t> burnAndCompare(void* g, size_t size, uint32_t seed, bool sao = false) {
        const std::string path = image("image" + std::to_string(seed) + ".iso", size, seed);
        const SB_TRACK_INFORMATION before = nextTrack(g);
        const uint8_t result = sao ? sessionAtOnce(g, path) : trackAtOnce(g, path);
        EXPECT_EQ(result, SB_EXCEPTION_NONE) << r.text;
        if (!sao) {
            EXPECT_EQ(closeSession(g), SB_EXCEPTION_NONE) << r.text;
        }
        const auto expected = padded(patternBytes(size, seed));
        const uint32_t blocks = static_cast<uint32_t>(expected.size() / 2048);
        const auto disc = readBack(g, before.TrackStartAddress, blocks);
        EXPECT_TRUE(disc == expected) << "the disc differs from the image; " << r.text;
        return expected;
    }
};

} // namespace

TEST_F(Flow, TheSearchFindsEveryDriveWithItsModelDiscStateAndFreeSpace) {
    drives({"Vendor = ACME\nProduct = DVD WRITER 8\nRevision = 2.10\nMedia = dvdplusr",
            "Media = cdrw\nState = appendable", "Media = bdr", "Media = none"});
    Found found;
    ASSERT_EQ(StarBurn_FindDevice(5, 0, &Found::callback, &found), SB_EXCEPTION_NONE);
    ASSERT_EQ(found.addresses.size(), 4u);
    // Each its own address, the one the emulated sg driver gives (host 7,
    // target N), and each address leads back to its drive's name.
    std::set<std::tuple<int, int, int, int>> distinct;
    for (size_t n = 0; n < found.addresses.size(); ++n) {
        const SB_DEVICE_ADDRESS& a = found.addresses[n];
        EXPECT_EQ(a.Present, 1);
        EXPECT_EQ(a.PortID, 7) << "drive " << n;
        EXPECT_EQ(a.TargetID, n) << "drive " << n;
        distinct.insert({a.PortID, a.BusID, a.TargetID, a.LUN});
        char deviceName[32] = {};
        ASSERT_EQ(
            StarBurn_GetDeviceNameByDeviceAddress(a.PortID, a.BusID, a.TargetID, a.LUN, deviceName),
            SB_EXCEPTION_NONE);
    }
    EXPECT_EQ(distinct.size(), 4u);

    struct Expect {
        const char* vendor;
        const char* product;
        uint8_t type;
        int status; // -1: no disc
        uint64_t freeBytes;
    };
    const Expect expect[] = {
        {"ACME", "DVD WRITER 8", DISC_TYPE_DVDPLUSR, SB_DISC_STATUS_BLANK, kDvdBlocks * 2048},
        {"TAVRIN", "MMC EMULATOR", DISC_TYPE_CDRW, SB_DISC_STATUS_APPENDABLE, 0},
        {"TAVRIN", "MMC EMULATOR", DISC_TYPE_BDR, SB_DISC_STATUS_BLANK, kBdBlocks * 2048},
        {"TAVRIN", "MMC EMULATOR", DISC_TYPE_NO_MEDIA, -1, 0},
    };
    for (size_t n = 0; n < 4; ++n) {
        SCOPED_TRACE(name(n));
        void* g = grab(n, 1);
        char vendor[64] = {}, product[64] = {}, revision[64] = {};
        uint32_t buffer = 0;
        ASSERT_EQ(
            StarBurn_CdvdBurnerGrabber_GetDeviceInformation(g, vendor, product, revision, &buffer),
            SB_EXCEPTION_NONE);
        EXPECT_STREQ(vendor, expect[n].vendor);
        EXPECT_STREQ(product, expect[n].product);
        EXPECT_EQ(buffer, 2048u * 1024);
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), expect[n].type);
        if (expect[n].status < 0) {
            EXPECT_EQ(testUnitReady(g), SB_EXCEPTION_NOT_READY);
            EXPECT_NE(std::string(r.text).find("There is no disc in the drive. Insert a disc "
                                               "and try again. (" +
                                               title(n) + ")"),
                      std::string::npos)
                << r.text;
            continue;
        }
        EXPECT_EQ(discInfo(g).DiscStatus, expect[n].status);
        const uint64_t space = freeBytes(g);
        if (expect[n].freeBytes != 0) {
            EXPECT_EQ(space, expect[n].freeBytes);
        } else {
            // The CD-RW's one closed session of 16384 blocks: the next
            // session starts after its lead-out and the next lead-in, and
            // what is left is what the drive reports for the next track.
            const SB_TRACK_INFORMATION next = nextTrack(g);
            EXPECT_EQ(space, uint64_t(next.FreeBlocks) * 2048);
            EXPECT_GT(next.NextWritableAddress, 16384u + 6900u);
            EXPECT_EQ(space, (359849u - next.NextWritableAddress) * uint64_t(2048));
        }
    }
}

TEST_F(Flow, CdRIsWrittenTrackAtOnceAndSessionAtOnce) {
    drives({"Media = cdr", "Media = cdr"});
    void* tao = grab(0);
    burnAndCompare(tao, 700 * 1024 + 5, 1);
    EXPECT_EQ(discInfo(tao).DiscStatus, SB_DISC_STATUS_COMPLETE);
    void* sao = grab(1);
    burnAndCompare(sao, 900 * 1024, 2, true);
    EXPECT_EQ(discInfo(sao).DiscStatus, SB_DISC_STATUS_COMPLETE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(sao), DISC_TYPE_CDR);
}

struct Medium {
    const char* label;
    const char* settings;
};

class Medium1 : public Flow, public ::testing::WithParamInterface<Medium> {};

// Write-once media take a track, rewritable ones are overwritten from their
// start; both read back as the image, and the emulator's own record of the
// disc holds it at the block the track began.
TEST_P(Medium1, ATrackAtOnceReadsBackAsTheImage) {
    drives({GetParam().settings});
    void* g = grab(0);
    const SB_TRACK_INFORMATION next = nextTrack(g);
    const auto written = burnAndCompare(g, 1024 * 1024 + 300, 7);
    const std::string disc = emulatorFile(0, ".disc");
    const size_t at = size_t(next.TrackStartAddress) * 2048;
    ASSERT_GE(disc.size(), at + written.size());
    EXPECT_TRUE(std::memcmp(disc.data() + at, written.data(), written.size()) == 0);
    // Once more on a rewritable disc: overwritten in place, read back as the new image.
    if (std::string(GetParam().settings).find("State = blank") != std::string::npos) {
        EXPECT_EQ(nextTrack(g).TrackStartAddress, next.TrackStartAddress);
        burnAndCompare(g, 300 * 1024, 8);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Each, Medium1,
    ::testing::Values(Medium{"DvdR", "Media = dvdr"}, Medium{"DvdPlusR", "Media = dvdplusr"},
                      Medium{"BdR", "Media = bdr"},
                      Medium{"DvdPlusRw", "Media = dvdplusrw\nState = blank"},
                      Medium{"DvdRwRestrictedOverwrite", "Media = dvdrw-ro\nState = blank"},
                      Medium{"BdRe", "Media = bdre\nState = blank"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Flow, ASecondSessionOnADvdPlusRTakesTheSpaceTheDriveReports) {
    drives({"Media = dvdplusr"});
    void* g = grab(0);
    const uint64_t blank = freeBytes(g);
    const std::string first = image("first.iso", 2 * 1024 * 1024, 11);
    ASSERT_EQ(trackAtOnce(g, first, false, true), SB_EXCEPTION_NONE) << r.text;
    ASSERT_EQ(closeSession(g), SB_EXCEPTION_NONE) << r.text;
    const SB_DISC_INFORMATION one = discInfo(g);
    EXPECT_EQ(one.DiscStatus, SB_DISC_STATUS_APPENDABLE);
    EXPECT_EQ(one.NumberOfSessions, 2) << "the closed one and the empty next one";
    const SB_TRACK_INFORMATION second = nextTrack(g);
    const uint64_t afterFirst = freeBytes(g);
    // The drive's own count: what lies past its next writable address.
    EXPECT_EQ(afterFirst, (kDvdBlocks - second.NextWritableAddress) * 2048);
    EXPECT_EQ(afterFirst, uint64_t(second.FreeBlocks) * 2048);
    EXPECT_LE(afterFirst, blank - 1024 * 2048);

    const std::string more = image("second.iso", 1024 * 1024, 12);
    ASSERT_EQ(trackAtOnce(g, more, false, true), SB_EXCEPTION_NONE) << r.text;
    ASSERT_EQ(closeSession(g), SB_EXCEPTION_NONE) << r.text;
    const SB_DISC_INFORMATION two = discInfo(g);
    EXPECT_EQ(two.NumberOfSessions, 3);
    const SB_TRACK_INFORMATION third = nextTrack(g);
    EXPECT_EQ(freeBytes(g), (kDvdBlocks - third.NextWritableAddress) * 2048);
    EXPECT_LE(freeBytes(g), afterFirst - 512 * 2048);
    EXPECT_TRUE(readBack(g, second.TrackStartAddress, 512) == patternBytes(1024 * 1024, 12))
        << r.text;
    EXPECT_TRUE(readBack(g, 0, 1024) == patternBytes(2 * 1024 * 1024, 11)) << r.text;
}

TEST_F(Flow, ATestWriteLeavesTheDiscBlank) {
    drives({"Media = cdr", "Media = dvdr"});
    for (size_t n : {0u, 1u}) {
        SCOPED_TRACE(name(n));
        void* g = grab(n);
        const uint64_t before = freeBytes(g);
        ASSERT_EQ(trackAtOnce(g, image("test.iso", 512 * 1024, 3), true), SB_EXCEPTION_NONE)
            << r.text;
        EXPECT_EQ(discInfo(g).DiscStatus, SB_DISC_STATUS_BLANK);
        EXPECT_EQ(freeBytes(g), before);
        EXPECT_EQ(emulatorFile(n, ".layout").find("[Track]"), std::string::npos);
        std::lock_guard lock(log.mutex);
        EXPECT_FALSE(log.progress.empty()) << "a test write reports its progress too";
    }
}

TEST_F(Flow, RewritableDiscsAreBlankedQuicklyOrFullyAndFormatted) {
    drives({"Media = cdrw\nState = appendable", "Media = cdrw\nState = closed",
            "Media = dvdrw-seq\nState = closed", "Media = dvdrw-seq\nState = appendable",
            "Media = dvdplusrw", "Media = bdre"});
    for (size_t n = 0; n < 4; ++n) {
        SCOPED_TRACE(name(n));
        void* g = grab(n);
        ASSERT_EQ(blank(g, n % 2 == 1), SB_EXCEPTION_NONE) << r.text;
        EXPECT_EQ(discInfo(g).DiscStatus, SB_DISC_STATUS_BLANK);
        EXPECT_NE(emulatorFile(n, ".layout").find("ClosedSessions=0\n"), std::string::npos);
        if (n >= 2) {
            // A DVD-RW blanked quickly takes only Disc-At-Once afterwards.
            EXPECT_NE(
                emulatorFile(n, ".layout").find(n == 3 ? "QuickBlanked=0\n" : "QuickBlanked=1\n"),
                std::string::npos);
        }
        {
            std::lock_guard lock(log.mutex);
            EXPECT_GE(log.other, 1);
        }
        // Written again from its start (one of each kind: every write costs
        // libburn's fixed waits).
        if (n == 0 || n == 3) {
            burnAndCompare(g, 256 * 1024, 20 + static_cast<uint32_t>(n));
        }
    }
    // DVD+RW and BD-RE come unformatted: the erase formats them, to their
    // whole size, and they take an image then.
    for (size_t n : {4u, 5u}) {
        SCOPED_TRACE(name(n));
        void* g = grab(n);
        ASSERT_EQ(blank(g, false), SB_EXCEPTION_NONE) << r.text;
        EXPECT_NE(emulatorFile(n, ".layout").find("Formatted=1\n"), std::string::npos)
            << emulatorFile(n, ".layout");
        // The BD-RE in the drive's default format, with its spare areas.
        EXPECT_EQ(freeBytes(g), (n == 4 ? kDvdBlocks : uint64_t(11826176)) * 2048);
        burnAndCompare(g, 256 * 1024, 30 + static_cast<uint32_t>(n));
        // Erased once more, the image is gone: the disc reads blank again.
        ASSERT_EQ(blank(g, false), SB_EXCEPTION_NONE) << r.text;
        const auto start = readBack(g, 0, 16);
        EXPECT_TRUE(start.empty() || start == std::vector<uint8_t>(16 * 2048, 0))
            << "the erased disc still holds the image";
    }
}

TEST_F(Flow, EjectOpensTheTrayAndCloseSessionRefusesAClosedOrBlankDisc) {
    drives({"Media = dvdplusr", "Media = cdr"});
    void* g = grab(0);
    EXPECT_EQ(closeSession(g), SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_NE(std::string(r.text).find("no open session"), std::string::npos) << r.text;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Eject(g, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_NE(emulatorFile(0, ".layout").find("TrayOpen=1\n"), std::string::npos)
        << emulatorFile(0, ".layout");
    EXPECT_EQ(testUnitReady(g), SB_EXCEPTION_NOT_READY);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_NO_MEDIA);

    // A locked tray stays shut.
    void* cd = grab(1);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Lock(cd, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(cd, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_EQ(emulatorFile(1, ".layout").find("TrayOpen=1\n"), std::string::npos);
}

TEST_F(Flow, ACancelledWriteReturnsAtOnceAndTheDriveWritesAgain) {
    drives({"Media = bdre\nState = blank\nFaults = slow:40"});
    void* g = grab(0);
    const std::string path = image("long.iso", 16 * 1024 * 1024, 40);
    std::atomic<bool> returned{false};
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller([&] {
        // As soon as the write is under way.
        while (log.reports.load() < 3 && !returned) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        cancelledAt = std::chrono::steady_clock::now();
        StarBurn_CdvdBurnerGrabber_Cancel(g);
    });
    const uint8_t result = trackAtOnce(g, path);
    const auto end = std::chrono::steady_clock::now();
    returned = true;
    canceller.join();
    ASSERT_EQ(result, SB_EXCEPTION_CANCELLED) << r.text;
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - cancelledAt).count();
    EXPECT_LE(took, 100) << "StarBurn.h promises the cancelled write's return within 100 ms";

    // The drive is free again for another grabber of this program, which writes.
    StarBurn_Destroy(&g);
    void* again = grab(0);
    burnAndCompare(again, 256 * 1024, 41);
}

// Progress of one of two writes, and whether the other was half done at one
// of its reports.
struct Side {
    std::atomic<int64_t> done{0};
    std::atomic<int64_t> total{0};
    Side* other = nullptr;
    std::atomic<bool> overlapped{false};
    static void callback(uint32_t reason, void* context, void* special1, void* special2) {
        if ((reason & 0xFF) != SB_REASON_WRITE_PROGRESS) {
            return;
        }
        auto* side = static_cast<Side*>(context);
        side->total = *static_cast<const int64_t*>(special1);
        side->done = *static_cast<const int64_t*>(special2);
        const int64_t otherDone = side->other->done;
        if (otherDone > 0 && otherDone < side->other->total) {
            side->overlapped = true;
        }
    }
};

TEST_F(Flow, TwoDrivesAreWrittenAtOnce) {
    drives({"Media = dvdplusr\nFaults = slow:10", "Media = cdr\nFaults = slow:10"});
    Side sides[2];
    sides[0].other = &sides[1];
    sides[1].other = &sides[0];
    void* g[2] = {open(name(0).c_str(), 0, &Side::callback, &sides[0]),
                  open(name(1).c_str(), 0, &Side::callback, &sides[1])};
    uint8_t result[2] = {0xFF, 0xFF};
    Report report[2];
    std::vector<std::thread> writes;
    for (int k = 0; k < 2; ++k) {
        const std::string path = image("side" + std::to_string(k) + ".iso", 2 * 1024 * 1024,
                                       50 + static_cast<uint32_t>(k));
        writes.emplace_back([&, k, path] {
            Report& rk = report[k];
            result[k] = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
                g[k], rk.text, sizeof rk.text, &rk.status, rk.failure, path.c_str(), 1, 0, 0, 1,
                SB_WRITE_REVISION);
        });
    }
    for (auto& w : writes) {
        w.join();
    }
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(result[k], SB_EXCEPTION_NONE) << report[k].text;
        EXPECT_TRUE(readBack(g[k], 0, 1024) ==
                    patternBytes(2 * 1024 * 1024, 50 + static_cast<uint32_t>(k)))
            << r.text;
    }
    // Neither drive waited for the other: each reported progress while the
    // other was half way.
    EXPECT_TRUE(sides[0].overlapped || sides[1].overlapped);
    StarBurn_Destroy(&g[0]);
    StarBurn_Destroy(&g[1]);
}
