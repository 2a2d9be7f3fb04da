// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/StarBurnImport.h"
#include "base/sbFrontEnd.h"
#include "platform/sbSystem.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct TShownBox {
    std::string Text;
    std::string Caption;
    TsbMessageBoxKind Kind;
};

class VersionCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetDebugOutputSink([this](std::string_view text) { m_debug.emplace_back(text); });
        SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, TsbMessageBoxKind kind) {
                m_boxes.push_back({text, caption, kind});
            });
    }
    void TearDown() override {
        platform::SetDebugOutputSink({});
        SetMessageBoxHook({});
    }
    std::vector<std::string> m_debug;
    std::vector<TShownBox> m_boxes;
};

TEST_F(VersionCheckTest, TheExpectedVersionIsOnlyTraced) {
    EXPECT_TRUE(CheckStarBurnVersion(0x20080820u));
    ASSERT_EQ(m_debug.size(), 1u);
    EXPECT_EQ(m_debug[0], "StarBurn : StarBurn.dll version : 0x20080820");
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(VersionCheckTest, AnotherVersionWarnsInOneLineWithoutCaption) {
    EXPECT_FALSE(CheckStarBurnVersion(0x20080821u));
    const std::string expected =
        "StarBurn : Invalid StarBurn.dll version : 0x20080821. Expected : 0x20080820";
    ASSERT_EQ(m_debug.size(), 1u);
    EXPECT_EQ(m_debug[0], expected);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].Text, expected);
    EXPECT_EQ(m_boxes[0].Caption, "");
    EXPECT_EQ(m_boxes[0].Kind, TsbMessageBoxKind::mbkWarning);
}

TEST_F(VersionCheckTest, VersionsArePrintedAsEightUpperCaseHexDigits) {
    EXPECT_EQ(StarBurnVersionText(0xABCu),
              "StarBurn : Invalid StarBurn.dll version : 0x00000ABC. Expected : 0x20080820");
    EXPECT_EQ(StarBurnVersionText(0xDEADBEEFu),
              "StarBurn : Invalid StarBurn.dll version : 0xDEADBEEF. Expected : 0x20080820");
}

} // namespace
