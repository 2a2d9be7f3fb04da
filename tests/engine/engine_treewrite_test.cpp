// SPDX-License-Identifier: GPL-2.0-or-later
// Writes from a file tree: the burn-image action builds the tree's image in
// its build stage and the burn thread writes it in each tree mode on a
// virtual recorder; the ejected disc is read back with libisofs.
#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "tests/engine/support/ImageReader.h"
#include "tests/engine/support/RecorderTest.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

std::string LastEjectedImage() {
    char path[4096] = {};
    if (StarBurnTesting_GetLastEjectedImage(kWriterName, path, sizeof path) != 0) {
        return {};
    }
    return path;
}

const char* ModeName(uint8_t mode) {
    switch (mode) {
    case wmTrackAtOnceFromTree:
        return "Track-At-Once (from tree)";
    case wmSessionAtOnceFromTree:
        return "Session-At-Once (from tree)";
    case wmDiscAtOncePQFromTree:
        return "Disc-At-Once PQ (from tree)";
    default:
        return "Disc-At-Once raw P-W (from tree)";
    }
}

const char* ModeFunction(uint8_t mode) {
    switch (mode) {
    case wmTrackAtOnceFromTree:
        return "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree";
    case wmSessionAtOnceFromTree:
        return "StarBurn_CdvdBurnerGrabber_SessionAtOnce";
    case wmDiscAtOncePQFromTree:
        return "StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree";
    default:
        return "StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree";
    }
}

class TreeWriteTest : public RecorderTest {
protected:
    TsbBurnAtOnceToCDDVDAction action;
    // The trees handed to the burner; their callback counts into these records.
    std::vector<std::unique_ptr<TTestTree>> trees;

    void TearDown() override {
        burner.DestroyFileTree();
        RecorderTest::TearDown();
    }

    TTestTree& NewTree() { return *trees.emplace_back(std::make_unique<TTestTree>()); }

    fs::path Source(const std::string& relative, uint64_t size, unsigned seed) {
        const fs::path path = Folder() / "src" / relative;
        fs::create_directories(path.parent_path());
        WriteImage(path, size, seed);
        return path;
    }

    // A tree of a little over one megabyte, handed to the burner.
    std::map<std::string, TImageItem> GiveTree() {
        TTestTree& tree = NewTree();
        const auto a = Source("alpha.txt", 3000, 1);
        const auto b = Source("music/Track One.wav", 1200000, 2);
        const auto c = Source("music/notes/Liner Notes.txt", 70000, 3);
        EXPECT_TRUE(tree.AddFile(a)) << tree.LastError;
        EXPECT_TRUE(tree.AddFolder(Folder() / "src" / "music")) << tree.LastError;
        burner.FileTree = tree.Release();
        return {{"/alpha.txt", {false, ReadFile(a)}},
                {"/music", {true, ""}},
                {"/music/Track One.wav", {false, ReadFile(b)}},
                {"/music/notes", {true, ""}},
                {"/music/notes/Liner Notes.txt", {false, ReadFile(c)}}};
    }

    std::string RunForError() {
        try {
            Run(action);
        } catch (const EsbError& error) {
            return error.what();
        }
        ADD_FAILURE() << "the action did not fail";
        return {};
    }
};

class TreeModeTest : public TreeWriteTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(TreeModeTest, TheDiscHoldsTheTreesFiles) {
    const uint8_t mode = GetParam();
    OpenWriter();
    const auto expected = GiveTree();
    burner.WriteMode = mode;
    list.ReportDetails = false;
    TEventRecorder events;
    Run(action);

    std::vector<TMessage> lines = {{"Need to save 1 MB", litInfo},
                                   {std::string("Burning mode: ") + ModeName(mode), litInfo},
                                   {"Burning started", litInfo}};
    if (mode == wmTrackAtOnceFromTree) {
        lines.push_back({"Closing session", litInfo});
    }
    lines.push_back({"Eject disc", litInfo});
    lines.push_back({"Burning completed", litInfo});
    EXPECT_EQ(messages.Messages(), lines);

    // The image is built before the write, from the address the track
    // information gave (0 on a blank disc), with the Joliet tree.
    const auto log = LogMessages();
    const auto build =
        std::find(log.begin(), log.end(), "StarBurn_ISO9660JolietFileTree_BuildImage");
    const auto write = std::find(log.begin(), log.end(), ModeFunction(mode));
    ASSERT_NE(build, log.end());
    ASSERT_NE(write, log.end());
    EXPECT_LT(build, write);

    const std::string disc = LastEjectedImage();
    ASSERT_FALSE(disc.empty());
    EXPECT_EQ(ReadImageTree(disc, TImageNames::Joliet), expected);
    const auto iso = ReadImageTree(disc, TImageNames::Iso9660);
    EXPECT_EQ(iso.at("/MUSIC/TRACK_ON.WAV;1").Content, expected.at("/music/Track One.wav").Content);
    EXPECT_EQ(events.Progress().back(), 100);
}

INSTANTIATE_TEST_SUITE_P(Modes, TreeModeTest,
                         ::testing::Values(wmTrackAtOnceFromTree, wmSessionAtOnceFromTree,
                                           wmDiscAtOncePQFromTree, wmDiscAtOnceRawPWFromTree),
                         [](const auto& info) { return std::to_string(info.param); });

TEST_F(TreeWriteTest, ATestWriteOfATreeStoresNothingAndLeavesTheSessionOpen) {
    OpenWriter();
    GiveTree();
    burner.WriteMode = wmTrackAtOnceFromTree;
    burner.TestWrite = true;
    Run(action);
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_CloseSession"));
    EXPECT_EQ(messages.Texts().back(), "Burning completed");
    const std::string disc = LastEjectedImage();
    EXPECT_TRUE(disc.empty() || ReadFile(disc).empty()) << disc;
}

TEST_F(TreeWriteTest, TheBuildStageSetsTheBootImage) {
    OpenWriter();
    const auto expected = GiveTree();
    const auto boot = Source("boot/loader.bin", 2048, 9);
    burner.BootEnabled = true;
    burner.BootImage = boot.string();
    burner.WriteMode = wmDiscAtOncePQFromTree;
    Run(action);
    EXPECT_TRUE(
        LogContains("StarBurn_ISO9660JolietFileTree_SetBootImage: BootImage: " + boot.string()));
    const std::string disc = LastEjectedImage();
    ASSERT_FALSE(disc.empty());
    EXPECT_EQ(ReadFileRange(disc, 17 * 2048 + 7, 23), "EL TORITO SPECIFICATION");
    // The boot image joins the tree's root under its own name.
    const auto joliet = ReadImageTree(disc, TImageNames::Joliet);
    EXPECT_EQ(joliet.at("/loader.bin").Content.substr(64), ReadFile(boot).substr(64));
    EXPECT_EQ(joliet.size(), expected.size() + 1);
}

TEST_F(TreeWriteTest, AMissingBootImageStopsTheBuildStage) {
    OpenWriter();
    GiveTree();
    burner.BootEnabled = true;
    burner.BootImage = (Folder() / "no-such.img").string();
    burner.WriteMode = wmDiscAtOncePQFromTree;
    const std::string error = RunForError();
    EXPECT_EQ(error.rfind("StarBurn_ISO9660JolietFileTree_SetBootImage() failed, exception ", 0),
              0u)
        << error;
    EXPECT_EQ(error.substr(error.size() - 3), "\"\\n");
    EXPECT_FALSE(LogContains("StarBurn_ISO9660JolietFileTree_BuildImage"));
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree"));
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_Eject"));
}

TEST_F(TreeWriteTest, ATreeWhoseSourceWentAwayStopsTheBuildStage) {
    OpenWriter();
    GiveTree();
    fs::remove(Folder() / "src" / "alpha.txt");
    burner.WriteMode = wmSessionAtOnceFromTree;
    const std::string error = RunForError();
    EXPECT_EQ(error.rfind("StarBurn_ISO9660FileTree_BuildImage() failed, exception ", 0), 0u)
        << error;
    EXPECT_EQ(LogMessages().back(), error);
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_SessionAtOnce"));
}

TEST_F(TreeWriteTest, ASecondSessionIsBuiltAtTheDiscsNextWritableAddress) {
    OpenWriter();
    const auto first = GiveTree();
    burner.WriteMode = wmTrackAtOnceFromTree;
    burner.MultiSession = true;
    // The first session: prepared and built, written, closed; the disc stays in.
    TsbStagedAction prepare;
    prepare.Stages = sbAllStages;
    Run(prepare);
    burner.StartBurnThread();
    ASSERT_EQ(burner.StatusText, "");
    prepare.CloseSession();
    burner.DestroyFileTree();

    // The second session starts where the track information says.
    TsbTrackInformation track{};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(
                  burner.Grabber, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
                  burner.FailureInfo, SB_TRACK_NUMBER_INVISIBLE, &track),
              0)
        << burner.ExceptionText;
    SB_TRACK_INFORMATION next{};
    std::memcpy(&next, track.Bytes, sizeof next);
    ASSERT_GT(next.TrackStartAddress, 0u);

    TTestTree& tree = NewTree();
    const auto later = Source("later/second.txt", 5000, 7);
    ASSERT_TRUE(tree.AddFile(later)) << tree.LastError;
    burner.FileTree = tree.Release();
    Run(action);

    const std::string disc = LastEjectedImage();
    ASSERT_FALSE(disc.empty());
    // The first session reads as before; the second, read from its own
    // start block, holds its own file at addresses counted from the disc's start.
    EXPECT_EQ(ReadImageTree(disc, TImageNames::Joliet), first);
    const std::map<std::string, TImageItem> second = {{"/second.txt", {false, ReadFile(later)}}};
    EXPECT_EQ(ReadImageTree(disc, TImageNames::Joliet, next.TrackStartAddress), second);
}

} // namespace
