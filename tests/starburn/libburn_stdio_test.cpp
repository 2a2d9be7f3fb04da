// SPDX-License-Identifier: GPL-2.0-or-later
// The libburn backend through the C interface, with libburn's stdio
// pseudo-drives standing in for recorders: discovery, every query, writes in
// each mode libburn offers there, cancel, failing targets.
#include "starburn/StarBurnLinux.h"
#include "starburn/libburn/sbLibburnTesting.h"
#include "tests/starburn/libburn_tsan.h"
#include "tests/starburn/sbTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>

using namespace sbtest;

namespace {

// One virtual recorder, so the pseudo-drives show where libburn's drives go:
// after the virtual ones.
std::string configWith(const std::string& stdioSections) {
    return "[Virtual]\nTimeFactor = 0\n\n"
           "[Recorder writer]\nDeviceName = CdRom0\nAddress = 1:0:0:0\nDriveLetter = E\n"
           "Disc = DVD+R\nDiscCapacity = 4096\n\n" +
           stdioSections;
}

class Stdio : public Library {
protected:
    void SetUp() override {
        target = dir.file("disc.iso");
        ASSERT_EQ(start(configWith("[Stdio disc]\nPath = " + target + "\n")), SB_EXCEPTION_NONE);
        drive = open("CdRom1", 0, &ProgressLog::callback, &log);
        ASSERT_NE(drive, nullptr);
    }

    void TearDown() override {
        if (drive != nullptr) {
            StarBurn_Destroy(&drive);
        }
        Library::TearDown();
    }

    uint8_t trackAtOnce(void* g, const std::string& path, bool testWrite = false,
                        bool multiSession = false) {
        return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                              r.failure, path.c_str(), 1, testWrite,
                                                              multiSession, 1, SB_WRITE_REVISION);
    }

    uint8_t discAtOnce(void* g, const std::vector<std::string>& paths, bool raw,
                       bool testWrite = false) {
        return sbtest::discAtOnce(g, r, paths, raw, testWrite, false);
    }

    uint8_t sessionAtOnce(void* g, const std::vector<std::string>& paths) {
        auto layout = std::make_unique<SessionLayoutRecord>();
        std::memset(layout.get(), 0, sizeof *layout);
        layout->EntryCount = static_cast<uint32_t>(paths.size());
        for (size_t i = 0; i < paths.size(); ++i) {
            std::strncpy(layout->Entries[i].FileName, paths[i].c_str(), SB_SESSION_PATH_SIZE - 1);
        }
        return StarBurn_CdvdBurnerGrabber_SessionAtOnce(g, r.text, sizeof r.text, &r.status,
                                                        r.failure, layout.get(), 0, 0, 1, 1,
                                                        SB_WRITE_REVISION);
    }

    uint8_t setSpeeds(void* g, uint32_t read, uint32_t write) {
        return StarBurn_CdvdBurnerGrabber_SetSpeeds(g, r.text, sizeof r.text, &r.status, r.failure,
                                                    read, write);
    }

    // The target's first `length` bytes: libburn pads the last sector and
    // leaves what lies beyond the image in an existing target alone.
    std::vector<uint8_t> written(size_t length) {
        auto bytes = readBytes(target);
        if (bytes.size() > length) {
            bytes.resize(length);
        }
        return bytes;
    }

    std::string target;
    void* drive = nullptr;
    ProgressLog log;
    Report r;
};

} // namespace

TEST_F(Stdio, PseudoDriveIsFoundAfterTheVirtualRecordersByNameAddressAndLetter) {
    Found found;
    ASSERT_EQ(StarBurn_FindDevice(5, 0, &Found::callback, &found), SB_EXCEPTION_NONE);
    ASSERT_EQ(found.addresses.size(), 2u);
    const SB_DEVICE_ADDRESS a = found.addresses[1];
    EXPECT_EQ(a.Present, 1);
    EXPECT_EQ(a.PortID, 2); // pseudo-drives live on port 2
    EXPECT_EQ(a.TargetID, 0);

    char name[8] = {};
    ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(a.PortID, a.BusID, a.TargetID, a.LUN, name),
              SB_EXCEPTION_NONE);
    EXPECT_STREQ(name, "\\\\.\\F:"); // the next letter after the virtual E:

    void* byAddress = nullptr;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Create(&byAddress, r.text, sizeof r.text, &r.status,
                                                r.failure, nullptr, nullptr, a.PortID, a.BusID,
                                                a.TargetID, a.LUN, 1),
              SB_EXCEPTION_NONE)
        << r.text;
    void* byLetter = open("\\\\.\\F:", 1);
    char vendor[64] = {};
    char product[64] = {};
    char revision[64] = {};
    uint32_t buffer = 7;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDeviceInformation(byLetter, vendor, product, revision,
                                                              &buffer),
              SB_EXCEPTION_NONE);
    EXPECT_STREQ(vendor, "LIBBURN");
    EXPECT_STREQ(product, "stdio disc.iso");
    EXPECT_EQ(buffer, 0u); // a file has no drive buffer
    StarBurn_Destroy(&byAddress);
    StarBurn_Destroy(&byLetter);
}

TEST_F(Stdio, ProbeQueriesDescribeABlankRandomAccessTarget) {
    uint8_t tao = 0, sao = 0, daoPq = 0, daoRaw = 1;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
                  drive, r.text, sizeof r.text, &r.status, r.failure, &tao, &sao, &daoPq, &daoRaw),
              SB_EXCEPTION_NONE);
    EXPECT_TRUE(tao && sao && daoPq);
    EXPECT_FALSE(daoRaw) << "libburn writes raw P-W only on CD media";

    uint8_t f[10] = {};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(
                  drive, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9]),
              SB_EXCEPTION_NONE);
    EXPECT_TRUE(f[5]) << "a pseudo-drive can simulate";
    EXPECT_TRUE(f[9]) << "a random-access file is written like DVD-RAM";

    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(drive, r.text, sizeof r.text, &r.status,
                                                       r.failure),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(drive), DISC_TYPE_DVDRAM);

    const SB_DISC_INFORMATION disc = discInfo(drive);
    EXPECT_EQ(disc.Valid, 1);
    EXPECT_EQ(disc.DiscStatus, SB_DISC_STATUS_BLANK);
    EXPECT_EQ(disc.LastSessionStatus, SB_SESSION_STATUS_EMPTY);
    EXPECT_EQ(disc.NumberOfSessions, 1);
    const uint32_t capacity = disc.LastPossibleLeadOutStart; // packed: read by value
    EXPECT_GT(capacity, 0u);

    const SB_TRACK_INFORMATION next = nextTrack(drive);
    EXPECT_EQ(next.Valid, 1);
    EXPECT_EQ(next.TrackNumber, 1);
    EXPECT_EQ(next.Blank, 1);
    EXPECT_EQ(next.NextWritableAddressValid, 1) << "the wizard refuses a disc without one";
    const uint32_t nwa = next.NextWritableAddress;
    const uint32_t nextFree = next.FreeBlocks;
    EXPECT_EQ(nwa, 0u);
    EXPECT_GT(nextFree, 0u);

    auto toc = std::make_unique<SB_TOC_INFORMATION>();
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTOCInformation(drive, r.text, sizeof r.text, &r.status,
                                                           r.failure, toc.get()),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(toc->Valid, 0) << "a blank target has no table of contents";

    uint32_t freeBlocks = 0;
    uint64_t freeBytes = 0;
    uint64_t used = 99;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(drive, 3, &freeBlocks, &freeBytes),
              SB_EXCEPTION_NONE);
    // A random-access target's free space is its file system's, which other
    // programs change between two calls: the two answers agree within 32 MiB.
    EXPECT_NEAR(double(freeBlocks), double(nextFree), 16384.0);
    EXPECT_GE(freeBytes, static_cast<uint64_t>(freeBlocks) * 2048);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(drive, r.text, sizeof r.text, &r.status,
                                                          r.failure, &used),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(used, 0u);

    uint8_t rpc[5] = {};
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetRPC(drive, r.text, sizeof r.text, &r.status, r.failure,
                                                &rpc[0], &rpc[1], &rpc[2], &rpc[3], &rpc[4]),
              SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_NE(std::string(r.text).find("region"), std::string::npos) << r.text;
}

TEST_F(Stdio, SpeedsAreSetAndReadBack) {
    uint32_t s[4] = {};
    ASSERT_EQ(setSpeeds(drive, 0xFFFF, 0xFFFF), SB_EXCEPTION_NONE) << r.text;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSpeeds(drive, r.text, sizeof r.text, &r.status,
                                                   r.failure, &s[0], &s[1], &s[2], &s[3]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(s[3], 0xFFFFu);
    EXPECT_EQ(s[2], 0xFFFFu);
    ASSERT_EQ(setSpeeds(drive, s[0], 1385), SB_EXCEPTION_NONE);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSpeeds(drive, r.text, sizeof r.text, &r.status,
                                                   r.failure, &s[0], &s[1], &s[2], &s[3]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(s[2], 1385u) << "a pseudo-drive writes at the speed it is asked";
}

TEST_F(Stdio, BupOpcTrayAndEjectAnswerWithoutFakingAnything) {
    uint8_t enabled = 9, supported = 9;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetBUP(drive, r.text, sizeof r.text, &r.status, r.failure,
                                                &enabled, &supported),
              SB_EXCEPTION_NONE);
    EXPECT_LE(enabled, supported);
    const uint8_t setBup =
        StarBurn_CdvdBurnerGrabber_SetBUP(drive, r.text, sizeof r.text, &r.status, r.failure, 1);
    EXPECT_EQ(setBup, supported ? SB_EXCEPTION_NONE : SB_EXCEPTION_NOT_SUPPORTED) << r.text;

    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_SendOPC(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_NE(std::string(r.text).find("laser"), std::string::npos) << r.text;

    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Lock(drive, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(drive, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_DEVICE_BUSY)
        << "a locked tray does not open";
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_Release(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(drive, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE)
        << r.text;
    // After the eject the drive is taken again for the next call.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(drive, r.text, sizeof r.text, &r.status,
                                                       r.failure),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_CloseSession(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_MEDIUM_ERROR)
        << "nothing was written, so no session is open";
}

TEST_F(Stdio, TrackAtOnceWritesTheImageAndReportsProgress) {
    const auto bytes = patternBytes(3 * 1000 * 1000 + 123, 7); // not a whole number of sectors
    const std::string image = dir.file("image.iso");
    writeBytes(image, bytes);

    ASSERT_EQ(trackAtOnce(drive, image), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(written(bytes.size()), bytes);
    const auto all = readBytes(target);
    ASSERT_EQ(all.size() % 2048, 0u) << "the last sector is padded";
    EXPECT_TRUE(std::all_of(all.begin() + static_cast<long>(bytes.size()), all.end(),
                            [](uint8_t b) { return b == 0; }));

    std::lock_guard lock(log.mutex);
    ASSERT_FALSE(log.progress.empty());
    EXPECT_EQ(log.progress.front(), std::make_pair(int64_t(bytes.size()), int64_t(0)));
    EXPECT_EQ(log.progress.back(), std::make_pair(int64_t(bytes.size()), int64_t(bytes.size())));
    for (size_t i = 1; i < log.progress.size(); ++i) {
        EXPECT_GE(log.progress[i].second, log.progress[i - 1].second) << "progress never goes back";
    }
    EXPECT_GE(log.other, 1);

    // libburn closed the session with the track; closing it again is success.
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_CloseSession(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE)
        << r.text;
}

TEST_F(Stdio, SessionAtOnceAndDiscAtOnceWriteTheImageOverAnEarlierOne) {
    const auto first = patternBytes(2 * 1024 * 1024, 1);
    const auto second = patternBytes(1024 * 1024 + 5, 2);
    const std::string a = dir.file("a.iso");
    const std::string b = dir.file("b.iso");
    writeBytes(a, first);
    writeBytes(b, second);

    ASSERT_EQ(sessionAtOnce(drive, {a}), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(written(first.size()), first);
    // A random-access target is overwritable: it stays "blank" and takes the
    // next image from its first block.
    EXPECT_EQ(discInfo(drive).DiscStatus, SB_DISC_STATUS_BLANK);
    ASSERT_EQ(discAtOnce(drive, {b}, false), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(written(second.size()), second);
    const auto all = readBytes(target);
    EXPECT_EQ(all.size(), first.size()) << "the target is not truncated";
}

TEST_F(Stdio, RawDiscAtOnceIsRefusedWithItsReason) {
    const std::string image = this->image("raw.iso", 64 * 1024, 3);
    EXPECT_EQ(discAtOnce(drive, {image}, true), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_NE(std::string(r.text).find("Disc-At-Once raw P-W"), std::string::npos) << r.text;
    EXPECT_FALSE(fs::exists(target)) << "nothing was written";
}

TEST_F(Stdio, TestWriteLeavesTheTargetUnwritten) {
    const auto bytes = patternBytes(512 * 1024, 4);
    const std::string image = dir.file("sim.iso");
    writeBytes(image, bytes);
    ASSERT_EQ(trackAtOnce(drive, image, true), SB_EXCEPTION_NONE) << r.text;
    EXPECT_TRUE(!fs::exists(target) || fs::file_size(target) == 0);
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_CloseSession(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_MEDIUM_ERROR)
        << "a simulation opens no session";
}

// libburn never keeps a random-access target appendable; the wizard asks for
// multisession with every Track-At-Once write, and gets the write.
TEST_F(Stdio, MultisessionOnARandomAccessTargetWritesItAndTheTargetStaysWritable) {
    const auto first = patternBytes(200 * 1024, 5);
    const auto second = patternBytes(100 * 1024 + 7, 6);
    const std::string a = dir.file("multi-a.iso");
    const std::string b = dir.file("multi-b.iso");
    writeBytes(a, first);
    writeBytes(b, second);
    ASSERT_EQ(trackAtOnce(drive, a, false, true), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(written(first.size()), first);
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_CloseSession(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_EQ(discInfo(drive).DiscStatus, SB_DISC_STATUS_BLANK) << "still writable from its start";
    ASSERT_EQ(trackAtOnce(drive, b, false, true), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(written(second.size()), second);
}

// A pseudo-drive named by an open descriptor takes the role of its opening
// mode; a write-only one (role 5) is written with multisession asked as well.
TEST_F(Stdio, MultisessionOnAWriteOnlyTargetWritesIt) {
    StarBurn_Destroy(&drive);
    const std::string path = dir.file("write-only.iso");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(start(configWith("[Stdio wo]\nPath = /dev/fd/" + std::to_string(fd) + "\n")),
              SB_EXCEPTION_NONE);
    drive = open("CdRom1");
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(drive), DISC_TYPE_DVDRAM);
    const auto bytes = patternBytes(150 * 1024, 17);
    const std::string image = dir.file("wo-image.iso");
    writeBytes(image, bytes);
    ASSERT_EQ(trackAtOnce(drive, image, false, true), SB_EXCEPTION_NONE) << r.text;
    auto file = readBytes(path);
    ASSERT_GE(file.size(), bytes.size());
    file.resize(bytes.size());
    EXPECT_EQ(file, bytes);
    StarBurn_Destroy(&drive);
    StarBurn_DownShut();
    ::close(fd);
}

// A read-only pseudo-drive on an empty file is an empty tray; the file
// filling up is a disc put in. It is seen while the drive is held, without
// letting the drive go and without a restart.
TEST_F(Stdio, ADiscPutInWhileTheDriveIsHeldIsSeen) {
    StarBurn_Destroy(&drive);
    const std::string path = dir.file("tray.iso");
    writeText(path, "");
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(start(configWith("[Stdio tray]\nPath = /dev/fd/" + std::to_string(fd) + "\n")),
              SB_EXCEPTION_NONE);
    drive = open("CdRom1");
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Lock(drive, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(drive), DISC_TYPE_NO_MEDIA);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(drive, r.text, sizeof r.text, &r.status,
                                                       r.failure),
              SB_EXCEPTION_NOT_READY);

    writeBytes(path, patternBytes(64 * 1024, 18));
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(drive, r.text, sizeof r.text, &r.status,
                                                       r.failure),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(drive), DISC_TYPE_DVDROM);
    EXPECT_EQ(discInfo(drive).DiscStatus, SB_DISC_STATUS_COMPLETE);
    uint32_t scans = 9, grabs = 9;
    ASSERT_EQ(StarBurnLibburnTesting_DriveOpenings("CdRom1", &scans, &grabs), SB_EXCEPTION_NONE);
    EXPECT_EQ(scans, 0u) << "scanned once, when the library started";
    EXPECT_EQ(grabs, 0u) << "held all along, since the examination at the start";
    StarBurn_Destroy(&drive);
    StarBurn_DownShut();
    ::close(fd);
}

// The drive examined at the start stays taken for the calls that follow,
// and between calls (no spin-down and spin-up between the wizard's sheets),
// also through the unlock and eject that end a burn; taking it again after
// it was let go scans no bus.
TEST_F(Stdio, CallsShareOneGrabAndALaterGrabScansNothing) {
    uint32_t scans = 9, grabs = 9;
    for (int i = 0; i < 5; ++i) {
        StarBurn_CdvdBurnerGrabber_TestUnitReady(drive, r.text, sizeof r.text, &r.status,
                                                 r.failure);
        discInfo(drive);
        nextTrack(drive);
    }
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Lock(drive, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE);
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_Release(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE);
    ASSERT_EQ(StarBurnLibburnTesting_DriveOpenings("CdRom1", &scans, &grabs), SB_EXCEPTION_NONE);
    EXPECT_EQ(scans, 0u);
    EXPECT_EQ(grabs, 0u);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Eject(drive, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE);
    discInfo(drive);
    ASSERT_EQ(StarBurnLibburnTesting_DriveOpenings("CdRom1", &scans, &grabs), SB_EXCEPTION_NONE);
    EXPECT_EQ(scans, 0u);
    EXPECT_EQ(grabs, 1u);
}

TEST_F(Stdio, CancelStopsAThrottledWriteAndTheDriveWritesAgainAfterwards) {
    // The pseudo-drive is fed at the asked speed in small steps, so the cancel
    // is seen at once: 24 MiB at 6x DVD (8310 KB/s) take about three seconds.
    const auto bytes = patternBytes(24 * 1024 * 1024, 6);
    const std::string image = dir.file("slow.iso");
    writeBytes(image, bytes);
    ASSERT_EQ(setSpeeds(drive, 0xFFFF, 8310), SB_EXCEPTION_NONE) << r.text;

    std::atomic<bool> stop{false};
    std::thread canceller([&] {
        // The first report comes as the write starts.
        while (!stop && log.reports.load() < 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        StarBurn_CdvdBurnerGrabber_Cancel(drive);
    });
    const uint8_t result = trackAtOnce(drive, image);
    stop = true;
    canceller.join();
    EXPECT_EQ(result, SB_EXCEPTION_CANCELLED) << r.text;
    EXPECT_EQ(r.status, static_cast<uint32_t>(ECANCELED));

    // The call returned before libburn's write thread ended; the next write
    // waits for it and is accepted.
    ASSERT_EQ(setSpeeds(drive, 0xFFFF, 0xFFFF), SB_EXCEPTION_NONE);
    const auto small = patternBytes(100 * 1024, 8);
    const std::string again = dir.file("again.iso");
    writeBytes(again, small);
    ASSERT_EQ(trackAtOnce(drive, again), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(written(small.size()), small);
}

TEST_F(Stdio, AnImageLargerThanTheFreeSpaceIsRefusedBeforeWriting) {
    uint32_t freeBlocks = 0;
    uint64_t freeBytes = 0;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(drive, 3, &freeBlocks, &freeBytes),
              SB_EXCEPTION_NONE);
    // A sparse file claims more than the file system holds.
    const std::string image = dir.file("huge.iso");
    { std::ofstream out(image, std::ios::binary); }
    ASSERT_EQ(::truncate(image.c_str(), static_cast<off_t>(freeBytes + 4096 * 2048)), 0);
    EXPECT_EQ(trackAtOnce(drive, image), SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_EQ(r.status, static_cast<uint32_t>(ENOSPC));
    EXPECT_NE(std::string(r.text).find("does not fit"), std::string::npos) << r.text;
}

// A full target and a missing image: the failures reach the caller with
// libburn's (or the file system's) reason.
class FailingStdio : public Library {
protected:
    void SetUp() override {}
    Report r;
};

TEST_F(FailingStdio, WritingOntoAFullTargetFailsWithTheSystemsReason) {
    ASSERT_EQ(start(configWith("[Stdio full]\nPath = /dev/full\n")), SB_EXCEPTION_NONE);
    void* g = open("CdRom1");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_DVDR)
        << "a sequential target behaves like a blank DVD-R";
    const std::string image = this->image("img.iso", 256 * 1024, 9);
    const uint8_t result = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
        g, r.text, sizeof r.text, &r.status, r.failure, image.c_str(), 1, 0, 0, 1,
        SB_WRITE_REVISION);
    EXPECT_EQ(result, SB_EXCEPTION_WRITE_ERROR) << r.text;
    EXPECT_EQ(r.status, static_cast<uint32_t>(ENOSPC)) << r.text;
    EXPECT_NE(std::string(r.text).find("write"), std::string::npos) << r.text;
    StarBurn_Destroy(&g);
}

TEST_F(FailingStdio, AMissingImageFailsBeforeTheDriveIsTouched) {
    ASSERT_EQ(start(configWith("[Stdio disc]\nPath = " + dir.file("out.iso") + "\n")),
              SB_EXCEPTION_NONE);
    void* g = open("CdRom1");
    const std::string missing = dir.file("missing.iso");
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                             r.failure, missing.c_str(), 1, 0, 0, 1,
                                                             SB_WRITE_REVISION),
              SB_EXCEPTION_FILE_ERROR);
    EXPECT_FALSE(fs::exists(dir.file("out.iso")));
    StarBurn_Destroy(&g);
}

TEST_F(FailingStdio, APseudoDriveInAMissingFolderIsLeftOutWithAReason) {
    ASSERT_EQ(start(configWith("[Stdio lost]\nPath = " + dir.file("no/such/folder/x.iso") + "\n")),
              SB_EXCEPTION_NONE);
    EXPECT_NE(std::string(startText).find("pseudo-drive \"lost\" is left out"), std::string::npos)
        << startText;
    void* g = nullptr;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom1", 0),
              SB_EXCEPTION_NO_DEVICE);
}

// Each drive's write ends by that drive's own status, so two pseudo-drives
// write at the same time and each gets the whole image.
TEST_F(FailingStdio, TwoPseudoDrivesWriteAtOnce) {
    const std::string a = dir.file("a-out.iso");
    const std::string b = dir.file("b-out.iso");
    ASSERT_EQ(start(configWith("[Stdio a]\nPath = " + a + "\n\n[Stdio b]\nPath = " + b + "\n")),
              SB_EXCEPTION_NONE);
    ProgressLog progress;
    void* first = open("CdRom1", 0, &ProgressLog::callback, &progress);
    void* second = open("CdRom2");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    // The first drive is throttled so that it still writes when the second starts.
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(first, r.text, sizeof r.text, &r.status,
                                                   r.failure, 0xFFFF, 8310),
              SB_EXCEPTION_NONE);
    const auto bytesA = patternBytes(12 * 1024 * 1024, 10);
    const auto bytesB = patternBytes(9 * 1024 * 1024 + 4096, 11);
    const std::string imageA = dir.file("a.iso");
    const std::string imageB = dir.file("b.iso");
    writeBytes(imageA, bytesA);
    writeBytes(imageB, bytesB);
    Report firstReport;
    std::atomic<uint8_t> firstResult{0xFF};
    std::thread writer([&] {
        firstResult = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
            first, firstReport.text, sizeof firstReport.text, &firstReport.status,
            firstReport.failure, imageA.c_str(), 1, 0, 0, 1, SB_WRITE_REVISION);
    });
    while (progress.reports.load() < 2 && firstResult.load() == 0xFF) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(firstResult.load(), 0xFF) << "the first write still runs: " << firstReport.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(second, r.text, sizeof r.text,
                                                             &r.status, r.failure, imageB.c_str(),
                                                             1, 0, 0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    // Queries on the writing drive answer from what it knew before the write.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(first, r.text, sizeof r.text, &r.status,
                                                       r.failure),
              SB_EXCEPTION_NONE);
    writer.join();
    EXPECT_EQ(firstResult.load(), SB_EXCEPTION_NONE) << firstReport.text;
    auto writtenA = readBytes(a);
    auto writtenB = readBytes(b);
    writtenA.resize(std::min(writtenA.size(), bytesA.size()));
    writtenB.resize(std::min(writtenB.size(), bytesB.size()));
    EXPECT_EQ(writtenA, bytesA);
    EXPECT_EQ(writtenB, bytesB);
    StarBurn_Destroy(&first);
    StarBurn_Destroy(&second);
}

namespace {
std::atomic<int> g_signals{0};
void countSignal(int) {
    ++g_signals;
}
} // namespace

TEST_F(Stdio, TheProgramsSignalHandlingStaysItsOwn) {
    StarBurn_Destroy(&drive);
    StarBurn_DownShut();
    struct sigaction mine {};
    mine.sa_handler = countSignal;
    sigemptyset(&mine.sa_mask);
    struct sigaction old {};
    ASSERT_EQ(::sigaction(SIGUSR1, &mine, &old), 0);
    const int watched[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGPIPE, SIGALRM};
    std::vector<void (*)(int)> before;
    for (int sig : watched) {
        struct sigaction now {};
        ::sigaction(sig, nullptr, &now);
        before.push_back(now.sa_handler);
    }
    // Starting libburn and running its write threads leave them as they were.
    ASSERT_EQ(start(configWith("[Stdio disc]\nPath = " + target + "\n")), SB_EXCEPTION_NONE);
    drive = open("CdRom1");
    const std::string image = this->image("sig.iso", 128 * 1024, 11);
    ASSERT_EQ(trackAtOnce(drive, image), SB_EXCEPTION_NONE) << r.text;
    for (size_t i = 0; i < std::size(watched); ++i) {
        struct sigaction now {};
        ASSERT_EQ(::sigaction(watched[i], nullptr, &now), 0);
        EXPECT_EQ(now.sa_handler, before[i]) << "signal " << watched[i];
    }
    ::raise(SIGUSR1);
    EXPECT_EQ(g_signals.load(), 1);
    ::sigaction(SIGUSR1, &old, nullptr);
}

TEST_F(Stdio, TheSessionAWriteClosedStaysClosedAfterTheDriveWasLetGo) {
    const std::string image = this->image("idle.iso", 256 * 1024, 14);
    ASSERT_EQ(trackAtOnce(drive, image), SB_EXCEPTION_NONE) << r.text;
    // The last tray lock going lets the drive go a second later.
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Lock(drive, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE);
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_Release(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    uint32_t scans = 0, grabs = 0;
    ASSERT_EQ(StarBurnLibburnTesting_DriveOpenings("CdRom1", &scans, &grabs), SB_EXCEPTION_NONE);
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_CloseSession(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE)
        << r.text;
    uint32_t grabsAfter = 0;
    ASSERT_EQ(StarBurnLibburnTesting_DriveOpenings("CdRom1", &scans, &grabsAfter),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(grabsAfter, grabs + 1) << "the close took the drive again";
    // Once closed, it is not closed twice.
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_CloseSession(drive, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_MEDIUM_ERROR);
}

TEST_F(Stdio, SeveralTracksInOneSessionAreRefusedWhereTheTargetTakesOne) {
    const std::string a = this->image("t1.iso", 64 * 1024, 15);
    const std::string b = this->image("t2.iso", 64 * 1024, 16);
    EXPECT_EQ(sessionAtOnce(drive, {a, b}), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_NE(std::string(r.text).find("one track per session"), std::string::npos) << r.text;
    EXPECT_FALSE(fs::exists(target));
}

// The entry for the program's own SIGINT/SIGTERM handling: the running write
// is cancelled and the call returns once the drive has finished with it.
TEST_F(Stdio, AbortCancelsTheRunningWriteAndReturnsWhenTheDriveIsIdle) {
    const auto bytes = patternBytes(24 * 1024 * 1024, 19);
    const std::string image = dir.file("abort.iso");
    writeBytes(image, bytes);
    ASSERT_EQ(setSpeeds(drive, 0xFFFF, 8310), SB_EXCEPTION_NONE) << r.text;
    std::atomic<uint8_t> result{0xFF};
    Report writeReport;
    std::thread writer([&] {
        result = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
            drive, writeReport.text, sizeof writeReport.text, &writeReport.status,
            writeReport.failure, image.c_str(), 1, 0, 0, 1, SB_WRITE_REVISION);
    });
    while (log.reports.load() < 1 && result.load() == 0xFF) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(result.load(), 0xFF) << "the write still runs: " << writeReport.text;
    void* idle = open("CdRom1");
    EXPECT_EQ(StarBurn_AbortWrites(30), SB_EXCEPTION_NONE);
    // The drive is free: a write through another grabber is taken at once.
    void* other = open("CdRom1");
    const std::string small = this->image("after-abort.iso", 64 * 1024, 20);
    EXPECT_EQ(trackAtOnce(other, small), SB_EXCEPTION_NONE) << r.text;
    StarBurn_Destroy(&other);
    writer.join();
    EXPECT_EQ(result.load(), SB_EXCEPTION_CANCELLED) << writeReport.text;
    // A grabber that was not writing stops its next write as it starts: no
    // write slips past the abort.
    EXPECT_EQ(trackAtOnce(idle, small), SB_EXCEPTION_CANCELLED);
    StarBurn_Destroy(&idle);
    EXPECT_EQ(StarBurn_AbortWrites(0), SB_EXCEPTION_NONE) << "nothing runs";
}
