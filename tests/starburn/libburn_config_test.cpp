// The libburn backend's configuration and its disc-type table: the switch for
// real drives, drives that cannot be used, and the profile of every kind of
// medium libburn reports.
#include "starburn/libburn/sbLibburnTesting.h"
#include "tests/starburn/libburn_tsan.h"
#include "tests/starburn/sbTestSupport.h"

#include <cstdlib>

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
    StarBurn_Destroy(&g);
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
    ASSERT_EQ(start(std::string(kOneRecorder) +
                    "[Libburn]\nRealDrives = perhaps\nDevices = sr0\nSpeed = 4\n\n"
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
          "\"CdRom99\" is not a device name", "[Drive dev] does not name a device file"}) {
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
