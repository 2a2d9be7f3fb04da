// SPDX-License-Identifier: GPL-2.0-or-later
// The commands of tavrin-burn over the engine (sbcore): the same device
// search and probe as the recorder sheet, the same checks as the wizard's
// Next buttons, the same staged burn and log texts as the final sheet.
#pragma once

#include <string>
#include <vector>

class TCliSignals;

// The exit statuses of tavrin-burn.
enum TCliExitStatus : int {
    exDone = 0,
    exBurnFailed = 1,
    exUsage = 2,
    exVerifyFailed = 3,
    exNoDriveOrDisc = 4,
    // Several drives or copies: some succeeded, some failed (the table says which).
    exSomeFailed = 5,
    exCancelled = 130,
};

struct TCliCommon {
    bool Json = false;
    // "spti" (devices by name) or "aspi" (by SCSI address).
    std::string Transport = "spti";
};

struct TCliDevicesOptions : TCliCommon {
    bool All = false;
};

struct TCliBurnOptions : TCliCommon {
    std::string Image;  // an image file, or a folder burnt as a data disc
    std::string Label;  // a folder's volume label; empty: the folder's name
    std::string Device; // CdRom1, F:, 1:0:1:0 or empty (the only writer)
    std::string Mode;   // tao, sao, dao, raw or empty (the wizard's preselection)
    std::string Speed = "max";
    bool Test = false;
    bool Opc = false;
    bool RequireOpc = false; // --opc, and a refusal stops the burn

    bool NoEject = false;
    bool CloseDisc = false;
    bool Verify = false;
    bool Yes = false;
    std::string BdFormat;         // spare, no-spare or empty (libburn's rule)
    bool StreamRecording = false; // BD written without the drive's defect management
    bool Wait = false;            // --wait: wait for a blank disc

    // --device given more than once: every drive named, written at once.
    std::vector<std::string> Devices;
    // --all: every drive with a blank disc big enough (with Overwrite also a
    // rewritable one that holds data).
    bool AllDrives = false;
    bool Overwrite = false;
    int Copies = 1;
    // A failed copy ends that drive's series of copies.
    bool StopOnFailure = false;
};

struct TCliCheckOptions : TCliCommon {
    std::string Image;
};

struct TCliVerifyOptions : TCliCommon {
    std::string Image;
    std::string Device;
    bool Wait = false; // --wait: wait for a disc
};

struct TCliEjectOptions : TCliCommon {
    std::string Device;
};

struct TCliBlankOptions : TCliCommon {
    std::string Device;
    bool Full = false;
    bool Yes = false;
};

struct TCliCopyOptions : TCliCommon {
    std::string Output; // OUT.iso; an audio CD becomes OUT.bin and OUT.cue
    std::string Device;
    bool FillBadSectors = false; // fill unreadable sectors with zeros and list them
};

int RunDevicesCommand(const TCliDevicesOptions& options, TCliSignals& signals);
int RunBurnCommand(const TCliBurnOptions& options, TCliSignals& signals);
int RunEjectCommand(const TCliEjectOptions& options, TCliSignals& signals);
int RunBlankCommand(const TCliBlankOptions& options, TCliSignals& signals);
int RunCheckCommand(const TCliCheckOptions& options, TCliSignals& signals);
int RunVerifyCommand(const TCliVerifyOptions& options, TCliSignals& signals);
int RunCopyCommand(const TCliCopyOptions& options, TCliSignals& signals);

// "max", a number of KB/s ("1385") or an x-factor ("8x"): empty when Text is
// one of them, else what is wrong with it.
std::string CheckSpeedText(const std::string& text);
