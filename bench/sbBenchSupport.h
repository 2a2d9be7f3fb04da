// SPDX-License-Identifier: GPL-2.0-or-later
// What the library's benchmarks share: their clock, their images and the
// report buffers of a library call.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace sbbench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The image: a megabyte of varied bytes, each copy of it changed, so no
// file system can make the copies cheaper than real data.
inline void makeImage(const std::string& path, uint64_t megabytes) {
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

// The report buffers of one grabber call.
struct Report {
    char text[1024] = {};
    uint32_t status = 0;
    uint8_t failure[64] = {};
};

} // namespace sbbench
