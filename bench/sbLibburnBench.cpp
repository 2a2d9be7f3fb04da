// Benchmark of writes through libburn (run by hand, never by the tests), on a
// stdio pseudo-drive:
//
//   write   an image burned Track-At-Once through libburn into a file, against
//           `cp` of the same file followed by `sync`; peak memory of this
//           process while it burns
//   cancel  time from StarBurn_CdvdBurnerGrabber_Cancel to the write's return,
//           on a write throttled to 6x DVD
//
// Usage: starburn_libburn_bench [--size MB] [--dir FOLDER]
#include "starburn/StarBurn.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void makeImage(const std::string& path, uint64_t megabytes) {
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    std::ofstream out(path, std::ios::binary);
    for (uint64_t m = 0; m < megabytes; ++m) {
        std::memcpy(chunk.data(), &m, sizeof m);
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
}

struct Report {
    char text[1024] = {};
    uint32_t status = 0;
    uint8_t failure[64] = {};
};

uint8_t trackAtOnce(void* g, Report& r, const std::string& image) {
    return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                          r.failure, image.c_str(), 1, 0, 0, 1,
                                                          SB_WRITE_REVISION);
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
    std::ofstream(config) << "[Virtual]\nBuiltInRecorders = no\n\n[Stdio bench]\nPath = " << target
                          << "\nDeviceName = CdRom0\n";
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

    double best = 1e9;
    double bestCopy = 1e9;
    for (int round = 0; round < 2; ++round) {
        fs::remove(target);
        auto start = Clock::now();
        if (trackAtOnce(g, r, image) != SB_EXCEPTION_NONE) {
            std::fprintf(stderr, "write failed: %s\n", r.text);
            return 1;
        }
        best = std::min(best, seconds(Clock::now() - start));
        const std::string copy = (dir / "copy.iso").string();
        fs::remove(copy);
        start = Clock::now();
        const std::string command = "cp '" + image + "' '" + copy + "' && sync";
        if (std::system(command.c_str()) != 0) {
            return 1;
        }
        bestCopy = std::min(bestCopy, seconds(Clock::now() - start));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("write   %llu MB through libburn: %.2f s (%.0f MB/s); cp + sync: %.2f s; "
                "ratio %.2f\n",
                static_cast<unsigned long long>(megabytes), best,
                static_cast<double>(megabytes) / best, bestCopy, best / bestCopy);
    std::printf("memory  peak resident set %ld MiB\n", usage.ru_maxrss / 1024);

    // Cancel: 24 MiB at 6x DVD take about two seconds; cancel after 300 ms.
    const std::string slow = (dir / "slow.iso").string();
    makeImage(slow, 24);
    StarBurn_CdvdBurnerGrabber_SetSpeeds(g, r.text, sizeof r.text, &r.status, r.failure, 0xFFFF,
                                         8310);
    double worst = 0;
    for (int i = 0; i < 5; ++i) {
        Clock::time_point cancelled;
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancelled = Clock::now();
            StarBurn_CdvdBurnerGrabber_Cancel(g);
        });
        trackAtOnce(g, r, slow);
        const auto end = Clock::now();
        canceller.join();
        worst = std::max(worst, seconds(end - cancelled));
    }
    std::printf("cancel  longest time from Cancel to the write's return: %.2f s (5 writes)\n",
                worst);
    StarBurn_Destroy(&g);
    StarBurn_DownShut();
    fs::remove_all(dir);
    return 0;
}
