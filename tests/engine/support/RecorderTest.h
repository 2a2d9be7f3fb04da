// SPDX-License-Identifier: GPL-2.0-or-later
// A test with one virtual DVD writer (CdRom3) opened by a burner, and an
// action list that runs on it.
#pragma once

#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "starburn/StarBurnTesting.h"
#include "tests/engine/support/EngineTestSupport.h"

#include <string>

namespace enginetest {

// TimeFactor 0: writes run as fast as the disk allows.
inline const char* const kWriterConfiguration = R"INI(
[Virtual]
TimeFactor = 0
BuiltInRecorders = no

[Recorder writer]
DeviceName = CdRom3
Address = 2:0:1:0
DriveLetter = K
Vendor = ACME
Product = Writer One
Revision = 4.2
DVDWriteSpeeds = 2.4, 4, 8, 16
DVDReadSpeeds = 4, 8, 16
)INI";

inline constexpr const char* kWriterName = "CdRom3";

class RecorderTest : public LibraryTest {
protected:
    TsbBurner burner;
    TsbActionList list;
    TMessageSink messages;

    // Starts the library with the writer plus Extra (more settings of its
    // section) and opens it by name, the log cleared.
    void OpenWriter(const std::string& extra = {}) {
        OpenWriterOf(std::string(kWriterConfiguration) + extra);
        ClearLog();
    }

    // Starts the library with this configuration and opens the writer by name.
    void OpenWriterOf(const std::string& configuration) {
        StartLibrary(configuration);
        burner.TransportType = ttSpti;
        burner.DeviceName = kWriterName;
        burner.DiscType = DISC_TYPE_DVDPLUSR;
        burner.OpenDevice();
        list.Burner = &burner;
        list.OnMessage = [this](void*, const std::string& text, TsbLogItemType kind) {
            messages.Add(text, kind);
        };
    }

    // Schedules Action and runs it as the final sheet does.
    void Run(TsbAction& action) {
        TsbActionItem* item = list.Add();
        item->Action = &action;
        list.BindMessages();
        action.Execute(item);
    }

    void TearDown() override {
        burner.CloseDevice();
        StarBurnTesting_ClearFaults();
        LibraryTest::TearDown();
    }

    static void Fail(const char* function, uint8_t exception, uint32_t status, const char* text,
                     uint32_t count = 0) {
        ASSERT_EQ(StarBurnTesting_FailCall(function, kWriterName, exception, status, text, count),
                  0);
    }
};

} // namespace enginetest
