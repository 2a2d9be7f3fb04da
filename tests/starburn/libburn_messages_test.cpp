// SPDX-License-Identifier: GPL-2.0-or-later
// libburn's messages reach the program through the library's message
// handler, each with its kind and none lost: messages put into libburn's own
// queue (burn_msgs_submit) as libburn's parts put theirs, and the real ones of
// a write onto a full target through a stdio pseudo-drive.
#include "starburn/StarBurnLinux.h"
#include "tests/starburn/sbTestSupport.h"

#include <libburn/libburn.h>

#include <cerrno>
#include <mutex>

using namespace sbtest;

namespace {

struct TMessage {
    uint32_t Kind;
    std::string Severity;
    uint32_t Code;
    int32_t OsErrno;
    std::string Text;
    bool operator==(const TMessage&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TMessage& m) {
    return out << m.Kind << " " << m.Severity << " " << std::hex << m.Code << std::dec << " "
               << m.OsErrno << " " << m.Text;
}

struct TReceived {
    std::mutex Mutex;
    std::vector<TMessage> Messages;

    static void handler(uint32_t kind, const char* severity, uint32_t code, int32_t osErrno,
                        const char* text, void* context) {
        auto& self = *static_cast<TReceived*>(context);
        std::lock_guard lock(self.Mutex);
        self.Messages.push_back({kind, severity, code, osErrno, text});
    }

    // Those the test submitted (its codes), in the order they came.
    std::vector<TMessage> ours() {
        std::lock_guard lock(Mutex);
        std::vector<TMessage> found;
        for (const auto& m : Messages) {
            if ((m.Code & 0xFFFF0000u) == 0x00990000u) {
                found.push_back(m);
            }
        }
        return found;
    }
};

class Messages : public Library {
protected:
    void SetUp() override {}
    void TearDown() override {
        StarBurn_SetMessageHandler(nullptr, nullptr, 0);
        Library::TearDown();
    }

    // A session with a pseudo-drive, so libburn runs.
    void startWithPseudoDrive(const std::string& path) {
        ASSERT_EQ(
            start("[Virtual]\nTimeFactor = 0\nBuiltInRecorders = no\n\n[Stdio disc]\nPath = " +
                  path + "\n"),
            SB_EXCEPTION_NONE);
    }

    static void submit(int code, const char* severity, const std::string& text, int osErrno = 0) {
        std::string copy = text;
        std::string sev = severity;
        ASSERT_GT(burn::burn_msgs_submit(code, copy.data(), osErrno, sev.data(), nullptr), 0);
    }

    TReceived received;
    Report r;
};

TEST_F(Messages, EachSeverityArrivesAsItsKindAndDebuggingOnlyWhenAskedFor) {
    const std::vector<std::pair<const char*, uint32_t>> severities = {
        {"FATAL", SB_MESSAGE_ERROR},  {"SORRY", SB_MESSAGE_ERROR},  {"WARNING", SB_MESSAGE_WARNING},
        {"HINT", SB_MESSAGE_WARNING}, {"NOTE", SB_MESSAGE_WARNING}, {"UPDATE", SB_MESSAGE_DEBUG},
        {"DEBUG", SB_MESSAGE_DEBUG}};
    for (const uint8_t debug : {0, 1}) {
        SCOPED_TRACE(debug);
        received.Messages.clear();
        StarBurn_SetMessageHandler(&TReceived::handler, &received, debug);
        startWithPseudoDrive(dir.file("disc.iso"));
        int code = 0x00990001;
        for (const auto& [severity, kind] : severities) {
            submit(code++, severity, std::string("a message of severity ") + severity, EIO);
        }
        // The last ones of a session arrive before it has ended.
        StarBurn_DownShut();
        std::vector<TMessage> expected;
        code = 0x00990001;
        for (const auto& [severity, kind] : severities) {
            if (kind != SB_MESSAGE_DEBUG || debug != 0) {
                expected.push_back({kind, severity, static_cast<uint32_t>(code), EIO,
                                    std::string("a message of severity ") + severity});
            }
            ++code;
        }
        EXPECT_EQ(received.ours(), expected);
    }
}

TEST_F(Messages, NoneIsLostHoweverManyComeBetweenTwoReadings) {
    StarBurn_SetMessageHandler(&TReceived::handler, &received, 0);
    startWithPseudoDrive(dir.file("disc.iso"));
    // Far more than the backend keeps for its failure texts.
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i) {
        submit(0x00990000 + i % 0xFFFF, "NOTE", "note " + std::to_string(i));
    }
    void* g = open("CdRom0");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(g, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE);
    const auto got = received.ours();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(got[static_cast<std::size_t>(i)].Text, "note " + std::to_string(i));
    }
    StarBurn_Destroy(&g);
}

// libburn's own words of a write that fails: the same the caller's failure
// text is made of, with the system's error.
TEST_F(Messages, AFailedWritesErrorsAreThoseOfItsFailureText) {
    StarBurn_SetMessageHandler(&TReceived::handler, &received, 0);
    startWithPseudoDrive("/dev/full");
    void* g = open("CdRom0");
    ASSERT_NE(g, nullptr);
    const std::string path = image("img.iso", 256 * 1024, 9);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                             r.failure, path.c_str(), 1, 0, 0, 1,
                                                             SB_WRITE_REVISION),
              SB_EXCEPTION_WRITE_ERROR);
    StarBurn_Destroy(&g);
    std::vector<TMessage> errors;
    {
        std::lock_guard lock(received.Mutex);
        for (const auto& m : received.Messages) {
            if (m.Kind == SB_MESSAGE_ERROR) {
                errors.push_back(m);
            }
        }
    }
    ASSERT_FALSE(errors.empty());
    EXPECT_TRUE(std::any_of(errors.begin(), errors.end(),
                            [](const TMessage& m) { return m.OsErrno == ENOSPC; }));
    for (const auto& m : errors) {
        EXPECT_NE(std::string(r.text).find(m.Text), std::string::npos) << m << " in " << r.text;
    }
}

} // namespace
