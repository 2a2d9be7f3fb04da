// SPDX-License-Identifier: GPL-2.0-or-later
// What tavrin-burn says when an emulated drive refuses (tests/mmcemu, its
// faults): one row per refusal of the library's table (starburn/libburn/
// sbLibburnSense), the sentence and advice the user reads, with the raw
// sense code kept beside them; a drive pulled out mid-write; --wait.
#include "tests/cli/support/CliOnEmulatedDrives.h"

#include <gtest/gtest.h>

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
    void drives(const std::string& first) {
        for (const char* suffix : {".medium", ".layout", ".disc"}) {
            fs::remove(device(0) + suffix);
        }
        clitest::CliOnEmulatedDrives::drives({first, "Product = SECOND\nMedia = dvdplusr"});
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
