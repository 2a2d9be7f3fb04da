// SPDX-License-Identifier: GPL-2.0-or-later
// Every fault the MMC emulator plays on a drive libburn takes for a real one:
// each call that meets it fails with its library error and a text that names
// the drive, the drive's sense and what to do; afterwards the drive is taken
// again by a new grabber and works. The watchdog fails a test that hangs.
#include "tests/starburn/libburn_mmc_support.h"

using namespace sbtest;

namespace {

enum class Op { Write, Read, Blank, Opc };

struct FaultCase {
    const char* label;
    const char* settings; // the drive's section, without its faults
    const char* faults;   // switched on once the library has examined the drive
    Op op;
    uint8_t exception;              // what the call answers
    const char* sense;              // in the failure block, "none" when the drive said nothing
    std::vector<const char*> parts; // in the text, beside the drive's name
    const char* untrue = nullptr;   // not in the text
};

class Fault : public Emulated, public ::testing::WithParamInterface<FaultCase> {
protected:
    uint8_t run(void* g, Op op) {
        switch (op) {
        case Op::Write:
            return trackAtOnce(g, image("image.iso", 2 * 1024 * 1024, 5));
        case Op::Read: {
            EXPECT_EQ(trackAtOnce(g, image("image.iso", 1024 * 1024, 5)), SB_EXCEPTION_NONE)
                << r.text;
            std::vector<uint8_t> bytes(512 * 2048);
            return StarBurn_CdvdBurnerGrabber_ReadData(g, r.text, sizeof r.text, &r.status,
                                                       r.failure, 0, 512, bytes.data());
        }
        case Op::Blank:
            return blank(g, false);
        case Op::Opc:
            return StarBurn_CdvdBurnerGrabber_SendOPC(g, r.text, sizeof r.text, &r.status,
                                                      r.failure);
        }
        return 0xFF;
    }
};

} // namespace

TEST_P(Fault, FailsWithItsErrorAndTheDriveIsTakenAgain) {
    const FaultCase& f = GetParam();
    drives({f.settings});
    void* g = grab(0);
    ASSERT_EQ(testUnitReady(g), SB_EXCEPTION_NONE) << r.text;
    // The fault counts from here: the library has examined the drive.
    describe({std::string(f.settings) + "\nFaults = " + f.faults});
    const uint8_t result = run(g, f.op);
    const std::string text = r.text;
    std::printf("%s: exception %d, sense %s: %s\n", f.label, result, sense().c_str(), text.c_str());
    EXPECT_EQ(result, f.exception) << text;
    EXPECT_EQ(sense(), f.sense) << text;
    EXPECT_NE(text.find(title(0)), std::string::npos) << text;
    for (const char* part : f.parts) {
        EXPECT_NE(text.find(part), std::string::npos) << "\"" << part << "\" in: " << text;
    }
    if (f.untrue != nullptr) {
        EXPECT_EQ(text.find(f.untrue), std::string::npos) << text;
    }

    // The fault gone (a drive plugged in again, a disc that reads), a new
    // grabber takes the drive and it answers.
    StarBurn_Destroy(&g);
    describe({f.settings});
    void* again = grab(0);
    EXPECT_EQ(testUnitReady(again), SB_EXCEPTION_NONE) << r.text;
    EXPECT_NE(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(again), DISC_TYPE_UNKNOWN);
}

INSTANTIATE_TEST_SUITE_P(
    Each, Fault,
    ::testing::Values(FaultCase{"WriteError",
                                "Media = dvdplusr",
                                "write-error@300",
                                Op::Write,
                                SB_EXCEPTION_WRITE_ERROR,
                                "3/0C/00",
                                {"3/0C/00", "another disc"}},
                      FaultCase{"ReadError",
                                "Media = bdre\nState = blank",
                                "read-error@100",
                                Op::Read,
                                SB_EXCEPTION_MEDIUM_ERROR,
                                "3/11/00",
                                {"block 100", "3/11/00"}},
                      FaultCase{"NoDiscAfter",
                                "Media = dvdplusr",
                                "no-disc-after:30",
                                Op::Write,
                                SB_EXCEPTION_WRITE_ERROR,
                                "2/3A/00",
                                {"2/3A/00", "Insert a disc"}},
                      FaultCase{"Unplug",
                                "Media = dvdplusr",
                                "unplug@30",
                                Op::Write,
                                SB_EXCEPTION_WRITE_ERROR,
                                "none",
                                {"was disconnected", "Plug it in again"}},
                      FaultCase{"WriteProtected",
                                "Media = dvdplusr",
                                "write-protected",
                                Op::Write,
                                SB_EXCEPTION_WRITE_ERROR,
                                "7/27/00",
                                {"7/27/00", "write-protect"}},
                      FaultCase{"WriteProtectedErase",
                                "Media = cdrw\nState = appendable",
                                "write-protected",
                                Op::Blank,
                                SB_EXCEPTION_MEDIUM_ERROR,
                                "7/27/00",
                                {"7/27/00", "write-protect"}},
                      FaultCase{
                          "CloseError",
                          "Media = dvdplusr",
                          "close-error",
                          Op::Write,
                          SB_EXCEPTION_WRITE_ERROR,
                          "3/0C/00",
                          {"3/0C/00", "did not close its track or session: the disc is left"}},
                      FaultCase{"OpcError",
                                "Media = dvdr",
                                "opc-error",
                                Op::Opc,
                                SB_EXCEPTION_MEDIUM_ERROR,
                                "5/73/03",
                                {"5/73/03", "calibrat"}},
                      // libburn tries to close the track after this refusal too.
                      FaultCase{"OpcErrorAtTheWrite",
                                "Media = dvdr",
                                "write-opc-error",
                                Op::Write,
                                SB_EXCEPTION_WRITE_ERROR,
                                "3/73/03",
                                {"Power calibration failed. The drive could not tune its "
                                 "laser to this disc: try a slower speed or discs of another "
                                 "brand.",
                                 "3/73/03"},
                                "The image was written"},
                      FaultCase{"DiscFull",
                                "Media = dvdplusr",
                                "full@300",
                                Op::Write,
                                SB_EXCEPTION_WRITE_ERROR,
                                "5/21/00",
                                {"The disc is full. Use a disc with more free space, or "
                                 "write less.",
                                 "5/21/00"}},
                      // Not a fault of the drive: a disc it cannot write, refused
                      // before the drive is asked, in the words of its refusal.
                      FaultCase{"ClosedDisc",
                                "Media = dvdplusr\nState = closed",
                                "",
                                Op::Write,
                                SB_EXCEPTION_MEDIUM_ERROR,
                                "5/30/00",
                                {"The drive cannot use this disc (incompatible medium). Use a "
                                 "disc of a kind this drive writes, or one that is not "
                                 "closed.",
                                 "complete (closed)"}}),
    [](const auto& info) { return std::string(info.param.label); });

// A drive that is not ready for its first commands after a load is waited
// for, and one that writes slowly is written to the end.
TEST_F(Emulated, ADriveBecomingReadyAndASlowDriveAreWaitedFor) {
    drives({"Media = dvdplusr\nFaults = not-ready:3", "Media = cdr\nFaults = slow:5"});
    for (size_t n : {0u, 1u}) {
        void* g = grab(n);
        const std::string path = image("slow.iso", 512 * 1024, 9);
        ASSERT_EQ(trackAtOnce(g, path), SB_EXCEPTION_NONE) << r.text;
        EXPECT_TRUE(readBack(g, 0, 256) == patternBytes(512 * 1024, 9)) << r.text;
    }
}

// A drive that never becomes ready holds no call for libburn's retries (each
// command until its own time-out, most of an hour): the library asks it for
// ReadyWait seconds and gives up with the drive's code and the table's row
// for it; so at the start, and for a disc put in while the drive is held.
TEST_F(Emulated, ADriveThatNeverBecomesReadyIsGivenUpAfterTheWait) {
    ::setenv("STARBURN_READY_WAIT", "1", 1);
    const auto started = std::chrono::steady_clock::now();
    const std::vector<std::string> settings = {"Media = dvdplusr\nFaults = not-ready:1000000",
                                               "Media = dvdplusr\nFaults = not-ready:1000000/08",
                                               "Media = none"};
    drives(settings);
    ::unsetenv("STARBURN_READY_WAIT");
    void* held = grab(2);
    ASSERT_EQ(testUnitReady(held), SB_EXCEPTION_NOT_READY);
    ASSERT_EQ(sense(), "2/3A/00") << r.text;
    describe({settings[0], settings[1], "Media = dvdplusr\nFaults = not-ready:1000000"});

    const char* becoming =
        "The disc is not ready yet. Wait a few seconds while the drive reads it in, then try "
        "again.";
    const struct {
        const char* code;
        const char* sentence;
        std::string name; // the first two never answered INQUIRY
    } expected[] = {
        {"2/04/01", becoming, device(0)},
        {"2/04/08",
         "The drive did not become ready, however often it was asked. Take the disc out and put "
         "it in again; if that does not help, unplug the drive or restart the computer.",
         device(1)},
        {"2/04/01", becoming, title(2)}};
    for (size_t n : {0u, 1u, 2u}) {
        void* g = n == 2 ? held : grab(n);
        for (const char* call : {"TestUnitReady", "TrackAtOnceFromFile"}) {
            const uint8_t result = std::string(call) == "TestUnitReady"
                                       ? testUnitReady(g)
                                       : trackAtOnce(g, image("never.iso", 64 * 1024, 3));
            const std::string text = r.text;
            EXPECT_EQ(result, SB_EXCEPTION_NOT_READY) << n << " " << call << ": " << text;
            EXPECT_EQ(sense(), expected[n].code) << n << " " << call << ": " << text;
            for (const std::string& part : {std::string(expected[n].sentence), expected[n].name,
                                            "(sense " + std::string(expected[n].code) + ")"}) {
                EXPECT_NE(text.find(part), std::string::npos) << "\"" << part << "\" in: " << text;
            }
        }
    }
    // The bad disc taken out again: libburn stops a drive it lets go and waits
    // until it answers other than "not ready".
    describe({settings[0], settings[1], settings[2]});
    const auto took = std::chrono::steady_clock::now() - started;
    std::printf("three drives never ready: given up after %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_LT(took, std::chrono::seconds(20));
}

// A write that waits for a disc spinning up ends as soon as it is cancelled,
// not after the wait.
TEST_F(Emulated, ACancelEndsTheWaitForADiscBecomingReady) {
    ::setenv("STARBURN_READY_WAIT", "40", 1);
    drives({"Media = none"});
    ::unsetenv("STARBURN_READY_WAIT");
    void* g = grab(0);
    ASSERT_EQ(testUnitReady(g), SB_EXCEPTION_NOT_READY) << r.text;
    describe({"Media = dvdplusr\nFaults = not-ready:1000000"});
    const auto started = std::chrono::steady_clock::now();
    std::thread canceller([g] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        StarBurn_CdvdBurnerGrabber_Cancel(g);
    });
    EXPECT_EQ(trackAtOnce(g, image("late.iso", 64 * 1024, 4)), SB_EXCEPTION_CANCELLED) << r.text;
    const auto took = std::chrono::steady_clock::now() - started;
    canceller.join();
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_NE(std::string(r.text).find("to become ready was cancelled"), std::string::npos)
        << r.text;
    describe({"Media = none"}); // the bad disc out: libburn lets the drive go
}

// A track the drive could not close is closed by CloseSession once the drive
// closes again, and the disc then takes the next session.
TEST_F(Emulated, ASessionLeftOpenByAFailedCloseIsClosedLater) {
    drives({"Media = dvdplusr"});
    void* g = grab(0);
    describe({"Media = dvdplusr\nFaults = close-error"});
    ASSERT_EQ(trackAtOnce(g, image("open.iso", 512 * 1024, 6), false, true),
              SB_EXCEPTION_WRITE_ERROR);
    EXPECT_NE(std::string(r.text).find("the disc is left appendable, its last session open"),
              std::string::npos)
        << r.text;
    EXPECT_EQ(closeSession(g), SB_EXCEPTION_MEDIUM_ERROR) << "the drive still cannot close";
    EXPECT_EQ(sense(), "3/0C/00") << r.text;
    EXPECT_NE(std::string(r.text).find("could not close the session its last write left open"),
              std::string::npos)
        << r.text;

    describe({"Media = dvdplusr"});
    ASSERT_EQ(closeSession(g), SB_EXCEPTION_NONE) << r.text;
    const SB_DISC_INFORMATION closed = discInfo(g);
    EXPECT_EQ(closed.DiscStatus, SB_DISC_STATUS_APPENDABLE);
    // The closed session, and the empty one after it that takes the next.
    EXPECT_EQ(closed.NumberOfSessions, 2);
    EXPECT_EQ(closed.LastSessionStatus, SB_SESSION_STATUS_EMPTY);
    EXPECT_TRUE(readBack(g, 0, 256) == patternBytes(512 * 1024, 6)) << r.text;
    const SB_TRACK_INFORMATION next = nextTrack(g);
    ASSERT_EQ(trackAtOnce(g, image("next.iso", 256 * 1024, 7), false, true), SB_EXCEPTION_NONE)
        << r.text;
    EXPECT_TRUE(readBack(g, next.TrackStartAddress, 128) == patternBytes(256 * 1024, 7)) << r.text;
}
