// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn burn on several drives at once (--device twice or more,
// --all) and several copies in a row (--copies): the checks of the one-drive
// burn for every drive, then engine/sbMultiBurn, and one table at the end.
#include "base/sbError.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "cli/sbCliBurn.h"
#include "cli/sbCliDevices.h"
#include "cli/sbCliRun.h"
#include "cli/sbCliSignals.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDiscSpeedList.h"
#include "engine/sbCueImage.h"
#include "engine/sbFolderSource.h"
#include "engine/sbModeChoice.h"
#include "engine/sbMultiBurn.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <memory>

namespace cli {
namespace {

// One drive of the run: the search's item, its burner and its plan.
struct TCliDrive {
    TsbDeviceItem* Device = nullptr;
    std::unique_ptr<TsbBurner> Burner = std::make_unique<TsbBurner>();
    TBurnPlan Plan;
    bool Opened = false;
    ~TCliDrive() {
        if (!Opened) {
            return;
        }
        // However the run ends, each drive is let go for the next grab.
        try {
            Burner->ReleaseDevice();
            Burner->CloseDevice();
        } catch (const std::exception&) {
        }
    }
};

// The drives --device names, or with --all every drive that takes the image.
std::vector<std::unique_ptr<TCliDrive>> chooseDrives(const TCliBurnOptions& options,
                                                     TsbDeviceList& devices, TCliOutput& output) {
    std::vector<std::unique_ptr<TCliDrive>> drives;
    auto add = [&](TsbDeviceItem& device) {
        for (const auto& d : drives) {
            if (d->Device == &device) {
                stop(exUsage,
                     fmt::format(fmt::runtime(SbTranslate("tavrin-burn", "{} is named twice")),
                                 device.DeviceName));
            }
        }
        auto drive = std::make_unique<TCliDrive>();
        drive->Device = &device;
        drive->Plan = checkBurn(options, device, nullptr, output);
        drives.push_back(std::move(drive));
    };
    if (!options.AllDrives) {
        const std::vector<std::string> specs =
            options.Devices.empty() ? std::vector<std::string>{""} : options.Devices;
        for (const std::string& spec : specs) {
            add(chooseDevice(devices, spec));
        }
        return drives;
    }
    const auto imageSize = static_cast<int64_t>(existingImage(options.Image).FileBytes);
    for (int i = 0; i < devices.Count(); ++i) {
        TsbDeviceItem& device = *devices.Items(i);
        // The recorder sheet's "every recorder" box takes drives by the same rule.
        const TsbDriveFit fit = DriveFitForImage(device, imageSize, options.Overwrite);
        if (fit == TsbDriveFit::NoCandidate) {
            continue;
        }
        std::string why = fit == TsbDriveFit::NotBlank
                              ? SbTranslate("tavrin-burn", "its disc is not blank")
                          : fit == TsbDriveFit::TooSmall
                              ? SbTranslate("tavrin-burn", "its disc is too small for the image")
                              : "";
        if (why.empty()) {
            try {
                add(device);
                continue;
            } catch (const ECliStop& e) {
                why = e.Text;
            }
        }
        output.SetDrive(device.DeviceName);
        output.Note(fmt::format(fmt::runtime(SbTranslate("tavrin-burn", "{} is left out: {}")),
                                device.DeviceName, why));
        output.SetDrive("all");
    }
    if (drives.empty()) {
        stop(exNoDriveOrDisc,
             options.Overwrite
                 ? SbTranslate("tavrin-burn",
                               "No drive holds a blank or rewritable disc big enough for the image")
                 : SbTranslate("tavrin-burn",
                               "No drive holds a blank disc big enough for the image"));
    }
    return drives;
}

std::string driveList(const std::vector<std::unique_ptr<TCliDrive>>& drives) {
    std::string text;
    for (const auto& d : drives) {
        text += (text.empty() ? "" : ", ") + d->Device->DeviceName + " " + d->Device->Product +
                " (" + DiscTypeToStr(d->Device->DiscType) + ")";
    }
    return text;
}

// The drives' progress, drawn from the main thread between waits.
class TCliMultiProgress {
public:
    TCliMultiProgress(TCliOutput& output, TsbMultiBurn& burn) : output_(output), burn_(burn) {}

    void Show() {
        for (const TsbDriveLine& l : burn_.TakeLines()) {
            const std::string name = burn_.States()[l.Drive].Name;
            output_.SetDrive(name);
            output_.Log(output_.Form() == TCliOutputForm::Json ? l.Text : name + ": " + l.Text,
                        l.Kind);
        }
        const std::vector<TsbDriveState> states = burn_.States();
        std::string line;
        for (const TsbDriveState& s : states) {
            line += fmt::format("{}{} {} {:3} %", line.empty() ? "" : " | ", s.Name, s.Phase,
                                s.Percent);
            // Plain and JSON forms: a line when a drive's phase or tenth changes.
            const std::string key =
                s.Phase + "/" + std::to_string(s.Percent / 10) + "/" + std::to_string(s.Copy);
            std::string& last = shown_[s.Name];
            if (key == last || output_.Form() == TCliOutputForm::Terminal) {
                continue;
            }
            last = key;
            if (output_.Form() == TCliOutputForm::Json) {
                output_.Raw(JsonEvent("progress", {{"drive", JsonString(s.Name)},
                                                   {"copy", std::to_string(s.Copy)},
                                                   {"pass", JsonString(s.Phase)},
                                                   {"percent", std::to_string(s.Percent)}}));
            } else {
                output_.Raw(fmt::format("Progress: {} copy {} {} {} %", s.Name, s.Copy, s.Phase,
                                        s.Percent));
            }
        }
        output_.SetDrive("all");
        output_.Status(line);
    }

private:
    TCliOutput& output_;
    TsbMultiBurn& burn_;
    std::map<std::string, std::string> shown_;
};

std::string speedText(const TsbDriveCopyResult& r, uint32_t unitKBps) {
    if (r.WriteSeconds <= 0 || r.Bytes == 0) {
        return "-";
    }
    const double kbps = static_cast<double>(r.Bytes) / 1024.0 / r.WriteSeconds;
    return fmt::format("{:.1f} MB/s ({:.1f}x)", kbps / 1024.0, kbps / unitKBps);
}

// The closing table (or one JSON event per copy) and the exit status.
int closing(TCliOutput& output, const TsbMultiBurn& burn,
            const std::vector<std::unique_ptr<TCliDrive>>& drives, bool cancelled) {
    // The outcome column keeps the words of --json's "outcome" (done, failed, ...).
    std::vector<std::vector<std::string>> rows(1);
    for (const char* column :
         {SB_TRANSLATE_NOOP("tavrin-burn", "DRIVE"), SB_TRANSLATE_NOOP("tavrin-burn", "COPY"),
          SB_TRANSLATE_NOOP("tavrin-burn", "RESULT"), SB_TRANSLATE_NOOP("tavrin-burn", "TIME"),
          SB_TRANSLATE_NOOP("tavrin-burn", "AVERAGE SPEED"),
          SB_TRANSLATE_NOOP("tavrin-burn", "VERIFY"),
          SB_TRANSLATE_NOOP("tavrin-burn", "MESSAGE")}) {
        rows.front().push_back(SbTranslate("tavrin-burn", column));
    }
    for (size_t i = 0; i < drives.size(); ++i) {
        const std::string& name = drives[i]->Device->DeviceName;
        const uint32_t unit = SpeedTableFor(drives[i]->Burner->DiscType).Unit;
        for (const TsbDriveCopyResult& r : burn.Results(i)) {
            const std::string time = fmt::format("{:.1f} s", r.Seconds);
            if (output.Form() == TCliOutputForm::Json) {
                output.Raw(JsonEvent("drive-result",
                                     {{"drive", JsonString(name)},
                                      {"copy", std::to_string(r.Copy)},
                                      {"outcome", JsonString(CopyOutcomeName(r.Outcome))},
                                      {"seconds", fmt::format("{:.2f}", r.Seconds)},
                                      {"write_seconds", fmt::format("{:.2f}", r.WriteSeconds)},
                                      {"bytes", std::to_string(r.Bytes)},
                                      {"verify", JsonString(r.Verify)},
                                      {"text", JsonString(r.Text)}}));
            } else {
                rows.push_back({name, std::to_string(r.Copy), CopyOutcomeName(r.Outcome), time,
                                speedText(r, unit), r.Verify.empty() ? "-" : r.Verify, r.Text});
            }
        }
    }
    if (output.Form() != TCliOutputForm::Json) {
        printTable(output, rows);
    }
    const TsbCopyTally tally = burn.Tally();
    const std::string counts =
        fmt::format(fmt::runtime(SbTranslate("tavrin-burn", "{} of {} copies done, {} failed")),
                    tally.Done, tally.Done + tally.Failed, tally.Failed);
    output.Note(counts);
    if (cancelled) {
        output.Note(LoadResString(rsCanceledByUser));
        return finish(output, exCancelled, "cancelled", counts);
    }
    if (tally.Failed == 0) {
        return finish(output, exDone, "done", counts);
    }
    if (tally.Done > 0) {
        return finish(output, exSomeFailed, "some-failed", counts);
    }
    return tally.VerifyFailed == tally.Failed
               ? finish(output, exVerifyFailed, "verify-failed", counts)
               : finish(output, exBurnFailed, "failed", counts);
}

} // namespace
} // namespace cli

bool IsMultiBurn(const TCliBurnOptions& options) {
    return options.Devices.size() > 1 || options.AllDrives || options.Copies > 1;
}

int RunMultiBurnCommand(const TCliBurnOptions& options, TCliSignals& signals) {
    using namespace cli;
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        if ((options.Opc || options.RequireOpc) && options.Test) {
            stop(exUsage,
                 SbTranslate("tavrin-burn",
                             "--opc cannot be combined with --test: a test write sends no power "
                             "calibration"));
        }
        if (IsCueSheet(options.Image) || IsSourceFolder(options.Image)) {
            // The shared reader feeds one data track from an image file.
            stop(exUsage, SbTranslate("tavrin-burn",
                                      "Several drives and copies burn an image file: a cue "
                                      "sheet or a folder is burnt on one drive, one disc at a "
                                      "time"));
        }
        if (!options.Mode.empty() && options.Mode != "tao") {
            stop(exUsage, fmt::format(fmt::runtime(SbTranslate(
                                          "tavrin-burn", "Several drives and copies are written "
                                                         "Track-At-Once: --mode {} cannot be used "
                                                         "with them")),
                                      options.Mode));
        }
        output.SetDrive("all");
        TCliBurnOptions choices = options;
        choices.Mode = "tao";
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        searchDevices(finder, frontEnd, transportOf(options.Transport));
        auto drives = chooseDrives(choices, finder.Devices, output);

        const std::string question = fmt::format(
            fmt::runtime(
                drives.size() == 1
                    ? SbTranslate("tavrin-burn", "Burn {} ({}) to {} drive at once: {}{}{}?")
                    : SbTranslate("tavrin-burn", "Burn {} ({}) to {} drives at once: {}{}{}?")),
            options.Image, SizeToMBStr(false, drives.front()->Plan.ImageSize), drives.size(),
            driveList(drives),
            options.Copies > 1
                ? fmt::format(fmt::runtime(SbTranslate("tavrin-burn", ", {} copies each")),
                              options.Copies)
                : "",
            options.Verify ? SbTranslate("tavrin-burn", ", each verified") : "");
        if (!ask(question, options.Yes, output, signals) || signals.Requested()) {
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }
        output.Log(LoadResString(rsSourceImageFile) + " " + options.Image, litInfo);

        TsbMultiBurn burn(options.Image);
        burn.Copies = options.Copies;
        burn.StopOnFailure = options.StopOnFailure;
        burn.EjectWhenDone = !options.NoEject;
        for (auto& d : drives) {
            TsbBurner& burner = *d->Burner;
            CopyDeviceChoice(*d->Device, transportOf(options.Transport), burner);
            burner.OpenDevice();
            d->Opened = true;
            burner.LockDevice();
            TsbDiscSpeedList speeds;
            speeds.Fill(burner);
            setOptions(burner, options, ModeChoiceWriteMode(d->Plan.Mode->Choice, true),
                       chooseSpeed(speeds, options.Speed, SpeedTableFor(burner.DiscType)));
            burn.Add(burner, d->Device->DeviceName);
            output.SetDrive(d->Device->DeviceName);
            output.Log(LoadResString(rsDestinationDevice) + ": " + d->Device->Product, litInfo);
        }
        output.SetDrive("all");

        TCliMultiProgress progress(output, burn);
        frontEnd.OnWait = [&] {
            if (signals.Requested() && !burn.Cancelled()) {
                // Ctrl-C stops every drive; each is let go as it ends.
                output.Note(SbTranslate("tavrin-burn", "Cancelling every drive"));
                burn.CancelAll();
                signals.Acknowledge();
            }
            progress.Show();
        };
        burn.Run();
        frontEnd.OnWait = nullptr;
        progress.Show();
        output.Status("");
        output.SetDrive("all");
        return closing(output, burn, drives, burn.Cancelled() || signals.Requested());
    });
}
