// SPDX-License-Identifier: GPL-2.0-or-later
// The library under hostile users and unlucky machines: a second program on
// the same state folder, stale handles, odd files, planted links, a crash in
// the middle of a write, sizes that wrap, and a file tree changed while it is
// written.
//
// Some tests need a second program: this test binary started again in a
// helper mode (see main at the end).
#include "starburn/StarBurnLinux.h"
#include "tests/starburn/sbTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace sbtest;

namespace {

// ---------------------------------------------------------------------------
// The second program.

// This test binary run with --helper: a started library doing one thing.
class Child {
public:
    explicit Child(std::vector<std::string> args) {
        args.insert(args.begin(), {"/proc/self/exe", "--helper"});
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int toChild[2];
        int fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            ::execv("/proc/self/exe", argv.data());
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
    }
    ~Child() {
        if (in_ >= 0) {
            ::close(in_);
        }
        ::close(out_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }

    // The child's next line, or empty when it ended (or said nothing for a minute).
    std::string line() {
        std::string text;
        for (;;) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 60000) <= 0) {
                return text;
            }
            char c = 0;
            if (::read(out_, &c, 1) != 1 || c == '\n') {
                return text;
            }
            text += c;
        }
    }

    // Closes the child's input (it ends) and returns its exit status.
    int finish() {
        ::close(in_);
        in_ = -1;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

    void killHard() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
};

class Robust : public Library {
protected:
    void TearDown() override {
        for (void*& g : grabbers) {
            StarBurn_Destroy(&g);
        }
        Library::TearDown();
    }

    void* keep(void* grabber) {
        grabbers.push_back(grabber);
        return grabber;
    }

    uint8_t trackAtOnce(void* grabber, const std::string& path, PCALLBACK callback = nullptr) {
        (void)callback;
        return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(grabber, r.text, sizeof r.text,
                                                              &r.status, r.failure, path.c_str(), 1,
                                                              0, 0, 1, SB_WRITE_REVISION);
    }

    // The test recorders with the DVD writer ("writer", CdRom0) slowed to
    // about a megabyte a second.
    static std::string slowRecorders() {
        std::string text = kTestRecorders;
        const std::string anchor = "DiscCapacity = 4096\n";
        text.insert(text.find(anchor) + anchor.size(), "WriteLimit = 1000000\n");
        return text;
    }

    std::vector<std::string> ejected() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(stateDir + "/ejected", ec)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

    std::vector<void*> grabbers;
    Report r;
};

// Waits until a write on another thread has reported progress.
void waitForProgress(ProgressLog& log) {
    for (int i = 0; i < 6000 && log.reports.load() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// ---------------------------------------------------------------------------
// Two programs on one state folder.

TEST_F(Robust, ARecorderAnotherProgramHoldsForWritingIsBusyAndItsFilesAreLeftAlone) {
    Child holder({"hold", configPath, stateDir, "CdRom0"});
    ASSERT_EQ(holder.line(), "held");

    // Opening for writing fails, naming the program that has it.
    void* grabber = nullptr;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, r.text, sizeof r.text, &r.status,
                                                  r.failure, nullptr, nullptr, "CdRom0", 0),
              SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_EQ(grabber, nullptr);
    EXPECT_NE(std::string(r.text).find("process " + std::to_string(holder.pid())),
              std::string::npos)
        << r.text;

    // Queries still answer, and other recorders are free.
    void* query = keep(open("CdRom0", 1));
    EXPECT_EQ(discInfo(query).DiscStatus, SB_DISC_STATUS_BLANK);
    void* own = keep(open("CdRom1", 0));

    // Asked without opening, the held recorder is busy for the same reason; one
    // this program holds itself is free for it.
    uint8_t state = SB_DEVICE_ACCESS_FREE;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetAccess(query, r.text, sizeof r.text, &r.status,
                                                   r.failure, &state),
              SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_EQ(state, SB_DEVICE_ACCESS_BUSY);
    EXPECT_NE(std::string(r.text).find("in use by another program (process " +
                                       std::to_string(holder.pid()) + ")"),
              std::string::npos)
        << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetAccess(own, r.text, sizeof r.text, &r.status, r.failure,
                                                   &state),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(state, SB_DEVICE_ACCESS_FREE);
    void* second = keep(open("CdRom1", 1));
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetAccess(second, r.text, sizeof r.text, &r.status,
                                                   r.failure, &state),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(state, SB_DEVICE_ACCESS_FREE);

    // The holder is mid-write: its image without a description yet. Our start
    // must not "recover" it from under the other program.
    for (void*& g : grabbers) {
        StarBurn_Destroy(&g);
    }
    grabbers.clear();
    fs::remove(stateDir + "/writer/disc.ini");
    writeBytes(stateDir + "/writer/disc.img", patternBytes(8192, 3));
    ASSERT_EQ(start(kTestRecorders), SB_EXCEPTION_NONE);
    EXPECT_TRUE(fs::exists(stateDir + "/writer/disc.img"));
    EXPECT_TRUE(ejected().empty());

    // Once the other program has gone, the recorder is ours, and what it left is filed away.
    EXPECT_EQ(holder.finish(), 0);
    void* freed = keep(open("CdRom0", 1));
    state = SB_DEVICE_ACCESS_BUSY;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetAccess(freed, r.text, sizeof r.text, &r.status,
                                                   r.failure, &state),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(state, SB_DEVICE_ACCESS_FREE);
    keep(open("CdRom0", 0));
    EXPECT_FALSE(fs::exists(stateDir + "/writer/disc.img"));
    ASSERT_EQ(ejected().size(), 1u);
    EXPECT_NE(ejected().front().find("-recovered.iso"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Handles.

TEST_F(Robust, ADestroyedHandleStaysInvalidWhateverIsOpenedAfterIt) {
    void* grabber = open("CdRom0", 1);
    void* copy = grabber;
    StarBurn_Destroy(&grabber);
    for (int i = 0; i < 20; ++i) {
        void* other = open("CdRom1", 1);
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(copy, r.text, sizeof r.text, &r.status,
                                                           r.failure),
                  SB_EXCEPTION_INVALID_HANDLE);
        StarBurn_Destroy(&other);
    }
}

// ---------------------------------------------------------------------------
// Odd files.

TEST_F(Robust, AFifoAsTheImageFailsAtOnce) {
    const std::string fifo = dir.file("image.iso");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    void* writer = keep(open("CdRom0"));
    auto call = std::async(std::launch::async, [&] { return trackAtOnce(writer, fifo); });
    if (call.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // Let the blocked open go, so the test can end.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        call.wait();
        ::close(fd);
        FAIL() << "the write waited on the FIFO";
    }
    EXPECT_EQ(call.get(), SB_EXCEPTION_FILE_ERROR);
    EXPECT_NE(std::string(r.text).find("not a regular file"), std::string::npos) << r.text;
}

TEST_F(Robust, StateFilesAreNeverWrittenThroughAPlantedLink) {
    struct stat st {};
    ASSERT_EQ(::stat(stateDir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const std::string victim = dir.file("victim.txt");
    writeText(victim, "precious");
    fs::create_symlink(victim, stateDir + "/writer/disc.ini.new");
    void* writer = keep(open("CdRom0"));
    ASSERT_EQ(trackAtOnce(writer, image("a.iso", 10000, 1)), SB_EXCEPTION_NONE) << r.text;
    ejectAndRead(writer, "CdRom0");
    EXPECT_EQ(readBytes(victim), std::vector<uint8_t>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));

    fs::create_symlink(victim, stateDir + "/writer/disc.img");
    EXPECT_EQ(trackAtOnce(writer, image("b.iso", 10000, 2)), SB_EXCEPTION_FILE_ERROR);
    EXPECT_EQ(readBytes(victim), std::vector<uint8_t>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
}

TEST_F(Robust, ADiscImageSwappedForALinkIsNeitherReadNorChanged) {
    // A recorder that flips a written byte after each write, slowed so a link
    // can be planted while the write runs.
    std::string text = slowRecorders();
    const std::string anchor = "WriteLimit = 1000000\n";
    text.insert(text.find(anchor) + anchor.size(), "CorruptAfterWrite = 100\n");
    ASSERT_EQ(start(text), SB_EXCEPTION_NONE);
    const std::string victim = dir.file("victim.bin");
    const std::vector<uint8_t> precious = patternBytes(8192, 9);
    writeBytes(victim, precious);
    const std::string contents = stateDir + "/writer/disc.img";

    ProgressLog log;
    void* writer = keep(open("CdRom0", 0, ProgressLog::callback, &log));
    auto call = std::async(std::launch::async,
                           [&] { return trackAtOnce(writer, image("a.iso", 1 << 20, 8)); });
    waitForProgress(log);
    fs::rename(contents, dir.file("moved.img"));
    fs::create_symlink(victim, contents);
    EXPECT_EQ(call.get(), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(readBytes(victim), precious);

    // Read back, the disc refuses the link instead of answering with its target.
    std::vector<uint8_t> block(2048, 0xEE);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_ReadData(writer, r.text, sizeof r.text, &r.status,
                                                   r.failure, 0, 1, block.data()),
              SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_NE(std::string(r.text).find("symbolic link"), std::string::npos) << r.text;
    EXPECT_EQ(block, std::vector<uint8_t>(2048, 0xEE));
}

// ---------------------------------------------------------------------------
// Eject without hard links.

TEST_F(Robust, EjectFilesTheDiscAwayOnAnotherFileSystem) {
    struct stat shm {};
    struct stat here {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(stateDir.c_str(), &here) != 0 ||
        shm.st_dev == here.st_dev) {
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    }
    std::string elsewhere = "/dev/shm/starburn-ejected-XXXXXX";
    ASSERT_NE(::mkdtemp(elsewhere.data()), nullptr);
    fs::create_symlink(elsewhere, stateDir + "/ejected");

    void* writer = keep(open("CdRom0"));
    const std::string path = image("a.iso", 10000, 4);
    ASSERT_EQ(trackAtOnce(writer, path), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(ejectAndRead(writer, "CdRom0"), padded(readBytes(path)));
    EXPECT_FALSE(fs::exists(stateDir + "/writer/disc.img"));
    EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_BLANK);
    fs::remove_all(elsewhere);
}

// ---------------------------------------------------------------------------
// A crash in the middle of a write.

TEST_F(Robust, AProgramKilledMidWriteLeavesADamagedDiscNotABlankOne) {
    ASSERT_EQ(start(slowRecorders()), SB_EXCEPTION_NONE);
    const std::string path = image("a.iso", 3 << 20, 5);
    {
        Child writer({"write", configPath, stateDir, "CdRom0", path});
        // Killed once some bytes, not all, have gone out.
        for (;;) {
            const std::string line = writer.line();
            ASSERT_EQ(line.rfind("progress ", 0), 0u) << line;
            if (std::stoull(line.substr(9)) > 100000) {
                break;
            }
        }
        writer.killHard();
    }
    ASSERT_EQ(start(slowRecorders()), SB_EXCEPTION_NONE);
    EXPECT_NE(std::string(startText).find("a write was under way"), std::string::npos) << startText;
    void* writer = keep(open("CdRom0"));
    const SB_DISC_INFORMATION info = discInfo(writer);
    EXPECT_NE(info.DiscStatus, SB_DISC_STATUS_BLANK);
    EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_DAMAGED);
    SB_TRACK_INFORMATION track{};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(writer, r.text, sizeof r.text,
                                                             &r.status, r.failure, 1, &track),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(track.Damage, 1);
    EXPECT_GT(track.TrackSize, 0u);
    // Nothing writes over the partial bytes.
    EXPECT_EQ(trackAtOnce(writer, image("b.iso", 4096, 6)), SB_EXCEPTION_MEDIUM_ERROR);
}

// A Destroy or a shut-down called back from inside a write cannot take the
// drive from under that write: the write ends cancelled, the recorder stays
// held until it has returned, and no callback follows the call.
TEST_F(Robust, ADestroyOrShutDownFromAWriteCallbackWaitsForTheWriteToReturn) {
    struct Inside {
        bool shutDown;
        const std::string* config;
        const std::string* state;
        void* grabber = nullptr;
        bool called = false;
        std::string secondProgram;
        int reportsAfter = 0;
    };
    const auto callback = [](uint32_t reason, void* context, void*, void* special2) {
        auto* in = static_cast<Inside*>(context);
        if (reason != SB_REASON_WRITE_PROGRESS || *static_cast<int64_t*>(special2) == 0) {
            return;
        }
        if (in->called) {
            ++in->reportsAfter;
            return;
        }
        in->called = true;
        if (in->shutDown) {
            StarBurn_DownShut();
        } else {
            StarBurn_Destroy(&in->grabber);
        }
        Child second({"hold", *in->config, *in->state, "CdRom0"});
        in->secondProgram = second.line();
    };
    for (const bool shutDown : {false, true}) {
        SCOPED_TRACE(shutDown ? "StarBurn_DownShut" : "StarBurn_Destroy");
        ASSERT_EQ(start(slowRecorders()), SB_EXCEPTION_NONE);
        ASSERT_EQ(StarBurnTesting_InsertDisc("CdRom0", DISC_TYPE_DVDPLUSR, 0), SB_EXCEPTION_NONE);
        const std::string path = image("a.iso", 2 << 20, 11);
        Inside in{shutDown, &configPath, &stateDir, nullptr, false, {}, 0};
        in.grabber = open("CdRom0", 0, callback, &in);
        void* handle = in.grabber;
        EXPECT_EQ(trackAtOnce(handle, path), SB_EXCEPTION_CANCELLED) << r.text;
        ASSERT_TRUE(in.called);
        EXPECT_EQ(in.secondProgram.rfind("open failed", 0), 0u) << in.secondProgram;
        EXPECT_NE(in.secondProgram.find("process " + std::to_string(::getpid())), std::string::npos)
            << in.secondProgram;
        EXPECT_EQ(in.reportsAfter, 0);
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(handle, r.text, sizeof r.text, &r.status,
                                                           r.failure),
                  SB_EXCEPTION_INVALID_HANDLE);
        // Once the write has returned, the recorder is free again.
        Child second({"hold", configPath, stateDir, "CdRom0"});
        EXPECT_EQ(second.line(), "held");
        if (shutDown) {
            void* g = nullptr;
            EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status,
                                                          r.failure, nullptr, nullptr, "CdRom0", 1),
                      SB_EXCEPTION_NOT_STARTED);
        }
    }
}

TEST_F(Robust, AWriteWhoseResultCannotBeRecordedFails) {
    ASSERT_EQ(start(slowRecorders()), SB_EXCEPTION_NONE);
    ProgressLog log;
    void* writer = keep(open("CdRom0", 0, ProgressLog::callback, &log));
    const std::string path = image("a.iso", 1 << 20, 7);
    auto call = std::async(std::launch::async, [&] { return trackAtOnce(writer, path); });
    waitForProgress(log);
    // The recorder's folder goes away under the write.
    fs::rename(stateDir + "/writer", stateDir + "/writer-gone");
    writeText(stateDir + "/writer", "not a folder");
    EXPECT_EQ(call.get(), SB_EXCEPTION_FILE_ERROR);
    EXPECT_NE(std::string(r.text).find("disc cannot be saved"), std::string::npos) << r.text;

    // A recorder whose state cannot be put right is left out; the library still starts.
    for (void*& g : grabbers) {
        StarBurn_Destroy(&g);
    }
    grabbers.clear();
    ASSERT_EQ(start(slowRecorders()), SB_EXCEPTION_NONE);
    EXPECT_NE(std::string(startText).find("recorder \"writer\""), std::string::npos) << startText;
    void* missing = nullptr;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&missing, r.text, sizeof r.text, &r.status,
                                                  r.failure, nullptr, nullptr, "CdRom0", 1),
              SB_EXCEPTION_NO_DEVICE);
    keep(open("CdRom1"));
}

// ---------------------------------------------------------------------------
// Sizes.

TEST_F(Robust, SizesThatWrapAreRefusedWithTheirLine) {
    // An 8 TiB sparse image is 2^32 + 1 blocks, not one.
    const std::string huge = dir.file("huge.iso");
    {
        const int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const bool sized = ::ftruncate(fd, (off_t{1} << 43) + 2048) == 0;
        ::close(fd);
        if (!sized) {
            GTEST_SKIP() << "the file system holds no 8 TiB file";
        }
    }
    void* writer = keep(open("CdRom0"));
    // Should the size check let it through, the write stops after a megabyte.
    ASSERT_EQ(StarBurnTesting_FailWriteAt("CdRom0", 1 << 20, 0), SB_EXCEPTION_NONE);
    EXPECT_EQ(trackAtOnce(writer, huge), SB_EXCEPTION_MEDIUM_ERROR) << r.text;
    EXPECT_NE(std::string(r.text).find("does not fit"), std::string::npos) << r.text;
    fs::remove(huge);
    StarBurn_Destroy(&grabbers.back());
    grabbers.pop_back();

    // A saved disc whose track wraps past the end of the disc.
    StarBurn_DownShut();
    writeText(stateDir + "/writer/disc.ini", "[Disc]\n"
                                             "Type = DVD+R\n"
                                             "Capacity = 4096\n"
                                             "SessionOpen = no\n"
                                             "FinalOnClose = no\n"
                                             "Complete = no\n"
                                             "Damaged = no\n"
                                             "Track = 1, 0, 10, good\n"
                                             "Track = 2, 10, 18446744073709551611, good\n");
    // And a setting that is no number.
    ASSERT_EQ(start(std::string(kTestRecorders) + "[Recorder odd]\nDeviceName = CdRom5\n"
                                                  "WriteLimit = 0x-1\n"),
              SB_EXCEPTION_NONE);
    const std::string text = startText;
    EXPECT_NE(text.find("disc.ini:9:"), std::string::npos) << text;
    EXPECT_NE(
        text.find("starburn.ini:" +
                  std::to_string(std::count(kTestRecorders,
                                            kTestRecorders + std::strlen(kTestRecorders), '\n') +
                                 3) +
                  ":"),
        std::string::npos)
        << text;
    EXPECT_EQ(discInfo(keep(open("CdRom0", 1))).DiscStatus, SB_DISC_STATUS_BLANK);
    void* odd = nullptr;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&odd, r.text, sizeof r.text, &r.status, r.failure,
                                                  nullptr, nullptr, "CdRom5", 1),
              SB_EXCEPTION_NO_DEVICE);
}

// ---------------------------------------------------------------------------
// A file tree changed while it is written.

TEST_F(Robust, AFileTreeCannotChangeWhileAWriteReadsIt) {
    ASSERT_EQ(start(slowRecorders()), SB_EXCEPTION_NONE);
    void* tree = nullptr;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, r.text, sizeof r.text, &r.status,
                                                    nullptr, nullptr),
              SB_EXCEPTION_NONE);
    const std::string file = image("data.bin", 1 << 20, 8);
    const std::string more = image("more.bin", 1000, 9);
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_AddFile(tree, r.text, sizeof r.text, &r.status,
                                                     file.c_str(), nullptr, nullptr),
              SB_EXCEPTION_NONE)
        << r.text;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_BuildImage(tree, r.text, sizeof r.text, &r.status, 0,
                                                        0, 1, "TREE", "Tavrin", "Tavrin tests"),
              SB_EXCEPTION_NONE)
        << r.text;

    // Listed twice in one session: refused before anything is written.
    void* writer = keep(open("CdRom0"));
    auto layout = std::make_unique<SessionLayoutRecord>();
    std::memset(layout.get(), 0, sizeof *layout);
    layout->EntryCount = 2;
    layout->Entries[0].FileTree = tree;
    layout->Entries[1].FileTree = tree;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SessionAtOnce(writer, r.text, sizeof r.text, &r.status,
                                                       r.failure, layout.get(), 1, 0, 1, 0,
                                                       SB_WRITE_REVISION),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_BLANK);

    ProgressLog log;
    void* burner = keep(open("CdRom0", 0, ProgressLog::callback, &log));
    Report w;
    auto call = std::async(std::launch::async, [&] {
        return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(burner, w.text, sizeof w.text,
                                                              &w.status, w.failure, tree, 1, 0, 0,
                                                              1, SB_WRITE_REVISION);
    });
    waitForProgress(log);
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_SeekToBegin(tree, r.text, sizeof r.text, &r.status),
              SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_AddFile(tree, r.text, sizeof r.text, &r.status,
                                                     more.c_str(), nullptr, nullptr),
              SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_RemoveName(tree, r.text, sizeof r.text, &r.status,
                                                        "/data.bin"),
              SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_BuildImage(tree, r.text, sizeof r.text, &r.status, 0,
                                                        0, 1, "TREE", "Tavrin", "Tavrin tests"),
              SB_EXCEPTION_DEVICE_BUSY);
    ASSERT_EQ(call.get(), SB_EXCEPTION_NONE) << w.text;

    // Afterwards the tree is the caller's again.
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_AddFile(tree, r.text, sizeof r.text, &r.status,
                                                     more.c_str(), nullptr, nullptr),
              SB_EXCEPTION_NONE)
        << r.text;
    StarBurn_Destroy(&tree);
}

// ---------------------------------------------------------------------------
// Helper modes.

int helperHold(const std::string& config, const std::string& device) {
    char text[1024] = {};
    if (StarBurn_UpStartEx(config.c_str(), text, sizeof text) != SB_EXCEPTION_NONE) {
        std::printf("start failed: %s\n", text);
        return 1;
    }
    void* grabber = nullptr;
    uint32_t status = 0;
    if (StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, sizeof text, &status, nullptr, nullptr,
                                            nullptr, device.c_str(), 0) != SB_EXCEPTION_NONE) {
        std::printf("open failed: %s\n", text);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char c = 0;
    while (::read(0, &c, 1) > 0) {
    }
    StarBurn_Destroy(&grabber);
    StarBurn_DownShut();
    return 0;
}

void printProgress(uint32_t reason, void*, void*, void* special2) {
    if ((reason & 0xFF) == SB_REASON_WRITE_PROGRESS) {
        std::printf("progress %lld\n", static_cast<long long>(*static_cast<int64_t*>(special2)));
        std::fflush(stdout);
    }
}

int helperWrite(const std::string& config, const std::string& device, const std::string& image) {
    char text[1024] = {};
    if (StarBurn_UpStartEx(config.c_str(), text, sizeof text) != SB_EXCEPTION_NONE) {
        std::printf("start failed: %s\n", text);
        return 1;
    }
    void* grabber = nullptr;
    uint32_t status = 0;
    if (StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, sizeof text, &status, nullptr,
                                            printProgress, nullptr, device.c_str(),
                                            0) != SB_EXCEPTION_NONE) {
        std::printf("open failed: %s\n", text);
        return 1;
    }
    const uint8_t result = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
        grabber, text, sizeof text, &status, nullptr, image.c_str(), 1, 0, 0, 1, SB_WRITE_REVISION);
    std::printf("done %d %s\n", result, text);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 6 && std::strcmp(argv[1], "--helper") == 0) {
        ::setenv("STARBURN_STATE_DIR", argv[4], 1);
        if (std::strcmp(argv[2], "hold") == 0) {
            return helperHold(argv[3], argv[5]);
        }
        if (std::strcmp(argv[2], "write") == 0 && argc >= 7) {
            return helperWrite(argv[3], argv[5], argv[6]);
        }
        return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
