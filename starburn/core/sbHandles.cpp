#include "starburn/core/sbHandles.h"

#include <mutex>
#include <unordered_map>

namespace starburn {
namespace {

std::mutex g_mutex;
std::unordered_map<const void*, std::shared_ptr<Object>> g_objects;

} // namespace

void* registerObject(std::shared_ptr<Object> object) {
    void* handle = object.get();
    std::lock_guard lock(g_mutex);
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
