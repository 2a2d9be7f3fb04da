// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn on emulated MMC drives (tests/mmcemu, preloaded by CTest into
// the test and so into every program it starts): a folder of the test's own
// for the library's configuration, its state and the drives' files, the
// emulator's drives named in the configuration, and programs run with a
// watchdog, their output kept in files.
#pragma once

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
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace clitest {

namespace fs = std::filesystem;

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class CliOnEmulatedDrives : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(emu_.Reload, nullptr) << "libsbmmcemu.so is not preloaded";
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
        if (emu_.Reload != nullptr) {
            emu_.Reload();
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path device(size_t n) const { return dir_ / ("sr" + std::to_string(n)); }

    // Emulated drives 0, 1, ... with these settings, named in the library's
    // configuration in that order, so that they are CdRom0, CdRom1, ...
    // libburn: more of the configuration's [Libburn] section; used: how many
    // of the drives the library looks for (0: all).
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
        ASSERT_EQ(emu_.Reload(), static_cast<int>(settings.size()));
    }

    // tavrin-burn with these arguments under a watchdog of 60 s (status 124
    // when it struck).
    static std::vector<std::string> BurnCommand(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"timeout", "-k", "5", "60", TAVRIN_BURN};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

    // A program started in the background, its input /dev/null, its output
    // in out.txt and err.txt (merged: both in err.txt); -1 when it could not
    // be started.
    pid_t StartProgram(std::vector<std::string> argv, bool merged = false) {
        std::vector<char*> pointers;
        for (auto& a : argv) {
            pointers.push_back(a.data());
        }
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, (dir_ / "err.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (merged) {
            std::error_code ignored;
            fs::remove(dir_ / "out.txt", ignored);
            posix_spawn_file_actions_adddup2(&actions, 2, 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "out.txt").c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        pid_t pid = -1;
        if (posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // Waits for a program StartProgram started: its exit status (1000 + the
    // signal when one ended it, -1 when it never started) and its output.
    TRun FinishProgram(pid_t pid) {
        TRun run;
        if (pid > 0) {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        }
        run.Out = ReadFile(dir_ / "out.txt");
        run.Err = ReadFile(dir_ / "err.txt");
        return run;
    }

    TRun RunProgram(std::vector<std::string> argv, bool merged = false) {
        return FinishProgram(StartProgram(std::move(argv), merged));
    }

    TRun Run(const std::vector<std::string>& args) { return RunProgram(BurnCommand(args)); }

    const TMmcEmuControls emu_;
    fs::path dir_;
};

} // namespace clitest
