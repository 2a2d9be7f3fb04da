// SPDX-License-Identifier: GPL-2.0-or-later
// A burn on a stdio pseudo-drive through the plain C interface, call by call
// as the wizard makes them: the device search and probe, then the burner's
// opening, locking, staged preparation, write, session close and eject.
#include "starburn/StarBurnLinux.h"
#include "tests/starburn/libburn_tsan.h"
#include "tests/starburn/sbTestSupport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace sbtest;

namespace {

class Flow : public Library {
protected:
    void SetUp() override {
        target = dir.file("burn.iso");
        ASSERT_EQ(start("[Virtual]\nTimeFactor = 0\n\n[Stdio burn]\nPath = " + target + "\n"),
                  SB_EXCEPTION_NONE);
    }
    std::string target;
    Report r;
};

} // namespace

TEST_F(Flow, ProbeThenBurnThenCloseAndEjectAsTheWizardDoes) {
    // The search: the built-in virtual recorders come first.
    Found found;
    ASSERT_EQ(StarBurn_FindDevice(5, 0, &Found::callback, &found), SB_EXCEPTION_NONE);
    ASSERT_EQ(found.addresses.size(), 4u);
    const SB_DEVICE_ADDRESS address = found.addresses.back();
    char letterName[8] = {};
    ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(address.PortID, address.BusID, address.TargetID,
                                                    address.LUN, letterName),
              SB_EXCEPTION_NONE);
    EXPECT_STREQ(letterName, "\\\\.\\H:");

    // The probe, by name, for queries only.
    void* probe = open("CdRom3", 1);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(probe, r.text, sizeof r.text, &r.status,
                                                       r.failure),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(probe), DISC_TYPE_DVDRAM);
    char label[256] = "x";
    ASSERT_EQ(StarBurn_GetVolumeLabel("\\\\.\\H:", label, sizeof label), SB_EXCEPTION_NONE);
    EXPECT_STREQ(label, "") << "a new target holds no volume yet";
    StarBurn_SetFastReadTOC(1);
    auto toc = std::make_unique<SB_TOC_INFORMATION>();
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetTOCInformation(probe, r.text, sizeof r.text, &r.status,
                                                           r.failure, toc.get()),
              SB_EXCEPTION_NONE);
    uint8_t writeFlag = 0;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Lock(probe, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NOT_SUPPORTED)
        << "a query-only grabber does not lock";
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(probe, r.text, sizeof r.text,
                                                             &r.status, r.failure, "/x", 1, 0, 0, 1,
                                                             SB_WRITE_REVISION),
              SB_EXCEPTION_NOT_SUPPORTED);
    (void)writeFlag;
    StarBurn_Destroy(&probe);

    // The burner opens the drive by its address and locks it.
    ProgressLog progress;
    void* burner = nullptr;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Create(
                  &burner, r.text, sizeof r.text, &r.status, r.failure, &ProgressLog::callback,
                  &progress, address.PortID, address.BusID, address.TargetID, address.LUN, 0),
              SB_EXCEPTION_NONE)
        << r.text;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Lock(burner, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE)
        << r.text;

    // The stages.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(burner, r.text, sizeof r.text, &r.status,
                                                       r.failure),
              SB_EXCEPTION_NONE);
    uint8_t tao = 0, sao = 0, pq = 0, raw = 0;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
                  burner, r.text, sizeof r.text, &r.status, r.failure, &tao, &sao, &pq, &raw),
              SB_EXCEPTION_NONE);
    ASSERT_TRUE(tao);
    uint8_t bupOn = 0, bupSupported = 0;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetBUP(burner, r.text, sizeof r.text, &r.status, r.failure,
                                                &bupOn, &bupSupported),
              SB_EXCEPTION_NONE);
    if (bupSupported) {
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SetBUP(burner, r.text, sizeof r.text, &r.status,
                                                    r.failure, 1),
                  SB_EXCEPTION_NONE);
    }
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(burner, r.text, sizeof r.text, &r.status,
                                                   r.failure, 0xFFFF, 2770),
              SB_EXCEPTION_NONE);
    uint32_t s[4] = {};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSpeeds(burner, r.text, sizeof r.text, &r.status,
                                                   r.failure, &s[0], &s[1], &s[2], &s[3]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(s[2], 2770u);
    const SB_TRACK_INFORMATION track = nextTrack(burner);
    EXPECT_EQ(track.NextWritableAddressValid, 1);
    EXPECT_EQ(discInfo(burner).DiscStatus, SB_DISC_STATUS_BLANK);

    // The write, on the burn thread in the program; progress comes on it.
    const auto bytes = isoLike(1024 * 1024 + 100, 12, "TAVRIN_TEST");
    const std::string image = dir.file("source.iso");
    writeBytes(image, bytes);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(burner, r.text, sizeof r.text,
                                                             &r.status, r.failure, image.c_str(), 1,
                                                             0, 0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    {
        std::lock_guard lock(progress.mutex);
        ASSERT_FALSE(progress.progress.empty());
        EXPECT_EQ(progress.progress.back().second, int64_t(bytes.size()));
    }

    // Finishing: close the session, release the lock, eject.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CloseSession(burner, r.text, sizeof r.text, &r.status,
                                                      r.failure),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_Release(burner, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(burner, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE)
        << r.text;
    StarBurn_Destroy(&burner);

    auto disc = readBytes(target);
    ASSERT_GE(disc.size(), bytes.size());
    disc.resize(bytes.size());
    EXPECT_EQ(disc, bytes);
    ASSERT_EQ(StarBurn_GetVolumeLabel("CdRom3", label, sizeof label), SB_EXCEPTION_NONE);
    EXPECT_STREQ(label, "TAVRIN_TEST") << "read from the written disc's volume descriptor";
}

TEST_F(Flow, VolumeLabelCallChecksItsArguments) {
    char label[8] = {};
    EXPECT_EQ(StarBurn_GetVolumeLabel("CdRom9", label, sizeof label), SB_EXCEPTION_NO_DEVICE);
    EXPECT_EQ(StarBurn_GetVolumeLabel("CdRom3", nullptr, 8), SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurn_GetVolumeLabel("CdRom3", label, 0), SB_EXCEPTION_INVALID_PARAMETER);
    // A label longer than the buffer is cut, never written past it.
    const auto bytes = isoLike(64 * 1024, 13, "A_RATHER_LONG_VOLUME_LABEL");
    writeBytes(target, bytes);
    char small[8];
    std::memset(small, 'z', sizeof small);
    ASSERT_EQ(StarBurn_GetVolumeLabel("CdRom3", small, 5), SB_EXCEPTION_NONE);
    EXPECT_STREQ(small, "A_RA");
    EXPECT_EQ(small[5], 'z');
    StarBurn_DownShut();
    EXPECT_EQ(StarBurn_GetVolumeLabel("CdRom3", label, sizeof label), SB_EXCEPTION_NOT_STARTED);
}

TEST_F(Flow, ADriveTheUserMayNotOpenIsListedWithWhatToDo) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may open every device file; run as a user to see the refusal";
    }
    const std::string device = dir.file("sr-locked");
    writeText(device, "");
    ASSERT_EQ(::chmod(device.c_str(), 0), 0);
    ::setenv("STARBURN_REAL_DRIVES", "yes", 1);
    start("[Virtual]\nTimeFactor = 0\n\n[Libburn]\nDevices = " + device + "\n");
    ::unsetenv("STARBURN_REAL_DRIVES");
    const std::string text = startText;
    EXPECT_NE(text.find("You may not open the drive " + device), std::string::npos) << text;
    // The file is the user's own: its mode is what keeps the user out.
    EXPECT_NE(text.find("chmod u+rw " + device), std::string::npos) << text;
    void* g = open("CdRom3", 1);
    ASSERT_NE(g, nullptr) << "the drive is listed, not skipped";
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(g, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NOT_READY);
    EXPECT_NE(std::string(r.text).find("permission denied"), std::string::npos) << r.text;
    EXPECT_EQ(r.status, static_cast<uint32_t>(EACCES));
    // A device list learns the same without touching the drive.
    uint8_t state = SB_DEVICE_ACCESS_FREE;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetAccess(g, r.text, sizeof r.text, &r.status, r.failure,
                                                   &state),
              SB_EXCEPTION_NOT_READY);
    EXPECT_EQ(state, SB_DEVICE_ACCESS_FORBIDDEN);
    EXPECT_NE(std::string(r.text).find("chmod u+rw"), std::string::npos) << r.text;
    StarBurn_Destroy(&g);
}

TEST_F(Flow, ABuiltFileTreeIsBurnedThroughLibburnWithItsVolumeLabel) {
    // libisofs builds the image, libburn writes it: both in one process.
    void* tree = nullptr;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, r.text, sizeof r.text, &r.status,
                                                    nullptr, nullptr),
              SB_EXCEPTION_NONE)
        << r.text;
    const std::string file = dir.file("payload.bin");
    writeBytes(file, patternBytes(300 * 1024, 21));
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_AddFile(tree, r.text, sizeof r.text, &r.status,
                                                     file.c_str(), nullptr, nullptr),
              SB_EXCEPTION_NONE)
        << r.text;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_BuildImage(tree, r.text, sizeof r.text, &r.status, 0,
                                                        0, 1, "TREE_LABEL", "Tavrin", "Tavrin"),
              SB_EXCEPTION_NONE)
        << r.text;
    uint32_t high = 0;
    const uint64_t size = StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high) |
                          (static_cast<uint64_t>(high) << 32);
    std::vector<uint8_t> expected(size);
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_SeekToBegin(tree, r.text, sizeof r.text, &r.status),
              SB_EXCEPTION_NONE);
    for (uint64_t done = 0; done < size;) {
        const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(65536, size - done));
        ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Read(tree, r.text, sizeof r.text, &r.status, chunk,
                                                      expected.data() + done),
                  SB_EXCEPTION_NONE);
        done += chunk;
    }

    void* g = open("CdRom3");
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(g, r.text, sizeof r.text, &r.status,
                                                             r.failure, tree, 1, 0, 0, 1,
                                                             SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    auto disc = readBytes(target);
    ASSERT_GE(disc.size(), expected.size());
    disc.resize(expected.size());
    EXPECT_EQ(disc, expected);
    char label[64] = {};
    ASSERT_EQ(StarBurn_GetVolumeLabel("CdRom3", label, sizeof label), SB_EXCEPTION_NONE);
    EXPECT_STREQ(label, "TREE_LABEL");
    StarBurn_Destroy(&g);
    StarBurn_Destroy(&tree);
}
