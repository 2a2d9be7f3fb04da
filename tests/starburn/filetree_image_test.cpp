// SPDX-License-Identifier: GPL-2.0-or-later
// Building a tree's image and reading it out: contents, both name trees, the
// volume descriptor, padding, restarting, multisession addresses and the
// failures of reading.
#include "filetree_support.h"

#include "starburn/StarBurnLinux.h"

#include "starburn/filetree/sbTreeSource.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <thread>

using namespace filetree_test;

namespace {

struct SourceTree {
    TempDir dir;
    std::map<std::string, std::string> files; // relative path -> content

    SourceTree() {
        const std::vector<std::pair<std::string, size_t>> layout = {
            {"empty.txt", 0},
            {"one byte.bin", 1},
            {"block.dat", 2048},
            {"Long Document Name.text", 100000},
            {"docs/readme.md", 3000},
            {"docs/deeper/nested/data.bin", 70000},
            {"docs/Ünïcode файл.txt", 5000},
        };
        uint32_t seed = 1;
        for (const auto& [name, size] : layout) {
            files[name] = pattern(size, seed++);
            writeFile(dir / name, files[name]);
        }
    }
};

class ImageTest : public ::testing::Test {
protected:
    CountingTree tree;
    TempDir out;
};

TEST_F(ImageTest, BothNameTreesHoldEveryFileWithItsContent) {
    SourceTree src;
    ASSERT_EQ(addFolder(tree.handle, src.dir.path().c_str(), "/", "data").exception, 0);
    ASSERT_EQ(addFile(tree.handle, src.dir / "block.dat", "/", "top.dat").exception, 0);
    const Outcome built = build(tree.handle);
    ASSERT_EQ(built.exception, 0) << built.text;

    std::string image;
    const Outcome read = readImage(tree.handle, image);
    ASSERT_EQ(read.exception, 0) << read.text;
    EXPECT_EQ(image.size(), imageSize(tree.handle));
    EXPECT_EQ(image.size() % 2048, 0u);
    saveImage(out / "tree.iso", image);

    const auto joliet = readBack(out / "tree.iso", Names::Joliet);
    for (const auto& [rel, content] : src.files) {
        const std::string path = "/data/" + rel;
        ASSERT_TRUE(joliet.count(path)) << path;
        EXPECT_FALSE(joliet.at(path).directory);
        EXPECT_EQ(joliet.at(path).content.size(), content.size()) << path;
        EXPECT_TRUE(joliet.at(path).content == content) << path;
    }
    EXPECT_TRUE(joliet.at("/data/docs/deeper/nested").directory);
    EXPECT_TRUE(joliet.at("/top.dat").content == src.files["block.dat"]);

    const auto iso = readBack(out / "tree.iso", Names::Iso9660);
    const std::map<std::string, std::string> isoNames = {
        {"/DATA/EMPTY.TXT;1", "empty.txt"},
        {"/DATA/ONE_BYTE.BIN;1", "one byte.bin"},
        {"/DATA/BLOCK.DAT;1", "block.dat"},
        {"/DATA/LONG_DOC.TEX;1", "Long Document Name.text"},
        {"/DATA/DOCS/README.MD;1", "docs/readme.md"},
        {"/DATA/DOCS/DEEPER/NESTED/DATA.BIN;1", "docs/deeper/nested/data.bin"},
        {"/DATA/DOCS/_N_CODE_.TXT;1", "docs/Ünïcode файл.txt"},
        {"/TOP.DAT;1", "block.dat"},
    };
    for (const auto& [path, rel] : isoNames) {
        ASSERT_TRUE(iso.count(path)) << path;
        EXPECT_TRUE(iso.at(path).content == src.files[rel]) << path;
    }
    // Only the two trees' own names: no Joliet name leaks into ISO9660 and back.
    size_t isoFiles = 0;
    for (const auto& [path, item] : iso) {
        isoFiles += item.directory ? 0 : 1;
    }
    EXPECT_EQ(isoFiles, isoNames.size());
    EXPECT_FALSE(joliet.count("/DATA"));

    // One copy of each content: the image is not much larger than the data.
    size_t payload = 0;
    for (const auto& [rel, content] : src.files) {
        payload += (content.size() + 2047) / 2048 * 2048;
    }
    EXPECT_LT(image.size(), payload + 2048 * 2 + 200 * 1024);
}

TEST_F(ImageTest, VolumeDescriptorCarriesLabelAndIdsAndPaddingIsAppended) {
    TempDir src;
    writeFile(src / "a.txt", pattern(5000, 7));
    ASSERT_EQ(addFile(tree.handle, src / "a.txt").exception, 0);

    ASSERT_EQ(build(tree.handle, 0, 0, 1, "MY_DISC", "/usr/bin/tavrin-app", "PREPARER X").exception,
              0);
    std::string plain;
    ASSERT_EQ(readImage(tree.handle, plain).exception, 0);
    EXPECT_EQ(plain.substr(16 * 2048, 6), std::string("\x01"
                                                      "CD001",
                                                      6));
    EXPECT_EQ(descriptorText(plain, 16, 40, 32), "MY_DISC");
    EXPECT_EQ(descriptorText(plain, 16, 446, 128), "PREPARER X");
    // ISO9660 a-characters have no lower case.
    EXPECT_EQ(descriptorText(plain, 16, 574, 128), "/USR/BIN/TAVRIN-APP");
    // The Joliet supplementary descriptor follows the primary one.
    EXPECT_EQ(plain.substr(17 * 2048, 6), std::string("\x02"
                                                      "CD001",
                                                      6));
    // The library's reader of the descriptor tells the same, also from a
    // block cut short; the supplementary descriptor is no primary one.
    SB_PRIMARY_VOLUME_DESCRIPTOR pvd{};
    ASSERT_EQ(StarBurn_ReadPrimaryVolumeDescriptor(plain.data() + 16 * 2048, 130, &pvd), 0);
    EXPECT_EQ(pvd.IsPrimary, 1);
    EXPECT_STREQ(pvd.VolumeIdentifier, "MY_DISC");
    EXPECT_EQ(uint64_t{pvd.VolumeSpaceSize} * pvd.LogicalBlockSize, plain.size());
    EXPECT_EQ(StarBurn_ReadPrimaryVolumeDescriptor(plain.data() + 16 * 2048, 129, &pvd), 0);
    EXPECT_EQ(pvd.IsPrimary, 0);
    EXPECT_EQ(pvd.VolumeSpaceSize, 0u);
    EXPECT_EQ(StarBurn_ReadPrimaryVolumeDescriptor(plain.data() + 17 * 2048, 2048, &pvd), 0);
    EXPECT_EQ(pvd.IsPrimary, 0);
    EXPECT_EQ(StarBurn_ReadPrimaryVolumeDescriptor(nullptr, 2048, &pvd),
              SB_EXCEPTION_INVALID_PARAMETER);

    ASSERT_EQ(build(tree.handle, 0, 8, 1, "MY_DISC", nullptr, nullptr).exception, 0);
    std::string padded;
    ASSERT_EQ(readImage(tree.handle, padded).exception, 0);
    ASSERT_EQ(padded.size(), plain.size() + 8 * 2048);
    EXPECT_EQ(padded.substr(padded.size() - 8 * 2048), std::string(8 * 2048, '\0'));

    // Without Joliet there is no supplementary descriptor.
    ASSERT_EQ(build(tree.handle, 0, 0, 0, "MY_DISC", nullptr, nullptr).exception, 0);
    std::string isoOnly;
    ASSERT_EQ(readImage(tree.handle, isoOnly).exception, 0);
    EXPECT_NE(isoOnly.substr(17 * 2048, 6), std::string("\x02"
                                                        "CD001",
                                                        6));
    saveImage(out / "isoonly.iso", isoOnly);
    const auto iso = readBack(out / "isoonly.iso", Names::Iso9660);
    ASSERT_TRUE(iso.count("/A.TXT;1"));
    EXPECT_TRUE(iso.at("/A.TXT;1").content == pattern(5000, 7));
}

TEST_F(ImageTest, SeekToBeginRestartsTheImageWithIdenticalBytes) {
    TempDir src;
    for (int i = 0; i < 20; ++i) {
        writeFile(src / ("f" + std::to_string(i) + ".bin"), pattern(300000, 100 + i));
    }
    ASSERT_EQ(addFolder(tree.handle, src.path().c_str(), "/", "set").exception, 0);
    ASSERT_EQ(build(tree.handle).exception, 0);

    std::string first;
    ASSERT_EQ(readImage(tree.handle, first).exception, 0);
    // Let the clock pass a second, so times taken when the image is generated
    // again would show in the bytes.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(seekToBegin(tree.handle).exception, 0);
    std::string second;
    ASSERT_EQ(readImage(tree.handle, second, 2048 * 3).exception, 0);
    EXPECT_TRUE(first == second);

    // A trial read and a rewind, as a burn into a file does before copying.
    std::vector<char> chunk(65536);
    char text[256];
    uint32_t status = 0;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Read(tree.handle, text, sizeof text, &status, 65536,
                                                  chunk.data()),
              SB_EXCEPTION_INVALID_PARAMETER)
        << "the image was read to its end";
    ASSERT_EQ(seekToBegin(tree.handle).exception, 0);
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Read(tree.handle, text, sizeof text, &status, 65536,
                                                  chunk.data()),
              0)
        << text;
    ASSERT_EQ(seekToBegin(tree.handle).exception, 0);
    std::string third;
    ASSERT_EQ(readImage(tree.handle, third, 65536).exception, 0);
    EXPECT_TRUE(first == third);
}

TEST_F(ImageTest, StartAddressMakesTheImageReadableAtThatBlock) {
    TempDir src;
    writeFile(src / "session2.txt", pattern(10000, 3));
    writeFile(src / "dir/inner.bin", pattern(4096, 4));
    ASSERT_EQ(addFolder(tree.handle, src.path().c_str(), "/", "s2").exception, 0);

    constexpr uint32_t kStart = 2000;
    ASSERT_EQ(build(tree.handle, kStart).exception, 0);
    std::string image;
    ASSERT_EQ(readImage(tree.handle, image).exception, 0);

    // The root directory record of the primary descriptor points past the start.
    const uint32_t rootExtent = le32(image, 16 * 2048 + 156 + 2);
    EXPECT_GE(rootExtent, kStart + 16);
    EXPECT_LT(rootExtent, kStart + image.size() / 2048);

    // Placed at its block, as on a disc after an earlier session.
    saveImage(out / "ms.img", image, uint64_t{kStart} * 2048);
    for (Names names : {Names::Joliet, Names::Iso9660}) {
        const auto items = readBack(out / "ms.img", names, kStart);
        const std::string file = names == Names::Joliet ? "/s2/session2.txt" : "/S2/SESSION2.TXT;1";
        const std::string inner =
            names == Names::Joliet ? "/s2/dir/inner.bin" : "/S2/DIR/INNER.BIN;1";
        ASSERT_TRUE(items.count(file)) << file;
        EXPECT_TRUE(items.at(file).content == pattern(10000, 3));
        ASSERT_TRUE(items.count(inner)) << inner;
        EXPECT_TRUE(items.at(inner).content == pattern(4096, 4));
    }
}

TEST_F(ImageTest, ReadingFailsClearlyWithoutAnImageAndPastItsEnd) {
    TempDir src;
    writeFile(src / "a.txt", pattern(3000, 9));
    char text[512] = "";
    uint32_t status = 0;
    char buffer[4096];

    ASSERT_EQ(addFile(tree.handle, src / "a.txt").exception, 0);
    EXPECT_EQ(
        StarBurn_ISO9660JolietFileTree_Read(tree.handle, text, sizeof text, &status, 2048, buffer),
        SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(std::string(text).find("not built"), std::string::npos) << text;
    EXPECT_EQ(seekToBegin(tree.handle).exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_EQ(imageSize(tree.handle), 0u);

    ASSERT_EQ(build(tree.handle).exception, 0);
    const uint64_t size = imageSize(tree.handle);
    std::string all(size, '\0');
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Read(tree.handle, text, sizeof text, &status,
                                                  static_cast<uint32_t>(size - 2048), all.data()),
              0);
    // One block is left; asking for two reads nothing and says why.
    EXPECT_EQ(
        StarBurn_ISO9660JolietFileTree_Read(tree.handle, text, sizeof text, &status, 4096, buffer),
        SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_NE(std::string(text).find("ends at byte " + std::to_string(size)), std::string::npos)
        << text;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Read(tree.handle, text, sizeof text, &status, 2048,
                                                  all.data() + size - 2048),
              0)
        << text;
    saveImage(out / "a.iso", all);
    EXPECT_TRUE(readBack(out / "a.iso", Names::Joliet).at("/a.txt").content == pattern(3000, 9));

    // A change to the tree discards the built image.
    ASSERT_EQ(removeName(tree.handle, "/a.txt").exception, 0);
    EXPECT_EQ(imageSize(tree.handle), 0u);
    EXPECT_EQ(
        StarBurn_ISO9660JolietFileTree_Read(tree.handle, text, sizeof text, &status, 2048, buffer),
        SB_EXCEPTION_TREE_ERROR);

    // A tiny failure buffer is filled, terminated and never overrun.
    char tiny[8];
    std::memset(tiny, 'x', sizeof tiny);
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Read(tree.handle, tiny, 5, &status, 2048, buffer),
              SB_EXCEPTION_TREE_ERROR);
    EXPECT_EQ(tiny[4], '\0');
    EXPECT_EQ(tiny[5], 'x');
}

TEST_F(ImageTest, AGeneratorFailureIsReportedByItsOwnTreeAndNeverAsAnImage) {
    TempDir src;
    writeFile(src / "a.txt", pattern(3000, 5));
    CountingTree other;
    ASSERT_EQ(addFile(tree.handle, src / "a.txt").exception, 0);
    ASSERT_EQ(addFile(other.handle, src / "a.txt").exception, 0);

    // Padding that runs past the last block ISO9660 can address makes
    // libisofs' generator fail; another tree built meanwhile leaves the
    // failing tree's messages to it.
    ASSERT_EQ(build(tree.handle, 0, 0xFFFFFFE0u).exception, 0);
    // Time for the generator to fail before the other tree is built.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(build(other.handle).exception, 0);
    std::string image;
    const Outcome failed = readImage(tree.handle, image);
    EXPECT_EQ(failed.exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(failed.text.find("Image write error"), std::string::npos) << failed.text;
    const Outcome fine = readImage(other.handle, image);
    EXPECT_EQ(fine.exception, 0) << fine.text;

    // Every announced byte arrives, but the generator failed: no image.
    ASSERT_EQ(build(tree.handle, 0, 0xFFFFFFFFu).exception, 0);
    const Outcome whole = readImage(tree.handle, image);
    EXPECT_EQ(whole.exception, SB_EXCEPTION_TREE_ERROR) << image.size() << " bytes read";
    EXPECT_NE(whole.text.find("Image write error"), std::string::npos) << whole.text;
}

TEST_F(ImageTest, SourceFileChangedAfterTheBuildFailsTheReadNotTheData) {
    TempDir src;
    writeFile(src / "a.bin", pattern(200000, 1));
    writeFile(src / "victim.bin", pattern(200000, 2));
    ASSERT_EQ(addFolder(tree.handle, src.path().c_str(), "/", "d").exception, 0);
    ASSERT_EQ(build(tree.handle).exception, 0);

    // Gone before the build: the build names it.
    std::filesystem::remove(src / "victim.bin");
    Outcome built = build(tree.handle);
    EXPECT_EQ(built.exception, SB_EXCEPTION_FILE_ERROR);
    EXPECT_EQ(built.status, static_cast<uint32_t>(ENOENT));
    EXPECT_NE(built.text.find("victim.bin"), std::string::npos) << built.text;

    // Shrunk after the build: the stream restarted by SeekToBegin meets it.
    writeFile(src / "victim.bin", pattern(200000, 2));
    ASSERT_EQ(build(tree.handle).exception, 0);
    std::filesystem::resize_file(src / "victim.bin", 1000);
    ASSERT_EQ(seekToBegin(tree.handle).exception, 0);
    std::string image;
    std::vector<char> chunk(2048);
    char text[512];
    uint32_t status = 0;
    // The first read may come before the new stream reaches the file.
    (void)StarBurn_ISO9660JolietFileTree_Read(tree.handle, text, sizeof text, &status, 2048,
                                              chunk.data());
    ASSERT_EQ(seekToBegin(tree.handle).exception, 0);
    const Outcome read = readImage(tree.handle, image);
    EXPECT_EQ(read.exception, SB_EXCEPTION_FILE_ERROR);
    EXPECT_NE(read.text.find("victim.bin"), std::string::npos) << read.text;
    // The stream stays failed until it is started again.
    EXPECT_NE(StarBurn_ISO9660JolietFileTree_Read(tree.handle, text, sizeof text, &status, 2048,
                                                  chunk.data()),
              0);
}

TEST_F(ImageTest, TreeSourceYieldsTheImageFromItsStartAndOutlivesTheHandle) {
    TempDir src;
    writeFile(src / "x.bin", pattern(150000, 11));
    ASSERT_EQ(addFile(tree.handle, src / "x.bin").exception, 0);

    std::string error;
    EXPECT_EQ(starburn::openTreeSource(tree.handle, error), nullptr);
    EXPECT_NE(error.find("not built"), std::string::npos) << error;
    EXPECT_EQ(starburn::openTreeSource(nullptr, error), nullptr);

    ASSERT_EQ(build(tree.handle).exception, 0);
    std::string viaRead;
    ASSERT_EQ(readImage(tree.handle, viaRead).exception, 0);

    // Opened after the tree's own reads: it still starts at the first byte.
    auto source = starburn::openTreeSource(tree.handle, error);
    ASSERT_NE(source, nullptr) << error;
    ASSERT_EQ(source->size(), viaRead.size());
    StarBurn_Destroy(&tree.handle);

    std::string viaSource(viaRead.size(), '\0');
    int err = 0;
    ASSERT_TRUE(source->read(viaSource.data(), 4096, error, err)) << error;
    ASSERT_TRUE(source->rewind(error, err)) << error;
    ASSERT_TRUE(source->read(viaSource.data(), viaSource.size(), error, err)) << error;
    EXPECT_TRUE(viaSource == viaRead);
    char extra[2048];
    EXPECT_FALSE(source->read(extra, sizeof extra, error, err));
    EXPECT_FALSE(error.empty());
}

TEST(FileTreeHandles, CallsOnNullOrForeignHandlesFailWithoutCrashing) {
    char text[256] = "";
    uint32_t status = 0;
    int notATree = 0;
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_AddFile(&notATree, text, sizeof text, &status,
                                                     "/etc/hostname", "/", nullptr),
              SB_EXCEPTION_INVALID_HANDLE);
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_BuildImage(nullptr, text, sizeof text, &status, 0, 0,
                                                        1, "L", nullptr, nullptr),
              SB_EXCEPTION_INVALID_HANDLE);
    uint32_t high = 7;
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(nullptr, &high), 0u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Create(nullptr, text, sizeof text, &status, nullptr,
                                                    nullptr),
              SB_EXCEPTION_INVALID_PARAMETER);

    void* tree = nullptr;
    ASSERT_EQ(
        StarBurn_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &status, nullptr, nullptr),
        0);
    void* copy = tree;
    StarBurn_Destroy(&tree);
    EXPECT_EQ(tree, nullptr);
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_SeekToBegin(copy, text, sizeof text, &status),
              SB_EXCEPTION_INVALID_HANDLE);
}

TEST(FileTreeHandles, DestroyingATreeInTheMiddleOfItsImageStopsCleanly) {
    TempDir src;
    writeFile(src / "big.bin", pattern(8 << 20, 5));
    void* tree = nullptr;
    char text[256] = "";
    uint32_t status = 0;
    ASSERT_EQ(
        StarBurn_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &status, nullptr, nullptr),
        0);
    ASSERT_EQ(addFile(tree, src / "big.bin").exception, 0);
    ASSERT_EQ(build(tree).exception, 0);
    std::vector<char> chunk(65536);
    ASSERT_EQ(
        StarBurn_ISO9660JolietFileTree_Read(tree, text, sizeof text, &status, 65536, chunk.data()),
        0);
    StarBurn_Destroy(&tree); // the generator is waiting on a full buffer
    EXPECT_EQ(tree, nullptr);
}

} // namespace
