// SPDX-License-Identifier: GPL-2.0-or-later
// What tavrin-burn says when an emulated drive refuses (tests/mmcemu, its
// faults): one row per refusal of the library's table (starburn/libburn/
// sbLibburnSense), the sentence and advice the user reads, with the raw
// sense code kept beside them; a drive pulled out mid-write; --wait.
#include "tests/cli/support/CliOnEmulatedDrives.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using clitest::TRun;

namespace {

class CliFaults : public clitest::CliOnEmulatedDrives {
protected:
    void SetUp() override {
        clitest::CliOnEmulatedDrives::SetUp();
        std::ofstream image(dir_ / "image.iso", std::ios::binary);
        for (int i = 0; i < 800 * 2048; ++i) {
            image.put(static_cast<char>(i * 7));
        }
    }

    std::string device(int n) const { return clitest::CliOnEmulatedDrives::device(n).string(); }

    // CdRom0 with these settings; CdRom1 a second writer with a blank DVD+R.
    // libburn: more of the library's [Libburn] section.
    void drives(const std::string& first, const std::string& libburn = {}) {
        for (const char* suffix : {".medium", ".layout", ".disc"}) {
            fs::remove(device(0) + suffix);
        }
        clitest::CliOnEmulatedDrives::drives({first, "Product = SECOND\nMedia = dvdplusr"},
                                             libburn);
    }

    // tavrin-burn with a watchdog of 60 s (status 124 when it struck); its
    // standard output and error together in Err.
    TRun Run(const std::vector<std::string>& args) { return RunProgram(BurnCommand(args), true); }

    std::vector<std::string> burn(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {
            "burn", (dir_ / "image.iso").string(), "--device", "CdRom0", "--yes", "--no-inhibit"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
};

// Each fault: what the user reads, and the raw code the line keeps.
TEST_F(CliFaults, EveryRefusalReadsAsASentenceWithAdviceAndKeepsItsCode) {
    struct TCase {
        const char* Name;
        const char* Drive;
        std::vector<std::string> More;
        int Status;
        const char* Sentence;
        const char* Raw;
    };
    const TCase cases[] = {
        {"write error",
         "Media = dvdplusr\nFaults = write-error@300",
         {},
         1,
         "Write error at sector 288. The disc or the drive is bad: try a slower speed or another "
         "disc.",
         "[3 0C 00]"},
        {"read error while verifying",
         "Media = dvdplusr\nFaults = read-error@500",
         {"--verify"},
         3,
         "Read error at sector 500 while the disc was verified. The disc does not read back as "
         "written: try another disc or a slower speed.",
         "sense 3/11/00"},
        {"write-protected",
         "Media = dvdplusr\nFaults = write-protected",
         {},
         1,
         "The disc is write-protected. Use another disc, or slide the write-protect tab of its "
         "cartridge off.",
         "[7 27 00]"},
        {"power calibration at the write",
         "Media = dvdplusr\nFaults = write-opc-error",
         {},
         1,
         "Power calibration failed. The drive could not tune its laser to this disc: try a slower "
         "speed or discs of another brand.",
         "[3 73 03]"},
        // Refused at every write, which libburn goes on with on a CD: the
        // code at the end of the text still fits the engine's buffer.
        {"power calibration at every write of a CD-R",
         "Media = cdr\nFaults = write-opc-error",
         {},
         1,
         "Power calibration failed. The drive could not tune its laser to this disc: try a slower "
         "speed or discs of another brand.",
         "(sense 3/73/03)"},
        {"disc full before its stated end",
         "Media = dvdplusr\nFaults = full@300",
         {},
         1,
         "The disc is full. Use a disc with more free space, or write less.",
         "[5 21 00]"},
        {"disc gone mid-write",
         "Media = dvdplusr\nFaults = no-disc-after:100",
         {},
         1,
         "There is no disc in the drive. Insert a disc and try again.",
         "[2 3A 00]"},
        {"drive pulled out mid-write",
         "Media = dvdplusr\nFaults = unplug@120",
         {},
         1,
         "The recorder was disconnected. Plug it in again and start over; a write-once disc that "
         "was being written is probably lost.",
         "errno= 19"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        drives(c.Drive);
        const TRun run = Run(burn(c.More));
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        EXPECT_NE(run.Err.find(c.Sentence), std::string::npos) << run.Err;
        EXPECT_NE(run.Err.find(c.Raw), std::string::npos) << run.Err;
    }
    // After a drive was pulled out the other one still burns.
    EXPECT_EQ(
        Run({"burn", (dir_ / "image.iso").string(), "--device", "CdRom1", "--yes", "--no-inhibit"})
            .Status,
        0);
}

// A drive that never becomes ready (libburn alone retries each command for
// most of an hour): the burn ends after [Libburn] ReadyWait with the table's
// words and the raw code, and a SIGTERM ends a long wait within seconds.
TEST_F(CliFaults, ADriveThatNeverBecomesReadyEndsTheBurnSoonAndASignalEndsTheWait) {
    using Clock = std::chrono::steady_clock;
    const struct {
        const char* Fault;
        const char* Sentence;
        const char* Raw;
    } cases[] = {
        {"not-ready:1000000",
         "The disc is not ready yet. Wait a few seconds while the drive reads it in, then try "
         "again.",
         "(sense 2/04/01)"},
        {"not-ready:1000000/00",
         "The drive did not become ready, however often it was asked. Take the disc out and put "
         "it in again; if that does not help, unplug the drive or restart the computer.",
         "(sense 2/04/00)"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Fault);
        drives(std::string("Media = dvdplusr\nFaults = ") + c.Fault, "ReadyWait = 2");
        const auto started = Clock::now();
        const TRun run = Run(burn());
        const auto took = Clock::now() - started;
        EXPECT_EQ(run.Status, 4) << run.Err;
        EXPECT_NE(run.Err.find(std::string("tavrin-burn: ") + c.Sentence), std::string::npos)
            << run.Err;
        EXPECT_NE(run.Err.find(c.Raw), std::string::npos) << run.Err;
        EXPECT_LT(took, std::chrono::seconds(15)) << run.Err;
    }

    drives("Media = dvdplusr\nFaults = not-ready:1000000", "ReadyWait = 600");
    const pid_t burning = StartProgram(BurnCommand(burn()), true);
    ASSERT_GT(burning, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto signalled = Clock::now();
    ::kill(burning, SIGTERM);
    const TRun run = FinishProgram(burning);
    const auto took = Clock::now() - signalled;
    std::printf("tavrin-burn ended %lld ms after SIGTERM in the wait for the drive\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_EQ(run.Status, 130) << run.Err;
    EXPECT_LT(took, std::chrono::seconds(10)) << run.Err;
}

TEST_F(CliFaults, WaitSaysWhatToInsertAndBurnsOnceABlankDiscIsIn) {
    drives("Vendor = ACME\nProduct = DVD WRITER 8\nMedia = none");
    const std::string path = device(0);
    // The operator puts a disc in after two seconds, by the drive's medium file.
    std::thread operatorHand([path] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        std::ofstream(path + ".medium.new") << "[Disc]\nMedia=dvdplusr\nState=blank\nCapacity=0\n";
        fs::rename(path + ".medium.new", path + ".medium");
    });
    const TRun run = Run(burn({"--wait"}));
    operatorHand.join();
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Err.find("Insert a blank disc into DVD WRITER 8 (CdRom0)"), std::string::npos)
        << run.Err;
    // Without --wait the same drive is refused at once.
    drives("Media = none");
    EXPECT_EQ(Run(burn()).Status, 4);
}

} // namespace
