#include "platform/sbDrives.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

namespace {

class DrivesTest : public ::testing::Test {
protected:
    void TearDown() override {
        platform::ClearDosDevices();
        if (!m_image.empty()) {
            std::filesystem::remove(m_image);
        }
    }

    // An image whose primary volume descriptor carries Label.
    std::string writeImage(const std::string& label, bool valid = true) {
        m_image = std::filesystem::temp_directory_path() /
                  ("tavrin_drive_" + std::to_string(::getpid()) + ".iso");
        std::vector<char> image(17 * 2048, '\0');
        char* descriptor = image.data() + 16 * 2048;
        descriptor[0] = 1;
        std::memcpy(descriptor + 1, valid ? "CD001" : "XX001", 5);
        std::memset(descriptor + 40, ' ', 32);
        std::memcpy(descriptor + 40, label.data(), label.size());
        std::ofstream(m_image, std::ios::binary).write(image.data(), std::streamsize(image.size()));
        return m_image;
    }

    std::string m_image;
};

TEST_F(DrivesTest, DefinedLettersAnswerTheirTarget) {
    EXPECT_TRUE(platform::DefineDosDevice('e', "\\Device\\CdRom0"));
    EXPECT_EQ(platform::QueryDosDevice("E:").value_or(""), "\\Device\\CdRom0");
    EXPECT_EQ(platform::QueryDosDevice("e:/").value_or(""), "\\Device\\CdRom0");
    EXPECT_FALSE(platform::QueryDosDevice("F:").has_value());
    EXPECT_FALSE(platform::QueryDosDevice("E").has_value());
    EXPECT_FALSE(platform::QueryDosDevice("E:x").has_value());
    EXPECT_FALSE(platform::DefineDosDevice('1', "x"));

    platform::DefineDosDevice('E', "\\Device\\CdRom1");
    EXPECT_EQ(platform::QueryDosDevice("E:").value_or(""), "\\Device\\CdRom1");
    platform::RemoveDosDevice('E');
    EXPECT_FALSE(platform::QueryDosDevice("E:").has_value());
}

TEST_F(DrivesTest, VolumeLabelIsReadFromTheMedium) {
    platform::DefineDosDevice('G', "\\Device\\CdRom2", writeImage("MY_DISC"));
    EXPECT_EQ(platform::GetVolumeLabel("G:/").value_or("?"), "MY_DISC");
    EXPECT_EQ(platform::GetVolumeLabel("G:").value_or("?"), "MY_DISC");
}

TEST_F(DrivesTest, NoLabelWithoutADriveAMediumOrAVolume) {
    // A root that is not a drive never borrows another drive's label.
    platform::DefineDosDevice('G', "\\Device\\CdRom2", writeImage("MY_DISC"));
    EXPECT_FALSE(platform::GetVolumeLabel("/").has_value());
    EXPECT_FALSE(platform::GetVolumeLabel("H:/").has_value());

    platform::DefineDosDevice('H', "\\Device\\CdRom3");
    EXPECT_FALSE(platform::GetVolumeLabel("H:/").has_value());

    platform::DefineDosDevice('I', "\\Device\\CdRom4", writeImage("X", false));
    EXPECT_FALSE(platform::GetVolumeLabel("I:/").has_value());
    EXPECT_FALSE(platform::ReadIso9660VolumeLabel("/no/such/medium").has_value());
}

} // namespace
