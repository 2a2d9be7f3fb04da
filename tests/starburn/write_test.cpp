// SPDX-License-Identifier: GPL-2.0-or-later
// Writes through the C interface in every image-file mode, and the disc's
// states across writes and ejects.
#include "tests/starburn/sbTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <unistd.h>

using namespace sbtest;

namespace {

class Writes : public Library {
protected:
    void TearDown() override {
        if (writer != nullptr) {
            StarBurn_Destroy(&writer);
        }
        Library::TearDown();
    }

    uint8_t trackAtOnce(const std::string& path, bool multiSession, bool testWrite = false) {
        return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
            writer, r.text, sizeof r.text, &r.status, r.failure, path.c_str(), 1, testWrite,
            multiSession, 1, SB_WRITE_REVISION);
    }

    uint8_t discAtOnce(const std::vector<std::string>& paths, bool raw, bool testWrite = false,
                       bool multiSession = false) {
        return sbtest::discAtOnce(writer, r, paths, raw, testWrite, multiSession);
    }

    uint8_t sessionAtOnce(const std::vector<std::string>& paths, bool testWrite = false) {
        auto layout = std::make_unique<SessionLayoutRecord>();
        std::memset(layout.get(), 0, sizeof *layout);
        layout->EntryCount = static_cast<uint32_t>(paths.size());
        for (size_t i = 0; i < paths.size(); ++i) {
            std::strncpy(layout->Entries[i].FileName, paths[i].c_str(), SB_SESSION_PATH_SIZE - 1);
        }
        return StarBurn_CdvdBurnerGrabber_SessionAtOnce(writer, r.text, sizeof r.text, &r.status,
                                                        r.failure, layout.get(), 0, testWrite, 1, 1,
                                                        SB_WRITE_REVISION);
    }

    uint8_t closeSession() {
        return StarBurn_CdvdBurnerGrabber_CloseSession(writer, r.text, sizeof r.text, &r.status,
                                                       r.failure);
    }

    void* writer = nullptr;
    Report r;
};

} // namespace

TEST_F(Writes, EveryImageFileModePutsTheImageOnTheDisc) {
    // An odd size, so the padding to whole sectors shows.
    const auto bytes = isoLike(300 * 1024 + 77, 1, "TAVRIN_TEST");
    const std::string path = dir.file("disc.iso");
    writeBytes(path, bytes);
    const auto expected = padded(bytes);

    struct Mode {
        const char* name;
        std::function<uint8_t()> burn;
        bool needsClose;
    };
    const Mode modes[] = {
        {"Disc-At-Once PQ", [&] { return discAtOnce({path}, false); }, false},
        {"Disc-At-Once raw P-W", [&] { return discAtOnce({path}, true); }, false},
        {"Track-At-Once", [&] { return trackAtOnce(path, false); }, true},
        {"Session-At-Once", [&] { return sessionAtOnce({path}); }, false},
    };
    writer = open("CdRom0");
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.name);
        ASSERT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_BLANK);
        ASSERT_EQ(mode.burn(), SB_EXCEPTION_NONE) << r.text;
        if (mode.needsClose) {
            EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_APPENDABLE);
            ASSERT_EQ(closeSession(), SB_EXCEPTION_NONE) << r.text;
        }
        const auto info = discInfo(writer);
        EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_COMPLETE);
        EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_COMPLETE);
        uint64_t used = 0;
        ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(writer, r.text, sizeof r.text,
                                                              &r.status, r.failure, &used),
                  SB_EXCEPTION_NONE);
        EXPECT_EQ(used, expected.size());

        const auto onDisc = ejectAndRead(writer, "CdRom0");
        EXPECT_TRUE(onDisc == expected) << "the ejected image differs from the burned one";
        char ejected[4096] = {};
        ASSERT_EQ(StarBurnTesting_GetLastEjectedImage("CdRom0", ejected, sizeof ejected),
                  SB_EXCEPTION_NONE);
        EXPECT_NE(std::string(ejected).find("TAVRIN_TEST"), std::string::npos) << ejected;
        EXPECT_EQ(std::string(ejected).rfind(stateDir + "/ejected/writer-", 0), 0u) << ejected;
    }
}

TEST_F(Writes, SeveralTracksFollowEachOtherOnWholeSectors) {
    const auto first = patternBytes(5000, 2);
    const auto second = patternBytes(4096, 3);
    const auto third = patternBytes(1, 4);
    writeBytes(dir.file("1.img"), first);
    writeBytes(dir.file("2.img"), second);
    writeBytes(dir.file("3.img"), third);
    writer = open("CdRom0");
    ASSERT_EQ(discAtOnce({dir.file("1.img"), dir.file("2.img"), dir.file("3.img")}, false),
              SB_EXCEPTION_NONE)
        << r.text;

    SB_TOC_INFORMATION toc{};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTOCInformation(writer, r.text, sizeof r.text, &r.status,
                                                           r.failure, &toc),
              SB_EXCEPTION_NONE);
    EXPECT_EQ(toc.Valid, 1);
    EXPECT_EQ(toc.FirstTrackNumber, 1);
    EXPECT_EQ(toc.LastTrackNumber, 3);
    EXPECT_EQ(uint32_t{toc.NumberOfEntries}, 3u);
    EXPECT_EQ(uint32_t{toc.Entries[0].StartAddress}, 0u);
    EXPECT_EQ(uint32_t{toc.Entries[1].StartAddress}, 3u);
    EXPECT_EQ(uint32_t{toc.Entries[2].StartAddress}, 5u);
    EXPECT_EQ(uint32_t{toc.LeadOutStartAddress}, 6u);

    std::vector<uint8_t> expected = padded(first);
    const auto s = padded(second);
    const auto t = padded(third);
    expected.insert(expected.end(), s.begin(), s.end());
    expected.insert(expected.end(), t.begin(), t.end());
    EXPECT_TRUE(ejectAndRead(writer, "CdRom0") == expected);
}

TEST_F(Writes, MultisessionTrackAtOnceAppendsUntilTheSessionIsClosed) {
    const auto a = patternBytes(10000, 5);
    const auto b = patternBytes(20000, 6);
    writeBytes(dir.file("a.img"), a);
    writeBytes(dir.file("b.img"), b);
    writer = open("CdRom0");

    ASSERT_EQ(trackAtOnce(dir.file("a.img"), true), SB_EXCEPTION_NONE) << r.text;
    auto info = discInfo(writer);
    EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_APPENDABLE);
    EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_INCOMPLETE);
    auto next = nextTrack(writer);
    EXPECT_EQ(next.TrackNumber, 2);
    EXPECT_EQ(next.Blank, 1);
    EXPECT_EQ(next.NextWritableAddressValid, 1);
    EXPECT_EQ(uint32_t{next.TrackStartAddress}, 5u); // 10000 bytes take 5 sectors
    EXPECT_EQ(uint32_t{next.FreeBlocks}, 4096u - 5);

    // Closing a multisession session leaves the disc open for another one.
    ASSERT_EQ(closeSession(), SB_EXCEPTION_NONE) << r.text;
    info = discInfo(writer);
    EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_APPENDABLE);
    EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_EMPTY);
    EXPECT_EQ(info.NumberOfSessions, 2);
    EXPECT_EQ(nextTrack(writer).SessionNumber, 2);

    // Disc-At-Once wants a blank disc; a new session goes on the open one.
    EXPECT_EQ(discAtOnce({dir.file("b.img")}, false), SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_NE(std::string(r.text).find("blank"), std::string::npos) << r.text;
    ASSERT_EQ(trackAtOnce(dir.file("b.img"), false), SB_EXCEPTION_NONE) << r.text;
    ASSERT_EQ(closeSession(), SB_EXCEPTION_NONE) << r.text;
    info = discInfo(writer);
    EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_COMPLETE);
    EXPECT_EQ(info.NumberOfSessions, 2);
    EXPECT_EQ(nextTrack(writer).NextWritableAddressValid, 0);
    EXPECT_EQ(trackAtOnce(dir.file("a.img"), false), SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_EQ(closeSession(), SB_EXCEPTION_MEDIUM_ERROR);

    std::vector<uint8_t> expected = padded(a);
    const auto pb = padded(b);
    expected.insert(expected.end(), pb.begin(), pb.end());
    EXPECT_TRUE(ejectAndRead(writer, "CdRom0") == expected);

    // The eject put a fresh blank of the same kind in.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(writer), DISC_TYPE_DVDPLUSR);
    EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_BLANK);
    EXPECT_EQ(uint32_t{nextTrack(writer).FreeBlocks}, 4096u);
}

TEST_F(Writes, DiscAtOnceWithMultisessionLeavesTheDiscAppendable) {
    writer = open("CdRom0");
    ASSERT_EQ(discAtOnce({image("a.img", 4096, 7)}, false, false, true), SB_EXCEPTION_NONE)
        << r.text;
    const auto info = discInfo(writer);
    EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_APPENDABLE);
    EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_EMPTY);
    ASSERT_EQ(sessionAtOnce({image("b.img", 2048, 8)}), SB_EXCEPTION_NONE) << r.text;
    EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_COMPLETE);
}

TEST_F(Writes, ATestWriteStoresNothing) {
    writer = open("CdRom0");
    const std::string path = image("a.img", 50000, 9);
    ProgressLog log;
    StarBurn_Destroy(&writer);
    writer = open("CdRom0", 0, ProgressLog::callback, &log);
    for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(mode);
        uint8_t result = 0;
        switch (mode) {
        case 0:
            result = discAtOnce({path}, false, true);
            break;
        case 1:
            result = discAtOnce({path}, true, true);
            break;
        case 2:
            result = trackAtOnce(path, false, true);
            break;
        default:
            result = sessionAtOnce({path}, true);
            break;
        }
        ASSERT_EQ(result, SB_EXCEPTION_NONE) << r.text;
        EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_BLANK);
        EXPECT_EQ(uint32_t{nextTrack(writer).FreeBlocks}, 4096u);
    }
    // The test writes went through the motions.
    EXPECT_FALSE(log.progress.empty());
    EXPECT_EQ(log.progress.back().second, 50000);
    // Nothing was written, so an eject files nothing away.
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Eject(writer, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_NONE);
    char path2[4096];
    EXPECT_EQ(StarBurnTesting_GetLastEjectedImage("CdRom0", path2, sizeof path2),
              SB_EXCEPTION_FILE_ERROR);
}

TEST_F(Writes, ProgressIsReportedAtLeastOncePerPercent) {
    ProgressLog log;
    writer = open("CdRom0", 0, ProgressLog::callback, &log);
    const size_t size = 3 * 1024 * 1024 + 5;
    ASSERT_EQ(trackAtOnce(image("a.img", size, 10), false), SB_EXCEPTION_NONE) << r.text;

    ASSERT_GE(log.progress.size(), 100u);
    EXPECT_EQ(log.progress.front().second, 0);
    EXPECT_EQ(log.progress.back().second, static_cast<int64_t>(size));
    int64_t previous = 0;
    for (const auto& [total, done] : log.progress) {
        EXPECT_EQ(total, static_cast<int64_t>(size));
        EXPECT_GE(done, previous);
        EXPECT_LE(done - previous, static_cast<int64_t>(size / 100));
        previous = done;
    }
    ASSERT_FALSE(log.buffer.empty());
    for (const auto& [bufferSize, freeBytes] : log.buffer) {
        EXPECT_EQ(bufferSize, 1048576u);
        EXPECT_LE(freeBytes, bufferSize);
    }
    EXPECT_GE(log.other, 2); // lead-in and closing

    // Without bReportProgress, reasons 12 and 13 stay quiet.
    ProgressLog quiet;
    void* g = open("CdRom1", 0, ProgressLog::callback, &quiet);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                             r.failure, dir.file("a.img").c_str(),
                                                             1, 0, 0, 0, SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_TRUE(quiet.progress.empty());
    EXPECT_TRUE(quiet.buffer.empty());
    StarBurn_Destroy(&g);
}

TEST_F(Writes, ImagesThatCannotBeBurnedFailClearlyAndLeaveTheDiscBlank) {
    writer = open("CdRom0");
    const std::string missing = dir.file("missing.iso");
    EXPECT_EQ(trackAtOnce(missing, false), SB_EXCEPTION_FILE_ERROR);
    EXPECT_EQ(r.status, static_cast<uint32_t>(ENOENT));
    EXPECT_NE(std::string(r.text).find(missing), std::string::npos) << r.text;

    writeText(dir.file("empty.iso"), "");
    EXPECT_EQ(discAtOnce({dir.file("empty.iso")}, false), SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_NE(std::string(r.text).find("empty"), std::string::npos) << r.text;

    EXPECT_EQ(sessionAtOnce({dir.path().string()}), SB_EXCEPTION_FILE_ERROR);
    EXPECT_NE(std::string(r.text).find("not a regular file"), std::string::npos) << r.text;

    // One block more than the disc holds.
    EXPECT_EQ(discAtOnce({image("big.iso", 4097 * 2048, 11)}, false), SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_EQ(r.status, static_cast<uint32_t>(ENOSPC));
    EXPECT_NE(std::string(r.text).find("does not fit"), std::string::npos) << r.text;

    if (::geteuid() != 0) { // root reads everything
        const std::string locked = image("locked.iso", 4096, 12);
        fs::permissions(locked, fs::perms::none);
        EXPECT_EQ(trackAtOnce(locked, false), SB_EXCEPTION_FILE_ERROR);
        EXPECT_EQ(r.status, static_cast<uint32_t>(EACCES));
    }
    // A second track that is missing stops the write before it begins.
    EXPECT_EQ(discAtOnce({image("ok.iso", 4096, 13), missing}, false), SB_EXCEPTION_FILE_ERROR);

    EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_BLANK);
}

TEST_F(Writes, AnImageThatChangesSizeDuringTheWriteFailsIt) {
    // The image grows while it is burned: the callback appends to it.
    struct Grow {
        std::string path;
        bool done = false;
        static void callback(uint32_t reason, void* context, void*, void*) {
            auto* g = static_cast<Grow*>(context);
            if (reason == SB_REASON_WRITE_PROGRESS && !g->done) {
                std::ofstream(g->path, std::ios::app) << "more";
                g->done = true;
            }
        }
    } grow{image("grows.iso", 1024 * 1024, 14)};
    writer = open("CdRom0", 0, Grow::callback, &grow);
    EXPECT_EQ(trackAtOnce(grow.path, false), SB_EXCEPTION_FILE_ERROR);
    EXPECT_NE(std::string(r.text).find("changed size"), std::string::npos) << r.text;
    // The burn had begun: the disc is no longer blank and takes no more writes.
    const auto info = discInfo(writer);
    EXPECT_NE(info.DiscStatus, SB_DISC_STATUS_BLANK);
    EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_DAMAGED);
    EXPECT_EQ(nextTrack(writer).NextWritableAddressValid, 0);
    EXPECT_EQ(trackAtOnce(image("x.iso", 4096, 15), false), SB_EXCEPTION_MEDIUM_ERROR);

    // The image shrinks while it is burned.
    struct Shrink {
        std::string path;
        static void callback(uint32_t reason, void* context, void*, void*) {
            if (reason == SB_REASON_WRITE_PROGRESS) {
                fs::resize_file(static_cast<Shrink*>(context)->path, 1000);
            }
        }
    } shrink{image("shrinks.iso", 1024 * 1024, 16)};
    void* cd = open("CdRom1", 0, Shrink::callback, &shrink);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(cd, r.text, sizeof r.text, &r.status,
                                                             r.failure, shrink.path.c_str(), 1, 0,
                                                             0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_FILE_ERROR);
    EXPECT_NE(std::string(r.text).find("changed size"), std::string::npos) << r.text;
    StarBurn_Destroy(&cd);
}

TEST_F(Writes, BadWriteArgumentsAreRefused) {
    writer = open("CdRom0");
    const std::string path = image("a.iso", 4096, 17);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
                  writer, r.text, sizeof r.text, &r.status, r.failure, path.c_str(), 1, 0, 0, 1, 4),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(writer, r.text, sizeof r.text,
                                                             &r.status, r.failure, nullptr, 1, 0, 0,
                                                             1, SB_WRITE_REVISION),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(discAtOnce({}, false), SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(sessionAtOnce({}), SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_NE(std::string(r.text).find("0 entries"), std::string::npos) << r.text;

    // A path that fills its whole field without a terminator is not read past it.
    auto layout = std::make_unique<FileSourceLayoutRecord>();
    std::memset(layout.get(), 'x', sizeof *layout);
    layout->TrackCount = 1;
    layout->Tracks[0].TrackKind = 0;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile(writer, r.text, sizeof r.text,
                                                              &r.status, r.failure, layout.get(), 0,
                                                              0, 0, 0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_NE(std::string(r.text).find("not zero-terminated"), std::string::npos) << r.text;
    layout->TrackCount = 101;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile(writer, r.text, sizeof r.text,
                                                              &r.status, r.failure, layout.get(), 0,
                                                              0, 0, 0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile(writer, r.text, sizeof r.text,
                                                              &r.status, r.failure, nullptr, 0, 0,
                                                              0, 0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_INVALID_PARAMETER);
    // CD-Text is not written with data.
    std::memset(layout.get(), 0, sizeof *layout);
    layout->TrackCount = 1;
    std::strcpy(layout->Tracks[0].FileName, path.c_str());
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile(writer, r.text, sizeof r.text,
                                                              &r.status, r.failure, layout.get(), 0,
                                                              0, 0, 1, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_NOT_SUPPORTED);
    layout->Tracks[0].TrackKind = 1;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile(writer, r.text, sizeof r.text,
                                                              &r.status, r.failure, layout.get(), 0,
                                                              0, 0, 0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_NOT_SUPPORTED);

    // Tree writes need the file-tree part of the library and a tree.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(writer, r.text, sizeof r.text,
                                                             &r.status, r.failure, nullptr, 1, 0, 0,
                                                             1, SB_WRITE_REVISION),
              SB_EXCEPTION_INVALID_PARAMETER);
    // Something that is not a built file tree is refused by the tree hook.
    int notATree = 0;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree(writer, r.text, sizeof r.text,
                                                              &r.status, r.failure, &notATree, 0, 0,
                                                              0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_TREE_ERROR);
    EXPECT_NE(std::string(r.text), "");
    auto session = std::make_unique<SessionLayoutRecord>();
    std::memset(session.get(), 0, sizeof *session);
    session->EntryCount = 1;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SessionAtOnce(writer, r.text, sizeof r.text, &r.status,
                                                       r.failure, session.get(), 1, 0, 1, 1,
                                                       SB_WRITE_REVISION),
              SB_EXCEPTION_INVALID_PARAMETER);
    EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_BLANK);
}

TEST_F(Writes, DrivesAndDiscsThatCannotTakeAWriteRefuseIt) {
    const std::string path = image("a.iso", 4096, 18);
    // A query-only handle never writes.
    writer = open("CdRom0", 1);
    EXPECT_EQ(trackAtOnce(path, false), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_NE(std::string(r.text).find("queries only"), std::string::npos) << r.text;
    StarBurn_Destroy(&writer);

    // A read-only drive with a pressed disc.
    writer = open("CdRom2");
    EXPECT_EQ(trackAtOnce(path, false), SB_EXCEPTION_NOT_SUPPORTED);
    EXPECT_NE(std::string(r.text).find("cannot write"), std::string::npos) << r.text;
    StarBurn_Destroy(&writer);

    // A CD writer given a DVD, and one given a pressed CD.
    writer = open("CdRom1");
    ASSERT_EQ(StarBurnTesting_InsertDisc("CdRom1", DISC_TYPE_CDROM, 0), SB_EXCEPTION_NONE);
    EXPECT_EQ(trackAtOnce(path, false), SB_EXCEPTION_MEDIUM_ERROR);
    EXPECT_NE(std::string(r.text).find("CD-ROM"), std::string::npos) << r.text;
    EXPECT_EQ(StarBurnTesting_InsertDisc("CdRom1", DISC_TYPE_DVDPLUSR, 0),
              SB_EXCEPTION_MEDIUM_ERROR);

    // An empty tray.
    ASSERT_EQ(StarBurnTesting_TakeDiscOut("CdRom1"), SB_EXCEPTION_NONE);
    EXPECT_EQ(trackAtOnce(path, false), SB_EXCEPTION_NOT_READY);
    EXPECT_EQ(r.status, SB_STATUS_SENSE);
    EXPECT_EQ(r.failure[0], 1);
    EXPECT_EQ(r.failure[1], 0x02); // NOT READY
    EXPECT_EQ(r.failure[2], 0x3A); // MEDIUM NOT PRESENT
}

TEST_F(Writes, TheDiscSurvivesARestartOfTheLibrary) {
    writer = open("CdRom0");
    const auto bytes = patternBytes(12345, 19);
    writeBytes(dir.file("a.iso"), bytes);
    ASSERT_EQ(trackAtOnce(dir.file("a.iso"), true), SB_EXCEPTION_NONE) << r.text;
    StarBurn_Destroy(&writer);
    StarBurn_DownShut();

    char text[1024] = {};
    ASSERT_EQ(StarBurn_UpStartEx(configPath.c_str(), text, sizeof text), SB_EXCEPTION_NONE) << text;
    writer = open("CdRom0");
    auto info = discInfo(writer);
    EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_APPENDABLE);
    EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_INCOMPLETE);
    EXPECT_EQ(uint32_t{nextTrack(writer).TrackStartAddress}, 7u);
    ASSERT_EQ(closeSession(), SB_EXCEPTION_NONE) << r.text;
    EXPECT_TRUE(ejectAndRead(writer, "CdRom0") == padded(bytes));
}

TEST_F(Writes, TheTimeFactorScalesAWriteToTheDrivesSpeed) {
    // The CD writer at 4x (706 KB/s) and a time factor of one half: a
    // 300 kB image takes at least 0.2 s however fast the disk.
    start(std::string(kTestRecorders) + "[Virtual]\nTimeFactor = 0.5\n");
    ProgressLog log;
    writer = open("CdRom1", 0, ProgressLog::callback, &log);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(writer, r.text, sizeof r.text, &r.status,
                                                   r.failure, 0xFFFF, 706),
              SB_EXCEPTION_NONE);
    const std::string path = image("a.iso", 300000, 20);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(trackAtOnce(path, false), SB_EXCEPTION_NONE) << r.text;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    // A drive that writes slower than the data comes holds a full buffer.
    bool someFill = false;
    for (const auto& [size, freeBytes] : log.buffer) {
        someFill = someFill || freeBytes < size;
    }
    EXPECT_TRUE(someFill);
}

TEST_F(Writes, ATestWriteReadsEveryByteAndNoticesAShrinkingImage) {
    struct Shrink {
        std::string path;
        static void callback(uint32_t reason, void* context, void*, void* special2) {
            if (reason == SB_REASON_WRITE_PROGRESS && *static_cast<int64_t*>(special2) > 0) {
                fs::resize_file(static_cast<Shrink*>(context)->path, 1000);
            }
        }
    } shrink{image("shrinks.iso", 1024 * 1024, 21)};
    writer = open("CdRom0", 0, Shrink::callback, &shrink);
    EXPECT_EQ(trackAtOnce(shrink.path, false, true), SB_EXCEPTION_FILE_ERROR);
    EXPECT_NE(std::string(r.text).find("changed size"), std::string::npos) << r.text;
    // A failed test write leaves the disc as it was.
    EXPECT_EQ(discInfo(writer).DiscStatus, SB_DISC_STATUS_BLANK);
}
