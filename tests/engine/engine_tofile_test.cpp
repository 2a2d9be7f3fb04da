// SPDX-License-Identifier: GPL-2.0-or-later
// The burn-to-file action: file trees built through the library, stored in
// image files and read back with libisofs; collisions, boot images, a full or
// unwritable target, a source that goes away, cancel during the copy.
#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "engine/sbActions.h"
#include "engine/sbBurnToFileAction.h"
#include "engine/sbBurner.h"
#include "platform/sbSystem.h"
#include "tests/engine/support/EngineTestSupport.h"
#include "tests/engine/support/ImageReader.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fmt/printf.h>
#include <mutex>
#include <regex>
#include <sys/mount.h>
#include <unistd.h>

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

std::string imageSizeOf(void* tree, uint64_t* bytes = nullptr) {
    uint32_t high = 0;
    const uint32_t low = StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
    const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
    if (bytes != nullptr) {
        *bytes = size;
    }
    return std::to_string(size);
}

// A small file system of its own, mounted for one test; skipped where the
// test may not mount one.
class TSmallFileSystem {
public:
    TSmallFileSystem(const fs::path& where, const std::string& options, unsigned long flags = 0)
        : where_(where) {
        fs::create_directories(where_);
        mounted_ = ::mount("tmpfs", where_.c_str(), "tmpfs", flags, options.c_str()) == 0;
    }
    ~TSmallFileSystem() {
        if (mounted_) {
            ::umount2(where_.c_str(), MNT_DETACH);
        }
    }
    TSmallFileSystem(const TSmallFileSystem&) = delete;
    TSmallFileSystem& operator=(const TSmallFileSystem&) = delete;
    bool Mounted() const { return mounted_; }

private:
    fs::path where_;
    bool mounted_ = false;
};

class ToFileTest : public LibraryTest {
protected:
    TsbBurner burner;
    TsbActionList list;
    TMessageSink messages;
    TsbBurnToFileAction action;
    std::unique_ptr<TTestTree> tree = std::make_unique<TTestTree>();
    fs::path target;

    void SetUp() override {
        LibraryTest::SetUp();
        target = Folder() / "out" / "disc.iso";
        fs::create_directories(target.parent_path());
        list.Burner = &burner;
        list.OnMessage = [this](void*, const std::string& text, TsbLogItemType kind) {
            messages.Add(text, kind);
        };
        burner.WriteMode = wmImageToFile;
        burner.VolumeLabel = "TAVRIN_TEST";
    }

    void TearDown() override {
        // The tree's callback counts into the test's tree record: the tree goes first.
        burner.DestroyFileTree();
        platform::SetDiskFreeSpaceOverride({});
        LibraryTest::TearDown();
    }

    fs::path Source(const std::string& relative, uint64_t size, unsigned seed) {
        const fs::path path = Folder() / "src" / relative;
        fs::create_directories(path.parent_path());
        WriteImage(path, size, seed);
        return path;
    }

    // Hands the tree to the burner and runs the action as a caller would.
    void Run() {
        if (tree->Handle() != nullptr) {
            burner.FileTree = tree->Release();
        }
        list.Options.SourceFileName = target.string();
        TsbActionItem* item = list.Add();
        item->Action = &action;
        list.BindMessages();
        ClearLog();
        action.Execute(item);
    }

    std::string RunForError() {
        try {
            Run();
        } catch (const EsbError& error) {
            return error.what();
        }
        ADD_FAILURE() << "the action did not fail";
        return {};
    }

    std::string CreatingText() const { return "Creating image '" + target.string() + "' "; }
};

TEST_F(ToFileTest, StoresTheTreeWithIsoAndJolietNamesAndContents) {
    const auto readme = Source("readme.txt", 1000, 1);
    const auto longName = Source("Long File Name.data", 70000, 2);
    const auto empty = Source("empty.txt", 0, 3);
    const auto deep = Source("docs/sub/deep.bin", 300000, 4);
    const auto unicode = Source("docs/Ünïcödé файл.txt", 5000, 5);
    ASSERT_TRUE(tree->AddFile(readme)) << tree->LastError;
    ASSERT_TRUE(tree->AddFile(longName)) << tree->LastError;
    ASSERT_TRUE(tree->AddFile(empty)) << tree->LastError;
    ASSERT_TRUE(tree->AddFolder(Folder() / "src" / "docs")) << tree->LastError;
    // docs, docs/sub, deep.bin, the unicode file and the three root files.
    EXPECT_EQ(tree->Nodes, 7u);

    TEventRecorder events;
    Run();

    uint64_t size = 0;
    imageSizeOf(burner.FileTree, &size);
    ASSERT_GT(size, 3 * 65536u);
    EXPECT_EQ(fs::file_size(target), size);
    const std::vector<TMessage> expected = {
        {CreatingText(), litInfo}, {"Need to save 0 MB", litInfo}, {"Finished!", litInfo}};
    EXPECT_EQ(messages.Messages(), expected);
    EXPECT_EQ(burner.ImageWriting.ImageFile, -1);
    EXPECT_EQ(burner.ImageWriting.TotalBytes, static_cast<int64_t>(size));
    EXPECT_EQ(burner.ImageWriting.RemainingBytes, 0);

    // The diagnostic log: the build and its size, the trial read and rewind;
    // the copy's reads, one per chunk, are not announced.
    const std::vector<std::string> log = {CreatingText(),
                                          "StarBurn_ISO9660JolietFileTree_BuildImage",
                                          "StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs",
                                          "Need to save 0 MB",
                                          "StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs",
                                          "StarBurn_ISO9660JolietFileTree_Read",
                                          "StarBurn_ISO9660JolietFileTree_SeekToBegin"};
    EXPECT_EQ(LogMessages(), log);

    // Progress: 0 from the start, then rising percentages, never 100 from the copy.
    const auto progress = events.Progress();
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), 0);
    for (size_t k = 1; k < progress.size(); ++k) {
        EXPECT_GT(progress[k], progress[k - 1]);
        EXPECT_LT(progress[k], 100);
    }
    EXPECT_EQ(events.ImageBuildStarts(), 1);
    EXPECT_EQ(events.CancelEnabled(), (std::vector<bool>{true, false}));

    const auto joliet = ReadImageTree(target, TImageNames::Joliet);
    const std::map<std::string, TImageItem> expectedJoliet = {
        {"/readme.txt", {false, ReadFile(readme)}},
        {"/Long File Name.data", {false, ReadFile(longName)}},
        {"/empty.txt", {false, ""}},
        {"/docs", {true, ""}},
        {"/docs/sub", {true, ""}},
        {"/docs/sub/deep.bin", {false, ReadFile(deep)}},
        {"/docs/Ünïcödé файл.txt", {false, ReadFile(unicode)}},
    };
    EXPECT_EQ(joliet, expectedJoliet);

    const auto iso = ReadImageTree(target, TImageNames::Iso9660);
    ASSERT_EQ(iso.size(), expectedJoliet.size());
    EXPECT_EQ(iso.at("/README.TXT;1").Content, ReadFile(readme));
    EXPECT_EQ(iso.at("/LONG_FIL.DAT;1").Content, ReadFile(longName));
    EXPECT_EQ(iso.at("/EMPTY.TXT;1").Content, "");
    EXPECT_TRUE(iso.at("/DOCS").Directory);
    EXPECT_TRUE(iso.at("/DOCS/SUB").Directory);
    EXPECT_EQ(iso.at("/DOCS/SUB/DEEP.BIN;1").Content, ReadFile(deep));
    for (const auto& [path, item] : iso) {
        EXPECT_TRUE(std::regex_match(path, std::regex("[/A-Z0-9_.;]+"))) << path;
    }

    // The volume label in the primary volume descriptor.
    EXPECT_EQ(ReadFileRange(target, 16 * 2048 + 40, 11), "TAVRIN_TEST");
}

TEST_F(ToFileTest, AnExistingFileIsReplaced) {
    ASSERT_TRUE(tree->AddFile(Source("a.txt", 100, 1))) << tree->LastError;
    WriteImage(target, 3 * 1024 * 1024, 9);
    Run();
    uint64_t size = 0;
    imageSizeOf(burner.FileTree, &size);
    EXPECT_EQ(fs::file_size(target), size);
    EXPECT_EQ(ReadImageTree(target, TImageNames::Joliet).at("/a.txt").Content,
              ReadFile(Folder() / "src" / "a.txt"));
}

TEST_F(ToFileTest, CollidingNamesAreRenamedByTheProgramsRules) {
    // Joliet: the same name in another case; ISO9660: two long names that
    // share one 8.3 name; two folders of the same name are merged.
    const auto first = Source("a/Report.txt", 300, 1);
    const auto second = Source("b/REPORT.TXT", 400, 2);
    const auto longA = Source("a/LongFileName_A.txt", 500, 3);
    const auto longB = Source("b/LongFileName_B.txt", 600, 4);
    const auto docsA = Source("a/docs/one.txt", 700, 5);
    const auto docsB = Source("b/docs/two.txt", 800, 6);
    SetIsoRenameCounter(7);
    const auto before = std::chrono::system_clock::now();
    ASSERT_TRUE(tree->AddFile(first)) << tree->LastError;
    ASSERT_TRUE(tree->AddFile(second)) << tree->LastError;
    const auto after = std::chrono::system_clock::now();
    ASSERT_TRUE(tree->AddFile(longA)) << tree->LastError;
    ASSERT_TRUE(tree->AddFile(longB)) << tree->LastError;
    ASSERT_TRUE(tree->AddFolder(Folder() / "src" / "a" / "docs")) << tree->LastError;
    ASSERT_TRUE(tree->AddFolder(Folder() / "src" / "b" / "docs")) << tree->LastError;
    EXPECT_EQ(IsoRenameCounter(), 8u);
    Run();

    auto renamed = [](std::chrono::system_clock::time_point time) {
        const std::string when = LocalDateTimeText(time);
        const std::u16string name =
            JolietRenameName(u"REPORT.TXT", std::u16string(when.begin(), when.end()));
        return std::string(name.begin(), name.end());
    };
    const auto joliet = ReadImageTree(target, TImageNames::Joliet);
    EXPECT_EQ(joliet.at("/Report.txt").Content, ReadFile(first));
    const std::string early = "/" + renamed(before);
    const std::string late = "/" + renamed(after);
    ASSERT_TRUE(joliet.count(early) == 1 || joliet.count(late) == 1)
        << "no entry " << early << " or " << late;
    EXPECT_EQ(joliet.at(joliet.count(early) == 1 ? early : late).Content, ReadFile(second));
    EXPECT_EQ(joliet.at("/LongFileName_A.txt").Content, ReadFile(longA));
    EXPECT_EQ(joliet.at("/LongFileName_B.txt").Content, ReadFile(longB));
    EXPECT_EQ(joliet.at("/docs/one.txt").Content, ReadFile(docsA));
    EXPECT_EQ(joliet.at("/docs/two.txt").Content, ReadFile(docsB));
    EXPECT_EQ(joliet.size(), 7u);

    const auto iso = ReadImageTree(target, TImageNames::Iso9660);
    EXPECT_EQ(iso.at("/LONGFILE.TXT;1").Content, ReadFile(longA));
    EXPECT_EQ(iso.at("/LONGFILE7.TXT;1").Content, ReadFile(longB));
    EXPECT_EQ(iso.at("/DOCS/ONE.TXT;1").Content, ReadFile(docsA));
    EXPECT_EQ(iso.at("/DOCS/TWO.TXT;1").Content, ReadFile(docsB));
}

TEST_F(ToFileTest, TheBootImageIsSetAndBootsFromItsOwnContent) {
    // The tree already holds a boot.img; the boot image of the same name is
    // added beside it under a new name, and the image boots from its content.
    const auto treeBoot = Source("a/boot.img", 2048, 1);
    const auto bootImage = Source("b/boot.img", 4096, 2);
    ASSERT_TRUE(tree->AddFile(treeBoot)) << tree->LastError;
    burner.BootEnabled = true;
    burner.BootImage = bootImage.string();
    Run();
    EXPECT_EQ(LogMessages().at(1),
              "StarBurn_ISO9660JolietFileTree_SetBootImage: Bootimage: " + bootImage.string());

    // The El Torito boot record, its catalog and the default entry's load address.
    const std::string record = ReadFileRange(target, 17 * 2048, 2048);
    ASSERT_EQ(record.substr(1, 5), "CD001");
    EXPECT_EQ(record.substr(7, 23), "EL TORITO SPECIFICATION");
    auto le32 = [](const std::string& data, size_t at) {
        uint32_t value = 0;
        for (int k = 3; k >= 0; --k) {
            value = value << 8 | static_cast<unsigned char>(data[at + static_cast<size_t>(k)]);
        }
        return value;
    };
    const uint32_t catalog = le32(record, 71);
    const std::string entries = ReadFileRange(target, uint64_t{catalog} * 2048, 64);
    EXPECT_EQ(static_cast<unsigned char>(entries[32]), 0x88) << "the default entry boots";
    const uint32_t load = le32(entries, 32 + 8);
    // Bytes 8 to 63 carry the boot information table; the rest is the file.
    EXPECT_EQ(ReadFileRange(target, uint64_t{load} * 2048 + 64, 4096 - 64),
              ReadFile(bootImage).substr(64));

    const auto joliet = ReadImageTree(target, TImageNames::Joliet);
    EXPECT_EQ(joliet.at("/boot.img").Content, ReadFile(treeBoot));
    EXPECT_EQ(joliet.size(), 2u);
}

TEST_F(ToFileTest, AMissingBootImageFailsAndLeavesTheEmptyFile) {
    ASSERT_TRUE(tree->AddFile(Source("a.txt", 100, 1))) << tree->LastError;
    burner.BootEnabled = true;
    burner.BootImage = (Folder() / "no-such-boot.img").string();
    const std::string error = RunForError();
    EXPECT_EQ(error.rfind("StarBurn_ISO9660JolietFileTree_SetBootImage() failed, exception ", 0),
              0u)
        << error;
    EXPECT_EQ(error.substr(error.size() - 3), "\"\\n");
    EXPECT_EQ(error, burner.StatusText);
    EXPECT_EQ(LogMessages().back(), error);
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(fs::file_size(target), 0u);
    EXPECT_EQ(burner.ImageWriting.ImageFile, -1);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{CreatingText()});
}

TEST_F(ToFileTest, AnImageThatWillNotFitIsRefusedWithStatus112) {
    ASSERT_TRUE(tree->AddFile(Source("a.bin", 200000, 1))) << tree->LastError;
    std::vector<std::string> asked;
    platform::SetDiskFreeSpaceOverride([&asked](const std::string& folder) {
        asked.push_back(folder);
        platform::TDiskSpace space;
        space.Ok = true;
        space.FreeBytes = 4096;
        space.TotalBytes = 1 << 20;
        space.TotalFreeBytes = 8192;
        return space;
    });
    const std::string error = RunForError();
    const std::string size = imageSizeOf(burner.FileTree);
    EXPECT_EQ(error, size +
                         " UCHARs of ISO9660/Joliet image will not fit into 4096 UCHARs of "
                         "free space in \"" +
                         target.parent_path().string() + "\"");
    EXPECT_EQ(burner.LastStatus, 112u);
    EXPECT_EQ(asked, std::vector<std::string>{target.parent_path().string()});
    EXPECT_EQ(burner.ImageWriting.FreeBytesAvailable, 4096);
    EXPECT_EQ(burner.ImageWriting.TotalFreeBytes, 8192);
    EXPECT_EQ(burner.ImageWriting.TotalVolumeBytes, 1 << 20);
    EXPECT_EQ(fs::file_size(target), 0u);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{CreatingText(), "Need to save 0 MB"}));
}

TEST_F(ToFileTest, AFullSmallFileSystemIsMeasuredAndRefused) {
    TSmallFileSystem small(Folder() / "small", "size=128k");
    if (!small.Mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here";
    }
    ASSERT_TRUE(tree->AddFile(Source("a.bin", 400000, 1))) << tree->LastError;
    target = Folder() / "small" / "disc.iso";
    const std::string error = RunForError();
    EXPECT_TRUE(std::regex_match(error, std::regex(imageSizeOf(burner.FileTree) +
                                                   " UCHARs of ISO9660/Joliet image will not fit "
                                                   "into [0-9]+ UCHARs of free space in \"" +
                                                   (Folder() / "small").string() + "\"")))
        << error;
    EXPECT_LE(burner.ImageWriting.FreeBytesAvailable, 128 * 1024);
    EXPECT_EQ(burner.LastStatus, 112u);
    EXPECT_EQ(fs::file_size(target), 0u);
}

TEST_F(ToFileTest, ADiskThatFillsDuringTheCopyFailsAndKeepsThePartialFile) {
    TSmallFileSystem small(Folder() / "small", "size=256k");
    if (!small.Mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here";
    }
    // The free-space figure claims room; the file system runs out all the same.
    platform::SetDiskFreeSpaceOverride([](const std::string&) {
        platform::TDiskSpace space;
        space.Ok = true;
        space.FreeBytes = space.TotalBytes = space.TotalFreeBytes = 1ull << 40;
        return space;
    });
    ASSERT_TRUE(tree->AddFile(Source("a.bin", 600000, 1))) << tree->LastError;
    target = Folder() / "small" / "disc.iso";
    const std::string error = RunForError();
    EXPECT_TRUE(std::regex_match(error, std::regex("WriteFile\\( [0-9]+ \\) failed, status 28")))
        << error;
    EXPECT_EQ(burner.LastStatus, 28u);
    EXPECT_FALSE(burner.WriteStarted);
    EXPECT_TRUE(fs::exists(target));
    EXPECT_GT(fs::file_size(target), 0u);
    EXPECT_EQ(burner.ImageWriting.ImageFile, -1);
    const auto texts = messages.Texts();
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "Finished!"), texts.end());
}

TEST_F(ToFileTest, ATargetThatCannotBeCreatedFailsWithTheSystemsCode) {
    ASSERT_TRUE(tree->AddFile(Source("a.txt", 100, 1))) << tree->LastError;
    target = Folder() / "no-such-folder" / "disc.iso";
    EXPECT_EQ(RunForError(), "CreateFile(\"" + target.string() + "\") failed, status 2");
    EXPECT_EQ(burner.LastStatus, 2u);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{CreatingText()});
    // Nothing of the tree was touched: no build was asked for.
    EXPECT_EQ(LogMessages(), std::vector<std::string>{CreatingText()});

    // A folder where the file should go.
    messages.Clear();
    target = Folder() / "out";
    EXPECT_EQ(RunForError(), "CreateFile(\"" + target.string() + "\") failed, status 21");
    EXPECT_TRUE(fs::is_directory(target));
}

TEST_F(ToFileTest, AReadOnlyTargetFolderFails) {
    TSmallFileSystem readOnly(Folder() / "ro", "size=64k", MS_RDONLY);
    if (!readOnly.Mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here";
    }
    ASSERT_TRUE(tree->AddFile(Source("a.txt", 100, 1))) << tree->LastError;
    target = Folder() / "ro" / "disc.iso";
    EXPECT_EQ(RunForError(), "CreateFile(\"" + target.string() + "\") failed, status 30");
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(ToFileTest, AFailingFreeSpaceQueryFails) {
    ASSERT_TRUE(tree->AddFile(Source("a.txt", 100, 1))) << tree->LastError;
    platform::SetDiskFreeSpaceOverride([](const std::string&) {
        platform::TDiskSpace space;
        space.Error = 5;
        return space;
    });
    EXPECT_EQ(RunForError(),
              "GetDiskFreeSpaceEx( \"" + target.parent_path().string() + "\" ) failed, status 5");
    EXPECT_EQ(burner.LastStatus, 5u);
    EXPECT_EQ(fs::file_size(target), 0u);
}

TEST_F(ToFileTest, ASourceThatWentAwayFailsTheBuild) {
    const auto gone = Source("gone.txt", 100, 1);
    ASSERT_TRUE(tree->AddFile(gone)) << tree->LastError;
    fs::remove(gone);
    const std::string error = RunForError();
    EXPECT_EQ(error.rfind("StarBurn_ISO9660FileTree_BuildImage() failed, exception ", 0), 0u)
        << error;
    EXPECT_NE(error.find("gone.txt"), std::string::npos) << error;
    EXPECT_EQ(LogMessages().back(), error);
    EXPECT_EQ(fs::file_size(target), 0u);
}

TEST_F(ToFileTest, ASourceThatShrinksDuringTheCopyFailsTheCopy) {
    // Larger than the image generator's read-ahead, so most of it is read
    // after the first chunk has been copied.
    const auto shrinking = Source("zz.bin", 8 * 1024 * 1024, 1);
    ASSERT_TRUE(tree->AddFile(shrinking)) << tree->LastError;
    bool truncated = false;
    CallBackEventer().SetOnProgress([&](TsbCallBackEventer&, int32_t percent) {
        if (percent > 0 && !truncated) {
            truncated = true;
            fs::resize_file(shrinking, 10);
        }
    });
    const std::string error = RunForError();
    CallBackEventer().SetOnProgress({});
    EXPECT_TRUE(truncated);
    EXPECT_EQ(error.rfind("StarBurn_ISO9660FileTree_Read(loop) failed, exception ", 0), 0u)
        << error;
    EXPECT_EQ(LogMessages().back(), error);
    EXPECT_FALSE(burner.WriteStarted);
    EXPECT_GT(fs::file_size(target), 0u);
    EXPECT_EQ(burner.ImageWriting.ImageFile, -1);
}

TEST_F(ToFileTest, CancelStopsTheCopyAtTheNextChunk) {
    ASSERT_TRUE(tree->AddFile(Source("big.bin", 1024 * 1024, 1))) << tree->LastError;
    // The copy waits at its first progress report until the main thread,
    // processing messages while it waits, cancels as the user would.
    std::mutex mutex;
    std::condition_variable changed;
    bool waiting = false;
    bool cancelled = false;
    CallBackEventer().SetOnProgress([&](TsbCallBackEventer&, int32_t percent) {
        if (percent == 0) {
            return;
        }
        std::unique_lock lock(mutex);
        waiting = true;
        changed.wait(lock, [&] { return cancelled; });
    });
    OnProcessMessages = [&] {
        std::lock_guard lock(mutex);
        if (waiting && !cancelled) {
            burner.Cancel();
            cancelled = true;
            changed.notify_all();
        }
    };
    Run();
    CallBackEventer().SetOnProgress({});
    OnProcessMessages = {};

    EXPECT_TRUE(cancelled);
    const std::vector<TMessage> expected = {
        {CreatingText(), litInfo}, {"Need to save 1 MB", litInfo}, {"Cancelled!", litWarning}};
    EXPECT_EQ(messages.Messages(), expected);
    EXPECT_TRUE(burner.StatusText.empty());
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_Cancel"));
    EXPECT_EQ(burner.ImageWriting.ImageFile, -1);

    // One chunk was copied before the cancel: the image's first 64 KiB.
    ASSERT_EQ(fs::file_size(target), 65536u);
    char text[1024] = "";
    uint32_t status = 0;
    ASSERT_EQ(
        StarBurn_ISO9660JolietFileTree_SeekToBegin(burner.FileTree, text, sizeof text, &status), 0);
    std::string head(65536, '\0');
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Read(burner.FileTree, text, sizeof text, &status,
                                                  65536, head.data()),
              0)
        << text;
    // The volume descriptors (blocks 16 to 18) carry the moment the image
    // was generated, which a second read may see a second later.
    const std::string partial = ReadFile(target);
    constexpr size_t descriptors = 16 * 2048, afterDescriptors = 19 * 2048;
    EXPECT_TRUE(partial.substr(0, descriptors) == head.substr(0, descriptors) &&
                partial.substr(afterDescriptors) == head.substr(afterDescriptors))
        << "the partial file differs from the image";
    // The file is closed: no descriptor of this process names it any more.
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        EXPECT_NE(fs::read_symlink(entry.path(), ignored), target);
    }
}

TEST_F(ToFileTest, OnlyWriteModeFourWithATreeIsStored) {
    ASSERT_TRUE(tree->AddFile(Source("a.txt", 100, 1))) << tree->LastError;
    burner.WriteMode = wmTrackAtOnceFromTree;
    EXPECT_EQ(RunForError(), "An image is stored in a file only with write mode 4 (image into a "
                             "file); the burner is set to write mode 0");
    EXPECT_FALSE(fs::exists(target));

    burner.WriteMode = wmImageToFile;
    burner.DestroyFileTree();
    EXPECT_EQ(RunForError(), "There is no file tree whose image could be stored in a file");
    EXPECT_FALSE(fs::exists(target));
}

TEST(ImageFileDirectory, IsTheFoldersOwnFileSystem) {
    const std::string current = fs::current_path().string();
    EXPECT_EQ(ImageFileDirectory("/images/disc.iso"), "/images");
    EXPECT_EQ(ImageFileDirectory("/images/dvd/disc.iso"), "/images/dvd");
    EXPECT_EQ(ImageFileDirectory("/disc.iso"), "/");
    EXPECT_EQ(ImageFileDirectory("disc.iso"), current);
    EXPECT_EQ(ImageFileDirectory("sub/disc.iso"), current + "/sub");
    // A Windows path is no path on this system: a name in the current directory.
    EXPECT_EQ(ImageFileDirectory("C:\\images\\disc.iso"), current);
}

TEST_F(ToFileTest, ABareFileNameIsMeasuredInTheCurrentDirectory) {
    ASSERT_TRUE(tree->AddFile(Source("a.txt", 100, 1))) << tree->LastError;
    const fs::path before = fs::current_path();
    fs::current_path(Folder() / "out");
    std::vector<std::string> asked;
    platform::SetDiskFreeSpaceOverride([&asked](const std::string& folder) {
        asked.push_back(folder);
        platform::TDiskSpace space;
        space.Ok = true;
        space.FreeBytes = space.TotalBytes = space.TotalFreeBytes = 1ull << 30;
        return space;
    });
    target = "relative.iso";
    Run();
    fs::current_path(before);
    EXPECT_EQ(asked, std::vector<std::string>{(Folder() / "out").string()});
    EXPECT_TRUE(fs::exists(Folder() / "out" / "relative.iso"));
    EXPECT_EQ(messages.Texts().back(), "Finished!");
}

} // namespace
