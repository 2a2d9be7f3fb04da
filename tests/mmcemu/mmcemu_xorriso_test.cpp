// SPDX-License-Identifier: GPL-2.0-or-later
// libburn takes the emulated drives for real ones: xorriso (libburn in
// another process, through the same preloaded emulator) burns, reads back,
// blanks and formats them, two processes share one disc and its lock, and a
// drive answers from a SCSI log recorded off another.
#include <libburn/libburn.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
extern char** environ;

namespace {

struct Outcome {
    int status = -1;
    std::string output; // standard output and error
};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A number after a label in xorriso's output ("Media space  : 2293440s").
long long numberAfter(const std::string& text, const std::string& label) {
    const size_t at = text.rfind(label);
    return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + label.size());
}

class Xorriso : public ::testing::Test {
protected:
    void SetUp() override {
        const char* program = std::getenv("SBMMCEMU_XORRISO");
        ASSERT_NE(program, nullptr) << "the test runs from CTest, which names xorriso";
        xorriso_ = program;
        char pattern[] = "/tmp/sbmmcemu-xorriso-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        // xorriso is not ours to check for leaks when the build has the sanitizer.
        std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        ::setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "detect_leaks=0").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string device(int n) const { return dir_ + "/sr" + std::to_string(n); }

    // Drives 0, 1, ... with these settings each, for every process from now on.
    void drives(const std::vector<std::string>& settings) {
        const std::string config = dir_ + "/emu.ini";
        std::ofstream out(config);
        for (size_t i = 0; i < settings.size(); ++i) {
            out << "[Drive " << i << "]\nPath = " << device(int(i)) << "\n" << settings[i] << "\n";
        }
        out.close();
        ::setenv("SBMMCEMU", config.c_str(), 1);
        // This process's own emulator reads it too, for libburn in here.
        const auto reload = reinterpret_cast<int (*)()>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        ASSERT_NE(reload, nullptr) << "libsbmmcemu.so is not preloaded";
        ASSERT_EQ(reload(), static_cast<int>(settings.size()));
    }

    // xorriso with a watchdog: a hung run is killed after 90 s and fails.
    Outcome xorriso(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"timeout", "-k", "5", "90", xorriso_};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (auto& a : argv) {
            pointers.push_back(a.data());
        }
        pointers.push_back(nullptr);
        const std::string log = dir_ + "/xorriso.out";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        Outcome r;
        pid_t pid = 0;
        if (posix_spawnp(&pid, "timeout", &actions, nullptr, pointers.data(), environ) == 0) {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        r.output = readText(log);
        return r;
    }

    // An ISO image of a few files, made by xorriso itself.
    std::string image() {
        const std::string tree = dir_ + "/tree";
        fs::create_directories(tree);
        std::ofstream big(tree + "/big.bin", std::ios::binary);
        for (int i = 0; i < 600000; ++i) {
            big.put(static_cast<char>(i * 7 + i / 4096));
        }
        big.close();
        std::ofstream(tree + "/small.txt") << "sessions and tracks\n";
        const std::string iso = dir_ + "/image.iso";
        const Outcome r = xorriso({"-as", "mkisofs", "-quiet", "-o", iso, tree});
        EXPECT_EQ(r.status, 0) << r.output;
        return iso;
    }

    std::string xorriso_;
    std::string dir_;
};

TEST_F(Xorriso, ACdRBurntTrackAtOnceReadsBackByteForByte) {
    drives({"Media = cdr"});
    const std::string iso = image();
    const Outcome burn = xorriso({"-as", "cdrecord", "dev=mmc:" + device(0), "-tao", iso});
    ASSERT_EQ(burn.status, 0) << burn.output;

    const std::string back = dir_ + "/back.bin";
    const Outcome check = xorriso(
        {"-indev", "mmc:" + device(0), "-check_media", "what=disc", "data_to=" + back, "--"});
    ASSERT_EQ(check.status, 0) << check.output;
    EXPECT_NE(check.output.find("tao_end"), std::string::npos) << check.output; // the run-out
    const std::string written = readText(iso);
    const std::string read = readText(back);
    ASSERT_GE(read.size(), written.size());
    EXPECT_TRUE(read.compare(0, written.size(), written) == 0);
}

TEST_F(Xorriso, ASecondSessionOnADvdPlusRLeavesLessFreeSpace) {
    drives({"Media = dvdplusr"});
    const std::string tree = fs::path(image()).parent_path() / "tree";
    const Outcome first = xorriso(
        {"-outdev", "mmc:" + device(0), "-map", tree, "/one", "-commit", "-tell_media_space"});
    ASSERT_EQ(first.status, 0) << first.output;
    const Outcome second = xorriso(
        {"-dev", "mmc:" + device(0), "-map", tree, "/two", "-commit", "-tell_media_space", "-toc"});
    ASSERT_EQ(second.status, 0) << second.output;
    const long long before = numberAfter(first.output, "Media space  : ");
    const long long after = numberAfter(second.output, "Media space  : ");
    EXPECT_GT(before, 0) << first.output;
    EXPECT_LT(after, before - 1400) << second.output; // the second tree's blocks and more
    EXPECT_NE(second.output.find("Media summary: 2 sessions"), std::string::npos) << second.output;
}

TEST_F(Xorriso, ACdRwIsBlanked) {
    drives({"Media = cdrw\nState = appendable"});
    const Outcome r = xorriso({"-outdev", "mmc:" + device(0), "-blank", "as_needed", "-toc"});
    ASSERT_EQ(r.status, 0) << r.output;
    const size_t written = r.output.find("Media status : is written , is appendable");
    const size_t blank = r.output.rfind("Media status : is blank");
    EXPECT_NE(written, std::string::npos) << r.output;
    EXPECT_NE(blank, std::string::npos) << r.output;
    EXPECT_GT(blank, written);
}

TEST_F(Xorriso, ABdReIsFormattedWithItsDefaultSpareAreas) {
    drives({"Media = bdre"});
    const Outcome r = xorriso({"-outdev", "mmc:" + device(0), "-format", "as_needed",
                               "-list_formats", "-tell_media_space"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Format status: formatted, with 23098.0 MiB"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("393216 blocks available"), std::string::npos) << r.output;
}

TEST_F(Xorriso, TwoProcessesShareOneDiscAndItsLock) {
    drives({"Media = dvdplusr"});
    ASSERT_EQ(burn::burn_initialize(), 1);
    burn::burn_msgs_set_severities(const_cast<char*>("NEVER"), const_cast<char*>("NEVER"),
                                   const_cast<char*>(""));
    burn::burn_drive_info* info = nullptr;
    ASSERT_EQ(burn::burn_drive_scan_and_grab(&info, const_cast<char*>(device(0).c_str()), 1), 1);

    // While this process holds the drive, another one finds it busy.
    const Outcome busy = xorriso({"-outdev", "mmc:" + device(0), "-toc"});
    EXPECT_NE(busy.status, 0);
    EXPECT_NE(busy.output.find("busy"), std::string::npos) << busy.output;

    burn::burn_drive_release(info[0].drive, 0);
    burn::burn_drive_info_forget(info, 1);
    burn::burn_drive_info_free(info);
    const std::string tree = fs::path(image()).parent_path() / "tree";
    const Outcome burnt = xorriso({"-outdev", "mmc:" + device(0), "-map", tree, "/", "-commit"});
    ASSERT_EQ(burnt.status, 0) << burnt.output;

    // What the other process wrote is on the disc this one grabs again.
    ASSERT_EQ(burn::burn_drive_scan_and_grab(&info, const_cast<char*>(device(0).c_str()), 1), 1);
    EXPECT_EQ(burn::burn_disc_get_status(info[0].drive), burn::BURN_DISC_APPENDABLE);
    burn::burn_disc* disc = burn::burn_drive_get_disc(info[0].drive);
    ASSERT_NE(disc, nullptr);
    int sessions = 0;
    burn::burn_disc_get_sessions(disc, &sessions);
    EXPECT_EQ(sessions, 1);
    burn::burn_disc_free(disc);
    burn::burn_drive_release(info[0].drive, 0);
    burn::burn_drive_info_forget(info, 1);
    burn::burn_drive_info_free(info);
    burn::burn_finish();
}

TEST_F(Xorriso, ADriveAnswersFromARecordedScsiLog) {
    // Record a "real" drive: another name, a smaller BD-RE, and its serial number.
    drives({"Media = bdre\nCapacity = 2000000\nVendor = REAL\nProduct = RECORDED DRIVE"});
    const Outcome recorded =
        xorriso({"-scsi_log", "on", "-outdev", "mmc:" + device(0), "-list_formats"});
    ASSERT_EQ(recorded.status, 0) << recorded.output;
    const std::string log = dir_ + "/drive0.log";
    std::ofstream(log) << recorded.output;

    drives({"Media = bdre\nCapacity = 2000000", "Media = bdre\nReplay = " + log});
    const Outcome replayed = xorriso({"-outdev", "mmc:" + device(1), "-toc", "-list_formats",
                                      "-format", "by_index_2", "-list_formats"});
    ASSERT_EQ(replayed.status, 0) << replayed.output;
    EXPECT_NE(replayed.output.find("vendor 'REAL' product 'RECORDED DRIVE'"), std::string::npos)
        << replayed.output;
    EXPECT_NE(replayed.output.find("Drive id     : 'EMU0'"), std::string::npos); // feature 108h
    // The recorded disc's format list, and the format it offers taken as offered.
    EXPECT_NE(replayed.output.find("Format idx 2 : 30h , 1344640s"), std::string::npos)
        << replayed.output;
    EXPECT_NE(replayed.output.find("Format status: formatted, with 2626.2 MiB"), std::string::npos)
        << replayed.output;
    EXPECT_NE(replayed.output.find("655360 blocks available"), std::string::npos);
}

} // namespace
