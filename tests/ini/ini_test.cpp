// SPDX-License-Identifier: GPL-2.0-or-later
#include "ini/sbIni.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using sbini::IniDocument;

std::string valueOf(const IniDocument& doc, const char* section, const char* key) {
    const sbini::IniEntry* e = doc.find(section, key);
    return e != nullptr ? e->value : "<none>";
}

TEST(IniRules, CommentsQuotesCaseDuplicatesAndLineEnds) {
    std::vector<std::string> problems;
    const IniDocument doc = sbini::parseIni("\xEF\xBB\xBF; made by hand\r\n"
                                            "[Drive]\r\n"
                                            "Name = CdRom5   ; the fifth\r\n"
                                            "Colour = a#b\n"
                                            "Hash = x # a remark\n"
                                            "Label = \"A ; B # C\"  ; quoted\n"
                                            "Title = 'single'\n"
                                            "Half = \"open\n"
                                            "Nothing = ; unset\n"
                                            "name = CdRom6\n"
                                            "no equals sign\n"
                                            "[other]\n"
                                            "Name = elsewhere\n"
                                            "[DRIVE]\n"
                                            "Late = yes\n",
                                            "drives.ini", problems);
    EXPECT_EQ(valueOf(doc, "drive", "NAME"), "CdRom6"); // the last of two wins
    EXPECT_EQ(valueOf(doc, "Drive", "Colour"), "a#b");  // no blank before '#': a value
    EXPECT_EQ(valueOf(doc, "Drive", "Hash"), "x");
    EXPECT_EQ(valueOf(doc, "Drive", "Label"), "A ; B # C");
    EXPECT_EQ(valueOf(doc, "Drive", "Title"), "single");
    EXPECT_EQ(valueOf(doc, "Drive", "Half"), "\"open");
    EXPECT_EQ(valueOf(doc, "Drive", "Nothing"), "");
    EXPECT_EQ(valueOf(doc, "drive", "late"), "yes"); // a repeated section adds up
    EXPECT_EQ(valueOf(doc, "Other", "Name"), "elsewhere");
    EXPECT_TRUE(doc.hasSection("OTHER"));
    EXPECT_FALSE(doc.hasSection("missing"));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "drives.ini:11: expected 'key = value' or a [section] heading");
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder =
            std::filesystem::temp_directory_path() / ("tavrin_ini_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string refusal(const std::filesystem::path& path) {
        std::vector<std::string> problems;
        std::string error;
        EXPECT_FALSE(sbini::readIniFile(path, problems, error, "settings file").has_value());
        return error;
    }

    std::filesystem::path m_folder;
};

TEST_F(IniFileTest, RefusesWhatIsNotASmallRegularTextFileWithoutBlocking) {
    // A FIFO with no writer: a blocking open would wait for ever.
    const auto fifo = m_folder / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(refusal(fifo), "The settings file \"" + fifo.string() + "\" is not a regular file");
    EXPECT_NE(refusal(m_folder).find("is not a regular file"), std::string::npos);

    const auto big = m_folder / "big.ini";
    std::ofstream(big) << "[A]\n" << std::string(sbini::kMaxIniFileSize, ';');
    EXPECT_NE(refusal(big).find("is too large"), std::string::npos);

    const auto binary = m_folder / "binary.ini";
    std::ofstream(binary, std::ios::binary) << std::string("[A]\nx=\0y\n", 9);
    EXPECT_NE(refusal(binary).find("is not a text file"), std::string::npos);

    const auto good = m_folder / "good.ini";
    std::ofstream(good) << "[A]\nx = 1\n";
    std::vector<std::string> problems;
    std::string error;
    const auto doc = sbini::readIniFile(good, problems, error);
    ASSERT_TRUE(doc.has_value()) << error;
    EXPECT_EQ(valueOf(*doc, "a", "X"), "1");
}

} // namespace
