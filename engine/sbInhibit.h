// SPDX-License-Identifier: GPL-2.0-or-later
// Keeping the computer awake while a drive works: a laptop that sleeps in the
// middle of a write leaves a write-once disc half written, and one that
// sleeps during a verification or an erase leaves the drive in a state the
// user has to reset by hand. From the start of a write, verification, blank
// or format to its end, on every way out, the engine holds an inhibitor of
// sleep and idle suspend.
//
// The engine never speaks D-Bus itself (it stands below Qt and has no bus
// library): a front end installs the bus it has, and the choice between
// logind and the desktop portal, the reason and the log lines are made here,
// once for the wizard and the command-line program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// What is asked of logind: org.freedesktop.login1.Manager.Inhibit(what, who,
// why, mode) on the system bus.
constexpr const char* sbInhibitWhat = "sleep:idle";
constexpr const char* sbInhibitWho = "Tavrin";
constexpr const char* sbInhibitMode = "block";
// What is asked of the desktop portal: org.freedesktop.portal.Inhibit.Inhibit
// on the session bus with the flags suspend (4) and idle (8).
constexpr uint32_t sbPortalInhibitFlags = 4u | 8u;

// An inhibitor a service granted: it lets go when destroyed (the logind file
// descriptor closed, the portal's request closed).
class IsbInhibitor {
public:
    virtual ~IsbInhibitor() = default;
};

// The two services, reached through the front end's own D-Bus library. Each
// returns the granted inhibitor, or null with Failure saying why not (no bus,
// no such service, a refusal). Called on the thread that starts the work.
class IsbInhibitBus {
public:
    virtual ~IsbInhibitBus() = default;
    virtual std::unique_ptr<IsbInhibitor> TakeLogind(const std::string& Why,
                                                     std::string& Failure) = 0;
    virtual std::unique_ptr<IsbInhibitor> TakePortal(const std::string& Why,
                                                     std::string& Failure) = 0;
};

// Installed by the front end; null (the default) holds nothing and logs
// nothing: tests and benchmarks, and tavrin-burn --no-inhibit.
void SetInhibitBus(std::shared_ptr<IsbInhibitBus> Bus);

// Whether the program runs in a sandbox (Flatpak, Snap), where the portal is
// the way to ask and logind is tried only after it.
bool RunsInSandbox();

// Holds the inhibitor for its own lifetime. A hold inside another (the
// verification of a burn) shares the outer one: one inhibitor per piece of
// work, whatever the engine's steps. Only the thread that runs the work
// creates and destroys holds. Never raises: a computer that cannot be kept
// awake still gets its disc burnt, and the diagnostic log says so in one line.
class TsbStayAwake {
public:
    explicit TsbStayAwake(const std::string& Why);
    ~TsbStayAwake();
    TsbStayAwake(const TsbStayAwake&) = delete;
    TsbStayAwake& operator=(const TsbStayAwake&) = delete;
};

// The reasons the desktop shows for the inhibitor ("Tavrin is writing
// image.iso to CdRom0 (Writer One)"). Drive is DriveTitle's text; a write
// without one image file (a file tree) is "a disc".
std::string DriveTitle(const std::string& DeviceName, const std::string& Product);
std::string WriteReason(const std::string& ImagePath, const std::string& Drive);
std::string VerifyReason(const std::string& ImagePath, const std::string& Drive);
std::string CopyReason(const std::string& ImagePath, const std::string& Drive);
std::string EraseReason(const std::string& Drive);
