#include "cli/sbCliCommands.h"

#include "base/StarBurnImport.h"
#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "base/sbFrontEnd.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbUtils.h"
#include "cli/sbCliOutput.h"
#include "cli/sbCliSignals.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDiscSpeedList.h"
#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "engine/sbLibrarySession.h"
#include "engine/sbLog.h"
#include "engine/sbVerify.h"
#include "platform/sbDrives.h"
#include "platform/sbSystem.h"
#include "starburn/StarBurn.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A run that ends early: its exit status and the text that says why.
struct ECliStop {
    int Status;
    std::string Text;
};

[[noreturn]] void stop(int status, const std::string& text) {
    throw ECliStop{status, text};
}

TCliOutputForm outputForm(bool json) {
    if (json) {
        return TCliOutputForm::Json;
    }
    return ::isatty(STDOUT_FILENO) ? TCliOutputForm::Terminal : TCliOutputForm::Plain;
}

TsbTransportType transportOf(const std::string& name) {
    return name == "aspi" ? ttAspi : ttSpti;
}

// The front-end hooks of a terminal, and the library session, for one command.
class TCliFrontEnd {
public:
    TCliFrontEnd(TCliOutput& output, TCliSignals& signals) : output_(output), signals_(signals) {
        SetMessageBoxHook([this](const std::string& text, const std::string& caption,
                                 TsbMessageBoxKind kind) {
            const std::string shown = caption.empty() || caption == "Error" || caption == "Warning"
                                          ? text
                                          : caption + ": " + text;
            if (kind == TsbMessageBoxKind::mbkError) {
                output_.Error(shown);
            } else {
                output_.Error((kind == TsbMessageBoxKind::mbkWarning ? "warning: " : "") + shown);
            }
        });
        // No progress window: a search from the terminal shows nothing while it runs.
        SetProgressWindowFactory(nullptr);
        SetProcessMessagesHook([this] {
            if (OnWait) {
                OnWait();
            }
        });
        // The version line is for a debugger; a wrong version also shows a
        // warning box, which reaches standard error through the hook above.
        platform::SetDebugOutputSink([](std::string_view) {});
        CheckStarBurnVersion();
        platform::SetDebugOutputSink(nullptr);
        session_.StartLibrary();
    }
    ~TCliFrontEnd() {
        session_.ShutDownLibrary();
        SetProcessMessagesHook(nullptr);
        SetMessageBoxHook(nullptr);
    }
    TCliFrontEnd(const TCliFrontEnd&) = delete;
    TCliFrontEnd& operator=(const TCliFrontEnd&) = delete;

    // Run on the main thread every step the engine waits for a worker.
    std::function<void()> OnWait;

    TCliSignals& Signals() { return signals_; }

private:
    TCliOutput& output_;
    TCliSignals& signals_;
    TsbLibrarySession session_;
};

// A search by name (SPTI) learns no SCSI address, a search by address (ASPI)
// no device name. The missing one is looked up through the drive letter both
// share: the library's address-to-letter table and the letter-to-device table.
void completeNamesAndAddresses(TsbDeviceList& devices) {
    std::vector<TsbDeviceAddress> addresses;
    StarBurn_FindDevice(
        5, 0,
        [](uint32_t reason, void* context, void* special1, void*) {
            if ((reason & 0xFF) == 10 && special1 != nullptr) {
                static_cast<std::vector<TsbDeviceAddress>*>(context)->push_back(
                    TsbDeviceAddress::FromLibrary(
                        *static_cast<const SB_DEVICE_ADDRESS*>(special1)));
            }
        },
        &addresses);
    for (const TsbDeviceAddress& address : addresses) {
        char name[64] = {};
        if (StarBurn_GetDeviceNameByDeviceAddress(address.PortID, address.BusID, address.TargetID,
                                                  address.LUN, name) != 0) {
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

// The search and probe of the recorder sheet, with its disc-space question
// for every drive with a disc in it.
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
        stop(exCancelled, "The device search was cancelled");
    }
    completeNamesAndAddresses(finder.Devices);
    for (int i = 0; i < finder.Devices.Count(); ++i) {
        TsbDeviceItem* device = finder.Devices.Items(i);
        if (device->Usable() && device->DiscType != DISC_TYPE_NO_MEDIA) {
            device->DiscSpace = QueryDiscSpace(*device);
        }
    }
}

// A drive that writes any kind of disc. (The recorder sheet looks at CD-R
// alone, which leaves out drives that write only DVDs, such as a libburn
// pseudo-drive, an image file that takes the part of a DVD-RAM.)
bool isRecorder(const TsbDeviceItem& device) {
    const TsbMediaFormats& f = device.MediaFormats;
    return f.WritesCDR || f.WritesCDRW || f.WritesDVDR || f.WritesDVDRAM || f.WritesDVDPlusR ||
           f.WritesDVDPlusRW || f.WritesDVDPlusRDL;
}

// A recorder, or a drive that may not be opened now and does not tell what it
// writes: either may be the one the user means.
bool mayBeRecorder(const TsbDeviceItem& device) {
    return isRecorder(device) || (!device.Usable() && !device.MediaFormatsKnown());
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
    if (!isRecorder(device)) {
        return "The drive is not a recorder";
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

// The drive --device names, or the only recorder when it names none. A drive
// the user may not open now (busy, mounted, forbidden) is never chosen: the
// run ends with the library's advice.
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
        stop(exNoDriveOrDisc,
             "No drive " + spec + " was found (tavrin-burn devices --all lists every drive)");
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
        stop(exUsage, "There are " + std::to_string(writers.size()) +
                          " recorders; choose one with --device (" + names + ")");
    }
    if (!writers.front()->Usable()) {
        stop(exNoDriveOrDisc, writers.front()->AccessText);
    }
    return *writers.front();
}

// The burning modes of the mode sheet, in its order, with its rules.
struct TModeChoice {
    const char* Option;
    const char* Name;
    uint8_t WriteMode;
};
constexpr TModeChoice kModes[] = {
    {"raw", "Disc-At-Once raw P-W", wmDiscAtOnceRawPWFromFile},
    {"dao", "Disc-At-Once PQ", wmDiscAtOncePQFromFile},
    {"sao", "Session-At-Once", wmSessionAtOnceFromFile},
    {"tao", "Track-At-Once", wmTrackAtOnceFromFile},
};

bool modeOffered(const TModeChoice& mode, const TsbDeviceItem& device) {
    const bool dvd = IsDVDDiscType(device.DiscType);
    const bool blank = device.DiscInformation.DiscStatus() == 0;
    const TsbWriteModes& can = device.WriteModes;
    switch (mode.WriteMode) {
    case wmDiscAtOnceRawPWFromFile:
        return can.CanWriteDAORaw && blank && !dvd;
    case wmDiscAtOncePQFromFile:
        return can.CanWriteDAOPQ && blank && !dvd;
    case wmSessionAtOnceFromFile:
        return can.CanWriteSAO && blank && !dvd;
    default:
        return can.CanWriteTAO != 0;
    }
}

const TModeChoice& chooseMode(const TsbDeviceItem& device, const std::string& option) {
    std::vector<const TModeChoice*> offered;
    for (const TModeChoice& mode : kModes) {
        if (modeOffered(mode, device)) {
            offered.push_back(&mode);
        }
    }
    if (offered.empty()) {
        stop(exNoDriveOrDisc, "The recorder offers no burning mode for this disc");
    }
    // The mode sheet preselects Track-At-Once, else the first mode it lists.
    const std::string wanted = option.empty() ? "tao" : option;
    for (const TModeChoice* mode : offered) {
        if (wanted == mode->Option) {
            return *mode;
        }
    }
    if (option.empty()) {
        return *offered.front();
    }
    std::string names;
    for (const TModeChoice* mode : offered) {
        names += (names.empty() ? "" : ", ") + std::string(mode->Option);
    }
    const auto* asked = std::find_if(std::begin(kModes), std::end(kModes),
                                     [&](const TModeChoice& m) { return option == m.Option; });
    stop(exNoDriveOrDisc, std::string(asked->Name) +
                              " is not offered for this recorder and disc; offered: " + names);
}

// The image checks of the image sheet's Next, and the engine's check of an
// ISO image shorter than its own volume (a cut-off download).
int64_t checkImage(const std::string& path, const TsbDiscSpace& space) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        stop(exUsage, LoadResString(rsMustSelectImageFile) + ": " + path);
    }
    TsbImageCheck check;
    try {
        check = CheckImageFile(path);
    } catch (const EsbError& e) {
        stop(exUsage, e.what());
    }
    const auto size = static_cast<int64_t>(check.FileBytes);
    if (size > space.FreeBytes) {
        stop(exNoDriveOrDisc, LoadResString(rsImageTooBig));
    }
    if (check.Incomplete()) {
        stop(exUsage, IncompleteImageText(check));
    }
    return size;
}

// A question of the burn: answered by --yes, asked on a terminal, refused
// without one. Ctrl-C while it waits counts as no.
// The burner pointed at a drive the search found, by name (or drive letter)
// and address, as Next on the recorder sheet does.
void AimBurner(TsbBurner& burner, const TsbDeviceItem& device, TsbTransportType transport) {
    burner.DeviceAddress = device.Address;
    burner.DeviceName =
        !device.DeviceName.empty() ? device.DeviceName : "\\\\.\\" + device.DriveLetter;
    burner.TransportType = transport;
}

bool ask(const std::string& question, bool yes, TCliOutput& output, TCliSignals& signals) {
    if (yes) {
        return true;
    }
    if (!::isatty(STDIN_FILENO)) {
        stop(exUsage, "\"" + question + "\" needs an answer and there is no terminal to ask; " +
                          "add --yes to answer yes");
    }
    output.Raw(question + " [y/N]");
    std::string answer;
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signals.WakeFd(), POLLIN, 0}};
        if (::poll(fds, signals.WakeFd() >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (signals.Requested()) {
            signals.Acknowledge();
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0 || c == '\n') {
            break;
        }
        answer += c;
    }
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int finish(TCliOutput& output, int status, const std::string& outcome, const std::string& text) {
    output.Result(status, outcome, text);
    return status;
}

int stopped(TCliOutput& output, const ECliStop& e) {
    const char* outcome = e.Status == exCancelled ? "cancelled"
                          : e.Status == exUsage   ? "usage"
                                                  : "no-drive-or-disc";
    if (e.Status == exCancelled) {
        output.Note(e.Text);
    } else {
        output.Error(e.Text);
    }
    return finish(output, e.Status, outcome, e.Text);
}

// Runs a command's body with its output: a stop it raises ends the run with
// its own status, any other error as a failed burn.
template <class Body>
int runCommand(bool json, Body&& body) {
    TCliOutput output(outputForm(json), stdout, stderr);
    try {
        return body(output);
    } catch (const ECliStop& e) {
        return stopped(output, e);
    } catch (const std::exception& e) {
        output.Error(e.what());
        return finish(output, exBurnFailed, "failed", e.what());
    }
}

} // namespace

std::string CheckSpeedText(const std::string& text) {
    if (text == "max") {
        return "";
    }
    std::string digits = text;
    if (!digits.empty() && (digits.back() == 'x' || digits.back() == 'X')) {
        digits.pop_back();
    }
    if (digits.empty() || digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(digits) == 0) {
        return "the speed is max, a number of KB/s (1385) or an x-factor (8x): " + text;
    }
    return "";
}

int RunDevicesCommand(const TCliDevicesOptions& options, TCliSignals& signals) {
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        searchDevices(finder, frontEnd, transportOf(options.Transport));

        std::vector<std::vector<std::string>> rows;
        rows.push_back({"DEVICE", "LETTER", "ADDRESS", "VENDOR", "PRODUCT", "REVISION", "STATE",
                        "DISC", "SIZE", "LABEL", "WRITES THIS DISC"});
        int listed = 0;
        for (int i = 0; i < finder.Devices.Count(); ++i) {
            const TsbDeviceItem& d = *finder.Devices.Items(i);
            const bool writer = isRecorder(d);
            // A drive that may not be opened now and does not tell what it
            // writes is listed, so the user learns why it cannot be used.
            if (!mayBeRecorder(d) && !options.All) {
                continue;
            }
            const std::string disc = d.Usable() ? DiscTypeToStr(d.DiscType) : std::string();
            ++listed;
            const std::string why = whyNotWritable(d);
            if (options.Json) {
                output.Raw(
                    JsonEvent("device", {{"device", JsonString(d.DeviceName)},
                                         {"letter", JsonString(letterText(d.DriveLetter))},
                                         {"address", JsonString(addressText(d.Address))},
                                         {"vendor", JsonString(d.Vendor)},
                                         {"product", JsonString(d.Product)},
                                         {"revision", JsonString(d.ProductRevisionLevel)},
                                         {"recorder", writer ? "true" : "false"},
                                         {"state", JsonString(DeviceAccessName(d.Access))},
                                         {"disc", JsonString(disc)},
                                         {"size", JsonString(sizeText(d))},
                                         {"free_bytes", std::to_string(d.DiscSpace.FreeBytes)},
                                         {"used_bytes", std::to_string(d.DiscSpace.UsedBytes)},
                                         {"label", JsonString(d.DiscLabel)},
                                         {"writable", why.empty() ? "true" : "false"},
                                         {"reason", JsonString(why)}}));
            } else {
                rows.push_back({d.DeviceName, letterText(d.DriveLetter), addressText(d.Address),
                                d.Vendor, d.Product, d.ProductRevisionLevel,
                                DeviceAccessName(d.Access), disc, sizeText(d), d.DiscLabel,
                                why.empty() ? "yes" : "no: " + why});
            }
        }
        if (!options.Json) {
            std::vector<size_t> widths(rows.front().size(), 0);
            for (const auto& row : rows) {
                for (size_t c = 0; c < row.size(); ++c) {
                    widths[c] = std::max(widths[c], row[c].size());
                }
            }
            for (const auto& row : rows) {
                std::string line;
                for (size_t c = 0; c < row.size(); ++c) {
                    line +=
                        c + 1 < row.size() ? fmt::format("{:<{}}  ", row[c], widths[c]) : row[c];
                }
                output.Raw(line);
            }
        }
        if (listed == 0) {
            const std::string text = options.All ? "No drive was found" : "No recorder was found";
            output.Error(text);
            return finish(output, exNoDriveOrDisc, "no-drive-or-disc", text);
        }
        return finish(output, exDone, "done", std::to_string(listed) + " drive(s)");
    });
}

int RunBurnCommand(const TCliBurnOptions& options, TCliSignals& signals) {
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        if ((options.Opc || options.RequireOpc) && options.Test) {
            // The options sheet switches calibration off for a test write.
            stop(exUsage, "--opc cannot be combined with --test: a test write sends no power "
                          "calibration");
        }
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        const TsbTransportType transport = transportOf(options.Transport);
        searchDevices(finder, frontEnd, transport);
        TsbDeviceItem& device = chooseDevice(finder.Devices, options.Device);

        // Every check before the drive is opened.
        if (!isRecorder(device)) {
            stop(exNoDriveOrDisc, LoadResString(rsSelectBurningDevice));
        }
        try {
            CheckRecorderForBurn(device, device.DiscSpace);
        } catch (const EsbError& e) {
            stop(exNoDriveOrDisc, e.what());
        }
        const int64_t imageSize = checkImage(options.Image, device.DiscSpace);
        const TModeChoice& mode = chooseMode(device, options.Mode);
        if (options.Test && device.WriteModes.CanTestWrite == 0) {
            stop(exNoDriveOrDisc, "The recorder cannot make a test write on this disc");
        }
        const std::string speedError = CheckSpeedText(options.Speed);
        if (!speedError.empty()) {
            stop(exUsage, speedError);
        }

        TsbBurner burner;
        burner.DeviceInfo.Vendor = device.Vendor;
        burner.DeviceInfo.Product = device.Product;
        burner.DeviceInfo.ProductRevisionLevel = device.ProductRevisionLevel;
        burner.DeviceInfo.BufferSize = static_cast<int64_t>(device.BufferSize);
        burner.DeviceInfo.MediaFormats = device.MediaFormats;
        burner.DiscSpace = device.DiscSpace;
        burner.WriteModes = device.WriteModes;
        burner.DiscType = device.DiscType;
        AimBurner(burner, device, transport);

        const std::string question = fmt::format(
            "Burn {} ({}) to {} {} ({}, {}){}{}?", options.Image, SizeToMBStr(false, imageSize),
            device.DeviceName, device.Product, DiscTypeToStr(device.DiscType), mode.Name,
            options.Test ? ", test write" : "", options.Verify ? ", then verify" : "");
        if (!ask(question, options.Yes, output, signals)) {
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }
        if (signals.Requested()) {
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }

        // From here on the drive is opened and locked, as Next on the recorder sheet does.
        burner.OpenDevice();
        burner.LockDevice();
        struct TRelease {
            TsbBurner& Burner;
            ~TRelease() {
                try {
                    Burner.ReleaseDevice();
                    Burner.CloseDevice();
                } catch (const std::exception&) {
                }
            }
        } release{burner};

        // The wizard log as the transport, recorder and image sheets leave it,
        // shown first as the final sheet shows it.
        TsbLog wizardLog;
        const std::pair<int32_t, std::string> rows[] = {
            {0, LoadResString(rsBurningImage)},
            {2, LoadResString(rsDestinationDevice) + ": " + device.Product},
            {3, LoadResString(rsSourceImageFile) + " " + options.Image},
        };
        for (const auto& [sheet, text] : rows) {
            TsbLogItem& row = wizardLog.Add();
            row.LogMessage = text;
            row.PageOwner = sheet;
        }
        for (int i = 0; i < wizardLog.Count(); ++i) {
            output.Log(wizardLog.Items(i).LogMessage, wizardLog.Items(i).ItemType);
        }

        TsbDiscSpeedList speeds;
        speeds.Fill(burner);
        const TsbSpeedTable& table = SpeedTableFor(burner.DiscType);
        int32_t speedFactor = 0;
        int32_t writeSpeed = 0;
        if (options.Speed == "max") {
            if (speeds.Count() == 0) {
                throw EsbError(NoSpeedSelectedText);
            }
            speedFactor = speeds.Items(speeds.Count() - 1)->SpeedInPoint;
            writeSpeed = speeds.Items(speeds.Count() - 1)->SpeedInSize;
        } else if (options.Speed.back() == 'x' || options.Speed.back() == 'X') {
            const int factor = std::stoi(options.Speed.substr(0, options.Speed.size() - 1));
            const TsbDiscSpeedItem* item = speeds.FindBySpeedInPoint(factor);
            if (item == nullptr) {
                std::string list;
                for (int i = 0; i < speeds.Count(); ++i) {
                    list += (list.empty() ? "" : ", ") + speeds.Items(i)->StrSpeed;
                }
                stop(exUsage, fmt::format("{}x is not a speed of this drive for this disc; it "
                                          "offers: {}",
                                          factor, list.empty() ? "none" : list));
            }
            speedFactor = item->SpeedInPoint;
            writeSpeed = item->SpeedInSize;
        } else {
            writeSpeed = std::stoi(options.Speed);
            speedFactor = std::max<int32_t>(1, writeSpeed / static_cast<int32_t>(table.Unit));
        }

        // The option record as the mode and options sheets leave it.
        burner.WriteMode = mode.WriteMode;
        burner.TestWrite = options.Test;
        // The options sheet leaves Track- and Session-At-Once discs open for
        // more sessions. A DVD-RAM has no sessions to leave open (libburn refuses
        // to try), and --close-disc asks for a closed disc.
        burner.MultiSession = (mode.WriteMode == wmTrackAtOnceFromFile ||
                               mode.WriteMode == wmSessionAtOnceFromFile) &&
                              !options.CloseDisc && burner.DiscType != DISC_TYPE_DVDRAM;
        burner.SendOPC = options.Opc || options.RequireOpc;
        burner.RequireOPC = options.RequireOpc;
        burner.OptionValue = 0;
        burner.SpeedFactor = speedFactor;
        burner.WriteSpeed = writeSpeed;
        burner.Verify = options.Verify;

        TsbActionList actions;
        TsbBurnAtOnceToCDDVDAction burn;
        burn.EjectWhenDone = !options.NoEject;
        actions.Options.SourceIsFile = 1;
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

        // The image is written in whole 2048-byte sectors.
        const int64_t writtenBytes = (imageSize + 2047) / 2048 * 2048;
        TsbCallBackEventer& eventer = CallBackEventer();
        eventer.SetOnProgress([&output](TsbCallBackEventer&, int32_t p) { output.Progress(p); });
        eventer.SetOnBufferStatus(
            [&output](TsbCallBackEventer&, int32_t p) { output.BufferFill(p); });
        eventer.SetOnImageBuildStart([](TsbCallBackEventer&) {});
        // The wizard enables its Cancel button when the write starts, and again
        // when the verification starts (after the burn thread has ended): so
        // does the progress line.
        eventer.SetOnCancelEnabled(
            [&output, &table, &burner, writtenBytes](TsbCallBackEventer&, bool on) {
                if (!on) {
                    return;
                }
                if (burner.BurnThreadRunning()) {
                    output.BeginWrite(writtenBytes, table.Unit);
                } else {
                    output.BeginVerify(writtenBytes, table.Unit);
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
        actions.OnMessage = {};
        actions.BindMessages();
        output.EndWrite();

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
                output.Note("Verification cancelled");
                return finish(output, exCancelled, "cancelled", "Verification cancelled");
            }
            const std::string text = firstError.empty() ? burner.StatusText : firstError;
            output.Error(text);
            return finish(output, exVerifyFailed, "verify-failed", text);
        }
        if (signals.Requested()) {
            output.Note("The write had finished when the cancel came; the disc is complete");
        }
        if (options.Verify && !options.Test) {
            return finish(output, exDone, "done", "Disc verified");
        }
        return finish(output, exDone, "done", LoadResString(rsBurningCompleted));
    });
}

int RunEjectCommand(const TCliEjectOptions& options, TCliSignals& signals) {
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
        TCliFrontEnd frontEnd(output, signals);
        TsbDeviceFinder finder;
        const TsbTransportType transport = transportOf(options.Transport);
        searchDevices(finder, frontEnd, transport);
        TsbDeviceItem& device = chooseDevice(finder.Devices, options.Device);

        TsbBurner burner;
        AimBurner(burner, device, transport);
        burner.OpenDevice();

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
        const TsbTransportType transport = transportOf(options.Transport);
        searchDevices(finder, frontEnd, transport);
        TsbDeviceItem& device = chooseDevice(finder.Devices, options.Device);
        const std::string question = fmt::format(
            "Erase the {} in {} {}{}? Everything on it is lost", DiscTypeToStr(device.DiscType),
            device.DeviceName, device.Product, options.Full ? " (every block)" : "");
        if (!ask(question, options.Yes, output, signals) || signals.Requested()) {
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }

        TsbBurner burner;
        AimBurner(burner, device, transport);
        burner.OpenDevice();
        struct TClose {
            TsbBurner& Burner;
            ~TClose() { Burner.CloseDevice(); }
        } close{burner};

        // The erase runs on a worker so this thread can pass a Ctrl-C on as
        // a cancel, in the engine's wait steps.
        char text[kExceptionTextSize] = {};
        uint32_t status = 0;
        uint8_t failure[kFailureInfoSize] = {};
        output.Log(options.Full ? "Erasing the whole disc" : "Erasing the disc", litInfo);
        Logger().Log("StarBurn_CdvdBurnerGrabber_Blank");
        std::future<uint8_t> erase = std::async(std::launch::async, [&] {
            return StarBurn_CdvdBurnerGrabber_Blank(burner.Grabber, text, sizeof text, &status,
                                                    failure, options.Full ? 1 : 0);
        });
        bool cancelSent = false;
        while (erase.wait_for(std::chrono::milliseconds(80)) != std::future_status::ready) {
            if (signals.Requested() && !cancelSent) {
                StarBurn_CdvdBurnerGrabber_Cancel(burner.Grabber);
                signals.Acknowledge();
                cancelSent = true;
            }
        }
        const uint8_t result = erase.get();
        if (result == SB_EXCEPTION_CANCELLED) {
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }
        if (result != SB_EXCEPTION_NONE) {
            const std::string why =
                LibraryFailureText("StarBurn_CdvdBurnerGrabber_Blank", result, status, text);
            Logger().Log(why);
            output.Error(why);
            return finish(output,
                          result == SB_EXCEPTION_MEDIUM_ERROR ? exNoDriveOrDisc : exBurnFailed,
                          "failed", why);
        }
        output.Log("Disc erased", litInfo);
        return finish(output, exDone, "done", "Disc erased");
    });
}

namespace {

// An image named on the command line: present, readable and not cut off.
TsbImageCheck existingImage(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        stop(exUsage, LoadResString(rsMustSelectImageFile) + ": " + path);
    }
    try {
        return CheckImageFile(path);
    } catch (const EsbError& e) {
        stop(exUsage, e.what());
    }
}

} // namespace

int RunCheckCommand(const TCliCheckOptions& options, TCliSignals& signals) {
    return runCommand(options.Json, [&](TCliOutput& output) -> int {
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
            stop(exCancelled, "The check was cancelled");
        }
        const TsbImageCheck& check = sums.Check;
        const std::string md5Text =
            !check.HasImplantedMd5 ? "none"
            : sums.Md5Correct      ? "correct"
                                   : "incorrect (the file does not match the checksum it carries)";
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
            output.Raw("Image: " + options.Image + ", " + std::to_string(check.FileBytes) +
                       " bytes");
            output.Raw(check.IsIso
                           ? "ISO9660 volume: " + std::to_string(check.DescribedBytes) + " bytes"
                           : std::string("ISO9660 volume: none (the file is burnt as it is)"));
            output.Raw("Implanted MD5 checksum: " + md5Text);
            output.Raw("SHA-256: " + sums.Sha256);
            if (sums.Sha256Written != sums.Sha256) {
                // What a verification after the burn reports: the file padded to whole blocks.
                output.Raw("SHA-256 of the data a burn writes (padded to 2048-byte blocks): " +
                           sums.Sha256Written);
            }
        }
        if (check.Incomplete()) {
            const std::string text = IncompleteImageText(check);
            output.Error(text);
            return finish(output, exUsage, "incomplete", text);
        }
        if (check.HasImplantedMd5 && !sums.Md5Correct) {
            const std::string text = "Implanted MD5 checksum: " + md5Text;
            output.Error(text);
            return finish(output, exVerifyFailed, "verify-failed", text);
        }
        return finish(output, exDone, "done", "The image is complete");
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
        const TsbTransportType transport = transportOf(options.Transport);
        searchDevices(finder, frontEnd, transport);
        TsbDeviceItem& device = chooseDevice(finder.Devices, options.Device);
        if (device.DiscType == DISC_TYPE_NO_MEDIA) {
            stop(exNoDriveOrDisc, LoadResString(rsNoMediaInDrive));
        }
        if (device.DiscSpace.TotalBytes > 0 &&
            device.DiscSpace.FreeBytes == device.DiscSpace.TotalBytes) {
            stop(exNoDriveOrDisc, "The disc is blank: there is nothing on it to verify");
        }

        TsbBurner burner;
        AimBurner(burner, device, transport);
        burner.DiscType = device.DiscType;
        burner.OpenDevice();
        struct TClose {
            TsbBurner& Burner;
            ~TClose() {
                try {
                    Burner.CloseDevice();
                } catch (const std::exception&) {
                }
            }
        } close{burner};

        // The image was the last session written: it starts at that session's first track.
        SB_TOC_INFORMATION toc{};
        burner.LastException = StarBurn_CdvdBurnerGrabber_GetTOCInformation(
            burner.Grabber, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
            burner.FailureInfo, &toc);
        if (burner.LastException != 0) {
            throw EsbError(burner.FailureText("StarBurn_CdvdBurnerGrabber_GetTOCInformation"));
        }
        uint32_t start = 0;
        // Copied out first: std::min takes references, and the record is packed.
        const uint32_t listed = toc.NumberOfEntries;
        const uint32_t entries = std::min<uint32_t>(listed, SB_TOC_MAX_ENTRIES);
        for (uint32_t i = 0; toc.Valid != 0 && i < entries; ++i) {
            const SB_TOC_ENTRY entry = toc.Entries[i];
            if (entry.TrackNumber == toc.FirstTrackInLastSession) {
                start = entry.StartAddress;
                break;
            }
        }
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

        const int64_t bytes = static_cast<int64_t>(BlocksOfBytes(check.FileBytes)) * 2048;
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
        output.Log(fmt::format("{}: {} {}, the image from block {} on", device.DeviceName,
                               device.Product, DiscTypeToStr(device.DiscType), start),
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
            return finish(output, exDone, "done", "Disc verified");
        }
        if (burner.Cancelled) {
            output.Note("Verification cancelled");
            return finish(output, exCancelled, "cancelled", "Verification cancelled");
        }
        output.Error(burner.StatusText);
        return finish(output, exVerifyFailed, "verify-failed", burner.StatusText);
    });
}
