// SPDX-License-Identifier: GPL-2.0-or-later
// Benchmark of writes through libburn (run by hand, never by the tests), on
// stdio pseudo-drives:
//
//   write   an image burned Track-At-Once through this library into a file,
//           against libburn driven directly in the same run (a
//           burn_file_source_new track, default write options, Track-At-Once)
//           and `cp` of the same file followed by `sync`; the peak memory of
//           each (the process's peak is reset between them)
//   cancel  time from StarBurn_CdvdBurnerGrabber_Cancel to the write's return,
//           on a write throttled to 6x DVD and on one at full speed
//   two     two pseudo-drives written at once, against one alone
//
// Usage: starburn_libburn_bench [--size MB] [--dir FOLDER]
#include "bench/sbBenchSupport.h"
#include "starburn/StarBurn.h"

#include <libburn/libburn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace burn;

using sbbench::makeImage;
using sbbench::Report;
using sbbench::seconds;

namespace {

uint8_t trackAtOnce(void* g, Report& r, const std::string& image) {
    return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                          r.failure, image.c_str(), 1, 0, 0, 1,
                                                          SB_WRITE_REVISION);
}

// The peak resident set since the last reset, in MiB.
long peakMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10) / 1024;
        }
    }
    return -1;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// libburn alone: the image as a file source, default write options,
// Track-At-Once. Returns the seconds from the grabbed drive to the idle
// drive (the scan and grab are not counted), or -1.
double libburnDirect(const std::string& image, const std::string& target) {
    burn_drive_info* info = nullptr;
    std::string address = "stdio:" + target;
    if (burn_drive_scan_and_grab(&info, address.data(), 0) <= 0) {
        return -1;
    }
    burn_drive* d = info[0].drive;
    const auto start = Clock::now();
    burn_disc* disc = burn_disc_create();
    burn_session* session = burn_session_create();
    burn_disc_add_session(disc, session, BURN_POS_END);
    burn_track* track = burn_track_create();
    burn_track_define_data(track, 0, 0, 1, BURN_MODE1);
    burn_source* source = burn_file_source_new(image.c_str(), nullptr);
    burn_track_set_source(track, source);
    burn_session_add_track(session, track, BURN_POS_END);
    burn_write_opts* opts = burn_write_opts_new(d);
    burn_write_opts_set_write_type(opts, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
    burn_disc_write(opts, disc);
    while (burn_drive_get_status(d, nullptr) != BURN_DRIVE_IDLE) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double took = seconds(Clock::now() - start);
    const bool well = burn_drive_wrote_well(d) != 0;
    burn_write_opts_free(opts);
    burn_source_free(source);
    burn_track_free(track);
    burn_session_free(session);
    burn_disc_free(disc);
    burn_drive_release(d, 0);
    burn_drive_info_forget(info, 0);
    burn_drive_info_free(info);
    return well ? took : -1;
}

} // namespace

int main(int argc, char** argv) {
    uint64_t megabytes = 256;
    std::string folder = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--size") == 0) {
            megabytes = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--dir") == 0) {
            folder = argv[i + 1];
        }
    }
    const fs::path dir = fs::path(folder) / "starburn-libburn-bench";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string image = (dir / "image.iso").string();
    const std::string target = (dir / "disc.iso").string();
    const std::string config = (dir / "bench.ini").string();
    makeImage(image, megabytes);
    const std::string second = (dir / "disc2.iso").string();
    std::ofstream(config) << "[Virtual]\nBuiltInRecorders = no\n\n[Stdio bench]\nPath = " << target
                          << "\nDeviceName = CdRom0\n\n[Stdio second]\nPath = " << second
                          << "\nDeviceName = CdRom1\n";
    ::setenv("STARBURN_STATE_DIR", (dir / "state").c_str(), 1);
    ::setenv("STARBURN_REAL_DRIVES", "0", 1);
    char text[4096] = {};
    if (StarBurn_UpStartEx(config.c_str(), text, sizeof text) != SB_EXCEPTION_NONE) {
        std::fprintf(stderr, "start failed: %s\n", text);
        return 1;
    }
    void* g = nullptr;
    Report r;
    if (StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                            nullptr, nullptr, "CdRom0", 0) != SB_EXCEPTION_NONE) {
        std::fprintf(stderr, "open failed: %s\n", r.text);
        return 1;
    }

    // Rounds alternate between this library and libburn driven directly
    // (libburn is running already; the direct rounds use a drive of their
    // own), so both see the same machine.
    const std::string directTarget = (dir / "direct.iso").string();
    double best = 1e9;
    double direct = 1e9;
    double bestCopy = 1e9;
    long ourPeak = 0;
    long directPeak = 0;
    for (int round = 0; round < 3; ++round) {
        fs::remove(target);
        resetPeak();
        auto start = Clock::now();
        if (trackAtOnce(g, r, image) != SB_EXCEPTION_NONE) {
            std::fprintf(stderr, "write failed: %s\n", r.text);
            return 1;
        }
        best = std::min(best, seconds(Clock::now() - start));
        ourPeak = std::max(ourPeak, peakMiB());

        fs::remove(directTarget);
        resetPeak();
        const double t = libburnDirect(image, directTarget);
        if (t < 0) {
            std::fprintf(stderr, "libburn-direct write failed\n");
            return 1;
        }
        direct = std::min(direct, t);
        directPeak = std::max(directPeak, peakMiB());

        const std::string copy = (dir / "copy.iso").string();
        fs::remove(copy);
        start = Clock::now();
        const std::string command = "cp '" + image + "' '" + copy + "' && sync";
        if (std::system(command.c_str()) != 0) {
            return 1;
        }
        bestCopy = std::min(bestCopy, seconds(Clock::now() - start));
    }
    const double mb = static_cast<double>(megabytes) * 1048576.0 / 1e6;
    std::printf("write   %llu MiB, Track-At-Once onto a pseudo-drive (best of 3)\n",
                static_cast<unsigned long long>(megabytes));
    std::printf("        this library:    %.2f s (%.0f MB/s), peak memory %ld MiB\n", best,
                mb / best, ourPeak);
    std::printf("        libburn-direct:  %.2f s (%.0f MB/s), peak memory %ld MiB\n", direct,
                mb / direct, directPeak);
    std::printf("        cp + sync:       %.2f s\n", bestCopy);
    std::printf("        throughput ratio (this library / libburn-direct): %.2f\n", direct / best);

    // Two pseudo-drives at once, against one alone (the best above).
    void* g2 = nullptr;
    if (StarBurn_CdvdBurnerGrabber_CreateEx(&g2, r.text, sizeof r.text, &r.status, r.failure,
                                            nullptr, nullptr, "CdRom1", 0) != SB_EXCEPTION_NONE) {
        std::fprintf(stderr, "open failed: %s\n", r.text);
        return 1;
    }
    double bestTwo = 1e9;
    for (int round = 0; round < 2; ++round) {
        fs::remove(target);
        fs::remove(second);
        Report r2;
        uint8_t other = 0;
        const auto start = Clock::now();
        std::thread writer([&] { other = trackAtOnce(g2, r2, image); });
        const uint8_t mine = trackAtOnce(g, r, image);
        writer.join();
        if (mine != SB_EXCEPTION_NONE || other != SB_EXCEPTION_NONE) {
            std::fprintf(stderr, "two writes failed: %s / %s\n", r.text, r2.text);
            return 1;
        }
        bestTwo = std::min(bestTwo, seconds(Clock::now() - start));
    }
    std::printf("two     both drives at once: %.2f s (%.0f MB/s together); one alone %.0f MB/s; "
                "ratio %.2f\n",
                bestTwo, 2 * mb / bestTwo, mb / best, (2 * mb / bestTwo) / (mb / best));
    StarBurn_Destroy(&g2);

    // Cancel: 24 MiB at 6x DVD take about two seconds; cancel after 300 ms.
    const std::string slow = (dir / "slow.iso").string();
    makeImage(slow, 24);
    StarBurn_CdvdBurnerGrabber_SetSpeeds(g, r.text, sizeof r.text, &r.status, r.failure, 0xFFFF,
                                         8310);
    auto cancelRounds = [&](const std::string& path, int afterMs) {
        double worst = 0;
        for (int i = 0; i < 5; ++i) {
            Clock::time_point cancelled;
            std::thread canceller([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
                cancelled = Clock::now();
                StarBurn_CdvdBurnerGrabber_Cancel(g);
            });
            const uint8_t result = trackAtOnce(g, r, path);
            const auto end = Clock::now();
            canceller.join();
            if (result != SB_EXCEPTION_CANCELLED) {
                std::fprintf(stderr, "the write was not cancelled: %s\n", r.text);
            }
            worst = std::max(worst, seconds(end - cancelled));
        }
        return worst;
    };
    const double throttled = cancelRounds(slow, 300);
    StarBurn_CdvdBurnerGrabber_SetSpeeds(g, r.text, sizeof r.text, &r.status, r.failure, 0xFFFF,
                                         0xFFFF);
    const double fast = cancelRounds(image, 100);
    std::printf("cancel  longest time from Cancel to the write's return (5 writes each): "
                "throttled to 6x DVD %.0f ms, full speed %.0f ms\n",
                throttled * 1000, fast * 1000);
    StarBurn_Destroy(&g);
    StarBurn_DownShut();
    fs::remove_all(dir);
    return 0;
}
