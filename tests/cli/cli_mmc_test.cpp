// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn on drives that libburn takes for real ones: the MMC emulator
// (preloaded by CTest into this process and so into every tavrin-burn it
// starts) answers the SG_IO of the device files the library's configuration
// names. Each run has a watchdog: a run that hangs is killed and fails.
#include "tests/cli/support/CliOnEmulatedDrives.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using clitest::ReadFile;
using clitest::TRun;

namespace {

// The JSON line of one device in `devices --json`.
std::string deviceLine(const std::string& out, const std::string& name) {
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("\"device\":\"" + name + "\"") != std::string::npos) {
            return line;
        }
    }
    return {};
}

using CliOnEmulatedDrives = clitest::CliOnEmulatedDrives;

TEST_F(CliOnEmulatedDrives, ListsEveryDriveAndBurnsADvdPlusRThatReadsBackTheSame) {
    const std::vector<std::string> settings = {
        "Vendor = ACME\nProduct = DVD WRITER 8\nRevision = 2.10\nMedia = dvdplusr",
        "Media = cdrw\nState = appendable", "Media = none"};
    drives(settings);
    const TRun list = Run({"devices", "--json"});
    ASSERT_EQ(list.Status, 0) << list.Out << list.Err;
    const std::string dvd = deviceLine(list.Out, "CdRom0");
    for (const char* part :
         {"\"vendor\":\"ACME\"", "\"product\":\"DVD WRITER 8\"", "\"revision\":\"2.10\"",
          "\"state\":\"available\"", "\"disc\":\"DVD+R\"", "\"size\":\"Blank\"",
          "\"free_bytes\":4700372992", "\"used_bytes\":0", "\"writable\":true"}) {
        EXPECT_NE(dvd.find(part), std::string::npos) << part << " in " << dvd;
    }
    // A CD-RW with one closed session: 1/8 of its blocks written, the rest free.
    const std::string cd = deviceLine(list.Out, "CdRom1");
    for (const char* part : {"\"vendor\":\"TAVRIN\"", "\"product\":\"MMC EMULATOR\"",
                             "\"disc\":\"CD-RW\"", "\"writable\":false"}) {
        EXPECT_NE(cd.find(part), std::string::npos) << part << " in " << cd;
    }
    EXPECT_EQ(cd.find("\"used_bytes\":0,"), std::string::npos) << cd;
    const std::string empty = deviceLine(list.Out, "CdRom2");
    EXPECT_NE(empty.find("\"disc\":\"Empty\""), std::string::npos) << empty;
    EXPECT_NE(empty.find("No media in drive"), std::string::npos) << empty;

    // Not a whole number of sectors: the disc holds it zero-padded.
    const size_t size = 3 * 1048576 + 1000;
    std::string image(size, '\0');
    for (size_t k = 0; k < size; ++k) {
        image[k] = static_cast<char>((k * 131 + k / 2048 * 7 + 1) & 0xFF);
    }
    std::ofstream(dir_ / "image.iso", std::ios::binary) << image;
    // The burn looks for the DVD writer alone: every drive costs libburn's
    // fixed waits of a second or more at the search.
    drives(settings, {}, 1);
    const TRun burn =
        Run({"burn", (dir_ / "image.iso").string(), "--device", "CdRom0", "--verify", "--yes"});
    ASSERT_EQ(burn.Status, 0) << burn.Out << burn.Err;
    EXPECT_NE(burn.Out.find("Disc verified: 1537 blocks match the image"), std::string::npos)
        << burn.Out;
    EXPECT_NE(burn.Out.find("Burning completed"), std::string::npos) << burn.Out;
    // The emulator's own record of the disc, sector 0 at byte 0.
    image.resize(1537 * 2048, '\0');
    const std::string disc = ReadFile(device(0).string() + ".disc");
    ASSERT_GE(disc.size(), image.size());
    EXPECT_TRUE(disc.compare(0, image.size(), image) == 0);
}

// Double-layer discs: their whole size is free, an image over a single
// layer starts to burn, one over both layers is refused before the drive
// writes anything, and a small image burns and reads back.
TEST_F(CliOnEmulatedDrives, DoubleLayerDiscsOfferBothLayers) {
    const std::vector<std::string> settings = {"Media = dvdplusr-dl\nFaults = write-error@4096",
                                               "Media = dvdr-dl", "Media = bdr-dl"};
    drives(settings);
    const TRun list = Run({"devices", "--json"});
    ASSERT_EQ(list.Status, 0) << list.Out << list.Err;
    for (const auto& [name, kind, bytes] : {std::tuple{"CdRom0", "DVD+R DL", 4173824ull * 2048},
                                            std::tuple{"CdRom1", "DVD-R DL", 4171712ull * 2048},
                                            std::tuple{"CdRom2", "BD-R", 24438784ull * 2048}}) {
        const std::string line = deviceLine(list.Out, name);
        EXPECT_NE(line.find(std::string("\"disc\":\"") + kind + "\""), std::string::npos) << line;
        EXPECT_NE(line.find("\"free_bytes\":" + std::to_string(bytes) + ","), std::string::npos)
            << line;
        EXPECT_NE(line.find("\"writable\":true"), std::string::npos) << line;
    }

    drives(settings, {}, 2);
    // Sparse images: over a single layer's 2,295,104 blocks, and over the DVD+R DL's.
    const fs::path twoLayers = dir_ / "two-layers.iso";
    std::ofstream(twoLayers).close();
    fs::resize_file(twoLayers, 3000000ull * 2048);
    const fs::path tooBig = dir_ / "too-big.iso";
    std::ofstream(tooBig).close();
    fs::resize_file(tooBig, 4173825ull * 2048);

    const TRun refused = Run({"burn", tooBig.string(), "--device", "CdRom0", "--yes"});
    EXPECT_NE(refused.Status, 0) << refused.Out << refused.Err;
    EXPECT_NE(refused.Err.find("Image size is too big to fit disc space"), std::string::npos)
        << refused.Err;
    EXPECT_EQ(ReadFile(device(0).string() + ".layout").find("[Track]"), std::string::npos);

    // Accepted: the burn goes on until the drive's planted write error.
    const TRun started = Run({"burn", twoLayers.string(), "--device", "CdRom0", "--yes"});
    EXPECT_NE(started.Status, 0) << started.Out << started.Err;
    EXPECT_EQ((started.Out + started.Err).find("does not fit"), std::string::npos)
        << started.Out << started.Err;
    EXPECT_NE(ReadFile(device(0).string() + ".layout").find("[Track]"), std::string::npos);

    std::string image(700 * 2048, '\0');
    for (size_t k = 0; k < image.size(); ++k) {
        image[k] = static_cast<char>((k * 131 + k / 2048 * 7 + 1) & 0xFF);
    }
    std::ofstream(dir_ / "image.iso", std::ios::binary) << image;
    const TRun burn =
        Run({"burn", (dir_ / "image.iso").string(), "--device", "CdRom1", "--verify", "--yes"});
    ASSERT_EQ(burn.Status, 0) << burn.Out << burn.Err;
    EXPECT_NE(burn.Out.find("Disc verified: 700 blocks match the image"), std::string::npos)
        << burn.Out;
    EXPECT_TRUE(ReadFile(device(1).string() + ".disc").compare(0, image.size(), image) == 0);
}

TEST_F(CliOnEmulatedDrives, BlanksACdRwQuicklyAndADvdRwFully) {
    drives({"Media = cdrw\nState = appendable", "Media = dvdrw-seq\nState = closed"});
    const TRun quick = Run({"blank", "--device", "CdRom0", "--yes"});
    ASSERT_EQ(quick.Status, 0) << quick.Out << quick.Err;
    EXPECT_NE(quick.Out.find("Disc erased"), std::string::npos) << quick.Out;
    const TRun full = Run({"blank", "--full", "--device", "CdRom1", "--yes"});
    ASSERT_EQ(full.Status, 0) << full.Out << full.Err;
    EXPECT_NE(full.Out.find("Disc erased"), std::string::npos) << full.Out;

    // What the drives hold now: no track, no session; the DVD-RW fully
    // blanked, so that it takes a track at a time again.
    for (size_t n : {0u, 1u}) {
        const std::string layout = ReadFile(device(n).string() + ".layout");
        EXPECT_EQ(layout.find("[Track]"), std::string::npos) << layout;
        EXPECT_NE(layout.find("ClosedSessions=0\n"), std::string::npos) << layout;
    }
    EXPECT_NE(ReadFile(device(1).string() + ".layout").find("QuickBlanked=0\n"), std::string::npos);
}

TEST_F(CliOnEmulatedDrives, AScsiLogRecordedThroughTheLibraryReplaysTheDrive) {
    drives({"Vendor = REAL\nProduct = RECORDED DRIVE\nRevision = 9.99\nMedia = dvdplusrw"},
           "ScsiLog = stderr");
    const TRun recorded = Run({"devices"});
    ASSERT_EQ(recorded.Status, 0) << recorded.Err;
    EXPECT_NE(recorded.Err.find("libburn logs every SCSI command to standard error"),
              std::string::npos)
        << recorded.Err;
    EXPECT_NE(recorded.Err.find("INQUIRY\n"), std::string::npos) << recorded.Err;
    const fs::path log = dir_ / "real-drive.log";
    std::ofstream(log) << recorded.Err;

    // Another drive, of the model's own name, answers as the recorded one.
    drives({"Media = dvdplusrw\nReplay = " + log.string()});
    const TRun replayed = Run({"devices", "--json"});
    ASSERT_EQ(replayed.Status, 0) << replayed.Err;
    EXPECT_EQ(replayed.Err.find("SCSI command"), std::string::npos) << replayed.Err;
    const std::string line = deviceLine(replayed.Out, "CdRom0");
    for (const char* part : {"\"vendor\":\"REAL\"", "\"product\":\"RECORDED DRIVE\"",
                             "\"revision\":\"9.99\"", "\"disc\":\"DVD+RW\""}) {
        EXPECT_NE(line.find(part), std::string::npos) << part << " in " << line;
    }
}

} // namespace
