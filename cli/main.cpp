// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn: the wizard's engine from a terminal. Arguments are parsed
// here; the commands live in cli/sbCliCommands.
#include "base/sbLibraryCall.h"
#include "base/sbTranslate.h"
#include "cli/sbCliCommands.h"
#include "cli/sbCliInhibit.h"
#include "cli/sbCliOutput.h"
#include "cli/sbCliSignals.h"
#include "devices/sbDeviceReport.h"
#include "engine/sbProblemReport.h"
#include "platform/sbSystem.h"
#include "starburn/StarBurnLinux.h"

#include <CLI/CLI.hpp>

#include <array>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#ifndef TAVRIN_CLI_TRANSLATIONS
#define TAVRIN_CLI_TRANSLATIONS "../share/tavrin-burn/translations"
#endif
#ifndef TAVRIN_VERSION
#define TAVRIN_VERSION "0"
#endif

namespace {

const std::string kVersion = std::string("tavrin-burn ") + TAVRIN_VERSION;

std::string versionHelp() {
    return SbTranslate("CLI11", "Display program version information and exit");
}

void addCommon(CLI::App& command, TCliCommon& common) {
    command.set_version_flag("--version", kVersion, versionHelp());
    command
        .add_option(
            "--transport", common.Transport,
            SbTranslate("tavrin-burn",
                        "How drives are reached: spti (by device name, the default) or aspi (by "
                        "SCSI address)"))
        ->check(CLI::IsMember({"spti", "aspi"}));
    command.add_flag(
        "--json", common.Json,
        SbTranslate("tavrin-burn",
                    "One JSON object per line for every event (for scripts and front ends)"));
}

CLI::Option* addDevice(CLI::App& command, std::string& device) {
    return command.add_option(
        "--device", device,
        SbTranslate("tavrin-burn",
                    "The drive: its name (CdRom1), drive letter (F:) or SCSI address "
                    "(1:0:1:0); default: the only recorder"));
}

// Read when the arguments are set up, after the catalog is loaded.
std::string footer() {
    return SbTranslate(
        "tavrin-burn",
        "Exit status: 0 done (and verified when asked), 1 the burn (or eject, or erase) failed, 2 "
        "usage error (also an incomplete image, or a --report file that cannot be written), 3 "
        "verification failed (or an image that does not match its implanted MD5), 4 no suitable "
        "drive or disc (also one that cannot be erased), 5 several drives or copies of which some "
        "succeeded and some failed, 130 cancelled (Ctrl-C or SIGTERM).\n"
        "Environment: STARBURN_CONFIG (the recorders' configuration file), STARBURN_STATE_DIR (the "
        "virtual discs' state folder), STARBURN_TIME_FACTOR, STARBURN_REAL_DRIVES, "
        "TAVRIN_LIBBURN_DEBUG (1: libburn's debugging messages in the diagnostic log).\n"
        "While a burn, verification or erase runs, sleep and idle suspend are held off through "
        "logind (the desktop portal in a sandbox or without logind); --no-inhibit lets the "
        "computer sleep.");
}

// The burn's choices: the options and final sheets as flags.
void addBurnChoices(CLI::App& burnCommand, TCliBurnOptions& burn) {
    burnCommand
        .add_option(
            "--mode", burn.Mode,
            SbTranslate("tavrin-burn",
                        "Burning mode: tao (Track-At-Once), sao (Session-At-Once), dao "
                        "(Disc-At-Once PQ) or raw (Disc-At-Once raw P-W); default: Track-At-Once "
                        "where offered, as the wizard preselects"))
        ->check(CLI::IsMember({"tao", "sao", "dao", "raw"}));
    burnCommand
        .add_option(
            "--speed", burn.Speed,
            SbTranslate(
                "tavrin-burn",
                "Write speed: max (default), N in KB/s, or Nx, an x-factor from the drive's "
                "list for the disc"))
        ->check([](const std::string& text) { return CheckSpeedText(text); });
    burnCommand.add_flag("--test", burn.Test,
                         SbTranslate("tavrin-burn", "Test write: simulate, the disc stays blank"));
    burnCommand.add_flag(
        "--opc", burn.Opc,
        SbTranslate("tavrin-burn",
                    "Send optimum power calibration before writing; a drive that refuses "
                    "it is warned of and the disc written without it"));
    burnCommand.add_flag(
        "--require-opc", burn.RequireOpc,
        SbTranslate("tavrin-burn", "Send optimum power calibration before writing, and stop before "
                                   "anything is written when the drive refuses it"));
    burnCommand.add_flag("--no-eject", burn.NoEject,
                         SbTranslate("tavrin-burn", "Leave the disc in the drive afterwards"));
    burnCommand.add_flag(
        "--close-disc", burn.CloseDisc,
        SbTranslate("tavrin-burn",
                    "Close the disc: no session can be added later (Track- and "
                    "Session-At-Once leave it open by default, as the wizard does)"));
    burnCommand.add_flag(
        "--verify", burn.Verify,
        SbTranslate("tavrin-burn",
                    "Read the disc back after the write and compare it with the image "
                    "(also gives the SHA-256 of the written data); exit status 3 when "
                    "it differs"));
    burnCommand
        .add_option("--bd-format", burn.BdFormat,
                    SbTranslate("tavrin-burn",
                                "A Blu-ray disc not formatted yet: spare (formatted with spare "
                                "areas, the drive's defect management: a BD-RE's default, for a "
                                "BD-R on request) or no-spare (no spare areas, the whole "
                                "capacity: a BD-R's default); the image is checked against the "
                                "formatted size first"))
        ->check(CLI::IsMember({"spare", "no-spare"}));
    burnCommand.add_flag("--stream-recording", burn.StreamRecording,
                         SbTranslate("tavrin-burn",
                                     "Write a Blu-ray disc without the drive's defect management: "
                                     "faster, but bad spots are not replaced (off by default)"));
    burnCommand.add_flag("--wait", burn.Wait,
                         SbTranslate("tavrin-burn",
                                     "When the recorder holds no blank disc, say \"Insert a blank "
                                     "disc into <drive>\" and wait for one (the drive is asked "
                                     "every 1.5 s; Ctrl-C stops waiting)"));
    burnCommand.add_flag(
        "--yes,-y", burn.Yes,
        SbTranslate("tavrin-burn",
                    "Answer yes to the question before burning (needed without a terminal)"));
}

// The burn command and its options: the recorder sheet's as flags, then the choices.
CLI::App* addBurnCommand(CLI::App& app, TCliBurnOptions& burn) {
    CLI::App* burnCommand = app.add_subcommand(
        "burn", SbTranslate("tavrin-burn", "Burn an image file, or a folder as a data disc, to the "
                                           "disc in a recorder (--verify: then read it back), "
                                           "then eject it"));
    addCommon(*burnCommand, burn);
    burnCommand
        ->add_option("IMAGE", burn.Image,
                     SbTranslate("tavrin-burn",
                                 "The image file (.iso) to burn; a cue sheet (.cue) with its BIN "
                                 "or WAVE files, burnt Disc-At-Once; or a folder: its contents "
                                 "are burnt as an ISO 9660 data disc with Rock Ridge and Joliet "
                                 "names and the MD5 of every file recorded, made while the disc "
                                 "is written (no image file first)"))
        ->required();
    burnCommand->add_option(
        "--label", burn.Label,
        SbTranslate("tavrin-burn", "A folder's volume label (default: the folder's name), fixed "
                                   "to the characters ISO 9660 allows: A-Z, 0-9 and _, at most "
                                   "32"));
    burnCommand->add_option(
        "--device", burn.Devices,
        SbTranslate("tavrin-burn", "The drive: its name (CdRom1), drive letter (F:) or SCSI "
                                   "address (1:0:1:0); default: the only recorder. Given more "
                                   "than once, every drive named is written at the same time (an "
                                   "image file only)"));
    burnCommand
        ->add_flag("--all", burn.AllDrives,
                   SbTranslate("tavrin-burn",
                               "Write every drive that holds a blank disc big enough for the "
                               "image (with --overwrite also a rewritable disc that holds data), "
                               "all at the same time"))
        ->excludes("--device");
    burnCommand
        ->add_flag("--overwrite", burn.Overwrite,
                   SbTranslate("tavrin-burn",
                               "With --all: also take drives whose rewritable disc holds data"))
        ->needs("--all");
    burnCommand
        ->add_option("--copies", burn.Copies,
                     SbTranslate("tavrin-burn",
                                 "Burn N discs in a row on each drive: after each the disc is "
                                 "verified (with --verify) and ejected, and the drive waits for "
                                 "the next blank disc"))
        ->check(CLI::Range(1, 999));
    burnCommand->add_flag("--stop-on-failure", burn.StopOnFailure,
                          SbTranslate("tavrin-burn",
                                      "With --copies: a failed copy ends that drive's series (by "
                                      "default the drive goes on with the next disc)"));
    addBurnChoices(*burnCommand, burn);
    return burnCommand;
}

// The user's language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) for every text
// but --json's: a program reading the events sees the same English texts in
// every language. The catalog lies beside the program in the build tree,
// under share/ when installed.
void loadTranslations(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--json") {
            return;
        }
    }
    const std::string folder = platform::GetExecutableFolder();
    if (LoadTranslationCatalog(folder + "translations", "tavrin-burn").empty()) {
        LoadTranslationCatalog(folder + TAVRIN_CLI_TRANSLATIONS, "tavrin-burn");
    }
}

// CLI11's own words in the help.
void translateHelp(CLI::App& app) {
    auto formatter = app.get_formatter();
    for (const char* label :
         {SB_TRANSLATE_NOOP("CLI11", "Usage"), SB_TRANSLATE_NOOP("CLI11", "OPTIONS"),
          SB_TRANSLATE_NOOP("CLI11", "SUBCOMMAND"), SB_TRANSLATE_NOOP("CLI11", "SUBCOMMANDS"),
          SB_TRANSLATE_NOOP("CLI11", "Positionals"), SB_TRANSLATE_NOOP("CLI11", "REQUIRED")}) {
        formatter->label(label, SbTranslate("CLI11", label));
    }
    app.option_defaults()->group(SbTranslate("CLI11", "Options"));
    app.set_help_flag("-h,--help", SbTranslate("CLI11", "Print this help message and exit"));
}

// How long a Ctrl-C or SIGTERM waits for the drives to finish a cancelled
// write: a real recorder takes some seconds to stop.
constexpr uint32_t kAbortPatienceSeconds = 10;

// On the signal thread, after the request is recorded (the main thread
// then cancels its own write): every write of the library is stopped and
// awaited, so no drive is left writing when the program ends.
void abortWrites() {
    // Announced: the diagnostic log shows the cancel reached every drive.
    if (LibraryCall("StarBurn_AbortWrites", [] {
            return StarBurn_AbortWrites(kAbortPatienceSeconds);
        }) == SB_EXCEPTION_DEVICE_BUSY) {
        std::fputs(
            SbTranslate("tavrin-burn", "tavrin-burn: a drive is still writing after the cancel\n")
                .c_str(),
            stderr);
    }
}

// Every command's options, filled by the parse, and the command parsed.
struct TCliCommands {
    TCliDevicesOptions Devices;
    TCliBurnOptions Burn;
    TCliEjectOptions Eject;
    TCliBlankOptions Blank;
    TCliCheckOptions Check;
    TCliVerifyOptions Verify;
    TCliCopyOptions Copy;
    std::string ReportFile;
    bool NoInhibit = false;

    CLI::App* DevicesCommand = nullptr;
    CLI::App* BurnCommand = nullptr;
    CLI::App* EjectCommand = nullptr;
    CLI::App* BlankCommand = nullptr;
    CLI::App* CheckCommand = nullptr;
    CLI::App* VerifyCommand = nullptr;
    CLI::App* CopyCommand = nullptr;

    std::array<CLI::App*, 7> all() const {
        return {DevicesCommand, BurnCommand,   EjectCommand, BlankCommand,
                CheckCommand,   VerifyCommand, CopyCommand};
    }
};

void addDevicesCommand(CLI::App& app, TCliCommands& commands) {
    TCliDevicesOptions& devices = commands.Devices;
    commands.DevicesCommand = app.add_subcommand(
        "devices",
        SbTranslate("tavrin-burn", "List the recorders (--all: every drive) with their discs; "
                                   "a drive that is busy, mounted or closed to you says why"));
    addCommon(*commands.DevicesCommand, devices);
    commands.DevicesCommand->add_flag(
        "--all", devices.All, SbTranslate("tavrin-burn", "Also list drives that only read"));
}

void addEjectAndBlankCommands(CLI::App& app, TCliCommands& commands) {
    TCliEjectOptions& eject = commands.Eject;
    commands.EjectCommand =
        app.add_subcommand("eject", SbTranslate("tavrin-burn", "Eject the disc of a drive"));
    addCommon(*commands.EjectCommand, eject);
    addDevice(*commands.EjectCommand, eject.Device);

    TCliBlankOptions& blank = commands.Blank;
    CLI::App* blankCommand = app.add_subcommand(
        "blank", SbTranslate("tavrin-burn",
                             "Erase a rewritable disc (CD-RW, DVD-RW blanked; DVD+RW formatted)"));
    commands.BlankCommand = blankCommand;
    addCommon(*blankCommand, blank);
    addDevice(*blankCommand, blank.Device);
    blankCommand->add_flag(
        "--full", blank.Full,
        SbTranslate("tavrin-burn", "Erase every block, not just the disc's table"));
    blankCommand->add_flag(
        "--yes,-y", blank.Yes,
        SbTranslate("tavrin-burn",
                    "Answer yes to the question before erasing (needed without a terminal)"));
}

void addCheckAndVerifyCommands(CLI::App& app, TCliCommands& commands) {
    TCliCheckOptions& check = commands.Check;
    commands.CheckCommand = app.add_subcommand(
        "check",
        SbTranslate("tavrin-burn",
                    "Check an image file: its ISO9660 volume size, its implanted MD5 (isomd5sum) "
                    "and its SHA-256, reading it once; a cue sheet: its tracks and their lengths"));
    addCommon(*commands.CheckCommand, check);
    commands.CheckCommand
        ->add_option("IMAGE", check.Image, SbTranslate("tavrin-burn", "The image file to check"))
        ->required();

    TCliVerifyOptions& verify = commands.Verify;
    CLI::App* verifyCommand = app.add_subcommand(
        "verify",
        SbTranslate("tavrin-burn",
                    "Compare the disc in a drive with an image file (the last session written)"));
    commands.VerifyCommand = verifyCommand;
    addCommon(*verifyCommand, verify);
    verifyCommand
        ->add_option("IMAGE", verify.Image,
                     SbTranslate("tavrin-burn", "The image file the disc was burnt from"))
        ->required();
    addDevice(*verifyCommand, verify.Device);
    verifyCommand->add_flag("--wait", verify.Wait,
                            SbTranslate("tavrin-burn",
                                        "When the drive holds no written disc, say \"Insert a "
                                        "disc into <drive>\" and wait for one (Ctrl-C stops "
                                        "waiting)"));
}

void addCopyCommand(CLI::App& app, TCliCommands& commands) {
    TCliCopyOptions& copy = commands.Copy;
    CLI::App* copyCommand = app.add_subcommand(
        "copy", SbTranslate("tavrin-burn",
                            "Copy the disc in a drive to an image file: a data disc's ISO 9660 "
                            "volume, an audio CD as OUT.bin with OUT.cue; its SHA-256 goes beside "
                            "it (FILE.sha256)"));
    commands.CopyCommand = copyCommand;
    addCommon(*copyCommand, copy);
    copyCommand
        ->add_option("OUT", copy.Output,
                     SbTranslate("tavrin-burn", "The image file to write (OUT.iso)"))
        ->required();
    addDevice(*copyCommand, copy.Device);
    copyCommand->add_flag(
        "--fill-bad-sectors", copy.FillBadSectors,
        SbTranslate("tavrin-burn", "Fill sectors that cannot be read with zeros and list them (in "
                                   "FILE.bad-sectors) instead of stopping at the first"));
}

// What every command shares: the footer, the help group, --report, and
// --no-inhibit where a drive works for a while.
void addSharedOptions(TCliCommands& commands) {
    for (CLI::App* command : commands.all()) {
        command->footer(footer());
        command->group(SbTranslate("CLI11", "Subcommands"));
        // Made before the group's name was set: made again under it, when
        // translated (English keeps its place at the top).
        if (const std::string help = SbTranslate("CLI11", "Print this help message and exit");
            help != "Print this help message and exit") {
            command->set_help_flag("-h,--help", help);
        }
    }
    for (CLI::App* command : commands.all()) {
        command->add_option(
            "--report", commands.ReportFile,
            SbTranslate("tavrin-burn",
                        "When the command has ended, however it ended, write a problem "
                        "report to this file (.tar.gz): the diagnostic log, libburn's "
                        "messages, the drives, the version and the settings, without your "
                        "home folder and user name"));
    }
    for (CLI::App* command : {commands.BurnCommand, commands.BlankCommand, commands.VerifyCommand,
                              commands.CopyCommand}) {
        command->add_flag(
            "--no-inhibit", commands.NoInhibit,
            SbTranslate("tavrin-burn",
                        "Let the computer sleep while the drive works (by default sleep and "
                        "idle suspend are held off through logind or the desktop portal)"));
    }
}

void addCommands(CLI::App& app, TCliCommands& commands) {
    addDevicesCommand(app, commands);
    commands.BurnCommand = addBurnCommand(app, commands.Burn);
    addEjectAndBlankCommands(app, commands);
    addCheckAndVerifyCommands(app, commands);
    addCopyCommand(app, commands);
    addSharedOptions(commands);
}

// After a parse that chose one command.
int runCommand(const TCliCommands& commands, TCliSignals& signals) {
    if (*commands.DevicesCommand) {
        return RunDevicesCommand(commands.Devices, signals);
    }
    if (*commands.BurnCommand) {
        return RunBurnCommand(commands.Burn, signals);
    }
    if (*commands.EjectCommand) {
        return RunEjectCommand(commands.Eject, signals);
    }
    if (*commands.BlankCommand) {
        return RunBlankCommand(commands.Blank, signals);
    }
    if (*commands.CheckCommand) {
        return RunCheckCommand(commands.Check, signals);
    }
    if (*commands.VerifyCommand) {
        return RunVerifyCommand(commands.Verify, signals);
    }
    if (*commands.CopyCommand) {
        return RunCopyCommand(commands.Copy, signals);
    }
    return exUsage;
}

// --report: written however the command ended. Returns the exit status.
int writeReport(const std::string& reportFile, int status) {
    TsbProblemReport report;
    report.Program = kVersion;
    report.Drives = RememberedDrives();
    report.RunLog = CliTranscript();
    try {
        WriteProblemReport(reportFile, report);
        std::fprintf(
            stderr,
            SbTranslate("tavrin-burn", "tavrin-burn: problem report written to %s\n").c_str(),
            reportFile.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavrin-burn: %s\n", e.what());
        // A command that went well ends as a usage error: the file named cannot be written.
        if (status == exDone) {
            return exUsage;
        }
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    // Before any thread exists: every later thread inherits the blocked signals.
    TCliSignals signals;
    signals.Start(abortWrites);

    loadTranslations(argc, argv);
    CLI::App app{
        SbTranslate(
            "tavrin-burn",
            "Burns CD/DVD image files with the engine of the Tavrin wizard: the same device "
            "search, checks, staged burn and log texts, from a terminal or a script."),
        "tavrin-burn"};
    translateHelp(app);
    app.set_version_flag("--version", kVersion, versionHelp());
    app.require_subcommand(1);
    app.footer(footer());
    TCliCommands commands;
    addCommands(app, commands);

    int status = exUsage;
    try {
        app.parse(argc, argv);
        if (!commands.NoInhibit) {
            SetInhibitBus(MakeCliInhibitBus());
        }
        status = runCommand(commands, signals);
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0; every other parse error is a usage error.
        status = app.exit(e) == 0 ? exDone : exUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavrin-burn: %s\n", e.what());
        status = exBurnFailed;
    }
    SetInhibitBus(nullptr);
    if (!commands.ReportFile.empty()) {
        status = writeReport(commands.ReportFile, status);
    }
    signals.Stop();
    return status;
}
