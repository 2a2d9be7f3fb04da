// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn burn: the wizard's sheets without windows, then the final
// sheet's burn action.
#include "cli/sbCliBurn.h"
#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "cli/sbCliBluRay.h"
#include "cli/sbCliChoices.h"
#include "cli/sbCliDevices.h"
#include "cli/sbCliFolder.h"
#include "cli/sbCliRun.h"
#include "cli/sbCliSignals.h"
#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "engine/sbCueImage.h"
#include "engine/sbFolderSource.h"
#include "engine/sbLog.h"

#include <fmt/format.h>

namespace cli {

// folder: the burner that gets the tree when options.Image is a folder, else null.
TBurnPlan checkBurn(const TCliBurnOptions& options, const TsbDeviceItem& device, TsbBurner* folder,
                    TCliOutput& output) {
    if (!device.MediaFormats.WritesAnything()) {
        stop(exNoDriveOrDisc, LoadResString(rsSelectBurningDevice));
    }
    try {
        CheckRecorderForBurn(device, device.DiscSpace);
    } catch (const EsbError& e) {
        stop(exNoDriveOrDisc, e.what());
    }
    TBurnPlan plan;
    if (IsCueSheet(options.Image)) {
        // libburn burns a cue sheet's tracks and pregaps Disc-At-Once only.
        if (!options.Mode.empty() && options.Mode != "dao") {
            stop(exUsage,
                 SbTranslate("tavrin-burn",
                             "A cue sheet is burnt Disc-At-Once: --mode dao, or no --mode"));
        }
        TCliCue cue = checkCue(options.Image, &device.DiscSpace);
        plan.ImageSize = cue.Bytes;
        plan.CueLines = std::move(cue.Lines);
        plan.Mode = &chooseMode(device, "dao");
    } else {
        plan.ImageSize = folder != nullptr ? checkFolder(*folder, options, device.DiscSpace, output)
                                           : checkImage(options.Image, device.DiscSpace);
        plan.Mode = &chooseMode(device, options.Mode);
    }
    if (options.Test && device.WriteModes.CanTestWrite == 0) {
        stop(exNoDriveOrDisc,
             SbTranslate("tavrin-burn", "The recorder cannot make a test write on this disc"));
    }
    const std::string speedError = CheckSpeedText(options.Speed);
    if (!speedError.empty()) {
        stop(exUsage, speedError);
    }
    return plan;
}

// The option record as the mode and options sheets leave it.
void setOptions(TsbBurner& burner, const TCliBurnOptions& options, uint8_t writeMode,
                const TCliSpeed& speed) {
    burner.WriteMode = writeMode;
    burner.TestWrite = options.Test;
    // The options sheet leaves Track- and Session-At-Once discs open for
    // more sessions. A DVD-RAM has no sessions to leave open (libburn refuses
    // to try), and --close-disc asks for a closed disc.
    burner.MultiSession =
        (writeMode == wmTrackAtOnceFromFile || writeMode == wmSessionAtOnceFromFile ||
         writeMode == wmTrackAtOnceFromTree) &&
        !options.CloseDisc && burner.DiscType != DISC_TYPE_DVDRAM;
    burner.SendOPC = options.Opc || options.RequireOpc;
    burner.RequireOPC = options.RequireOpc;
    burner.OptionValue = 0;
    burner.SpeedFactor = speed.Factor;
    burner.WriteSpeed = speed.KBps;
    burner.Verify = options.Verify;
}

namespace {

// The wizard log as the transport, recorder and image sheets leave it,
// shown first as the final sheet shows it.
void showWizardLog(TCliOutput& output, const TsbDeviceItem& device, const std::string& source) {
    TsbLog wizardLog;
    const std::pair<int32_t, std::string> rows[] = {
        {0, LoadResString(rsBurningImage)},
        {2, LoadResString(rsDestinationDevice) + ": " + device.Product},
        {3, source},
    };
    for (const auto& [sheet, text] : rows) {
        TsbLogItem& row = wizardLog.Add();
        row.LogMessage = text;
        row.PageOwner = sheet;
    }
    for (int i = 0; i < wizardLog.Count(); ++i) {
        output.Log(wizardLog.Items(i).LogMessage, wizardLog.Items(i).ItemType);
    }
}

// The final sheet's run of the burn action, with the progress line and
// Ctrl-C as its Cancel; the action's error text, empty when none.
std::string runBurn(TsbBurnAtOnceToCDDVDAction& burn, TsbActionItem* item, TsbBurner& burner,
                    TCliFrontEnd& frontEnd, TCliOutput& output, int64_t imageSize) {
    TCliSignals& signals = frontEnd.Signals();
    const uint32_t unit = SpeedTableFor(burner.DiscType).Unit;
    // The image is written in whole 2048-byte sectors.
    const int64_t writtenBytes = (imageSize + 2047) / 2048 * 2048;
    TsbCallBackEventer& eventer = CallBackEventer();
    eventer.SetOnProgress([&output](TsbCallBackEventer&, int32_t p) { output.Progress(p); });
    eventer.SetOnBufferStatus([&output](TsbCallBackEventer&, int32_t p) { output.BufferFill(p); });
    eventer.SetOnImageBuildStart([](TsbCallBackEventer&) {});
    // The wizard enables its Cancel button when the write starts, and again
    // when the verification starts (after the burn thread has ended): so
    // does the progress line.
    eventer.SetOnCancelEnabled(
        [&output, unit, &burner, writtenBytes](TsbCallBackEventer&, bool on) {
            if (!on) {
                return;
            }
            if (burner.BurnThreadRunning()) {
                output.BeginWrite(writtenBytes, unit);
            } else {
                output.BeginVerify(writtenBytes, unit);
            }
        });
    bool cancelSent = false;
    frontEnd.OnWait = [&] {
        if (signals.Requested() && !cancelSent) {
            if (burner.BurnThreadRunning()) {
                cancelSent = true;
                burner.Cancel();
                signals.Acknowledge();
            } else if (burner.Verify && burner.WriteStarted) {
                // The verification asks this between its reads, as the wizard's Cancel.
                cancelSent = true;
                burner.Cancelled = true;
                signals.Acknowledge();
            }
        }
        output.Tick();
    };

    std::string failure;
    try {
        burn.Execute(item);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    frontEnd.OnWait = nullptr;
    eventer.SetOnCancelEnabled({});
    eventer.SetOnImageBuildStart({});
    eventer.SetOnBufferStatus({});
    eventer.SetOnProgress({});
    output.EndWrite();
    return failure;
}

// Releases and closes the drive however the burn ends.
struct TRelease {
    TsbBurner& Burner;
    ~TRelease() {
        try {
            Burner.ReleaseDevice();
            Burner.CloseDevice();
        } catch (const std::exception&) {
        }
    }
};

} // namespace

} // namespace cli

int RunBurnCommand(const TCliBurnOptions& given, TCliSignals& signals) {
    using namespace cli;
    if (IsMultiBurn(given)) {
        // Several drives, or several copies: cli/sbCliMulti.
        return RunMultiBurnCommand(given, signals);
    }
    TCliBurnOptions options = given;
    options.Device = given.Devices.empty() ? given.Device : given.Devices.front();
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        if ((options.Opc || options.RequireOpc) && options.Test) {
            // The options sheet switches calibration off for a test write.
            stop(exUsage,
                 SbTranslate("tavrin-burn",
                             "--opc cannot be combined with --test: a test write sends no power "
                             "calibration"));
        }
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        TsbDeviceItem* found = &findDevice(finder, frontEnd, options.Transport, options.Device);
        if (options.Wait) {
            found = &waitForDisc(finder, frontEnd, options.Transport, *found, TsbDiscWanted::Blank,
                                 output);
        }
        TsbDeviceItem& device = *found;
        TsbBurner burner;
        const bool folder = IsSourceFolder(options.Image);
        const TBurnPlan plan = checkBurn(options, device, folder ? &burner : nullptr, output);
        for (const std::string& line : plan.CueLines) {
            output.Log(line, litInfo);
        }

        CopyDeviceChoice(device, transportOf(options.Transport), burner);
        const std::string question = fmt::format(
            fmt::runtime(SbTranslate("tavrin-burn", "Burn {} ({}) to {} {} ({}, {}){}{}?")),
            options.Image, SizeToMBStr(false, plan.ImageSize), device.DeviceName, device.Product,
            DiscTypeToStr(device.DiscType), ModeChoiceName(plan.Mode->Choice),
            options.Test ? SbTranslate("tavrin-burn", ", test write") : "",
            options.Verify ? SbTranslate("tavrin-burn", ", then verify") : "");
        if (!ask(question, options.Yes, output, signals) || signals.Requested()) {
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }

        // From here on the drive is opened and locked, as Next on the recorder sheet does.
        burner.OpenDevice();
        burner.LockDevice();
        TRelease release{burner};
        applyBluRayChoice(burner, options);
        showWizardLog(output, device,
                      folder ? FolderSourceLine(options.Image, plan.ImageSize, burner.VolumeLabel)
                             : LoadResString(rsSourceImageFile) + " " + options.Image);

        TsbDiscSpeedList speeds;
        speeds.Fill(burner);
        setOptions(burner, options, ModeChoiceWriteMode(plan.Mode->Choice, !folder),
                   chooseSpeed(speeds, options.Speed, SpeedTableFor(burner.DiscType)));

        TsbActionList actions;
        TsbBurnAtOnceToCDDVDAction burn;
        burn.EjectWhenDone = !options.NoEject;
        actions.Options.SourceIsFile = folder ? 0 : 1;
        actions.Options.SourceFileName = options.Image;
        TsbActionItem* item = actions.Add();
        item->Action = &burn;
        item->PageIndex = 4;
        // The first error row: the eject after a failed verification reports on.
        std::string firstError;
        actions.OnMessage = [&output, &firstError](void*, const std::string& text,
                                                   TsbLogItemType kind) {
            output.Log(text, kind);
            if (kind == litError && firstError.empty()) {
                firstError = text;
            }
        };
        actions.BindMessages();
        actions.Burner = &burner;
        const std::string failure = runBurn(burn, item, burner, frontEnd, output, plan.ImageSize);
        actions.OnMessage = {};
        actions.BindMessages();

        if (!failure.empty()) {
            output.Log(failure, litError);
            // A signal before the write also stops it as it starts (the library's abort).
            if (burner.Cancelled || signals.Requested()) {
                output.Note(LoadResString(rsCanceledByUser));
                return finish(output, exCancelled, "cancelled", LoadResString(rsCanceledByUser));
            }
            output.Error(failure);
            return finish(output, exBurnFailed, "failed", failure);
        }
        if (!burn.Succeeded) {
            // Only the verification ends a burn that did not throw without success.
            if (burner.Cancelled) {
                output.Note(SbTranslate("tavrin-burn", "Verification cancelled"));
                return finish(output, exCancelled, "cancelled",
                              SbTranslate("tavrin-burn", "Verification cancelled"));
            }
            const std::string text = firstError.empty() ? burner.StatusText : firstError;
            output.Error(text);
            return finish(output, exVerifyFailed, "verify-failed", text);
        }
        if (signals.Requested()) {
            output.Note(
                SbTranslate("tavrin-burn",
                            "The write had finished when the cancel came; the disc is complete"));
        }
        if (options.Verify && !options.Test) {
            return finish(output, exDone, "done", SbTranslate("tavrin-burn", "Disc verified"));
        }
        return finish(output, exDone, "done", LoadResString(rsBurningCompleted));
    });
}
