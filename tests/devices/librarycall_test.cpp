#include "devices/sbError.h"
#include "devices/sbLibraryCall.h"
#include "engine/sbLogger.h"
#include "platform/sbSystem.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

const std::filesystem::path kFolder =
    std::filesystem::temp_directory_path() / ("tavrin_librarycall_" + std::to_string(::getpid()));

// The global logger reads its settings once, on first use: switch it on
// before any test runs, and pretend the program lives in a folder of its own.
class LoggingOn : public ::testing::Environment {
public:
    void SetUp() override {
        std::filesystem::create_directories(kFolder);
        const auto registry = kFolder / "registry.ini";
        std::ofstream(registry) << "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\StarBurnVelmarSample]\n"
                                   "LogEnabled=1\n";
        ::setenv("TAVRIN_REGISTRY", registry.c_str(), 1);
        platform::SetExecutablePathOverride(kFolder / "tavrin");
        ASSERT_TRUE(Logger().Enabled());
    }
    void TearDown() override {
        platform::SetExecutablePathOverride({});
        std::filesystem::remove_all(kFolder);
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LoggingOn);

std::vector<std::string> logMessages() {
    std::ifstream file(kFolder / "tavrin.log", std::ios::binary);
    std::vector<std::string> messages;
    std::string line;
    while (std::getline(file, line)) {
        // "hh:nn:ss.zzz: " then the message, then the CR of the line end
        messages.push_back(line.substr(14, line.size() - 15));
    }
    return messages;
}

class LibraryCallTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::remove(kFolder / "tavrin.log"); }
};

TEST(LibraryFailureTextTest, TheFixedPattern) {
    char buffer[kExceptionTextSize] = "No medium";
    EXPECT_EQ(LibraryFailureText("StarBurn_CdvdBurnerGrabber_TestUnitReady", 7, 2, buffer),
              "StarBurn_CdvdBurnerGrabber_TestUnitReady() failed, exception 7, status 2, text "
              "\"No medium\"");
    EXPECT_EQ(LibraryFailureText("F", 1, 0xFFFFFFFFu, ""),
              "F() failed, exception 1, status -1, text \"\"");
}

TEST(LibraryFailureTextTest, ABufferWithoutZeroIsReadOnlyToItsSize) {
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(LibraryFailureText("F", 1, 0, buffer, sizeof buffer),
              "F() failed, exception 1, status 0, text \"abcd\"");
}

TEST_F(LibraryCallTest, ASuccessIsAnnouncedAndCarriesNoText) {
    TsbFailureReport report;
    int calls = 0;
    const auto result = CallLibrary("StarBurn_CdvdBurnerGrabber_Eject", report, [&] {
        ++calls;
        return uint8_t{0};
    });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.FailureText, "");
    EXPECT_NO_THROW(RaiseLibraryFailure(result));
    EXPECT_EQ(logMessages(), std::vector<std::string>{"StarBurn_CdvdBurnerGrabber_Eject"});
}

TEST_F(LibraryCallTest, AFailureIsLoggedAfterTheAnnouncementAndCanBeRaised) {
    TsbFailureReport report;
    const auto result = CallLibrary(
        "StarBurn_CdvdBurnerGrabber_Create", report,
        [&] {
            std::strcpy(report.ExceptionText, "device busy");
            report.Status = 16;
            return uint8_t{6};
        },
        lcDefault, "StarBurn_CdvdBurnerGrabber_Create (before create)");
    const std::string expected =
        "StarBurn_CdvdBurnerGrabber_Create() failed, exception 6, status 16, text \"device busy\"";
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(result.Exception, 6);
    EXPECT_EQ(result.FailureText, expected);
    EXPECT_EQ(logMessages(), (std::vector<std::string>{
                                 "StarBurn_CdvdBurnerGrabber_Create (before create)", expected}));
    try {
        RaiseLibraryFailure(result);
        FAIL() << "no error raised";
    } catch (const EsbError& error) {
        EXPECT_EQ(error.what(), expected);
    }
}

TEST_F(LibraryCallTest, CallsInsideLoopsNeedNoAnnouncement) {
    TsbFailureReport report;
    CallLibrary(
        "StarBurn_CdvdBurnerGrabber_GetSpeeds", report, [] { return uint8_t{0}; }, lcLogFailure);
    const auto failed = CallLibrary(
        "StarBurn_CdvdBurnerGrabber_GetSpeeds", report, [] { return uint8_t{1}; }, 0);
    EXPECT_FALSE(failed.FailureText.empty());
    EXPECT_TRUE(logMessages().empty());
}

TEST(FailureReportTest, PreparedForCreate) {
    TsbFailureReport report;
    std::strcpy(report.ExceptionText, "old text");
    report.Status = 0;
    report.PrepareForCreate();
    EXPECT_EQ(report.Status, 31u);
    EXPECT_EQ(report.Text(), "");
    EXPECT_EQ(std::count(std::begin(report.ExceptionText), std::end(report.ExceptionText), 0),
              static_cast<long>(kExceptionTextSize));
}

} // namespace
