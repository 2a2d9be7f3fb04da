// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/sbSystem.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(SystemTest, LinuxAnswersAsTheNtFamily) {
    EXPECT_EQ(platform::GetWindowsPlatform(), 1);
}

TEST(SystemTest, ExecutablePathIsThisTestUnlessOverridden) {
    const std::string real = platform::GetExecutablePath();
    EXPECT_EQ(std::filesystem::path(real).filename(), "platform_test");
    EXPECT_EQ(platform::GetExecutableFolder(), real.substr(0, real.rfind('/') + 1));

    platform::SetExecutablePathOverride("/opt/tavrin/bin/tavrin");
    EXPECT_EQ(platform::GetExecutablePath(), "/opt/tavrin/bin/tavrin");
    EXPECT_EQ(platform::GetExecutableFolder(), "/opt/tavrin/bin/");
    platform::SetExecutablePathOverride({});
    EXPECT_EQ(platform::GetExecutablePath(), real);
}

TEST(SystemTest, DebugOutputGoesToTheSinkWhenOneIsInstalled) {
    std::vector<std::string> seen;
    platform::SetDebugOutputSink([&](std::string_view text) { seen.emplace_back(text); });
    platform::OutputDebugString("first");
    platform::OutputDebugString("second");
    platform::SetDebugOutputSink({});
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));

    ::testing::internal::CaptureStderr();
    platform::OutputDebugString("to stderr");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to stderr\n");
}

TEST(SystemTest, FreeSpaceOfAFolderAndOfAMissingOne) {
    const auto space = platform::GetDiskFreeSpace(std::filesystem::temp_directory_path());
    ASSERT_TRUE(space.Ok);
    const auto info = std::filesystem::space(std::filesystem::temp_directory_path());
    EXPECT_EQ(space.TotalBytes, info.capacity);
    EXPECT_LE(space.FreeBytes, space.TotalFreeBytes);
    EXPECT_LE(space.TotalFreeBytes, space.TotalBytes);

    const auto missing = platform::GetDiskFreeSpace("/no/such/folder/anywhere");
    EXPECT_FALSE(missing.Ok);
    EXPECT_EQ(missing.Error, ENOENT);
}

TEST(SystemTest, AStandInAnswersTheFreeSpaceQueryUntilRemoved) {
    std::vector<std::string> asked;
    platform::SetDiskFreeSpaceOverride([&asked](const std::string& folder) {
        asked.push_back(folder);
        platform::TDiskSpace space;
        space.Ok = true;
        space.FreeBytes = 7;
        return space;
    });
    EXPECT_EQ(platform::GetDiskFreeSpace("/somewhere").FreeBytes, 7u);
    platform::SetDiskFreeSpaceOverride({});
    EXPECT_FALSE(platform::GetDiskFreeSpace("/no/such/folder/anywhere").Ok);
    EXPECT_EQ(asked, std::vector<std::string>{"/somewhere"});
}

} // namespace
