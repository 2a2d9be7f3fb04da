// SPDX-License-Identifier: GPL-2.0-or-later
// Device discovery and the probe, against the library's virtual recorders.
#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "devices/sbDeviceList.h"
#include "platform/sbDrives.h"
#include "starburn/StarBurnTesting.h"
#include "tests/engine/support/EngineTestSupport.h"
#include "tests/engine/support/RecorderTest.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>

using namespace enginetest;

namespace {

// After the opening: the same for both transports.
const std::vector<std::string> kProbeOfAWriter = {
    "StarBurn_CdvdBurnerGrabber_GetDeviceInformation",
    "StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats",
    "StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx",
    "StarBurn_CdvdBurnerGrabber_GetAccess",
    "StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes",
    "StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes",
    "StarBurn_CdvdBurnerGrabber_TestUnitReady",
    "StarBurn_CdvdBurnerGrabber_GetInsertedDiscType",
    "StarBurn_GetVolumeLabel",
    "StarBurn_CdvdBurnerGrabber_GetDiscInformation",
    "StarBurn_CdvdBurnerGrabber_GetTrackInformation",
    "StarBurn_SetFastReadTOC",
    "StarBurn_CdvdBurnerGrabber_GetTOCInformation",
    "StarBurn_CdvdBurnerGrabber_GetRPC",
    "StarBurn_Destroy: Grabber",
};

// The engine tests' writer, with a blank DVD+R in it.
const std::string kOneWriter = std::string(kWriterConfiguration) + "Disc = DVD+R\n";

std::vector<std::string> names(const TsbDeviceList& list) {
    std::vector<std::string> result;
    for (int k = 0; k < list.Count(); ++k) {
        result.push_back(list.Items(k)->Product);
    }
    return result;
}

// Runs the real probe for every device found, letting a test step in before
// and after each one; put back when the test ends.
class TProbeGate {
public:
    std::function<void(int index)> Before;
    std::function<void(int index)> After;

    TProbeGate() {
        RegisterDeviceProbe();
        SetDeviceFoundHandler([this](void* context, void* special1, void* special2) {
            const int index = calls_++;
            if (Before) {
                Before(index);
            }
            ProbeFoundDevice(context, special1, special2);
            if (After) {
                After(index);
            }
        });
    }
    ~TProbeGate() { SetDeviceFoundHandler(ProbeFoundDevice); }
    int Calls() const { return calls_; }

private:
    std::atomic<int> calls_{0};
};

// A one-shot signal between the search thread and the main thread.
class TSignal {
public:
    void Raise() {
        std::lock_guard lock(mutex_);
        raised_ = true;
        changed_.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return raised_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

class SearchTest : public LibraryTest, public ::testing::WithParamInterface<TsbTransportType> {
protected:
    TsbDeviceFinder finder;
    void SetUp() override {
        LibraryTest::SetUp();
        finder.TransportType = GetParam();
    }
};

TEST_P(SearchTest, FindsTheBuiltInDevicesInOrder) {
    StartLibrary("[Virtual]\nTimeFactor = 0\n");
    finder.Search(false);
    ASSERT_EQ(finder.Devices.Count(), 3);
    EXPECT_EQ(finder.Devices.TransportType, GetParam());
    EXPECT_EQ(names(finder.Devices),
              (std::vector<std::string>{"DVD-RW VR-2016", "CD-RW VR-5232", "DVD-ROM VR-16"}));
    const TsbDeviceItem& writer = *finder.Devices.Items(0);
    EXPECT_EQ(writer.Vendor, "TAVRIN");
    EXPECT_EQ(writer.ProductRevisionLevel, "1.00");
    EXPECT_EQ(writer.BufferSize, 2097152u);
    EXPECT_EQ(writer.TransportType, GetParam());
    EXPECT_EQ(writer.DiscType, DISC_TYPE_DVDPLUSR);
    EXPECT_EQ(writer.MediaFormats.WritesCDR, 1);
    EXPECT_EQ(writer.MediaFormats.TestWrite, 1);
    EXPECT_EQ(writer.MediaFormats.WritesDVDPlusR, 1);
    EXPECT_EQ(writer.WriteModes.CanWriteTAO, 1);
    EXPECT_EQ(writer.WriteModes.CanTestWrite, 1);
    EXPECT_EQ(writer.ReadModes.ReadsSubchannel, 1);
    EXPECT_TRUE(writer.DiscInformation.Valid());
    EXPECT_EQ(writer.DiscInformation.DiscStatus(), SB_DISC_STATUS_BLANK);
    EXPECT_TRUE(writer.TrackInformation.NextWritableAddressValid());
    EXPECT_TRUE(writer.DVDRPC.Valid);
    EXPECT_EQ(writer.DVDRPC.RPCType, "2");
    EXPECT_EQ(writer.DVDRPC.RegionMask, "253");
    EXPECT_EQ(writer.DVDRPC.UserChangesLeft, "4");
    // A CD-only writer reads no DVD: its region settings are not asked.
    EXPECT_FALSE(finder.Devices.Items(1)->DVDRPC.Valid);
    EXPECT_EQ(finder.Devices.Items(1)->DiscType, DISC_TYPE_CDR);
    // A reader offers no write mode.
    EXPECT_EQ(finder.Devices.Items(2)->WriteModes.CanWriteTAO, 0);
    EXPECT_EQ(finder.Devices.Items(2)->MediaFormats.WritesCDR, 0);

    if (GetParam() == ttSpti) {
        EXPECT_EQ(writer.DeviceName, "CdRom0");
        EXPECT_EQ(writer.Address.Present, 0);
        EXPECT_EQ(finder.Devices.Items(2)->DeviceName, "CdRom2");
    } else {
        EXPECT_EQ(writer.DeviceName, "");
        EXPECT_EQ(writer.Address.Present, 1);
        EXPECT_EQ(writer.Address.PortID, 1);
        EXPECT_EQ(finder.Devices.Items(1)->Address.TargetID, 1);
        // The library names the drive letter of an address.
        EXPECT_EQ(writer.DriveLetter, "E:");
    }
}

TEST_P(SearchTest, TheProbeWritesEveryCallToTheLog) {
    StartLibrary(kOneWriter);
    finder.Search(false);
    ASSERT_EQ(finder.Devices.Count(), 1);
    std::vector<std::string> expected;
    if (GetParam() == ttSpti) {
        expected = {"StarBurn_CdvdBurnerGrabber_CreateEx"};
    } else {
        expected = {"StarBurn_FindDevice", "StarBurn_CdvdBurnerGrabber_Create (before create)",
                    "StarBurn_CdvdBurnerGrabber_Create (after create): "
                    "PortID:2,BusID:0,TargetID:1,LUN:0",
                    "StarBurn_GetDeviceNameByDeviceAddress"};
    }
    expected.insert(expected.end(), kProbeOfAWriter.begin(), kProbeOfAWriter.end());
    if (GetParam() == ttSpti) {
        // The media id is asked by the drive's name, which an address-only search lacks.
        expected.insert(std::find(expected.begin(), expected.end(), "StarBurn_GetVolumeLabel") + 1,
                        "StarBurn_GetMediaId");
    }
    EXPECT_EQ(LogMessages(), expected);
}

// A drive another program holds (its opening refused) and one the user may
// not open (its access answer) are listed with the library's text and no
// disc, and cannot be burnt; the free one beside them is found as ever.
TEST_P(SearchTest, DrivesInUseOrClosedAreListedWithTheLibrarysText) {
    StartLibrary(std::string(kOneWriter) + R"INI(
[Recorder closed]
DeviceName = CdRom4
Address = 2:0:2:0
Product = Writer Two

[Recorder free]
DeviceName = CdRom5
Address = 2:0:3:0
Product = Writer Three
)INI");
    const std::string busy = "The recorder Writer One is in use by another program (process "
                             "4242); close it there and try again";
    const std::string closed = "You may not open the drive /dev/sr1 (permission denied). Add "
                               "your user to the group \"cdrom\"";
    for (const char* call :
         {"StarBurn_CdvdBurnerGrabber_CreateEx", "StarBurn_CdvdBurnerGrabber_Create"}) {
        ASSERT_EQ(StarBurnTesting_FailCall(call, "CdRom3", SB_EXCEPTION_DEVICE_BUSY, EBUSY,
                                           busy.c_str(), 0),
                  0);
    }
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_GetAccess", "CdRom4",
                                       SB_EXCEPTION_NOT_READY, EACCES, closed.c_str(), 0),
              0);
    finder.Search(false);

    ASSERT_EQ(finder.Devices.Count(), 3);
    const TsbDeviceItem& held = *finder.Devices.Items(0);
    EXPECT_FALSE(held.Usable());
    EXPECT_EQ(held.Access, daBusy);
    EXPECT_EQ(held.AccessText, busy);
    EXPECT_EQ(held.DiscType, DISC_TYPE_UNKNOWN);
    if (GetParam() == ttSpti) {
        EXPECT_EQ(held.DeviceName, "CdRom3");
        EXPECT_EQ(held.DriveLetter, "K:");
    } else {
        EXPECT_EQ(held.Address.TargetID, 1);
    }

    const TsbDeviceItem& forbidden = *finder.Devices.Items(1);
    EXPECT_EQ(forbidden.Access, daForbidden);
    EXPECT_EQ(forbidden.AccessText, closed);
    EXPECT_EQ(forbidden.Product, "Writer Two"); // what it is, from its opening for queries
    EXPECT_EQ(forbidden.MediaFormats.WritesCDR, 1);
    EXPECT_EQ(forbidden.DiscType, DISC_TYPE_UNKNOWN);
    EXPECT_FALSE(forbidden.DiscInformation.Valid());

    EXPECT_TRUE(finder.Devices.Items(2)->Usable());
    EXPECT_EQ(finder.Devices.Items(2)->DiscType, DISC_TYPE_DVDPLUSR);
    // Only the free drive was asked about its disc.
    const auto log = LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "StarBurn_CdvdBurnerGrabber_TestUnitReady"), 1);

    // Next on the recorder sheet (and tavrin-burn) ends with the library's text.
    for (const TsbDeviceItem* refused : {&held, &forbidden}) {
        try {
            CheckRecorderForBurn(*refused, TsbDiscSpace{});
            ADD_FAILURE() << "a refused drive passed the checks";
        } catch (const EsbError& e) {
            EXPECT_EQ(e.what(), refused->AccessText);
        }
    }
}

TEST_P(SearchTest, NoDeviceGivesAnEmptyList) {
    StartLibrary("[Virtual]\nBuiltInRecorders = no\n");
    finder.Devices.Add(); // left from an earlier search
    finder.Search(false);
    EXPECT_EQ(finder.Devices.Count(), 0);
    EXPECT_FALSE(finder.Searching());
}

TEST_P(SearchTest, AProgressWindowIsShownClearedOfAnEarlierCancelAndFreed) {
    StartLibrary("[Virtual]\nTimeFactor = 0\n");
    finder.InfoText = "Looking for recorders";
    finder.Devices.Cancelled = true;
    finder.Search(true);
    EXPECT_EQ(finder.Devices.Count(), 3);
    EXPECT_FALSE(finder.Devices.Cancelled);
    ASSERT_EQ(WindowsCreated(), 1);
    const auto window = LastWindow();
    EXPECT_EQ(window->Caption, "Scanning devices");
    EXPECT_TRUE(window->CancelVisible);
    EXPECT_EQ(window->InfoText, "Looking for recorders");
    EXPECT_EQ(window->Shows, 1);
    EXPECT_EQ(window->Hides, 1);
    EXPECT_TRUE(window->Destroyed);
    EXPECT_EQ(finder.ProgressWindow(), nullptr);
    // The window's messages are processed once before the search starts.
    EXPECT_GE(ProcessMessagesCalls.load(), 1);
}

TEST_P(SearchTest, WithoutAWindowAnEarlierCancelStands) {
    StartLibrary("[Virtual]\nTimeFactor = 0\n");
    finder.Devices.Cancelled = true;
    finder.Search(false);
    EXPECT_EQ(WindowsCreated(), 0);
    EXPECT_EQ(finder.Devices.Count(), 0);
    EXPECT_TRUE(finder.Devices.Cancelled);
    EXPECT_TRUE(LogMessages().size() <= 1u); // at most the FindDevice announcement
}

TEST_P(SearchTest, CancelInTheMiddleKeepsTheDevicesProbedBefore) {
    StartLibrary("[Virtual]\nTimeFactor = 0\n");
    TProbeGate gate;
    TSignal cancelled;
    // After the first device, the search waits until the user has pressed Cancel.
    gate.After = [&](int index) {
        if (index == 0) {
            cancelled.Wait();
        }
    };
    OnProcessMessages = [&] {
        const auto window = LastWindow();
        if (window && window->OnCancel && gate.Calls() >= 1) {
            window->OnCancel();
            cancelled.Raise();
        }
    };
    finder.Search(true);
    EXPECT_TRUE(finder.Devices.Cancelled);
    EXPECT_EQ(names(finder.Devices), std::vector<std::string>{"DVD-RW VR-2016"});
    // Every device is still reported; the later probes return at once.
    EXPECT_EQ(gate.Calls(), 3);
    const auto log = LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "StarBurn_Destroy: Grabber"), 1);
}

TEST_P(SearchTest, ASecondSearchWaitsForTheFirst) {
    StartLibrary("[Virtual]\nTimeFactor = 0\n");
    TProbeGate gate;
    std::mutex mutex;
    std::vector<std::string> events;
    TSignal waiting;
    gate.Before = [&](int index) {
        if (index == 0) {
            waiting.Wait(); // the first search stays busy until the main thread waits
        }
        std::lock_guard lock(mutex);
        events.push_back("begin " + std::to_string(index));
    };
    gate.After = [&](int index) {
        std::lock_guard lock(mutex);
        events.push_back("end " + std::to_string(index));
    };
    bool nested = false;
    OnProcessMessages = [&] {
        if (nested) {
            return;
        }
        nested = true;
        waiting.Raise();
        finder.Search(false); // the user asks again while the first search runs
        std::lock_guard lock(mutex);
        events.push_back("second search returned");
    };
    finder.Search(false);
    EXPECT_EQ(gate.Calls(), 6);
    EXPECT_EQ(events, (std::vector<std::string>{"begin 0", "end 0", "begin 1", "end 1", "begin 2",
                                                "end 2", "begin 3", "end 3", "begin 4", "end 4",
                                                "begin 5", "end 5", "second search returned"}));
    // The list holds the second search's devices, each once.
    EXPECT_EQ(names(finder.Devices),
              (std::vector<std::string>{"DVD-RW VR-2016", "CD-RW VR-5232", "DVD-ROM VR-16"}));
}

INSTANTIATE_TEST_SUITE_P(BothTransports, SearchTest, ::testing::Values(ttSpti, ttAspi),
                         [](const auto& info) {
                             return std::string(info.param == ttSpti ? "Spti" : "Aspi");
                         });

class SptiSearchTest : public LibraryTest {};

TEST_F(SptiSearchTest, NamesCdRom0ToCdRom20AreTried) {
    StartLibrary(R"INI(
[Virtual]
BuiltInRecorders = no
[Recorder last]
DeviceName = CdRom20
Address = 1:0:20:0
Product = Last One
Disc = CD-R
[Recorder first]
DeviceName = CdRom0
Address = 1:0:0:0
Product = First One
Disc = none
)INI");
    TsbDeviceFinder finder;
    finder.TransportType = ttSpti;
    finder.Search(false);
    EXPECT_EQ(names(finder.Devices), (std::vector<std::string>{"First One", "Last One"}));
    EXPECT_EQ(finder.Devices.Items(1)->DeviceName, "CdRom20");
}

TEST_F(SptiSearchTest, TheDriveLetterAndTheDiscLabelComeFromTheLibrary) {
    StartLibrary(kOneWriter);
    // A disc written with an image whose primary volume descriptor names it.
    std::string image(20 * 2048, '\0');
    char* descriptor = image.data() + 16 * 2048;
    descriptor[0] = 1;
    std::memcpy(descriptor + 1, "CD001", 5);
    std::memset(descriptor + 40, ' ', 32);
    std::memcpy(descriptor + 40, "HOLIDAY_2026", 12);
    const auto path = Folder() / "labelled.iso";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(image.data(), static_cast<std::streamsize>(image.size()));
    }
    void* grabber = nullptr;
    char text[1024] = {};
    uint32_t status = 0;
    uint8_t failure[64] = {};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, sizeof text, &status, failure,
                                                  nullptr, nullptr, "CdRom3", 0),
              0)
        << text;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(grabber, text, sizeof text, &status,
                                                             failure, path.c_str(), 1, 0, 0, 1,
                                                             SB_WRITE_REVISION),
              0)
        << text;
    StarBurn_Destroy(&grabber);

    TsbDeviceFinder finder;
    finder.TransportType = ttSpti;
    finder.Search(false);
    ASSERT_EQ(finder.Devices.Count(), 1);
    EXPECT_EQ(finder.Devices.Items(0)->DeviceName, "CdRom3");
    EXPECT_EQ(finder.Devices.Items(0)->DriveLetter, "K:");
    EXPECT_EQ(finder.Devices.Items(0)->DiscLabel, "HOLIDAY_2026");
    // What the operating system answers for the letter on Windows, the
    // platform's table answers after the search.
    EXPECT_EQ(platform::QueryDosDevice("K:").value_or(""), "\\Device\\CdRom3");
}

TEST_F(SptiSearchTest, ABlankDiscHasNoLabel) {
    StartLibrary(kOneWriter);
    TsbDeviceFinder finder;
    finder.TransportType = ttSpti;
    finder.Search(false);
    ASSERT_EQ(finder.Devices.Count(), 1);
    EXPECT_EQ(finder.Devices.Items(0)->DiscLabel, "");
}

// The probe on its own, called as the library calls it for a found device.
class ProbeTest : public LibraryTest {
protected:
    TsbDeviceList list;
    void SetUp() override {
        LibraryTest::SetUp();
        list.TransportType = ttSpti;
    }
    void Probe(const char* name) { ProbeFoundDevice(&list, nullptr, const_cast<char*>(name)); }
};

TEST_F(ProbeTest, ADriveWithoutDisc) {
    StartLibrary(std::string(kOneWriter) + "Disc = none\n");
    Probe("CdRom3");
    ASSERT_EQ(list.Count(), 1);
    const TsbDeviceItem& item = *list.Items(0);
    EXPECT_EQ(item.DiscType, DISC_TYPE_NO_MEDIA);
    EXPECT_EQ(item.DiscLabel, "");
    EXPECT_FALSE(item.DiscInformation.Valid());
    EXPECT_EQ(TsbTrackInformation{}.Bytes[11], item.TrackInformation.Bytes[11]);
    EXPECT_TRUE(std::all_of(std::begin(item.TOCInformation.Bytes),
                            std::end(item.TOCInformation.Bytes), [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(item.DVDRPC.Valid); // it reads DVDs
    const auto log = LogMessages();
    EXPECT_EQ(std::find(log.begin(), log.end(), "StarBurn_CdvdBurnerGrabber_GetInsertedDiscType"),
              log.end());
    EXPECT_EQ(log.back(), "StarBurn_Destroy: Grabber");
}

TEST_F(ProbeTest, AFailedWriteModeProbeOffersEveryModeWithoutTestWrite) {
    StartLibrary(kOneWriter);
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes",
                                       "CdRom3", SB_EXCEPTION_GENERIC, 5, "probe refused", 0),
              0);
    Probe("CdRom3");
    ASSERT_EQ(list.Count(), 1);
    const TsbWriteModes& modes = list.Items(0)->WriteModes;
    EXPECT_EQ(modes.CanWriteTAO, 1);
    EXPECT_EQ(modes.CanWriteSAO, 1);
    EXPECT_EQ(modes.CanWriteDAOPQ, 1);
    EXPECT_EQ(modes.CanWriteDAORaw, 1);
    EXPECT_EQ(modes.CanTestWrite, 0);
    EXPECT_EQ(list.Items(0)->MediaFormats.TestWrite, 1);
    EXPECT_TRUE(LogContains("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes() failed, "
                            "exception 1, status 5, text \"probe refused\""));
}

TEST_F(ProbeTest, AFailedDiscInformationCallLeavesTheBlocksEmpty) {
    StartLibrary(kOneWriter);
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_GetDiscInformation", "CdRom3",
                                       SB_EXCEPTION_MEDIUM_ERROR, 3, "bad disc", 0),
              0);
    Probe("CdRom3");
    ASSERT_EQ(list.Count(), 1);
    const TsbDeviceItem& item = *list.Items(0);
    EXPECT_EQ(item.DiscType, DISC_TYPE_DVDPLUSR);
    EXPECT_FALSE(item.DiscInformation.Valid());
    EXPECT_FALSE(item.TrackInformation.NextWritableAddressValid());
    const auto log = LogMessages();
    EXPECT_EQ(std::find(log.begin(), log.end(), "StarBurn_CdvdBurnerGrabber_GetTrackInformation"),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "StarBurn_CdvdBurnerGrabber_GetRPC"), log.end());
}

// A failed region query leaves the region unknown, never a region of zeros.
TEST_F(ProbeTest, AFailedRegionQueryIsLoggedAndLeavesTheRegionUnknown) {
    StartLibrary(kOneWriter);
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_GetRPC", "CdRom3",
                                       SB_EXCEPTION_NOT_SUPPORTED, 0, "no region", 0),
              0);
    Probe("CdRom3");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_FALSE(list.Items(0)->DVDRPC.Valid);
    EXPECT_TRUE(LogContains("StarBurn_CdvdBurnerGrabber_GetRPC() failed, exception 8, status 0, "
                            "text \"no region\""));
}

// A drive that cannot be opened to measure its disc holds no blank disc: the
// failure is the drive's state, and the recorder checks refuse it with the
// library's text (not with "blank" and then "too big").
TEST_F(ProbeTest, ADiscSpaceThatCannotBeMeasuredMakesTheDriveUnavailable) {
    StartLibrary(kOneWriter);
    Probe("CdRom3");
    ASSERT_EQ(list.Count(), 1);
    TsbDeviceItem& item = *list.Items(0);
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_CreateEx", "CdRom3",
                                       SB_EXCEPTION_GENERIC, 5, "broken", 1),
              0);
    item.DiscSpace = QueryDiscSpace(item);
    EXPECT_FALSE(item.Usable());
    EXPECT_NE(item.AccessText.find("broken"), std::string::npos) << item.AccessText;
    try {
        CheckRecorderForBurn(item, item.DiscSpace);
        FAIL() << "the drive passed the recorder checks";
    } catch (const EsbError& error) {
        EXPECT_EQ(error.what(), item.AccessText);
    }
}

// A failure the user can do nothing about (unlike a drive in use) leaves no item.
TEST_F(ProbeTest, ANameThatFailsToOpenLeavesNoItem) {
    StartLibrary(kOneWriter);
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_CreateEx", "CdRom3",
                                       SB_EXCEPTION_GENERIC, 5, "broken", 1),
              0);
    Probe("CdRom3");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(LogMessages(),
              (std::vector<std::string>{
                  "StarBurn_CdvdBurnerGrabber_CreateEx",
                  "StarBurn_CdvdBurnerGrabber_CreateEx() failed, exception 1, status "
                  "5, text \"broken\""}));
}

TEST_F(ProbeTest, AnAddressThatFailsToOpenKeepsAnItemWithTheAddressOnly) {
    StartLibrary(kOneWriter);
    list.TransportType = ttAspi;
    ASSERT_EQ(StarBurnTesting_FailCall("StarBurn_CdvdBurnerGrabber_Create", nullptr,
                                       SB_EXCEPTION_GENERIC, 5, "broken", 1),
              0);
    SB_DEVICE_ADDRESS address{1, 2, 0, 1, 0};
    ProbeFoundDevice(&list, &address, nullptr);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0)->Address.Present, 1);
    EXPECT_EQ(list.Items(0)->Address.PortID, 2);
    EXPECT_EQ(list.Items(0)->Product, "");
    EXPECT_EQ(list.Items(0)->TransportType, ttSpti);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                                 "StarBurn_CdvdBurnerGrabber_Create (before create)",
                                 "StarBurn_CdvdBurnerGrabber_Create() failed, exception 1, status "
                                 "5, text \"broken\""}));
    EXPECT_TRUE(list.Items(0)->Usable());
}

// A list on which Cancel is pressed while the probe runs: its flag reads
// clear the first Clear times it is asked, then set.
class TCancelledAfter : public TsbDeviceList {
public:
    explicit TCancelledAfter(int clearReads) : clearReads_(clearReads) {}
    bool CancelRequested() const override { return reads_++ >= clearReads_; }

private:
    int clearReads_;
    mutable int reads_ = 0;
};

TEST_F(ProbeTest, CancelAfterTheUnitTestRemovesTheItemBeingFilled) {
    StartLibrary(kOneWriter);
    TCancelledAfter cancelled(1); // clear at the start, set after the unit test
    cancelled.Add()->Product = "probed before";
    ProbeFoundDevice(&cancelled, nullptr, const_cast<char*>("CdRom3"));
    ASSERT_EQ(cancelled.Count(), 1);
    EXPECT_EQ(cancelled.Items(0)->Product, "probed before");
    const auto log = LogMessages();
    // The disc is not asked about once Cancel is seen; the device is closed.
    EXPECT_EQ(std::find(log.begin(), log.end(), "StarBurn_CdvdBurnerGrabber_GetInsertedDiscType"),
              log.end());
    EXPECT_EQ(log.back(), "StarBurn_Destroy: Grabber");
}

TEST_F(ProbeTest, ACancelledSearchProbesNothing) {
    StartLibrary(kOneWriter);
    list.Cancelled = true;
    Probe("CdRom3");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(LogMessages().empty());
}

} // namespace
