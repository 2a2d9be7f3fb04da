// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn's commands on a drive beside the burn: eject, blank, verify,
// and the image check that needs no drive.
#include "cli/sbCliCommands.h"

#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbResConst.h"
#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "cli/sbCliChoices.h"
#include "cli/sbCliDevices.h"
#include "cli/sbCliRun.h"
#include "cli/sbCliSignals.h"
#include "devices/sbDiscSpeedList.h"
#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "engine/sbCueImage.h"
#include "engine/sbInhibit.h"
#include "engine/sbVerify.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/format.h>

#include <chrono>
#include <future>

using namespace cli;

int RunEjectCommand(const TCliEjectOptions& options, TCliSignals& signals) {
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        TsbDeviceItem& device = findDevice(finder, frontEnd, options.Transport, options.Device);

        TsbBurner burner;
        TCliOpenDrive drive(burner, device, options.Transport);

        TsbActionList actions;
        TsbAction eject;
        TsbActionItem* item = actions.Add();
        item->Action = &eject;
        actions.Burner = &burner;
        std::string failure;
        actions.OnMessage = [&](void*, const std::string& text, TsbLogItemType kind) {
            output.Log(text, kind);
            if (kind == litError) {
                failure = text;
            }
        };
        actions.BindMessages();
        eject.Execute(item);
        eject.EjectDisc();
        burner.CloseDevice();
        if (!failure.empty()) {
            output.Error(failure);
            return finish(output, exBurnFailed, "failed", failure);
        }
        return finish(output, exDone, "done", LoadResString(rsEjectDisc));
    });
}

int RunBlankCommand(const TCliBlankOptions& options, TCliSignals& signals) {
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        TsbDeviceItem& device = findDevice(finder, frontEnd, options.Transport, options.Device);
        const std::string question =
            fmt::format(fmt::runtime(SbTranslate(
                            "tavrin-burn", "Erase the {} in {} {}{}? Everything on it is lost")),
                        DiscTypeToStr(device.DiscType), device.DeviceName, device.Product,
                        options.Full ? SbTranslate("tavrin-burn", " (every block)") : "");
        if (!ask(question, options.Yes, output, signals) || signals.Requested()) {
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }

        TsbBurner burner;
        TCliOpenDrive drive(burner, device, options.Transport);

        // The erase runs on a worker so this thread can pass a Ctrl-C on as
        // a cancel, in the engine's wait steps.
        char text[kExceptionTextSize] = {};
        uint32_t status = 0;
        uint8_t failure[kFailureInfoSize] = {};
        output.Log(options.Full ? SbTranslate("tavrin-burn", "Erasing the whole disc")
                                : SbTranslate("tavrin-burn", "Erasing the disc"),
                   litInfo);
        const TsbStayAwake awake(EraseReason(DriveTitle(burner.DeviceName, device.Product)));
        std::future<TsbCallResult> erase = std::async(std::launch::async, [&] {
            return LibraryCall(
                "StarBurn_CdvdBurnerGrabber_Blank",
                FailureOf("StarBurn_CdvdBurnerGrabber_Blank", text, sizeof text, &status), [&] {
                    return StarBurn_CdvdBurnerGrabber_Blank(burner.Grabber, text, sizeof text,
                                                            &status, failure, options.Full ? 1 : 0);
                });
        });
        bool cancelSent = false;
        while (erase.wait_for(std::chrono::milliseconds(80)) != std::future_status::ready) {
            if (signals.Requested() && !cancelSent) {
                burner.Cancel();
                signals.Acknowledge();
                cancelSent = true;
            }
        }
        const TsbCallResult result = erase.get();
        if (result.Exception == SB_EXCEPTION_CANCELLED) {
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }
        if (result.Failed()) {
            output.Error(result.FailureText);
            return finish(output,
                          result.Exception == SB_EXCEPTION_MEDIUM_ERROR ? exNoDriveOrDisc
                                                                        : exBurnFailed,
                          "failed", result.FailureText);
        }
        output.Log(SbTranslate("tavrin-burn", "Disc erased"), litInfo);
        return finish(output, exDone, "done", SbTranslate("tavrin-burn", "Disc erased"));
    });
}

int RunCheckCommand(const TCliCheckOptions& options, TCliSignals& signals) {
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        if (IsCueSheet(options.Image)) {
            const TCliCue cue = checkCue(options.Image, nullptr);
            for (const std::string& line : cue.Lines) {
                options.Json ? output.Note(line) : output.Raw(line);
            }
            return finish(output, exDone, "done",
                          SbTranslate("tavrin-burn", "The cue sheet can be burnt"));
        }
        existingImage(options.Image);
        TsbVerifyCallbacks callbacks;
        callbacks.Cancelled = [&signals] {
            if (!signals.Requested()) {
                return false;
            }
            signals.Acknowledge();
            return true;
        };
        const TsbImageSums sums = SumImageFile(options.Image, callbacks);
        if (sums.Cancelled) {
            stop(exCancelled, SbTranslate("tavrin-burn", "The check was cancelled"));
        }
        const TsbImageCheck& check = sums.Check;
        const std::string md5Text =
            !check.HasImplantedMd5 ? SbTranslate("tavrin-burn", "none")
            : sums.Md5Correct
                ? SbTranslate("tavrin-burn", "correct")
                : SbTranslate("tavrin-burn",
                              "incorrect (the file does not match the checksum it carries)");
        if (options.Json) {
            output.Raw(JsonEvent(
                "image",
                {{"path", JsonString(options.Image)},
                 {"file_bytes", std::to_string(check.FileBytes)},
                 {"iso9660", check.IsIso ? "true" : "false"},
                 {"volume_bytes", check.IsIso ? std::to_string(check.DescribedBytes) : "null"},
                 {"complete", check.Incomplete() ? "false" : "true"},
                 {"implanted_md5", check.HasImplantedMd5 ? JsonString(check.ImplantedMd5) : "null"},
                 {"implanted_md5_correct", !check.HasImplantedMd5 ? std::string("null")
                                           : sums.Md5Correct      ? "true"
                                                                  : "false"},
                 {"sha256", JsonString(sums.Sha256)},
                 {"sha256_written", JsonString(sums.Sha256Written)}}));
        } else {
            output.Raw(fmt::format(fmt::runtime(SbTranslate("tavrin-burn", "Image: {}, {} bytes")),
                                   options.Image, check.FileBytes));
            output.Raw(
                check.IsIso
                    ? fmt::format(
                          fmt::runtime(SbTranslate("tavrin-burn", "ISO9660 volume: {} bytes")),
                          check.DescribedBytes)
                    : std::string(SbTranslate(
                          "tavrin-burn", "ISO9660 volume: none (the file is burnt as it is)")));
            output.Raw(SbTranslate("tavrin-burn", "Implanted MD5 checksum: ") + md5Text);
            output.Raw("SHA-256: " + sums.Sha256);
            if (sums.Sha256Written != sums.Sha256) {
                // What a verification after the burn reports: the file padded to whole blocks.
                output.Raw(SbTranslate(
                               "tavrin-burn",
                               "SHA-256 of the data a burn writes (padded to 2048-byte blocks): ") +
                           sums.Sha256Written);
            }
        }
        if (check.Incomplete()) {
            const std::string text = IncompleteImageText(check);
            output.Error(text);
            return finish(output, exUsage, "incomplete", text);
        }
        if (check.HasImplantedMd5 && !sums.Md5Correct) {
            const std::string text =
                SbTranslate("tavrin-burn", "Implanted MD5 checksum: ") + md5Text;
            output.Error(text);
            return finish(output, exVerifyFailed, "verify-failed", text);
        }
        return finish(output, exDone, "done", SbTranslate("tavrin-burn", "The image is complete"));
    });
}

int RunVerifyCommand(const TCliVerifyOptions& options, TCliSignals& signals) {
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        const TsbImageCheck check = existingImage(options.Image);
        if (check.Incomplete()) {
            stop(exUsage, IncompleteImageText(check));
        }
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        TsbDeviceItem* found = &findDevice(finder, frontEnd, options.Transport, options.Device);
        if (options.Wait) {
            found = &waitForDisc(finder, frontEnd, options.Transport, *found,
                                 TsbDiscWanted::Written, output);
        }
        TsbDeviceItem& device = *found;
        if (device.DiscType == DISC_TYPE_NO_MEDIA) {
            stop(exNoDriveOrDisc, LoadResString(rsNoMediaInDrive));
        }
        if (device.DiscSpace.TotalBytes > 0 &&
            device.DiscSpace.FreeBytes == device.DiscSpace.TotalBytes) {
            stop(exNoDriveOrDisc,
                 SbTranslate("tavrin-burn", "The disc is blank: there is nothing on it to verify"));
        }

        TsbBurner burner;
        TCliOpenDrive drive(burner, device, options.Transport);

        // The image was the last session written: it starts at that session's first track.
        const uint32_t start = burner.LastSessionStart();
        burner.WriteStartAddress = start;
        burner.Verify = true;

        TsbActionList actions;
        TsbAction verify;
        TsbActionItem* item = actions.Add();
        item->Action = &verify;
        actions.Burner = &burner;
        actions.OnMessage = [&output](void*, const std::string& text, TsbLogItemType kind) {
            output.Log(text, kind);
        };
        actions.BindMessages();

        const int64_t bytes = IsCueSheet(options.Image)
                                  ? checkCue(options.Image, nullptr).Bytes
                                  : static_cast<int64_t>(BlocksOfBytes(check.FileBytes)) * 2048;
        const uint32_t unit = SpeedTableFor(device.DiscType).Unit;
        TsbCallBackEventer& eventer = CallBackEventer();
        eventer.SetOnProgress([&output](TsbCallBackEventer&, int32_t p) { output.Progress(p); });
        eventer.SetOnCancelEnabled([&output, bytes, unit](TsbCallBackEventer&, bool on) {
            if (on) {
                output.BeginVerify(bytes, unit);
            }
        });
        frontEnd.OnWait = [&] {
            if (signals.Requested() && !burner.Cancelled) {
                burner.Cancelled = true;
                signals.Acknowledge();
            }
            output.Tick();
        };
        output.Log(
            fmt::format(
                fmt::runtime(SbTranslate("tavrin-burn", "{}: {} {}, the image from block {} on")),
                device.DeviceName, device.Product, DiscTypeToStr(device.DiscType), start),
            litInfo);
        bool verified = false;
        std::string failure;
        try {
            verify.Execute(item);
            verified = verify.VerifyDisc(options.Image);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        frontEnd.OnWait = nullptr;
        eventer.SetOnCancelEnabled({});
        eventer.SetOnProgress({});
        actions.OnMessage = {};
        actions.BindMessages();
        output.EndWrite();

        if (!failure.empty()) {
            output.Error(failure);
            return finish(output, exBurnFailed, "failed", failure);
        }
        if (verified) {
            return finish(output, exDone, "done", SbTranslate("tavrin-burn", "Disc verified"));
        }
        if (burner.Cancelled) {
            output.Note(SbTranslate("tavrin-burn", "Verification cancelled"));
            return finish(output, exCancelled, "cancelled",
                          SbTranslate("tavrin-burn", "Verification cancelled"));
        }
        output.Error(burner.StatusText);
        return finish(output, exVerifyFailed, "verify-failed", burner.StatusText);
    });
}
