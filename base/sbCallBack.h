// SPDX-License-Identifier: GPL-2.0-or-later
// The library callback and the eventer that turns its reports into events
// for the windows.
//
// The library calls LibraryCallback on the thread that made the library
// call: the burn thread during a write, the main thread during the staged
// preparation, the search thread during device discovery. The eventer calls
// each handler directly on that thread; a window's handler moves the update
// to its own thread itself.
#pragma once

#include "starburn/StarBurn.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

class TsbCallBackEventer {
public:
    using TNameEvent =
        std::function<void(TsbCallBackEventer& sender, const std::string& name, void* special)>;
    using TPercentEvent = std::function<void(TsbCallBackEventer& sender, int32_t percent)>;
    using TEnabledEvent = std::function<void(TsbCallBackEventer& sender, bool enabled)>;
    using TNotifyEvent = std::function<void(TsbCallBackEventer& sender)>;

    // Binding an empty function empties the slot. Slots may be bound and
    // emptied while another thread raises events: a raise uses the handler
    // bound when it started.
    void SetOnAddName(TNameEvent handler);
    void SetOnRemoveName(TNameEvent handler);
    void SetOnProgress(TPercentEvent handler);
    void SetOnBufferStatus(TPercentEvent handler);
    void SetOnCancelEnabled(TEnabledEvent handler);
    void SetOnImageBuildStart(TNotifyEvent handler);

    // Each raises its event when the slot is bound and does nothing when not.
    void DoAddName(const std::string& name, void* special);
    void DoRemoveName(const std::string& name, void* special);
    void DoProgress(int32_t percent);
    void DoBufferStatus(int32_t percent);
    void DoCancelEnabled(bool enabled);
    void DoImageBuildStart();

    // The percentage reason 12 last passed on to this eventer.
    std::atomic<int64_t> LastProgress{0};

private:
    // Handlers are set and read under the lock: a thread that raises an
    // event while the window unbinds it calls the old handler or none.
    template <class T>
    void store(T& slot, T handler) {
        std::lock_guard lock(m_mutex);
        slot = std::move(handler);
    }
    // Raises the handler in Slot, if any, with the eventer and Args.
    template <class T, class... Args>
    void raise(const T& slot, Args&&... args) {
        if (auto handler = copyOf(slot)) {
            handler(*this, std::forward<Args>(args)...);
        }
    }
    template <class T>
    T copyOf(const T& slot) {
        std::lock_guard lock(m_mutex);
        return slot;
    }

    std::mutex m_mutex;
    TNameEvent m_onAddName;
    TNameEvent m_onRemoveName;
    TPercentEvent m_onProgress;
    TPercentEvent m_onBufferStatus;
    TEnabledEvent m_onCancelEnabled;
    TNotifyEvent m_onImageBuildStart;
};

// The eventer of the calling thread: the one a TsbEventerScope bound on it
// (a drive of several written at once has its own), else the program's one,
// created on first use and living to the end of the program.
TsbCallBackEventer& CallBackEventer();
// The eventer bound on the calling thread, or null (the program's is used).
TsbCallBackEventer* BoundEventer();

// Binds an eventer to the calling thread for the scope's life (null: the
// program's). Workers an engine thread starts inherit it (engine/sbThread).
class TsbEventerScope {
public:
    explicit TsbEventerScope(TsbCallBackEventer* eventer);
    ~TsbEventerScope();
    TsbEventerScope(const TsbEventerScope&) = delete;
    TsbEventerScope& operator=(const TsbEventerScope&) = delete;

private:
    TsbCallBackEventer* previous_;
};

// The routine handed to the library wherever it takes a callback (device
// opens, the device search, file trees). Only the low byte of Reason counts:
//   0, 1   a file-tree name added / removed: raises DoAddName / DoRemoveName
//          and counts the tree's nodes in the uint32_t that Context points at
//   3      a name collision: answers the NameCollisionRecord in place
//   10     a device was found: hands over to the device-found handler
//   12     write progress: raises DoProgress when the percentage changed
//   13     recorder buffer status: raises DoBufferStatus with the fill in percent
// Every other reason is ignored. An exception raised by a handler leaves
// through the library.
void LibraryCallback(uint32_t reason, void* context, void* special1, void* special2);
static_assert(std::is_same_v<decltype(&LibraryCallback), PCALLBACK>);

// The device probe registers itself here; reason 10 calls it with the
// callback's own arguments (Context: the device list of the search;
// Special1: the SB_DEVICE_ADDRESS of the device, or null; Special2: the
// device's name as a zero-terminated text, or null). Without a handler reason
// 10 does nothing. An empty function removes the handler.
using TsbDeviceFoundHandler = std::function<void(void* context, void* special1, void* special2)>;
void SetDeviceFoundHandler(TsbDeviceFoundHandler handler);

// The percentage last passed on by reason 12 to the calling thread's
// eventer; set to 0 before each burn so
// its first report is not taken for a repeat.
void ResetLastReportedProgress();
int64_t LastReportedProgress();

// The number the next renamed ISO9660 name receives (1 at start, one more
// after each rename, never reset by the program). Setting it is for tests.
uint32_t IsoRenameCounter();
void SetIsoRenameCounter(uint32_t value);

// Answers a name collision in place: merges two Joliet folders, otherwise
// renames the name and replies whether the first entry is the boot image.
// Now is the moment whose date and time a Joliet rename puts into the name.
void AnswerNameCollision(NameCollisionRecord& record, std::chrono::system_clock::time_point now =
                                                          std::chrono::system_clock::now());

// The renaming rules on their own, for names given as text. IsoRenameName
// uses and advances the rename counter; the Joliet rule puts DateTimeText in
// (the caller's local date and time).
std::string IsoRenameName(const std::string& name);
std::u16string JolietRenameName(const std::u16string& name, const std::u16string& dateTimeText);

// The local date and time as the Joliet rename writes it (the user's short
// date and long time formats).
std::string LocalDateTimeText(std::chrono::system_clock::time_point time);
