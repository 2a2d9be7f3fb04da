// SPDX-License-Identifier: GPL-2.0-or-later
// What the library's tests on emulated MMC drives share: drives described to
// the emulator (preloaded by CTest below libburn) and named in the library's
// configuration, the calls a burn makes, the disc read back, and a watchdog
// that fails a test that hangs.
#pragma once

#include "starburn/StarBurnLinux.h"
#include "tests/mmcemu/sbMmcEmu.h"
#include "tests/starburn/sbTestSupport.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <thread>

namespace sbtest {

// Ends the process when a test is not done within its time: a hang is a
// failure with a name, not a CTest timeout.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) {
        thread_ = std::thread([this, limit] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, limit, [this] { return disarmed_; })) {
                const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
                std::fprintf(stderr, "watchdog: %s.%s hangs; it did not end within %lld s\n",
                             test != nullptr ? test->test_suite_name() : "?",
                             test != nullptr ? test->name() : "?",
                             static_cast<long long>(limit.count()));
                std::fflush(stderr);
                std::_Exit(3);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            disarmed_ = true;
        }
        done_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool disarmed_ = false;
    std::thread thread_;
};

class Emulated : public Library {
protected:
    void SetUp() override {
        watchdog_ = std::make_unique<Watchdog>(std::chrono::seconds(60));
        reload_ = reinterpret_cast<sbMmcEmu_ReloadFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        ASSERT_NE(reload_, nullptr) << "libsbmmcemu.so is not preloaded";
    }

    void TearDown() override {
        for (void*& g : grabbers_) {
            if (g != nullptr) {
                StarBurn_Destroy(&g);
            }
        }
        Library::TearDown();
        ::unsetenv("SBMMCEMU");
        ::unsetenv("STARBURN_REAL_DRIVES");
        reload_();
        watchdog_.reset();
    }

    std::string device(size_t n) const { return dir.file("sr" + std::to_string(n)); }
    std::string name(size_t n) const { return "CdRom" + std::to_string(n); }
    // How failure texts name an emulated drive of the model's own name.
    std::string title(size_t n) const { return device(n) + " (TAVRIN MMC EMULATOR)"; }

    // Describes drives 0, 1, ... to the emulator (without starting the library).
    void describe(const std::vector<std::string>& settings) {
        std::ofstream emu(dir.file("emu.ini"));
        for (size_t i = 0; i < settings.size(); ++i) {
            emu << "[Drive " << i << "]\nPath = " << device(i) << "\n" << settings[i] << "\n";
        }
        emu.close();
        ::setenv("SBMMCEMU", dir.file("emu.ini").c_str(), 1);
        ASSERT_EQ(reload_(), static_cast<int>(settings.size()));
    }

    // Emulated drives with these settings, found by the library as CdRom0, ...
    void drives(const std::vector<std::string>& settings) {
        describe(settings);
        std::string devices;
        for (size_t i = 0; i < settings.size(); ++i) {
            devices += (i > 0 ? "," : "") + device(i);
        }
        ::setenv("STARBURN_REAL_DRIVES", "1", 1);
        start("[Virtual]\nBuiltInRecorders = no\nTimeFactor = 0\n[Libburn]\nDevices = " + devices +
              "\n");
    }

    void* grab(size_t n, uint32_t access = 0) {
        void* g = open(name(n).c_str(), access, &ProgressLog::callback, &log);
        grabbers_.push_back(g);
        return g;
    }

    uint8_t trackAtOnce(void* g, const std::string& path, bool testWrite = false,
                        bool multiSession = false) {
        return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                              r.failure, path.c_str(), 1, testWrite,
                                                              multiSession, 1, SB_WRITE_REVISION);
    }

    uint8_t sessionAtOnce(void* g, const std::string& path) {
        auto layout = std::make_unique<SessionLayoutRecord>();
        std::memset(layout.get(), 0, sizeof *layout);
        layout->EntryCount = 1;
        std::strncpy(layout->Entries[0].FileName, path.c_str(), SB_SESSION_PATH_SIZE - 1);
        return StarBurn_CdvdBurnerGrabber_SessionAtOnce(g, r.text, sizeof r.text, &r.status,
                                                        r.failure, layout.get(), 0, 0, 1, 1,
                                                        SB_WRITE_REVISION);
    }

    uint8_t closeSession(void* g) {
        return StarBurn_CdvdBurnerGrabber_CloseSession(g, r.text, sizeof r.text, &r.status,
                                                       r.failure);
    }

    uint8_t blank(void* g, bool full) {
        return StarBurn_CdvdBurnerGrabber_Blank(g, r.text, sizeof r.text, &r.status, r.failure,
                                                full ? 1 : 0);
    }

    uint8_t testUnitReady(void* g) {
        return StarBurn_CdvdBurnerGrabber_TestUnitReady(g, r.text, sizeof r.text, &r.status,
                                                        r.failure);
    }

    // Blocks read back with ReadData; empty (and the failure in r) when the read fails.
    std::vector<uint8_t> readBack(void* g, uint32_t lba, uint32_t blocks) {
        std::vector<uint8_t> bytes(static_cast<size_t>(blocks) * 2048);
        if (StarBurn_CdvdBurnerGrabber_ReadData(g, r.text, sizeof r.text, &r.status, r.failure, lba,
                                                blocks, bytes.data()) != SB_EXCEPTION_NONE) {
            return {};
        }
        return bytes;
    }

    uint64_t freeBytes(void* g) {
        uint32_t blocks = 0;
        uint64_t bytes = 0;
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(g, 3, &blocks, &bytes),
                  SB_EXCEPTION_NONE);
        EXPECT_EQ(bytes, uint64_t(blocks) * 2048);
        return bytes;
    }

    // The sense the failure block of the last call holds, as "K/AS/AQ".
    std::string sense() const {
        if (r.failure[0] == 0) {
            return "none";
        }
        char text[16];
        std::snprintf(text, sizeof text, "%X/%02X/%02X", r.failure[1], r.failure[2], r.failure[3]);
        return text;
    }

    std::string emulatorFile(size_t n, const char* suffix) const {
        std::ifstream in(device(n) + suffix, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    sbMmcEmu_ReloadFn reload_ = nullptr;
    ProgressLog log;
    Report r;

private:
    std::unique_ptr<Watchdog> watchdog_;
    std::vector<void*> grabbers_;
};

} // namespace sbtest
