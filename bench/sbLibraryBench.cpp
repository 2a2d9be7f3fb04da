// SPDX-License-Identifier: GPL-2.0-or-later
// Benchmarks of libStarBurn's virtual recorders (run by hand, never by the tests):
//
//   write   an image burned at time factor 0 and flushed to disk, against
//           `cp` of the same file followed by `sync`, in the same run;
//           peak memory of this process while it burns
//   probe   opening each device and answering every query the device probe
//           asks, per device
//   cancel  time from StarBurn_CdvdBurnerGrabber_Cancel to the write's return
//
// Usage: starburn_bench [--size MB] [--dir FOLDER] [--skip-write]
#include "bench/sbBenchSupport.h"
#include "starburn/StarBurn.h"
#include "starburn/StarBurnTesting.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using sbbench::makeImage;
using sbbench::Report;
using sbbench::seconds;

namespace {

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool start(const std::string& folder) {
    const std::string config = folder + "/bench.ini";
    std::ofstream(config) << "[Virtual]\nTimeFactor = 0\n"
                             "[Recorder bench]\nDeviceName = CdRom0\nDisc = DVD+R\n"
                             "DiscCapacity = 8000000\nBufferSize = 4194304\n"
                             "[Recorder bench-cd]\nDeviceName = CdRom1\nDisc = CD-R\n"
                             "[Recorder bench-reader]\nDeviceName = CdRom2\nWrites = none\n"
                             "WriteModes = none\nDisc = DVD-ROM\n";
    ::setenv("STARBURN_STATE_DIR", (folder + "/state").c_str(), 1);
    char text[4096] = {};
    if (StarBurn_UpStartEx(config.c_str(), text, sizeof text) != SB_EXCEPTION_NONE || text[0]) {
        std::fprintf(stderr, "the library did not start cleanly: %s\n", text);
        return false;
    }
    return true;
}

void* open(const char* name, uint32_t access) {
    void* g = nullptr;
    Report r;
    if (StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                            nullptr, nullptr, name, access) != SB_EXCEPTION_NONE) {
        std::fprintf(stderr, "%s does not open: %s\n", name, r.text);
        std::exit(1);
    }
    return g;
}

double copyWithCp(const std::string& image, const std::string& copy) {
    const std::string command = "cp '" + image + "' '" + copy + "' && sync";
    const auto t0 = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "cp failed\n");
        return -1;
    }
    const double s = seconds(Clock::now() - t0);
    fs::remove(copy);
    std::system("sync");
    return s;
}

double burnWithLibrary(const std::string& folder, const std::string& image, long& peakKiB,
                       bool testWrite = false) {
    if (!start(folder)) {
        return -1;
    }
    void* g = open("CdRom0", 0);
    Report r;
    const auto t0 = Clock::now();
    const uint8_t e = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
        g, r.text, sizeof r.text, &r.status, r.failure, image.c_str(), 1, testWrite ? 1 : 0, 0, 1,
        SB_WRITE_REVISION);
    const double s = seconds(Clock::now() - t0);
    peakKiB = peakRssKiB();
    if (e != SB_EXCEPTION_NONE) {
        std::fprintf(stderr, "the write failed: %s\n", r.text);
        return -1;
    }
    StarBurn_CdvdBurnerGrabber_CloseSession(g, r.text, sizeof r.text, &r.status, r.failure);
    StarBurn_CdvdBurnerGrabber_Eject(g, r.text, sizeof r.text, &r.status, r.failure);
    StarBurn_Destroy(&g);
    StarBurn_DownShut();
    fs::remove_all(folder + "/state");
    std::system("sync");
    return s;
}

bool benchWrite(const std::string& folder, uint64_t megabytes) {
    const std::string image = folder + "/image.iso";
    const std::string copy = folder + "/copy.iso";
    std::printf("write: %llu MB image in %s\n", static_cast<unsigned long long>(megabytes),
                folder.c_str());
    makeImage(image, megabytes);
    std::system("sync");
    const long rssBefore = peakRssKiB();

    // Two rounds, alternating, so neither side profits from going second.
    const double mb = static_cast<double>(megabytes) * 1.048576;
    double bestCp = 1e30;
    double bestBurn = 1e30;
    long peak = 0;
    for (int round = 1; round <= 2; ++round) {
        const double cp = copyWithCp(image, copy);
        const double burn = burnWithLibrary(folder, image, peak);
        if (cp < 0 || burn < 0) {
            return false;
        }
        std::printf("  round %d: cp + sync %6.2f s (%6.1f MB/s), library write %6.2f s "
                    "(%6.1f MB/s, flushed)\n",
                    round, cp, mb / cp, burn, mb / burn);
        bestCp = std::min(bestCp, cp);
        bestBurn = std::min(bestBurn, burn);
    }
    // A test write reads every byte through the library's own buffer.
    long testPeak = 0;
    const double test = burnWithLibrary(folder, image, testPeak, true);
    if (test < 0) {
        return false;
    }
    std::printf("  test write (every byte read through the library's buffer) %6.2f s (%6.1f "
                "MB/s), peak RSS %.1f MB\n",
                test, mb / test, testPeak / 1024.0);
    peak = std::max(peak, testPeak);
    fs::remove(image);
    std::printf("  throughput ratio %.2f (best library / best cp; target >= 0.7)\n",
                bestCp / bestBurn);
    std::printf("  peak RSS %.1f MB before burning, %.1f MB after (target < 64)\n",
                rssBefore / 1024.0, peak / 1024.0);
    return true;
}

bool benchProbe(const std::string& folder) {
    if (!start(folder)) {
        return false;
    }
    const char* names[] = {"CdRom0", "CdRom1", "CdRom2"};
    constexpr int kRounds = 2000;
    auto toc = std::make_unique<SB_TOC_INFORMATION>();
    double worst = 0;
    for (const char* name : names) {
        auto t0 = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            Report r;
            void* g = open(name, 1);
            char vendor[1024], product[1024], revision[1024];
            uint32_t size = 0;
            uint8_t b[16];
            StarBurn_CdvdBurnerGrabber_GetDeviceInformation(g, vendor, product, revision, &size);
            StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(
                g, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &b[8], &b[9]);
            StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx(g, &b[0], &b[1], &b[2], &b[3],
                                                                    &b[4], &b[5]);
            StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
                g, r.text, 1024, &r.status, r.failure, &b[0], &b[1], &b[2], &b[3]);
            StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes(
                g, r.text, 1024, &r.status, r.failure, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]);
            StarBurn_CdvdBurnerGrabber_TestUnitReady(g, r.text, 1024, &r.status, r.failure);
            StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g);
            SB_DISC_INFORMATION di{};
            SB_TRACK_INFORMATION ti{};
            StarBurn_CdvdBurnerGrabber_GetDiscInformation(g, r.text, 1024, &r.status, r.failure,
                                                          &di);
            StarBurn_CdvdBurnerGrabber_GetTrackInformation(g, r.text, 1024, &r.status, r.failure,
                                                           255, &ti);
            StarBurn_SetFastReadTOC(1);
            StarBurn_CdvdBurnerGrabber_GetTOCInformation(g, r.text, 1024, &r.status, r.failure,
                                                         toc.get());
            StarBurn_CdvdBurnerGrabber_GetRPC(g, r.text, 1024, &r.status, r.failure, &b[0], &b[1],
                                              &b[2], &b[3], &b[4]);
            uint32_t blocks = 0;
            uint64_t bytes = 0;
            StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(g, 3, &blocks, &bytes);
            StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(g, r.text, 1024, &r.status, r.failure,
                                                        &bytes);
            StarBurn_Destroy(&g);
        }
        const double perDevice = seconds(Clock::now() - t0) / kRounds * 1e6;
        worst = std::max(worst, perDevice);
        std::printf("probe: %s opened and asked every probe query in %.1f us\n", name, perDevice);
    }
    std::printf("probe: worst %.1f us per device (target < 1000 us)\n", worst);
    StarBurn_DownShut();
    fs::remove_all(folder + "/state");
    return true;
}

bool benchCancel(const std::string& folder) {
    if (!start(folder)) {
        return false;
    }
    const std::string image = folder + "/cancel.iso";
    makeImage(image, 8);
    StarBurnTesting_SlowWrite("CdRom0", 1 << 20);
    double worst = 0;
    for (int i = 0; i < 50; ++i) {
        void* g = open("CdRom0", 0);
        Clock::time_point cancelledAt;
        Clock::time_point returnedAt;
        std::thread writer([&] {
            Report r;
            StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                           r.failure, image.c_str(), 1, 1, 0, 1,
                                                           SB_WRITE_REVISION);
            returnedAt = Clock::now();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        cancelledAt = Clock::now();
        StarBurn_CdvdBurnerGrabber_Cancel(g);
        writer.join();
        worst = std::max(worst, seconds(returnedAt - cancelledAt) * 1000);
        StarBurn_Destroy(&g);
    }
    std::printf("cancel: the slowest of 50 writes returned %.2f ms after Cancel (target < 100)\n",
                worst);
    StarBurn_DownShut();
    fs::remove_all(folder + "/state");
    fs::remove(image);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    uint64_t megabytes = 700;
    std::string base = fs::temp_directory_path().string();
    bool write = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) {
            megabytes = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--dir" && i + 1 < argc) {
            base = argv[++i];
        } else if (a == "--skip-write") {
            write = false;
        } else {
            std::fprintf(stderr, "usage: %s [--size MB] [--dir FOLDER] [--skip-write]\n", argv[0]);
            return 2;
        }
    }
    std::string folder = base + "/starburn-bench-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    bool ok = benchProbe(folder) && benchCancel(folder);
    if (ok && write) {
        ok = benchWrite(folder, megabytes);
    }
    fs::remove_all(folder);
    return ok ? 0 : 1;
}
