// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbCallBack.h"
#include "base/sbStrUtils.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace {

NameCollisionRecord isoRecord(const std::string& name) {
    NameCollisionRecord record{};
    std::memcpy(record.Name, name.data(), name.size());
    return record;
}

NameCollisionRecord jolietRecord(const std::u16string& name) {
    NameCollisionRecord record{};
    record.TreeKind = 1;
    for (size_t i = 0; i < name.size(); ++i) {
        record.Name[2 * i] = static_cast<uint8_t>(name[i] & 0xFF);
        record.Name[2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
    }
    return record;
}

std::string isoName(const NameCollisionRecord& record) {
    return BufferToStr(reinterpret_cast<const char*>(record.Name), sizeof record.Name);
}

// The name and whether it is properly terminated inside the field.
std::u16string jolietName(const NameCollisionRecord& record, bool* terminated = nullptr) {
    std::u16string name;
    size_t i = 0;
    for (; i + 1 < sizeof record.Name; i += 2) {
        const auto unit = static_cast<char16_t>(record.Name[i] | (record.Name[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        name += unit;
    }
    if (terminated != nullptr) {
        *terminated = i + 1 < sizeof record.Name;
    }
    return name;
}

// An entry as the library lays it out: its source path one byte in.
struct TEntry {
    explicit TEntry(const std::string& path) {
        std::memcpy(Bytes + 1, path.data(), std::min(path.size(), sizeof Bytes - 2));
    }
    char Bytes[128] = {};
};

class CollisionTest : public ::testing::Test {
protected:
    void SetUp() override { SetIsoRenameCounter(1); }
};

TEST_F(CollisionTest, IsoNamesTakeTheCounterBeforeTheExtension) {
    EXPECT_EQ(IsoRenameName("LONGFILE.TXT;1"), "LONGFILE1.TXT;1");
    EXPECT_EQ(IsoRenameName("VERYLONGNAME.TXT;1"), "VERYLON2.TXT;1");
    EXPECT_EQ(IsoRenameCounter(), 3u);
}

TEST_F(CollisionTest, AOneCharacterIsoNameIsFilledUpFirst) {
    EXPECT_EQ(IsoRenameName("A"), "A01");
    EXPECT_EQ(IsoRenameName(""), "002");
}

TEST_F(CollisionTest, IsoNamesWithoutVersionOrExtension) {
    EXPECT_EQ(IsoRenameName("A.TXT;1"), "A1.TXT;1");
    EXPECT_EQ(IsoRenameName("README"), "README2");
    EXPECT_EQ(IsoRenameName("DIRECTORYNAME"), "DIRECTO3");
    EXPECT_EQ(IsoRenameName("FILE.C"), "FILE4.C");
}

TEST_F(CollisionTest, AnIsoCollisionIsRenamedInPlace) {
    TEntry first("/home/user/docs/LONGFILE.TXT");
    NameCollisionRecord record = isoRecord("LONGFILE.TXT;1");
    record.FirstEntry = first.Bytes;
    LibraryCallback(SB_REASON_TREE_NAME_COLLISION, nullptr, &record, nullptr);
    EXPECT_EQ(isoName(record), "LONGFILE1.TXT;1");
    EXPECT_EQ(record.Reply, SB_COLLISION_REPLY_RENAME);
}

TEST_F(CollisionTest, IsoFoldersAreRenamedNotMerged) {
    NameCollisionRecord record = isoRecord("FOLDER");
    record.FirstAttributes = SB_ATTRIBUTE_DIRECTORY;
    record.SecondAttributes = SB_ATTRIBUTE_DIRECTORY;
    AnswerNameCollision(record);
    EXPECT_EQ(isoName(record), "FOLDER1");
    EXPECT_EQ(record.Reply, SB_COLLISION_REPLY_RENAME);
}

TEST_F(CollisionTest, ABootImageFirstEntryRepliesOne) {
    for (const char* path : {"/images/BOOT.IMG", "C:\\images\\boot.img", "boot.Img"}) {
        TEntry first(path);
        NameCollisionRecord record = isoRecord("BOOT.IMG;1");
        record.FirstEntry = first.Bytes;
        AnswerNameCollision(record);
        EXPECT_EQ(record.Reply, SB_COLLISION_REPLY_BOOT_IMAGE) << path;
    }
    TEntry notBoot("/images/boot.img.bak");
    NameCollisionRecord record = isoRecord("BOOT.IMG;1");
    record.FirstEntry = notBoot.Bytes;
    AnswerNameCollision(record);
    EXPECT_EQ(record.Reply, SB_COLLISION_REPLY_RENAME);
}

TEST_F(CollisionTest, JolietFoldersAreMergedAndKeepTheirName) {
    NameCollisionRecord record = jolietRecord(u"Photos");
    record.FirstAttributes = SB_ATTRIBUTE_DIRECTORY | 0x01;
    record.SecondAttributes = SB_ATTRIBUTE_DIRECTORY;
    const uint32_t counter = IsoRenameCounter();
    AnswerNameCollision(record);
    EXPECT_EQ(record.Reply, SB_COLLISION_REPLY_MERGE);
    EXPECT_EQ(jolietName(record), u"Photos");
    EXPECT_EQ(IsoRenameCounter(), counter);
}

TEST_F(CollisionTest, JolietNamesTakeTheDateAndLoseDotsBlanksAndColons) {
    EXPECT_EQ(JolietRenameName(u"My file.txt", u"21.08.2008 14:03:07"),
              u"My_file_21_08_2008_14_03_07_txt");
    EXPECT_EQ(JolietRenameName(u"A", u"d"), u"A0_d");
    EXPECT_EQ(JolietRenameName(u"notes.txt;1", u"t"), u"notes_t_txt;1");
    // A short date written with slashes must not put separators into the name.
    EXPECT_EQ(JolietRenameName(u"a.b", u"8/21/2008"), u"a_8_21_2008_b");
}

TEST_F(CollisionTest, AJolietCollisionIsRenamedInPlaceWithTheLocalDate) {
    const auto now = std::chrono::system_clock::now();
    NameCollisionRecord record = jolietRecord(u"Read me.txt");
    AnswerNameCollision(record, now);
    const std::u16string expected =
        JolietRenameName(u"Read me.txt", Utf8ToUtf16(LocalDateTimeText(now)));
    EXPECT_EQ(jolietName(record), expected);
    EXPECT_EQ(expected.rfind(u"Read_me_", 0), 0u);
    EXPECT_EQ(expected.substr(expected.size() - 4), u"_txt");
    EXPECT_EQ(record.Reply, SB_COLLISION_REPLY_RENAME);
}

TEST_F(CollisionTest, ALongJolietNameIsCutToFitTheField) {
    const std::u16string longName = std::u16string(250, u'x') + u".txt";
    const std::u16string date = u"2008-08-21 14:03:07";
    const std::u16string renamed = JolietRenameName(longName, date);
    EXPECT_EQ(renamed.size(), 259u);
    // The stem gives way; the date and the extension stay.
    EXPECT_EQ(renamed.substr(renamed.size() - 24), u"_2008-08-21_14_03_07_txt");
    EXPECT_EQ(renamed.find_first_not_of(u'x'), 259u - 24u);
}

TEST_F(CollisionTest, AFieldFullOfNameStaysTerminatedAfterTheRename) {
    // 260 units and no terminator: the library's longest possible name.
    NameCollisionRecord record = jolietRecord(std::u16string(260, u'n'));
    const uint8_t reply = 0xEE;
    record.Reply = reply;
    const auto now = std::chrono::system_clock::now();
    AnswerNameCollision(record, now);
    bool terminated = false;
    const std::u16string name = jolietName(record, &terminated);
    EXPECT_TRUE(terminated);
    EXPECT_EQ(name.size(), 259u);
    EXPECT_EQ(record.Name[518], 0);
    EXPECT_EQ(record.Name[519], 0);
    EXPECT_EQ(record.Reply, SB_COLLISION_REPLY_RENAME);
    const size_t dateLength = Utf8ToUtf16(LocalDateTimeText(now)).size();
    EXPECT_EQ(name.find_first_not_of(u'n'), 259u - 1u - dateLength);
}

TEST_F(CollisionTest, TheCutNeverSplitsASurrogatePair) {
    std::u16string name;
    for (int i = 0; i < 130; ++i) {
        name += u"\U0001F4BF"; // two units each
    }
    name += u".iso";
    const std::u16string renamed = JolietRenameName(name, u"date");
    ASSERT_LE(renamed.size(), 259u);
    const size_t suffix = renamed.rfind(u"_date_iso");
    ASSERT_NE(suffix, std::u16string::npos);
    ASSERT_GT(suffix, 0u);
    EXPECT_FALSE(renamed[suffix - 1] >= 0xD800 && renamed[suffix - 1] <= 0xDBFF);
    EXPECT_EQ(suffix % 2, 0u);
}

TEST_F(CollisionTest, ADateTextLongerThanTheFieldIsCutToo) {
    const std::u16string renamed = JolietRenameName(u"a.txt", std::u16string(400, u'd'));
    EXPECT_EQ(renamed.size(), 259u);
    EXPECT_EQ(renamed.substr(0, 2), u"a_");
}

TEST_F(CollisionTest, AnIsoNameFillingTheFieldIsReadOnlyToItsSize) {
    NameCollisionRecord record = isoRecord(std::string(520, 'Q'));
    AnswerNameCollision(record);
    EXPECT_EQ(isoName(record), "QQQQQQQ1");
}

} // namespace
