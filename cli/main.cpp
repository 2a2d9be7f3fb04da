// tavrin-burn: the wizard's engine from a terminal. Arguments are parsed
// here; the commands live in cli/sbCliCommands.
#include "base/sbLibraryCall.h"
#include "cli/sbCliCommands.h"
#include "cli/sbCliInhibit.h"
#include "cli/sbCliOutput.h"
#include "cli/sbCliSignals.h"
#include "devices/sbDeviceReport.h"
#include "engine/sbProblemReport.h"
#include "starburn/StarBurnLinux.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#ifndef TAVRIN_VERSION
#define TAVRIN_VERSION "0"
#endif

namespace {

const std::string kVersion = std::string("tavrin-burn ") + TAVRIN_VERSION;

void addCommon(CLI::App& command, TCliCommon& common) {
    command.set_version_flag("--version", kVersion);
    command
        .add_option("--transport", common.Transport,
                    "How drives are reached: spti (by device name, the default) or aspi (by "
                    "SCSI address)")
        ->check(CLI::IsMember({"spti", "aspi"}));
    command.add_flag("--json", common.Json,
                     "One JSON object per line for every event (for scripts and front ends)");
}

CLI::Option* addDevice(CLI::App& command, std::string& device) {
    return command.add_option("--device", device,
                              "The drive: its name (CdRom1), drive letter (F:) or SCSI address "
                              "(1:0:1:0); default: the only recorder");
}

const char* const kFooter =
    "Exit status: 0 done (and verified when asked), 1 the burn (or eject, or erase) failed, 2 "
    "usage error "
    "(also an incomplete image, or a --report file that cannot be written), 3 verification failed "
    "(or an image that does not match its "
    "implanted MD5), 4 no suitable drive or disc (also one that cannot be erased), 5 several "
    "drives or copies of which some succeeded and some failed, 130 cancelled "
    "(Ctrl-C or SIGTERM).\n"
    "Environment: STARBURN_CONFIG (the recorders' configuration file), STARBURN_STATE_DIR (the "
    "virtual discs' state folder), STARBURN_TIME_FACTOR, STARBURN_REAL_DRIVES, "
    "TAVRIN_LIBBURN_DEBUG (1: libburn's debugging messages in the diagnostic log).\n"
    "While a burn, verification or erase runs, sleep and idle suspend are held off through "
    "logind (the desktop portal in a sandbox or without logind); --no-inhibit lets the computer "
    "sleep.";

// The burn command and its options: the wizard's sheets as flags.
CLI::App* addBurnCommand(CLI::App& app, TCliBurnOptions& burn) {
    CLI::App* burnCommand =
        app.add_subcommand("burn", "Burn an image file, or a folder as a data disc, to the disc in "
                                   "a recorder (--verify: then read it back), then eject it");
    addCommon(*burnCommand, burn);
    burnCommand
        ->add_option("IMAGE", burn.Image,
                     "The image file (.iso) to burn; a cue sheet (.cue) with its BIN or WAVE "
                     "files, burnt Disc-At-Once; or a folder: its contents are burnt as an "
                     "ISO 9660 data disc with Rock Ridge and Joliet names and the MD5 of every "
                     "file recorded, made while the disc is written (no image file first)")
        ->required();
    burnCommand->add_option("--label", burn.Label,
                            "A folder's volume label (default: the folder's name), fixed to the "
                            "characters ISO 9660 allows: A-Z, 0-9 and _, at most 32");
    burnCommand->add_option("--device", burn.Devices,
                            "The drive: its name (CdRom1), drive letter (F:) or SCSI address "
                            "(1:0:1:0); default: the only recorder. Given more than once, every "
                            "drive named is written at the same time (an image file only)");
    burnCommand
        ->add_flag("--all", burn.AllDrives,
                   "Write every drive that holds a blank disc big enough for the image "
                   "(with --overwrite also a rewritable disc that holds data), all at the "
                   "same time")
        ->excludes("--device");
    burnCommand
        ->add_flag("--overwrite", burn.Overwrite,
                   "With --all: also take drives whose rewritable disc holds data")
        ->needs("--all");
    burnCommand
        ->add_option("--copies", burn.Copies,
                     "Burn N discs in a row on each drive: after each the disc is verified "
                     "(with --verify) and ejected, and the drive waits for the next blank disc")
        ->check(CLI::Range(1, 999));
    burnCommand->add_flag("--stop-on-failure", burn.StopOnFailure,
                          "With --copies: a failed copy ends that drive's series (by default "
                          "the drive goes on with the next disc)");
    burnCommand
        ->add_option("--mode", burn.Mode,
                     "Burning mode: tao (Track-At-Once), sao (Session-At-Once), dao "
                     "(Disc-At-Once PQ) or raw (Disc-At-Once raw P-W); default: Track-At-Once "
                     "where offered, as the wizard preselects")
        ->check(CLI::IsMember({"tao", "sao", "dao", "raw"}));
    burnCommand
        ->add_option("--speed", burn.Speed,
                     "Write speed: max (default), N in KB/s, or Nx, an x-factor from the drive's "
                     "list for the disc")
        ->check([](const std::string& text) { return CheckSpeedText(text); });
    burnCommand->add_flag("--test", burn.Test, "Test write: simulate, the disc stays blank");
    burnCommand->add_flag("--opc", burn.Opc,
                          "Send optimum power calibration before writing; a drive that refuses "
                          "it is warned of and the disc written without it");
    burnCommand->add_flag("--require-opc", burn.RequireOpc,
                          "Send optimum power calibration before writing, and stop before "
                          "anything is written when the drive refuses it");
    burnCommand->add_flag("--no-eject", burn.NoEject, "Leave the disc in the drive afterwards");
    burnCommand->add_flag("--close-disc", burn.CloseDisc,
                          "Close the disc: no session can be added later (Track- and "
                          "Session-At-Once leave it open by default, as the wizard does)");
    burnCommand->add_flag("--verify", burn.Verify,
                          "Read the disc back after the write and compare it with the image "
                          "(also gives the SHA-256 of the written data); exit status 3 when "
                          "it differs");
    burnCommand
        ->add_option("--bd-format", burn.BdFormat,
                     "A Blu-ray disc not formatted yet: spare (formatted with spare areas, the "
                     "drive's defect management: a BD-RE's default, for a BD-R on request) or "
                     "no-spare (no spare areas, the whole capacity: a BD-R's default); the "
                     "image is checked against the formatted size first")
        ->check(CLI::IsMember({"spare", "no-spare"}));
    burnCommand->add_flag("--stream-recording", burn.StreamRecording,
                          "Write a Blu-ray disc without the drive's defect management: faster, "
                          "but bad spots are not replaced (off by default)");
    burnCommand->add_flag("--wait", burn.Wait,
                          "When the recorder holds no blank disc, say \"Insert a blank disc "
                          "into <drive>\" and wait for one (the drive is asked every 1.5 s; "
                          "Ctrl-C stops waiting)");
    burnCommand->add_flag("--yes,-y", burn.Yes,
                          "Answer yes to the question before burning (needed without a terminal)");
    return burnCommand;
}

// How long a Ctrl-C or SIGTERM waits for the drives to finish a cancelled
// write: a real recorder takes some seconds to stop.
constexpr uint32_t kAbortPatienceSeconds = 10;

} // namespace

int main(int argc, char** argv) {
    // Before any thread exists: every later thread inherits the blocked signals.
    TCliSignals signals;
    // On the signal thread, after the request is recorded (the main thread
    // then cancels its own write): every write of the library is stopped and
    // awaited, so no drive is left writing when the program ends.
    signals.Start([] {
        // Announced: the diagnostic log shows the cancel reached every drive.
        if (LibraryCall("StarBurn_AbortWrites", [] {
                return StarBurn_AbortWrites(kAbortPatienceSeconds);
            }) == SB_EXCEPTION_DEVICE_BUSY) {
            std::fputs("tavrin-burn: a drive is still writing after the cancel\n", stderr);
        }
    });

    CLI::App app{"Burns CD/DVD image files with the engine of the Tavrin wizard: the same device "
                 "search, checks, staged burn and log texts, from a terminal or a script.",
                 "tavrin-burn"};
    app.set_version_flag("--version", kVersion);
    app.require_subcommand(1);
    app.footer(kFooter);

    TCliDevicesOptions devices;
    CLI::App* devicesCommand =
        app.add_subcommand("devices", "List the recorders (--all: every drive) with their discs; "
                                      "a drive that is busy, mounted or closed to you says why");
    addCommon(*devicesCommand, devices);
    devicesCommand->add_flag("--all", devices.All, "Also list drives that only read");

    TCliBurnOptions burn;
    CLI::App* burnCommand = addBurnCommand(app, burn);

    TCliEjectOptions eject;
    CLI::App* ejectCommand = app.add_subcommand("eject", "Eject the disc of a drive");
    addCommon(*ejectCommand, eject);
    addDevice(*ejectCommand, eject.Device);

    TCliBlankOptions blank;
    CLI::App* blankCommand = app.add_subcommand(
        "blank", "Erase a rewritable disc (CD-RW, DVD-RW blanked; DVD+RW formatted)");
    addCommon(*blankCommand, blank);
    addDevice(*blankCommand, blank.Device);
    blankCommand->add_flag("--full", blank.Full, "Erase every block, not just the disc's table");
    blankCommand->add_flag("--yes,-y", blank.Yes,
                           "Answer yes to the question before erasing (needed without a terminal)");

    TCliCheckOptions check;
    CLI::App* checkCommand = app.add_subcommand(
        "check", "Check an image file: its ISO9660 volume size, its implanted MD5 (isomd5sum) "
                 "and its SHA-256, reading it once; a cue sheet: its tracks and their lengths");
    addCommon(*checkCommand, check);
    checkCommand->add_option("IMAGE", check.Image, "The image file to check")->required();

    TCliVerifyOptions verify;
    CLI::App* verifyCommand = app.add_subcommand(
        "verify", "Compare the disc in a drive with an image file (the last session written)");
    addCommon(*verifyCommand, verify);
    verifyCommand->add_option("IMAGE", verify.Image, "The image file the disc was burnt from")
        ->required();
    addDevice(*verifyCommand, verify.Device);
    verifyCommand->add_flag("--wait", verify.Wait,
                            "When the drive holds no written disc, say \"Insert a disc into "
                            "<drive>\" and wait for one (Ctrl-C stops waiting)");

    TCliCopyOptions copy;
    CLI::App* copyCommand = app.add_subcommand(
        "copy", "Copy the disc in a drive to an image file: a data disc's ISO 9660 volume, an "
                "audio CD as OUT.bin with OUT.cue; its SHA-256 goes beside it (FILE.sha256)");
    addCommon(*copyCommand, copy);
    copyCommand->add_option("OUT", copy.Output, "The image file to write (OUT.iso)")->required();
    addDevice(*copyCommand, copy.Device);
    copyCommand->add_flag("--fill-bad-sectors", copy.FillBadSectors,
                          "Fill sectors that cannot be read with zeros and list them (in "
                          "FILE.bad-sectors) instead of stopping at the first");

    for (CLI::App* command : {devicesCommand, burnCommand, ejectCommand, blankCommand, checkCommand,
                              verifyCommand, copyCommand}) {
        command->footer(kFooter);
    }
    std::string reportFile;
    for (CLI::App* command : {devicesCommand, burnCommand, ejectCommand, blankCommand, checkCommand,
                              verifyCommand, copyCommand}) {
        command->add_option("--report", reportFile,
                            "When the command has ended, however it ended, write a problem "
                            "report to this file (.tar.gz): the diagnostic log, libburn's "
                            "messages, the drives, the version and the settings, without your "
                            "home folder and user name");
    }
    bool noInhibit = false;
    for (CLI::App* command : {burnCommand, blankCommand, verifyCommand, copyCommand}) {
        command->add_flag("--no-inhibit", noInhibit,
                          "Let the computer sleep while the drive works (by default sleep and "
                          "idle suspend are held off through logind or the desktop portal)");
    }

    int status = exUsage;
    try {
        app.parse(argc, argv);
        if (!noInhibit) {
            SetInhibitBus(MakeCliInhibitBus());
        }
        if (*devicesCommand) {
            status = RunDevicesCommand(devices, signals);
        } else if (*burnCommand) {
            status = RunBurnCommand(burn, signals);
        } else if (*ejectCommand) {
            status = RunEjectCommand(eject, signals);
        } else if (*blankCommand) {
            status = RunBlankCommand(blank, signals);
        } else if (*checkCommand) {
            status = RunCheckCommand(check, signals);
        } else if (*verifyCommand) {
            status = RunVerifyCommand(verify, signals);
        } else if (*copyCommand) {
            status = RunCopyCommand(copy, signals);
        }
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0; every other parse error is a usage error.
        status = app.exit(e) == 0 ? exDone : exUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavrin-burn: %s\n", e.what());
        status = exBurnFailed;
    }
    SetInhibitBus(nullptr);
    if (!reportFile.empty()) {
        TsbProblemReport report;
        report.Program = kVersion;
        report.Drives = RememberedDrives();
        report.RunLog = CliTranscript();
        try {
            WriteProblemReport(reportFile, report);
            std::fprintf(stderr, "tavrin-burn: problem report written to %s\n", reportFile.c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tavrin-burn: %s\n", e.what());
            // A command that went well ends as a usage error: the file named cannot be written.
            if (status == exDone) {
                status = exUsage;
            }
        }
    }
    signals.Stop();
    return status;
}
