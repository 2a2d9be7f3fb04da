// SPDX-License-Identifier: GPL-2.0-or-later
// Writes against other threads: cancel, destroy and shut-down from outside,
// two drives at once, one drive asked twice.
#include "tests/starburn/sbTestSupport.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <stdexcept>
#include <thread>

using namespace sbtest;
using namespace std::chrono_literals;

namespace {

// Notes when a write's first progress report arrives, and counts them all.
struct Started {
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    std::atomic<int> reports{0};

    static void callback(uint32_t reason, void* context, void*, void*) {
        if (reason != SB_REASON_WRITE_PROGRESS) {
            return;
        }
        auto* s = static_cast<Started*>(context);
        ++s->reports;
        std::lock_guard lock(s->mutex);
        s->started = true;
        s->cv.notify_all();
    }
    bool wait() {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 10s, [this] { return started; });
    }
};

class Threads : public Library {
protected:
    struct Result {
        uint8_t exception;
        std::string text;
    };

    std::future<Result> writeAsync(void* grabber, const std::string& path, bool testWrite) {
        return std::async(std::launch::async, [grabber, path, testWrite] {
            Report r;
            const uint8_t e = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
                grabber, r.text, sizeof r.text, &r.status, r.failure, path.c_str(), 1, testWrite, 0,
                1, SB_WRITE_REVISION);
            return Result{e, r.text};
        });
    }

    // Waits for the write, failing the test (instead of hanging) when it
    // does not end.
    static Result finish(std::future<Result>& f) {
        if (f.wait_for(20s) != std::future_status::ready) {
            ADD_FAILURE() << "the write did not end";
            std::abort();
        }
        return f.get();
    }
};

} // namespace

TEST_F(Threads, CancelStopsAWriteFiftyTimesInARow) {
    // Slow enough that every write is still running when the cancel comes.
    ASSERT_EQ(StarBurnTesting_SlowWrite("CdRom0", 1 << 20), SB_EXCEPTION_NONE);
    const std::string path = image("a.iso", 2 << 20, 1);
    Report r;
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        Started started;
        void* g = open("CdRom0", 0, Started::callback, &started);
        // Every fifth write is a real one, which leaves a damaged disc behind.
        const bool real = i % 5 == 0;
        auto f = writeAsync(g, path, !real);
        ASSERT_TRUE(started.wait());
        StarBurn_CdvdBurnerGrabber_Cancel(g);
        const Result result = finish(f);
        EXPECT_EQ(result.exception, SB_EXCEPTION_CANCELLED) << result.text;
        EXPECT_EQ(result.text, "The write was cancelled");
        const auto info = discInfo(g);
        if (real) {
            EXPECT_EQ(info.LastSessionStatus, SB_SESSION_STATUS_DAMAGED);
            ASSERT_EQ(
                StarBurn_CdvdBurnerGrabber_Eject(g, r.text, sizeof r.text, &r.status, r.failure),
                SB_EXCEPTION_NONE)
                << r.text;
        } else {
            EXPECT_EQ(info.DiscStatus, SB_DISC_STATUS_BLANK);
        }
        StarBurn_Destroy(&g);
    }
    // The drive is free and whole afterwards.
    ASSERT_EQ(StarBurnTesting_SlowWrite("CdRom0", 0), SB_EXCEPTION_NONE);
    void* g = open("CdRom0");
    auto f = writeAsync(g, path, false);
    EXPECT_EQ(finish(f).exception, SB_EXCEPTION_NONE);
    StarBurn_Destroy(&g);
}

TEST_F(Threads, ACancelBeforeTheWriteStopsTheNextWriteOnly) {
    const std::string path = image("a.iso", 8192, 2);
    void* g = open("CdRom0");
    StarBurn_CdvdBurnerGrabber_Cancel(g);
    auto first = writeAsync(g, path, true);
    EXPECT_EQ(finish(first).exception, SB_EXCEPTION_CANCELLED);
    auto second = writeAsync(g, path, true);
    EXPECT_EQ(finish(second).exception, SB_EXCEPTION_NONE);
    StarBurn_Destroy(&g);
}

TEST_F(Threads, TwoDrivesWriteAtTheSameTime) {
    const auto a = patternBytes(3 << 20, 3);
    const auto b = patternBytes(2 << 20, 4);
    writeBytes(dir.file("a.iso"), a);
    writeBytes(dir.file("b.iso"), b);
    // Slowed so that the two writes overlap.
    ASSERT_EQ(StarBurnTesting_SlowWrite("CdRom0", 16 << 20), SB_EXCEPTION_NONE);
    ASSERT_EQ(StarBurnTesting_SlowWrite("CdRom1", 16 << 20), SB_EXCEPTION_NONE);
    Started startedA;
    Started startedB;
    void* ga = open("CdRom0", 0, Started::callback, &startedA);
    void* gb = open("CdRom1", 0, Started::callback, &startedB);
    auto fa = writeAsync(ga, dir.file("a.iso"), false);
    auto fb = writeAsync(gb, dir.file("b.iso"), false);
    ASSERT_TRUE(startedA.wait());
    ASSERT_TRUE(startedB.wait());
    // Queries answer while both write.
    Report r;
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(ga, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE);
    const Result ra = finish(fa);
    const Result rb = finish(fb);
    ASSERT_EQ(ra.exception, SB_EXCEPTION_NONE) << ra.text;
    ASSERT_EQ(rb.exception, SB_EXCEPTION_NONE) << rb.text;
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_CloseSession(ga, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE);
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_CloseSession(gb, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_NONE);
    EXPECT_TRUE(ejectAndRead(ga, "CdRom0") == padded(a));
    EXPECT_TRUE(ejectAndRead(gb, "CdRom1") == padded(b));
    StarBurn_Destroy(&ga);
    StarBurn_Destroy(&gb);
}

TEST_F(Threads, OneDriveTakesOneWriteAtATime) {
    ASSERT_EQ(StarBurnTesting_SlowWrite("CdRom0", 1 << 20), SB_EXCEPTION_NONE);
    const std::string path = image("a.iso", 2 << 20, 5);
    Started started;
    void* first = open("CdRom0", 0, Started::callback, &started);
    void* second = open("CdRom0");
    auto f = writeAsync(first, path, true);
    ASSERT_TRUE(started.wait());
    Report r;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(second, r.text, sizeof r.text,
                                                             &r.status, r.failure, path.c_str(), 1,
                                                             1, 0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_NE(std::string(r.text).find("busy"), std::string::npos) << r.text;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(second, r.text, sizeof r.text, &r.status, r.failure),
              SB_EXCEPTION_DEVICE_BUSY);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(second, r.text, sizeof r.text, &r.status,
                                                   r.failure, 1, 1),
              SB_EXCEPTION_DEVICE_BUSY);
    StarBurn_CdvdBurnerGrabber_Cancel(first);
    EXPECT_EQ(finish(f).exception, SB_EXCEPTION_CANCELLED);
    StarBurn_Destroy(&first);
    StarBurn_Destroy(&second);
}

// A call that acts on the drive checks for a write and acts in one step: held
// between the two, it keeps every write out until it is done.
TEST_F(Threads, NoWriteStartsBetweenACallsCheckAndItsAction) {
    const std::string path = image("a.iso", 1 << 20, 9);
    using Call = uint8_t (*)(void*, Report&);
    const std::pair<const char*, Call> calls[] = {
        {"StarBurn_CdvdBurnerGrabber_SetSpeeds",
         [](void* g, Report& r) {
             return StarBurn_CdvdBurnerGrabber_SetSpeeds(g, r.text, sizeof r.text, &r.status,
                                                         r.failure, 1, 1);
         }},
        {"StarBurn_CdvdBurnerGrabber_SendOPC",
         [](void* g, Report& r) {
             return StarBurn_CdvdBurnerGrabber_SendOPC(g, r.text, sizeof r.text, &r.status,
                                                       r.failure);
         }},
        {"StarBurn_CdvdBurnerGrabber_CloseSession",
         [](void* g, Report& r) {
             return StarBurn_CdvdBurnerGrabber_CloseSession(g, r.text, sizeof r.text, &r.status,
                                                            r.failure);
         }},
        {"StarBurn_CdvdBurnerGrabber_Eject",
         [](void* g, Report& r) {
             return StarBurn_CdvdBurnerGrabber_Eject(g, r.text, sizeof r.text, &r.status,
                                                     r.failure);
         }},
    };
    void* actor = open("CdRom0");
    void* writer = open("CdRom0");
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        ASSERT_EQ(StarBurnTesting_HoldCall(name, "CdRom0"), SB_EXCEPTION_NONE);
        auto acting = std::async(std::launch::async, [call = call, actor] {
            Report r;
            return call(actor, r);
        });
        ASSERT_EQ(StarBurnTesting_AwaitHeldCall(10000), SB_EXCEPTION_NONE);
        Report r;
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(writer, r.text, sizeof r.text,
                                                                 &r.status, r.failure, path.c_str(),
                                                                 1, 1, 0, 1, SB_WRITE_REVISION),
                  SB_EXCEPTION_DEVICE_BUSY)
            << r.text;
        StarBurnTesting_ReleaseHeldCall();
        ASSERT_EQ(acting.wait_for(20s), std::future_status::ready);
        acting.get();
    }
    // The claims are all given back: the drive writes again.
    ASSERT_EQ(StarBurnTesting_InsertDisc("CdRom0", DISC_TYPE_DVDPLUSR, 0), SB_EXCEPTION_NONE);
    Report r;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(writer, r.text, sizeof r.text,
                                                             &r.status, r.failure, path.c_str(), 1,
                                                             1, 0, 1, SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    StarBurn_Destroy(&actor);
    StarBurn_Destroy(&writer);
}

TEST_F(Threads, DestroyDuringAWriteStopsItAndNoCallbackFollows) {
    ASSERT_EQ(StarBurnTesting_SlowWrite("CdRom0", 1 << 20), SB_EXCEPTION_NONE);
    const std::string path = image("a.iso", 2 << 20, 6);
    Started started;
    void* g = open("CdRom0", 0, Started::callback, &started);
    auto f = writeAsync(g, path, true);
    ASSERT_TRUE(started.wait());
    void* handle = g;
    StarBurn_Destroy(&handle);
    EXPECT_EQ(handle, nullptr);
    // Destroy waited for the write: its callbacks are over.
    const int reports = started.reports.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(started.reports.load(), reports);
    EXPECT_EQ(finish(f).exception, SB_EXCEPTION_CANCELLED);
}

TEST_F(Threads, ShutDownDuringAWriteStopsIt) {
    ASSERT_EQ(StarBurnTesting_SlowWrite("CdRom0", 1 << 20), SB_EXCEPTION_NONE);
    const std::string path = image("a.iso", 2 << 20, 7);
    Started started;
    void* g = open("CdRom0", 0, Started::callback, &started);
    auto f = writeAsync(g, path, true);
    ASSERT_TRUE(started.wait());
    StarBurn_DownShut();
    EXPECT_EQ(finish(f).exception, SB_EXCEPTION_CANCELLED);
    Report r;
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(g, r.text, sizeof r.text, &r.status, r.failure),
        SB_EXCEPTION_INVALID_HANDLE);
}

TEST_F(Threads, ACallbacksExceptionReachesTheCallerAndFreesTheDrive) {
    auto thrower = [](uint32_t reason, void*, void*, void* special2) {
        if (reason == SB_REASON_WRITE_PROGRESS && *static_cast<int64_t*>(special2) > 0) {
            throw std::runtime_error("stop from the callback");
        }
    };
    const std::string path = image("a.iso", 1 << 20, 8);
    void* g = open("CdRom0", 0, thrower, nullptr);
    Report r;
    EXPECT_THROW(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                                r.failure, path.c_str(), 1, 1, 0, 1,
                                                                SB_WRITE_REVISION),
                 std::runtime_error);
    StarBurn_Destroy(&g);
    // The drive is not left busy.
    g = open("CdRom0");
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(g, r.text, sizeof r.text, &r.status,
                                                             r.failure, path.c_str(), 1, 1, 0, 1,
                                                             SB_WRITE_REVISION),
              SB_EXCEPTION_NONE)
        << r.text;
    StarBurn_Destroy(&g);
}

TEST_F(Threads, CallsFromManyThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                void* g = nullptr;
                Report r;
                const std::string name = "CdRom" + std::to_string((t + i) % 3);
                if (StarBurn_CdvdBurnerGrabber_CreateEx(&g, r.text, sizeof r.text, &r.status,
                                                        r.failure, nullptr, nullptr, name.c_str(),
                                                        1) != SB_EXCEPTION_NONE) {
                    ++failures;
                    continue;
                }
                SB_DISC_INFORMATION info{};
                uint32_t s[4];
                if (StarBurn_CdvdBurnerGrabber_GetDiscInformation(g, r.text, sizeof r.text,
                                                                  &r.status, r.failure, &info) ||
                    StarBurn_CdvdBurnerGrabber_GetSpeeds(g, r.text, sizeof r.text, &r.status,
                                                         r.failure, &s[0], &s[1], &s[2], &s[3])) {
                    ++failures;
                }
                StarBurn_CdvdBurnerGrabber_Cancel(g);
                StarBurn_Destroy(&g);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(failures.load(), 0);
}
