// SPDX-License-Identifier: GPL-2.0-or-later
// Read-back verification as the last stage of a burn, and the image checks:
// every outcome produced on purpose with the virtual recorder's faults.
#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "engine/sbVerify.h"
#include "tests/engine/support/RecorderTest.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sys/syscall.h>
#include <unistd.h>

using namespace enginetest;

// The image file is replaced under its name at its second opening: a check and
// a read that open the name twice then describe two different files. open() of
// this test program stands in for the C library's (the sanitizers have their
// own in its place, so there the case is skipped).
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVRIN_SANITIZED 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && !defined(TAVRIN_SANITIZED)
#define TAVRIN_SWAP_AT_SECOND_OPEN 1
namespace {
struct TSwapAtSecondOpen {
    std::string Path;
    std::string Replacement;
    int Opens = 0;
};
TSwapAtSecondOpen* swapAtSecondOpen = nullptr;

int OpenAndSwap(const char* path, int flags, va_list modeArgument) {
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(modeArgument, mode_t) : 0;
    if (swapAtSecondOpen != nullptr && swapAtSecondOpen->Path == path &&
        ++swapAtSecondOpen->Opens == 2) {
        std::rename(swapAtSecondOpen->Replacement.c_str(), path);
    }
    return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}
} // namespace

extern "C" int open(const char* path, int flags, ...) {
    va_list mode;
    va_start(mode, flags);
    const int fd = OpenAndSwap(path, flags, mode);
    va_end(mode);
    return fd;
}

// The same function under the name a large-file build calls.
extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));
#endif

namespace {

namespace fs = std::filesystem;

// What a shell command prints.
std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        out += buffer;
    }
    ::pclose(pipe);
    return out;
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

std::string LastEjectedImage() {
    char path[4096] = {};
    if (StarBurnTesting_GetLastEjectedImage(kWriterName, path, sizeof path) != 0) {
        return {};
    }
    return path;
}

void FlipByte(const fs::path& path, uint64_t at) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(static_cast<std::streamoff>(at));
    char byte = 0;
    file.read(&byte, 1);
    byte = static_cast<char>(byte ^ 0x5A);
    file.seekp(static_cast<std::streamoff>(at));
    file.write(&byte, 1);
}

// A small ISO9660 image made by xorriso, with one file of Size bytes.
fs::path MakeIso(const fs::path& folder, const std::string& name, uint64_t size) {
    const fs::path content = folder / (name + ".d");
    fs::create_directories(content);
    WriteImage(content / "DATA.BIN", size, 9);
    const fs::path iso = folder / name;
    const std::string command =
        "xorriso -as mkisofs -quiet -o " + Quoted(iso) + " " + Quoted(content) + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return iso;
}

class VerifyTest : public RecorderTest {
protected:
    TsbBurnAtOnceToCDDVDAction action;
    fs::path image;
    TEventRecorder events;

    void PrepareBurn(const std::string& extra, uint64_t size,
                     uint8_t mode = wmDiscAtOncePQFromFile) {
        OpenWriter(extra);
        burner.LockDevice();
        image = Folder() / "source.iso";
        WriteImage(image, size);
        burner.WriteMode = mode;
        burner.WriteSpeed = 5540;
        burner.Verify = true;
        list.ReportDetails = false;
        list.Options.SourceIsFile = 1;
        list.Options.SourceFileName = image.string();
        ClearLog();
    }

    // The messages from "Verifying disc" on.
    std::vector<TMessage> VerifyMessages() const {
        auto all = messages.Messages();
        auto at = std::find_if(all.begin(), all.end(),
                               [](const TMessage& m) { return m.Text == "Verifying disc"; });
        return {at, all.end()};
    }

    // Progress events after the write's last 100: the verification's own run.
    std::vector<int32_t> VerifyProgress() const {
        const auto all = events.Progress();
        const auto first = std::find(all.begin(), all.end(), 100);
        return first == all.end() ? std::vector<int32_t>{}
                                  : std::vector<int32_t>(first + 1, all.end());
    }
};

TEST_F(VerifyTest, ACleanDiscIsVerifiedWithTheSha256OfThePaddedImage) {
    // Not whole blocks: the disc holds the image padded with zeros.
    const uint64_t size = 3 * 1024 * 1024 + 1000;
    PrepareBurn({}, size);
    Run(action);

    const fs::path paddedCopy = Folder() / "padded.iso";
    fs::copy_file(image, paddedCopy);
    fs::resize_file(paddedCopy, BlocksOfBytes(size) * 2048ull);
    const std::string expectedSha = Output("sha256sum " + Quoted(paddedCopy)).substr(0, 64);
    ASSERT_EQ(expectedSha.size(), 64u);

    const std::vector<TMessage> expected = {
        {"Verifying disc", litInfo},
        {"Disc verified: 1537 blocks match the image", litInfo},
        {"SHA-256 of the written data: " + expectedSha, litInfo},
        {"Eject disc", litInfo},
        {"Burning completed", litInfo},
    };
    EXPECT_EQ(VerifyMessages(), expected);
    EXPECT_TRUE(LogContains("SHA-256 of the written data: " + expectedSha));
    EXPECT_TRUE(LogContains("StarBurn_CdvdBurnerGrabber_ReadData"));
    EXPECT_TRUE(burner.WriteStarted);
    EXPECT_TRUE(action.Succeeded);
    EXPECT_TRUE(ReadFile(LastEjectedImage()) == ReadFile(paddedCopy));
    // The bar runs a second time, from 0 up to 100 (the 3 MB are one 4 MB read).
    const auto progress = VerifyProgress();
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(VerifyTest, ACorruptedByteOrAnUnreadableBlockFailsTheRunAndTheDiscStillComesOut) {
    PrepareBurn("CorruptAfterWrite = 1050000\n", 2 * 1024 * 1024);
    Run(action);
    // Byte 1050000 lies in block 512 (1050000 / 2048).
    EXPECT_EQ(
        VerifyMessages(),
        (std::vector<TMessage>{{"Verifying disc", litInfo},
                               {"Verification failed: block 512 differs from the image", litError},
                               {"Eject disc", litInfo}}));
    EXPECT_FALSE(burner.WriteStarted);
    EXPECT_FALSE(action.Succeeded);
    EXPECT_TRUE(LogContains("Verification failed: block 512 differs from the image"));
    EXPECT_TRUE(LogContains("StarBurn_CdvdBurnerGrabber_Eject"));
}

TEST_F(VerifyTest, AnUnreadableBlockIsNamedWithTheLibrarysText) {
    PrepareBurn("ReadErrorAtBlock = 700\n", 2 * 1024 * 1024);
    Run(action);
    EXPECT_EQ(VerifyMessages(),
              (std::vector<TMessage>{{"Verifying disc", litInfo},
                                     {"Verification failed: block 700 cannot be read "
                                      "(Unrecovered read error at block 700)",
                                      litError},
                                     {"Eject disc", litInfo}}));
    EXPECT_FALSE(burner.WriteStarted);
}

TEST_F(VerifyTest, CancelDuringTheVerificationStopsItSoonAndEjects) {
    // Time factor 1, writing at 16x DVD and reading at 1x: 6 MB take about
    // four seconds to read back.
    std::string configuration = kWriterConfiguration;
    configuration.replace(configuration.find("TimeFactor = 0"), 14, "TimeFactor = 1");
    configuration.replace(configuration.find("DVDReadSpeeds = 4, 8, 16"), 24, "DVDReadSpeeds = 1");
    OpenWriterOf(configuration);
    burner.LockDevice();
    image = Folder() / "source.iso";
    WriteImage(image, 6 * 1024 * 1024);
    burner.WriteMode = wmDiscAtOncePQFromFile;
    burner.WriteSpeed = 22160;
    burner.Verify = true;
    list.ReportDetails = false;
    list.Options.SourceIsFile = 1;
    list.Options.SourceFileName = image.string();

    std::chrono::steady_clock::time_point pressedAt;
    OnProcessMessages = [&] {
        const auto texts = messages.Texts();
        if (pressedAt == decltype(pressedAt){} &&
            std::find(texts.begin(), texts.end(), "Verifying disc") != texts.end()) {
            pressedAt = std::chrono::steady_clock::now();
            burner.Cancel();
        }
    };
    Run(action);
    ASSERT_NE(pressedAt, decltype(pressedAt){});
    EXPECT_LT(std::chrono::steady_clock::now() - pressedAt, std::chrono::seconds(2));
    EXPECT_EQ(VerifyMessages(), (std::vector<TMessage>{{"Verifying disc", litInfo},
                                                       {"Verification cancelled", litWarning},
                                                       {"Eject disc", litInfo}}));
    EXPECT_TRUE(burner.Cancelled);
    EXPECT_FALSE(action.Succeeded);
    EXPECT_EQ(events.CancelEnabled(), (std::vector<bool>{true, false, true, false}));
}

TEST_F(VerifyTest, OnAMultisessionDiscOnlyTheNewSessionIsRead) {
    // The old session (blocks 0..999) cannot be read at all: a verification
    // that strays into it fails.
    PrepareBurn("DiscState = appendable\nDiscUsed = 1000\nReadErrorAtBlock = 10\n", 1024 * 1024,
                wmTrackAtOnceFromFile);
    burner.MultiSession = true;
    list.ReportDetails = true;
    Run(action);
    EXPECT_EQ(burner.WriteStartAddress, 1000u);
    const auto verify = VerifyMessages();
    ASSERT_GE(verify.size(), 2u);
    EXPECT_EQ(verify[1], (TMessage{"Disc verified: 512 blocks match the image", litInfo}));
    EXPECT_TRUE(burner.WriteStarted);
}

TEST_F(VerifyTest, ATestWriteSkipsTheVerification) {
    PrepareBurn({}, 1024 * 1024);
    burner.TestWrite = true;
    Run(action);
    EXPECT_EQ(VerifyMessages(), std::vector<TMessage>{});
    const auto texts = messages.Texts();
    EXPECT_NE(
        std::find(texts.begin(), texts.end(), "Verification skipped: test mode writes nothing"),
        texts.end());
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_ReadData"));
}

TEST_F(VerifyTest, AnImplantedMd5IsCheckedAgainstTheDisc) {
    OpenWriter();
    const fs::path iso = MakeIso(Folder(), "md5.iso", 300 * 1024);
    ASSERT_EQ(std::system(("implantisomd5 " + Quoted(iso) + " >/dev/null 2>&1").c_str()), 0);
    const TsbImageCheck check = CheckImageFile(iso.string());
    ASSERT_TRUE(check.HasImplantedMd5);
    EXPECT_FALSE(check.Incomplete());

    auto burn = [&](const fs::path& source) {
        messages.Clear();
        burner.WriteStarted = false;
        burner.LockDevice();
        burner.WriteMode = wmDiscAtOncePQFromFile;
        burner.WriteSpeed = 5540;
        burner.Verify = true;
        list.ReportDetails = false;
        list.Options.SourceIsFile = 1;
        list.Options.SourceFileName = source.string();
        list.Clear();
        action.Succeeded = true;
        Run(action);
    };
    burn(iso);
    auto verify = VerifyMessages();
    ASSERT_EQ(verify.size(), 6u);
    EXPECT_EQ(verify[3], (TMessage{"Implanted MD5 checksum: correct", litInfo}));
    EXPECT_TRUE(action.Succeeded);

    // (Debian's checkisomd5 1.2.3 misreads its own fragment sums, so the
    // implanted sum itself is the oracle here.)
    // One byte of the file's data changed after implanting: the disc equals
    // the image, but not the checksum the image carries.
    FlipByte(iso, 200 * 1024);
    burn(iso);
    verify = VerifyMessages();
    ASSERT_GE(verify.size(), 4u);
    EXPECT_EQ(verify[1].Text.rfind("Disc verified: ", 0), 0u);
    EXPECT_EQ(verify[3].Kind, litError);
    EXPECT_EQ(verify[3].Text.rfind("Implanted MD5 checksum: incorrect", 0), 0u) << verify[3].Text;
    EXPECT_FALSE(action.Succeeded);
    EXPECT_FALSE(burner.WriteStarted);
}

TEST(ImageCheck, ATruncatedIsoIsFoundAndALongerOneIsFine) {
    const fs::path folder = TestFolder() / "imagecheck";
    fs::create_directories(folder);
    const fs::path iso = MakeIso(folder, "t.iso", 100 * 1024);
    const uint64_t size = fs::file_size(iso);
    EXPECT_FALSE(CheckImageFile(iso.string()).Incomplete());
    EXPECT_FALSE(CheckImageFile(iso.string()).HasImplantedMd5);

    fs::resize_file(iso, size + 4096);
    EXPECT_FALSE(CheckImageFile(iso.string()).Incomplete());

    fs::resize_file(iso, size - 2048);
    const TsbImageCheck cut = CheckImageFile(iso.string());
    EXPECT_TRUE(cut.Incomplete());
    EXPECT_EQ(IncompleteImageText(cut), "The image is incomplete: it describes " +
                                            std::to_string(size) + " bytes, the file has " +
                                            std::to_string(size - 2048) + " bytes");
    // Not an ISO at all: nothing to check.
    WriteImage(folder / "raw.img", 100000);
    EXPECT_FALSE(CheckImageFile((folder / "raw.img").string()).IsIso);
    EXPECT_THROW(CheckImageFile((folder / "missing.iso").string()), EsbError);
}

// What is checked is what is read: the image is opened once, so a file put in
// its place meanwhile changes neither the check nor the sums.
TEST(ImageCheck, TheSumsAndTheCheckDescribeTheOneFileOpened) {
#ifndef TAVRIN_SWAP_AT_SECOND_OPEN
    GTEST_SKIP() << "open() is the sanitizer's here";
#else
    const fs::path folder = TestFolder() / "swapped";
    fs::create_directories(folder);
    const fs::path iso = MakeIso(folder, "a.iso", 100 * 1024);
    fs::copy_file(iso, folder / "copy.iso");
    const TsbImageSums expected = SumImageFile((folder / "copy.iso").string(), {});
    WriteImage(folder / "other.img", 300000, 4);

    TSwapAtSecondOpen swap{iso.string(), (folder / "other.img").string()};
    swapAtSecondOpen = &swap;
    std::optional<TsbImageSums> sums;
    std::string error;
    try {
        sums = SumImageFile(iso.string(), {});
    } catch (const EsbError& e) {
        error = e.what();
    }
    swapAtSecondOpen = nullptr;
    ASSERT_TRUE(sums) << error;
    EXPECT_EQ(sums->Check.FileBytes, expected.Check.FileBytes);
    EXPECT_EQ(sums->Sha256, expected.Sha256);
#endif
}

} // namespace
