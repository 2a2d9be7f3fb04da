// SPDX-License-Identifier: GPL-2.0-or-later
// Configuration files, the state folder and what becomes of bad ones.
#include "tests/starburn/sbTestSupport.h"

#include <cstring>
#include <unistd.h>

using namespace sbtest;

namespace {

class Configuration : public ::testing::Test {
protected:
    void SetUp() override {
        stateDir = dir.file("state");
        ::setenv("STARBURN_STATE_DIR", stateDir.c_str(), 1);
        ::unsetenv("STARBURN_CONFIG");
        ::unsetenv("STARBURN_TIME_FACTOR");
    }
    void TearDown() override {
        StarBurn_DownShut();
        ::unsetenv("STARBURN_STATE_DIR");
        ::unsetenv("STARBURN_CONFIG");
        ::unsetenv("STARBURN_TIME_FACTOR");
    }

    uint8_t startWith(const std::string& text) {
        configPath = dir.file("starburn.ini");
        writeText(configPath, text);
        std::memset(startText, 0, sizeof startText);
        return StarBurn_UpStartEx(configPath.c_str(), startText, sizeof startText);
    }

    std::vector<std::string> deviceNames() {
        std::vector<std::string> names;
        for (int n = 0; n <= 20; ++n) {
            const std::string name = "CdRom" + std::to_string(n);
            void* g = nullptr;
            Report r;
            if (StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                    nullptr, nullptr, name.c_str(),
                                                    1) == SB_EXCEPTION_NONE) {
                char vendor[64], product[64], revision[64];
                uint32_t size = 0;
                StarBurn_CdvdBurnerGrabber_GetDeviceInformation(g, vendor, product, revision,
                                                                &size);
                names.push_back(name + "=" + product);
                StarBurn_Destroy(&g);
            }
        }
        return names;
    }

    bool mentions(const std::string& what) const {
        return std::string(startText).find(what) != std::string::npos;
    }

    TempDir dir;
    std::string stateDir;
    std::string configPath;
    char startText[4096] = {};
};

} // namespace

TEST_F(Configuration, AMalformedFileNamesFileLineAndProblemAndTheGoodRecordersStart) {
    ASSERT_EQ(startWith("[Virtual]\n"                    // 1
                        "TimeFactor = fast\n"            // 2
                        "\n"                             // 3
                        "[Recorder good]\n"              // 4
                        "Product = Good One\n"           // 5
                        "Disc = CD-R\n"                  // 6
                        "[Recorder bad]\n"               // 7
                        "Address = 1:2:3\n"              // 8
                        "this line has no equals sign\n" // 9
                        "[Recorder ../../escape]\n"      // 10
                        "Product = Escapee\n"            // 11
                        "[Mystery]\n"                    // 12
                        "[Recorder typo]\n"              // 13
                        "Prodcut = Typo\n"               // 14
                        "Disc = DVD-RAMBO\n"             // 15
                        "[Recorder Ejected]\n"),         // 16
              SB_EXCEPTION_NONE);
    EXPECT_TRUE(mentions(configPath + ":2: TimeFactor")) << startText;
    EXPECT_TRUE(mentions(configPath + ":8: Address")) << startText;
    EXPECT_TRUE(mentions(configPath + ":9: expected 'key = value'")) << startText;
    EXPECT_TRUE(mentions(configPath + ":10: recorder name \"../../escape\" is not valid"))
        << startText;
    EXPECT_TRUE(mentions(configPath + ":12: unknown section [Mystery]")) << startText;
    EXPECT_TRUE(mentions(configPath + ":14: unknown setting \"Prodcut\"")) << startText;
    EXPECT_TRUE(mentions(configPath + ":15: Disc: \"DVD-RAMBO\" is not a disc kind")) << startText;
    EXPECT_TRUE(mentions(configPath + ":16: recorder name \"Ejected\" is not valid")) << startText;
    EXPECT_EQ(deviceNames(), (std::vector<std::string>{"CdRom0=Good One"}));

    // Nothing was created for the refused names, inside or outside the state folder.
    EXPECT_TRUE(fs::exists(stateDir + "/good"));
    EXPECT_FALSE(fs::exists(stateDir + "/bad"));
    EXPECT_FALSE(fs::exists(dir.file("escape")));
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escape"));
}

TEST_F(Configuration, TheProblemTextIsCutToTheCallersBuffer) {
    configPath = dir.file("starburn.ini");
    writeText(configPath, "[Nope]\n[Nope either]\n");
    struct {
        char text[16];
        char guard[4];
    } small;
    std::memset(&small, 'G', sizeof small);
    ASSERT_EQ(StarBurn_UpStartEx(configPath.c_str(), small.text, sizeof small.text),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(std::strlen(small.text), 15u);
    EXPECT_EQ(std::string(small.guard, 4), "GGGG");
}

TEST_F(Configuration, NamesAddressesAndLettersAreUniqueOverAllRecorders) {
    ASSERT_EQ(startWith("[Virtual]\nBuiltInRecorders = yes\n"
                        "[Recorder clash-name]\nDeviceName = CdRom1\n"
                        "[Recorder clash-address]\nAddress = 1:0:2:0\n"
                        "[Recorder clash-letter]\nDriveLetter = e\n"
                        "[Recorder extra]\nProduct = Extra\nDriveLetter = none\n"),
              SB_EXCEPTION_NONE);
    EXPECT_TRUE(mentions("\"clash-name\": the device name CdRom1 is taken")) << startText;
    EXPECT_TRUE(mentions("\"clash-address\": the SCSI address 1:0:2:0 is taken")) << startText;
    EXPECT_TRUE(mentions("\"clash-letter\": the drive letter E: is taken")) << startText;
    const auto names = deviceNames();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[3], "CdRom3=Extra");

    // The extra recorder got the next free address and no drive letter.
    void* g = nullptr;
    Report r;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Create(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                nullptr, nullptr, 1, 0, 3, 0, 1),
              SB_EXCEPTION_NONE);
    StarBurn_Destroy(&g);
    char name[8];
    EXPECT_EQ(StarBurn_GetDeviceNameByDeviceAddress(1, 0, 3, 0, name), SB_EXCEPTION_NO_DEVICE);
    EXPECT_EQ(StarBurn_GetDeviceNameByDeviceAddress(1, 0, 0, 0, name), SB_EXCEPTION_NONE);
    EXPECT_STREQ(name, "\\\\.\\E:");
}

TEST_F(Configuration, AConfigurationThatCannotBeReadStopsTheStart) {
    char text[1024] = {};
    const std::string missing = dir.file("none.ini");
    EXPECT_EQ(StarBurn_UpStartEx(missing.c_str(), text, sizeof text), SB_EXCEPTION_CONFIGURATION);
    EXPECT_NE(std::string(text).find(missing), std::string::npos) << text;
    EXPECT_NE(std::string(text).find("No such file"), std::string::npos) << text;

    EXPECT_EQ(StarBurn_UpStartEx(dir.path().c_str(), text, sizeof text),
              SB_EXCEPTION_CONFIGURATION);
    EXPECT_NE(std::string(text).find("not a regular file"), std::string::npos) << text;

    writeText(dir.file("huge.ini"), std::string(2 * 1024 * 1024, ';'));
    EXPECT_EQ(StarBurn_UpStartEx(dir.file("huge.ini").c_str(), text, sizeof text),
              SB_EXCEPTION_CONFIGURATION);
    EXPECT_NE(std::string(text).find("too large"), std::string::npos) << text;

    // The failed starts left the library stopped.
    void* g = nullptr;
    Report r;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom0", 1),
              SB_EXCEPTION_NOT_STARTED);
}

TEST_F(Configuration, TheEnvironmentNamesTheConfigurationWhenTheCallerDoesNot) {
    writeText(dir.file("env.ini"), "[Recorder from-env]\nProduct = From Env\n");
    ::setenv("STARBURN_CONFIG", dir.file("env.ini").c_str(), 1);
    char text[1024] = {};
    ASSERT_EQ(StarBurn_UpStartEx(nullptr, text, sizeof text), SB_EXCEPTION_NONE) << text;
    EXPECT_EQ(deviceNames(), (std::vector<std::string>{"CdRom0=From Env"}));
    StarBurn_DownShut();

    ::setenv("STARBURN_TIME_FACTOR", "slow", 1);
    ASSERT_EQ(StarBurn_UpStartEx(nullptr, text, sizeof text), SB_EXCEPTION_NONE) << text;
    EXPECT_NE(std::string(text).find("STARBURN_TIME_FACTOR"), std::string::npos) << text;
}

TEST_F(Configuration, AStateFolderThatCannotBeWrittenStopsTheStart) {
    char text[1024] = {};
    // A file where the folder should be.
    writeText(dir.file("plain"), "x");
    ::setenv("STARBURN_STATE_DIR", dir.file("plain").c_str(), 1);
    EXPECT_EQ(StarBurn_UpStartEx(nullptr, text, sizeof text), SB_EXCEPTION_FILE_ERROR);
    EXPECT_NE(std::string(text).find(dir.file("plain")), std::string::npos) << text;

    if (::geteuid() != 0) { // root writes everywhere
        fs::create_directories(dir.file("readonly"));
        fs::permissions(dir.file("readonly"), fs::perms::owner_read | fs::perms::owner_exec);
        ::setenv("STARBURN_STATE_DIR", dir.file("readonly").c_str(), 1);
        EXPECT_EQ(StarBurn_UpStartEx(nullptr, text, sizeof text), SB_EXCEPTION_FILE_ERROR);
        EXPECT_NE(std::string(text).find("cannot be written"), std::string::npos) << text;
        ::setenv("STARBURN_STATE_DIR", (dir.file("readonly") + "/below").c_str(), 1);
        EXPECT_EQ(StarBurn_UpStartEx(nullptr, text, sizeof text), SB_EXCEPTION_FILE_ERROR);
        EXPECT_NE(std::string(text).find("cannot be created"), std::string::npos) << text;
        fs::permissions(dir.file("readonly"), fs::perms::owner_all);
    }
}

TEST_F(Configuration, ADamagedStateFileLosesNoWrittenBytes) {
    const char* config = "[Virtual]\nTimeFactor = 0\n[Recorder w]\nDisc = CD-R\n";
    ASSERT_EQ(startWith(config), SB_EXCEPTION_NONE) << startText;
    void* g = nullptr;
    Report r;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom0", 0),
              SB_EXCEPTION_NONE);
    const auto bytes = patternBytes(9000, 3);
    writeBytes(dir.file("a.iso"), bytes);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                             r.failure, dir.file("a.iso").c_str(),
                                                             1, 0, 0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    StarBurn_Destroy(&g);
    StarBurn_DownShut();

    writeText(stateDir + "/w/disc.ini", "[Disc]\nType = Betamax\n");
    ASSERT_EQ(startWith(config), SB_EXCEPTION_NONE);
    EXPECT_TRUE(mentions("\"Betamax\" is not a disc kind")) << startText;
    EXPECT_TRUE(mentions("moved to")) << startText;
    // The bytes were kept among the ejected discs, and a blank is in the drive.
    std::vector<fs::path> kept;
    for (const auto& e : fs::directory_iterator(stateDir + "/ejected")) {
        kept.push_back(e.path());
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_NE(kept[0].filename().string().find("recovered"), std::string::npos);
    const auto keptBytes = readBytes(kept[0].string());
    ASSERT_GE(keptBytes.size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), keptBytes.begin()));
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom0", 1),
              SB_EXCEPTION_NONE);
    SB_DISC_INFORMATION info{};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscInformation(g, r.text, sizeof r.text, &r.status,
                                                            r.failure, &info),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_BLANK);
    StarBurn_Destroy(&g);
}

TEST_F(Configuration, RecorderSettingsAreChecked) {
    ASSERT_EQ(startWith("[Recorder a]\nDeviceName = CdRom99\n"
                        "[Recorder b]\nReads = CD-R\nWrites = none\nDisc = DVD+R\n"
                        "[Recorder c]\nDisc = CD-R\nDiscUsed = 10\n"
                        "[Recorder d]\nDisc = CD-R\nDiscState = complete\nDiscUsed = 999999999\n"
                        "[Recorder e]\nCDWriteSpeeds = 4, fast\n"
                        "[Recorder f]\nRegion = 1, 2\n"
                        "[Recorder g]\nBUP = maybe\n"
                        "[Recorder h]\nDisc = CD-R\nDiscState = appendable\nDiscUsed = 100\n"),
              SB_EXCEPTION_NONE);
    EXPECT_TRUE(mentions("CdRom99")) << startText;
    EXPECT_TRUE(mentions("cannot read the DVD+R disc")) << startText;
    EXPECT_TRUE(mentions("a blank disc has no used blocks")) << startText;
    EXPECT_TRUE(mentions("DiscUsed: \"999999999\"")) << startText;
    EXPECT_TRUE(mentions("\"fast\" is not a speed factor")) << startText;
    EXPECT_TRUE(mentions("Region is five numbers")) << startText;
    EXPECT_TRUE(mentions("BUP is no, supported or enabled")) << startText;
    // Only the appendable CD-R recorder is usable.
    ASSERT_EQ(deviceNames(), (std::vector<std::string>{"CdRom0=Virtual Recorder"}));
    void* g = nullptr;
    Report r;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom0", 1),
              SB_EXCEPTION_NONE);
    SB_TRACK_INFORMATION next{};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(g, r.text, sizeof r.text, &r.status,
                                                             r.failure, 255, &next),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(next.TrackNumber, 2);
    EXPECT_EQ(uint32_t{next.TrackStartAddress}, 100u);
    StarBurn_Destroy(&g);
}

TEST_F(Configuration, AskedForNamesAndAddressesWinOverGivenOnes) {
    ASSERT_EQ(startWith("[Recorder first]\nProduct = First\n"
                        "[Recorder second]\nProduct = Second\nDeviceName = CdRom0\n"
                        "Address = 1:0:0:0\n"),
              SB_EXCEPTION_NONE)
        << startText;
    EXPECT_STREQ(startText, "");
    EXPECT_EQ(deviceNames(), (std::vector<std::string>{"CdRom0=Second", "CdRom1=First"}));
}
