// SPDX-License-Identifier: GPL-2.0-or-later
// The drives of tavrin-burn: the recorder sheet's search and probe, the
// names and addresses a search by the other transport would give, the
// recorder the user names (or the only one), and the devices command.
#pragma once

#include "cli/sbCliRun.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDiscWait.h"

#include <string>

namespace cli {

// The search and probe of the recorder sheet, with its disc-space question
// for every drive with a disc in it.
void searchDevices(TsbDeviceFinder& finder, TCliFrontEnd& frontEnd, TsbTransportType transport);

// A recorder, or a drive that may not be opened now and does not tell what it
// writes: either may be the one the user means.
bool mayBeRecorder(const TsbDeviceItem& device);

// The drive --device names (CdRom1, F:, 1:0:1:0), or the only recorder when
// it names none. A drive the user may not open now is never chosen: the run
// stops with the library's advice.
TsbDeviceItem& chooseDevice(const TsbDeviceList& devices, const std::string& spec);

// The search by --transport's way, then the drive --device names.
TsbDeviceItem& findDevice(TsbDeviceFinder& finder, TCliFrontEnd& frontEnd,
                          const std::string& transport, const std::string& spec);

// --wait: while the chosen drive holds no disc of the kind wanted, says
// "Insert a blank disc into <drive>" once and asks the drive every 1.5 s
// (TsbDiscWait) until one is in, then searches again and returns the drive
// as that search found it. Ctrl-C ends the wait as a cancel; a drive that
// cannot be opened any more stops the run with the library's text.
TsbDeviceItem& waitForDisc(TsbDeviceFinder& finder, TCliFrontEnd& frontEnd,
                           const std::string& transport, TsbDeviceItem& device,
                           TsbDiscWanted wanted, TCliOutput& output);

// The chosen drive opened in a burner for one command (its facts handed
// over as the recorder sheet's Next does), closed however the command ends.
class TCliOpenDrive {
public:
    TCliOpenDrive(TsbBurner& burner, const TsbDeviceItem& device, const std::string& transport);
    ~TCliOpenDrive();
    TCliOpenDrive(const TCliOpenDrive&) = delete;
    TCliOpenDrive& operator=(const TCliOpenDrive&) = delete;

private:
    TsbBurner& burner_;
};

} // namespace cli
