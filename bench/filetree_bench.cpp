// SPDX-License-Identifier: GPL-2.0-or-later
// Storing file trees into image files: the library's tree (build, then 64 KiB
// reads written to a file, as a burn into a file does) against
// `xorriso -as mkisofs -J -o out.iso dir` on the same tree, in the same run.
// Each run happens in a child process, so its peak memory is its own.
//
//   filetree_bench [work-folder] [large-total-MiB] [small-file-count]
#include "starburn/StarBurn.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

void writeFile(const fs::path& path, size_t size, std::mt19937& gen) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (auto& c : block) {
        c = static_cast<char>(gen());
    }
    while (size > 0) {
        const size_t n = std::min(size, block.size());
        out.write(block.data(), static_cast<std::streamsize>(n));
        size -= n;
        block[n % block.size()] ^= 0x5A; // no two megabytes alike
    }
}

// The library's side, in the child: returns 0 on success.
int storeWithLibrary(const fs::path& source, const fs::path& image) {
    void* tree = nullptr;
    char text[1024] = "";
    uint32_t status = 0;
    if (StarBurn_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &status, nullptr,
                                              nullptr) != 0 ||
        StarBurn_ISO9660JolietFileTree_AddFolder(tree, text, sizeof text, &status, source.c_str(),
                                                 "/", nullptr) != 0 ||
        StarBurn_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &status, 0, 8, 1,
                                                  "BENCH", "filetree_bench",
                                                  "filetree_bench") != 0) {
        std::fprintf(stderr, "library: %s\n", text);
        return 1;
    }
    uint32_t high = 0;
    const uint32_t low = StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
    uint64_t remaining = (uint64_t{high} << 32) | low;
    FILE* out = std::fopen(image.c_str(), "wb");
    if (out == nullptr) {
        return 1;
    }
    std::vector<char> chunk(65536);
    while (remaining > 0) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(remaining, chunk.size()));
        if (StarBurn_ISO9660JolietFileTree_Read(tree, text, sizeof text, &status, n,
                                                chunk.data()) != 0) {
            std::fprintf(stderr, "library read: %s\n", text);
            return 1;
        }
        if (std::fwrite(chunk.data(), 1, n, out) != n) {
            return 1;
        }
        remaining -= n;
    }
    std::fflush(out);
    fsync(fileno(out));
    std::fclose(out);
    StarBurn_Destroy(&tree);
    return 0;
}

Run measure(const std::function<int()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::_Exit(work());
    }
    int wstatus = 0;
    struct rusage usage {};
    wait4(pid, &wstatus, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.ok = WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
    return run;
}

Run library(const fs::path& source, const fs::path& image) {
    Run run = measure([&] { return storeWithLibrary(source, image); });
    fs::remove(image);
    return run;
}

Run xorriso(const fs::path& source, const fs::path& image) {
    Run run = measure([&] {
        const std::string command = "xorriso -as mkisofs -quiet -J -o '" + image.string() + "' '" +
                                    source.string() + "' >/dev/null 2>&1 && sync '" +
                                    image.string() + "'";
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
    fs::remove(image);
    return run;
}

uint64_t bytesIn(const fs::path& dir) {
    uint64_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (e.is_regular_file()) {
            total += e.file_size();
        }
    }
    return total;
}

void compare(const char* title, const fs::path& source, const fs::path& work) {
    // Warm the page cache once so neither side pays for the first read alone.
    std::system(("cat $(find '" + source.string() + "' -type f) > /dev/null 2>&1").c_str());
    const uint64_t bytes = bytesIn(source);
    Run best[2];
    for (int round = 0; round < 2; ++round) {
        const Run ours = library(source, work / "ours.iso");
        const Run theirs = xorriso(source, work / "xorriso.iso");
        if (!ours.ok || !theirs.ok) {
            std::printf("%s: a run failed (library %d, xorriso %d)\n", title, ours.ok, theirs.ok);
            return;
        }
        if (round == 0 || ours.seconds < best[0].seconds) {
            best[0] = ours;
        }
        if (round == 0 || theirs.seconds < best[1].seconds) {
            best[1] = theirs;
        }
    }
    const double mib = static_cast<double>(bytes) / (1 << 20);
    std::printf("%-28s %9.1f MiB | library %6.2f s %7.1f MiB/s peak %6.1f MiB | xorriso %6.2f s "
                "%7.1f MiB/s peak %6.1f MiB | ratio %.2f\n",
                title, mib, best[0].seconds, mib / best[0].seconds, best[0].peakKiB / 1024.0,
                best[1].seconds, mib / best[1].seconds, best[1].peakKiB / 1024.0,
                best[1].seconds / best[0].seconds);
}

} // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "sbtreebench";
    const uint64_t largeMiB = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
    const int smallCount = argc > 3 ? std::atoi(argv[3]) : 10000;
    fs::remove_all(work);
    fs::create_directories(work);
    std::mt19937 gen(12345);

    const fs::path small = work / "small";
    std::uniform_int_distribution<size_t> smallSize(100, 8000);
    for (int i = 0; i < smallCount; ++i) {
        writeFile(small / ("dir" + std::to_string(i / 100)) /
                      ("file_" + std::to_string(i) + ".txt"),
                  smallSize(gen), gen);
    }
    const fs::path large = work / "large";
    const int largeFiles = 4;
    for (int i = 0; i < largeFiles; ++i) {
        writeFile(large / ("big" + std::to_string(i) + ".bin"), largeMiB * (1 << 20) / largeFiles,
                  gen);
    }
    // A quarter of the large tree shows whether memory follows the byte size.
    const fs::path quarter = work / "quarter";
    writeFile(quarter / "big.bin", largeMiB * (1 << 20) / 4, gen);

    std::printf("tree                              bytes | library (build + 64 KiB reads into a "
                "file)              | xorriso -as mkisofs -J\n");
    compare((std::to_string(smallCount) + " small files").c_str(), small, work);
    compare("1 large file (1/4 size)", quarter, work);
    compare((std::to_string(largeFiles) + " large files").c_str(), large, work);
    fs::remove_all(work);
    return 0;
}
