// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn burn FOLDER on emulated drives (tests/mmcemu preloaded by
// CTest): the folder's disc is read back by xorriso, a reader not of our
// making, and compared with the folder file for file.
#include "tests/cli/support/CliOnEmulatedDrives.h"
#include "tests/support/TestFolderDisc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using clitest::ReadFile;

namespace {

class FolderOnEmulatedDrives : public clitest::CliOnEmulatedDrives {
public:
    using clitest::CliOnEmulatedDrives::dir_;

    // One emulated drive, CdRom0, with these settings.
    void drive(const std::string& settings) { drives({settings}); }
    std::string device() const { return clitest::CliOnEmulatedDrives::device(0).string(); }

    // A shell command under a watchdog (90 s unless told); its exit status, its
    // standard output and error in out.txt.
    int Shell(const std::string& command, int seconds = 90) {
        const std::string line = "timeout -k 5 " + std::to_string(seconds) + " " + command + " >" +
                                 (dir_ / "out.txt").string() + " 2>&1 </dev/null";
        const int status = std::system(line.c_str());
        output_ = ReadFile(dir_ / "out.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
    }
    int Burn(const std::string& arguments, int seconds = 90) {
        return Shell(std::string(TAVRIN_BURN) + " burn " + arguments, seconds);
    }

    std::string output_;
};

void write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// What Linux sees of the disc: xorriso checks the MD5s the image recorded
// (the session's and each file's), extracts the Rock Ridge tree and the
// extracted files equal the folder's (special files and links removed first).
void ExpectFolderOnDisc(FolderOnEmulatedDrives& t, const fs::path& src, int seconds = 90);

TEST_F(FolderOnEmulatedDrives, AFolderOfOddNamesIsBurntToBdrAndXorrisoExtractsTheSameFiles) {
    drive("Media = bdr");
    const fs::path src = dir_ / "My Data 2024";
    std::string mixed(300000, '\0');
    for (size_t k = 0; k < mixed.size(); ++k) {
        mixed[k] = static_cast<char>((k * 7919 + k / 4096) & 0xFF);
    }
    write(src / "mixed.dat", mixed);
    write(src / "empty", "");
    write(src / "Grüße – ünïcødé.txt", "utf-8\n");
    write(src / "with space & 'quote'.md", "quote\n");
    write(src / "README", "upper\n");
    write(src / "readme", "lower\n");
    write(src / "what?.txt", "joliet forbids ?\n");
    write(src / (std::string(90, 'n') + ".txt"), "a name longer than Joliet's 64\n");
    fs::path deep = src;
    for (int level = 1; level <= 12; ++level) {
        deep /= "level" + std::to_string(level);
    }
    write(deep / "deep.txt", "twelve folders down\n");
    ASSERT_EQ(::mkfifo((src / "pipe").c_str(), 0644), 0);
    fs::create_symlink("loop", src / "loop");
    fs::create_directory_symlink("..", src / "level1" / "up");

    ASSERT_EQ(Burn("'" + src.string() + "' --device CdRom0 --verify --yes"), 0) << output_;
    for (const std::string& part :
         {std::string("Source folder: ") + src.string(), std::string("label MY_DATA_2024"),
          std::string("pipe: skipped: a FIFO"), std::string("loop: skipped: a symbolic link loop"),
          std::string("up: skipped: a symbolic link back into a folder above it (a loop)"),
          std::string("what?.txt: Joliet cannot hold the name: Windows shows it as 'what_.txt'"),
          std::string("Disc verified: "), std::string("Burning completed")}) {
        EXPECT_NE(output_.find(part), std::string::npos) << part << " in " << output_;
    }
    fs::remove(src / "pipe");
    fs::remove(src / "loop");
    fs::remove(src / "level1" / "up");
    ExpectFolderOnDisc(*this, src);
    // The volume label, and the Joliet tree with the names Windows shows.
    ASSERT_EQ(Shell("xorriso -indev stdio:" + device() + ".disc -pvd_info"), 0);
    EXPECT_NE(output_.find("Volume Id    : MY_DATA_2024"), std::string::npos) << output_;
    ASSERT_EQ(Shell("xorriso -read_fs norock -indev stdio:" + device() + ".disc -ls /"), 0);
    for (const std::string& name :
         {std::string("'what_.txt'"), "'" + std::string(60, 'n') + ".txt'", std::string("'README'"),
          std::string("'readme'"), std::string("'Grüße – ünïcødé.txt'")}) {
        EXPECT_NE(output_.find(name), std::string::npos) << name << " in " << output_;
    }
}

// Slow (it moves 4 GiB several times): CTest runs it as cli_folder_large_mmc_test, label
// mmc_large, not with the mmc label.
TEST_F(FolderOnEmulatedDrives, AFileOver4GiBIsBurntInSeveralExtentsAndReadBack) {
    if (std::getenv("TAVRIN_LARGE_TESTS") == nullptr) {
        GTEST_SKIP() << "set TAVRIN_LARGE_TESTS=1 (ctest -L mmc_large)";
    }
    drive("Media = bdr");
    const fs::path src = dir_ / "large";
    // ISO level 3, several extents; sparse here, with data at its start,
    // across the 4 GiB line and at its end.
    write(src / "huge.bin", "start");
    {
        const uint64_t size = (4ull << 30) + 3 * 1048576 + 17;
        std::fstream huge(src / "huge.bin", std::ios::in | std::ios::out | std::ios::binary);
        huge.seekp(static_cast<std::streamoff>((4ull << 30) - 3));
        huge << "across";
        huge.seekp(static_cast<std::streamoff>(size - 3));
        huge << "end";
    }
    write(src / "small.txt", "small\n");
    ASSERT_EQ(Burn(src.string() + " --device CdRom0 --yes", 240), 0) << output_;
    struct stat disc {};
    ASSERT_EQ(::stat((device() + ".disc").c_str(), &disc), 0);
    EXPECT_LT(disc.st_blocks * 512, 64ll << 20) << "the emulated disc is not kept sparse";
    ExpectFolderOnDisc(*this, src, 240);
}

void ExpectFolderOnDisc(FolderOnEmulatedDrives& t, const fs::path& src, int seconds) {
    const std::string out = (t.dir_ / "out").string();
    ASSERT_EQ(ExtractFolderDisc(t.device() + ".disc", out, seconds), "");
    EXPECT_EQ(t.Shell("diff -r '" + src.string() + "' " + out, seconds), 0) << t.output_;
}

TEST_F(FolderOnEmulatedDrives, AFolderThatDoesNotFitOrCannotBeReadOrNamedLeavesTheDiscBlank) {
    drive("Media = cdr\nCapacity = 2000");
    write(dir_ / "src" / "a.bin", std::string(5 << 20, 'x'));
    EXPECT_EQ(Burn((dir_ / "src").string() + " --device CdRom0 --yes"), 4) << output_;
    EXPECT_NE(output_.find("The folder does not fit on the disc: it makes 6 MB, the disc has 3 MB "
                           "free; nothing was written"),
              std::string::npos)
        << output_;
    EXPECT_EQ(ReadFile(device() + ".layout").find("[Track]"), std::string::npos);

    // A file the user may not read: the folder is refused before the burn.
    // Root reads everything, so root runs the burn as nobody, who may use
    // the test's folder and drive files but not that file.
    fs::remove(dir_ / "src" / "a.bin");
    write(dir_ / "src" / "secret.txt", "secret\n");
    std::string user;
    if (::geteuid() == 0) {
        ASSERT_EQ(Shell("chmod -R a+rwX " + dir_.string()), 0) << output_;
        user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    fs::permissions(dir_ / "src" / "secret.txt", fs::perms::none);
    EXPECT_NE(
        Shell(user + TAVRIN_BURN + " burn " + (dir_ / "src").string() + " --device CdRom0 --yes"),
        0)
        << output_;
    EXPECT_NE(output_.find("secret.txt"), std::string::npos) << output_;
    EXPECT_NE(output_.find("Permission denied"), std::string::npos) << output_;
    EXPECT_EQ(ReadFile(device() + ".layout").find("[Track]"), std::string::npos);
    fs::remove(dir_ / "src" / "secret.txt");

    write(dir_ / "src" / "b.txt", "b\n");
    ASSERT_EQ(Burn((dir_ / "src").string() + " --label 'été/2024' --device CdRom0 --verify --yes"),
              0)
        << output_;
    EXPECT_NE(output_.find("Disc verified: "), std::string::npos) << output_;
    EXPECT_NE(output_.find("The volume label is T__2024: ISO 9660 allows only A-Z, 0-9 and _ (at "
                           "most 32)"),
              std::string::npos)
        << output_;
}

// The Blu-ray formats libburn knows, as the emulator records them: a BD-RE
// gets spare areas unless told otherwise, a BD-R only when asked; an image
// over the formatted size of either is refused before anything is formatted.
TEST_F(FolderOnEmulatedDrives, BluRayDiscsAreFormattedAsAskedAndTooBigImagesAreRefusedFirst) {
    write(dir_ / "image.iso", std::string(1 << 20, 'b'));
    const std::string image = (dir_ / "image.iso").string();
    // Between the raw capacity (12,219,392 blocks) and the one with spare areas (11,826,176).
    const fs::path huge = dir_ / "huge.iso";
    std::ofstream(huge).close();
    fs::resize_file(huge, 12000000ull * 2048);
    struct TCase {
        std::string media, options, layout;
        // The disc as formatted, when the huge image is over its size.
        std::string formatted;
    };
    for (const TCase& c :
         {TCase{"bdre", "", "SpareAreas=1\nRawCapacity=12219392\nCapacity=11826176",
                "BD-RE with spare areas"},
          TCase{"bdre", " --bd-format no-spare",
                "SpareAreas=0\nRawCapacity=12219392\nCapacity=12219392", ""},
          TCase{"bdr", " --bd-format spare --stream-recording", "Formatted=1\nSpareAreas=1",
                "BD-R with spare areas"},
          TCase{"bdr", "", "Formatted=0\nSpareAreas=0", ""}}) {
        std::error_code ignored;
        for (const char* tail : {"", ".medium", ".layout", ".disc"}) {
            fs::remove(device() + tail, ignored);
        }
        drive("Media = " + c.media);
        if (!c.formatted.empty()) {
            EXPECT_EQ(Burn(huge.string() + " --device CdRom0 --yes --no-eject" + c.options), 1)
                << output_;
            EXPECT_NE(output_.find("The image does not fit on the disc: it needs 12000000 blocks, "
                                   "the " +
                                   c.formatted +
                                   " holds 11826176; nothing was formatted or written"),
                      std::string::npos)
                << output_;
            const std::string layout = ReadFile(device() + ".layout");
            EXPECT_EQ(layout.find("Formatted=1"), std::string::npos) << layout;
            EXPECT_EQ(layout.find("[Track]"), std::string::npos) << layout;
        }
        ASSERT_EQ(Burn(image + " --device CdRom0 --verify --yes --no-eject" + c.options), 0)
            << c.media << c.options << output_;
        EXPECT_NE(ReadFile(device() + ".layout").find(c.layout), std::string::npos)
            << c.media << c.options << ReadFile(device() + ".layout");
    }
}

} // namespace
