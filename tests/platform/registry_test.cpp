// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/sbRegistry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Each test writes its own registry file and points TAVRIN_REGISTRY at it.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = std::filesystem::temp_directory_path() /
                 ("tavrin_registry_" + std::to_string(::getpid()) + ".ini");
        ::setenv("TAVRIN_REGISTRY", m_path.c_str(), 1);
    }
    void TearDown() override {
        std::filesystem::remove(m_path);
        ::unsetenv("TAVRIN_REGISTRY");
    }
    void write(const std::string& text) { std::ofstream(m_path) << text; }

    platform::TRegistryIniFile openKorvath() {
        platform::TRegistryIniFile registry;
        registry.OpenKey("Software\\Korvath");
        return registry;
    }

    std::filesystem::path m_path;
};

TEST_F(RegistryTest, FilePathComesFromTheEnvironmentOrTheSystemDefault) {
    EXPECT_EQ(platform::RegistryFilePath(), m_path.string());
    ::setenv("TAVRIN_REGISTRY", "", 1);
    EXPECT_EQ(platform::RegistryFilePath(), "/etc/tavrin/registry.ini");
    ::unsetenv("TAVRIN_REGISTRY");
    EXPECT_EQ(platform::RegistryFilePath(), "/etc/tavrin/registry.ini");
}

TEST_F(RegistryTest, ReadsValuesOfTheOpenKeyAndSection) {
    write("; diagnostic log\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\StarBurnVelmarSample]\n"
          "LogEnabled = 1\n"
          "LogLevel=7\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Other\\StarBurnVelmarSample]\n"
          "LogLevel=99\n");
    const auto registry = openKorvath();
    EXPECT_TRUE(registry.ReadBool("StarBurnVelmarSample", "LogEnabled", false));
    EXPECT_EQ(registry.ReadInteger("StarBurnVelmarSample", "LogLevel", 0), 7);
    EXPECT_EQ(registry.ReadInteger("OtherSection", "LogLevel", -3), -3);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndSeparatorsAreForgiven) {
    write("[hkey_local_machine/SOFTWARE//korvath\\starburnvelmarsample\\]\n"
          "logenabled=yes\n"
          "LOGLEVEL=\"0x10\"\n");
    const auto registry = openKorvath();
    EXPECT_TRUE(registry.ReadBool("StarBurnVelmarSample", "LogEnabled", false));
    EXPECT_EQ(registry.ReadInteger("StarBurnVelmarSample", "LogLevel", 0), 16);
}

TEST_F(RegistryTest, MissingOrMalformedValuesGiveTheDefaults) {
    write("[HKEY_LOCAL_MACHINE\\Software\\Korvath\\StarBurnVelmarSample]\n"
          "LogEnabled=maybe\n"
          "LogLevel=12abc\n"
          "Huge=4294967296\n"
          "garbage line without equals\n");
    const auto registry = openKorvath();
    EXPECT_TRUE(registry.ReadBool("StarBurnVelmarSample", "LogEnabled", true));
    EXPECT_FALSE(registry.ReadBool("StarBurnVelmarSample", "LogEnabled", false));
    EXPECT_EQ(registry.ReadInteger("StarBurnVelmarSample", "LogLevel", 5), 5);
    EXPECT_EQ(registry.ReadInteger("StarBurnVelmarSample", "Huge", 5), 5);
    EXPECT_FALSE(registry.ReadString("StarBurnVelmarSample", "Absent").has_value());
}

TEST_F(RegistryTest, IntegersCoverTheSignedRangeAndDwordHex) {
    write("[HKEY_LOCAL_MACHINE\\Software\\Korvath\\S]\n"
          "Min=-2147483648\nMax=2147483647\nOver=2147483648\nDword=0xFFFFFFFF\nZero=0\n");
    const auto registry = openKorvath();
    EXPECT_EQ(registry.ReadInteger("S", "Min", 0), INT32_MIN);
    EXPECT_EQ(registry.ReadInteger("S", "Max", 0), INT32_MAX);
    EXPECT_EQ(registry.ReadInteger("S", "Over", 1), 1);
    EXPECT_EQ(registry.ReadInteger("S", "Dword", 0), -1);
    EXPECT_FALSE(registry.ReadBool("S", "Zero", true));
    EXPECT_TRUE(registry.ReadBool("S", "Min", false));
}

TEST_F(RegistryTest, AMissingFileGivesTheDefaults) {
    const auto registry = openKorvath();
    EXPECT_FALSE(registry.ReadBool("StarBurnVelmarSample", "LogEnabled", false));
    EXPECT_EQ(registry.ReadInteger("StarBurnVelmarSample", "LogLevel", 0), 0);
}

} // namespace
