// SPDX-License-Identifier: GPL-2.0-or-later
// Opening drives and every query and setting of a grabber, success and failure.
#include "tests/starburn/sbTestSupport.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

using namespace sbtest;

namespace {

class Grabbers : public Library {
protected:
    void TearDown() override {
        for (void*& g : opened) {
            StarBurn_Destroy(&g);
        }
        Library::TearDown();
    }

    void* use(const char* name, uint32_t access = 0) {
        opened.push_back(open(name, access));
        return opened.back();
    }

    std::vector<void*> opened;
    Report r;
};

#define HEAD(g) g, r.text, sizeof r.text, &r.status, r.failure

} // namespace

TEST_F(Grabbers, DevicesOpenByNameDriveLetterAndAddress) {
    for (const char* name : {"CdRom1", "cdrom1", "\\\\.\\F:", "\\\\.\\f:", "\\\\.\\CdRom1"}) {
        SCOPED_TRACE(name);
        void* g = nullptr;
        ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status,
                                                      r.failure, nullptr, nullptr, name, 1),
                  SB_EXCEPTION_NONE)
            << r.text;
        char vendor[64] = {};
        char product[64] = {};
        char revision[64] = {};
        uint32_t buffer = 0;
        ASSERT_EQ(
            StarBurn_CdvdBurnerGrabber_GetDeviceInformation(g, vendor, product, revision, &buffer),
            SB_EXCEPTION_NONE);
        EXPECT_STREQ(vendor, "TESTCO");
        EXPECT_STREQ(product, "Test CD Writer");
        EXPECT_STREQ(revision, "2.00");
        EXPECT_EQ(buffer, 2u * 1024 * 1024);
        StarBurn_Destroy(&g);
        EXPECT_EQ(g, nullptr);
    }
    void* g = nullptr;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Create(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                nullptr, nullptr, 1, 0, 2, 0, 0),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_DVDROM);
    StarBurn_Destroy(&g);

    char name[8] = {};
    ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(1, 0, 1, 0, name), SB_EXCEPTION_NONE);
    EXPECT_STREQ(name, "\\\\.\\F:");
}

TEST_F(Grabbers, OpeningWhatIsNotThereFails) {
    void* g = reinterpret_cast<void*>(1);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom7", 0),
              SB_EXCEPTION_NO_DEVICE);
    EXPECT_EQ(g, nullptr);
    EXPECT_STREQ(r.text, "No device named CdRom7");
    EXPECT_EQ(r.status, static_cast<uint32_t>(ENODEV));
    for (const char* bad : {"CdRom21", "\\\\.\\Q:", "Cd", "", "CdRom05"}) {
        EXPECT_NE(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status,
                                                      r.failure, nullptr, nullptr, bad, 0),
                  SB_EXCEPTION_NONE)
            << bad;
    }
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, nullptr, 0),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Create(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                nullptr, nullptr, 1, 0, 9, 0, 0),
              SB_EXCEPTION_NO_DEVICE);
    EXPECT_STREQ(r.text, "No device at SCSI address 1:0:9:0");
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom0", 2),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(nullptr, r.text, sizeof r.text, &r.status,
                                                  r.failure, nullptr, nullptr, "CdRom0", 0),
              SB_EXCEPTION_INVALID_PARAMETER);

    char name[8] = {};
    EXPECT_EQ(StarBurn_GetDeviceNameByDeviceAddress(1, 0, 9, 0, name), SB_EXCEPTION_NO_DEVICE);
    EXPECT_EQ(StarBurn_GetDeviceNameByDeviceAddress(1, 0, 1, 0, nullptr),
              SB_EXCEPTION_INVALID_PARAMETER);

    StarBurn_DownShut();
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom0", 0),
              SB_EXCEPTION_NOT_STARTED);
    EXPECT_EQ(StarBurn_GetDeviceNameByDeviceAddress(1, 0, 1, 0, name), SB_EXCEPTION_NOT_STARTED);
    EXPECT_EQ(StarBurn_FindDevice(5, 0, ProgressLog::callback, nullptr), SB_EXCEPTION_NOT_STARTED);
}

TEST_F(Grabbers, DeviceSearchReportsEveryDeviceOnTheCallingThread) {
    struct Found {
        std::vector<std::string> addresses;
        std::thread::id thread;
        bool sameThread = true;
    } found{{}, std::this_thread::get_id()};
    auto collect = [](uint32_t reason, void* context, void* special1, void* special2) {
        auto* f = static_cast<Found*>(context);
        ASSERT_EQ(reason, SB_REASON_DEVICE_FOUND);
        ASSERT_EQ(special2, nullptr);
        const auto* a = static_cast<SB_DEVICE_ADDRESS*>(special1);
        f->sameThread = f->sameThread && std::this_thread::get_id() == f->thread;
        f->addresses.push_back(std::to_string(a->Present) + ":" + std::to_string(a->PortID) + ":" +
                               std::to_string(a->BusID) + ":" + std::to_string(a->TargetID) + ":" +
                               std::to_string(a->LUN));
    };
    ASSERT_EQ(StarBurn_FindDevice(5, 0, collect, &found), SB_EXCEPTION_NONE);
    EXPECT_EQ(found.addresses, (std::vector<std::string>{"1:1:0:0:0", "1:1:0:1:0", "1:1:0:2:0"}));
    EXPECT_TRUE(found.sameThread);
    // Other peripheral types have no devices here.
    found.addresses.clear();
    ASSERT_EQ(StarBurn_FindDevice(0, 0, collect, &found), SB_EXCEPTION_NONE);
    EXPECT_TRUE(found.addresses.empty());
    EXPECT_EQ(StarBurn_FindDevice(5, 0, nullptr, nullptr), SB_EXCEPTION_INVALID_PARAMETER);
}

TEST_F(Grabbers, EveryCallRefusesANullDestroyedOrForeignHandle) {
    void* destroyed = open("CdRom0");
    void* copy = destroyed;
    StarBurn_Destroy(&destroyed);
    int local = 0;
    void* handles[] = {nullptr, copy, &local};
    uint8_t b = 0;
    uint32_t u = 0;
    uint64_t q = 0;
    char s[64];
    SB_DISC_INFORMATION di{};
    SB_TRACK_INFORMATION ti{};
    auto toc = std::make_unique<SB_TOC_INFORMATION>();
    for (void* h : handles) {
        const std::vector<std::pair<const char*, std::function<uint8_t()>>> calls = {
            {"ProbeSupportedWriteModes",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(HEAD(h), &b, &b, &b,
                                                                            &b);
             }},
            {"ProbeSupportedReadModes",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes(HEAD(h), &b, &b, &b, &b,
                                                                           &b, &b);
             }},
            {"TestUnitReady", [&] { return StarBurn_CdvdBurnerGrabber_TestUnitReady(HEAD(h)); }},
            {"GetDiscInformation",
             [&] { return StarBurn_CdvdBurnerGrabber_GetDiscInformation(HEAD(h), &di); }},
            {"GetTrackInformation",
             [&] { return StarBurn_CdvdBurnerGrabber_GetTrackInformation(HEAD(h), 255, &ti); }},
            {"GetTOCInformation",
             [&] { return StarBurn_CdvdBurnerGrabber_GetTOCInformation(HEAD(h), toc.get()); }},
            {"GetRPC",
             [&] { return StarBurn_CdvdBurnerGrabber_GetRPC(HEAD(h), &b, &b, &b, &b, &b); }},
            {"GetDiscUsedSpace",
             [&] { return StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(HEAD(h), &q); }},
            {"GetSpeeds",
             [&] { return StarBurn_CdvdBurnerGrabber_GetSpeeds(HEAD(h), &u, &u, &u, &u); }},
            {"SetSpeeds", [&] { return StarBurn_CdvdBurnerGrabber_SetSpeeds(HEAD(h), 1, 1); }},
            {"GetBUP", [&] { return StarBurn_CdvdBurnerGrabber_GetBUP(HEAD(h), &b, &b); }},
            {"SetBUP", [&] { return StarBurn_CdvdBurnerGrabber_SetBUP(HEAD(h), 1); }},
            {"SendOPC", [&] { return StarBurn_CdvdBurnerGrabber_SendOPC(HEAD(h)); }},
            {"Lock", [&] { return StarBurn_CdvdBurnerGrabber_Lock(HEAD(h)); }},
            {"Release", [&] { return StarBurn_CdvdBurnerGrabber_Release(HEAD(h)); }},
            {"Eject", [&] { return StarBurn_CdvdBurnerGrabber_Eject(HEAD(h)); }},
            {"CloseSession", [&] { return StarBurn_CdvdBurnerGrabber_CloseSession(HEAD(h)); }},
            {"TrackAtOnceFromFile",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(HEAD(h), "x", 1, 0, 0, 1, 5);
             }},
            {"TrackAtOnceFromTree",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(HEAD(h), &local, 1, 0, 0, 1,
                                                                       5);
             }},
            {"SessionAtOnce",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_SessionAtOnce(HEAD(h), nullptr, 0, 0, 1, 1, 5);
             }},
            {"DiscAtOncePQFromFile",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile(HEAD(h), nullptr, 0, 0, 0,
                                                                        0, 1, 5);
             }},
            {"DiscAtOnceRawPWFromFile",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(HEAD(h), nullptr, 0, 0,
                                                                           0, 0, 1, 5);
             }},
            {"DiscAtOncePQFromTree",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree(HEAD(h), &local, 0, 0, 0, 1,
                                                                        5);
             }},
            {"DiscAtOnceRawPWFromTree",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(HEAD(h), &local, 0, 0, 0,
                                                                           1, 5);
             }},
            {"GetDeviceInformation",
             [&] { return StarBurn_CdvdBurnerGrabber_GetDeviceInformation(h, s, s, s, &u); }},
            {"GetSupportedMediaFormats",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(h, &b, &b, &b, &b, &b,
                                                                            &b, &b, &b, &b, &b);
             }},
            {"GetSupportedMediaFormatsExEx",
             [&] {
                 return StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx(h, &b, &b, &b, &b,
                                                                                &b, &b);
             }},
            {"GetDiscFreeSpace",
             [&] { return StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(h, 3, &u, &q); }},
        };
        for (const auto& [name, call] : calls) {
            r = Report{};
            EXPECT_EQ(call(), SB_EXCEPTION_INVALID_HANDLE) << name;
            // Calls with a report say why; the short queries have no buffer.
            const bool shortQuery = std::string(name).rfind("GetDevice", 0) == 0 ||
                                    std::string(name).rfind("GetSupported", 0) == 0 ||
                                    std::string(name) == "GetDiscFreeSpace";
            if (!shortQuery) {
                EXPECT_NE(std::string(r.text).find("not valid"), std::string::npos) << name;
                EXPECT_EQ(r.status, static_cast<uint32_t>(EBADF)) << name;
            }
        }
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(h), DISC_TYPE_UNKNOWN);
        StarBurn_CdvdBurnerGrabber_Cancel(h); // nothing to cancel, nothing breaks
        void* again = h;
        StarBurn_Destroy(&again);
        EXPECT_EQ(again, nullptr);
    }
    StarBurn_Destroy(nullptr);
}

TEST_F(Grabbers, TheFailureTextNeverPassesItsBuffer) {
    struct {
        char text[10];
        char guard[8];
    } small;
    std::memset(&small, 'G', sizeof small);
    uint32_t status = 0;
    uint8_t failure[SB_FAILURE_INFO_SIZE + 4];
    std::memset(failure, 0xEE, sizeof failure);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(nullptr, small.text, sizeof small.text,
                                                       &status, failure),
              SB_EXCEPTION_INVALID_HANDLE);
    EXPECT_EQ(small.text[9], '\0');
    EXPECT_EQ(std::string(small.text), std::string("The grabb"));
    EXPECT_EQ(std::string(small.guard, 8), std::string(8, 'G'));
    // The failure block gets its 54 bytes and not one more.
    EXPECT_EQ(failure[SB_FAILURE_INFO_SIZE], 0xEE);
    EXPECT_EQ(failure[0], 0);

    // No buffer at all, or a size of zero, is no reason to crash.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(nullptr, nullptr, 0, nullptr, nullptr),
              SB_EXCEPTION_INVALID_HANDLE);
    std::memset(&small, 'G', sizeof small);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(nullptr, small.text, 0, &status, nullptr),
              SB_EXCEPTION_INVALID_HANDLE);
    EXPECT_EQ(small.text[0], 'G');
}

TEST_F(Grabbers, CapabilitiesAreTheConfiguredOnes) {
    void* cd = use("CdRom1", 1);
    uint8_t f[10];
    std::memset(f, 9, sizeof f);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(
                  cd, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9]),
              SB_EXCEPTION_NONE);
    // Reads CD-R, CD-RW; no DVD; test write; writes CD-R, CD-RW; no DVD.
    const uint8_t cdExpected[10] = {1, 1, 0, 0, 0, 1, 1, 1, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(f, f + 10), std::vector<uint8_t>(cdExpected, cdExpected + 10));
    uint8_t x[6];
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx(cd, &x[0], &x[1], &x[2],
                                                                      &x[3], &x[4], &x[5]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(std::vector<uint8_t>(x, x + 6), std::vector<uint8_t>(6, 0));

    void* dvd = use("CdRom0", 1);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx(dvd, &x[0], &x[1], &x[2],
                                                                      &x[3], &x[4], &x[5]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(std::vector<uint8_t>(x, x + 6), std::vector<uint8_t>(6, 1));

    void* reader = use("CdRom2", 1);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(
                  reader, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(f[2], 1); // reads DVD-ROM
    EXPECT_EQ(f[5], 0); // no test writes
    EXPECT_EQ(f[6], 0); // does not write CD-R

    uint8_t w[4];
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(HEAD(cd), &w[0], &w[1], &w[2], &w[3]),
        SB_EXCEPTION_NONE);
    EXPECT_EQ(std::vector<uint8_t>(w, w + 4), std::vector<uint8_t>(4, 1));
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(HEAD(reader), &w[0], &w[1], &w[2],
                                                                  &w[3]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(std::vector<uint8_t>(w, w + 4), std::vector<uint8_t>(4, 0));
    uint8_t m[6];
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes(HEAD(cd), &m[0], &m[1], &m[2],
                                                                 &m[3], &m[4], &m[5]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(std::vector<uint8_t>(m, m + 6), std::vector<uint8_t>(6, 1));

    uint8_t rpc[5] = {};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetRPC(HEAD(reader), &rpc[0], &rpc[1], &rpc[2], &rpc[3],
                                                &rpc[4]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(std::vector<uint8_t>(rpc, rpc + 5), (std::vector<uint8_t>{2, 0xFB, 3, 4, 1}));
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_GetRPC(HEAD(cd), &rpc[0], &rpc[1], &rpc[2], &rpc[3], &rpc[4]),
        SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_NE(std::string(r.text).find("not a DVD drive"), std::string::npos) << r.text;
}

TEST_F(Grabbers, DiscQueriesDescribeABlankDisc) {
    void* g = use("CdRom0", 1);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(HEAD(g)), SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_DVDPLUSR);
    const auto info = discInfo(g);
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_BLANK);
    EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_EMPTY);
    EXPECT_EQ(info.Erasable, 0);
    EXPECT_EQ(info.DiscTypeCode, 0xFF);
    EXPECT_EQ(uint32_t{info.LastPossibleLeadOutStart}, 4096u);
    const auto next = nextTrack(g);
    EXPECT_EQ(next.Valid, 1);
    EXPECT_EQ(next.TrackNumber, 1);
    EXPECT_EQ(next.Blank, 1);
    EXPECT_EQ(next.NextWritableAddressValid, 1);
    EXPECT_EQ(uint32_t{next.TrackStartAddress}, 0u);
    EXPECT_EQ(uint32_t{next.FreeBlocks}, 4096u);
    SB_TRACK_INFORMATION track{};
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(HEAD(g), 5, &track),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(r.failure[1], 0x05); // ILLEGAL REQUEST
    auto toc = std::make_unique<SB_TOC_INFORMATION>();
    std::memset(toc.get(), 0x55, sizeof *toc);
    StarBurn_SetFastReadTOC(1);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTOCInformation(HEAD(g), toc.get()), SB_EXCEPTION_NONE);
    EXPECT_EQ(toc->Valid, 0);
    EXPECT_EQ(uint32_t{toc->NumberOfEntries}, 0u);

    uint32_t blocks = 0;
    uint64_t freeBytes = 0;
    uint64_t used = 1;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(g, 3, &blocks, &freeBytes),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(blocks, 4096u);
    EXPECT_EQ(freeBytes, 4096u * 2048ull);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(HEAD(g), &used), SB_EXCEPTION_NONE);
    EXPECT_EQ(used, 0u);

    // Null blocks are refused, not written through.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscInformation(HEAD(g), nullptr),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(HEAD(g), 255, nullptr),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetTOCInformation(HEAD(g), nullptr),
              SB_EXCEPTION_INVALID_PARAMETER);

    // A rewritable disc says so.
    ASSERT_EQ(StarBurnTesting_InsertDisc("CdRom1", DISC_TYPE_CDRW, 0), SB_EXCEPTION_NONE);
    void* cd = use("CdRom1", 1);
    EXPECT_EQ(discInfo(cd).Erasable, 1);
    EXPECT_EQ(discInfo(cd).DiscTypeCode, 0x00);
}

TEST_F(Grabbers, DiscQueriesDescribeAPressedDisc) {
    void* g = use("CdRom2", 1);
    const auto info = discInfo(g);
    EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_OTHER);
    EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_COMPLETE);
    const auto next = nextTrack(g);
    EXPECT_EQ(next.Blank, 0);
    EXPECT_EQ(next.NextWritableAddressValid, 0);
    EXPECT_EQ(uint32_t{next.FreeBlocks}, 0u);
    auto toc = std::make_unique<SB_TOC_INFORMATION>();
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTOCInformation(HEAD(g), toc.get()), SB_EXCEPTION_NONE);
    EXPECT_EQ(toc->Valid, 1);
    EXPECT_EQ(uint32_t{toc->NumberOfEntries}, 1u);
    EXPECT_EQ(uint32_t{toc->LeadOutStartAddress}, 600u);
    EXPECT_EQ(toc->Entries[0].AdrControl, 0x14);
    uint64_t used = 0;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(HEAD(g), &used), SB_EXCEPTION_NONE);
    EXPECT_EQ(used, 600u * 2048ull);
    uint32_t blocks = 1;
    uint64_t freeBytes = 1;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(g, 3, &blocks, &freeBytes),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(freeBytes, 0u);
}

TEST_F(Grabbers, DiscQueriesOfAnEmptyTrayFailNotReady) {
    ASSERT_EQ(StarBurnTesting_TakeDiscOut("CdRom0"), SB_EXCEPTION_NONE);
    void* g = use("CdRom0");
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_NO_MEDIA);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(HEAD(g)), SB_EXCEPTION_NOT_READY);
    EXPECT_EQ(r.status, SB_STATUS_SENSE);
    EXPECT_EQ(std::vector<uint8_t>(r.failure, r.failure + 4),
              (std::vector<uint8_t>{1, 0x02, 0x3A, 0x00}));
    // A real drive's refusal in the same words, without a code no drive gave.
    EXPECT_EQ(std::string(r.text).rfind(
                  "There is no disc in the drive. Insert a disc and try again. (", 0),
              0u)
        << r.text;
    EXPECT_EQ(std::string(r.text).find("sense"), std::string::npos) << r.text;
    SB_DISC_INFORMATION di{};
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscInformation(HEAD(g), &di), SB_EXCEPTION_NOT_READY);
    EXPECT_EQ(di.Valid, 0);
    uint32_t blocks = 0;
    uint64_t bytes = 0;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(g, 3, &blocks, &bytes),
              SB_EXCEPTION_NOT_READY);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(HEAD(g), &bytes), SB_EXCEPTION_NOT_READY);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SendOPC(HEAD(g)), SB_EXCEPTION_NOT_READY);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CloseSession(HEAD(g)), SB_EXCEPTION_NOT_READY);
    // Closing the tray brings a disc of the configured kind.
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Eject(HEAD(g)), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_DVDPLUSR);
}

TEST_F(Grabbers, SetSpeedsPicksTheFastestSupportedSpeedAtOrBelowTheRequest) {
    void* cd = use("CdRom1");
    uint32_t s[4] = {};
    auto speeds = [&] {
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetSpeeds(HEAD(cd), &s[0], &s[1], &s[2], &s[3]),
                  SB_EXCEPTION_NONE);
    };
    speeds();
    EXPECT_EQ(s[1], 8467u); // 48x read
    EXPECT_EQ(s[3], 8467u); // 48x write
    EXPECT_EQ(s[2], 8467u); // fastest until told otherwise

    // What the program's speed list does: ask for each speed of its table and
    // keep the distinct factors the drive answers.
    const uint32_t table[] = {176,  353,  387,  528,  706,  1056, 1400, 1760,
                              2112, 2800, 3250, 4224, 7040, 7744, 8448, 9152};
    std::vector<uint32_t> factors;
    for (uint32_t request : table) {
        ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(HEAD(cd), s[0], request), SB_EXCEPTION_NONE);
        speeds();
        EXPECT_LE(s[2], std::max<uint32_t>(request + request / 100, 706u)) << request;
        const uint32_t factor = s[2] / 176;
        if (std::find(factors.begin(), factors.end(), factor) == factors.end()) {
            factors.push_back(factor);
        }
    }
    EXPECT_EQ(factors, (std::vector<uint32_t>{4, 8, 16, 24, 48}));

    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(HEAD(cd), 4000, 3000), SB_EXCEPTION_NONE);
    speeds();
    EXPECT_EQ(s[0], 4234u); // nothing reads at or below 4000: the slowest, 24x
    EXPECT_EQ(s[2], 2822u); // 16x, the fastest write at or below 3000

    // A DVD disc answers with DVD speeds.
    void* dvd = use("CdRom0");
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(HEAD(dvd), 0xFFFF, 11080), SB_EXCEPTION_NONE);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSpeeds(HEAD(dvd), &s[0], &s[1], &s[2], &s[3]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(s[2], 11080u); // 8x
    EXPECT_EQ(s[3], 22160u); // 16x

    void* query = use("CdRom1", 1);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(HEAD(query), 0xFFFF, 0xFFFF),
              SB_EXCEPTION_NOT_SUPPORTED);
}

TEST_F(Grabbers, BufferUnderrunProtectionAndPowerCalibration) {
    void* cd = use("CdRom1");
    uint8_t enabled = 9;
    uint8_t supported = 9;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetBUP(HEAD(cd), &enabled, &supported), SB_EXCEPTION_NONE);
    EXPECT_EQ(enabled, 1);
    EXPECT_EQ(supported, 1);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetBUP(HEAD(cd), 0), SB_EXCEPTION_NONE);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetBUP(HEAD(cd), &enabled, &supported), SB_EXCEPTION_NONE);
    EXPECT_EQ(enabled, 0);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SendOPC(HEAD(cd)), SB_EXCEPTION_NONE) << r.text;

    void* reader = use("CdRom2");
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetBUP(HEAD(reader), &enabled, &supported),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(supported, 0);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SetBUP(HEAD(reader), 1), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SendOPC(HEAD(reader)), SB_EXCEPTION_NOT_SUPPORTED);

    void* query = use("CdRom1", 1);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SetBUP(HEAD(query), 1), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SendOPC(HEAD(query)), SB_EXCEPTION_NOT_SUPPORTED);
}

TEST_F(Grabbers, ALockedTrayDoesNotOpenUntilEveryLockIsReleased) {
    void* a = use("CdRom0");
    void* b = use("CdRom0");
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Lock(HEAD(a)), SB_EXCEPTION_NONE);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Lock(HEAD(a)), SB_EXCEPTION_NONE); // no second count
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Lock(HEAD(b)), SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(HEAD(a)), SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_NE(std::string(r.text).find("locked"), std::string::npos) << r.text;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Release(HEAD(a)), SB_EXCEPTION_NONE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(HEAD(a)), SB_EXCEPTION_DEVICE_BUSY);
    // Destroying a grabber lets go of its lock.
    StarBurn_Destroy(&opened[1]);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(HEAD(a)), SB_EXCEPTION_NONE) << r.text;
    // Releasing what was never locked is fine.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Release(HEAD(a)), SB_EXCEPTION_NONE);

    void* query = use("CdRom0", 1);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Lock(HEAD(query)), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Release(HEAD(query)), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(HEAD(query)), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CloseSession(HEAD(query)), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_NE(std::string(r.text).find("queries only"), std::string::npos) << r.text;
}

TEST_F(Grabbers, EjectingAPressedDiscPutsItBack) {
    void* g = use("CdRom2");
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Eject(HEAD(g)), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_DVDROM);
    char path[256];
    EXPECT_EQ(StarBurnTesting_GetLastEjectedImage("CdRom2", path, sizeof path),
              SB_EXCEPTION_FILE_ERROR);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CloseSession(HEAD(g)), SB_EXCEPTION_MEDIUM_ERROR);
}

TEST_F(Grabbers, ShuttingDownDestroysOpenHandles) {
    void* g = open("CdRom0");
    StarBurn_DownShut();
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(HEAD(g)), SB_EXCEPTION_INVALID_HANDLE);
    StarBurn_Destroy(&g);
    EXPECT_EQ(g, nullptr);
}

TEST_F(Grabbers, ADriveThatWritesNothingOffersNoWriteModes) {
    ASSERT_EQ(start("[Recorder r]\nWrites = none\nDisc = DVD-ROM\n"), SB_EXCEPTION_NONE);
    void* g = use("CdRom0", 1);
    uint8_t w[4] = {9, 9, 9, 9};
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(HEAD(g), &w[0], &w[1], &w[2], &w[3]),
        SB_EXCEPTION_NONE);
    EXPECT_EQ(std::vector<uint8_t>(w, w + 4), std::vector<uint8_t>(4, 0));
    uint8_t f[10];
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(
                  g, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9]),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(f[5], 0); // no test writes either
}
