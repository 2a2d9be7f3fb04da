// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn on several emulated MMC drives at once, and copies in a row
// with the discs changed by the emulator's control functions (the emulator
// is preloaded by CTest into this process and every tavrin-burn it starts).
#include "tests/cli/support/CliOnEmulatedDrives.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using clitest::ReadFile;
using clitest::TRun;

namespace {

// The line of the closing table (or the JSON event) that names a drive and copy.
std::string rowOf(const std::string& out, const std::string& drive, int copy) {
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(drive + " ", 0) == 0 &&
            line.find(" " + std::to_string(copy) + " ") != std::string::npos &&
            line.find(" s ") != std::string::npos) {
            return line;
        }
        if (line.find("\"event\":\"drive-result\"") != std::string::npos &&
            line.find("\"drive\":\"" + drive + "\"") != std::string::npos &&
            line.find("\"copy\":" + std::to_string(copy) + ",") != std::string::npos) {
            return line;
        }
    }
    return {};
}

class MultiBurnOnEmulatedDrives : public clitest::CliOnEmulatedDrives {
protected:
    void SetUp() override {
        clitest::CliOnEmulatedDrives::SetUp();
        // Not a whole number of sectors: each disc holds it zero-padded.
        image_.resize(3 * 1048576 + 1000);
        for (size_t k = 0; k < image_.size(); ++k) {
            image_[k] = static_cast<char>((k * 131 + k / 2048 * 7 + 1) & 0xFF);
        }
        std::ofstream(imagePath(), std::ios::binary) << image_;
    }

    std::string imagePath() const { return (dir_ / "image.iso").string(); }

    // Whether drive n's disc holds the image from sector 0 on.
    bool holdsImage(size_t n) const {
        std::string padded = image_;
        padded.resize((image_.size() + 2047) / 2048 * 2048, '\0');
        const std::string disc = ReadFile(device(n).string() + ".disc");
        return disc.size() >= padded.size() && disc.compare(0, padded.size(), padded) == 0;
    }

    // tavrin-burn in the background, with a watchdog of 60 s.
    pid_t Start(const std::vector<std::string>& args) { return StartProgram(BurnCommand(args)); }
    int Wait(pid_t pid) {
        const TRun run = FinishProgram(pid);
        out_ = run.Out;
        err_ = run.Err;
        return run.Status;
    }
    int Run(std::vector<std::string> args) { return Wait(Start(std::move(args))); }
    // Waits (at most 30 s) until the running program has printed text.
    bool Printed(const std::string& text) {
        for (int i = 0; i < 600; ++i) {
            if (ReadFile(dir_ / "out.txt").find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::string image_;
    std::string out_, err_;
};

TEST_F(MultiBurnOnEmulatedDrives, FourDrivesAtOnceEachHoldTheImageAndAreVerifiedAlone) {
    drives({"Media = dvdplusr", "Media = dvdplusr", "Media = dvdr", "Media = bdr"});
    const int status = Run({"burn", imagePath(), "--device", "CdRom0", "--device", "CdRom1",
                            "--device", "CdRom2", "--device", "CdRom3", "--verify", "--yes"});
    ASSERT_EQ(status, 0) << out_ << err_;
    for (size_t n = 0; n < 4; ++n) {
        const std::string name = "CdRom" + std::to_string(n);
        EXPECT_TRUE(holdsImage(n)) << name;
        const std::string row = rowOf(out_, name, 1);
        EXPECT_NE(row.find("done"), std::string::npos) << row << "\n" << out_;
        EXPECT_NE(row.find("verified"), std::string::npos) << row;
        // Each drive's own verification, in its own log lines.
        EXPECT_NE(out_.find(name + ": Disc verified: 1537 blocks match the image"),
                  std::string::npos)
            << out_;
    }
    EXPECT_NE(out_.find("4 of 4 copies done, 0 failed"), std::string::npos) << out_;
}

TEST_F(MultiBurnOnEmulatedDrives, AWriteErrorAndAnUnpluggedDriveEndAloneWhileTheOthersSucceed) {
    // Drive 1 fails a write at block 600; drive 2 is pulled out during its
    // write (its own count of commands: the search and the preparation take
    // fewer than 100, the write of 1537 blocks about 100 more).
    drives({"Media = dvdplusr", "Media = dvdplusr\nFaults = write-error@600",
            "Media = dvdplusr\nFaults = unplug@150", "Media = dvdplusr"});
    const int status = Run({"burn", imagePath(), "--all", "--verify", "--yes", "--json"});
    EXPECT_EQ(status, 5) << out_ << err_;
    EXPECT_TRUE(holdsImage(0));
    EXPECT_TRUE(holdsImage(3));
    EXPECT_NE(rowOf(out_, "CdRom0", 1).find("\"outcome\":\"done\""), std::string::npos) << out_;
    EXPECT_NE(rowOf(out_, "CdRom3", 1).find("\"verify\":\"verified\""), std::string::npos);
    for (const char* failed : {"CdRom1", "CdRom2"}) {
        const std::string row = rowOf(out_, failed, 1);
        EXPECT_NE(row.find("\"outcome\":\"failed\""), std::string::npos) << failed << "\n" << out_;
        EXPECT_EQ(row.find("\"text\":\"\""), std::string::npos) << row;
    }
    // Each failure names its own cause: the write error's sense on one, the
    // vanished device on the other.
    EXPECT_NE(rowOf(out_, "CdRom1", 1).find("[3 0C 00]"), std::string::npos);
    EXPECT_NE(rowOf(out_, "CdRom2", 1).find("Lost connection to drive"), std::string::npos)
        << rowOf(out_, "CdRom2", 1);
    // Every JSON line names its drive ("all" for the run's own).
    std::istringstream lines(out_);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("{", 0) == 0) {
            ++count;
            EXPECT_NE(line.find("\"drive\":\""), std::string::npos) << line;
        }
    }
    EXPECT_GT(count, 20);
}

TEST_F(MultiBurnOnEmulatedDrives, CtrlCStopsEveryDriveAndEachIsFreeForTheNextRun) {
    // Slow writes: 40 ms a command, so the cancel comes in the middle.
    drives({"Media = dvdplusr\nFaults = slow:40", "Media = dvdplusr\nFaults = slow:40"});
    const pid_t pid =
        Start({"burn", imagePath(), "--device", "CdRom0", "--device", "CdRom1", "--yes"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(Printed("writing")) << ReadFile(dir_ / "out.txt");
    ::kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 130) << out_ << err_;
    for (const char* name : {"CdRom0", "CdRom1"}) {
        EXPECT_NE(rowOf(out_, name, 1).find("cancelled"), std::string::npos) << name << out_;
    }
    // Each drive was let go: the next program takes them as it takes any.
    drives({"Media = dvdplusr", "Media = dvdplusr"});
    ASSERT_EQ(Run({"devices", "--json"}), 0) << out_ << err_;
    EXPECT_NE(out_.find("\"device\":\"CdRom0\""), std::string::npos);
    EXPECT_EQ(out_.find("\"state\":\"busy\""), std::string::npos) << out_;
}

TEST_F(MultiBurnOnEmulatedDrives, ThreeCopiesInARowEachOnTheNextDiscPutIn) {
    drives({"Media = dvdplusr"});
    const pid_t pid =
        Start({"burn", imagePath(), "--device", "CdRom0", "--copies", "3", "--verify", "--yes"});
    ASSERT_GT(pid, 0);
    for (int copy = 2; copy <= 3; ++copy) {
        ASSERT_TRUE(Printed("Copy " + std::to_string(copy) + " of 3: put the next blank disc in"))
            << ReadFile(dir_ / "out.txt") << ReadFile(dir_ / "err.txt");
        // The copy before was written whole and taken out of the drive.
        EXPECT_TRUE(holdsImage(0)) << copy - 1;
        ASSERT_EQ(emu_.InsertDisc(device(0).c_str(), "dvdplusr", "blank", 0), 0);
    }
    ASSERT_EQ(Wait(pid), 0) << out_ << err_;
    EXPECT_TRUE(holdsImage(0));
    for (int copy = 1; copy <= 3; ++copy) {
        EXPECT_NE(rowOf(out_, "CdRom0", copy).find("verified"), std::string::npos) << out_;
    }
    EXPECT_NE(out_.find("3 of 3 copies done, 0 failed"), std::string::npos) << out_;
}

} // namespace
