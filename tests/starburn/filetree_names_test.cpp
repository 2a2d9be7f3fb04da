// SPDX-License-Identifier: GPL-2.0-or-later
// Names in a tree: the reasons raised while adding and removing, ISO9660 and
// Joliet collisions answered by the caller's callback, merged folders, and the
// failures that leave the tree as it was.
#include "filetree_support.h"

#include <cstring>
#include <functional>
#include <unistd.h>

using namespace filetree_test;

namespace {

// What a collision looked like to the callback.
struct Seen {
    uint8_t kind = 0;
    std::string name; // ISO9660 bytes, or the Joliet name as UTF-8 (ASCII in these tests)
    std::string firstSource;
    std::string secondSource;
    uint32_t firstAttributes = 0;
    uint32_t secondAttributes = 0;
};

// A tree whose callback counts nodes and hands collisions to a test's answer.
struct AnsweringTree {
    uint32_t nodes = 0;
    void* handle = nullptr;
    std::vector<Seen> collisions;
    // Returns the reply and may rewrite the name (ASCII, written back in the record's form).
    std::function<uint8_t(const Seen&, std::string&)> answer;

    static void callback(uint32_t reason, void* context, void* special1, void*) {
        auto* self = static_cast<AnsweringTree*>(context);
        switch (reason & 0xFF) {
        case SB_REASON_TREE_ADD_NAME:
            ++self->nodes;
            break;
        case SB_REASON_TREE_REMOVE_NAME:
            --self->nodes;
            break;
        case SB_REASON_TREE_NAME_COLLISION: {
            auto* record = static_cast<NameCollisionRecord*>(special1);
            Seen seen;
            seen.kind = record->TreeKind;
            if (record->TreeKind == 0) {
                seen.name = reinterpret_cast<const char*>(record->Name);
            } else {
                for (size_t i = 0; i + 1 < SB_COLLISION_NAME_SIZE; i += 2) {
                    const uint16_t unit =
                        static_cast<uint16_t>(record->Name[i] | record->Name[i + 1] << 8);
                    if (unit == 0) {
                        break;
                    }
                    seen.name += static_cast<char>(unit < 0x80 ? unit : '?');
                }
            }
            void* first = record->FirstEntry;
            void* second = record->SecondEntry;
            seen.firstSource = static_cast<const char*>(first) + 1;
            seen.secondSource = static_cast<const char*>(second) + 1;
            seen.firstAttributes = record->FirstAttributes;
            seen.secondAttributes = record->SecondAttributes;
            self->collisions.push_back(seen);
            std::string rewritten = seen.name;
            record->Reply = self->answer ? self->answer(seen, rewritten) : 0;
            std::memset(record->Name, 0, SB_COLLISION_NAME_SIZE);
            if (record->TreeKind == 0) {
                std::memcpy(record->Name, rewritten.data(),
                            std::min<size_t>(rewritten.size(), 519));
            } else {
                for (size_t i = 0; i < rewritten.size() && i < 259; ++i) {
                    record->Name[2 * i] = static_cast<uint8_t>(rewritten[i]);
                }
            }
            break;
        }
        default:
            break;
        }
    }

    AnsweringTree() {
        char text[256] = "";
        uint32_t status = 0;
        EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Create(&handle, text, sizeof text, &status,
                                                        &AnsweringTree::callback, this),
                  0);
    }
    ~AnsweringTree() { StarBurn_Destroy(&handle); }
    AnsweringTree(const AnsweringTree&) = delete;
    AnsweringTree& operator=(const AnsweringTree&) = delete;
};

std::map<std::string, Item> imageOf(void* tree, const TempDir& out, Names names) {
    const Outcome built = build(tree);
    EXPECT_EQ(built.exception, 0) << built.text;
    std::string image;
    const Outcome read = readImage(tree, image);
    EXPECT_EQ(read.exception, 0) << read.text;
    saveImage(out / "names.iso", image);
    return readBack(out / "names.iso", names);
}

// The renaming a caller applies to an 8.3 name: a number before the extension.
uint8_t numberIsoName(std::string& name, unsigned& counter) {
    size_t end = name.size();
    if (end >= 2 && name[end - 2] == ';') {
        end -= 2;
    }
    const size_t dot = name.rfind('.', end);
    if (dot != std::string::npos && dot + 4 >= end) {
        end = dot;
    }
    const std::string tail = name.substr(end);
    const std::string prefix = name.substr(0, end <= 8 ? end : 7);
    name = prefix + std::to_string(counter++) + tail;
    return SB_COLLISION_REPLY_RENAME;
}

class NamesTest : public ::testing::Test {
protected:
    TempDir src;
    TempDir out;
};

TEST_F(NamesTest, AddAndRemoveRaiseOneReasonPerEntryWithItsName) {
    CountingTree tree;
    writeFile(src / "folder/a.txt", "a");
    writeFile(src / "folder/sub/b.txt", "b");
    writeFile(src / "folder/sub/c.txt", "c");
    writeFile(src / "single.txt", "s");
    ASSERT_EQ(addFolder(tree.handle, (src / "folder").c_str()).exception, 0);
    EXPECT_EQ(tree.nodes, 5u); // folder, a.txt, sub, b.txt, c.txt
    EXPECT_EQ(tree.added, (std::vector<std::string>{"folder", "a.txt", "sub", "b.txt", "c.txt"}));
    ASSERT_EQ(addFile(tree.handle, src / "single.txt", "/folder/sub").exception, 0);
    ASSERT_EQ(addFolder(tree.handle, nullptr, "/", "empty").exception, 0);
    EXPECT_EQ(tree.nodes, 7u);

    ASSERT_EQ(removeName(tree.handle, "/folder/sub").exception, 0);
    EXPECT_EQ(tree.nodes, 3u); // sub, b.txt, c.txt and single.txt went
    ASSERT_EQ(tree.removed.size(), 4u);
    EXPECT_EQ(tree.removed.back(), "sub"); // the folder goes after its contents

    Outcome missing = removeName(tree.handle, "/folder/sub");
    EXPECT_EQ(missing.exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(missing.text.find("/folder/sub"), std::string::npos) << missing.text;
    EXPECT_EQ(removeName(tree.handle, "/").exception, SB_EXCEPTION_INVALID_PARAMETER);

    const auto joliet = imageOf(tree.handle, out, Names::Joliet);
    EXPECT_TRUE(joliet.count("/folder/a.txt"));
    EXPECT_FALSE(joliet.count("/folder/sub"));
    EXPECT_TRUE(joliet.at("/empty").directory);
}

TEST_F(NamesTest, EntryHandedToTheCallbackCarriesItsSourcePathOneByteIn) {
    struct Capture {
        std::vector<std::string> sources;
        static void callback(uint32_t reason, void* context, void*, void* special2) {
            if ((reason & 0xFF) == SB_REASON_TREE_ADD_NAME) {
                static_cast<Capture*>(context)->sources.emplace_back(
                    static_cast<const char*>(special2) + 1);
            }
        }
    } capture;
    void* tree = nullptr;
    char text[256];
    uint32_t status = 0;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &status,
                                                    &Capture::callback, &capture),
              0);
    writeFile(src / "f.txt", "x");
    ASSERT_EQ(addFile(tree, src / "f.txt", "/", "renamed.txt").exception, 0);
    StarBurn_Destroy(&tree);
    ASSERT_EQ(capture.sources.size(), 1u);
    EXPECT_EQ(capture.sources[0], src / "f.txt");
}

TEST_F(NamesTest, IsoCollisionTakesTheCallersNameAndKeepsJolietNames) {
    AnsweringTree tree;
    unsigned counter = 1;
    tree.answer = [&counter](const Seen& seen, std::string& name) {
        return seen.kind == 0 ? numberIsoName(name, counter) : uint8_t{0};
    };
    writeFile(src / "longfilename_a.txt", "first");
    writeFile(src / "longfilename_b.txt", "second");
    writeFile(src / "verylongname_c.txt", "third");
    writeFile(src / "VeryLongName_d.txt", "fourth");
    ASSERT_EQ(addFile(tree.handle, src / "longfilename_a.txt").exception, 0);
    ASSERT_EQ(addFile(tree.handle, src / "longfilename_b.txt").exception, 0);
    ASSERT_EQ(addFile(tree.handle, src / "verylongname_c.txt").exception, 0);
    ASSERT_EQ(addFile(tree.handle, src / "VeryLongName_d.txt").exception, 0);

    ASSERT_EQ(tree.collisions.size(), 2u);
    const Seen& seen = tree.collisions[0];
    EXPECT_EQ(seen.kind, 0);
    EXPECT_EQ(seen.name, "LONGFILE.TXT;1");
    EXPECT_EQ(seen.firstSource, src / "longfilename_a.txt");
    EXPECT_EQ(seen.secondSource, src / "longfilename_b.txt");
    EXPECT_EQ(seen.firstAttributes, 0x20u);
    EXPECT_EQ(seen.secondAttributes, 0x20u);
    EXPECT_EQ(tree.collisions[1].name, "VERYLONG.TXT;1");
    EXPECT_EQ(tree.nodes, 4u);

    const auto iso = imageOf(tree.handle, out, Names::Iso9660);
    EXPECT_EQ(iso.at("/LONGFILE.TXT;1").content, "first");
    EXPECT_EQ(iso.at("/LONGFILE1.TXT;1").content, "second");
    EXPECT_EQ(iso.at("/VERYLONG.TXT;1").content, "third");
    EXPECT_EQ(iso.at("/VERYLONG2.TXT;1").content, "fourth");
    const auto joliet = readBack(out / "names.iso", Names::Joliet);
    EXPECT_EQ(joliet.at("/longfilename_a.txt").content, "first");
    EXPECT_EQ(joliet.at("/longfilename_b.txt").content, "second");
    EXPECT_EQ(joliet.at("/VeryLongName_d.txt").content, "fourth");
}

TEST_F(NamesTest, IsoCollisionWithoutAnAnswerIsNumberedByTheLibrary) {
    CountingTree tree; // raises no collision answers
    for (int i = 0; i < 12; ++i) {
        writeFile(src / ("documentation_" + std::to_string(i) + ".html"), std::to_string(i));
        ASSERT_EQ(
            addFile(tree.handle, src / ("documentation_" + std::to_string(i) + ".html")).exception,
            0);
    }
    const auto iso = imageOf(tree.handle, out, Names::Iso9660);
    EXPECT_EQ(iso.at("/DOCUMENT.HTM;1").content, "0");
    EXPECT_EQ(iso.at("/DOCUMEN1.HTM;1").content, "1");
    EXPECT_EQ(iso.at("/DOCUMEN9.HTM;1").content, "9");
    EXPECT_EQ(iso.at("/DOCUME10.HTM;1").content, "10");
    EXPECT_EQ(iso.at("/DOCUME11.HTM;1").content, "11");
    EXPECT_EQ(iso.size(), 12u);
}

TEST_F(NamesTest, SameNameTwiceIsAJolietCollisionRenamedOrRefused) {
    writeFile(src / "one/report.txt", "one");
    writeFile(src / "two/Report.TXT", "two");
    {
        CountingTree tree;
        ASSERT_EQ(addFile(tree.handle, src / "one/report.txt").exception, 0);
        const Outcome clash = addFile(tree.handle, src / "two/Report.TXT");
        EXPECT_EQ(clash.exception, SB_EXCEPTION_TREE_ERROR);
        EXPECT_NE(clash.text.find("Report.TXT"), std::string::npos) << clash.text;
        EXPECT_NE(clash.text.find("already"), std::string::npos) << clash.text;
        EXPECT_EQ(tree.nodes, 1u);
    }
    AnsweringTree tree;
    tree.answer = [](const Seen& seen, std::string& name) -> uint8_t {
        if (seen.kind == 0) {
            return 0;
        }
        name = "report (2).txt";
        return SB_COLLISION_REPLY_RENAME;
    };
    ASSERT_EQ(addFile(tree.handle, src / "one/report.txt").exception, 0);
    ASSERT_EQ(addFile(tree.handle, src / "two/Report.TXT").exception, 0);
    ASSERT_GE(tree.collisions.size(), 1u);
    EXPECT_NE(tree.collisions[0].kind, 0);
    EXPECT_EQ(tree.collisions[0].name, "Report.TXT");
    const auto joliet = imageOf(tree.handle, out, Names::Joliet);
    EXPECT_EQ(joliet.at("/report.txt").content, "one");
    EXPECT_EQ(joliet.at("/report (2).txt").content, "two");
    // The renamed entry is found by its new name.
    EXPECT_EQ(removeName(tree.handle, "/report (2).txt").exception, 0);
    EXPECT_EQ(tree.nodes, 1u);
}

TEST_F(NamesTest, FoldersOfTheSameNameMergeWhenTheCallerSaysSo) {
    AnsweringTree tree;
    unsigned counter = 1;
    tree.answer = [&counter](const Seen& seen, std::string& name) -> uint8_t {
        if (seen.kind != 0 && (seen.firstAttributes & SB_ATTRIBUTE_DIRECTORY) &&
            (seen.secondAttributes & SB_ATTRIBUTE_DIRECTORY)) {
            return SB_COLLISION_REPLY_MERGE;
        }
        if (seen.kind == 0) {
            return numberIsoName(name, counter);
        }
        name = "copy of " + name;
        return SB_COLLISION_REPLY_RENAME;
    };
    writeFile(src / "a/photos/one.jpg", "1");
    writeFile(src / "a/photos/same.jpg", "a-same");
    writeFile(src / "b/photos/two.jpg", "2");
    writeFile(src / "b/photos/same.jpg", "b-same");
    writeFile(src / "b/photos/more/three.jpg", "3");
    ASSERT_EQ(addFolder(tree.handle, (src / "a/photos").c_str()).exception, 0);
    const uint32_t before = tree.nodes;
    ASSERT_EQ(addFolder(tree.handle, (src / "b/photos").c_str()).exception, 0);
    // two.jpg, copy of same.jpg, more, three.jpg; the second folder itself dissolves.
    EXPECT_EQ(tree.nodes, before + 4);
    ASSERT_GE(tree.collisions.size(), 2u);
    EXPECT_EQ(tree.collisions[0].firstAttributes, SB_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(tree.collisions[0].secondSource, src / "b/photos");

    const auto joliet = imageOf(tree.handle, out, Names::Joliet);
    EXPECT_EQ(joliet.at("/photos/one.jpg").content, "1");
    EXPECT_EQ(joliet.at("/photos/two.jpg").content, "2");
    EXPECT_EQ(joliet.at("/photos/same.jpg").content, "a-same");
    EXPECT_EQ(joliet.at("/photos/copy of same.jpg").content, "b-same");
    EXPECT_EQ(joliet.at("/photos/more/three.jpg").content, "3");
    const auto iso = readBack(out / "names.iso", Names::Iso9660);
    EXPECT_EQ(iso.at("/PHOTOS/SAME.JPG;1").content, "a-same");
    EXPECT_EQ(iso.at("/PHOTOS/COPY_OF_.JPG;1").content, "b-same");
}

TEST_F(NamesTest, MergingAFileOrLeavingTheCollisionOpenFailsAndUndoesTheCall) {
    AnsweringTree tree;
    writeFile(src / "x/keep.txt", "keep");
    writeFile(src / "x/clash.txt", "old");
    writeFile(src / "y/x/aaa.txt", "new file placed before the clash");
    writeFile(src / "y/x/clash.txt", "new");
    writeFile(src / "y/x/zzz.txt", "never reached");
    ASSERT_EQ(addFolder(tree.handle, (src / "x").c_str()).exception, 0);
    const uint32_t before = tree.nodes;

    // Merge the folders, then refuse to settle the file inside.
    tree.answer = [](const Seen& seen, std::string&) -> uint8_t {
        return (seen.firstAttributes & SB_ATTRIBUTE_DIRECTORY) ? SB_COLLISION_REPLY_MERGE : 0;
    };
    const Outcome open = addFolder(tree.handle, (src / "y/x").c_str());
    EXPECT_EQ(open.exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(open.text.find("clash.txt"), std::string::npos) << open.text;
    EXPECT_EQ(tree.nodes, before);

    // A merge asked for two files.
    tree.answer = [](const Seen&, std::string&) -> uint8_t { return SB_COLLISION_REPLY_MERGE; };
    const Outcome merge = addFile(tree.handle, src / "y/x/clash.txt", "/x");
    EXPECT_EQ(merge.exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(merge.text.find("merge"), std::string::npos) << merge.text;
    EXPECT_EQ(tree.nodes, before);

    const auto joliet = imageOf(tree.handle, out, Names::Joliet);
    EXPECT_EQ(joliet.at("/x/clash.txt").content, "old");
    EXPECT_FALSE(joliet.count("/x/aaa.txt"));
    EXPECT_FALSE(joliet.count("/x/zzz.txt"));
    EXPECT_EQ(joliet.size(), 3u);
}

TEST_F(NamesTest, MissingSourcesAndTargetsFailClearly) {
    CountingTree tree;
    Outcome missing = addFile(tree.handle, src / "nothing.txt");
    EXPECT_EQ(missing.exception, SB_EXCEPTION_FILE_ERROR);
    EXPECT_EQ(missing.status, static_cast<uint32_t>(ENOENT));
    EXPECT_NE(missing.text.find("nothing.txt"), std::string::npos) << missing.text;

    EXPECT_EQ(addFile(tree.handle, src.path().string()).exception, SB_EXCEPTION_FILE_ERROR);
    EXPECT_EQ(addFolder(tree.handle, (src / "nowhere").c_str()).exception, SB_EXCEPTION_FILE_ERROR);

    writeFile(src / "f.txt", "f");
    Outcome noFolder = addFile(tree.handle, src / "f.txt", "/no/such");
    EXPECT_EQ(noFolder.exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(noFolder.text.find("/no/such"), std::string::npos) << noFolder.text;
    EXPECT_EQ(addFile(tree.handle, src / "f.txt", "/", "a/b").exception,
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(addFile(tree.handle, src / "f.txt", "/", "..").exception,
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(addFolder(tree.handle, nullptr, "/", nullptr).exception,
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(tree.nodes, 0u);

    ASSERT_EQ(addFile(tree.handle, src / "f.txt").exception, 0);
    EXPECT_EQ(addFile(tree.handle, src / "f.txt", "/f.txt").exception, SB_EXCEPTION_TREE_ERROR);
}

TEST_F(NamesTest, UnreadableFileFailsTheWholeFolder) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "the superuser reads every file";
    }
    CountingTree tree;
    writeFile(src / "d/a.txt", "a");
    writeFile(src / "d/secret.txt", "s");
    std::filesystem::permissions(src / "d/secret.txt", std::filesystem::perms::none);
    const Outcome r = addFolder(tree.handle, (src / "d").c_str());
    EXPECT_EQ(r.exception, SB_EXCEPTION_FILE_ERROR);
    EXPECT_EQ(r.status, static_cast<uint32_t>(EACCES));
    EXPECT_NE(r.text.find("secret.txt"), std::string::npos) << r.text;
    EXPECT_EQ(tree.nodes, 0u);
}

TEST_F(NamesTest, LinksAreFollowedAndSpecialFilesIgnored) {
    CountingTree tree;
    writeFile(src / "d/real.txt", "real");
    std::filesystem::create_symlink(src / "d/real.txt", src / "d/link.txt");
    std::filesystem::create_symlink(src / "d/gone.txt", src / "d/dangling.txt");
    std::filesystem::create_directory_symlink(src / "d", src / "d/loop");
    ASSERT_EQ(mkfifo((src / "d/pipe").c_str(), 0600), 0);
    ASSERT_EQ(addFolder(tree.handle, (src / "d").c_str()).exception, 0);
    std::sort(tree.ignored.begin(), tree.ignored.end());
    EXPECT_EQ(tree.ignored, (std::vector<std::string>{"dangling.txt", "loop", "pipe"}));
    const auto joliet = imageOf(tree.handle, out, Names::Joliet);
    EXPECT_EQ(joliet.at("/d/link.txt").content, "real");
    EXPECT_EQ(joliet.at("/d/real.txt").content, "real");
}

TEST_F(NamesTest, NamesJolietCannotHoldAreMadeValid) {
    CountingTree tree;
    const std::string longName = std::string(70, 'n') + ".txt";
    writeFile(src / "f.txt", "x");
    ASSERT_EQ(addFile(tree.handle, src / "f.txt", "/", "what?*:.txt").exception, 0);
    ASSERT_EQ(addFile(tree.handle, src / "f.txt", "/", longName.c_str()).exception, 0);
    const auto joliet = imageOf(tree.handle, out, Names::Joliet);
    EXPECT_TRUE(joliet.count("/what___.txt"));
    EXPECT_TRUE(joliet.count("/" + std::string(60, 'n') + ".txt"));
}

} // namespace
