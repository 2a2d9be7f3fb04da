// SPDX-License-Identifier: GPL-2.0-or-later
// Faults injected through StarBurnTesting.h and through the configuration.
#include "tests/starburn/sbTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstring>

using namespace sbtest;

namespace {

class Faults : public Library {
protected:
    uint8_t speeds(void* g) {
        uint32_t s[4];
        return StarBurn_CdvdBurnerGrabber_GetSpeeds(g, r.text, sizeof r.text, &r.status, r.failure,
                                                    &s[0], &s[1], &s[2], &s[3]);
    }
    uint8_t trackAtOnce(void* g, const std::string& path) {
        return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                              r.failure, path.c_str(), 1, 0, 0, 1,
                                                              SB_WRITE_REVISION);
    }
    Report r;
};

} // namespace

TEST_F(Faults, ANamedCallFailsWithTheGivenExceptionStatusAndText) {
    void* g = open("CdRom0");
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_GetSpeeds", nullptr, 12, 5,
                                       "Injected speed trouble", 2),
              SB_EXCEPTION_NONE);
    for (int i = 0; i < 2; ++i) {
        r = Report{};
        EXPECT_EQ(speeds(g), 12);
        EXPECT_EQ(r.status, 5u);
        EXPECT_STREQ(r.text, "Injected speed trouble");
    }
    EXPECT_EQ(speeds(g), SB_EXCEPTION_NONE); // the count is used up
    StarBurn_Destroy(&g);
}

TEST_F(Faults, AFaultCanBeLimitedToOneDeviceAndLastUntilCleared) {
    void* a = open("CdRom0");
    void* b = open("CdRom1");
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_TestUnitReady", "CdRom1",
                                       SB_EXCEPTION_NOT_READY, 0, nullptr, 0),
              SB_EXCEPTION_NONE);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(a, r.text, sizeof r.text, &r.status,
                                                           r.failure),
                  SB_EXCEPTION_NONE);
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(b, r.text, sizeof r.text, &r.status,
                                                           r.failure),
                  SB_EXCEPTION_NOT_READY);
    }
    EXPECT_STREQ(r.text, "Injected failure of StarBurn_CdvdBurnerGrabber_TestUnitReady");
    StarBurnTesting_ClearFaults();
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(b, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE);
    StarBurn_Destroy(&a);
    StarBurn_Destroy(&b);
}

TEST_F(Faults, ShortQueriesAndSessionCallsFailToo) {
    void* g = open("CdRom0");
    ASSERT_EQ(
        StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace", "", 9, 0, "", 1),
        SB_EXCEPTION_NONE);
    uint32_t blocks = 0;
    uint64_t bytes = 0;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(g, 3, &blocks, &bytes), 9);
    // The disc type call answers the injected number as the type.
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_GetInsertedDiscType", nullptr,
                                       DISC_TYPE_NO_MEDIA, 0, nullptr, 1),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_NO_MEDIA);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_DVDPLUSR);
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_CreateEx", "CdRom2", 6, 16,
                                       "Device is in use", 1),
              SB_EXCEPTION_NONE);
    void* h = nullptr;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&h, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom2", 1),
              6);
    EXPECT_EQ(h, nullptr);
    EXPECT_STREQ(r.text, "Device is in use");
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_FindDevice", nullptr, 1, 0, nullptr, 1),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_FindDevice(5, 0, ProgressLog::callback, nullptr), 1);
    StarBurn_Destroy(&g);

    // A start can be made to fail, and the next one works.
    StarBurn_DownShut();
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_UpStartEx", nullptr, SB_EXCEPTION_CONFIGURATION, 0,
                                       "No start today", 1),
              SB_EXCEPTION_NONE);
    char text[256];
    EXPECT_EQ(StarBurn_UpStartEx(configPath.c_str(), text, sizeof text),
              SB_EXCEPTION_CONFIGURATION);
    EXPECT_STREQ(text, "No start today");
    EXPECT_EQ(StarBurn_UpStartEx(configPath.c_str(), text, sizeof text), SB_EXCEPTION_NONE);
}

TEST_F(Faults, BadFaultRequestsAreRefused) {
    EXPECT_EQ(StarBurnTesting_FailCall("StarBurn_Nonsense", nullptr, 1, 0, nullptr, 1),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurnTesting_FailCall(nullptr, nullptr, 1, 0, nullptr, 1),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(
        StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_Lock", nullptr, 0, 0, nullptr, 1),
        SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurnTesting_FailWriteAt("CdRom9", 1, 0), SB_EXCEPTION_NO_DEVICE);
    EXPECT_EQ(StarBurnTesting_TakeDiscOut(nullptr), SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurnTesting_InsertDisc("CdRom0", 99, 0), SB_EXCEPTION_INVALID_PARAMETER);
    char path[8];
    EXPECT_EQ(StarBurnTesting_GetStateFolder(path, sizeof path), SB_EXCEPTION_INVALID_PARAMETER);
    char folder[4096];
    ASSERT_EQ(StarBurnTesting_GetStateFolder(folder, sizeof folder), SB_EXCEPTION_NONE);
    EXPECT_EQ(std::string(folder), stateDir);
    StarBurn_DownShut();
    EXPECT_EQ(StarBurnTesting_SlowWrite("CdRom0", 1), SB_EXCEPTION_NOT_STARTED);
}

TEST_F(Faults, AWriteFailsAtTheGivenByteAndKeepsWhatItWrote) {
    const auto bytes = patternBytes(300000, 1);
    writeBytes(dir.file("a.iso"), bytes);
    void* g = open("CdRom0");
    ASSERT_EQ(StarBurnTesting_FailWriteAt("CdRom0", 100001, 0), SB_EXCEPTION_NONE);
    EXPECT_EQ(trackAtOnce(g, dir.file("a.iso")), SB_EXCEPTION_WRITE_ERROR);
    EXPECT_EQ(r.status, SB_STATUS_SENSE);
    EXPECT_EQ(std::vector<uint8_t>(r.failure, r.failure + 4),
              (std::vector<uint8_t>{1, 0x03, 0x0C, 0x00}));
    EXPECT_NE(std::string(r.text).find("100001"), std::string::npos) << r.text;

    const auto info = discInfo(g);
    EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_APPENDABLE);
    EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_DAMAGED);
    uint64_t used = 0;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(g, r.text, sizeof r.text, &r.status,
                                                          r.failure, &used),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(used, 49u * 2048); // 100001 bytes reach into the 49th sector

    // The coaster holds exactly the bytes that reached it.
    auto expected = std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100001);
    expected = padded(expected);
    EXPECT_TRUE(ejectAndRead(g, "CdRom0") == expected);

    // One write only: the next blank disc takes the whole image.
    EXPECT_EQ(trackAtOnce(g, dir.file("a.iso")), SB_EXCEPTION_NONE) << r.text;
    StarBurn_Destroy(&g);
}

TEST_F(Faults, TheDiscCanLeaveTheDriveDuringAWrite) {
    const auto bytes = patternBytes(200000, 2);
    writeBytes(dir.file("a.iso"), bytes);
    void* g = open("CdRom0");
    ASSERT_EQ(StarBurnTesting_FailWriteAt("CdRom0", 65536, 1), SB_EXCEPTION_NONE);
    EXPECT_EQ(trackAtOnce(g, dir.file("a.iso")), SB_EXCEPTION_NOT_READY);
    EXPECT_NE(std::string(r.text).find("taken out"), std::string::npos) << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_NO_MEDIA);
    // What was written went with the disc into the ejected folder.
    char path[4096];
    ASSERT_EQ(StarBurnTesting_GetLastEjectedImage("CdRom0", path, sizeof path), SB_EXCEPTION_NONE);
    const auto kept = readBytes(path);
    ASSERT_EQ(kept.size(), 65536u);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), bytes.begin()));

    // Taking the disc out from another thread in the middle of a write.
    ASSERT_EQ(StarBurnTesting_InsertDisc("CdRom0", DISC_TYPE_DVDR, 0), SB_EXCEPTION_NONE);
    StarBurn_Destroy(&g);
    auto pull = [](uint32_t reason, void*, void*, void* special2) {
        if (reason == SB_REASON_WRITE_PROGRESS && *static_cast<int64_t*>(special2) > 0) {
            StarBurnTesting_TakeDiscOut("CdRom0");
        }
    };
    g = open("CdRom0", 0, pull, nullptr);
    EXPECT_EQ(trackAtOnce(g, dir.file("a.iso")), SB_EXCEPTION_NOT_READY);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_NO_MEDIA);
    // Closing the tray again brings a blank of the configured kind.
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Eject(g, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_DVDPLUSR);
    StarBurn_Destroy(&g);
}

TEST_F(Faults, ASlowedWriteTakesItsTime) {
    const std::string path = image("a.iso", 256 * 1024, 3);
    ASSERT_EQ(StarBurnTesting_SlowWrite("CdRom1", 1024 * 1024), SB_EXCEPTION_NONE);
    void* g = open("CdRom1");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                             r.failure, path.c_str(), 1, 1, 0, 1,
                                                             SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    // A quarter of a megabyte at a megabyte a second: at least 200 ms, however
    // fast the machine.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    StarBurn_Destroy(&g);
}

TEST_F(Faults, TheConfigurationInjectsFaultsToo) {
    start(std::string(kTestRecorders) +
          "[Fault opc]\nCall = StarBurn_CdvdBurnerGrabber_SendOPC\nDevice = CdRom0\n"
          "Exception = 12\nStatus = 7\nText = OPC area full\nCount = 0\n"
          "[Fault broken]\nCall = StarBurn_Nothing\nExceptoin = 3\n"
          "[Recorder failing]\nDeviceName = CdRom5\nFailWriteAtByte = 4096\n");
    EXPECT_NE(std::string(startText).find("\"StarBurn_Nothing\" is not a library call"),
              std::string::npos)
        << startText;
    EXPECT_NE(std::string(startText).find("unknown setting \"Exceptoin\""), std::string::npos)
        << startText;
    void* g = open("CdRom0");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(
            StarBurn_CdvdBurnerGrabber_SendOPC(g, r.text, sizeof r.text, &r.status, r.failure), 12);
        EXPECT_STREQ(r.text, "OPC area full");
        EXPECT_EQ(r.status, 7u);
    }
    StarBurn_Destroy(&g);
    // A recorder that fails every write at its fourth kilobyte.
    g = open("CdRom5");
    const std::string path = image("a.iso", 10000, 4);
    EXPECT_EQ(trackAtOnce(g, path), SB_EXCEPTION_WRITE_ERROR);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Eject(g, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(trackAtOnce(g, path), SB_EXCEPTION_WRITE_ERROR);
    StarBurn_Destroy(&g);
}
