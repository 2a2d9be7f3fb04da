// SPDX-License-Identifier: GPL-2.0-or-later
// The libburn backend's configuration and its disc-type table: the switch for
// real drives, drives that cannot be used, and the profile of every kind of
// medium libburn reports.
#include "starburn/StarBurnLinux.h"
#include "starburn/libburn/sbLibburnTesting.h"
#include "tests/starburn/libburn_tsan.h"
#include "tests/starburn/sbTestSupport.h"

#include <libburn/libburn.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

using namespace sbtest;

namespace {

const char* kOneRecorder = "[Virtual]\nTimeFactor = 0\n\n"
                           "[Recorder writer]\nDeviceName = CdRom0\nAddress = 1:0:0:0\n"
                           "DriveLetter = E\nDisc = DVD+R\nDiscCapacity = 4096\n\n";

class Switch : public Library {
protected:
    void SetUp() override {}
    void TearDown() override {
        ::unsetenv("STARBURN_REAL_DRIVES");
        ::unsetenv("STARBURN_SCSI_LOG");
        ::unsetenv("STARBURN_READY_WAIT");
        Library::TearDown();
    }
    bool exists(const char* name) {
        void* g = nullptr;
        Report r;
        const uint8_t result = StarBurn_CdvdBurnerGrabber_CreateEx(
            &g, r.text, sizeof r.text, &r.status, r.failure, nullptr, nullptr, name, 1);
        StarBurn_Destroy(&g);
        return result == SB_EXCEPTION_NONE;
    }
    Report r;
};

} // namespace

// /dev/null stands in for a device file that is no drive: it opens, but
// libburn finds no recorder behind it.
TEST_F(Switch, ANamedDeviceThatIsNoDriveIsListedAndAnswersWithTheReason) {
    ::setenv("STARBURN_REAL_DRIVES", "1", 1);
    ASSERT_EQ(start(std::string(kOneRecorder) + "[Libburn]\nDevices = /dev/null\n"),
              SB_EXCEPTION_NONE);
    EXPECT_NE(std::string(startText).find("/dev/null could not be examined"), std::string::npos)
        << startText;
    ASSERT_TRUE(exists("CdRom1")) << "real drives are numbered after the virtual recorders";
    void* g = open("CdRom1");
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(g, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_NE(std::string(r.text).find("/dev/null cannot be opened"), std::string::npos) << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_UNKNOWN);
    // No drive behind the file is nothing the user can free: not "in use".
    uint8_t state = SB_DEVICE_ACCESS_BUSY;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetAccess(g, r.text, sizeof r.text, &r.status, r.failure,
                                                   &state),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_EQ(state, SB_DEVICE_ACCESS_FREE);
    StarBurn_Destroy(&g);
}

// libburn retries a busy device for seconds on every attempt; a failed
// opening is answered from memory for a few seconds instead.
TEST_F(Switch, AFailedOpeningIsAnsweredFromMemoryForAFewSeconds) {
    ::setenv("STARBURN_REAL_DRIVES", "1", 1);
    ASSERT_EQ(start(std::string(kOneRecorder) + "[Libburn]\nDevices = /dev/null\n"),
              SB_EXCEPTION_NONE);
    void* g = open("CdRom1");
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(g, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_DEVICE_BUSY);
    const std::string first = r.text;
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(g, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_EQ(std::string(r.text), first);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(g), DISC_TYPE_UNKNOWN);
    uint32_t scans = 0, grabs = 0;
    ASSERT_EQ(StarBurnLibburnTesting_DriveOpenings("CdRom1", &scans, &grabs), SB_EXCEPTION_NONE);
    EXPECT_EQ(scans + grabs, 1u) << "one attempt for three calls";
    StarBurn_Destroy(&g);
}

// The busy text names the process that holds the device open, as /proc
// tells it (here a process holding a file as its standard input).
TEST(LibburnBusy, TheAdviceNamesTheProcessHoldingTheDevice) {
    TempDir dir;
    const std::string device = dir.file("held-device");
    writeText(device, "");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, device.c_str(), O_RDONLY, 0);
    char sleepName[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleepName, seconds, nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawnp(&child, "sleep", &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // The child holds the file once /proc lists it among its descriptors.
    std::string advice;
    for (int i = 0; i < 200 && advice.empty(); ++i) {
        char text[512] = {};
        StarBurnLibburnTesting_BusyAdvice(device.c_str(), text, sizeof text);
        advice = text;
        if (advice.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    EXPECT_NE(advice.find("sleep (pid " + std::to_string(child) + ")"), std::string::npos)
        << advice;
    EXPECT_NE(advice.find("close that program"), std::string::npos) << advice;
    char none[64] = "x";
    StarBurnLibburnTesting_BusyAdvice(device.c_str(), none, sizeof none);
    EXPECT_STREQ(none, "") << "nobody holds it any more";
}

TEST_F(Switch, TheEnvironmentTurnsRealDrivesOffWhateverTheConfigurationSays) {
    ::setenv("STARBURN_REAL_DRIVES", "0", 1);
    ASSERT_EQ(
        start(std::string(kOneRecorder) + "[Libburn]\nRealDrives = yes\nDevices = /dev/null\n"),
        SB_EXCEPTION_NONE);
    EXPECT_TRUE(exists("CdRom0"));
    EXPECT_FALSE(exists("CdRom1"));
}

TEST_F(Switch, TheConfigurationTurnsRealDrivesOff) {
    ::unsetenv("STARBURN_REAL_DRIVES");
    ASSERT_EQ(
        start(std::string(kOneRecorder) + "[Libburn]\nRealDrives = no\nDevices = /dev/null\n"),
        SB_EXCEPTION_NONE);
    EXPECT_FALSE(exists("CdRom1"));
}

TEST_F(Switch, BadSettingsAreReportedWithTheirLines) {
    ::setenv("STARBURN_REAL_DRIVES", "maybe", 1);
    ::setenv("STARBURN_SCSI_LOG", "loud", 1);
    ::setenv("STARBURN_READY_WAIT", "soon", 1);
    ASSERT_EQ(start(std::string(kOneRecorder) +
                    "[Libburn]\nRealDrives = perhaps\nDevices = sr0\nSpeed = 4\n"
                    "ScsiLog = often\nReadyWait = 7200\n\n"
                    "[Stdio]\nPath = /tmp/x.iso\n\n"
                    "[Stdio rel]\nPath = relative.iso\n\n"
                    "[Stdio placed]\nPath = /tmp/y.iso\nDeviceName = CdRom99\n\n"
                    "[Drive dev]\nDeviceName = CdRom4\n"),
              SB_EXCEPTION_NONE);
    const std::string text = startText;
    for (const char* expected :
         {"STARBURN_REAL_DRIVES=\"maybe\"", ":12: RealDrives is yes or no",
          "\"sr0\" is not a device file path", "unknown setting \"Speed\" in [Libburn]",
          "a [Stdio] section needs a name", "pseudo-drive \"rel\" needs Path",
          "\"CdRom99\" is not a device name", "[Drive dev] does not name a device file",
          ":15: ScsiLog is yes, no or stderr",
          "STARBURN_SCSI_LOG=\"loud\" is not yes, no or stderr",
          ":16: ReadyWait is a number of seconds from 0 to 3600",
          "STARBURN_READY_WAIT=\"soon\" is not a number of seconds from 0 to 3600"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
    EXPECT_FALSE(exists("CdRom1")) << "every pseudo-drive above is left out";
}

TEST_F(Switch, APseudoDriveTakesTheNameAddressAndLetterItIsGiven) {
    const std::string path = dir.file("placed.iso");
    ASSERT_EQ(start(std::string(kOneRecorder) + "[Stdio placed]\nPath = " + path +
                    "\nDeviceName = CdRom7\nAddress = 4:1:2:3\nDriveLetter = q\n"),
              SB_EXCEPTION_NONE)
        << startText;
    EXPECT_TRUE(exists("CdRom7"));
    EXPECT_TRUE(exists("\\\\.\\Q:"));
    char name[8] = {};
    ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(4, 1, 2, 3, name), SB_EXCEPTION_NONE);
    EXPECT_STREQ(name, "\\\\.\\Q:");
}

TEST_F(Switch, ATakenPlacementLeavesThePseudoDriveOutWithTheReason) {
    const std::string path = dir.file("clash.iso");
    ASSERT_EQ(start(std::string(kOneRecorder) + "[Stdio clash]\nPath = " + path +
                    "\nDeviceName = CdRom0\n"),
              SB_EXCEPTION_NONE);
    EXPECT_NE(std::string(startText).find("pseudo-drive \"clash\" is left out: the device name "
                                          "CdRom0 is taken"),
              std::string::npos)
        << startText;
}

TEST(LibburnProfiles, EveryMediumProfileHasItsDiscType) {
    struct Row {
        uint32_t profile;
        uint32_t role;
        uint8_t type;
    };
    const Row rows[] = {
        {0x00, 1, DISC_TYPE_NO_MEDIA},
        {0x08, 1, DISC_TYPE_CDROM},
        {0x09, 1, DISC_TYPE_CDR},
        {0x0a, 1, DISC_TYPE_CDRW},
        {0x10, 1, DISC_TYPE_DVDROM},
        {0x11, 1, DISC_TYPE_DVDR},
        {0x12, 1, DISC_TYPE_DVDRAM},
        {0x13, 1, DISC_TYPE_DVDRWRO},
        {0x14, 1, DISC_TYPE_DVDRWSR},
        {0x15, 1, DISC_TYPE_DVDR_DL},
        {0x16, 1, DISC_TYPE_DVDR_DL},
        {0x1a, 1, DISC_TYPE_DVDPLUSRW},
        {0x1b, 1, DISC_TYPE_DVDPLUSR},
        {0x2b, 1, DISC_TYPE_DVDPLUSR_DL},
        {0x41, 1, DISC_TYPE_BDR},
        {0x42, 1, DISC_TYPE_BDR},
        {0x43, 1, DISC_TYPE_BDRE},
        {0x50, 1, DISC_TYPE_HDDVDROM},
        {0x51, 1, DISC_TYPE_HDDVDR},
        {0x53, 1, DISC_TYPE_HDDVDRW},
        {0x58, 1, DISC_TYPE_HDDVDR},
        {0x5a, 1, DISC_TYPE_HDDVDRW},
        // No disc type of their own: hard disks, MO, DVD+RW DL, BD-ROM, HD DVD-RAM.
        {0x01, 1, DISC_TYPE_UNKNOWN},
        {0x03, 1, DISC_TYPE_UNKNOWN},
        {0x2a, 1, DISC_TYPE_UNKNOWN},
        {0x40, 1, DISC_TYPE_UNKNOWN},
        {0x52, 1, DISC_TYPE_UNKNOWN},
        {0x1234, 1, DISC_TYPE_UNKNOWN},
        // Pseudo-drives, by what libburn says they behave like.
        {0xffff, 2, DISC_TYPE_DVDRAM},
        {0xffff, 3, DISC_TYPE_DVDR},
        {0xffff, 4, DISC_TYPE_DVDROM},
        {0xffff, 5, DISC_TYPE_DVDRAM},
        {0xffff, 0, DISC_TYPE_NO_MEDIA},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(StarBurnLibburnTesting_DiscTypeOfProfile(row.profile, row.role), row.type)
            << "profile 0x" << std::hex << row.profile << " role " << row.role;
    }
}

// What libburn says about real discs, turned into the information blocks the
// wizard reads. libburn shows an appendable disc as its complete sessions plus
// one incomplete session holding the next track, empty and invisible (blank
// in its status bits); that track is no track of the disc.
namespace {

constexpr int32_t kExtended = 1 | 4; // start/size and status bits are valid
constexpr int32_t kBlankTrack = 1 << 14;
constexpr int32_t kDamagedTrack = 1 << 5;
constexpr int32_t kTrackBlocks = 1000;

enum class Shape { Blank, Appendable, Closed, OpenTrack, Damaged, NoStatusBits };

// A disc of `sessions` complete sessions of one written track each, in the
// shape libburn gives it.
StarBurnLibburnTesting_Disc discOf(uint32_t profile, Shape shape, int sessions) {
    StarBurnLibburnTesting_Disc d{};
    d.Profile = profile;
    d.Role = 1;
    d.AvailableBytes = 100000LL * 2048;
    d.NwaResult = 1;
    int lba = 0;
    for (int i = 0; i < sessions; ++i) {
        auto& s = d.Sessions[d.SessionCount++];
        s.Complete = 1;
        s.Tracks[s.TrackCount++] = {i + 1, 4, kExtended, lba, kTrackBlocks, 0};
        lba += kTrackBlocks;
        s.LeadOutLba = lba;
        lba += 6000; // lead-out and the next lead-in
    }
    d.Nwa = d.NextTrackLba = lba;
    const int32_t next = sessions + 1;
    switch (shape) {
    case Shape::Blank:
        d.Status = burn::BURN_DISC_BLANK;
        break;
    case Shape::Closed:
        d.Status = burn::BURN_DISC_FULL;
        d.ReadCapacity = lba;
        break;
    case Shape::Appendable:
    case Shape::Damaged:
    case Shape::NoStatusBits:
    case Shape::OpenTrack: {
        d.Status = burn::BURN_DISC_APPENDABLE;
        auto& s = d.Sessions[d.SessionCount++];
        s.Complete = 0;
        if (shape == Shape::OpenTrack) {
            // Another program left a written track open, then the next one.
            s.Tracks[s.TrackCount++] = {next, 4, kExtended, lba, kTrackBlocks, 0};
            s.Tracks[s.TrackCount++] = {next + 1, 4, kExtended, lba + kTrackBlocks, 0, kBlankTrack};
        } else if (shape == Shape::NoStatusBits) {
            s.Tracks[s.TrackCount++] = {next, 4, 1, lba, 0, 0}; // CD: no status bits read
        } else {
            s.Tracks[s.TrackCount++] = {
                next, 4, kExtended,
                lba,  0, kBlankTrack | (shape == Shape::Damaged ? kDamagedTrack : 0)};
        }
        d.Damage = shape == Shape::Damaged ? 1 : 0;
        break;
    }
    }
    return d;
}

struct Answer {
    uint8_t type = 0;
    SB_DISC_INFORMATION disc{};
    SB_TRACK_INFORMATION next{};
    std::unique_ptr<SB_TOC_INFORMATION> toc = std::make_unique<SB_TOC_INFORMATION>();
};

Answer describe(const StarBurnLibburnTesting_Disc& d) {
    Answer a;
    StarBurnLibburnTesting_Describe(&d, &a.type, &a.disc, &a.next, a.toc.get());
    return a;
}

} // namespace

TEST(LibburnDiscs, EveryRecordableProfileInEveryStateReadsAsADriveWouldAnswer) {
    struct Row {
        uint32_t profile;
        Shape shape;
        int sessions; // complete ones
        uint8_t discStatus;
        uint8_t lastSession;
        int numberOfSessions;
        int nextTrack; // track 255 answers this number (0: not asked of a closed disc)
        int tocEntries;
    };
    const uint8_t B = SB_DISC_STATUS_BLANK, A = SB_DISC_STATUS_APPENDABLE,
                  C = SB_DISC_STATUS_COMPLETE;
    const uint8_t E = SB_SESSION_STATUS_EMPTY, I = SB_SESSION_STATUS_INCOMPLETE,
                  D = SB_SESSION_STATUS_DAMAGED, K = SB_SESSION_STATUS_COMPLETE;
    std::vector<Row> rows;
    // Write-once and sequential media: blank, appendable after one and after
    // two sessions, closed.
    for (uint32_t p : {0x09u, 0x0au, 0x11u, 0x14u, 0x15u, 0x16u, 0x1bu, 0x2bu, 0x41u, 0x42u}) {
        rows.push_back({p, Shape::Blank, 0, B, E, 1, 1, 0});
        rows.push_back({p, Shape::Appendable, 1, A, E, 2, 2, 1});
        rows.push_back({p, Shape::Appendable, 2, A, E, 3, 3, 2});
        rows.push_back({p, Shape::Closed, 2, C, K, 2, 0, 2});
    }
    // What libburn reports for overwritable media whatever they hold.
    for (uint32_t p : {0x12u, 0x13u, 0x1au, 0x2au, 0x43u}) {
        rows.push_back({p, Shape::Blank, 0, B, E, 1, 1, 0});
    }
    // A track another program left open; a damaged next track; a CD whose
    // table of contents came without status bits.
    rows.push_back({0x1b, Shape::OpenTrack, 1, A, I, 2, 3, 2});
    rows.push_back({0x11, Shape::Damaged, 1, A, D, 2, 2, 1});
    rows.push_back({0x09, Shape::NoStatusBits, 1, A, E, 2, 2, 1});

    for (const Row& row : rows) {
        StarBurnLibburnTesting_Disc d = discOf(row.profile, row.shape, row.sessions);
        const bool overwritable = row.profile == 0x12 || row.profile == 0x13 ||
                                  row.profile == 0x1a || row.profile == 0x2a || row.profile == 0x43;
        if (overwritable) {
            d.NwaResult = 0; // libburn calls address 0 of an overwritable disc "not valid"
            d.Nwa = d.NextTrackLba = 0;
        }
        const Answer a = describe(d);
        const std::string where = "profile 0x" + std::to_string(row.profile) + " shape " +
                                  std::to_string(static_cast<int>(row.shape)) + " sessions " +
                                  std::to_string(row.sessions);
        EXPECT_EQ(a.type, StarBurnLibburnTesting_DiscTypeOfProfile(row.profile, 1)) << where;
        EXPECT_EQ(a.disc.Valid, 1) << where;
        EXPECT_EQ(a.disc.DiscStatus, row.discStatus) << where;
        EXPECT_EQ(a.disc.LastSessionStatus, row.lastSession) << where;
        EXPECT_EQ(a.disc.NumberOfSessions, row.numberOfSessions) << where;
        EXPECT_EQ(uint32_t{a.toc->NumberOfEntries}, static_cast<uint32_t>(row.tocEntries))
            << where; // a copy: the record is packed
        const bool writable = row.discStatus != C;
        if (writable) {
            EXPECT_EQ(a.next.TrackNumber, row.nextTrack) << where;
            EXPECT_EQ(a.disc.LastTrackInLastSession, row.nextTrack) << where;
            EXPECT_EQ(a.next.Blank, 1) << where;
            EXPECT_EQ(a.next.NextWritableAddressValid, 1) << where << ": the wizard needs it";
        }
        if (row.tocEntries > 0) {
            EXPECT_EQ(a.toc->LastTrackNumber, row.tocEntries) << where << ": no phantom track";
        }
    }
}

TEST(LibburnDiscs, ADiscTheDriveCannotNameIsUnknownNotAnEmptyTray) {
    StarBurnLibburnTesting_Disc d{};
    d.Status = burn::BURN_DISC_UNSUITABLE;
    d.Profile = 0;
    d.Role = 1;
    EXPECT_EQ(describe(d).type, DISC_TYPE_UNKNOWN);
    d.Status = burn::BURN_DISC_EMPTY;
    EXPECT_EQ(describe(d).type, DISC_TYPE_NO_MEDIA);
}

// How a write goes where the disc cannot take it as asked; the wizard asks for
// Track-At-Once with multisession on every DVD.
TEST(LibburnWrites, DiscsThatCannotBeWrittenAsAskedAreWrittenTheWayLibburnDocuments) {
    enum : uint8_t { TAO = 0, SAO = 1 };
    enum : uint8_t { AsAsked = 0, SessionAtOnce = 1, Closed = 2, Refused = 3 };
    constexpr uint32_t possible = 1, multi = 2, incremental = 4;
    const uint32_t blank = burn::BURN_DISC_BLANK, appendable = burn::BURN_DISC_APPENDABLE;
    struct Row {
        const char* what;
        uint32_t profile;
        uint32_t role;
        uint32_t status;
        bool claimed;
        uint32_t tao; // caps
        uint32_t sao;
        uint8_t method;
        uint8_t multiUsed;
        uint8_t change;
    };
    const Row rows[] = {
        {"DVD+R", 0x1b, 1, blank, false, possible | multi | incremental, possible, TAO, 1, AsAsked},
        {"CD-R", 0x09, 1, blank, false, possible | multi | incremental, possible | multi, TAO, 1,
         AsAsked},
        {"DVD-R with incremental streaming", 0x11, 1, blank, false, possible | multi | incremental,
         possible, TAO, 1, AsAsked},
        {"DVD+RW", 0x1a, 1, blank, false, possible | incremental, possible, TAO, 0, AsAsked},
        {"DVD-RAM", 0x12, 1, blank, false, possible | incremental, possible, TAO, 0, AsAsked},
        {"DVD-RW restricted overwrite", 0x13, 1, blank, false, possible | incremental, possible,
         TAO, 0, AsAsked},
        {"DVD+RW DL", 0x2a, 1, blank, false, possible | incremental, possible, TAO, 0, AsAsked},
        {"BD-RE", 0x43, 1, blank, false, possible | incremental, possible, TAO, 0, AsAsked},
        {"random-access file", 0xffff, 2, blank, false, possible | incremental, possible, TAO, 0,
         AsAsked},
        {"write-only file", 0xffff, 5, blank, false, possible | incremental, possible, TAO, 0,
         AsAsked},
        {"fast-blanked DVD-RW", 0x14, 1, blank, false, 0, possible, SAO, 0, SessionAtOnce},
        {"DVD-R, drive only claims incremental", 0x11, 1, blank, true,
         possible | multi | incremental, possible, SAO, 0, SessionAtOnce},
        {"appendable DVD-R", 0x11, 1, appendable, false, possible | multi | incremental, 0, TAO, 1,
         AsAsked},
        {"DVD-R DL, no incremental", 0x15, 1, blank, false, 0, possible, SAO, 0, SessionAtOnce},
        {"DVD-R DL, incremental", 0x15, 1, blank, false, possible | incremental, possible, TAO, 0,
         Closed},
        {"sequential target", 0xffff, 3, blank, false, possible | incremental, possible, TAO, 0,
         Refused},
    };
    for (const Row& row : rows) {
        const uint32_t caps[4] = {row.tao, row.sao, row.sao, 0};
        uint8_t method = 9, multiUsed = 9;
        const uint8_t change = StarBurnLibburnTesting_PlanWrite(
            TAO, 1, row.profile, row.role, row.status, row.claimed, caps, &method, &multiUsed);
        EXPECT_EQ(change, row.change) << row.what;
        if (change != Refused) {
            EXPECT_EQ(method, row.method) << row.what;
            EXPECT_EQ(multiUsed, row.multiUsed) << row.what;
        }
    }
}
