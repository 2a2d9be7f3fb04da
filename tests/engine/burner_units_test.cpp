// SPDX-License-Identifier: GPL-2.0-or-later
// The burner, its source layouts, the burn thread's dispatch and the action
// list, where no recorder is needed.
#include "base/sbError.h"
#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "tests/engine/support/EngineTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace enginetest;

namespace {

class BurnerUnitTest : public LibraryTest {};

TEST_F(BurnerUnitTest, LockAndReleaseWithoutDeviceDoNothing) {
    TsbBurner burner;
    burner.LockDevice();
    burner.ReleaseDevice();
    burner.CloseDevice();
    burner.DestroyFileTree();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(LogMessages().empty());
    EXPECT_EQ(burner.LastException, 0);
}

TEST_F(BurnerUnitTest, CancelOfAnImageIntoAFileOnlySetsTheFlag) {
    TsbBurner burner;
    burner.WriteMode = wmImageToFile;
    burner.Cancel();
    EXPECT_TRUE(burner.Cancelled);
    EXPECT_TRUE(LogMessages().empty());

    TsbBurner writing;
    writing.WriteMode = wmTrackAtOnceFromFile;
    writing.Cancel();
    EXPECT_TRUE(writing.Cancelled);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"StarBurn_CdvdBurnerGrabber_Cancel"});
}

TEST(SourceLayoutTest, APathThatFillsTheFieldIsCopiedWithItsTerminator) {
    auto layout = std::make_unique<FileSourceLayoutRecord>();
    std::memset(layout.get(), 0x55, sizeof *layout);
    const std::string longest(SB_FILE_SOURCE_PATH_SIZE - 1, 'a');
    FillFileSourceLayout(*layout, longest);
    // Packed record fields are read by value: a reference to one may be misaligned.
    EXPECT_EQ(+layout->TrackCount, 1u);
    EXPECT_EQ(std::string(layout->Tracks[0].FileName), longest);
    EXPECT_EQ(layout->Tracks[0].TrackKind, 0);
    EXPECT_EQ(layout->Tracks[1].FileName[0], 0);
    // 9 bytes into the first entry, 4 bytes into the record.
    EXPECT_EQ(reinterpret_cast<const char*>(layout.get())[4 + 9], 'a');
}

TEST(SourceLayoutTest, APathLongerThanTheFieldFailsAndLeavesTheLayoutAlone) {
    auto layout = std::make_unique<FileSourceLayoutRecord>();
    std::memset(layout.get(), 0, sizeof *layout);
    FillFileSourceLayout(*layout, "/images/first.iso");
    const std::string tooLong(SB_FILE_SOURCE_PATH_SIZE, 'b');
    try {
        FillFileSourceLayout(*layout, tooLong);
        FAIL() << "a path of 787 characters was accepted";
    } catch (const EsbError& error) {
        EXPECT_NE(std::string(error.what()).find("too long"), std::string::npos) << error.what();
    }
    EXPECT_EQ(std::string(layout->Tracks[0].FileName), "/images/first.iso");
}

TEST(SourceLayoutTest, SessionLayoutTakesAtMost101FilesOfAtMost263Characters) {
    auto layout = std::make_unique<SessionLayoutRecord>();
    std::vector<std::string> files(SB_SESSION_MAX_ENTRIES,
                                   std::string(SB_SESSION_PATH_SIZE - 1, 'c'));
    files[0] = "/images/one.iso";
    FillSessionLayout(*layout, files);
    EXPECT_EQ(+layout->EntryCount, 101u);
    EXPECT_EQ(std::string(layout->Entries[0].FileName), "/images/one.iso");
    EXPECT_EQ(std::string(layout->Entries[100].FileName), files[100]);
    EXPECT_EQ(static_cast<void*>(layout->Entries[100].FileTree), nullptr);
    // The path of entry k lies at 4 + 287 k + 15.
    EXPECT_EQ(reinterpret_cast<const char*>(layout.get())[4 + 287 * 1 + 15], 'c');

    files.push_back("/images/102.iso");
    EXPECT_THROW(FillSessionLayout(*layout, files), EsbError);
    EXPECT_EQ(+layout->EntryCount, 101u);

    const std::vector<std::string> longName{std::string(SB_SESSION_PATH_SIZE, 'd')};
    EXPECT_THROW(FillSessionLayout(*layout, longName), EsbError);

    FillSessionLayout(*layout, {});
    EXPECT_EQ(+layout->EntryCount, 0u);
}

TEST(SourceLayoutTest, ALayoutFromOutsideIsCheckedBeforeTheLibrarySeesIt) {
    auto layout = std::make_unique<FileSourceLayoutRecord>();
    std::memset(layout.get(), 0, sizeof *layout);
    layout->TrackCount = SB_FILE_SOURCE_MAX_TRACKS + 1;
    EXPECT_THROW(CheckFileSourceLayout(*layout), EsbError);
    layout->TrackCount = 2;
    std::memset(layout->Tracks[1].FileName, 'x', SB_FILE_SOURCE_PATH_SIZE);
    EXPECT_THROW(CheckFileSourceLayout(*layout), EsbError);
    layout->Tracks[1].FileName[SB_FILE_SOURCE_PATH_SIZE - 1] = 0;
    EXPECT_NO_THROW(CheckFileSourceLayout(*layout));
}

// A mode the burner does not know writes nothing and says so: an empty
// result would read as a finished burn.
TEST_F(BurnerUnitTest, AnUnknownModeIsAnError) {
    TEventRecorder events;
    TsbBurner burner;
    TMessageSink sink;
    burner.OnMessage = [&](void*, const std::string& text, TsbLogItemType kind) {
        sink.Add(text, kind);
    };
    burner.WriteMode = 9;
    burner.StatusText = "left over";
    burner.StartBurnThread();
    EXPECT_EQ(burner.StatusText, "Unknown write mode 9: nothing was written");
    EXPECT_EQ(events.CancelEnabled(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(sink.Messages().empty());
    EXPECT_FALSE(burner.WriteStarted);
    EXPECT_FALSE(burner.BurnThreadRunning());
}

// No track would make no call, and no failure: that is no burn.
TEST_F(BurnerUnitTest, TrackAtOnceWithoutTracksIsAnErrorAndMakesNoCall) {
    TEventRecorder events;
    TsbBurner burner;
    TMessageSink sink;
    burner.OnMessage = [&](void*, const std::string& text, TsbLogItemType kind) {
        sink.Add(text, kind);
    };
    burner.WriteMode = wmTrackAtOnceFromFile;
    burner.StartBurnThread();
    EXPECT_EQ(burner.StatusText,
              "The source layout names no track: nothing was burnt Track-At-Once");
    EXPECT_FALSE(burner.WriteStarted);
    EXPECT_TRUE(sink.Messages().empty());
    EXPECT_TRUE(LogMessages().empty());
    EXPECT_EQ(events.CancelEnabled(), (std::vector<bool>{true, false}));
}

TEST_F(BurnerUnitTest, SessionAtOnceWithTooManyFilesFailsWithAClearText) {
    TsbBurner burner;
    burner.WriteMode = wmSessionAtOnceFromFile;
    burner.SourceFiles.assign(SB_SESSION_MAX_ENTRIES + 1, "/images/a.iso");
    burner.StartBurnThread();
    EXPECT_EQ(burner.StatusText, "Too many source files for one session (102, at most 101)");
    EXPECT_FALSE(burner.WriteStarted);
}

TEST_F(BurnerUnitTest, ImageIntoAFileOfNothingWritesNothing) {
    TEventRecorder events;
    TsbBurner burner;
    burner.WriteMode = wmImageToFile;
    burner.StartBurnThread();
    EXPECT_EQ(burner.StatusText, "");
    EXPECT_TRUE(burner.WriteStarted);
    EXPECT_EQ(events.ImageBuildStarts(), 1);
    // The mode raises only its own cancel-enabled pair, not the write's.
    EXPECT_EQ(events.CancelEnabled(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(events.Progress().empty());
}

TEST_F(BurnerUnitTest, WaitingKeepsTheFrontEndAliveAndTheDestructorWaits) {
    auto burner = std::make_unique<TsbBurner>();
    std::atomic<bool> release{false};
    burner->OnMessage = [&](void*, const std::string&, TsbLogItemType) {
        while (!release) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    burner->WriteMode = wmTrackAtOnceFromFile;
    // A track the library (not started here) refuses: the thread blocks in
    // its first message before that.
    FillFileSourceLayout(burner->FileSourceLayout, "/nonexistent/image.iso");
    OnProcessMessages = [&] {
        EXPECT_TRUE(burner->BurnThreadRunning());
        release = true;
    };
    burner->StartBurnThread();
    EXPECT_GE(ProcessMessagesCalls.load(), 1);
    EXPECT_FALSE(burner->BurnThreadRunning());
    burner.reset();
}

TEST(ActionListTest, AddRemoveFromPageAndBindMessages) {
    TsbActionList list;
    EXPECT_EQ(list.Burner, nullptr);
    EXPECT_TRUE(list.ReportDetails);
    EXPECT_EQ(list.Options.SourceIsFile, 0);
    TsbAction first, second;
    for (int page : {2, 3, 3, 5}) {
        TsbActionItem* item = list.Add();
        EXPECT_EQ(item->Action, nullptr);
        EXPECT_EQ(item->PageIndex, 0);
        item->PageIndex = page;
        item->Action = page == 2 ? &first : &second;
    }
    list.RemoveFromPage(4);
    EXPECT_EQ(list.Count(), 4);
    list.RemoveFromPage(3);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0)->PageIndex, 2);

    TMessageSink sink;
    list.OnMessage = [&](void* sender, const std::string& text, TsbLogItemType kind) {
        EXPECT_EQ(sender, &first);
        sink.Add(text, kind);
    };
    list.Add()->PageIndex = 7; // an item without an action is passed over
    list.BindMessages();
    first.Report("hello", litWarning);
    second.Report("not bound", litInfo);
    EXPECT_EQ(sink.Messages(), (std::vector<TMessage>{{"hello", litWarning}}));

    TsbActionItem copy(&list);
    copy.Assign(*list.Items(0));
    EXPECT_EQ(copy.Action, &first);
    EXPECT_EQ(copy.PageIndex, 2);

    list.RemoveFromPage(2);
    EXPECT_EQ(list.Count(), 0);
}

TEST(ActionTest, ExecuteWithoutItemIsAnInvalidAction) {
    TsbAction action;
    EXPECT_TRUE(action.Succeeded);
    try {
        action.Execute(nullptr);
        FAIL();
    } catch (const EsbError& error) {
        EXPECT_STREQ(error.what(), "Invalid action");
    }
    TsbStagedAction staged;
    EXPECT_EQ(staged.Stages, 1535);
    EXPECT_THROW(staged.Execute(nullptr), EsbError);
    TsbBurnAtOnceToCDDVDAction burn;
    EXPECT_EQ(burn.Stages, 2047);
    EXPECT_TRUE(burn.UseSourceFile);
}

TEST(ActionTest, ExecuteTakesTheItemsListAndReportsProgressZero) {
    TEventRecorder events;
    TsbActionList list;
    TsbAction action;
    TsbActionItem* item = list.Add();
    item->Action = &action;
    action.Execute(item);
    EXPECT_EQ(action.ActionList(), &list);
    EXPECT_EQ(events.Progress(), std::vector<int32_t>{0});
}

} // namespace
