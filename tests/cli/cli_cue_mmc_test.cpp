// SPDX-License-Identifier: GPL-2.0-or-later
// Cue sheets and disc copies through tavrin-burn on an emulated CD-R writer
// (tests/mmcemu, preloaded by CTest below libburn): an audio CD burnt
// Disc-At-Once from a cue sheet and read back sample for sample, a data cue
// sheet, a sheet libburn cannot burn, and discs copied back to image files,
// one of them with a sector that cannot be read.
#include "tests/cli/support/CliOnEmulatedDrives.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using clitest::ReadFile;
using clitest::TRun;

namespace {

// Samples no two sectors share: a shifted, dropped or swapped sector shows.
std::string pattern(size_t bytes, unsigned seed) {
    std::string s(bytes, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t k = 0; k < bytes; ++k) {
        x = x * 1103515245u + 12345u;
        s[k] = static_cast<char>(x >> 16);
    }
    return s;
}

void put32(std::string& s, uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        s += static_cast<char>(v >> (8 * k));
    }
}

// A CD-DA WAVE file (44.1 kHz, 16 bits, stereo) around the samples.
std::string wave(const std::string& samples) {
    std::string w = "RIFF";
    put32(w, static_cast<uint32_t>(36 + samples.size()));
    w += "WAVEfmt ";
    put32(w, 16);
    w += std::string("\x01\x00\x02\x00", 4);
    put32(w, 44100);
    put32(w, 44100 * 4);
    w += std::string("\x04\x00\x10\x00", 4);
    w += "data";
    put32(w, static_cast<uint32_t>(samples.size()));
    return w + samples;
}

// An ISO 9660 image of `blocks` blocks whose primary volume descriptor says so.
std::string isoImage(uint32_t blocks) {
    std::string image = pattern(size_t{blocks} * 2048, 7);
    std::string pvd(2048, '\0');
    pvd[0] = 1;
    pvd.replace(1, 5, "CD001");
    pvd[6] = 1;
    pvd.replace(40, 32, std::string("CUE_DATA") + std::string(24, ' '));
    for (int k = 0; k < 4; ++k) {
        pvd[80 + k] = static_cast<char>(blocks >> (8 * k));
        pvd[87 - k] = static_cast<char>(blocks >> (8 * k));
    }
    pvd[128] = 0x00;
    pvd[129] = 0x08;
    pvd[130] = 0x08;
    pvd[131] = 0x00;
    image.replace(16 * 2048, 2048, pvd);
    return image;
}

class CueOnEmulatedDrives : public clitest::CliOnEmulatedDrives {
protected:
    void SetUp() override {
        clitest::CliOnEmulatedDrives::SetUp();
        fs::create_directories(dir_ / "images");
    }

    fs::path device() const { return clitest::CliOnEmulatedDrives::device(0); }

    // One emulated CD-R writer, CdRom0.
    void drive(const std::string& settings) { drives({"Media = cdr\n" + settings}); }

    // sha256sum -c FILE.sha256 in the file's folder: the checksum file is one
    // the standard tool reads.
    int Sha256sumCheck(const fs::path& sums) {
        const std::string command = "cd '" + sums.parent_path().string() +
                                    "' && sha256sum --quiet -c '" + sums.filename().string() + "'";
        return RunProgram({"sh", "-c", command}).Status;
    }
};

TEST_F(CueOnEmulatedDrives, AnAudioCueSheetIsBurntDiscAtOnceAndReadBackSampleForSample) {
    // Three tracks in one WAVE file (libburn takes one FILE a sheet), the
    // second after a pregap of two seconds.
    const std::string bin = pattern(700 * 2352, 1);
    const std::string third = pattern(300 * 2352, 2);
    std::ofstream(dir_ / "images" / "album.wav", std::ios::binary) << wave(bin + third);
    const fs::path cue = dir_ / "images" / "album.cue";
    std::ofstream(cue) << "FILE \"album.wav\" WAVE\n"
                          "  TRACK 01 AUDIO\n"
                          "    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n"
                          "    PREGAP 00:02:00\n"
                          "    INDEX 01 00:04:00\n"
                          "  TRACK 03 AUDIO\n"
                          "    INDEX 01 00:09:25\n";
    drive("State = blank");

    const TRun check = Run({"check", cue.string()});
    ASSERT_EQ(check.Status, 0) << check.Out << check.Err;
    for (const char* line :
         {"Track 01  audio  00:04:00\n", "Track 02  audio  00:05:25  (pregap 00:02:00)\n",
          "Track 03  audio  00:04:00\n", "Total 00:17:25\n"}) {
        EXPECT_NE(check.Out.find(line), std::string::npos) << line << " in " << check.Out;
    }

    const TRun burn =
        Run({"burn", cue.string(), "--device", "CdRom0", "--verify", "--no-eject", "--yes"});
    ASSERT_EQ(burn.Status, 0) << burn.Out << burn.Err;
    for (const char* line : {"Total 00:17:25 of 79:59:74 on the disc", "Disc-At-Once PQ",
                             "Track 01: 300 audio sectors (00:04:00) match",
                             "Track 02: 400 audio sectors (00:05:25) match",
                             "Track 03: 300 audio sectors (00:04:00) match", "Disc verified"}) {
        EXPECT_NE(burn.Out.find(line), std::string::npos) << line << " in " << burn.Out;
    }
    // The drive's own record of the disc: each track where the sheet put it
    // (2352 bytes a sector, block 0 at byte 0), its samples as its file has them.
    const std::string disc = ReadFile(device().string() + ".disc");
    ASSERT_GE(disc.size(), size_t{1150} * 2352);
    EXPECT_TRUE(disc.compare(0, 300 * 2352, bin, 0, 300 * 2352) == 0);
    EXPECT_TRUE(disc.compare(450 * 2352, 400 * 2352, bin, 300 * 2352, 400 * 2352) == 0);
    EXPECT_TRUE(disc.compare(850 * 2352, 300 * 2352, third) == 0);

    // Copied back: one BIN of the three tracks and a cue sheet that burns
    // the same disc; its checksum file is one sha256sum reads.
    const TRun copy = Run({"copy", "--device", "CdRom0", (dir_ / "copy.iso").string()});
    ASSERT_EQ(copy.Status, 0) << copy.Out << copy.Err;
    EXPECT_TRUE(ReadFile(dir_ / "copy.bin") == bin + third);
    EXPECT_EQ(ReadFile(dir_ / "copy.cue"), "FILE \"copy.bin\" BINARY\n"
                                           "  TRACK 01 AUDIO\n"
                                           "    INDEX 01 00:00:00\n"
                                           "  TRACK 02 AUDIO\n"
                                           "    PREGAP 00:02:00\n"
                                           "    INDEX 01 00:04:00\n"
                                           "  TRACK 03 AUDIO\n"
                                           "    INDEX 01 00:09:25\n");
    EXPECT_FALSE(fs::exists(dir_ / "copy.iso"));
    EXPECT_EQ(Sha256sumCheck(dir_ / "copy.bin.sha256"), 0);
}

// The read-back takes a long track in several reads, the last one short,
// and names the track and sector of a difference in a later track.
TEST_F(CueOnEmulatedDrives, AnAudioTrackThatDiffersIsNamedWithItsSector) {
    const std::string first = pattern(1900 * 2352, 4);
    const std::string second = pattern(300 * 2352, 5);
    const fs::path wav = dir_ / "images" / "long.wav";
    std::ofstream(wav, std::ios::binary) << wave(first + second);
    const fs::path cue = dir_ / "images" / "long.cue";
    std::ofstream(cue) << "FILE \"long.wav\" WAVE\n"
                          "  TRACK 01 AUDIO\n"
                          "    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n"
                          "    INDEX 01 00:25:25\n";
    drive("State = blank");
    const TRun burn =
        Run({"burn", cue.string(), "--device", "CdRom0", "--verify", "--no-eject", "--yes"});
    ASSERT_EQ(burn.Status, 0) << burn.Out << burn.Err;
    EXPECT_NE(burn.Out.find("Track 01: 1900 audio sectors (00:25:25) match"), std::string::npos)
        << burn.Out;

    // One sample of the second track's sector 7 changed in the file: track 2
    // starts at disc sector 1900, right after the first.
    std::string changed = first + second;
    changed[(1900 + 7) * 2352 + 100] ^= 0x01;
    std::ofstream(wav, std::ios::binary | std::ios::trunc) << wave(changed);
    const TRun verify = Run({"verify", "--device", "CdRom0", cue.string()});
    EXPECT_NE(verify.Status, 0) << verify.Out << verify.Err;
    const std::string text = "track 02 differs from its file at sector 7 of the track (disc "
                             "sector 1907, byte " +
                             std::to_string(44 + (1900 + 7) * 2352) + " of ";
    EXPECT_NE((verify.Out + verify.Err).find(text), std::string::npos) << verify.Out << verify.Err;
}

TEST_F(CueOnEmulatedDrives, AModeTwoSheetIsRefusedBeforeTheBurnWithItsLine) {
    std::ofstream(dir_ / "images" / "game.bin", std::ios::binary) << pattern(100 * 2352, 3);
    const fs::path cue = dir_ / "images" / "game.cue";
    std::ofstream(cue) << "FILE \"game.bin\" BINARY\n"
                          "  TRACK 01 MODE2/2352\n"
                          "    INDEX 01 00:00:00\n";
    const fs::path missing = dir_ / "images" / "missing.cue";
    std::ofstream(missing) << "REM a sheet whose file went\n"
                              "FILE \"gone.bin\" BINARY\n"
                              "  TRACK 01 AUDIO\n"
                              "    INDEX 01 00:00:00\n";
    drive("State = blank");
    const TRun burn = Run({"burn", cue.string(), "--device", "CdRom0", "--yes"});
    EXPECT_EQ(burn.Status, 2) << burn.Out << burn.Err;
    const std::string text =
        "The cue sheet \"" + cue.string() +
        "\" cannot be burnt: line 2 (\"TRACK 01 MODE2/2352\"): libburn burns only AUDIO and "
        "MODE1/2048 tracks, not this one (libburn: Unsupported cue sheet file track datatype "
        "'MODE2/2352'). What works instead: Burn the data track as an ISO image (MODE1/2048; "
        "bchunk makes one from a MODE1/2352 BIN), or burn this sheet with cdrdao, which writes "
        "raw and mode 2 tracks";
    EXPECT_NE(burn.Err.find(text), std::string::npos) << burn.Err;
    // Nothing reached the disc.
    EXPECT_EQ(ReadFile(device().string() + ".layout").find("[Track]"), std::string::npos);

    const TRun gone = Run({"check", missing.string()});
    EXPECT_EQ(gone.Status, 2) << gone.Out << gone.Err;
    EXPECT_NE(gone.Err.find("line 2 (\"FILE \"gone.bin\" BINARY\"): the file it names is not "
                            "there or cannot be read"),
              std::string::npos)
        << gone.Err;
}

TEST_F(CueOnEmulatedDrives, ADataSheetBurnsAndTheDiscCopiesBackEvenPastABadSector) {
    const std::string iso = isoImage(600);
    std::ofstream(dir_ / "images" / "data.iso", std::ios::binary) << iso;
    const fs::path cue = dir_ / "images" / "data.cue";
    std::ofstream(cue)
        << "FILE \"data.iso\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n";
    drive("State = blank");
    const TRun burn =
        Run({"burn", cue.string(), "--device", "CdRom0", "--verify", "--no-eject", "--yes"});
    ASSERT_EQ(burn.Status, 0) << burn.Out << burn.Err;
    EXPECT_NE(burn.Out.find("Track 01: 600 data sectors (00:08:00) match"), std::string::npos)
        << burn.Out;

    const fs::path image = dir_ / "copy.iso";
    const TRun copy = Run({"copy", "--device", "CdRom0", image.string()});
    ASSERT_EQ(copy.Status, 0) << copy.Out << copy.Err;
    EXPECT_NE(copy.Out.find("the ISO 9660 volume \"CUE_DATA\", 600 blocks"), std::string::npos)
        << copy.Out;
    EXPECT_TRUE(ReadFile(image) == iso);
    EXPECT_EQ(Sha256sumCheck(dir_ / "copy.iso.sha256"), 0);

    // The same disc with an unreadable sector: the copy stops there and
    // leaves no file behind, or fills it with zeros and lists it.
    drive("State = blank\nFaults = read-error@333");
    const TRun stopped = Run({"copy", "--device", "CdRom0", (dir_ / "bad.iso").string()});
    EXPECT_EQ(stopped.Status, 1) << stopped.Out << stopped.Err;
    EXPECT_NE(stopped.Err.find("Sector 333 cannot be read"), std::string::npos) << stopped.Err;
    EXPECT_NE(stopped.Err.find("--fill-bad-sectors"), std::string::npos) << stopped.Err;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().filename().string().find("bad.iso"), std::string::npos)
            << entry.path();
    }
    const TRun filled =
        Run({"copy", "--device", "CdRom0", "--fill-bad-sectors", (dir_ / "filled.iso").string()});
    ASSERT_EQ(filled.Status, 0) << filled.Out << filled.Err;
    std::string expected = iso;
    expected.replace(333 * 2048, 2048, std::string(2048, '\0'));
    EXPECT_TRUE(ReadFile(dir_ / "filled.iso") == expected);
    EXPECT_NE(ReadFile(dir_ / "filled.iso.bad-sectors").find("\n333\n"), std::string::npos);
    EXPECT_NE(filled.Out.find("1 unreadable sector filled with zeros: 333"), std::string::npos)
        << filled.Out;
    EXPECT_EQ(Sha256sumCheck(dir_ / "filled.iso.sha256"), 0);
}

} // namespace
