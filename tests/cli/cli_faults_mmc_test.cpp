// SPDX-License-Identifier: GPL-2.0-or-later
// What tavrin-burn says when an emulated drive refuses (tests/mmcemu, its
// faults): one row per refusal of the library's table (starburn/libburn/
// sbLibburnSense), the sentence and advice the user reads, with the raw
// sense code kept beside them; a drive pulled out mid-write; --wait.
#include "tests/mmcemu/sbMmcEmu.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
extern char** environ;

namespace {

struct TRun {
    int Status = -1;
    std::string Err; // standard output and error
};

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        reload_ = reinterpret_cast<sbMmcEmu_ReloadFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        ASSERT_NE(reload_, nullptr) << "libsbmmcemu.so is not preloaded";
        char pattern[] = "/tmp/tavrin_cli_faults-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::setenv("STARBURN_CONFIG", (dir_ / "starburn.ini").c_str(), 1);
        ::setenv("STARBURN_STATE_DIR", (dir_ / "state").c_str(), 1);
        ::setenv("STARBURN_REAL_DRIVES", "1", 1);
        std::ofstream image(dir_ / "image.iso", std::ios::binary);
        for (int i = 0; i < 800 * 2048; ++i) {
            image.put(static_cast<char>(i * 7));
        }
    }
    void TearDown() override {
        ::unsetenv("SBMMCEMU");
        reload_();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string device(int n) const { return (dir_ / ("sr" + std::to_string(n))).string(); }

    // CdRom0 with these settings; CdRom1 a second writer with a blank DVD+R.
    void drives(const std::string& first) {
        for (const char* suffix : {".medium", ".layout", ".disc"}) {
            fs::remove(device(0) + suffix);
        }
        std::ofstream(dir_ / "emu.ini") << "[Drive 0]\nPath = " << device(0) << "\n"
                                        << first << "\n[Drive 1]\nPath = " << device(1)
                                        << "\nProduct = SECOND\nMedia = dvdplusr\n";
        std::ofstream(dir_ / "starburn.ini")
            << "[Virtual]\nBuiltInRecorders = no\nTimeFactor = 0\n[Libburn]\nDevices = "
            << device(0) << "," << device(1) << "\n";
        ::setenv("SBMMCEMU", (dir_ / "emu.ini").c_str(), 1);
        ASSERT_EQ(reload_(), 2);
    }

    // tavrin-burn with a watchdog of 60 s (status 124 when it struck).
    TRun Run(std::vector<std::string> args) {
        std::vector<std::string> argv = {"timeout", "-k", "5", "60", TAVRIN_BURN};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (auto& a : argv) {
            pointers.push_back(a.data());
        }
        pointers.push_back(nullptr);
        const fs::path err = dir_ / "err.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 2, 1);
        TRun run;
        pid_t pid = 0;
        if (posix_spawnp(&pid, "timeout", &actions, nullptr, pointers.data(), environ) == 0) {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        std::ifstream in(err);
        run.Err.assign(std::istreambuf_iterator<char>(in), {});
        return run;
    }

    std::vector<std::string> burn(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {
            "burn", (dir_ / "image.iso").string(), "--device", "CdRom0", "--yes", "--no-inhibit"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    sbMmcEmu_ReloadFn reload_ = nullptr;
    fs::path dir_;
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
