// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbError.h"
#include "base/sbUtils.h"
#include "platform/sbDrives.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class AppendLineToFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   ("tavrin_append_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }
    std::filesystem::path m_folder;
};

TEST_F(AppendLineToFileTest, CreatesTheFileThenAppendsWithCrLf) {
    const auto file = m_folder / "saved.log";
    AppendLineToFile(file, "first");
    EXPECT_EQ(readFile(file), "first\r\n");
    AppendLineToFile(file, "second");
    AppendLineToFile(file, "");
    EXPECT_EQ(readFile(file), "first\r\nsecond\r\n\r\n");
}

TEST_F(AppendLineToFileTest, AFileThatCannotBeOpenedRaisesAnErrorNamingIt) {
    const auto file = m_folder / "missing-folder" / "x.log";
    try {
        AppendLineToFile(file, "line");
        FAIL() << "no error raised";
    } catch (const EsbError& error) {
        EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos) << error.what();
    }
    EXPECT_THROW(AppendLineToFile(m_folder, "a folder is no file"), EsbError);
}

TEST_F(AppendLineToFileTest, AFullDeviceRaisesAnError) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    EXPECT_THROW(AppendLineToFile("/dev/full", "line"), EsbError);
}

TEST(DatePartsTest, PartsOfALocalTime) {
    std::tm parts{};
    parts.tm_year = 2008 - 1900;
    parts.tm_mon = 7; // August
    parts.tm_mday = 21;
    parts.tm_hour = 14;
    parts.tm_min = 3;
    parts.tm_sec = 7;
    parts.tm_isdst = -1;
    const TDateTime time = std::chrono::system_clock::from_time_t(std::mktime(&parts));
    EXPECT_EQ(HourOfTime(time), 14);
    EXPECT_EQ(MinuteOfTime(time), 3);
    EXPECT_EQ(DayOfDate(time), 21);
    EXPECT_EQ(MonthOfDate(time), 8);
}

class DriveLetterTest : public ::testing::Test {
protected:
    void TearDown() override { platform::ClearDosDevices(); }
};

TEST_F(DriveLetterTest, ANameFindsItsLetterWithoutRegardToCase) {
    platform::DefineDosDevice('E', "\\Device\\CdRom0");
    platform::DefineDosDevice('F', "\\Device\\CdRom1");
    EXPECT_EQ(GetDriveLetterByDeviceAddress(std::nullopt, "CdRom1"), "F:");
    EXPECT_EQ(GetDriveLetterByDeviceAddress(std::nullopt, "CDROM0"), "E:");
    EXPECT_EQ(GetDriveLetterByDeviceAddress(std::nullopt, "CdRom2"), "");
    EXPECT_EQ(GetDriveLetterByDeviceAddress(std::nullopt, "CdRom"), "");
}

TEST_F(DriveLetterTest, TheLastOfTwoMatchingLettersWinsAndZIsNotTried) {
    platform::DefineDosDevice('D', "\\Device\\CdRom3");
    platform::DefineDosDevice('K', "\\Device\\CdRom3");
    EXPECT_EQ(GetDriveLetterByDeviceAddress(std::nullopt, "CdRom3"), "K:");
    platform::DefineDosDevice('Z', "\\Device\\CdRom3");
    EXPECT_EQ(GetDriveLetterByDeviceAddress(std::nullopt, "CdRom3"), "K:");
}

TEST_F(DriveLetterTest, NeitherNameNorAddressGivesNoLetter) {
    platform::DefineDosDevice('E', "\\Device\\CdRom0");
    EXPECT_EQ(GetDriveLetterByDeviceAddress(std::nullopt, ""), "");
}

} // namespace
