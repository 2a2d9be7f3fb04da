// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbError.h"
#include "base/sbFrontEnd.h"
#include "base/sbLogger.h"
#include "platform/sbSystem.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Each test gets a folder that plays the program's folder and a registry
// file of its own; loggers are built locally so each reads that file.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   ("tavrin_logger_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
        ::setenv("TAVRIN_REGISTRY", (m_folder / "registry.ini").c_str(), 1);
        platform::SetExecutablePathOverride(m_folder / "a.b.exe");
    }
    void TearDown() override {
        platform::SetExecutablePathOverride({});
        ::setenv("TAVRIN_REGISTRY", "/nonexistent/tavrin/registry.ini", 1);
        std::filesystem::remove_all(m_folder);
    }
    void writeRegistry(const std::string& values) {
        std::ofstream(m_folder / "registry.ini")
            << "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\StarBurnVelmarSample]\n"
            << values;
    }
    std::vector<std::string> lines(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::vector<std::string> result;
        std::string line;
        while (std::getline(in, line)) {
            result.push_back(line);
        }
        return result;
    }

    std::filesystem::path m_folder;
};

TEST_F(LoggerTest, OffWithoutTheSwitchAndThenNoFileIsCreated) {
    writeRegistry("LogLevel=4\n");
    TsbLogger logger;
    EXPECT_FALSE(logger.Enabled());
    EXPECT_EQ(logger.Level(), 4);
    for (int i = 0; i < 100; ++i) {
        logger.Log("nothing");
    }
    EXPECT_FALSE(std::filesystem::exists(logger.LogFileName()));
}

TEST_F(LoggerTest, OffWithoutARegistryFile) {
    TsbLogger logger;
    EXPECT_FALSE(logger.Enabled());
    EXPECT_EQ(logger.Level(), 0);
}

// The settings example that README.md prints, comments and all, as a new user
// would paste it.
TEST_F(LoggerTest, TheReadmeSettingsExampleSwitchesTheLogOn) {
    std::ifstream readme(TAVRIN_SOURCE_DIR "/README.md");
    ASSERT_TRUE(readme) << "README.md not found";
    std::string line;
    while (std::getline(readme, line) && line.rfind("## Settings", 0) != 0) {
    }
    while (std::getline(readme, line) && line != "```ini") {
    }
    std::string example;
    while (std::getline(readme, line) && line != "```") {
        example += line + "\n";
    }
    ASSERT_NE(example.find("LogEnabled=1   ;"), std::string::npos) << example;
    std::ofstream(m_folder / "registry.ini") << example;
    TsbLogger logger;
    EXPECT_TRUE(logger.Enabled());
    EXPECT_EQ(logger.Level(), 0);
}

TEST_F(LoggerTest, OnItWritesBesideTheExecutableUnderItsBaseName) {
    writeRegistry("LogEnabled=1\n");
    TsbLogger logger;
    EXPECT_TRUE(logger.Enabled());
    EXPECT_EQ(logger.Level(), 0);
    EXPECT_EQ(logger.LogFileName(), (m_folder / "a.b.log").string());

    logger.Log("StarBurn_CdvdBurnerGrabber_TestUnitReady");
    logger.Log("second");
    const auto written = lines(m_folder / "a.b.log");
    ASSERT_EQ(written.size(), 2u);
    const std::regex format(
        R"(\d\d:\d\d:\d\d\.\d\d\d: StarBurn_CdvdBurnerGrabber_TestUnitReady\r)");
    EXPECT_TRUE(std::regex_match(written[0], format)) << written[0];
    EXPECT_EQ(written[1].substr(12), ": second\r");
}

TEST_F(LoggerTest, TheFileNameIsKeptOnceWorkedOut) {
    writeRegistry("LogEnabled=1\n");
    platform::SetExecutablePathOverride(m_folder / "tavrin");
    TsbLogger logger;
    EXPECT_EQ(logger.LogFileName(), (m_folder / "tavrin.log").string());
    platform::SetExecutablePathOverride(m_folder / "other.exe");
    logger.Log("line");
    EXPECT_TRUE(std::filesystem::exists(m_folder / "tavrin.log"));
    EXPECT_FALSE(std::filesystem::exists(m_folder / "other.log"));
}

// A program folder the log cannot be written in (an installed, read-only
// program; a full disk) must not stop what is being logged: the failure is
// reported once and the log goes on in the user's state folder, or stops.
class LogFailureTest : public LoggerTest {
protected:
    void SetUp() override {
        LoggerTest::SetUp();
        writeRegistry("LogEnabled=1\n");
        platform::SetExecutablePathOverride(m_folder / "missing" / "tavrin");
        SetMessageBoxHook([this](const std::string& text, const std::string&, TsbMessageBoxKind) {
            m_boxes.push_back(text);
        });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        ::unsetenv("XDG_STATE_HOME");
        LoggerTest::TearDown();
    }
    std::vector<std::string> m_boxes;
};

TEST_F(LogFailureTest, IsReportedOnceAndTheLogGoesOnInTheStateFolder) {
    ::setenv("XDG_STATE_HOME", (m_folder / "state").c_str(), 1);
    TsbLogger logger;
    EXPECT_NO_THROW(logger.Log("StarBurn_UpStartEx"));
    EXPECT_NO_THROW(logger.Log("StarBurn_CdvdBurnerGrabber_CloseSession"));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_NE(m_boxes[0].find((m_folder / "missing" / "tavrin.log").string()), std::string::npos)
        << m_boxes[0];
    const auto fallback = m_folder / "state" / "tavrin" / "tavrin.log";
    EXPECT_EQ(logger.LogFileName(), fallback.string());
    const auto written = lines(fallback);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[1].substr(12), ": StarBurn_CdvdBurnerGrabber_CloseSession\r");
}

TEST_F(LogFailureTest, StopsWhenTheStateFolderCannotBeWrittenEither) {
    std::ofstream(m_folder / "state") << "a file, not a folder";
    ::setenv("XDG_STATE_HOME", (m_folder / "state").c_str(), 1);
    TsbLogger logger;
    for (int i = 0; i < 3; ++i) {
        EXPECT_NO_THROW(logger.Log("StarBurn_CdvdBurnerGrabber_Eject"));
    }
    EXPECT_EQ(m_boxes.size(), 1u);
}

// An installed program's folder is root's: the log goes to the user's state
// folder. Root may write anywhere, so as root the check runs in a child that
// becomes an ordinary user first.
TEST_F(LoggerTest, AFolderThatRefusesWritesSendsTheLogToTheStateFolder) {
    writeRegistry("LogEnabled=1\n");
    const auto program = m_folder / "usr-lib-tavrin";
    const auto state = m_folder / "state";
    std::filesystem::create_directories(program);
    std::filesystem::create_directories(state);
    std::filesystem::permissions(program, std::filesystem::perms(0555));
    std::filesystem::permissions(m_folder, std::filesystem::perms(0755));
    std::filesystem::permissions(m_folder / "registry.ini", std::filesystem::perms(0644));
    std::filesystem::permissions(state, std::filesystem::perms(0777));
    platform::SetExecutablePathOverride(program / "tavrin");
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int code = 0;
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            code = 3;
        } else {
            try {
                TsbLogger logger;
                code = logger.LogFileName() == (state / "tavrin" / "tavrin.log").string() ? 0 : 4;
                logger.Log("StarBurn_UpStartEx");
            } catch (...) {
                code = 5;
            }
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::unsetenv("XDG_STATE_HOME");
    std::filesystem::permissions(program, std::filesystem::perms(0755));
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const auto written = lines(state / "tavrin" / "tavrin.log");
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].substr(12), ": StarBurn_UpStartEx\r");
    EXPECT_FALSE(std::filesystem::exists(program / "tavrin.log"));
}

TEST_F(LoggerTest, LinesFromManyThreadsNeverInterleave) {
    writeRegistry("LogEnabled=1\n");
    TsbLogger logger;
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&logger, t] {
            // Long lines make a torn write likely if writes were not serialised.
            const std::string padding(200, char('a' + t));
            for (int i = 0; i < kLines; ++i) {
                logger.Log("thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                           padding);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto written = lines(m_folder / "a.b.log");
    ASSERT_EQ(written.size(), size_t(kThreads * kLines));
    const std::regex format(R"(\d\d:\d\d:\d\d\.\d\d\d: thread (\d) line (\d+) ([a-h])\3{199}\r)");
    std::vector<int> next(kThreads, 0);
    for (const auto& line : written) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, format)) << line;
        const int thread = std::stoi(match[1]);
        EXPECT_EQ(match[3].str()[0], char('a' + thread));
        // Each thread's lines arrive in the order it wrote them.
        EXPECT_EQ(std::stoi(match[2]), next[thread]++);
    }
}

TEST(LogLineTest, TimeIsHoursMinutesSecondsAndMilliseconds) {
    std::tm parts{};
    parts.tm_year = 2008 - 1900;
    parts.tm_mon = 7;
    parts.tm_mday = 21;
    parts.tm_hour = 14;
    parts.tm_min = 3;
    parts.tm_sec = 7;
    parts.tm_isdst = -1;
    const auto time =
        std::chrono::system_clock::from_time_t(std::mktime(&parts)) + std::chrono::milliseconds(52);
    EXPECT_EQ(FormatLogLine(time, "StarBurn_CdvdBurnerGrabber_TestUnitReady"),
              "14:03:07.052: StarBurn_CdvdBurnerGrabber_TestUnitReady");
}

} // namespace
