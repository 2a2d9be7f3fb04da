// SPDX-License-Identifier: GPL-2.0-or-later
// Built file trees burned onto virtual discs in every tree write mode.
#include "tests/starburn/sbTestSupport.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

using namespace sbtest;

namespace {

class TreeWrites : public Library {
protected:
    void TearDown() override {
        for (void*& t : trees) {
            StarBurn_Destroy(&t);
        }
        if (writer != nullptr) {
            StarBurn_Destroy(&writer);
        }
        Library::TearDown();
    }

    // A tree holding one generated file, built to start at `start`.
    void* buildTree(const std::string& name, size_t size, uint32_t seed, uint32_t start,
                    const char* label) {
        void* tree = nullptr;
        EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, r.text, sizeof r.text, &r.status,
                                                        nullptr, nullptr),
                  SB_EXCEPTION_NONE)
            << r.text;
        trees.push_back(tree);
        const std::string source = image(name, size, seed);
        EXPECT_EQ(StarBurn_ISO9660JolietFileTree_AddFile(tree, r.text, sizeof r.text, &r.status,
                                                         source.c_str(), nullptr, nullptr),
                  SB_EXCEPTION_NONE)
            << r.text;
        EXPECT_EQ(StarBurn_ISO9660JolietFileTree_BuildImage(tree, r.text, sizeof r.text, &r.status,
                                                            start, 0, 1, label, "Tavrin",
                                                            "Tavrin tests"),
                  SB_EXCEPTION_NONE)
            << r.text;
        return tree;
    }

    // The tree's image as its own Read hands it out.
    std::vector<uint8_t> readTree(void* tree) {
        uint32_t high = 0;
        const uint64_t size = StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high) |
                              (static_cast<uint64_t>(high) << 32);
        std::vector<uint8_t> bytes(size);
        EXPECT_EQ(
            StarBurn_ISO9660JolietFileTree_SeekToBegin(tree, r.text, sizeof r.text, &r.status),
            SB_EXCEPTION_NONE);
        for (uint64_t done = 0; done < size;) {
            const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(65536, size - done));
            EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Read(tree, r.text, sizeof r.text, &r.status,
                                                          chunk, bytes.data() + done),
                      SB_EXCEPTION_NONE)
                << r.text;
            done += chunk;
        }
        return bytes;
    }

    uint8_t sessionAtOnce(void* tree) {
        auto layout = std::make_unique<SessionLayoutRecord>();
        std::memset(layout.get(), 0, sizeof *layout);
        layout->EntryCount = 1;
        layout->Entries[0].FileTree = tree;
        return StarBurn_CdvdBurnerGrabber_SessionAtOnce(writer, r.text, sizeof r.text, &r.status,
                                                        r.failure, layout.get(), 1, 0, 1, 1,
                                                        SB_WRITE_REVISION);
    }

    uint8_t closeSession() {
        return StarBurn_CdvdBurnerGrabber_CloseSession(writer, r.text, sizeof r.text, &r.status,
                                                       r.failure);
    }

    std::vector<void*> trees;
    void* writer = nullptr;
    Report r;
};

// Where the bytes of `needle` start in `haystack`, or npos.
size_t find(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
    const auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    return it == haystack.end() ? std::string::npos : static_cast<size_t>(it - haystack.begin());
}

// A disc holds the tree's image: the same size, and each file's bytes where
// the image has them. (The image's own time stamps are taken when it is
// read, so two reads a second apart differ there and only there.)
void expectTreeImage(const std::vector<uint8_t>& onDisc, const std::vector<uint8_t>& image,
                     const std::vector<std::vector<uint8_t>>& files) {
    EXPECT_EQ(onDisc.size(), image.size());
    for (const auto& file : files) {
        const size_t at = find(image, file);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(find(onDisc, file), at);
    }
}

} // namespace

TEST_F(TreeWrites, EveryTreeModePutsTheTreesImageOnTheDisc) {
    void* tree = buildTree("file.bin", 150000, 1, 0, "TREE_TEST");
    const auto expected = padded(readTree(tree));
    ASSERT_GT(expected.size(), 150000u);

    struct Mode {
        const char* name;
        std::function<uint8_t()> burn;
        bool needsClose;
    };
    const Mode modes[] = {
        {"Disc-At-Once PQ",
         [&] {
             return StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree(writer, r.text, sizeof r.text,
                                                                    &r.status, r.failure, tree, 0,
                                                                    0, 0, 1, SB_WRITE_REVISION);
         },
         false},
        {"Disc-At-Once raw P-W",
         [&] {
             return StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(
                 writer, r.text, sizeof r.text, &r.status, r.failure, tree, 0, 0, 0, 1,
                 SB_WRITE_REVISION);
         },
         false},
        {"Track-At-Once",
         [&] {
             return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(writer, r.text, sizeof r.text,
                                                                   &r.status, r.failure, tree, 1, 0,
                                                                   0, 1, SB_WRITE_REVISION);
         },
         true},
        {"Session-At-Once", [&] { return sessionAtOnce(tree); }, false},
    };
    writer = open("CdRom0");
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.name);
        ASSERT_EQ(mode.burn(), SB_EXCEPTION_NONE) << r.text;
        if (mode.needsClose) {
            ASSERT_EQ(closeSession(), SB_EXCEPTION_NONE) << r.text;
        }
        EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_COMPLETE);
        expectTreeImage(ejectAndRead(writer, "CdRom0"), expected, {patternBytes(150000, 1)});
        char path[4096] = {};
        ASSERT_EQ(StarBurnTesting_GetLastEjectedImage("CdRom0", path, sizeof path),
                  SB_EXCEPTION_NONE);
        EXPECT_NE(std::string(path).find("TREE_TEST"), std::string::npos) << path;
    }
}

TEST_F(TreeWrites, ASecondSessionIsBuiltForTheAddressTheDiscNames) {
    writer = open("CdRom0");
    void* first = buildTree("one.bin", 70000, 2, 0, "FIRST");
    const auto firstImage = readTree(first);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(writer, r.text, sizeof r.text,
                                                             &r.status, r.failure, first, 1, 0, 1,
                                                             1, SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    ASSERT_EQ(closeSession(), SB_EXCEPTION_NONE) << r.text;
    const auto next = nextTrack(writer);
    ASSERT_EQ(next.NextWritableAddressValid, 1);
    EXPECT_EQ(uint32_t{next.TrackStartAddress}, firstImage.size() / 2048);

    void* second = buildTree("two.bin", 50000, 3, next.TrackStartAddress, "SECOND");
    const auto secondImage = readTree(second);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(writer, r.text, sizeof r.text,
                                                             &r.status, r.failure, second, 1, 0, 0,
                                                             1, SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    ASSERT_EQ(closeSession(), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(discInfo(writer).NumberOfSessions, 2);

    std::vector<uint8_t> expected = firstImage;
    expected.insert(expected.end(), secondImage.begin(), secondImage.end());
    expectTreeImage(ejectAndRead(writer, "CdRom0"), expected,
                    {patternBytes(70000, 2), patternBytes(50000, 3)});
}

TEST_F(TreeWrites, ATreeWithoutABuiltImageIsRefusedBeforeTheDiscIsTouched) {
    void* tree = nullptr;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, r.text, sizeof r.text, &r.status,
                                                    nullptr, nullptr),
              SB_EXCEPTION_NONE);
    trees.push_back(tree);
    writer = open("CdRom0");
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(writer, r.text, sizeof r.text,
                                                             &r.status, r.failure, tree, 1, 0, 0, 1,
                                                             SB_WRITE_REVISION),
              SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(std::string(r.text).find("not built"), std::string::npos) << r.text;
    EXPECT_EQ(sessionAtOnce(tree), SB_EXCEPTION_TREE_ERROR);
    EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_BLANK);
}
