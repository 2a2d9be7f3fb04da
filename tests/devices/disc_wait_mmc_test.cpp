// SPDX-License-Identifier: GPL-2.0-or-later
// Waiting for a disc on drives libburn takes for real ones: the MMC emulator
// (preloaded by CTest) answers the device files, and its control functions
// put a disc in or pull the drive out while a waiter asks.
#include "devices/sbDiscWait.h"
#include "engine/sbLibrarySession.h"
#include "starburn/StarBurn.h"
#include "tests/mmcemu/sbMmcEmu.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class DiscWaitOnEmulatedDrives : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(emu_.Reload, nullptr) << "libsbmmcemu.so is not preloaded";
        char pattern[] = "/tmp/tavrin_disc_wait-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::setenv("STARBURN_CONFIG", (dir_ / "starburn.ini").c_str(), 1);
        ::setenv("STARBURN_STATE_DIR", (dir_ / "state").c_str(), 1);
        ::setenv("STARBURN_REAL_DRIVES", "1", 1);
        // CdRom0 without a disc, CdRom1 and CdRom2 with a blank DVD+R.
        emulate("");
        std::ofstream(dir_ / "starburn.ini")
            << "[Virtual]\nBuiltInRecorders = no\n[Libburn]\nDevices = " << device(0) << ","
            << device(1) << "," << device(2) << "\n";
        ::setenv("SBMMCEMU", (dir_ / "emu.ini").c_str(), 1);
        ASSERT_EQ(emu_.Reload(), 3);
        session_.StartLibrary();
    }
    void TearDown() override {
        session_.ShutDownLibrary();
        ::unsetenv("SBMMCEMU");
        if (emu_.Reload != nullptr) {
            emu_.Reload();
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // The three drives; CdRom2 with Faults.
    void emulate(const std::string& faults) {
        std::ofstream(dir_ / "emu.ini")
            << "[Drive 0]\nPath = " << device(0) << "\nMedia = none\n"
            << "[Drive 1]\nPath = " << device(1) << "\nMedia = dvdplusr\n"
            << "[Drive 2]\nPath = " << device(2) << "\nMedia = dvdplusr\nFaults = " << faults
            << "\n";
    }
    std::string device(int n) const { return (dir_ / ("sr" + std::to_string(n))).string(); }

    const TMmcEmuControls emu_;
    fs::path dir_;
    TsbLibrarySession session_;
};

TEST_F(DiscWaitOnEmulatedDrives, AsksEveryIntervalUntilABlankDiscIsPutIn) {
    EXPECT_EQ(PollDisc("CdRom0").Presence, dpNoDisc);
    const TsbDiscPoll blank = PollDisc("CdRom1");
    EXPECT_EQ(blank.Presence, dpBlank);
    EXPECT_EQ(blank.DiscType, DISC_TYPE_DVDPLUSR);

    TsbDiscWait wait;
    wait.Interval = 100ms;
    int polls = 0;
    const std::string drive = device(0);
    // The third answer finds the disc the operator put in after the second.
    wait.OnPoll = [&](const TsbDiscPoll& poll) {
        if (++polls == 2) {
            ASSERT_EQ(emu_.InsertDisc(drive.c_str(), "dvdplusr", "closed", 0), 0);
        }
        if (polls < 3) {
            EXPECT_EQ(poll.Presence, dpNoDisc);
        }
    };
    // A written disc is not what a burn waits for: it waits on.
    wait.Timeout = 2s;
    const TsbDiscWaitResult first = wait.Wait("CdRom0", TsbDiscWanted::Blank);
    EXPECT_EQ(first.Outcome, TsbDiscWaitOutcome::TimedOut);
    EXPECT_EQ(first.Last.Presence, dpWritten);
    // At most twenty-one questions in two seconds, not thousands: the
    // pauses are pauses.
    EXPECT_GE(polls, 3);
    EXPECT_LE(polls, 21);

    wait.Timeout = 0ms;
    const int before = polls;
    wait.OnPoll = [&](const TsbDiscPoll&) {
        if (++polls == before + 2) {
            ASSERT_EQ(emu_.InsertDisc(drive.c_str(), "cdr", "blank", 0), 0);
        }
    };
    const TsbDiscWaitResult second = wait.Wait("CdRom0", TsbDiscWanted::Blank);
    EXPECT_EQ(second.Outcome, TsbDiscWaitOutcome::Ready);
    EXPECT_EQ(second.Last.DiscType, DISC_TYPE_CDR);
    EXPECT_EQ(InsertDiscText("DVD WRITER (CdRom0)"),
              "Insert a blank disc into DVD WRITER (CdRom0)");
}

TEST_F(DiscWaitOnEmulatedDrives, EndsAtOnceOnCancelOrAWakeDescriptorAndWhenTheDriveIsGone) {
    // An interval of a minute: only the cancel can end these waits.
    TsbDiscWait wait;
    wait.Interval = 60s;
    int polls = 0;
    wait.OnPoll = [&](const TsbDiscPoll&) { ++polls; };
    std::thread canceller([&] {
        std::this_thread::sleep_for(200ms);
        wait.Cancel();
    });
    EXPECT_EQ(wait.Wait("CdRom0", TsbDiscWanted::Any).Outcome, TsbDiscWaitOutcome::Cancelled);
    canceller.join();
    EXPECT_EQ(polls, 1);
    // Cancelled stays cancelled until Reset.
    EXPECT_EQ(wait.Wait("CdRom1", TsbDiscWanted::Blank).Outcome, TsbDiscWaitOutcome::Cancelled);
    EXPECT_EQ(polls, 1);
    wait.Reset();

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    wait.WakeFds = {fds[0]};
    std::thread signaller([&] {
        std::this_thread::sleep_for(200ms);
        ASSERT_EQ(::write(fds[1], "x", 1), 1);
    });
    EXPECT_EQ(wait.Wait("CdRom0", TsbDiscWanted::Written).Outcome, TsbDiscWaitOutcome::Cancelled);
    signaller.join();
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(polls, 2);
    wait.WakeFds.clear();

    // A drive pulled out (its device node goes with it) ends the wait with
    // the library's text.
    ASSERT_TRUE(fs::remove(device(2)));
    const TsbDiscWaitResult gone = wait.Wait("CdRom2", TsbDiscWanted::Blank);
    EXPECT_EQ(gone.Outcome, TsbDiscWaitOutcome::Gone);
    EXPECT_NE(gone.Last.Text.find("The recorder was disconnected."), std::string::npos)
        << gone.Last.Text;
    EXPECT_EQ(polls, 3);
}

} // namespace
