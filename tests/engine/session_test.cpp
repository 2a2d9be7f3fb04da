// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbError.h"
#include "engine/sbLibrarySession.h"
#include "platform/sbSystem.h"

#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A library stand-in whose answers each test sets.
struct TFakeLibrary {
    static inline int UpStarts = 0;
    static inline int DownShuts = 0;
    static inline uint8_t UpStartResult = 0;
    static inline bool DownShutThrows = false;

    static uint8_t UpStartEx(const char* configurationFile, char* text, uint32_t size) {
        ++UpStarts;
        EXPECT_EQ(configurationFile, nullptr);
        EXPECT_EQ(size, 1024u);
        if (UpStartResult != 0) {
            std::strncpy(text, "configuration line 3: unknown key", size - 1);
        }
        return UpStartResult;
    }
    static void DownShut() {
        ++DownShuts;
        if (DownShutThrows) {
            throw std::runtime_error("library failed to stop");
        }
    }
    static TsbLibraryEntryPoints EntryPoints() { return {&UpStartEx, &DownShut}; }
};

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TFakeLibrary::UpStarts = 0;
        TFakeLibrary::DownShuts = 0;
        TFakeLibrary::UpStartResult = 0;
        TFakeLibrary::DownShutThrows = false;
        platform::SetDebugOutputSink([this](std::string_view text) { m_debug.emplace_back(text); });
    }
    void TearDown() override { platform::SetDebugOutputSink({}); }
    std::vector<std::string> m_debug;
};

TEST_F(SessionTest, StartingTwiceStartsTheLibraryOnce) {
    TsbLibrarySession session(TFakeLibrary::EntryPoints());
    EXPECT_FALSE(session.LibraryStarted());
    session.StartLibrary();
    session.StartLibrary();
    EXPECT_TRUE(session.LibraryStarted());
    EXPECT_EQ(TFakeLibrary::UpStarts, 1);
}

TEST_F(SessionTest, AFailedStartRaisesTheExceptionNumberAndTheNextStartTriesAgain) {
    TsbLibrarySession session(TFakeLibrary::EntryPoints());
    TFakeLibrary::UpStartResult = 13;
    try {
        session.StartLibrary();
        FAIL() << "no error raised";
    } catch (const EsbError& error) {
        EXPECT_STREQ(error.what(), "StarBurn_UpStartEx() failed, exception 13");
    }
    EXPECT_FALSE(session.LibraryStarted());
    // The library's own reason reaches the developer.
    ASSERT_EQ(m_debug.size(), 1u);
    EXPECT_NE(m_debug[0].find("configuration line 3: unknown key"), std::string::npos);

    TFakeLibrary::UpStartResult = 0;
    session.StartLibrary();
    EXPECT_TRUE(session.LibraryStarted());
    EXPECT_EQ(TFakeLibrary::UpStarts, 2);
}

TEST_F(SessionTest, ShutDownRunsEvenWhenNeverStarted) {
    TsbLibrarySession session(TFakeLibrary::EntryPoints());
    session.ShutDownLibrary();
    EXPECT_EQ(TFakeLibrary::DownShuts, 1);
    EXPECT_FALSE(session.LibraryStarted());
}

TEST_F(SessionTest, AFailingShutDownIsIgnoredAndClearsTheFlag) {
    TsbLibrarySession session(TFakeLibrary::EntryPoints());
    session.StartLibrary();
    TFakeLibrary::DownShutThrows = true;
    EXPECT_NO_THROW(session.ShutDownLibrary());
    EXPECT_FALSE(session.LibraryStarted());
    session.StartLibrary();
    EXPECT_EQ(TFakeLibrary::UpStarts, 2);
}

TEST_F(SessionTest, TheRealLibraryStartsAndStops) {
    TsbLibrarySession session;
    session.StartLibrary();
    EXPECT_TRUE(session.LibraryStarted());
    session.ShutDownLibrary();
    EXPECT_FALSE(session.LibraryStarted());
}

} // namespace
