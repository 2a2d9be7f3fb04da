// SPDX-License-Identifier: GPL-2.0-or-later
// Helpers shared by the library's tests: temporary folders, generated images,
// a started library with its own configuration and state folder.
#pragma once

#include "starburn/StarBurn.h"
#include "starburn/StarBurnTesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sbtest {

namespace fs = std::filesystem;

// A folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "starburn-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string operator/(const std::string& name) const { return file(name); }

private:
    fs::path path_;
};

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Bytes that differ at every position and between seeds, so a misplaced or
// repeated block shows.
inline std::vector<uint8_t> patternBytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// An image padded with zeros to whole 2048-byte sectors, as a disc holds it.
inline std::vector<uint8_t> padded(std::vector<uint8_t> bytes) {
    bytes.resize((bytes.size() + 2047) / 2048 * 2048, 0);
    return bytes;
}

// An image whose block 16 holds the parts of an ISO9660 primary volume
// descriptor a drive reads for the disc's name: its mark and its label.
inline std::vector<uint8_t> isoLike(size_t size, uint32_t seed, const char* label) {
    auto bytes = patternBytes(size, seed);
    uint8_t* pvd = bytes.data() + 16 * 2048;
    pvd[0] = 1;
    std::memcpy(pvd + 1, "CD001", 5);
    std::memset(pvd + 40, ' ', 32);
    std::memcpy(pvd + 40, label, std::strlen(label));
    return bytes;
}

// The addresses a device search reports, in its order.
struct Found {
    std::vector<SB_DEVICE_ADDRESS> addresses;
    static void callback(uint32_t reason, void* context, void* special1, void*) {
        if ((reason & 0xFF) == SB_REASON_DEVICE_FOUND) {
            static_cast<Found*>(context)->addresses.push_back(
                *static_cast<SB_DEVICE_ADDRESS*>(special1));
        }
    }
};

// The report buffers of one grabber call.
struct Report {
    char text[1024] = {};
    uint32_t status = 31;
    uint8_t failure[64] = {};
};

// A Disc-At-Once write of these files through grabber g, PQ or raw P-W.
inline uint8_t discAtOnce(void* g, Report& r, const std::vector<std::string>& paths, bool raw,
                          bool testWrite, bool multiSession) {
    auto layout = std::make_unique<FileSourceLayoutRecord>();
    std::memset(layout.get(), 0, sizeof *layout);
    layout->TrackCount = static_cast<uint32_t>(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        std::strncpy(layout->Tracks[i].FileName, paths[i].c_str(), SB_FILE_SOURCE_PATH_SIZE - 1);
    }
    auto call = raw ? StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile
                    : StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile;
    return call(g, r.text, sizeof r.text, &r.status, r.failure, layout.get(), 0, testWrite,
                multiSession, 0, 1, SB_WRITE_REVISION);
}

// The configuration used by most tests: the three recorders of the built-in
// set at time factor 0, plus whatever a test adds.
inline const char* kTestRecorders = R"INI(
[Virtual]
TimeFactor = 0

[Recorder writer]
DeviceName = CdRom0
Address = 1:0:0:0
DriveLetter = E
Product = Test DVD Writer
BufferSize = 1048576
Disc = DVD+R
DiscCapacity = 4096

[Recorder cd]
DeviceName = CdRom1
Address = 1:0:1:0
DriveLetter = F
Vendor = TESTCO
Product = Test CD Writer
Revision = 2.00
Reads = CD-R, CD-RW
Writes = CD-R, CD-RW
BUP = enabled
CDWriteSpeeds = 4, 8, 16, 24, 48
CDReadSpeeds = 24, 48
DVDWriteSpeeds = none
DVDReadSpeeds = none
Disc = CD-R
DiscCapacity = 2048

[Recorder reader]
DeviceName = CdRom2
Address = 1:0:2:0
DriveLetter = G
Product = Test DVD Reader
Writes = none
WriteModes = none
TestWrite = no
BUP = no
Region = 2, 0xFB, 3, 4, 1
Disc = DVD-ROM
DiscCapacity = 1000
DiscUsed = 600
)INI";

// A started library with its own configuration and state folder; shut down
// (and every injected fault forgotten) at the end of the test.
class Library : public ::testing::Test {
protected:
    void SetUp() override { start(kTestRecorders); }

    void TearDown() override {
        StarBurn_DownShut();
        StarBurnTesting_ClearFaults();
        ::unsetenv("STARBURN_STATE_DIR");
    }

    // Starts with the given configuration text; returns the exception number.
    uint8_t start(const std::string& configuration) {
        StarBurn_DownShut();
        configPath = dir.file("starburn.ini");
        writeText(configPath, configuration);
        stateDir = dir.file("state");
        ::setenv("STARBURN_STATE_DIR", stateDir.c_str(), 1);
        // A developer's own settings must not reach the tests.
        ::unsetenv("STARBURN_TIME_FACTOR");
        ::unsetenv("STARBURN_CONFIG");
        startText[0] = '\0';
        const uint8_t result = StarBurn_UpStartEx(configPath.c_str(), startText, sizeof startText);
        EXPECT_EQ(result, SB_EXCEPTION_NONE) << startText;
        return result;
    }

    void* open(const char* name, uint32_t access = 0, PCALLBACK callback = nullptr,
               void* context = nullptr) {
        void* grabber = nullptr;
        Report r;
        const uint8_t result = StarBurn_CdvdBurnerGrabber_CreateEx(
            &grabber, r.text, sizeof r.text, &r.status, r.failure, callback, context, name, access);
        EXPECT_EQ(result, SB_EXCEPTION_NONE) << r.text;
        return grabber;
    }

    // A generated image file of `size` bytes.
    std::string image(const std::string& name, size_t size, uint32_t seed) {
        const std::string path = dir.file(name);
        writeBytes(path, patternBytes(size, seed));
        return path;
    }

    SB_DISC_INFORMATION discInfo(void* grabber) {
        SB_DISC_INFORMATION info{};
        Report r;
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscInformation(grabber, r.text, sizeof r.text,
                                                                &r.status, r.failure, &info),
                  SB_EXCEPTION_NONE)
            << r.text;
        return info;
    }

    SB_TRACK_INFORMATION nextTrack(void* grabber) {
        SB_TRACK_INFORMATION info{};
        Report r;
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(grabber, r.text, sizeof r.text,
                                                                 &r.status, r.failure,
                                                                 SB_TRACK_NUMBER_INVISIBLE, &info),
                  SB_EXCEPTION_NONE)
            << r.text;
        return info;
    }

    // Ejects and returns the bytes of the image the eject filed away.
    std::vector<uint8_t> ejectAndRead(void* grabber, const char* device) {
        Report r;
        EXPECT_EQ(
            StarBurn_CdvdBurnerGrabber_Eject(grabber, r.text, sizeof r.text, &r.status, r.failure),
            SB_EXCEPTION_NONE)
            << r.text;
        char path[4096] = {};
        EXPECT_EQ(StarBurnTesting_GetLastEjectedImage(device, path, sizeof path),
                  SB_EXCEPTION_NONE);
        return readBytes(path);
    }

    TempDir dir;
    std::string configPath;
    std::string stateDir;
    char startText[4096] = {};
};

// Collects the progress reasons of a write.
struct ProgressLog {
    std::mutex mutex;
    std::vector<std::pair<int64_t, int64_t>> progress; // total, done
    std::vector<std::pair<uint32_t, uint32_t>> buffer; // size, free
    int other = 0;
    std::atomic<int> reports{0};

    static void callback(uint32_t reason, void* context, void* special1, void* special2) {
        auto* log = static_cast<ProgressLog*>(context);
        std::lock_guard lock(log->mutex);
        switch (reason & 0xFF) {
        case SB_REASON_WRITE_PROGRESS:
            log->progress.emplace_back(*static_cast<const int64_t*>(special1),
                                       *static_cast<const int64_t*>(special2));
            ++log->reports;
            break;
        case SB_REASON_BUFFER_STATUS:
            log->buffer.emplace_back(*static_cast<const uint32_t*>(special1),
                                     *static_cast<const uint32_t*>(special2));
            break;
        case SB_REASON_OTHER_PROGRESS:
            ++log->other;
            break;
        default:
            break;
        }
    }
};

} // namespace sbtest
