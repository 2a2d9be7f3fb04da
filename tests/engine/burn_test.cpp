// SPDX-License-Identifier: GPL-2.0-or-later
// The burn-image action: the write of every image-file mode, cancel, a failed
// write, and the whole road of a burn without windows.
#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDiscSpeedList.h"
#include "tests/engine/support/RecorderTest.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

constexpr uint64_t kImageSize = 2 * 1024 * 1024; // whole 2048-byte sectors

std::string LastEjectedImage(const char* device) {
    char path[4096] = {};
    if (StarBurnTesting_GetLastEjectedImage(device, path, sizeof path) != 0) {
        return {};
    }
    return path;
}

const char* ModeName(uint8_t mode) {
    switch (mode) {
    case wmDiscAtOncePQFromFile:
        return "Disc-At-Once PQ (from file)";
    case wmDiscAtOnceRawPWFromFile:
        return "Disc-At-Once raw P-W (from file)";
    case wmTrackAtOnceFromFile:
        return "Track-At-Once (from file)";
    default:
        return "Session-At-Once (from file)";
    }
}

const char* ModeFunction(uint8_t mode) {
    switch (mode) {
    case wmDiscAtOncePQFromFile:
        return "StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile";
    case wmDiscAtOnceRawPWFromFile:
        return "StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile";
    case wmTrackAtOnceFromFile:
        return "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile";
    default:
        return "StarBurn_CdvdBurnerGrabber_SessionAtOnce";
    }
}

class BurnActionTest : public RecorderTest {
protected:
    TsbBurnAtOnceToCDDVDAction action;
    std::filesystem::path image;

    void PrepareBurn(uint8_t mode, bool testWrite, const std::string& extra = {}) {
        OpenWriter(extra);
        burner.LockDevice();
        ClearLog();
        image = Folder() / "source.iso";
        WriteImage(image, kImageSize);
        burner.WriteMode = mode;
        burner.TestWrite = testWrite;
        burner.WriteSpeed = 5540;
        list.Options.SourceIsFile = 1;
        list.Options.SourceFileName = image.string();
    }
};

class BurnModeTest : public BurnActionTest,
                     public ::testing::WithParamInterface<std::tuple<uint8_t, bool>> {};

TEST_P(BurnModeTest, WritesTheImageAndFinishesTheDisc) {
    const auto [mode, testWrite] = GetParam();
    PrepareBurn(mode, testWrite);
    TEventRecorder events;
    list.ReportDetails = false;
    Run(action);

    const bool closes = mode == wmTrackAtOnceFromFile && !testWrite;
    std::vector<TMessage> expected = {
        {std::string("Burning mode: ") + ModeName(mode), litInfo},
        {"Burning started", litInfo},
    };
    if (closes) {
        expected.push_back({"Closing session", litInfo});
    }
    expected.push_back({"Eject disc", litInfo});
    expected.push_back({"Burning completed", litInfo});
    EXPECT_EQ(messages.Messages(), expected);
    EXPECT_EQ(burner.StatusText, "Eject disc");
    EXPECT_EQ(burner.SourceFiles, std::vector<std::string>{image.string()});
    EXPECT_EQ(+burner.FileSourceLayout.TrackCount, 1u);
    EXPECT_EQ(std::string(burner.FileSourceLayout.Tracks[0].FileName), image.string());

    const auto log = LogFrom(LogMessages(), "Source file name: " + image.string());
    std::vector<std::string> expectedLog = {"Source file name: " + image.string(),
                                            ModeFunction(mode)};
    if (closes) {
        expectedLog.push_back("StarBurn_CdvdBurnerGrabber_CloseSession");
    }
    expectedLog.push_back("StarBurn_CdvdBurnerGrabber_Release");
    expectedLog.push_back("StarBurn_CdvdBurnerGrabber_Eject");
    EXPECT_EQ(log, expectedLog);

    // The ejected disc holds the image; a test write stores nothing, so no
    // written disc is filed away.
    const std::string ejected = LastEjectedImage(kWriterName);
    if (testWrite) {
        EXPECT_TRUE(ejected.empty() || ReadFile(ejected).empty()) << ejected;
    } else {
        ASSERT_FALSE(ejected.empty());
        EXPECT_TRUE(ReadFile(ejected) == ReadFile(image)) << "the ejected disc differs";
    }
    // Progress: 0 from the action, then the write's own percentages, ending
    // with 100 (before the session is closed, or from the write itself).
    const auto progress = events.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(events.CancelEnabled(), (std::vector<bool>{true, false}));
}

INSTANTIATE_TEST_SUITE_P(
    ImageFileModes, BurnModeTest,
    ::testing::Combine(::testing::Values(wmDiscAtOncePQFromFile, wmDiscAtOnceRawPWFromFile,
                                         wmTrackAtOnceFromFile, wmSessionAtOnceFromFile),
                       ::testing::Bool()),
    [](const auto& info) {
        return std::string("Mode") + std::to_string(std::get<0>(info.param)) +
               (std::get<1>(info.param) ? "TestWrite" : "");
    });

TEST_F(BurnActionTest, AWriteFailureIsRaisedWithTheLibraryTextAndNothingIsEjected) {
    PrepareBurn(wmDiscAtOncePQFromFile, false);
    ASSERT_EQ(StarBurnTesting_FailWriteAt(kWriterName, 65536, 0), 0);
    std::string error;
    try {
        Run(action);
    } catch (const EsbError& e) {
        error = e.what();
    }
    ASSERT_EQ(error.rfind("StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile() failed, exception 12, "
                          "status ",
                          0),
              0u)
        << error;
    EXPECT_EQ(error, burner.StatusText);
    EXPECT_EQ(burner.LastException, SB_EXCEPTION_WRITE_ERROR);
    EXPECT_FALSE(burner.WriteStarted);
    EXPECT_EQ(LogMessages().back(), error);
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_Eject"));
    const auto texts = messages.Texts();
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "Eject disc"), texts.end());
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "Burning completed"), texts.end());
}

TEST_F(BurnActionTest, CancelDuringTheWriteEndsItWithAFailure) {
    PrepareBurn(wmTrackAtOnceFromFile, false);
    // 2 MB at 1 MB/s: the write runs long enough for the wait to offer Cancel.
    ASSERT_EQ(StarBurnTesting_SlowWrite(kWriterName, 1024 * 1024), 0);
    TEventRecorder events;
    bool pressed = false;
    OnProcessMessages = [&] {
        if (!pressed && burner.WriteStarted) {
            pressed = true;
            burner.Cancel();
        }
    };
    std::string error;
    try {
        Run(action);
    } catch (const EsbError& e) {
        error = e.what();
    }
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(burner.Cancelled);
    EXPECT_EQ(
        error.rfind("StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile() failed, exception 11, ", 0),
        0u)
        << error;
    EXPECT_TRUE(LogContains("StarBurn_CdvdBurnerGrabber_Cancel"));
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_CloseSession"));
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_Eject"));
    EXPECT_EQ(events.CancelEnabled(), (std::vector<bool>{true, false}));
}

TEST_F(BurnActionTest, ASourcePathTooLongForTheLayoutFailsBeforeTheWrite) {
    PrepareBurn(wmDiscAtOncePQFromFile, false);
    list.Options.SourceFileName = "/" + std::string(SB_FILE_SOURCE_PATH_SIZE, 'x') + ".iso";
    EXPECT_THROW(Run(action), EsbError);
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile"));
    EXPECT_TRUE(burner.SourceFiles.empty());
}

TEST_F(BurnActionTest, SessionAtOnceRefusesAPathTooLongForItsEntry) {
    PrepareBurn(wmSessionAtOnceFromFile, false);
    // Fits the Disc-At-Once layout (786) but not a session entry (263).
    const auto deep = Folder() / std::string(300, 'd');
    list.Options.SourceFileName = (deep / "x.iso").string();
    try {
        Run(action);
        FAIL() << "the burn succeeded";
    } catch (const EsbError& error) {
        EXPECT_NE(std::string(error.what()).find("too long"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_SessionAtOnce"));
}

TEST_F(BurnActionTest, AFailedEjectIsReportedAndTheBurnStillCompletes) {
    PrepareBurn(wmDiscAtOncePQFromFile, false);
    Fail("StarBurn_CdvdBurnerGrabber_Eject", 6, 16, "Tray stuck");
    Fail("StarBurn_CdvdBurnerGrabber_Release", 6, 16, "Still locked");
    list.ReportDetails = false;
    Run(action);
    const std::string release = "StarBurn_CdvdBurnerGrabber_Release() failed, exception 6, "
                                "status 16, text \"Still locked\"\\n";
    const std::string eject = "StarBurn_CdvdBurnerGrabber_Eject() failed, exception 6, status 16, "
                              "text \"Tray stuck\"";
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].Text, release);
    EXPECT_EQ(Boxes()[0].Kind, TsbMessageBoxKind::mbkError);
    const auto all = messages.Messages();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2], (TMessage{eject, litError}));
    EXPECT_EQ(all.back(), (TMessage{"Burning completed", litInfo}));
    EXPECT_TRUE(LogContains(release));
    EXPECT_TRUE(LogContains(eject));
}

// A session left open is no finished burn: the run ends with an error that
// says what the disc is left as, and the finish window tells of an error.
TEST_F(BurnActionTest, AFailedCloseSessionFailsTheBurnAndNamesTheDiscsState) {
    PrepareBurn(wmTrackAtOnceFromFile, false);
    Fail("StarBurn_CdvdBurnerGrabber_CloseSession", 9, 4, "Cannot close");
    list.ReportDetails = false;
    std::string error;
    try {
        Run(action);
    } catch (const EsbError& e) {
        error = e.what();
    }
    EXPECT_NE(error.find("appendable"), std::string::npos) << error;
    EXPECT_NE(error.find("Cannot close"), std::string::npos) << error;
    EXPECT_FALSE(burner.WriteStarted);
    EXPECT_FALSE(action.Succeeded);
    EXPECT_TRUE(LogContains("StarBurn_CdvdBurnerGrabber_CloseSession() failed, exception 9, "
                            "status 4, text \"Cannot close\"\\n"));
    const auto texts = messages.Texts();
    EXPECT_EQ(texts, (std::vector<std::string>{"Burning mode: Track-At-Once (from file)",
                                               "Burning started", "Closing session"}));
}

TEST_F(BurnActionTest, LockAndOpenFailuresCarryTheLibraryText) {
    StartLibrary(kWriterConfiguration);
    burner.TransportType = ttSpti;
    burner.DeviceName = "CdRom9";
    try {
        burner.OpenDevice();
        FAIL() << "a missing device opened";
    } catch (const EsbError& error) {
        EXPECT_EQ(std::string(error.what())
                      .rfind("StarBurn_CdvdBurnerGrabber_Create() failed, exception 5, status ", 0),
                  0u)
            << error.what();
    }
    EXPECT_EQ(burner.Grabber, nullptr);

    burner.DeviceName = kWriterName;
    burner.OpenDevice();
    Fail("StarBurn_CdvdBurnerGrabber_Lock", 6, 16, "Busy", 1);
    burner.LockDevice();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].Text, "StarBurn_CdvdBurnerGrabber_Lock() failed, exception 6, status 16, "
                               "text \"Busy\"\\n");
    EXPECT_EQ(burner.StatusText, Boxes()[0].Text);

    // Opening again closes the device first.
    ClearLog();
    burner.TransportType = ttAspi;
    burner.DeviceAddress = TsbDeviceAddress{1, 2, 0, 1, 0};
    burner.OpenDevice();
    EXPECT_EQ(LogMessages(),
              (std::vector<std::string>{
                  "StarBurn_CdvdBurnerGrabber_Release", "StarBurn_Destroy: Grabber",
                  "StarBurn_CdvdBurnerGrabber_Create (before create)",
                  "StarBurn_CdvdBurnerGrabber_Create (after create): PortID:2,BusID:0,"
                  "TargetID:1,LUN:0"}));
}

// The whole road of a burn, as the wizard walks it, without a window.
class EndToEndTest : public LibraryTest {
protected:
    // Next: the device's facts go to the burner as the recorder sheet hands
    // them on, and it opens and locks the drive. The options sheet: the
    // speed list, its last entry chosen, and Track-At-Once.
    void OpenChosen(const TsbDeviceItem& chosen, TsbBurner& burner) {
        CopyDeviceChoice(chosen, chosen.TransportType, burner);
        burner.OpenDevice();
        burner.LockDevice();
        EXPECT_TRUE(Boxes().empty());
        TsbDiscSpeedList speeds;
        speeds.Fill(burner);
        ASSERT_GT(speeds.Count(), 0);
        const TsbDiscSpeedItem* speed = speeds.Items(speeds.Count() - 1);
        burner.SpeedFactor = speed->SpeedInPoint;
        burner.WriteSpeed = speed->SpeedInSize;
        burner.WriteMode = wmTrackAtOnceFromFile;
    }

    // The final sheet (of page pageIndex) runs the burn of image as its
    // action list's one action, its messages in sheet; the drive is let go.
    static void RunBurn(TsbBurner& burner, const std::filesystem::path& image,
                        TsbBurnAtOnceToCDDVDAction& burn, TMessageSink& sheet, int32_t pageIndex) {
        TsbActionList actions;
        TsbActionItem* item = actions.Add();
        item->Action = &burn;
        item->PageIndex = pageIndex;
        actions.Options.SourceIsFile = 1;
        actions.Options.SourceFileName = image.string();
        actions.OnMessage = [&](void*, const std::string& text, TsbLogItemType kind) {
            sheet.Add(text, kind);
        };
        actions.BindMessages();
        actions.Burner = &burner;
        burn.Execute(item);
        actions.Burner = nullptr;
        burner.ReleaseDevice();
    }
};

TEST_F(EndToEndTest, SearchChooseOpenLockSpeedsOptionsBurnCloseEject) {
    StartLibrary("[Virtual]\nTimeFactor = 0\n");
    const auto image = Folder() / "backup.iso";
    WriteImage(image, 3 * 1024 * 1024, 7);

    // The recorder sheet: search and choose the first recorder with a blank disc.
    TsbDeviceFinder finder;
    finder.TransportType = ttSpti;
    finder.Search(true);
    const TsbDeviceItem* chosen = nullptr;
    for (int k = 0; k < finder.Devices.Count() && chosen == nullptr; ++k) {
        const TsbDeviceItem* item = finder.Devices.Items(k);
        if (item->MediaFormats.WritesCDR != 0 && item->DiscType != DISC_TYPE_NO_MEDIA &&
            item->DiscInformation.Valid() && item->DiscInformation.DiscStatus() == 0 &&
            item->TrackInformation.NextWritableAddressValid()) {
            chosen = item;
        }
    }
    ASSERT_NE(chosen, nullptr);

    TsbBurner burner;
    OpenChosen(*chosen, burner);
    ASSERT_FALSE(HasFatalFailure());
    burner.TestWrite = false;
    burner.SendOPC = true;

    // The final sheet runs the action list.
    TsbBurnAtOnceToCDDVDAction burn;
    TMessageSink sheet;
    TEventRecorder events;
    RunBurn(burner, image, burn, sheet, 4);

    const auto texts = sheet.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "Burning completed");
    for (const char* line : {"Testing unit ready", "Burning mode: Track-At-Once (from file)",
                             "Burning started", "Closing session", "Eject disc"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), line), texts.end()) << line;
    }
    for (const auto& message : sheet.Messages()) {
        EXPECT_EQ(message.Kind, litInfo) << message.Text;
    }
    EXPECT_TRUE(burn.Succeeded);
    EXPECT_EQ(events.Progress().back(), 100);

    const std::string ejected = LastEjectedImage(chosen->DeviceName.c_str());
    ASSERT_FALSE(ejected.empty());
    EXPECT_TRUE(ReadFile(ejected) == ReadFile(image)) << "the ejected disc differs from the image";
    burner.CloseDevice();
}

} // namespace

namespace {

// The same road on a drive that libburn drives: a stdio pseudo-drive writing
// into a file stands in for a real recorder.
TEST_F(EndToEndTest, TheWholeRoadOnALibburnDrive) {
    const auto target = Folder() / "libburn-disc.iso";
    StartLibrary("[Virtual]\nBuiltInRecorders = no\n\n[Stdio burner]\nPath = " + target.string() +
                 "\n");
    const auto image = Folder() / "backup.iso";
    WriteImage(image, 3 * 1024 * 1024 + 1000, 11);

    TsbDeviceFinder finder;
    finder.TransportType = ttSpti;
    finder.Search(true);
    ASSERT_EQ(finder.Devices.Count(), 1);
    const TsbDeviceItem* chosen = finder.Devices.Items(0);
    ASSERT_TRUE(chosen->DiscInformation.Valid());
    ASSERT_EQ(chosen->DiscInformation.DiscStatus(), 0) << "a new pseudo-drive holds a blank disc";
    ASSERT_TRUE(chosen->TrackInformation.NextWritableAddressValid());
    ASSERT_NE(chosen->WriteModes.CanWriteTAO, 0);

    TsbBurner burner;
    OpenChosen(*chosen, burner);
    ASSERT_FALSE(HasFatalFailure());

    TsbBurnAtOnceToCDDVDAction burn;
    TMessageSink sheet;
    RunBurn(burner, image, burn, sheet, 0);
    burner.CloseDevice();

    const auto texts = sheet.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "Burning completed");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Eject disc"), texts.end());

    // libburn pads the last sector and never truncates the target: compare the image's length.
    const std::string written = ReadFile(target);
    const std::string source = ReadFile(image);
    ASSERT_GE(written.size(), source.size());
    EXPECT_TRUE(written.compare(0, source.size(), source) == 0)
        << "the pseudo-drive's file differs from the image";
}

} // namespace
