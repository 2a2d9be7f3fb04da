// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/core/sbBackend.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace starburn {
namespace {

struct Registration {
    int order;
    BackendFactory factory;
};

// A function-local registry, so registrations from static initialisers of
// other files find it constructed.
std::vector<Registration>& registry() {
    static std::vector<Registration> list;
    return list;
}

std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}

} // namespace

bool registerBackend(int order, BackendFactory factory) {
    std::lock_guard lock(registryMutex());
    registry().push_back({order, factory});
    std::stable_sort(
        registry().begin(), registry().end(),
        [](const Registration& a, const Registration& b) { return a.order < b.order; });
    return true;
}

std::vector<std::unique_ptr<Backend>> createBackends() {
    std::lock_guard lock(registryMutex());
    std::vector<std::unique_ptr<Backend>> backends;
    for (const auto& r : registry()) {
        backends.push_back(r.factory());
    }
    return backends;
}

} // namespace starburn
