// SPDX-License-Identifier: GPL-2.0-or-later
// The speed list and the staged preparation, against a virtual writer.
#include "base/sbError.h"
#include "devices/sbDiscSpeedList.h"
#include "tests/engine/support/RecorderTest.h"

#include <gtest/gtest.h>

#include <thread>

using namespace enginetest;

namespace {

struct TSpeed {
    int32_t Factor;
    int32_t KBps;
    std::string Text;
    bool operator==(const TSpeed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TSpeed& speed) {
    return out << speed.Factor << "/" << speed.KBps << "/" << speed.Text;
}

class SpeedListTest : public RecorderTest {
protected:
    TsbDiscSpeedList speeds;
    std::vector<TSpeed> Entries() const {
        std::vector<TSpeed> entries;
        for (int k = 0; k < speeds.Count(); ++k) {
            const auto* item = speeds.Items(k);
            entries.push_back({item->SpeedInPoint, item->SpeedInSize, item->StrSpeed});
        }
        return entries;
    }
};

TEST_F(SpeedListTest, AnswersOfTheSameFactorAreFoldedIntoTheFirst) {
    OpenWriter("Disc = CD-R\nCDWriteSpeeds = 8, 16\nCDReadSpeeds = 24\n");
    burner.DiscType = DISC_TYPE_CDR;
    speeds.Fill(burner);
    // 16 requests; the drive answers 8x (1411 KB/s) up to 2112 and 16x from 2800 on.
    EXPECT_EQ(Entries(), (std::vector<TSpeed>{{8, 1411, "8.0x (1411 KB/sec)"},
                                              {16, 2822, "16.0x (2822 KB/sec)"}}));
    EXPECT_EQ(speeds.MaxWriteSpeed, 2822u);
    EXPECT_EQ(speeds.MaxReadSpeed, 4234u);
    EXPECT_EQ(speeds.FindBySpeedInPoint(16), speeds.Items(1));
    EXPECT_EQ(speeds.FindBySpeedInPoint(4), nullptr);
    // Nothing is logged inside the loop.
    EXPECT_EQ(LogMessages(),
              (std::vector<std::string>{
                  "StarBurn_CdvdBurnerGrabber_TestUnitReady",
                  "StarBurn_CdvdBurnerGrabber_GetDiscInformation",
                  "StarBurn_CdvdBurnerGrabber_SetSpeeds: ReadSpeed: 65535,WriteSpeed: 65535",
                  "StarBurn_CdvdBurnerGrabber_GetSpeeds",
                  "StarBurn_CdvdBurnerGrabber_GetSpeeds: CurrentReadSpeed: "
                  "4234,MaximumReadSpeed: 4234,CurrentWriteSpeed: 2822,MaximumWriteSpeed: 2822"}));
}

TEST_F(SpeedListTest, ASpeedBelowTheUnitHasFactorZero) {
    OpenWriter("Disc = CD-R\nCDWriteSpeeds = 0.85, 4\n");
    burner.DiscType = DISC_TYPE_CDR;
    speeds.Fill(burner);
    EXPECT_EQ(Entries(),
              (std::vector<TSpeed>{{0, 150, "0.0x (150 KB/sec)"}, {4, 706, "4.0x (706 KB/sec)"}}));
}

TEST_F(SpeedListTest, DvdPlusRDoubleLayerUsesTheDvdTableAndDvdMinusRDoubleLayerTheCdTable) {
    OpenWriter("Disc = DVD+R DL\nDVDWriteSpeeds = 2.4, 8\n");
    burner.DiscType = DISC_TYPE_DVDPLUSR_DL;
    speeds.Fill(burner);
    EXPECT_EQ(Entries(), (std::vector<TSpeed>{{2, 3324, "2.0x (3324 KB/sec)"},
                                              {8, 11080, "8.0x (11080 KB/sec)"}}));

    // The same drive's answers measured against the CD unit, as a DVD-R DL disc is.
    burner.DiscType = DISC_TYPE_DVDR_DL;
    speeds.Fill(burner);
    EXPECT_EQ(Entries(), (std::vector<TSpeed>{{18, 3324, "18.0x (3324 KB/sec)"}}));
}

// A speed the drive refuses is not listed: what it answers then is the speed
// it was left at, not one it took.
TEST_F(SpeedListTest, ARefusedSpeedIsNotListed) {
    OpenWriter("Disc = CD-R\nCDWriteSpeeds = 8, 16\nCDReadSpeeds = 24\n");
    burner.DiscType = DISC_TYPE_CDR;
    // The fault is armed while the setting before the first request is held.
    ASSERT_EQ(StarBurnTesting_HoldCall("StarBurn_CdvdBurnerGrabber_SetSpeeds", kWriterName), 0);
    std::thread arm([] {
        if (StarBurnTesting_AwaitHeldCall(10000) == SB_EXCEPTION_NONE) {
            StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_SetSpeeds", kWriterName, 8, 22,
                                     "Refused", 1);
        }
        StarBurnTesting_ReleaseHeldCall();
    });
    speeds.Fill(burner);
    arm.join();
    EXPECT_EQ(Entries(), (std::vector<TSpeed>{{8, 1411, "8.0x (1411 KB/sec)"},
                                              {16, 2822, "16.0x (2822 KB/sec)"}}));
    EXPECT_TRUE(LogContains("StarBurn_CdvdBurnerGrabber_SetSpeeds() failed, exception 8, status "
                            "22, text \"Refused\""));
}

TEST_F(SpeedListTest, FailuresOfTheUnitTestAndDiscInformationAreOnlyLogged) {
    OpenWriter();
    Fail("StarBurn_CdvdBurnerGrabber_TestUnitReady", 7, 2, "Not ready");
    Fail("StarBurn_CdvdBurnerGrabber_GetDiscInformation", 9, 3, "No disc information");
    speeds.Fill(burner);
    EXPECT_EQ(speeds.Count(), 4); // 2.4x, 4x, 8x and 16x: the list is still built
    const auto log = LogMessages();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[1], "StarBurn_CdvdBurnerGrabber_TestUnitReady() failed, exception 7, status 2, "
                      "text \"Not ready\"");
    EXPECT_EQ(log[3], "StarBurn_CdvdBurnerGrabber_GetDiscInformation() failed, exception 9, "
                      "status 3, text \"No disc information\"");
}

TEST_F(SpeedListTest, AFailedFillLeavesAnEmptyList) {
    OpenWriter();
    speeds.Fill(burner);
    ASSERT_GT(speeds.Count(), 0);
    Fail("StarBurn_CdvdBurnerGrabber_SetSpeeds", 8, 22, "Speed refused");
    const std::string text = "StarBurn_CdvdBurnerGrabber_SetSpeeds() failed, exception 8, status "
                             "22, text \"Speed refused\"";
    try {
        speeds.Fill(burner);
        FAIL() << "Fill succeeded";
    } catch (const EsbError& error) {
        EXPECT_EQ(error.what(), text);
    }
    EXPECT_EQ(speeds.Count(), 0);
    EXPECT_EQ(burner.StatusText, text);
    EXPECT_EQ(LogMessages().back(), text);

    StarBurnTesting_ClearFaults();
    burner.StatusText = "kept";
    Fail("StarBurn_CdvdBurnerGrabber_GetSpeeds", 8, 5, "No speeds");
    EXPECT_THROW(speeds.Fill(burner), EsbError);
    EXPECT_EQ(speeds.Count(), 0);
    EXPECT_EQ(burner.StatusText, "kept");
    EXPECT_EQ(LogMessages().back(), "StarBurn_CdvdBurnerGrabber_GetSpeeds() failed, exception 8, "
                                    "status 5, text \"No speeds\"");
}

// ---------------------------------------------------------------------------
// The staged preparation

const std::vector<std::string> kAllStagesLog = {
    "StarBurn_CdvdBurnerGrabber_TestUnitReady",
    "StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes",
    "Track-At-Once: Yes, Session-At-Once: Yes, Disc-At-Once PQ: Yes, Disc-At-Once raw P-W: Yes",
    "StarBurn_CdvdBurnerGrabber_GetBUP",
    "BUP (Buffer Underrun Protection) Enabled: No, Supported: Yes",
    "StarBurn_CdvdBurnerGrabber_SetBUP",
    "StarBurn_CdvdBurnerGrabber_SetSpeeds",
    "StarBurn_CdvdBurnerGrabber_GetSpeeds",
    "StarBurn_CdvdBurnerGrabber_GetSpeeds: CurrentReadSpeed: 22160,MaximumReadSpeed: "
    "22160,CurrentWriteSpeed: 5540,MaximumWriteSpeed: 22160",
    "StarBurn_CdvdBurnerGrabber_GetTrackInformation: (for TRACK_NUMBER_INVISIBLE)",
    "Track Blank: Yes, NWA valid: Yes, free LBs 2295104, track \u2116 1",
    "StarBurn_CdvdBurnerGrabber_GetDiscInformation",
    "Disc erasable: No, Disc status: 0x00, Last session status: 0x00, Disc type: 13",
    "StarBurn_CdvdBurnerGrabber_SendOPC",
};

const std::vector<TMessage> kAllStagesMessages = {
    {"2 MBs of cache will be used during burn process", litInfo},
    {"Testing unit ready", litInfo},
    {"Track-At-Once: Yes, Session-At-Once: Yes, Disc-At-Once PQ: Yes, Disc-At-Once raw P-W: Yes",
     litInfo},
    {"Getting BUP (Buffer Underrun Protection) support", litInfo},
    {"BUP (Buffer Underrun Protection) Enabled: No, Supported: Yes", litInfo},
    {"Enabling BUP (Buffer Underrun Protection)", litInfo},
    {"Setting CD/DVD speeds", litInfo},
    {"Getting current CD/DVD speeds", litInfo},
    {"Current read speed 22160 KBps (22160 maximum)", litInfo},
    {"Current write speed 5540 KBps (22160 maximum)", litInfo},
    {"Getting track information", litInfo},
    {"Track Blank: Yes, NWA valid: Yes, free LBs 2295104, track \u2116 1", litInfo},
    {"Getting disc information", litInfo},
    {"Disc erasable: No, Disc status: 0x00, Last session status: 0x00, Disc type: 13", litInfo},
    {"Sending OPC (Optimum Power Calibration)", litInfo},
};

class StagedActionTest : public RecorderTest {
protected:
    TsbStagedAction action;
    void SetUp() override {
        RecorderTest::SetUp();
        OpenWriter();
        burner.WriteSpeed = 5540; // 4x DVD
        burner.SendOPC = true;
        // The cache line tells the drive's buffer, rounded up to whole MB.
        burner.DeviceInfo.BufferSize = 1536 * 1024;
    }
    // Runs the action and returns the error text it raised ("" when none).
    std::string RunForError() {
        try {
            Run(action);
        } catch (const EsbError& error) {
            return error.what();
        }
        return {};
    }
};

TEST_F(StagedActionTest, EveryStageReportsItsLines) {
    TEventRecorder events;
    Run(action);
    EXPECT_EQ(messages.Messages(), kAllStagesMessages);
    EXPECT_EQ(LogMessages(), kAllStagesLog);
    EXPECT_EQ(events.Progress(), std::vector<int32_t>{0});
    EXPECT_EQ(burner.StatusText, "Sending OPC (Optimum Power Calibration)");
    // The burner's messages now reach the sheet through the action.
    ASSERT_TRUE(burner.OnMessage);
    burner.OnMessage(&burner, "from the burn thread", litWarning);
    EXPECT_EQ(messages.Messages().back(), (TMessage{"from the burn thread", litWarning}));
}

TEST_F(StagedActionTest, WithoutDetailsTheSheetHearsNothingButTheLogIsTheSame) {
    list.ReportDetails = false;
    Run(action);
    EXPECT_TRUE(messages.Messages().empty());
    EXPECT_EQ(LogMessages(), kAllStagesLog);
}

TEST_F(StagedActionTest, WithoutPowerCalibrationStageTenIsSkipped) {
    burner.SendOPC = false;
    Run(action);
    EXPECT_EQ(messages.Messages().back().Text,
              "Disc erasable: No, Disc status: 0x00, Last session status: 0x00, Disc type: 13");
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_SendOPC"));
}

// A drive that refuses power calibration is never taken as calibrated: the
// refusal is a warning and the burn goes on, or, when the user asked for the
// calibration to be required, the run stops before anything is written.
TEST_F(StagedActionTest, ARefusedPowerCalibrationWarnsOrStopsAsTheUserAsked) {
    Fail("StarBurn_CdvdBurnerGrabber_SendOPC", 8, 1, "No OPC");
    const std::string text =
        "StarBurn_CdvdBurnerGrabber_SendOPC() failed, exception 8, status 1, text \"No OPC\"";
    list.ReportDetails = false;
    EXPECT_EQ(RunForError(), "");
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].Kind, litWarning);
    EXPECT_EQ(messages.Messages()[0].Text.rfind(text, 0), 0u) << messages.Messages()[0].Text;
    EXPECT_EQ(LogMessages().back(), text);

    ClearLog();
    burner.RequireOPC = true;
    EXPECT_EQ(RunForError(), text);
    EXPECT_EQ(LogMessages().back(), text);
}

struct TStop {
    const char* Function;
    const char* LastLogLine; // the call that fails, the line before the failure text
    const char* NextCall;    // the first call of a later stage, never made
};

class FailStopTest : public StagedActionTest, public ::testing::WithParamInterface<TStop> {};

TEST_P(FailStopTest, StopsTheRunWithTheFailureText) {
    const TStop stop = GetParam();
    Fail(stop.Function, 9, 42, "It went wrong");
    const std::string text =
        std::string(stop.Function) + "() failed, exception 9, status 42, text \"It went wrong\"";
    EXPECT_EQ(RunForError(), text);
    EXPECT_EQ(burner.StatusText, text);
    const auto log = LogMessages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], stop.LastLogLine);
    EXPECT_EQ(log.back(), text);
    EXPECT_FALSE(LogContains(stop.NextCall));
    // The sheet hears of it from whoever catches the error, not from the action.
    for (const auto& message : messages.Messages()) {
        EXPECT_EQ(message.Kind, litInfo);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stages, FailStopTest,
    ::testing::Values(
        TStop{"StarBurn_CdvdBurnerGrabber_TestUnitReady",
              "StarBurn_CdvdBurnerGrabber_TestUnitReady",
              "StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes"},
        TStop{"StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes",
              "StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes",
              "StarBurn_CdvdBurnerGrabber_GetBUP"},
        TStop{"StarBurn_CdvdBurnerGrabber_GetBUP", "StarBurn_CdvdBurnerGrabber_GetBUP",
              "StarBurn_CdvdBurnerGrabber_SetBUP"},
        TStop{"StarBurn_CdvdBurnerGrabber_SetBUP", "StarBurn_CdvdBurnerGrabber_SetBUP",
              "StarBurn_CdvdBurnerGrabber_SetSpeeds"},
        TStop{"StarBurn_CdvdBurnerGrabber_GetSpeeds", "StarBurn_CdvdBurnerGrabber_GetSpeeds",
              "StarBurn_CdvdBurnerGrabber_GetTrackInformation: (for TRACK_NUMBER_INVISIBLE)"},
        TStop{"StarBurn_CdvdBurnerGrabber_GetDiscInformation",
              "StarBurn_CdvdBurnerGrabber_GetDiscInformation",
              "StarBurn_CdvdBurnerGrabber_SendOPC"}),
    [](const auto& info) { return std::string(info.param.Function).substr(27); });

TEST_F(StagedActionTest, AFailingSetSpeedsWarnsAndTheRunGoesOn) {
    Fail("StarBurn_CdvdBurnerGrabber_SetSpeeds", 3, 22, "Bad speed");
    list.ReportDetails = false;
    EXPECT_EQ(RunForError(), "");
    const std::string text = "StarBurn_CdvdBurnerGrabber_SetSpeeds() failed, exception 3, status "
                             "22, text \"Bad speed\"";
    EXPECT_EQ(messages.Messages(), (std::vector<TMessage>{{text, litWarning}}));
    const auto log = LogFrom(LogMessages(), "StarBurn_CdvdBurnerGrabber_SetSpeeds");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], text);
    EXPECT_EQ(log[2], "StarBurn_CdvdBurnerGrabber_GetSpeeds");
}

TEST_F(StagedActionTest, AFailingTrackInformationWarnsAndStillReportsTheTrack) {
    Fail("StarBurn_CdvdBurnerGrabber_GetTrackInformation", 9, 7, "No track");
    EXPECT_EQ(RunForError(), "");
    const std::string text = "StarBurn_CdvdBurnerGrabber_GetTrackInformation() failed, exception "
                             "9, status 7, text \"No track\"";
    const auto all = messages.Messages();
    const auto at = std::find(all.begin(), all.end(), TMessage{text, litWarning});
    ASSERT_NE(at, all.end());
    ASSERT_NE(at + 1, all.end());
    EXPECT_EQ(*(at + 1),
              (TMessage{"Track Blank: No, NWA valid: No, free LBs 0, track \u2116 0", litInfo}));
    EXPECT_TRUE(LogContains("StarBurn_CdvdBurnerGrabber_GetDiscInformation"));
}

TEST_F(StagedActionTest, ARecorderWithoutUnderrunProtectionSkipsEnablingIt) {
    StopLibrary();
    burner.CloseDevice();
    OpenWriter("BUP = no\n");
    Run(action);
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_SetBUP"));
    EXPECT_TRUE(LogContains("BUP (Buffer Underrun Protection) Enabled: No, Supported: No"));
    const auto texts = messages.Texts();
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "Enabling BUP (Buffer Underrun Protection)"),
              texts.end());
}

TEST_F(StagedActionTest, WithoutTheStateStageUnderrunProtectionIsNotTouched) {
    action.Stages = 1535 & ~stBUPState;
    Run(action);
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_GetBUP"));
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_SetBUP"));
}

TEST_F(StagedActionTest, AnImageIsBuiltOnlyWhenTheStageIsAskedFor) {
    // A tree handle from outside; the library answers for it.
    void* tree = nullptr;
    char text[1024] = {};
    uint32_t status = 0;
    const uint8_t created =
        StarBurn_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &status, nullptr, nullptr);
    burner.FileTree = created == 0 ? tree : reinterpret_cast<void*>(0x10);

    Run(action); // Stages 1535: no image
    EXPECT_FALSE(LogContains("StarBurn_ISO9660JolietFileTree_BuildImage"));

    action.Stages = sbAllStages;
    messages.Clear();
    ClearLog();
    burner.BootEnabled = true;
    burner.BootImage = (Folder() / "no-such-boot.img").string();
    const std::string error = RunForError();
    const auto log = LogMessages();
    if (created != 0) {
        // Without file trees in the library, the boot image is refused with its text.
        EXPECT_EQ(error, "StarBurn_ISO9660JolietFileTree_SetBootImage() failed, exception " +
                             std::to_string(burner.LastException) + ", status " +
                             std::to_string(burner.LastStatus) + ", text \"" + text + "\"\\n");
    } else {
        EXPECT_NE(error.find("StarBurn_ISO9660JolietFileTree_SetBootImage() failed"),
                  std::string::npos);
    }
    EXPECT_TRUE(
        LogContains("StarBurn_ISO9660JolietFileTree_SetBootImage: BootImage: " + burner.BootImage));
    EXPECT_EQ(log.back(), error);
    EXPECT_EQ(messages.Texts().back(), "Building ISO image");
    if (created == 0) {
        StarBurn_Destroy(&burner.FileTree);
    }
    burner.FileTree = nullptr;
}

} // namespace
