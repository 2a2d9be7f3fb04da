// SPDX-License-Identifier: GPL-2.0-or-later
// Drive backends. Each backend registers itself (a static registration in its
// own source file), and the library session starts every registered backend
// when the library starts, so adding a backend changes nothing in the core.
#pragma once

#include "ini/sbIni.h"
#include "starburn/core/sbDeviceTable.h"
#include "starburn/core/sbFailure.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace starburn {

// What a backend gets when the library starts.
struct BackendContext {
    // The configuration, or null when none was named: then the backend uses
    // its built-in defaults.
    const sbini::IniDocument* configuration = nullptr;
    // The library's state folder (exists and is writable). A backend keeps
    // its files in a sub-folder of it and never outside.
    std::string stateFolder;
    DeviceTable* table = nullptr;
    // Problems that do not stop the start, "file:line: text" where they have
    // a place; reported to the caller of StarBurn_UpStartEx and on stderr.
    std::vector<std::string>* problems = nullptr;
};

class Backend {
public:
    virtual ~Backend() = default;

    virtual const char* name() const = 0;

    // True for configuration sections this backend reads, so sections no
    // backend knows can be reported.
    virtual bool ownsSection(std::string_view sectionName) const = 0;

    // Adds the backend's drives to the table. A failure stops the library's
    // start (an unusable state folder, say); a bad configuration entry is a
    // problem, not a failure.
    virtual Error start(BackendContext& context) = 0;

    // The library shuts down; every write has ended.
    virtual void shutDown() {}
};

using BackendFactory = std::unique_ptr<Backend> (*)();

// Registers a backend. Backends start in ascending order, so the first one
// gets the first free device names.
bool registerBackend(int order, BackendFactory factory);

// A fresh instance of every registered backend, in start order.
std::vector<std::unique_ptr<Backend>> createBackends();

} // namespace starburn
