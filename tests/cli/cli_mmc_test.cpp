// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn on drives that libburn takes for real ones: the MMC emulator
// (preloaded by CTest into this process and so into every tavrin-burn it
// starts) answers the SG_IO of the device files the library's configuration
// names. Each run has a watchdog: a run that hangs is killed and fails.
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
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
extern char** environ;

namespace {

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The JSON line of one device in `devices --json`.
std::string deviceLine(const std::string& out, const std::string& name) {
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("\"device\":\"" + name + "\"") != std::string::npos) {
            return line;
        }
    }
    return {};
}

class CliOnEmulatedDrives : public ::testing::Test {
protected:
    void SetUp() override {
        reload_ = reinterpret_cast<sbMmcEmu_ReloadFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        ASSERT_NE(reload_, nullptr) << "libsbmmcemu.so is not preloaded";
        char pattern[] = "/tmp/tavrin_cli_mmc-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::create_directories(dir_ / "state");
        ::setenv("STARBURN_CONFIG", (dir_ / "starburn.ini").c_str(), 1);
        ::setenv("STARBURN_STATE_DIR", (dir_ / "state").c_str(), 1);
        ::setenv("STARBURN_REAL_DRIVES", "1", 1);
    }
    void TearDown() override {
        ::unsetenv("SBMMCEMU");
        if (reload_ != nullptr) {
            reload_();
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path device(size_t n) const { return dir_ / ("sr" + std::to_string(n)); }

    // Emulated drives 0, 1, ... with these settings, named in the library's
    // configuration in that order, so that they are CdRom0, CdRom1, ...
    // used: how many of them the library looks for (0: all).
    void drives(const std::vector<std::string>& settings, const std::string& libburn = {},
                size_t used = 0) {
        std::ofstream emu(dir_ / "emu.ini");
        std::string devices;
        for (size_t i = 0; i < settings.size(); ++i) {
            emu << "[Drive " << i << "]\nPath = " << device(i).string() << "\n"
                << settings[i] << "\n";
            if (used == 0 || i < used) {
                devices += (i > 0 ? "," : "") + device(i).string();
            }
        }
        emu.close();
        std::ofstream(dir_ / "starburn.ini")
            << "[Virtual]\nBuiltInRecorders = no\nTimeFactor = 0\n[Libburn]\nDevices = " << devices
            << "\n"
            << libburn << "\n";
        ::setenv("SBMMCEMU", (dir_ / "emu.ini").c_str(), 1);
        ASSERT_EQ(reload_(), static_cast<int>(settings.size()));
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
        const fs::path out = dir_ / "out.txt";
        const fs::path err = dir_ / "err.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        TRun run;
        pid_t pid = 0;
        if (posix_spawnp(&pid, "timeout", &actions, nullptr, pointers.data(), environ) == 0) {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        run.Out = readFile(out);
        run.Err = readFile(err);
        return run;
    }

    sbMmcEmu_ReloadFn reload_ = nullptr;
    fs::path dir_;
};

TEST_F(CliOnEmulatedDrives, ListsEveryDriveAndBurnsADvdPlusRThatReadsBackTheSame) {
    const std::vector<std::string> settings = {
        "Vendor = ACME\nProduct = DVD WRITER 8\nRevision = 2.10\nMedia = dvdplusr",
        "Media = cdrw\nState = appendable", "Media = none"};
    drives(settings);
    const TRun list = Run({"devices", "--json"});
    ASSERT_EQ(list.Status, 0) << list.Out << list.Err;
    const std::string dvd = deviceLine(list.Out, "CdRom0");
    for (const char* part :
         {"\"vendor\":\"ACME\"", "\"product\":\"DVD WRITER 8\"", "\"revision\":\"2.10\"",
          "\"state\":\"available\"", "\"disc\":\"DVD+R\"", "\"size\":\"Blank\"",
          "\"free_bytes\":4700372992", "\"used_bytes\":0", "\"writable\":true"}) {
        EXPECT_NE(dvd.find(part), std::string::npos) << part << " in " << dvd;
    }
    // A CD-RW with one closed session: 1/8 of its blocks written, the rest free.
    const std::string cd = deviceLine(list.Out, "CdRom1");
    for (const char* part : {"\"vendor\":\"TAVRIN\"", "\"product\":\"MMC EMULATOR\"",
                             "\"disc\":\"CD-RW\"", "\"writable\":false"}) {
        EXPECT_NE(cd.find(part), std::string::npos) << part << " in " << cd;
    }
    EXPECT_EQ(cd.find("\"used_bytes\":0,"), std::string::npos) << cd;
    const std::string empty = deviceLine(list.Out, "CdRom2");
    EXPECT_NE(empty.find("\"disc\":\"Empty\""), std::string::npos) << empty;
    EXPECT_NE(empty.find("No media in drive"), std::string::npos) << empty;

    // Not a whole number of sectors: the disc holds it zero-padded.
    const size_t size = 3 * 1048576 + 1000;
    std::string image(size, '\0');
    for (size_t k = 0; k < size; ++k) {
        image[k] = static_cast<char>((k * 131 + k / 2048 * 7 + 1) & 0xFF);
    }
    std::ofstream(dir_ / "image.iso", std::ios::binary) << image;
    // The burn looks for the DVD writer alone: every drive costs libburn's
    // fixed waits of a second or more at the search.
    drives(settings, {}, 1);
    const TRun burn =
        Run({"burn", (dir_ / "image.iso").string(), "--device", "CdRom0", "--verify", "--yes"});
    ASSERT_EQ(burn.Status, 0) << burn.Out << burn.Err;
    EXPECT_NE(burn.Out.find("Disc verified: 1537 blocks match the image"), std::string::npos)
        << burn.Out;
    EXPECT_NE(burn.Out.find("Burning completed"), std::string::npos) << burn.Out;
    // The emulator's own record of the disc, sector 0 at byte 0.
    image.resize(1537 * 2048, '\0');
    const std::string disc = readFile(device(0).string() + ".disc");
    ASSERT_GE(disc.size(), image.size());
    EXPECT_TRUE(disc.compare(0, image.size(), image) == 0);
}

TEST_F(CliOnEmulatedDrives, BlanksACdRwQuicklyAndADvdRwFully) {
    drives({"Media = cdrw\nState = appendable", "Media = dvdrw-seq\nState = closed"});
    const TRun quick = Run({"blank", "--device", "CdRom0", "--yes"});
    ASSERT_EQ(quick.Status, 0) << quick.Out << quick.Err;
    EXPECT_NE(quick.Out.find("Disc erased"), std::string::npos) << quick.Out;
    const TRun full = Run({"blank", "--full", "--device", "CdRom1", "--yes"});
    ASSERT_EQ(full.Status, 0) << full.Out << full.Err;
    EXPECT_NE(full.Out.find("Disc erased"), std::string::npos) << full.Out;

    // What the drives hold now: no track, no session; the DVD-RW fully
    // blanked, so that it takes a track at a time again.
    for (size_t n : {0u, 1u}) {
        const std::string layout = readFile(device(n).string() + ".layout");
        EXPECT_EQ(layout.find("[Track]"), std::string::npos) << layout;
        EXPECT_NE(layout.find("ClosedSessions=0\n"), std::string::npos) << layout;
    }
    EXPECT_NE(readFile(device(1).string() + ".layout").find("QuickBlanked=0\n"), std::string::npos);
}

TEST_F(CliOnEmulatedDrives, AScsiLogRecordedThroughTheLibraryReplaysTheDrive) {
    drives({"Vendor = REAL\nProduct = RECORDED DRIVE\nRevision = 9.99\nMedia = dvdplusrw"},
           "ScsiLog = stderr");
    const TRun recorded = Run({"devices"});
    ASSERT_EQ(recorded.Status, 0) << recorded.Err;
    EXPECT_NE(recorded.Err.find("libburn logs every SCSI command to standard error"),
              std::string::npos)
        << recorded.Err;
    EXPECT_NE(recorded.Err.find("INQUIRY\n"), std::string::npos) << recorded.Err;
    const fs::path log = dir_ / "real-drive.log";
    std::ofstream(log) << recorded.Err;

    // Another drive, of the model's own name, answers as the recorded one.
    drives({"Media = dvdplusrw\nReplay = " + log.string()});
    const TRun replayed = Run({"devices", "--json"});
    ASSERT_EQ(replayed.Status, 0) << replayed.Err;
    EXPECT_EQ(replayed.Err.find("SCSI command"), std::string::npos) << replayed.Err;
    const std::string line = deviceLine(replayed.Out, "CdRom0");
    for (const char* part : {"\"vendor\":\"REAL\"", "\"product\":\"RECORDED DRIVE\"",
                             "\"revision\":\"9.99\"", "\"disc\":\"DVD+RW\""}) {
        EXPECT_NE(line.find(part), std::string::npos) << part << " in " << line;
    }
}

} // namespace
