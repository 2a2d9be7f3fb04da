// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/virtual/sbVirtualBackend.h"

#include "starburn/core/sbBackend.h"
#include "starburn/core/sbSession.h"

#include <algorithm>

namespace starburn::virt {
namespace {

constexpr const char* kBackendName = "virtual";

class VirtualBackend : public Backend {
public:
    const char* name() const override { return kBackendName; }

    bool ownsSection(std::string_view sectionName) const override {
        return isVirtualSection(sectionName);
    }

    Error start(BackendContext& context) override {
        VirtualConfig config = readVirtualConfig(context.configuration, *context.problems);
        // Recorders that ask for a name or an address get them before the
        // others are given the free ones, whatever their order in the file.
        std::stable_partition(
            config.recorders.begin(), config.recorders.end(),
            [](const RecorderConfig& r) { return !r.deviceName.empty() || r.address.has_value(); });
        for (auto& rc : config.recorders) {
            const std::string id = rc.id;
            const int line = rc.line;
            const std::string origin = rc.line > 0 && context.configuration != nullptr
                                           ? context.configuration->origin
                                           : std::string("built-in");
            auto recorder = std::make_shared<Recorder>(rc, context.stateFolder, config.timeFactor);
            DeviceRequest request;
            request.backend = kBackendName;
            request.device = recorder;
            request.name = rc.deviceName;
            request.address = rc.address;
            request.port = 1;
            request.driveLetter = rc.driveLetter;
            // Checked before the recorder touches its folder, so a refused
            // recorder leaves no trace in the state folder.
            std::string error;
            if (!probeFree(*context.table, request, error)) {
                context.problems->push_back(origin + ":" + std::to_string(line) + ": recorder \"" +
                                            id + "\": " + error + "; the recorder is left out");
                continue;
            }
            // A recorder whose saved disc cannot be put right is left out;
            // the others still start.
            if (Error e = recorder->load(*context.problems)) {
                context.problems->push_back(origin + ":" + std::to_string(line) + ": recorder \"" +
                                            id + "\": " + e.text + "; the recorder is left out");
                continue;
            }
            if (!context.table->add(std::move(request), error)) {
                context.problems->push_back(origin + ":" + std::to_string(line) + ": recorder \"" +
                                            id + "\": " + error + "; the recorder is left out");
            }
        }
        return {};
    }

private:
    static bool probeFree(const DeviceTable& table, const DeviceRequest& request,
                          std::string& error) {
        DeviceTable trial = table;
        DeviceRequest copy = request;
        return trial.add(std::move(copy), error);
    }
};

[[maybe_unused]] const bool registered = registerBackend(
    0, []() -> std::unique_ptr<Backend> { return std::make_unique<VirtualBackend>(); });

} // namespace

std::shared_ptr<Recorder> findRecorder(std::string_view deviceName) {
    auto session = currentSession();
    if (!session) {
        return nullptr;
    }
    auto entry = session->table.byName(deviceName);
    if (!entry || entry->backend != kBackendName) {
        return nullptr;
    }
    return std::static_pointer_cast<Recorder>(entry->device);
}

} // namespace starburn::virt
