// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn copy: the disc in a drive read into an image file (an audio
// CD into a BIN and its cue sheet), with its SHA-256 beside it.
#include "base/sbError.h"
#include "base/sbResConst.h"
#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "cli/sbCliChoices.h"
#include "cli/sbCliCommands.h"
#include "cli/sbCliDevices.h"
#include "cli/sbCliRun.h"
#include "cli/sbCliSignals.h"
#include "devices/sbDiscSpeedList.h"
#include "engine/sbBurner.h"
#include "engine/sbCueImage.h"
#include "engine/sbDiscCopy.h"
#include "engine/sbInhibit.h"

#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace cli;

namespace {

void showPlan(TCliOutput& output, const TsbCopyPlan& plan, const std::string& out) {
    if (plan.Audio) {
        output.Log(fmt::format(fmt::runtime(SbTranslate(
                                   "tavrin-burn", "Audio CD: {} tracks, copied to {} and {}")),
                               plan.Tracks.size(), AudioBinName(out), AudioCueName(out)),
                   litInfo);
        for (const TsbCopyTrack& t : plan.Tracks) {
            output.Log(
                fmt::format(fmt::runtime(SbTranslate(
                                "tavrin-burn",
                                "Track {:02}  audio  from sector {}, {} up to the next track")),
                            t.Number, t.Start, MsfText(t.Sectors)),
                litInfo);
        }
        return;
    }
    const TsbCopyTrack& t = plan.Tracks.front();
    output.Log(
        plan.SizeFromVolume
            ? fmt::format(fmt::runtime(SbTranslate(
                              "tavrin-burn",
                              "Data track {}: the ISO 9660 volume \"{}\", {} blocks ({} bytes) "
                              "from block {}")),
                          t.Number, plan.VolumeLabel, t.Sectors, uint64_t{t.Sectors} * 2048,
                          t.Start)
            : fmt::format(fmt::runtime(SbTranslate(
                              "tavrin-burn",
                              "Data track {}: no ISO 9660 volume; its {} blocks are copied as "
                              "they are")),
                          t.Number, t.Sectors),
        litInfo);
}

} // namespace

namespace cli {

TCliCue checkCue(const std::string& path, const TsbDiscSpace* space) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        stop(exUsage, LoadResString(rsMustSelectImageFile) + ": " + path);
    }
    TsbCueSheet sheet;
    try {
        sheet = ReadCueSheet(path);
    } catch (const EsbError& e) {
        stop(exUsage, e.what());
    }
    // The disc's sectors, with the 150 before block 0 the sheet's sum counts.
    const uint32_t disc = space != nullptr ? CueDiscSectors(space->FreeBytes) : 0;
    TCliCue cue;
    cue.Bytes = static_cast<int64_t>(sheet.TotalBytes);
    cue.Lines = CueTrackLines(sheet, disc);
    if (space != nullptr && sheet.TotalSectors > disc) {
        stop(exNoDriveOrDisc,
             fmt::format(fmt::runtime(SbTranslate(
                             "tavrin-burn", "The cue sheet does not fit on the disc: {} of {}")),
                         MsfText(sheet.TotalSectors), MsfText(disc)));
    }
    return cue;
}

} // namespace cli

int RunCopyCommand(const TCliCopyOptions& options, TCliSignals& signals) {
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        struct stat st {};
        if (options.Output.empty() || ::lstat(options.Output.c_str(), &st) == 0) {
            stop(exUsage, fmt::format(fmt::runtime(SbTranslate(
                                          "tavrin-burn",
                                          "{} exists already; choose another name or remove it")),
                                      options.Output));
        }
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        TsbDeviceItem& device = findDevice(finder, frontEnd, options.Transport, options.Device);
        if (device.DiscType == DISC_TYPE_NO_MEDIA) {
            stop(exNoDriveOrDisc, LoadResString(rsNoMediaInDrive));
        }
        if (device.DiscSpace.TotalBytes > 0 &&
            device.DiscSpace.FreeBytes == device.DiscSpace.TotalBytes) {
            stop(exNoDriveOrDisc,
                 SbTranslate("tavrin-burn", "The disc is blank: there is nothing on it to copy"));
        }
        TsbBurner burner;
        TCliOpenDrive drive(burner, device, options.Transport);
        const TsbCopyPlan plan = PlanDiscCopy(burner.Grabber);
        showPlan(output, plan, options.Output);

        std::atomic<int32_t> percent{0};
        std::atomic<bool> cancel{false};
        TsbCopyCallbacks callbacks;
        callbacks.Progress = [&percent](uint64_t done, uint64_t total) {
            percent = static_cast<int32_t>(done * 100 / std::max<uint64_t>(total, 1));
        };
        callbacks.Cancelled = [&cancel] { return cancel.load(); };
        callbacks.BadSector = [&](uint32_t sector, const std::string& why) {
            output.Log(fmt::format(
                           fmt::runtime(SbTranslate("tavrin-burn", "Sector {} cannot be read: {}")),
                           sector, why),
                       litWarning);
            if (options.FillBadSectors) {
                return TsbBadSectorChoice::FillWithZeros;
            }
            // On a terminal the user chooses; without one the copy stops.
            if (options.Json || ::isatty(STDIN_FILENO) == 0) {
                return TsbBadSectorChoice::Stop;
            }
            try {
                return ask(SbTranslate(
                               "tavrin-burn",
                               "Fill the unreadable sectors with zeros, list them and go on (no: "
                               "stop the copy)"),
                           false, output, signals)
                           ? TsbBadSectorChoice::FillWithZeros
                           : TsbBadSectorChoice::Stop;
            } catch (const ECliStop&) {
                return TsbBadSectorChoice::Stop;
            }
        };
        const TsbStayAwake awake(
            CopyReason(options.Output, DriveTitle(burner.DeviceName, device.Product)));
        output.BeginCopy(static_cast<int64_t>(plan.Bytes()), SpeedTableFor(device.DiscType).Unit);
        std::future<TsbCopyResult> copy = std::async(std::launch::async, [&] {
            return CopyDisc(burner.Grabber, plan, options.Output, callbacks);
        });
        while (copy.wait_for(std::chrono::milliseconds(80)) != std::future_status::ready) {
            if (signals.Requested() && !cancel) {
                cancel = true;
                signals.Acknowledge();
            }
            output.Progress(percent);
            output.Tick();
        }
        TsbCopyResult result = copy.get();
        if (result.Done) {
            output.Progress(100);
        }
        output.EndWrite();
        if (result.Cancelled) {
            output.Note(result.FailureText);
            return finish(output, exCancelled, "cancelled", LoadResString(rsCanceledByUser));
        }
        if (!result.Done) {
            std::string text = result.FailureText;
            if (!result.BadSectors.empty() || text.rfind("Sector ", 0) == 0) {
                text += " (tavrin-burn copy --fill-bad-sectors)";
            }
            output.Error(text);
            return finish(output, exBurnFailed, "failed", text);
        }
        for (const std::string& file : result.Files) {
            output.Log(fmt::format(fmt::runtime(SbTranslate("tavrin-burn", "Written: {}")), file),
                       litInfo);
        }
        output.Log("SHA-256: " + result.Sha256, litInfo);
        if (!result.BadSectors.empty()) {
            std::string list;
            for (uint32_t lba : result.BadSectors) {
                list += (list.empty() ? "" : ", ") + std::to_string(lba);
            }
            const std::string text = fmt::format(
                fmt::runtime(
                    result.BadSectors.size() == 1
                        ? SbTranslate("tavrin-burn", "Disc copied with {} unreadable sector "
                                                     "filled with zeros: {} (listed in {})")
                        : SbTranslate("tavrin-burn", "Disc copied with {} unreadable sectors "
                                                     "filled with zeros: {} (listed in {})")),
                result.BadSectors.size(), list, result.Files.back());
            output.Log(text, litWarning);
            return finish(output, exDone, "done-with-bad-sectors", text);
        }
        return finish(output, exDone, "done",
                      fmt::format(fmt::runtime(SbTranslate("tavrin-burn", "Disc copied: {} bytes")),
                                  result.Bytes));
    });
}
