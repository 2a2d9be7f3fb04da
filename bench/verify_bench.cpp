// SPDX-License-Identifier: GPL-2.0-or-later
// Read-back verification against `cmp` (run by hand, never by the tests).
//
// An image of --size MB is burnt Track-At-Once onto a virtual DVD recorder at
// time factor 0. Then, in turns over two rounds, the disc is verified through
// the library (StarBurn_CdvdBurnerGrabber_ReadData, compare, SHA-256) and the
// image is compared with the disc's file by `cmp IMAGE DISC.IMG`. Each side
// runs as a child process of its own, so its wall time and its peak resident
// memory (wait4) are its own. The best time of each side counts.
//
// Usage: verify_bench [--size MB] [--dir FOLDER]
#include "bench/sbBenchSupport.h"
#include "engine/sbVerify.h"
#include "starburn/StarBurn.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using sbbench::makeImage;

namespace {

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

// Runs argv as a child and measures it.
Run runChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    Run run;
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool startLibrary(const std::string& folder) {
    const std::string config = folder + "/bench.ini";
    if (!fs::exists(config)) {
        std::ofstream(config) << "[Virtual]\nTimeFactor = 0\nBuiltInRecorders = no\n"
                                 "[Recorder bench]\nDeviceName = CdRom0\nDisc = DVD+R\n"
                                 "DiscCapacity = 8000000\n";
    }
    ::setenv("STARBURN_STATE_DIR", (folder + "/state").c_str(), 1);
    ::setenv("STARBURN_REAL_DRIVES", "0", 1);
    ::unsetenv("STARBURN_TIME_FACTOR");
    char text[4096] = {};
    if (StarBurn_UpStartEx(config.c_str(), text, sizeof text) != SB_EXCEPTION_NONE) {
        std::fprintf(stderr, "the library did not start: %s\n", text);
        return false;
    }
    return true;
}

void* openWriter() {
    void* grabber = nullptr;
    char text[1024] = {};
    uint32_t status = 0;
    uint8_t failure[64] = {};
    if (StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, sizeof text, &status, failure, nullptr,
                                            nullptr, "CdRom0", 0) != SB_EXCEPTION_NONE) {
        std::fprintf(stderr, "the recorder did not open: %s\n", text);
        return nullptr;
    }
    return grabber;
}

// The child: verifies the disc against the image and says what it found.
int verifyChild(const std::string& folder, const std::string& image) {
    if (!startLibrary(folder)) {
        return 2;
    }
    void* grabber = openWriter();
    if (grabber == nullptr) {
        return 2;
    }
    const TsbVerifyResult result = VerifyWrittenImage(grabber, image, 0, {});
    std::printf("  verify: %u blocks, SHA-256 %s %s\n", result.Blocks, result.Sha256.c_str(),
                result.FailureText.c_str());
    StarBurn_Destroy(&grabber);
    StarBurn_DownShut();
    return result.Passed() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--child-verify") == 0) {
        return verifyChild(argv[2], argv[3]);
    }
    uint64_t megabytes = 700;
    std::string base = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--size") == 0) {
            megabytes = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--dir") == 0) {
            base = argv[i + 1];
        }
    }
    const std::string folder = base + "/verify-bench-" + std::to_string(::getpid());
    fs::create_directories(folder);
    const std::string image = folder + "/image.iso";
    makeImage(image, megabytes);

    if (!startLibrary(folder)) {
        return 1;
    }
    void* grabber = openWriter();
    if (grabber == nullptr) {
        return 1;
    }
    char text[1024] = {};
    uint32_t status = 0;
    uint8_t failure[64] = {};
    const auto writeStart = Clock::now();
    if (StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(grabber, text, sizeof text, &status, failure,
                                                       image.c_str(), 1, 0, 0, 0,
                                                       SB_WRITE_REVISION) != SB_EXCEPTION_NONE) {
        std::fprintf(stderr, "the write failed: %s\n", text);
        return 1;
    }
    std::printf("write: %llu MB in %.2f s\n", static_cast<unsigned long long>(megabytes),
                std::chrono::duration<double>(Clock::now() - writeStart).count());
    StarBurn_Destroy(&grabber);
    // The children start the library on the same state folder: this one ends first.
    StarBurn_DownShut();

    const std::string disc = folder + "/state/bench/disc.img";
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    // Both files in the page cache before either side is timed.
    runChild({"/usr/bin/cmp", image, disc});

    Run bestVerify{1e9, 0, 0};
    Run bestCmp{1e9, 0, 0};
    for (int round = 0; round < 2; ++round) {
        const Run v = runChild({self, "--child-verify", folder, image});
        const Run c = runChild({"/usr/bin/cmp", image, disc});
        std::printf("round %d: verify %.3f s (%ld KiB, exit %d), cmp %.3f s (%ld KiB, exit %d)\n",
                    round + 1, v.seconds, v.peakKiB, v.status, c.seconds, c.peakKiB, c.status);
        if (v.status != 0 || c.status != 0) {
            std::fprintf(stderr, "a side did not find the disc equal to the image\n");
            fs::remove_all(folder);
            return 1;
        }
        if (v.seconds < bestVerify.seconds) {
            bestVerify = v;
        }
        if (c.seconds < bestCmp.seconds) {
            bestCmp = c;
        }
    }
    const double mb = static_cast<double>(megabytes);
    std::printf("\n| side | best time | throughput | peak memory |\n|---|---|---|---|\n");
    std::printf("| library verify (compare + SHA-256) | %.3f s | %.0f MB/s | %.1f MiB |\n",
                bestVerify.seconds, mb / bestVerify.seconds, bestVerify.peakKiB / 1024.0);
    std::printf("| cmp IMAGE DISC.IMG | %.3f s | %.0f MB/s | %.1f MiB |\n", bestCmp.seconds,
                mb / bestCmp.seconds, bestCmp.peakKiB / 1024.0);
    std::printf("\nverify throughput / cmp throughput: %.2f\n",
                bestCmp.seconds / bestVerify.seconds);
    fs::remove_all(folder);
    return 0;
}
