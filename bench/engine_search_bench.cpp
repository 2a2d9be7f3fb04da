// SPDX-License-Identifier: GPL-2.0-or-later
// How long a device search under SPTI takes, from Search's call to its return:
// CdRom0 to CdRom20 tried, the three built-in virtual recorders found, every
// probe included. Target: under 50 ms.
#include "devices/sbDeviceList.h"
#include "starburn/StarBurn.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 50;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tavrin_search_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    ::setenv("STARBURN_STATE_DIR", folder.c_str(), 1);
    ::unsetenv("STARBURN_CONFIG"); // the built-in recorders
    char text[1024] = {};
    if (StarBurn_UpStartEx(nullptr, text, sizeof text) != 0) {
        std::fprintf(stderr, "StarBurn_UpStartEx failed: %s\n", text);
        return 1;
    }

    std::vector<double> times;
    int found = 0;
    for (int run = 0; run <= runs; ++run) {
        TsbDeviceFinder finder;
        finder.TransportType = ttSpti;
        const auto start = std::chrono::steady_clock::now();
        finder.Search(true);
        const auto stop = std::chrono::steady_clock::now();
        found = finder.Devices.Count();
        if (run > 0) { // the first run warms the caches
            times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        }
    }
    StarBurn_DownShut();
    std::filesystem::remove_all(folder);

    std::sort(times.begin(), times.end());
    std::printf("search under SPTI, CdRom0-CdRom20, %d devices found, %d runs\n", found, runs);
    std::printf("  min %.2f ms  median %.2f ms  max %.2f ms  (target < 50 ms)\n", times.front(),
                times[times.size() / 2], times.back());
    return times.back() < 50.0 ? 0 : 2;
}
