// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/sbCliDevices.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "cli/sbCliSignals.h"
#include "engine/sbBurner.h"
#include "platform/sbDrives.h"
#include "starburn/StarBurn.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace cli {

namespace {

// A search by name (SPTI) learns no SCSI address, a search by address (ASPI)
// no device name. The missing one is looked up through the drive letter both
// share: the library's address-to-letter table and the letter-to-device table.
void completeNamesAndAddresses(TsbDeviceList& devices) {
    std::vector<TsbDeviceAddress> addresses;
    LibraryCall("StarBurn_FindDevice", [&] {
        return StarBurn_FindDevice(
            5, 0,
            [](uint32_t reason, void* context, void* special1, void*) {
                if ((reason & 0xFF) == 10 && special1 != nullptr) {
                    static_cast<std::vector<TsbDeviceAddress>*>(context)->push_back(
                        TsbDeviceAddress::FromLibrary(
                            *static_cast<const SB_DEVICE_ADDRESS*>(special1)));
                }
            },
            &addresses);
    });
    for (const TsbDeviceAddress& address : addresses) {
        char name[64] = {};
        if (LibraryCall("StarBurn_GetDeviceNameByDeviceAddress", [&] {
                return StarBurn_GetDeviceNameByDeviceAddress(address.PortID, address.BusID,
                                                             address.TargetID, address.LUN, name);
            }) != 0) {
            continue;
        }
        const std::string letter = std::strlen(name) > 4 ? std::string(name + 4) : std::string();
        for (int i = 0; i < devices.Count(); ++i) {
            TsbDeviceItem& device = *devices.Items(i);
            if (device.Address.Present == 0 && !letter.empty() &&
                SameTextNoCase(device.DriveLetter, letter)) {
                device.Address = address;
            }
        }
    }
    for (int i = 0; i < devices.Count(); ++i) {
        TsbDeviceItem& device = *devices.Items(i);
        if (!device.DeviceName.empty() || device.DriveLetter.empty()) {
            continue;
        }
        if (const auto target = platform::QueryDosDevice(device.DriveLetter)) {
            const auto slash = target->find_last_of('\\');
            device.DeviceName = slash == std::string::npos ? *target : target->substr(slash + 1);
        }
    }
}

std::string addressText(const TsbDeviceAddress& address) {
    if (address.Present == 0) {
        return "";
    }
    return fmt::format("{}:{}:{}:{}", address.PortID, address.BusID, address.TargetID, address.LUN);
}

std::string letterText(const std::string& letter) {
    if (letter.empty()) {
        return "";
    }
    return letter.back() == ':' ? letter : letter + ":";
}

// The disc column of the recorder sheet: the size used, "Blank", or nothing
// for an empty tray (whose kind reads "Empty").
std::string sizeText(const TsbDeviceItem& device) {
    if (!device.Usable() || device.DiscType == DISC_TYPE_NO_MEDIA) {
        return "";
    }
    const TsbDiscSpace& space = device.DiscSpace;
    if (space.FreeBytes == space.TotalBytes) {
        return LoadResString(rsBlank);
    }
    return space.TotalBytes > 0 ? SizeToMBStr(false, space.UsedBytes) : std::string();
}

// Empty when the device can write the disc in it, else the recorder sheet's reason.
std::string whyNotWritable(const TsbDeviceItem& device) {
    if (!device.Usable()) {
        return device.AccessText;
    }
    if (!device.MediaFormats.WritesAnything()) {
        return SbTranslate("tavrin-burn", "The drive is not a recorder");
    }
    try {
        CheckRecorderForBurn(device, device.DiscSpace);
    } catch (const EsbError& e) {
        return e.what();
    }
    return "";
}

std::optional<TsbDeviceAddress> parseAddress(const std::string& text) {
    unsigned p = 0, b = 0, t = 0, l = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%u:%u:%u:%u%c", &p, &b, &t, &l, &end) != 4 || p > 255 ||
        b > 255 || t > 255 || l > 255) {
        return std::nullopt;
    }
    return TsbDeviceAddress{1, static_cast<uint8_t>(p), static_cast<uint8_t>(b),
                            static_cast<uint8_t>(t), static_cast<uint8_t>(l)};
}

bool matchesDevice(const TsbDeviceItem& device, const std::string& spec) {
    if (SameTextNoCase(device.DeviceName, spec)) {
        return true;
    }
    if (const auto address = parseAddress(spec)) {
        return device.Address.Matches(*address);
    }
    std::string letter = spec;
    if (!letter.empty() && letter.back() == ':') {
        letter.pop_back();
    }
    std::string own = device.DriveLetter;
    if (!own.empty() && own.back() == ':') {
        own.pop_back();
    }
    return letter.size() == 1 && !own.empty() && SameTextNoCase(own, letter);
}

// "<media id> (<manufacturer>)", either alone, or empty.
std::string MediaText(const TsbDeviceItem& d) {
    if (d.MediaMaker.empty()) {
        return d.MediaId;
    }
    return d.MediaId.empty() ? d.MediaMaker : d.MediaId + " (" + d.MediaMaker + ")";
}

// The device's line of the devices command, as the columns of the table or
// as a JSON event.
std::vector<std::string> deviceColumns(const TsbDeviceItem& d, const std::string& why) {
    const std::string disc = d.Usable() ? DiscTypeToStr(d.DiscType) : std::string();
    return {d.DeviceName,
            letterText(d.DriveLetter),
            addressText(d.Address),
            d.Vendor,
            d.Product,
            d.ProductRevisionLevel,
            DeviceAccessName(d.Access),
            disc,
            sizeText(d),
            d.DiscLabel,
            MediaText(d),
            why.empty() ? SbTranslate("tavrin-burn", "yes")
                        : SbTranslate("tavrin-burn", "no: ") + why};
}

std::string deviceEvent(const TsbDeviceItem& d, const std::string& why) {
    const std::string disc = d.Usable() ? DiscTypeToStr(d.DiscType) : std::string();
    return JsonEvent("device", {{"device", JsonString(d.DeviceName)},
                                {"letter", JsonString(letterText(d.DriveLetter))},
                                {"address", JsonString(addressText(d.Address))},
                                {"vendor", JsonString(d.Vendor)},
                                {"product", JsonString(d.Product)},
                                {"revision", JsonString(d.ProductRevisionLevel)},
                                {"recorder", d.MediaFormats.WritesAnything() ? "true" : "false"},
                                {"state", JsonString(DeviceAccessName(d.Access))},
                                {"disc", JsonString(disc)},
                                {"size", JsonString(sizeText(d))},
                                {"free_bytes", std::to_string(d.DiscSpace.FreeBytes)},
                                {"used_bytes", std::to_string(d.DiscSpace.UsedBytes)},
                                {"label", JsonString(d.DiscLabel)},
                                {"media_id", JsonString(d.MediaId)},
                                {"manufacturer", JsonString(d.MediaMaker)},
                                {"writable", why.empty() ? "true" : "false"},
                                {"reason", JsonString(why)}});
}

} // namespace

void searchDevices(TsbDeviceFinder& finder, TCliFrontEnd& frontEnd, TsbTransportType transport) {
    finder.TransportType = transport;
    frontEnd.OnWait = [&finder, &frontEnd] {
        if (frontEnd.Signals().Requested()) {
            finder.CancelSearch();
            frontEnd.Signals().Acknowledge();
        }
    };
    finder.Search(false);
    frontEnd.OnWait = nullptr;
    if (frontEnd.Signals().Requested()) {
        stop(exCancelled, SbTranslate("tavrin-burn", "The device search was cancelled"));
    }
    completeNamesAndAddresses(finder.Devices);
    for (int i = 0; i < finder.Devices.Count(); ++i) {
        TsbDeviceItem* device = finder.Devices.Items(i);
        if (device->Usable() && device->DiscType != DISC_TYPE_NO_MEDIA) {
            device->DiscSpace = QueryDiscSpace(*device);
        }
    }
}

bool mayBeRecorder(const TsbDeviceItem& device) {
    return device.MediaFormats.WritesAnything() ||
           (!device.Usable() && !device.MediaFormatsKnown());
}

TsbDeviceItem& chooseDevice(const TsbDeviceList& devices, const std::string& spec) {
    if (!spec.empty()) {
        for (int i = 0; i < devices.Count(); ++i) {
            TsbDeviceItem& device = *devices.Items(i);
            if (matchesDevice(device, spec)) {
                if (!device.Usable()) {
                    stop(exNoDriveOrDisc, device.AccessText);
                }
                return device;
            }
        }
        stop(
            exNoDriveOrDisc,
            fmt::format(fmt::runtime(SbTranslate(
                            "tavrin-burn",
                            "No drive {} was found (tavrin-burn devices --all lists every drive)")),
                        spec));
    }
    // A recorder in use still counts: the user may mean it, and the free one
    // is not taken in its place without being named.
    std::vector<TsbDeviceItem*> writers;
    for (int i = 0; i < devices.Count(); ++i) {
        if (mayBeRecorder(*devices.Items(i))) {
            writers.push_back(devices.Items(i));
        }
    }
    if (writers.empty()) {
        stop(exNoDriveOrDisc, LoadResString(rsSelectBurningDevice));
    }
    if (writers.size() > 1) {
        std::string names;
        for (const TsbDeviceItem* writer : writers) {
            names +=
                (names.empty() ? "" : ", ") + writer->DeviceName +
                (writer->Usable() ? ""
                                  : std::string(" (") + DeviceAccessName(writer->Access) + ")");
        }
        stop(exUsage, fmt::format(fmt::runtime(SbTranslate(
                                      "tavrin-burn",
                                      "There are {} recorders; choose one with --device ({})")),
                                  writers.size(), names));
    }
    if (!writers.front()->Usable()) {
        stop(exNoDriveOrDisc, writers.front()->AccessText);
    }
    return *writers.front();
}

TsbDeviceItem& findDevice(TsbDeviceFinder& finder, TCliFrontEnd& frontEnd,
                          const std::string& transport, const std::string& spec) {
    searchDevices(finder, frontEnd, transportOf(transport));
    return chooseDevice(finder.Devices, spec);
}

TsbDeviceItem& waitForDisc(TsbDeviceFinder& finder, TCliFrontEnd& frontEnd,
                           const std::string& transport, TsbDeviceItem& device,
                           TsbDiscWanted wanted, TCliOutput& output) {
    const bool hasDisc = device.DiscType != DISC_TYPE_NO_MEDIA;
    const bool blank = hasDisc && device.DiscSpace.TotalBytes > 0 &&
                       device.DiscSpace.FreeBytes == device.DiscSpace.TotalBytes;
    const bool wantedIn = wanted == TsbDiscWanted::Blank     ? blank
                          : wanted == TsbDiscWanted::Written ? hasDisc && !blank
                                                             : hasDisc;
    if (!device.Usable() || wantedIn) {
        return device;
    }
    const std::string name = device.DeviceName;
    output.Note(InsertDiscText(
        (!device.Product.empty() ? device.Product + " (" + name + ")" : name), wanted));
    TsbDiscWait wait;
    wait.WakeFds = {frontEnd.Signals().WakeFd()};
    const TsbDiscWaitResult result = wait.Wait(name, wanted);
    if (result.Outcome == TsbDiscWaitOutcome::Cancelled) {
        stop(exCancelled, LoadResString(rsCanceledByUser));
    }
    if (result.Outcome != TsbDiscWaitOutcome::Ready) {
        stop(exNoDriveOrDisc, result.Last.Text);
    }
    // The probe and the disc space of the recorder sheet, for the disc now in.
    return findDevice(finder, frontEnd, transport, name);
}

TCliOpenDrive::TCliOpenDrive(TsbBurner& burner, const TsbDeviceItem& device,
                             const std::string& transport)
    : burner_(burner) {
    CopyDeviceChoice(device, transportOf(transport), burner);
    burner.OpenDevice();
}

TCliOpenDrive::~TCliOpenDrive() {
    // A log that cannot be written must not leave the drive open either.
    try {
        burner_.CloseDevice();
    } catch (const std::exception&) {
    }
}

} // namespace cli

int RunDevicesCommand(const TCliDevicesOptions& options, TCliSignals& signals) {
    using namespace cli;
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        searchDevices(finder, frontEnd, transportOf(options.Transport));

        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> header;
        for (const char* column :
             {SB_TRANSLATE_NOOP("tavrin-burn", "DEVICE"),
              SB_TRANSLATE_NOOP("tavrin-burn", "LETTER"),
              SB_TRANSLATE_NOOP("tavrin-burn", "ADDRESS"),
              SB_TRANSLATE_NOOP("tavrin-burn", "VENDOR"),
              SB_TRANSLATE_NOOP("tavrin-burn", "PRODUCT"),
              SB_TRANSLATE_NOOP("tavrin-burn", "REVISION"),
              SB_TRANSLATE_NOOP("tavrin-burn", "STATE"), SB_TRANSLATE_NOOP("tavrin-burn", "DISC"),
              SB_TRANSLATE_NOOP("tavrin-burn", "SIZE"), SB_TRANSLATE_NOOP("tavrin-burn", "LABEL"),
              SB_TRANSLATE_NOOP("tavrin-burn", "MEDIA ID (MAKER)"),
              SB_TRANSLATE_NOOP("tavrin-burn", "WRITES THIS DISC")}) {
            header.push_back(SbTranslate("tavrin-burn", column));
        }
        rows.push_back(header);
        int listed = 0;
        for (int i = 0; i < finder.Devices.Count(); ++i) {
            const TsbDeviceItem& d = *finder.Devices.Items(i);
            // A drive that may not be opened now and does not tell what it
            // writes is listed, so the user learns why it cannot be used.
            if (!mayBeRecorder(d) && !options.All) {
                continue;
            }
            ++listed;
            const std::string why = whyNotWritable(d);
            if (options.Json) {
                output.Raw(deviceEvent(d, why));
            } else {
                rows.push_back(deviceColumns(d, why));
            }
        }
        if (!options.Json) {
            printTable(output, rows);
        }
        if (listed == 0) {
            const std::string text = options.All
                                         ? SbTranslate("tavrin-burn", "No drive was found")
                                         : SbTranslate("tavrin-burn", "No recorder was found");
            output.Error(text);
            return finish(output, exNoDriveOrDisc, "no-drive-or-disc", text);
        }
        return finish(output, exDone, "done",
                      fmt::format(fmt::runtime(SbTranslate("tavrin-burn", "{} drive(s)")), listed));
    });
}
