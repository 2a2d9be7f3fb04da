// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/core/sbHandles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace starburn {
namespace {

std::mutex g_mutex;
std::unordered_map<const void*, std::shared_ptr<Object>> g_objects;
// Handles are numbers counted up, never the object's address: the allocator
// hands a freed address out again, and a stale copy of a destroyed handle
// would then reach a new object. Counted in steps of 16 from an odd-looking
// start, so a handle is never null and never a small integer by accident.
uintptr_t g_nextHandle = 0x5B000010;

} // namespace

void* registerObject(std::shared_ptr<Object> object) {
    std::lock_guard lock(g_mutex);
    void* handle = reinterpret_cast<void*>(g_nextHandle);
    g_nextHandle += 16;
    g_objects[handle] = std::move(object);
    return handle;
}

std::shared_ptr<Object> lookupObject(const void* handle, ObjectKind kind) {
    if (handle == nullptr) {
        return nullptr;
    }
    std::lock_guard lock(g_mutex);
    auto it = g_objects.find(handle);
    if (it == g_objects.end() || it->second->kind() != kind) {
        return nullptr;
    }
    return it->second;
}

std::shared_ptr<Object> unregisterObject(const void* handle) {
    std::lock_guard lock(g_mutex);
    auto it = g_objects.find(handle);
    if (it == g_objects.end()) {
        return nullptr;
    }
    auto object = std::move(it->second);
    g_objects.erase(it);
    return object;
}

std::vector<std::shared_ptr<Object>> liveObjects(ObjectKind kind) {
    std::vector<std::shared_ptr<Object>> found;
    std::lock_guard lock(g_mutex);
    for (const auto& [handle, object] : g_objects) {
        if (object->kind() == kind) {
            found.push_back(object);
        }
    }
    return found;
}

void unregisterAllObjects() {
    std::unordered_map<const void*, std::shared_ptr<Object>> doomed;
    {
        std::lock_guard lock(g_mutex);
        doomed.swap(g_objects);
    }
    // Shut down and destroyed outside the lock: an object may call back into the library.
    for (auto& [handle, object] : doomed) {
        object->shutDown();
    }
}

} // namespace starburn
