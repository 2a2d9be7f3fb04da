// SPDX-License-Identifier: GPL-2.0-or-later
// What libburn says reaches the diagnostic log with its kind, and a problem
// report's store of recent messages: messages put into libburn's own queue
// while the session of the wizard's engine runs with a pseudo-drive.
#include "engine/sbLibraryMessages.h"
#include "engine/sbLibrarySession.h"
#include "tests/engine/support/EngineTestSupport.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

using namespace enginetest;

namespace {

class LibraryMessages : public LibraryTest {
protected:
    void TearDown() override {
        session.ShutDownLibrary();
        ::unsetenv("TAVRIN_LIBBURN_DEBUG");
        LibraryTest::TearDown();
    }

    void startSession() {
        const auto config = Folder() / "recorders.ini";
        std::ofstream(config) << "[Virtual]\nBuiltInRecorders = no\n\n[Stdio disc]\nPath = " +
                                     (Folder() / "disc.iso").string() + "\n";
        ::setenv("STARBURN_CONFIG", config.c_str(), 1);
        ::setenv("STARBURN_STATE_DIR", StateFolder().c_str(), 1);
        session.StartLibrary();
    }

    static void submit(int code, const char* severity, const char* text, int osErrno) {
        std::string copy = text;
        std::string sev = severity;
        ASSERT_GT(burn::burn_msgs_submit(code, copy.data(), osErrno, sev.data(), nullptr), 0);
    }

    static bool kept(const std::string& line) {
        const auto recent = RecentLibraryMessages();
        // Each kept line is a log line: its time, then the message.
        return std::any_of(recent.begin(), recent.end(), [&](const std::string& k) {
            return k.size() > line.size() &&
                   k.compare(k.size() - line.size(), line.size(), line) == 0;
        });
    }

    TsbLibrarySession session;
};

TEST_F(LibraryMessages, ErrorsAndWarningsAreLoggedAndKeptDebuggingWhenAskedFor) {
    startSession();
    submit(0x00990001, "SORRY", "Cannot open the drive", EACCES);
    submit(0x00990002, "NOTE", "Padding up track to minimum size", 0);
    submit(0x00990003, "DEBUG", "Allocating buffer", 0);
    session.ShutDownLibrary();
    const std::string error = "libburn error: SORRY 0x00990001 (errno 13): Cannot open the drive";
    const std::string warning =
        "libburn warning: NOTE 0x00990002: Padding up track to minimum size";
    EXPECT_TRUE(LogContains("StarBurn_UpStartEx")) << "the program's own lines stay";
    EXPECT_TRUE(LogContains(error));
    EXPECT_TRUE(LogContains(warning));
    EXPECT_TRUE(kept(error));
    EXPECT_TRUE(kept(warning));
    const auto log = LogMessages();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& m) {
                                return m.find("Allocating buffer") != std::string::npos;
                            }),
              0);

    ClearLog();
    ::setenv("TAVRIN_LIBBURN_DEBUG", "1", 1);
    startSession();
    submit(0x00990004, "DEBUG", "Allocating buffer via mmap()", 0);
    session.ShutDownLibrary();
    const std::string debug = "libburn debug: DEBUG 0x00990004: Allocating buffer via mmap()";
    EXPECT_TRUE(LogContains(debug));
    EXPECT_TRUE(kept(debug));
}

} // namespace
