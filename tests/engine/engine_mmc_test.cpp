// SPDX-License-Identifier: GPL-2.0-or-later
// The burn action on a drive libburn takes for a real one (the MMC emulator,
// preloaded by CTest, answers its SG_IO): a session the drive cannot close
// and a power calibration it refuses end as failures, never as a finished
// burn, and a Track-At-Once burn with no track is no burn.
#include "base/sbError.h"
#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "tests/engine/support/EngineTestSupport.h"
#include "tests/mmcemu/sbMmcEmu.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fstream>
#include <iterator>

using namespace enginetest;

namespace {

class EmulatedBurnTest : public LibraryTest {
protected:
    TsbBurner burner;
    TsbActionList list;
    TMessageSink messages;
    TsbBurnAtOnceToCDDVDAction action;
    sbMmcEmu_ReloadFn reload = nullptr;

    std::string Device() const { return (Folder() / "sr0").string(); }

    std::string Layout() const {
        std::ifstream in(Device() + ".layout");
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // One emulated drive with these settings, opened and locked by the
    // burner as the recorder sheet leaves it, ready for a Track-At-Once burn.
    void OpenDrive(const std::string& settings) {
        reload = reinterpret_cast<sbMmcEmu_ReloadFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        ASSERT_NE(reload, nullptr) << "libsbmmcemu.so is not preloaded";
        std::ofstream(Folder() / "emu.ini") << "[Drive 0]\nPath = " << Device() << "\n"
                                            << settings << "\n";
        ::setenv("SBMMCEMU", (Folder() / "emu.ini").c_str(), 1);
        ASSERT_EQ(reload(), 1);
        ::setenv("STARBURN_REAL_DRIVES", "1", 1);
        StartLibrary("[Virtual]\nBuiltInRecorders = no\nTimeFactor = 0\n[Libburn]\nDevices = " +
                     Device() + "\n");
        burner.TransportType = ttSpti;
        burner.DeviceName = "CdRom0";
        burner.DiscType = DISC_TYPE_DVDPLUSR;
        burner.OpenDevice();
        burner.LockDevice();
        list.Burner = &burner;
        list.OnMessage = [this](void*, const std::string& text, TsbLogItemType kind) {
            messages.Add(text, kind);
        };
        list.ReportDetails = false;
        const auto image = Folder() / "source.iso";
        WriteImage(image, 1024 * 1024);
        burner.WriteMode = wmTrackAtOnceFromFile;
        list.Options.SourceIsFile = 1;
        list.Options.SourceFileName = image.string();
        ClearLog();
    }

    // Runs the action as the final sheet does; the error it ends with, or "".
    std::string Run() {
        TsbActionItem* item = list.Add();
        item->Action = &action;
        list.BindMessages();
        try {
            action.Execute(item);
        } catch (const EsbError& e) {
            return e.what();
        }
        return {};
    }

    bool Completed() const {
        const auto texts = messages.Texts();
        return std::find(texts.begin(), texts.end(), "Burning completed") != texts.end();
    }

    void TearDown() override {
        burner.CloseDevice();
        LibraryTest::TearDown();
        ::unsetenv("SBMMCEMU");
        ::unsetenv("STARBURN_REAL_DRIVES");
        if (reload != nullptr) {
            reload();
        }
    }
};

} // namespace

TEST_F(EmulatedBurnTest, ASessionTheDriveCannotCloseFailsTheBurnWithTheDiscsState) {
    OpenDrive("Media = dvdplusr\nFaults = close-error");
    const std::string error = Run();
    ASSERT_FALSE(error.empty()) << "a disc left open was reported as burnt";
    EXPECT_NE(error.find("3/0C/00"), std::string::npos) << error;
    EXPECT_NE(error.find("appendable"), std::string::npos) << error;
    EXPECT_FALSE(Completed());
    EXPECT_FALSE(burner.WriteStarted);
    EXPECT_TRUE(LogContains(error)) << error;
}

TEST_F(EmulatedBurnTest, ARefusedPowerCalibrationWarnsOrStopsTheBurnAsAsked) {
    OpenDrive("Media = dvdr\nFaults = opc-error");
    burner.SendOPC = true;
    burner.RequireOPC = true;
    const std::string error = Run();
    EXPECT_NE(error.find("5/73/03"), std::string::npos) << error;
    EXPECT_FALSE(Completed());
    EXPECT_EQ(Layout().find("[Track]"), std::string::npos) << "nothing may be written";

    // Not required: a warning, and the disc is written without it.
    messages.Clear();
    burner.RequireOPC = false;
    TsbBurnAtOnceToCDDVDAction second;
    TsbActionItem* item = list.Add();
    item->Action = &second;
    list.BindMessages();
    second.Execute(item);
    bool warned = false;
    for (const auto& m : messages.Messages()) {
        warned = warned || (m.Kind == litWarning &&
                            m.Text.find("without power calibration") != std::string::npos &&
                            m.Text.find("5/73/03") != std::string::npos);
    }
    EXPECT_TRUE(warned);
    EXPECT_TRUE(Completed());
    EXPECT_NE(Layout().find("[Track]"), std::string::npos);
}

TEST_F(EmulatedBurnTest, ATrackAtOnceBurnOfNoTrackIsAnError) {
    OpenDrive("Media = dvdplusr");
    action.UseSourceFile = false; // the layout stays as it is: empty
    const std::string error = Run();
    EXPECT_EQ(error, "The source layout names no track: nothing was burnt Track-At-Once");
    EXPECT_FALSE(Completed());
    EXPECT_FALSE(burner.WriteStarted);
    EXPECT_FALSE(LogContains("StarBurn_CdvdBurnerGrabber_CloseSession"));
    EXPECT_EQ(Layout().find("[Track]"), std::string::npos);
}
