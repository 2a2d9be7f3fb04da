// SPDX-License-Identifier: GPL-2.0-or-later
// El Torito boot images of a tree: the boot record, the catalog, the patched
// boot information table, and the boot image's name kept on a collision.
#include "filetree_support.h"

#include <cstring>

using namespace filetree_test;

namespace {

struct BootLayout {
    bool present = false;
    uint32_t catalog = 0;
    uint8_t bootIndicator = 0;
    uint8_t media = 0xFF;
    uint16_t loadSegment = 0xFFFF;
    uint16_t sectorCount = 0;
    uint32_t loadRba = 0;
};

// Finds the boot record among the volume descriptors and reads the catalog's
// validation and initial entries.
BootLayout bootLayout(const std::string& image) {
    BootLayout layout;
    for (size_t block = 16; (block + 1) * 2048 <= image.size(); ++block) {
        const std::string vd = image.substr(block * 2048, 2048);
        if (vd.compare(1, 5, "CD001") != 0 || static_cast<unsigned char>(vd[0]) == 0xFF) {
            break;
        }
        if (vd[0] == 0 && vd.compare(7, 23, "EL TORITO SPECIFICATION") == 0) {
            layout.present = true;
            layout.catalog = le32(vd, 0x47);
        }
    }
    if (!layout.present) {
        return layout;
    }
    const std::string catalog = image.substr(size_t{layout.catalog} * 2048, 64);
    EXPECT_EQ(catalog[0], 1) << "validation entry header";
    EXPECT_EQ(catalog[1], 0) << "x86 platform";
    EXPECT_EQ(static_cast<unsigned char>(catalog[30]), 0x55);
    EXPECT_EQ(static_cast<unsigned char>(catalog[31]), 0xAA);
    uint16_t sum = 0;
    for (size_t i = 0; i < 32; i += 2) {
        sum = static_cast<uint16_t>(sum + le16(catalog, i));
    }
    EXPECT_EQ(sum, 0) << "validation entry checksum";
    layout.bootIndicator = static_cast<uint8_t>(catalog[32]);
    layout.media = static_cast<uint8_t>(catalog[33]);
    layout.loadSegment = le16(catalog, 34);
    layout.sectorCount = le16(catalog, 38);
    layout.loadRba = le32(catalog, 40);
    return layout;
}

class BootTest : public ::testing::Test {
protected:
    TempDir src;
    TempDir out;
    std::string bootData = pattern(4096, 42);

    void SetUp() override {
        writeFile(src / "boot/boot.img", bootData);
        writeFile(src / "readme.txt", "a bootable disc");
    }

    std::string buildAndRead(void* tree) {
        const Outcome built = build(tree);
        EXPECT_EQ(built.exception, 0) << built.text;
        std::string image;
        const Outcome read = readImage(tree, image);
        EXPECT_EQ(read.exception, 0) << read.text;
        return image;
    }
};

TEST_F(BootTest, BootImageOfTheTreeIsCatalogedAndPatched) {
    CountingTree tree;
    ASSERT_EQ(addFolder(tree.handle, (src / "boot").c_str()).exception, 0);
    ASSERT_EQ(addFile(tree.handle, src / "readme.txt").exception, 0);
    const Outcome set = setBoot(tree.handle, "/boot/boot.img");
    ASSERT_EQ(set.exception, 0) << set.text;
    const uint32_t nodes = tree.nodes;

    const std::string image = buildAndRead(tree.handle);
    const BootLayout boot = bootLayout(image);
    ASSERT_TRUE(boot.present);
    EXPECT_EQ(boot.bootIndicator, 0x88);
    EXPECT_EQ(boot.media, 0) << "no emulation";
    EXPECT_TRUE(boot.loadSegment == 0 || boot.loadSegment == 0x07C0) << boot.loadSegment;
    EXPECT_EQ(boot.sectorCount, 4) << "one 2048-byte sector in 512-byte units";

    // The boot information table: the primary descriptor's block, the file's
    // own block, its length and the checksum of everything after the table.
    const std::string loaded = image.substr(size_t{boot.loadRba} * 2048, bootData.size());
    EXPECT_EQ(loaded.substr(0, 8), bootData.substr(0, 8));
    EXPECT_EQ(loaded.substr(64), bootData.substr(64));
    EXPECT_EQ(le32(loaded, 8), 16u);
    EXPECT_EQ(le32(loaded, 12), boot.loadRba);
    EXPECT_EQ(le32(loaded, 16), bootData.size());
    uint32_t checksum = 0;
    for (size_t i = 64; i < bootData.size(); i += 4) {
        checksum += le32(bootData, i);
    }
    EXPECT_EQ(le32(loaded, 20), checksum);

    // Both trees list the boot image once, with the patched bytes; the
    // catalog is listed in neither.
    saveImage(out / "boot.iso", image);
    const auto joliet = readBack(out / "boot.iso", Names::Joliet);
    const auto iso = readBack(out / "boot.iso", Names::Iso9660);
    EXPECT_TRUE(joliet.at("/boot/boot.img").content == loaded);
    EXPECT_TRUE(iso.at("/BOOT/BOOT.IMG;1").content == loaded);
    EXPECT_EQ(joliet.size(), 3u);
    EXPECT_EQ(iso.size(), 3u);
    EXPECT_EQ(tree.nodes, nodes);
}

TEST_F(BootTest, BootImageFromDiskJoinsTheRootAndKeepsItsNameOnACollision) {
    struct Tree {
        uint32_t nodes = 0;
        unsigned replies1 = 0;
        // A caller's answer: the boot image keeps its name when it is the first entry.
        static void callback(uint32_t reason, void* context, void* special1, void*) {
            auto* self = static_cast<Tree*>(context);
            if ((reason & 0xFF) == SB_REASON_TREE_ADD_NAME) {
                ++self->nodes;
            }
            if ((reason & 0xFF) != SB_REASON_TREE_NAME_COLLISION) {
                return;
            }
            auto* record = static_cast<NameCollisionRecord*>(special1);
            void* firstEntry = record->FirstEntry;
            std::string first = static_cast<const char*>(firstEntry) + 1;
            first = first.substr(first.rfind('/') + 1);
            const bool isBoot = strcasecmp(first.c_str(), "boot.img") == 0;
            self->replies1 += isBoot ? 1 : 0;
            if (record->TreeKind != 0) {
                const char16_t renamed[] = u"boot_user.img";
                std::memset(record->Name, 0, SB_COLLISION_NAME_SIZE);
                for (size_t i = 0; renamed[i] != 0; ++i) {
                    record->Name[2 * i] = static_cast<uint8_t>(renamed[i]);
                }
            }
            record->Reply = isBoot ? SB_COLLISION_REPLY_BOOT_IMAGE : SB_COLLISION_REPLY_RENAME;
        }
    } state;
    void* tree = nullptr;
    char text[512] = "";
    uint32_t status = 0;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &status,
                                                    &Tree::callback, &state),
              0);
    // Not in the tree yet: the file joins the root under its own name.
    ASSERT_EQ(setBoot(tree, src / "boot/boot.img").exception, 0);
    EXPECT_EQ(state.nodes, 1u);
    writeFile(src / "user/boot.img", "the user's own file called boot.img");
    ASSERT_EQ(addFile(tree, src / "user/boot.img").exception, 0);
    EXPECT_GE(state.replies1, 1u);

    const std::string image = buildAndRead(tree);
    const BootLayout boot = bootLayout(image);
    ASSERT_TRUE(boot.present);
    EXPECT_EQ(image.substr(size_t{boot.loadRba} * 2048 + 64, 4096 - 64), bootData.substr(64));
    saveImage(out / "boot.iso", image);
    const auto joliet = readBack(out / "boot.iso", Names::Joliet);
    EXPECT_EQ(joliet.at("/boot.img").content.substr(64), bootData.substr(64));
    EXPECT_EQ(joliet.at("/boot_user.img").content, "the user's own file called boot.img");
    StarBurn_Destroy(&tree);
}

TEST_F(BootTest, BootImageThatIsNotThereOrNotSupportedFailsClearly) {
    CountingTree tree;
    ASSERT_EQ(addFolder(tree.handle, (src / "boot").c_str()).exception, 0);

    Outcome missing = setBoot(tree.handle, src / "no/such.img");
    EXPECT_EQ(missing.exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(missing.text.find("such.img"), std::string::npos) << missing.text;
    EXPECT_EQ(setBoot(tree.handle, "/boot/absent.img").exception, SB_EXCEPTION_TREE_ERROR);
    Outcome folder = setBoot(tree.handle, "/boot");
    EXPECT_EQ(folder.exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(folder.text.find("folder"), std::string::npos) << folder.text;
    EXPECT_EQ(setBoot(tree.handle, "/boot/boot.img", 5).exception, SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_EQ(setBoot(tree.handle, "/boot/boot.img", 6, 1).exception, SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_EQ(tree.nodes, 2u);

    // Removed after it was set: the build says so rather than making a disc that does not boot.
    ASSERT_EQ(setBoot(tree.handle, "/boot/boot.img").exception, 0);
    ASSERT_EQ(removeName(tree.handle, "/boot/boot.img").exception, 0);
    Outcome lost = build(tree.handle);
    EXPECT_EQ(lost.exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(lost.text.find("/boot/boot.img"), std::string::npos) << lost.text;
    // Cleared: a plain image.
    ASSERT_EQ(setBoot(tree.handle, "").exception, 0);
    EXPECT_FALSE(bootLayout(buildAndRead(tree.handle)).present);

    // Too small for its information table.
    writeFile(src / "tiny.img", "tiny");
    ASSERT_EQ(addFile(tree.handle, src / "tiny.img").exception, 0);
    ASSERT_EQ(setBoot(tree.handle, "/tiny.img").exception, 0);
    Outcome tiny = build(tree.handle);
    EXPECT_EQ(tiny.exception, SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(tiny.text.find("64 bytes"), std::string::npos) << tiny.text;
}

TEST_F(BootTest, XorrisoReportsTheBootImage) {
    if (std::system("command -v xorriso >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "xorriso is not installed";
    }
    CountingTree tree;
    ASSERT_EQ(addFolder(tree.handle, (src / "boot").c_str()).exception, 0);
    ASSERT_EQ(setBoot(tree.handle, src / "boot/boot.img").exception, 0);
    saveImage(out / "x.iso", buildAndRead(tree.handle));
    const std::string report = out / "report.txt";
    const std::string command = "xorriso -abort_on NEVER -indev '" + (out / "x.iso") +
                                "' -report_el_torito plain > '" + report + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readFile(report);
    const std::string text = readFile(report);
    EXPECT_NE(text.find("El Torito boot img :   1  BIOS  y   none"), std::string::npos) << text;
}

} // namespace
