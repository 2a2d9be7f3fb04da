// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn as a script runs it: a process of its own with output that is
// no terminal, over the real library and virtual recorders configured here.
// The program is copied into each test's folder, so its diagnostic log (kept
// beside the program) tells what it did with the drive.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Six recorders: a CD writer, one with an empty tray, one whose writes fail
// at 1 MB (on a 4 MB disc), one that writes 1 MB a second, one that flips
// byte 5000 (in block 2) of every write once it has succeeded, and one with a
// written DVD+RW.
const char* const kConfiguration = R"INI(
[Virtual]
TimeFactor = 0
BuiltInRecorders = no

[Recorder writer]
DeviceName = CdRom4
Address = 2:0:4:0
DriveLetter = P
Vendor = ACME
Product = CD Writer
Revision = 1.0
Disc = CD-R
Writes = CD-R, CD-RW
WriteModes = TAO, SAO, DAO-PQ, DAO-RAW
TestWrite = yes

[Recorder empty]
DeviceName = CdRom5
DriveLetter = Q
Product = Empty Tray
Disc = none

[Recorder flaky]
DeviceName = CdRom6
DriveLetter = R
Product = Flaky Writer
Disc = CD-R
DiscCapacity = 2000
FailWriteAtByte = 1048576

[Recorder slow]
DeviceName = CdRom7
DriveLetter = S
Product = Slow Writer
Disc = CD-R
WriteLimit = 1000000

[Recorder corrupt]
DeviceName = CdRom8
DriveLetter = T
Product = Corrupting Writer
Disc = CD-R
CorruptAfterWrite = 5000

[Recorder rewriter]
DeviceName = CdRom10
DriveLetter = U
Product = DVD Rewriter
Disc = DVD+RW
DiscState = complete
DiscUsed = 1000
)INI";

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Byte k of an image is a function of k, so a shifted or dropped block shows.
void writeImage(const fs::path& path, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t k = 0; k < size; ++k) {
        bytes[k] = static_cast<char>((k * 131 + k / 2048 * 7 + 1) & 0xFF);
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// The first word sha256sum prints for a file.
std::string sha256sum(const fs::path& path) {
    const fs::path out = path.string() + ".sha256";
    if (std::system(("sha256sum " + quoted(path) + " > " + quoted(out)).c_str()) != 0) {
        return "sha256sum failed";
    }
    return readFile(out).substr(0, 64);
}

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

class CliTest : public ::testing::Test {
protected:
    fs::path folder;
    fs::path program;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder =
            fs::temp_directory_path() / ("tavrin_cli_" + std::to_string(::getpid())) / info->name();
        fs::remove_all(folder);
        fs::create_directories(folder / "state");
        program = folder / "tavrin-burn";
        fs::copy_file(TAVRIN_BURN, program);
        // The copy finds libStarBurn as the built program does: beside itself ($ORIGIN).
        fs::create_symlink(fs::path(TAVRIN_BURN).parent_path() / "libStarBurn.so.1",
                           folder / "libStarBurn.so.1");
        // And its translations, as in the build's bin/.
        fs::create_symlink(fs::path(TAVRIN_BURN).parent_path() / "translations",
                           folder / "translations");
        std::ofstream(folder / "recorders.ini") << kConfiguration;
        std::ofstream(folder / "registry.ini")
            << "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\StarBurnVelmarSample]\nLogEnabled=1\n";
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder.parent_path(), ignored);
    }

    // Tag names the run's own output files (out<tag>.txt, err<tag>.txt), for
    // a run that goes on while others start.
    pid_t Start(const std::vector<std::string>& args, const std::string& tag = {}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("STARBURN_CONFIG", (folder / "recorders.ini").c_str(), 1);
            ::setenv("STARBURN_STATE_DIR", (folder / "state").c_str(), 1);
            ::setenv("TAVRIN_REGISTRY", (folder / "registry.ini").c_str(), 1);
            ::setenv("STARBURN_REAL_DRIVES", "0", 1);
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open((folder / ("out" + tag + ".txt")).c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open((folder / ("err" + tag + ".txt")).c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
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

    TRun Wait(pid_t pid, const std::string& tag = {}) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        TRun run;
        // A program ended by a signal reports 1000 + the signal.
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        run.Out = readFile(folder / ("out" + tag + ".txt"));
        run.Err = readFile(folder / ("err" + tag + ".txt"));
        return run;
    }

    TRun Run(const std::vector<std::string>& args) {
        fs::remove(folder / "tavrin-burn.log");
        return Wait(Start(args));
    }

    std::string Log() const { return readFile(folder / "tavrin-burn.log"); }

    std::vector<fs::path> Ejected() const {
        std::vector<fs::path> files;
        if (fs::exists(folder / "state" / "ejected")) {
            for (const auto& entry : fs::directory_iterator(folder / "state" / "ejected")) {
                files.push_back(entry.path());
            }
        }
        return files;
    }
};

TEST_F(CliTest, ListsTheRecordersAndBurnsTheImageInEveryMode) {
    const TRun devices = Run({"devices"});
    ASSERT_EQ(devices.Status, 0) << devices.Err;
    std::istringstream lines(devices.Out);
    std::string line, writer, empty;
    while (std::getline(lines, line)) {
        if (line.rfind("CdRom4 ", 0) == 0) {
            writer = line;
        }
        if (line.rfind("CdRom5 ", 0) == 0) {
            empty = line;
        }
    }
    for (const char* part : {"P:", "2:0:4:0", "ACME", "CD Writer", "CD-R", "Blank", "yes"}) {
        EXPECT_NE(writer.find(part), std::string::npos) << part << " in: " << writer;
    }
    EXPECT_NE(empty.find("Empty"), std::string::npos) << empty;
    EXPECT_NE(empty.find("no: No media in drive"), std::string::npos) << empty;

    // Not a multiple of the 2048-byte sector: the disc holds it zero-padded.
    const std::size_t size = 3 * 1048576 + 1000;
    writeImage(folder / "image.iso", size);
    std::string expected = readFile(folder / "image.iso");
    expected.resize((size + 2047) / 2048 * 2048, '\0');
    for (const char* mode : {"tao", "sao", "dao", "raw"}) {
        SCOPED_TRACE(mode);
        const auto before = Ejected().size();
        const TRun burn = Run({"burn", (folder / "image.iso").string(), "--device", "CdRom4",
                               "--mode", mode, "--yes"});
        ASSERT_EQ(burn.Status, 0) << burn.Out << burn.Err;
        EXPECT_NE(burn.Out.find("Burning completed"), std::string::npos);
        // Output that is no terminal: plain lines, at most one progress line per 5 %.
        EXPECT_EQ(burn.Out.find('\r'), std::string::npos);
        EXPECT_EQ(burn.Out.find('\033'), std::string::npos);
        EXPECT_GE(countOf(burn.Out, "Progress:"), 2);
        EXPECT_LE(countOf(burn.Out, "Progress:"), 21);
        const auto ejected = Ejected();
        ASSERT_EQ(ejected.size(), before + 1);
        fs::path newest = ejected.front();
        for (const auto& file : ejected) {
            if (fs::last_write_time(file) > fs::last_write_time(newest)) {
                newest = file;
            }
        }
        EXPECT_TRUE(readFile(newest) == expected) << newest;
        fs::remove(newest);
    }

    // --no-eject leaves the written disc in the drive, where the next burn finds it not blank.
    const TRun kept =
        Run({"burn", (folder / "image.iso").string(), "--device", "CdRom4", "--no-eject", "--yes"});
    ASSERT_EQ(kept.Status, 0) << kept.Err;
    EXPECT_TRUE(Ejected().empty());
    const TRun again =
        Run({"burn", (folder / "image.iso").string(), "--device", "CdRom4", "--yes"});
    EXPECT_EQ(again.Status, 4);
    EXPECT_NE(again.Err.find("Disc is not blank, burning is impossible!"), std::string::npos)
        << again.Err;
}

TEST_F(CliTest, JsonOutputIsOneParsableObjectPerLine) {
    // A name with a quote, a backslash and a byte that is not UTF-8.
    const fs::path image = folder / "we\"ird\\name\xff.iso";
    writeImage(image, 1048576);
    const TRun burn = Run({"burn", image.string(), "--device", "P:", "--yes", "--json"});
    ASSERT_EQ(burn.Status, 0) << burn.Err;
    const std::string check =
        std::string(PYTHON3) + " -c '" +
        "import json, sys\n"
        "events = [json.loads(line) for line in open(sys.argv[1], encoding=\"utf-8\")]\n"
        "kinds = {e[\"event\"] for e in events}\n"
        "assert {\"log\", \"progress\", \"result\"} <= kinds, kinds\n"
        "assert events[-1][\"event\"] == \"result\" and events[-1][\"exit_status\"] == 0\n"
        "assert any(e[\"event\"] == \"log\" and \"we\\\"ird\\\\name\" in e[\"text\"] "
        "for e in events)\n"
        "assert [e[\"percent\"] for e in events if e[\"event\"] == \"progress\"][-1] == 100\n"
        "' " +
        (folder / "out.txt").string();
    EXPECT_EQ(std::system(check.c_str()), 0) << burn.Out;

    const TRun devices = Run({"devices", "--all", "--json"});
    ASSERT_EQ(devices.Status, 0);
    const std::string checkDevices = std::string(PYTHON3) +
                                     " -c 'import json, sys\n"
                                     "events = [json.loads(l) for l in open(sys.argv[1])]\n"
                                     "assert sum(e[\"event\"] == \"device\" for e in events) == 6\n"
                                     "' " +
                                     (folder / "out.txt").string();
    EXPECT_EQ(std::system(checkDevices.c_str()), 0) << devices.Out;
}

TEST_F(CliTest, AFailedCheckEndsTheRunBeforeTheDriveIsOpened) {
    writeImage(folder / "small.iso", 65536);
    writeImage(folder / "large.iso", 5 * 1048576);
    // An ISO9660 volume descriptor that claims 1000 sectors in a file of 20.
    std::string iso(20 * 2048, '\0');
    iso[16 * 2048] = 1;
    iso.replace(16 * 2048 + 1, 5, "CD001");
    iso[16 * 2048 + 80] = static_cast<char>(1000 & 0xFF);
    iso[16 * 2048 + 81] = static_cast<char>(1000 >> 8);
    iso[16 * 2048 + 129] = 2048 >> 8;
    std::ofstream(folder / "cut.iso", std::ios::binary) << iso;

    struct TCase {
        std::vector<std::string> Args;
        int Status;
        std::string Text;
    };
    const std::vector<TCase> cases = {
        {{"burn", (folder / "small.iso").string(), "--device", "Q:", "--yes"},
         4,
         "No media in drive"},
        {{"burn", (folder / "large.iso").string(), "--device", "CdRom6", "--yes"},
         4,
         "Image size is too big to fit disc space"},
        {{"burn", (folder / "missing.iso").string(), "--device", "CdRom4", "--yes"},
         2,
         "You must select image file"},
        {{"burn", (folder / "cut.iso").string(), "--device", "CdRom4", "--yes"},
         2,
         "The image is incomplete: it describes 2048000 bytes, the file has 40960 bytes"},
        {{"burn", (folder / "small.iso").string(), "--device", "CdRom9", "--yes"},
         4,
         "No drive CdRom9"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        const TRun run = Run(c.Args);
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        EXPECT_NE(run.Err.find(c.Text), std::string::npos) << run.Err;
        EXPECT_EQ(Log().find("StarBurn_CdvdBurnerGrabber_Lock"), std::string::npos);
    }
    EXPECT_TRUE(Ejected().empty());
}

TEST_F(CliTest, AWriteFailureExitsOneWithItsTextOnStandardError) {
    writeImage(folder / "image.iso", 3 * 1048576);
    const TRun run = Run({"burn", (folder / "image.iso").string(), "--device", "R:", "--yes"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile() failed"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(run.Out.find("Burning completed"), std::string::npos);
    EXPECT_TRUE(Ejected().empty());
}

TEST_F(CliTest, InterruptCancelsTheWriteAndReleasesTheDrive) {
    writeImage(folder / "image.iso", 8 * 1048576);
    fs::remove(folder / "tavrin-burn.log");
    const pid_t pid = Start({"burn", (folder / "image.iso").string(), "--device", "S:", "--yes"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (readFile(folder / "out.txt").find("Progress:   5 %") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // The second Ctrl-C arrives while the first is being handled; it must not end the program.
    ::kill(pid, SIGINT);
    ::kill(pid, SIGINT);
    const TRun run = Wait(pid);
    ASSERT_EQ(run.Status, 130) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("Burning was canceled by user!"), std::string::npos) << run.Out;
    const std::string log = Log();
    const auto cancel = log.find("StarBurn_CdvdBurnerGrabber_Cancel");
    ASSERT_NE(cancel, std::string::npos) << log;
    EXPECT_NE(log.find("StarBurn_CdvdBurnerGrabber_Release", cancel), std::string::npos);
    EXPECT_EQ(log.find("StarBurn_CdvdBurnerGrabber_Eject"), std::string::npos);
    EXPECT_TRUE(Ejected().empty());

    // The drive answers again: the part-written disc comes out, a blank one takes it.
    const TRun eject = Run({"eject", "--device", "CdRom7"});
    EXPECT_EQ(eject.Status, 0) << eject.Err;
    writeImage(folder / "small.iso", 204800);
    const TRun again = Run({"burn", (folder / "small.iso").string(), "--device", "S:", "--yes"});
    EXPECT_EQ(again.Status, 0) << again.Out << again.Err;
}

// A recorder another tavrin-burn is writing on: listed with its state and the
// library's text naming that process; a burn on it ends with that text before
// anything is opened for writing.
TEST_F(CliTest, ARecorderAnotherProgramIsWritingOnIsListedAsBusyAndRefused) {
    writeImage(folder / "image.iso", 20 * 1048576);
    writeImage(folder / "small.iso", 204800);
    const pid_t holder =
        Start({"burn", (folder / "image.iso").string(), "--device", "S:", "--yes"}, "-holder");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (readFile(folder / "out-holder.txt").find("Progress:") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string advice = "The recorder Slow Writer is in use by another program (process " +
                               std::to_string(holder) + "); close it there and try again";

    const TRun devices = Run({"devices"});
    EXPECT_EQ(devices.Status, 0) << devices.Err;
    std::istringstream lines(devices.Out);
    std::string line, held, header;
    while (std::getline(lines, line)) {
        if (line.rfind("DEVICE ", 0) == 0) {
            header = line;
        }
        if (line.rfind("CdRom7 ", 0) == 0) {
            held = line;
        }
    }
    EXPECT_NE(header.find("STATE"), std::string::npos) << header;
    EXPECT_NE(held.find(" busy "), std::string::npos) << held;
    EXPECT_NE(held.find("no: " + advice), std::string::npos) << held;

    const TRun json = Run({"devices", "--json"});
    EXPECT_EQ(json.Status, 0) << json.Err;
    const std::string checkJson = std::string(PYTHON3) +
                                  " -c 'import json, sys\n"
                                  "events = [json.loads(l) for l in open(sys.argv[1])]\n"
                                  "held = [e for e in events if e.get(\"device\") == \"CdRom7\"]\n"
                                  "assert len(held) == 1, events\n"
                                  "assert held[0][\"state\"] == \"busy\", held\n"
                                  "assert held[0][\"writable\"] is False, held\n"
                                  "assert held[0][\"reason\"] == sys.argv[2], held\n"
                                  "free = [e for e in events if e.get(\"device\") == \"CdRom4\"]\n"
                                  "assert free[0][\"state\"] == \"available\", free\n"
                                  "' " +
                                  (folder / "out.txt").string() + " '" + advice + "'";
    EXPECT_EQ(std::system(checkJson.c_str()), 0) << json.Out;

    const TRun burn = Run({"burn", (folder / "small.iso").string(), "--device", "S:", "--yes"});
    EXPECT_EQ(burn.Status, 4) << burn.Err;
    EXPECT_NE(burn.Err.find(advice), std::string::npos) << burn.Err;
    EXPECT_EQ(Log().find("StarBurn_CdvdBurnerGrabber_Lock"), std::string::npos);

    ::kill(holder, SIGINT);
    const TRun heldRun = Wait(holder, "-holder");
    EXPECT_EQ(heldRun.Status, 130) << heldRun.Out << heldRun.Err;
}

TEST_F(CliTest, BurnVerifyAndVerifyReadTheDiscBack) {
    // Not a multiple of the 2048-byte block: the written data is the image zero-padded.
    const std::size_t size = 3 * 1048576 + 1000;
    writeImage(folder / "image.iso", size);
    std::string padded = readFile(folder / "image.iso");
    padded.resize((size + 2047) / 2048 * 2048, '\0');
    std::ofstream(folder / "padded.bin", std::ios::binary) << padded;
    const std::string sha = sha256sum(folder / "padded.bin");
    ASSERT_EQ(sha.size(), 64u);
    const std::string image = (folder / "image.iso").string();

    const TRun good = Run({"burn", image, "--device", "CdRom4", "--verify", "--yes"});
    ASSERT_EQ(good.Status, 0) << good.Out << good.Err;
    EXPECT_NE(good.Out.find("Verifying disc"), std::string::npos) << good.Out;
    EXPECT_NE(good.Out.find("Disc verified: 1537 blocks match the image"), std::string::npos);
    EXPECT_NE(good.Out.find("SHA-256 of the written data: " + sha), std::string::npos);
    EXPECT_NE(good.Out.find("Burning completed"), std::string::npos);
    // The verify pass has its own progress lines, after the write's.
    EXPECT_GE(countOf(good.Out, "Progress: verify"), 2) << good.Out;
    EXPECT_LT(good.Out.find("Progress: 100 %"), good.Out.find("Progress: verify"));
    EXPECT_EQ(Ejected().size(), 1u);

    // A byte flipped after the write: exit 3, the block named, the disc still ejected.
    const TRun bad = Run({"burn", image, "--device", "CdRom8", "--verify", "--yes"});
    EXPECT_EQ(bad.Status, 3) << bad.Out << bad.Err;
    EXPECT_NE(bad.Err.find("Verification failed: block 2 differs from the image"),
              std::string::npos)
        << bad.Err;
    EXPECT_EQ(bad.Out.find("Burning completed"), std::string::npos);
    EXPECT_EQ(bad.Out.find("Disc verified"), std::string::npos);
    EXPECT_EQ(Ejected().size(), 2u);

    // A disc left in the drive, verified later against its image and against another.
    const TRun kept = Run({"burn", image, "--device", "CdRom4", "--no-eject", "--yes"});
    ASSERT_EQ(kept.Status, 0) << kept.Err;
    const TRun same = Run({"verify", image, "--device", "CdRom4"});
    EXPECT_EQ(same.Status, 0) << same.Out << same.Err;
    EXPECT_NE(same.Out.find("SHA-256 of the written data: " + sha), std::string::npos) << same.Out;
    writeImage(folder / "other.iso", size);
    {
        std::fstream other(folder / "other.iso", std::ios::in | std::ios::out | std::ios::binary);
        other.seekp(3 * 2048 + 17);
        other.put('\x5a');
    }
    const TRun differs = Run({"verify", (folder / "other.iso").string(), "--device", "P:"});
    EXPECT_EQ(differs.Status, 3) << differs.Out << differs.Err;
    EXPECT_NE(differs.Err.find("Verification failed: block 3 differs from the image"),
              std::string::npos)
        << differs.Err;
    // Verifying reads: the disc is still in the drive, and then a blank one has nothing to read.
    EXPECT_EQ(Ejected().size(), 2u);
    ASSERT_EQ(Run({"eject", "--device", "CdRom4"}).Status, 0);
    const TRun blank = Run({"verify", image, "--device", "CdRom4"});
    EXPECT_EQ(blank.Status, 4) << blank.Err;
    EXPECT_NE(blank.Err.find("blank"), std::string::npos) << blank.Err;
}

TEST_F(CliTest, CheckReportsSizeChecksumsAndACutOffImage) {
    // A small ISO9660 image, its MD5 implanted as isomd5sum's tools do.
    std::ofstream(folder / "content.bin", std::ios::binary) << std::string(300 * 1024, 'x');
    const fs::path iso = folder / "good.iso";
    ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -o " + quoted(iso) + " " +
                           quoted(folder / "content.bin") + " >/dev/null 2>&1")
                              .c_str()),
              0);
    ASSERT_EQ(std::system(("implantisomd5 " + quoted(iso) + " >/dev/null 2>&1").c_str()), 0);
    const auto isoSize = fs::file_size(iso);

    const TRun good = Run({"check", iso.string()});
    EXPECT_EQ(good.Status, 0) << good.Out << good.Err;
    EXPECT_NE(good.Out.find("ISO9660 volume: " + std::to_string(isoSize) + " bytes"),
              std::string::npos)
        << good.Out;
    EXPECT_NE(good.Out.find("Implanted MD5 checksum: correct"), std::string::npos) << good.Out;
    EXPECT_NE(good.Out.find("SHA-256: " + sha256sum(iso)), std::string::npos) << good.Out;

    // One byte changed after the checksum was implanted.
    {
        std::fstream file(iso, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(isoSize / 2));
        file.put('y');
    }
    const TRun changed = Run({"check", iso.string(), "--json"});
    EXPECT_EQ(changed.Status, 3) << changed.Out;
    EXPECT_NE(changed.Out.find("\"implanted_md5_correct\":false"), std::string::npos)
        << changed.Out;

    // Cut off: the same text as the burn's check, and the usage status.
    fs::resize_file(iso, isoSize - 20 * 2048);
    const TRun cut = Run({"check", iso.string()});
    EXPECT_EQ(cut.Status, 2) << cut.Out;
    EXPECT_NE(cut.Err.find("The image is incomplete: it describes " + std::to_string(isoSize) +
                           " bytes, the file has " + std::to_string(isoSize - 20 * 2048) +
                           " bytes"),
              std::string::npos)
        << cut.Err;
}

// On a terminal: the question before the burn is asked and answered there,
// and the progress line redraws in place.
TEST_F(CliTest, OnATerminalItAsksAndRedrawsOneProgressLine) {
    writeImage(folder / "image.iso", 2 * 1048576);
    auto onTerminal = [this](const std::string& answer) {
        int master = -1;
        const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            ::setenv("STARBURN_CONFIG", (folder / "recorders.ini").c_str(), 1);
            ::setenv("STARBURN_STATE_DIR", (folder / "state").c_str(), 1);
            ::setenv("STARBURN_REAL_DRIVES", "0", 1);
            ::execl(program.c_str(), program.c_str(), "burn", (folder / "image.iso").c_str(),
                    "--device", "CdRom4", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::string seen;
        bool answered = false;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) {
                break; // the program has ended and closed the terminal
            }
            seen.append(buffer, static_cast<std::size_t>(n));
            if (!answered && seen.find("[y/N]") != std::string::npos) {
                answered = true;
                const ssize_t written = ::write(master, answer.data(), answer.size());
                EXPECT_EQ(written, static_cast<ssize_t>(answer.size()));
            }
        }
        ::close(master);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, seen);
    };

    const auto [refused, refusedText] = onTerminal("n\n");
    EXPECT_EQ(refused, 130) << refusedText;
    EXPECT_EQ(refusedText.find("Burning started"), std::string::npos);
    EXPECT_TRUE(Ejected().empty());

    const auto [burnt, text] = onTerminal("y\n");
    EXPECT_EQ(burnt, 0) << text;
    EXPECT_NE(text.find("Burning completed"), std::string::npos);
    // Redrawn in place: carriage return, the figures, then the rest of the line erased.
    EXPECT_NE(text.find("\r100 %  2.0 of 2.0 MB"), std::string::npos) << text;
    EXPECT_NE(text.find("\033[K"), std::string::npos);
    EXPECT_EQ(text.find("Progress:"), std::string::npos);
    EXPECT_EQ(Ejected().size(), 1u);
}

TEST_F(CliTest, BlankErasesARewritableDiscAndRefusesAWriteOnceOne) {
    const TRun noAnswer = Run({"blank", "--device", "CdRom10"});
    EXPECT_EQ(noAnswer.Status, 2) << noAnswer.Err; // no terminal to ask, no --yes

    const TRun erased = Run({"blank", "--device", "CdRom10", "--yes"});
    EXPECT_EQ(erased.Status, 0) << erased.Out << erased.Err;
    EXPECT_NE(erased.Out.find("Disc erased"), std::string::npos) << erased.Out;
    const TRun devices = Run({"devices"});
    std::istringstream lines(devices.Out);
    std::string line, rewriter;
    while (std::getline(lines, line)) {
        if (line.rfind("CdRom10 ", 0) == 0) {
            rewriter = line;
        }
    }
    EXPECT_NE(rewriter.find("Blank"), std::string::npos) << rewriter;

    const TRun writeOnce = Run({"blank", "--device", "CdRom4", "--yes", "--full"});
    EXPECT_EQ(writeOnce.Status, 4) << writeOnce.Out << writeOnce.Err;
    EXPECT_NE(writeOnce.Err.find("StarBurn_CdvdBurnerGrabber_Blank() failed, exception 9"),
              std::string::npos)
        << writeOnce.Err;
}

TEST_F(CliTest, UsageErrorsExitTwo) {
    writeImage(folder / "image.iso", 65536);
    const std::string image = (folder / "image.iso").string();
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"format"},
        {"burn"},
        {"burn", image, "--device", "CdRom4", "--yes", "--mode", "fast"},
        {"burn", image, "--device", "CdRom4", "--yes", "--speed", "quick"},
        {"burn", image, "--device", "CdRom4", "--yes", "--test", "--opc"},
        {"devices", "--transport", "usb"},
        // Several recorders and none named.
        {"burn", image, "--yes"},
        // The question before the burn, and no terminal to ask it on.
        {"burn", image, "--device", "CdRom4"},
        {"check"},
        {"verify", "--device", "CdRom4"},
        {"check", (folder / "missing.iso").string()},
    };
    for (const auto& args : wrong) {
        std::string line;
        for (const auto& arg : args) {
            line += arg + " ";
        }
        SCOPED_TRACE(line);
        const TRun run = Run(args);
        EXPECT_EQ(run.Status, 2) << run.Out << run.Err;
        EXPECT_FALSE(run.Err.empty());
    }
    EXPECT_TRUE(Ejected().empty());

    for (const char* command : {"devices", "burn", "eject", "blank", "check", "verify"}) {
        const TRun help = Run({command, "--help"});
        EXPECT_EQ(help.Status, 0);
        EXPECT_NE(help.Out.find(std::string("tavrin-burn ") + command), std::string::npos);
        const TRun version = Run({command, "--version"});
        EXPECT_EQ(version.Status, 0);
        EXPECT_EQ(version.Out.rfind("tavrin-burn ", 0), 0u) << version.Out;
    }
}

} // namespace

// LANGUAGE=de: help and messages in German; the JSON events and every exit
// status exactly as in English, so scripts never depend on the language.
TEST_F(CliTest, GermanTextsButTheSameJsonAndExitStatus) {
    writeImage(folder / "image.iso", 65536);
    const std::string image = (folder / "image.iso").string();
    const auto inLanguage = [this](const char* language, const std::vector<std::string>& args) {
        ::setenv("LANGUAGE", language, 1);
        TRun run = Run(args);
        ::unsetenv("LANGUAGE");
        // Times of day differ between two runs, nothing else may.
        run.Out = std::regex_replace(run.Out, std::regex("\"time\":\"[0-9:]+\""), "\"time\":\"\"");
        return run;
    };
    const TRun help = inLanguage("de", {"burn", "--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("Aufruf: tavrin-burn burn [OPTIONEN] IMAGE"), std::string::npos)
        << help.Out;
    EXPECT_NE(help.Out.find("Den Datenträger danach im Laufwerk lassen"), std::string::npos);

    const std::vector<std::vector<std::string>> commands = {
        {"devices", "--all"},
        {"burn", image, "--device", "CdRom4", "--yes", "--test"},
        {"burn", image, "--device", "Q9", "--yes"},
        {"burn", image, "--device", "CdRom4"},
        {"check", (folder / "missing.iso").string()},
        {"burn", image, "--copies", "2", "--mode", "sao"},
        {"copy", image, "--device", "CdRom4"},
    };
    for (auto args : commands) {
        const TRun english = inLanguage("", args);
        const TRun german = inLanguage("de", args);
        EXPECT_EQ(german.Status, english.Status) << args[0] << " " << args.back();
        args.push_back("--json");
        const TRun englishJson = inLanguage("", args);
        const TRun germanJson = inLanguage("de", args);
        EXPECT_EQ(germanJson.Status, english.Status);
        EXPECT_EQ(germanJson.Out, englishJson.Out);
        EXPECT_EQ(germanJson.Err, englishJson.Err);
    }
    EXPECT_NE(inLanguage("de", {"burn", image, "--device", "Q9", "--yes"})
                  .Err.find("Kein Laufwerk Q9 gefunden"),
              std::string::npos);
    EXPECT_NE(inLanguage("de", {"devices", "--all"}).Out.find("BESCHREIBT DEN DATENTRÄGER"),
              std::string::npos);
    // The runs of several drives and the copy speak German too.
    EXPECT_NE(inLanguage("de", {"burn", image, "--copies", "2", "--mode", "sao"})
                  .Err.find("--mode sao lässt sich damit nicht verwenden"),
              std::string::npos);
    EXPECT_NE(inLanguage("de", {"copy", image}).Err.find(image + " gibt es bereits"),
              std::string::npos);
}
