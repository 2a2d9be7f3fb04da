// SPDX-License-Identifier: GPL-2.0-or-later
// Live library objects behind the opaque handles of the C interface.
//
// Every handle the library gives out is registered here. A call looks its
// handle up and holds a shared reference for the length of the call, so a
// null, destroyed or foreign handle is refused instead of dereferenced, and
// an object destroyed on one thread (StarBurn_Destroy) stays alive until a
// call still running on another thread (a write being cancelled) has returned.
#pragma once

#include <memory>
#include <vector>

namespace starburn {

enum class ObjectKind { Grabber, FileTree };

class Object {
public:
    virtual ~Object() = default;
    virtual ObjectKind kind() const = 0;

    // Called once when the handle goes (StarBurn_Destroy, library shut-down):
    // stop what still runs on other threads. The object itself lives on until
    // the last call that holds it returns.
    virtual void shutDown() {}
};

// Registers an object and returns the handle that stands for it: a value
// never given out before in this process, so a destroyed handle stays invalid.
void* registerObject(std::shared_ptr<Object> object);

// The object behind a handle, or null when the handle is not a live object
// of that kind.
std::shared_ptr<Object> lookupObject(const void* handle, ObjectKind kind);

template <class T>
std::shared_ptr<T> lookup(const void* handle, ObjectKind kind) {
    return std::static_pointer_cast<T>(lookupObject(handle, kind));
}

// Forgets a handle; the object goes when the last running call lets go of it.
// Returns the object so the caller can shut it down, or null for an unknown handle.
std::shared_ptr<Object> unregisterObject(const void* handle);

// Every live object of a kind, held for the caller.
std::vector<std::shared_ptr<Object>> liveObjects(ObjectKind kind);

// Forgets every handle and shuts each object down (library shut-down).
void unregisterAllObjects();

} // namespace starburn
