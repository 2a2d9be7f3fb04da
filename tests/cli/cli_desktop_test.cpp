// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn on a desktop. It keeps the computer awake while a drive works:
// against logind and the desktop portal mocked by python-dbusmock (inside
// dbus-run-session), what the mocks hold while a burn, a verification or an
// erase runs, after it ended well, badly or cancelled, and when there is no
// bus at all. And it writes a problem report that a user can send in.
#include "tests/support/DBusMockHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <optional>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A CD writer that writes 1 MB a second, one whose writes fail at 1 MB, and
// one with a written DVD+RW to erase.
const char* const kConfiguration = R"INI(
[Virtual]
TimeFactor = 0
BuiltInRecorders = no

[Recorder slow]
DeviceName = CdRom7
DriveLetter = S
Product = Slow Writer
Disc = CD-R
WriteLimit = 1000000

[Recorder flaky]
DeviceName = CdRom6
DriveLetter = R
Product = Flaky Writer
Disc = CD-R
WriteLimit = 1000000
FailWriteAtByte = 1048576

[Recorder rewriter]
DeviceName = CdRom10
DriveLetter = U
Product = DVD Rewriter
Disc = DVD+RW
DiscState = complete
DiscUsed = 1000
)INI";

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// Where in the log a line first holds part (npos when none does).
std::size_t at(const std::string& log, const std::string& part) {
    return log.find(part);
}

class CliDesktopTest : public ::testing::Test {
protected:
    static TDBusMockHost* mocks;

    static void SetUpTestSuite() {
        mocks = new TDBusMockHost;
        std::string error;
        if (!mocks->Start(error)) {
            delete mocks;
            mocks = nullptr;
            FAIL() << error;
        }
    }

    static void TearDownTestSuite() {
        delete mocks;
        mocks = nullptr;
    }

    fs::path folder;
    fs::path program;
    fs::path image;
    // The buses the program is given: the mocks' session bus as its system
    // bus (logind) and as its session bus (the portal), unless a test says otherwise.
    std::string systemBus;
    std::string sessionBus;

    void SetUp() override {
        ASSERT_NE(mocks, nullptr);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / ("tavrin_inhibit_" + std::to_string(::getpid())) /
                 info->name();
        fs::remove_all(folder);
        fs::create_directories(folder / "state");
        program = folder / "tavrin-burn";
        fs::copy_file(TAVRIN_BURN, program);
        // The copy finds libStarBurn as the built program does: beside itself ($ORIGIN).
        fs::create_symlink(fs::path(TAVRIN_BURN).parent_path() / "libStarBurn.so.1",
                           folder / "libStarBurn.so.1");
        std::ofstream(folder / "recorders.ini") << kConfiguration << ExtraConfiguration();
        std::ofstream(folder / "registry.ini")
            << "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\StarBurnVelmarSample]\nLogEnabled=1\n";
        // Two seconds of writing on the slow writer.
        image = folder / "image.iso";
        std::ofstream(image, std::ios::binary) << std::string(2 * 1048576, 'x');
        systemBus = sessionBus = mocks->SessionAddress;
        ASSERT_TRUE(mocks->NothingHeldSoon()) << "left over from an earlier test";
    }

    // Recorders a test adds to the configuration, before SetUp writes it.
    virtual std::string ExtraConfiguration() const { return {}; }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder.parent_path(), ignored);
    }

    // Set in the program's environment only, over the fixture's own.
    std::vector<std::pair<std::string, std::string>> environment;

    // Set to run the program as that user, with only its own group.
    std::optional<std::pair<uid_t, gid_t>> runAs;

    pid_t Start(const std::vector<std::string>& args) {
        // Gone before the program starts: the last run's progress is not this one's.
        fs::remove(folder / "out.txt");
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (runAs && (::setgroups(1, &runAs->second) != 0 ||
                          ::setresgid(runAs->second, runAs->second, runAs->second) != 0 ||
                          ::setresuid(runAs->first, runAs->first, runAs->first) != 0)) {
                ::_exit(126);
            }
            ::setenv("STARBURN_CONFIG", (folder / "recorders.ini").c_str(), 1);
            ::setenv("STARBURN_STATE_DIR", (folder / "state").c_str(), 1);
            ::setenv("TAVRIN_REGISTRY", (folder / "registry.ini").c_str(), 1);
            ::setenv("STARBURN_REAL_DRIVES", "0", 1);
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus.c_str(), 1);
            ::setenv("DBUS_SESSION_BUS_ADDRESS", sessionBus.c_str(), 1);
            // A test's own settings last: they win.
            for (const auto& [name, value] : environment) {
                ::setenv(name.c_str(), value.c_str(), 1);
            }
            const int in = ::open("/dev/null", O_RDONLY);
            const int out =
                ::open((folder / "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(out, 2);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        return pid;
    }

    int Wait(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }

    int Run(const std::vector<std::string>& args) { return Wait(Start(args)); }

    // What logind held once the write was under way (the first progress line).
    std::vector<std::string> HeldWhileWriting(pid_t pid, bool portal = false) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (readFile(folder / "out.txt").find("Progress:") == std::string::npos) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid ||
                std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "no write seen: " << readFile(folder / "out.txt");
                return {};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return portal ? mocks->Portal() : mocks->Logind();
    }

    std::string Log() const { return readFile(folder / "tavrin-burn.log"); }
};

TDBusMockHost* CliDesktopTest::mocks = nullptr;

TEST_F(CliDesktopTest, ABurnAndItsVerificationHoldOneInhibitorThatEndsWithThem) {
    const pid_t burn = Start({"burn", image.string(), "--device", "CdRom7", "--verify", "--yes"});
    const auto held = HeldWhileWriting(burn);
    EXPECT_EQ(held, std::vector<std::string>{"sleep:idle|Tavrin|Tavrin is writing image.iso to "
                                             "CdRom7 (Slow Writer)|block"});
    EXPECT_TRUE(mocks->Portal().empty());
    ASSERT_EQ(Wait(burn), 0) << readFile(folder / "out.txt");
    EXPECT_TRUE(mocks->NothingHeldSoon());

    // Let go by the program when the verification has ended, before the
    // eject: not by its exit.
    const std::string log = Log();
    EXPECT_EQ(countOf(log, "Sleep and idle suspend held off (logind): Tavrin is writing image.iso "
                           "to CdRom7 (Slow Writer)"),
              1)
        << log;
    EXPECT_EQ(countOf(log, "Sleep and idle suspend allowed again (logind)"), 1) << log;
    EXPECT_LT(at(log, "held off"), at(log, "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile"));
    EXPECT_LT(at(log, "Disc verified"), at(log, "allowed again"));
    EXPECT_LT(at(log, "allowed again"), at(log, "StarBurn_CdvdBurnerGrabber_Eject"));
}

TEST_F(CliDesktopTest, ACancelledAndAFailedBurnLetGoAsTheyEnd) {
    const pid_t cancelled = Start({"burn", image.string(), "--device", "CdRom7", "--yes"});
    EXPECT_EQ(HeldWhileWriting(cancelled).size(), 1u);
    ::kill(cancelled, SIGINT);
    EXPECT_EQ(Wait(cancelled), 130) << readFile(folder / "out.txt");
    EXPECT_TRUE(mocks->NothingHeldSoon());
    EXPECT_EQ(countOf(Log(), "Sleep and idle suspend allowed again (logind)"), 1) << Log();

    fs::remove(folder / "tavrin-burn.log");
    const pid_t failed = Start({"burn", image.string(), "--device", "CdRom6", "--yes"});
    EXPECT_EQ(HeldWhileWriting(failed).size(), 1u);
    EXPECT_EQ(Wait(failed), 1) << readFile(folder / "out.txt");
    EXPECT_TRUE(mocks->NothingHeldSoon());
    const std::string log = Log();
    EXPECT_EQ(countOf(log, "Sleep and idle suspend allowed again (logind)"), 1) << log;
    EXPECT_LT(at(log, "TrackAtOnceFromFile() failed"), at(log, "allowed again")) << log;
}

TEST_F(CliDesktopTest, AnEraseHoldsItsOwnInhibitor) {
    ASSERT_EQ(Run({"blank", "--device", "CdRom10", "--yes"}), 0) << readFile(folder / "out.txt");
    EXPECT_TRUE(mocks->NothingHeldSoon());
    const std::string log = Log();
    EXPECT_EQ(countOf(log, "Sleep and idle suspend held off (logind): Tavrin is erasing the disc "
                           "in CdRom10 (DVD Rewriter)"),
              1)
        << log;
    EXPECT_LT(at(log, "held off"), at(log, "StarBurn_CdvdBurnerGrabber_Blank"));
    EXPECT_LT(at(log, "StarBurn_CdvdBurnerGrabber_Blank"), at(log, "allowed again"));
}

TEST_F(CliDesktopTest, WithoutLogindThePortalHoldsIt) {
    systemBus = "unix:path=" + (folder / "no-system-bus").string();
    const pid_t burn = Start({"burn", image.string(), "--device", "CdRom7", "--yes"});
    EXPECT_EQ(HeldWhileWriting(burn, true),
              std::vector<std::string>{"12|Tavrin is writing image.iso to CdRom7 (Slow Writer)"});
    EXPECT_TRUE(mocks->Logind().empty());
    ASSERT_EQ(Wait(burn), 0) << readFile(folder / "out.txt");
    EXPECT_TRUE(mocks->NothingHeldSoon());
    const std::string log = Log();
    EXPECT_EQ(countOf(log, "Sleep and idle suspend held off (desktop portal; logind: no system "
                           "bus"),
              1)
        << log;
    EXPECT_EQ(countOf(log, "Sleep and idle suspend allowed again (desktop portal)"), 1) << log;
}

TEST_F(CliDesktopTest, NoBusCostsOneLogLineAndNoInhibitAsksForNothing) {
    systemBus = "unix:path=" + (folder / "no-system-bus").string();
    sessionBus = "unix:path=" + (folder / "no-session-bus").string();
    ASSERT_EQ(Run({"burn", image.string(), "--device", "CdRom7", "--yes"}), 0)
        << readFile(folder / "out.txt");
    std::string log = Log();
    EXPECT_EQ(countOf(log, "Sleep and idle suspend"), 1) << log;
    EXPECT_EQ(countOf(log, "Sleep and idle suspend are not held off, the work goes on (logind: no "
                           "system bus"),
              1)
        << log;

    fs::remove(folder / "tavrin-burn.log");
    systemBus = sessionBus = mocks->SessionAddress;
    const pid_t burn =
        Start({"burn", image.string(), "--device", "CdRom7", "--yes", "--no-inhibit"});
    EXPECT_TRUE(HeldWhileWriting(burn).empty());
    EXPECT_TRUE(mocks->Portal().empty());
    EXPECT_EQ(Wait(burn), 0) << readFile(folder / "out.txt");
    EXPECT_EQ(countOf(Log(), "Sleep and idle suspend"), 0) << Log();
}

// A drive whose device file keeps the user out, as a user outside its group
// sees it: listed as forbidden with the library's whole advice, and refused
// with it.
TEST_F(CliDesktopTest, ADriveClosedToTheUserIsListedWithTheWholeAdvice) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a device file of another owner needs root";
    }
    const passwd* nobody = ::getpwnam("nobody");
    const group* cdrom = ::getgrnam("cdrom");
    ASSERT_TRUE(nobody != nullptr && cdrom != nullptr);
    const fs::path drive = folder / "sr0";
    std::ofstream(drive) << "";
    ASSERT_EQ(::chown(drive.c_str(), 0, cdrom->gr_gid), 0);
    ASSERT_EQ(::chmod(drive.c_str(), 0660), 0);
    std::ofstream(folder / "recorders.ini", std::ios::app)
        << "\n[Libburn]\nDevices = " << drive.string() << "\n";
    // The run's own files are the user's.
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        ASSERT_EQ(::lchown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    ASSERT_EQ(::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::chown(drive.c_str(), 0, cdrom->gr_gid), 0);
    environment = {{"STARBURN_REAL_DRIVES", "yes"}, {"HOME", folder.string()}};
    runAs = std::make_pair(nobody->pw_uid, nobody->pw_gid);

    const std::string advice =
        "You may not open the drive " + drive.string() +
        " (permission denied): it belongs to the user root and the group cdrom (-rw-rw----). You "
        "are not in the group cdrom: add your user to it with sudo usermod -aG cdrom $USER, then "
        "log out and in again.";
    ASSERT_EQ(Run({"devices"}), 0) << readFile(folder / "out.txt");
    std::istringstream lines(readFile(folder / "out.txt"));
    std::string line, row;
    while (std::getline(lines, line)) {
        if (line.find(" forbidden ") != std::string::npos) {
            row = line;
        }
    }
    EXPECT_NE(row.find("  no: " + advice), std::string::npos) << readFile(folder / "out.txt");
    EXPECT_EQ(row.substr(row.size() - advice.size()), advice) << "the advice ends the row whole";

    const std::string name = row.substr(0, row.find(' '));
    EXPECT_EQ(Run({"burn", image.string(), "--device", name, "--yes"}), 4);
    EXPECT_NE(readFile(folder / "out.txt").find("tavrin-burn: " + advice), std::string::npos)
        << readFile(folder / "out.txt");
}

// A pseudo-drive in a folder that is not there: libburn's own failure message.
class CliReportTest : public CliDesktopTest {
protected:
    std::string ExtraConfiguration() const override {
        return "\n[Stdio lost]\nPath = " + (folder / "no" / "such" / "disc.iso").string() + "\n";
    }

    // The report unpacked into folder/unpacked; the files' paths in it.
    std::vector<fs::path> Unpack(const fs::path& report) {
        const fs::path into = folder / "unpacked";
        fs::create_directories(into);
        const std::string command = "tar -xzf '" + report.string() + "' -C '" + into.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(into)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
        return files;
    }
};

TEST_F(CliReportTest, AFailedBurnsReportHoldsWhatADeveloperNeedsAndNoneOfTheUsersPaths) {
    // Everything of the run lies in the user's home: the image, the settings, the log.
    environment = {{"HOME", folder.string()}};
    const fs::path report = folder / "report.tar.gz";
    std::ofstream(report) << "an older report";
    ASSERT_EQ(
        Run({"burn", image.string(), "--device", "CdRom6", "--yes", "--report", report.string()}),
        1)
        << readFile(folder / "out.txt");
    EXPECT_NE(readFile(folder / "out.txt").find("problem report written to " + report.string()),
              std::string::npos);
    EXPECT_FALSE(fs::exists(report.string() + ".part"));

    std::map<std::string, std::string> files;
    for (const fs::path& file : Unpack(report)) {
        // One folder named for the report's time holds every file.
        files[fs::relative(file, folder / "unpacked")
                  .string()
                  .substr(std::string("tavrin-report-YYYYMMDD-HHMMSS/").size())] = readFile(file);
    }
    for (const char* name : {"README.txt", "version.txt", "drives.txt", "log.txt",
                             "libburn-messages.txt", "diagnostic.log", "settings/registry.ini",
                             "settings/recorders.ini", "settings/environment.txt"}) {
        EXPECT_EQ(files.count(name), 1u) << name;
    }
    EXPECT_EQ(files["version.txt"].rfind("tavrin-burn ", 0), 0u) << files["version.txt"];
    EXPECT_NE(files["drives.txt"].find("CdRom7\tS:"), std::string::npos) << files["drives.txt"];
    EXPECT_NE(files["drives.txt"].find("product \"Slow Writer\"\tfirmware \""), std::string::npos);
    EXPECT_NE(files["drives.txt"].find("CdRom6\tR:"), std::string::npos) << files["drives.txt"];
    // libburn's words, kept for the report and in the diagnostic log with their kind.
    const std::string lost =
        "libburn error: SORRY 0x00020009: Neither stdio-path nor its directory exist";
    EXPECT_NE(files["libburn-messages.txt"].find(lost), std::string::npos)
        << files["libburn-messages.txt"];
    EXPECT_NE(files["diagnostic.log"].find(lost), std::string::npos);
    EXPECT_NE(files["diagnostic.log"].find("StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile"),
              std::string::npos);
    EXPECT_NE(files["log.txt"].find("exit status 1 (failed)"), std::string::npos)
        << files["log.txt"];
    EXPECT_NE(files["settings/recorders.ini"].find("[Recorder slow]"), std::string::npos);
    EXPECT_NE(files["settings/environment.txt"].find("STARBURN_CONFIG=~/recorders.ini"),
              std::string::npos)
        << files["settings/environment.txt"];
    for (const auto& [name, text] : files) {
        EXPECT_EQ(text.find(folder.string()), std::string::npos) << name << ":\n" << text;
        EXPECT_NE(text.find_first_not_of(' '), std::string::npos) << name << " is empty";
    }

    // A report that cannot be written says so, and leaves nothing behind.
    const fs::path nowhere = folder / "no-such-folder" / "report.tar.gz";
    EXPECT_EQ(Run({"devices", "--report", nowhere.string()}), 2);
    EXPECT_NE(readFile(folder / "out.txt")
                  .find("The problem report could not be written to " + nowhere.string()),
              std::string::npos)
        << readFile(folder / "out.txt");
}

} // namespace
