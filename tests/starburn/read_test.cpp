// SPDX-License-Identifier: GPL-2.0-or-later
// Reading a disc back through StarBurn_CdvdBurnerGrabber_ReadData: what a
// virtual recorder and a libburn pseudo-drive return, and how each failure
// is reported.
#include "starburn/StarBurnLinux.h"
#include "tests/starburn/sbTestSupport.h"

#include <chrono>
#include <cstring>
#include <thread>

using namespace sbtest;

namespace {

class Reads : public Library {
protected:
    void TearDown() override {
        if (grabber != nullptr) {
            StarBurn_Destroy(&grabber);
        }
        Library::TearDown();
    }

    uint8_t read(uint32_t lba, uint32_t blocks, void* buffer) {
        std::memset(r.failure, 0, sizeof r.failure);
        return StarBurn_CdvdBurnerGrabber_ReadData(grabber, r.text, sizeof r.text, &r.status,
                                                   r.failure, lba, blocks, buffer);
    }

    uint8_t trackAtOnce(const std::string& path) {
        return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(grabber, r.text, sizeof r.text,
                                                              &r.status, r.failure, path.c_str(), 1,
                                                              0, 0, 1, SB_WRITE_REVISION);
    }

    void* grabber = nullptr;
    Report r;
};

TEST_F(Reads, AVirtualDiscGivesBackWhatWasWrittenAndRefusesWhatIsNot) {
    ASSERT_EQ(start(std::string(kTestRecorders) +
                    "\n[Recorder faulty]\nDeviceName = CdRom5\nAddress = 1:0:5:0\n"
                    "DriveLetter = H\nDisc = DVD+R\nDiscCapacity = 4096\n"
                    "ReadErrorAtBlock = 7\nCorruptAfterWrite = 5000\n"),
              SB_EXCEPTION_NONE);
    grabber = open("CdRom0");
    const auto bytes = patternBytes(5 * 2048 + 100, 3);
    const std::string path = dir.file("a.iso");
    writeBytes(path, bytes);
    std::vector<uint8_t> buffer(6 * 2048, 0xEE);

    // Nothing recorded yet: any block is past the recorded data.
    EXPECT_EQ(read(0, 1, buffer.data()), SB_EXCEPTION_INVALID_PARAMETER) << r.text;
    ASSERT_EQ(trackAtOnce(path), SB_EXCEPTION_NONE) << r.text;

    ASSERT_EQ(read(0, 6, buffer.data()), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(buffer, padded(bytes));
    // One block past the end: refused, and nothing is read.
    std::vector<uint8_t> untouched(2 * 2048, 0xEE);
    EXPECT_EQ(read(5, 2, untouched.data()), SB_EXCEPTION_INVALID_PARAMETER) << r.text;
    EXPECT_EQ(untouched, std::vector<uint8_t>(2 * 2048, 0xEE));
    EXPECT_EQ(read(0, 0, buffer.data()), SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(read(0, 1, nullptr), SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(read(0xFFFFFFFFu, 2, buffer.data()), SB_EXCEPTION_INVALID_PARAMETER);

    // No disc: not ready.
    ASSERT_EQ(StarBurnTesting_TakeDiscOut("CdRom0"), 0);
    EXPECT_EQ(read(0, 1, buffer.data()), SB_EXCEPTION_NOT_READY) << r.text;
    StarBurn_Destroy(&grabber);

    // The faulty recorder: its written byte 5000 (block 2) is flipped after the
    // write, and its block 7 cannot be read, with sense 03/11/00.
    grabber = open("CdRom5");
    const auto big = patternBytes(10 * 2048, 4);
    const std::string bigPath = dir.file("b.iso");
    writeBytes(bigPath, big);
    ASSERT_EQ(trackAtOnce(bigPath), SB_EXCEPTION_NONE) << r.text;
    std::vector<uint8_t> seven(7 * 2048);
    ASSERT_EQ(read(0, 7, seven.data()), SB_EXCEPTION_NONE) << r.text;
    for (size_t k = 0; k < seven.size(); ++k) {
        if (k == 5000) {
            EXPECT_EQ(seven[k], static_cast<uint8_t>(big[k] ^ 0xFF));
        } else if (seven[k] != big[k]) {
            ADD_FAILURE() << "byte " << k << " differs";
            break;
        }
    }
    EXPECT_EQ(read(6, 2, buffer.data()), SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_EQ(r.status, SB_STATUS_SENSE);
    EXPECT_EQ(r.failure[0], 1);
    EXPECT_EQ(r.failure[1], 0x03);
    EXPECT_EQ(r.failure[2], 0x11);
    EXPECT_EQ(r.failure[3], 0x00);
    EXPECT_NE(std::string(r.text).find("block 7"), std::string::npos) << r.text;
    EXPECT_EQ(read(8, 2, buffer.data()), SB_EXCEPTION_NONE) << r.text;
}

TEST_F(Reads, CancelEndsASlowReadAndAPendingCancelStopsTheNextOne) {
    // 1x DVD at time factor 1: 4 MB take about three seconds.
    ASSERT_EQ(start("[Virtual]\nTimeFactor = 1\n\n[Recorder writer]\nDeviceName = CdRom0\n"
                    "Address = 1:0:0:0\nDriveLetter = E\nDisc = DVD+R\nDiscCapacity = 4096\n"
                    "DVDWriteSpeeds = 16\nDVDReadSpeeds = 1\nWriteLimit = 0\n"),
              SB_EXCEPTION_NONE);
    grabber = open("CdRom0");
    const std::string path = dir.file("c.iso");
    writeBytes(path, patternBytes(2048 * 2048, 5));
    ASSERT_EQ(trackAtOnce(path), SB_EXCEPTION_NONE) << r.text;

    std::vector<uint8_t> buffer(2048 * 2048);
    std::thread canceller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        StarBurn_CdvdBurnerGrabber_Cancel(grabber);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(read(0, 2048, buffer.data()), SB_EXCEPTION_CANCELLED) << r.text;
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

    // A cancel that comes between reads is not lost; the read after it works.
    StarBurn_CdvdBurnerGrabber_Cancel(grabber);
    EXPECT_EQ(read(0, 1, buffer.data()), SB_EXCEPTION_CANCELLED);
    EXPECT_EQ(read(0, 1, buffer.data()), SB_EXCEPTION_NONE) << r.text;
}

TEST_F(Reads, AStdioPseudoDriveReadsItsFile) {
    const std::string target = dir.file("disc.iso");
    ASSERT_EQ(start("[Virtual]\nTimeFactor = 0\n\n[Recorder writer]\nDeviceName = CdRom0\n"
                    "Address = 1:0:0:0\nDriveLetter = E\nDisc = DVD+R\nDiscCapacity = 4096\n\n"
                    "[Stdio disc]\nPath = " +
                    target + "\n"),
              SB_EXCEPTION_NONE);
    grabber = open("CdRom1");
    ASSERT_NE(grabber, nullptr);
    const auto bytes = patternBytes(3 * 2048 + 7, 6);
    const std::string path = dir.file("s.iso");
    writeBytes(path, bytes);
    ASSERT_EQ(trackAtOnce(path), SB_EXCEPTION_NONE) << r.text;
    std::vector<uint8_t> buffer(4 * 2048);
    ASSERT_EQ(read(0, 4, buffer.data()), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(buffer, padded(bytes));
    EXPECT_EQ(read(3, 2, buffer.data()), SB_EXCEPTION_INVALID_PARAMETER) << r.text;
}

} // namespace
