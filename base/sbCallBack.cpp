// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbCallBack.h"

#include "base/sbStrUtils.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <langinfo.h>
#include <locale.h>

// ---------------------------------------------------------------------------
// The eventer

void TsbCallBackEventer::SetOnAddName(TNameEvent handler) {
    store(m_onAddName, std::move(handler));
}

void TsbCallBackEventer::SetOnRemoveName(TNameEvent handler) {
    store(m_onRemoveName, std::move(handler));
}

void TsbCallBackEventer::SetOnProgress(TPercentEvent handler) {
    store(m_onProgress, std::move(handler));
}

void TsbCallBackEventer::SetOnBufferStatus(TPercentEvent handler) {
    store(m_onBufferStatus, std::move(handler));
}

void TsbCallBackEventer::SetOnCancelEnabled(TEnabledEvent handler) {
    store(m_onCancelEnabled, std::move(handler));
}

void TsbCallBackEventer::SetOnImageBuildStart(TNotifyEvent handler) {
    store(m_onImageBuildStart, std::move(handler));
}

void TsbCallBackEventer::DoAddName(const std::string& name, void* special) {
    raise(m_onAddName, name, special);
}

void TsbCallBackEventer::DoRemoveName(const std::string& name, void* special) {
    raise(m_onRemoveName, name, special);
}

void TsbCallBackEventer::DoProgress(int32_t percent) {
    raise(m_onProgress, percent);
}

void TsbCallBackEventer::DoBufferStatus(int32_t percent) {
    raise(m_onBufferStatus, percent);
}

void TsbCallBackEventer::DoCancelEnabled(bool enabled) {
    raise(m_onCancelEnabled, enabled);
}

void TsbCallBackEventer::DoImageBuildStart() {
    raise(m_onImageBuildStart);
}

namespace {
thread_local TsbCallBackEventer* t_boundEventer = nullptr;
} // namespace

TsbCallBackEventer& CallBackEventer() {
    if (t_boundEventer != nullptr) {
        return *t_boundEventer;
    }
    static TsbCallBackEventer eventer;
    return eventer;
}

TsbCallBackEventer* BoundEventer() {
    return t_boundEventer;
}

TsbEventerScope::TsbEventerScope(TsbCallBackEventer* eventer) : previous_(t_boundEventer) {
    t_boundEventer = eventer;
}

TsbEventerScope::~TsbEventerScope() {
    t_boundEventer = previous_;
}

// ---------------------------------------------------------------------------
// Callback state

namespace {

// The values are read and written from the burn thread and reset from the
// main thread: atomics keep that well defined.
std::atomic<uint32_t> g_isoRenameCounter{1};

struct TDeviceFoundSlot {
    std::mutex Mutex;
    TsbDeviceFoundHandler Handler;
};

TDeviceFoundSlot& deviceFoundSlot() {
    static TDeviceFoundSlot slot;
    return slot;
}

// The last unit that fits the record's name field before its terminating zero.
constexpr size_t kIsoNameMax = SB_COLLISION_NAME_SIZE - 1;
constexpr size_t kJolietNameMax = SB_COLLISION_NAME_SIZE / 2 - 1;

// Where a name's stem ends: the version suffix (";1") is set aside, then a
// dot up to four places before that end marks the extension.
template <class S>
size_t stemEnd(const S& name) {
    size_t end = name.size();
    if (end >= 2 && name[end - 2] == ';') {
        end -= 2;
    }
    for (size_t back = 0; back <= 4 && back <= end; ++back) {
        const size_t position = end - back;
        if (position < name.size() && name[position] == '.') {
            return position;
        }
    }
    return end;
}

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// The first Count units of Text, one fewer when the cut would split a
// surrogate pair.
std::u16string headOf(const std::u16string& text, size_t count) {
    if (count >= text.size()) {
        return text;
    }
    if (count > 0 && isHighSurrogate(text[count - 1])) {
        --count;
    }
    return text.substr(0, count);
}

std::u16string sanitiseJoliet(std::u16string text) {
    for (char16_t& unit : text) {
        // Blanks and control characters, dots and colons as the rule says;
        // slashes too, since a short date written with them would otherwise
        // put folder separators into a file name.
        if (unit <= 32 || unit == u'.' || unit == u':' || unit == u'/' || unit == u'\\') {
            unit = u'_';
        }
    }
    return text;
}

std::u16string readJolietName(const NameCollisionRecord& record) {
    std::u16string name;
    for (size_t i = 0; i + 1 < SB_COLLISION_NAME_SIZE; i += 2) {
        const auto unit = static_cast<char16_t>(record.Name[i] | (record.Name[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        name += unit;
    }
    return name;
}

void writeJolietName(NameCollisionRecord& record, const std::u16string& name) {
    std::memset(record.Name, 0, sizeof record.Name);
    const size_t units = std::min(name.size(), kJolietNameMax);
    for (size_t i = 0; i < units; ++i) {
        record.Name[2 * i] = static_cast<uint8_t>(name[i] & 0xFF);
        record.Name[2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
    }
}

void writeIsoName(NameCollisionRecord& record, const std::string& name) {
    std::memset(record.Name, 0, sizeof record.Name);
    std::memcpy(record.Name, name.data(), std::min(name.size(), kIsoNameMax));
}

bool isBootImage(const void* entry) {
    if (entry == nullptr) {
        return false;
    }
    const std::string path(static_cast<const char*>(entry) + 1);
    const size_t separator = path.find_last_of("/\\");
    const std::string last = separator == std::string::npos ? path : path.substr(separator + 1);
    return SameTextNoCase(last, "boot.img");
}

void reportWriteProgress(const void* special1, const void* special2) {
    if (special1 == nullptr || special2 == nullptr) {
        return;
    }
    int64_t total = 0;
    int64_t done = 0;
    std::memcpy(&total, special1, sizeof total);
    std::memcpy(&done, special2, sizeof done);
    if (total == 0) {
        return;
    }
    // 128 bits: the product cannot overflow whatever the library reports.
    __extension__ using TWide = __int128;
    const auto percent = static_cast<int64_t>(static_cast<TWide>(done) * 100 / total);
    // Each drive's eventer keeps its own last percentage: two drives at the
    // same figure are no repeat of each other.
    std::atomic<int64_t>& last = CallBackEventer().LastProgress;
    if (percent == last.load()) {
        return;
    }
    last.store(percent);
    CallBackEventer().DoProgress(static_cast<int32_t>(percent));
}

void reportBufferStatus(const void* special1, const void* special2) {
    if (special1 == nullptr || special2 == nullptr) {
        return;
    }
    uint32_t size = 0;
    uint32_t free = 0;
    std::memcpy(&size, special1, sizeof size);
    std::memcpy(&free, special2, sizeof free);
    if (size == 0) {
        return;
    }
    // The free share is worked out in 64 bits: in 32 bits, free × 100 wraps
    // for buffers above 42 MB and the gauge would show nonsense. A report of
    // more free space than the buffer has shows an empty buffer.
    const uint64_t freePercent = static_cast<uint64_t>(free) * 100 / size;
    const int32_t fill = freePercent >= 100 ? 0 : static_cast<int32_t>(100 - freePercent);
    CallBackEventer().DoBufferStatus(fill);
}

void countTreeName(void* context, const void* special1, void* special2, bool added) {
    const std::string name = special1 != nullptr ? static_cast<const char*>(special1) : "";
    if (added) {
        CallBackEventer().DoAddName(name, special2);
    } else {
        CallBackEventer().DoRemoveName(name, special2);
    }
    if (context != nullptr) {
        auto* count = static_cast<uint32_t*>(context);
        *count = added ? *count + 1 : *count - 1;
    }
}

} // namespace

void SetDeviceFoundHandler(TsbDeviceFoundHandler handler) {
    TDeviceFoundSlot& slot = deviceFoundSlot();
    std::lock_guard lock(slot.Mutex);
    slot.Handler = std::move(handler);
}

void ResetLastReportedProgress() {
    CallBackEventer().LastProgress.store(0);
}

int64_t LastReportedProgress() {
    return CallBackEventer().LastProgress.load();
}

uint32_t IsoRenameCounter() {
    return g_isoRenameCounter.load();
}

void SetIsoRenameCounter(uint32_t value) {
    g_isoRenameCounter.store(value);
}

// ---------------------------------------------------------------------------
// Name collisions

std::string IsoRenameName(const std::string& original) {
    std::string name = original;
    while (name.size() < 2) {
        name += '0';
    }
    const size_t end = stemEnd(name);
    const std::string tail = name.substr(end, 10);
    const std::string prefix = end <= 8 ? name.substr(0, end) : name.substr(0, 7);
    const uint32_t number = g_isoRenameCounter.fetch_add(1);
    return prefix + std::to_string(number) + tail;
}

std::u16string JolietRenameName(const std::u16string& original,
                                const std::u16string& dateTimeText) {
    std::u16string name = original;
    while (name.size() < 2) {
        name += u'0';
    }
    const size_t end = stemEnd(name);
    const std::u16string base = sanitiseJoliet(name.substr(0, end));
    const std::u16string suffix = sanitiseJoliet(u"_" + dateTimeText + name.substr(end));
    // A long name plus the date text may not fit the record's name field:
    // the stem gives way first, so the date and the extension survive.
    if (base.size() + suffix.size() <= kJolietNameMax) {
        return base + suffix;
    }
    if (suffix.size() < kJolietNameMax) {
        return headOf(base, kJolietNameMax - suffix.size()) + suffix;
    }
    return headOf(base + suffix, kJolietNameMax);
}

std::string LocalDateTimeText(std::chrono::system_clock::time_point time) {
    static const locale_t locale = [] {
        locale_t user = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
        return user != static_cast<locale_t>(nullptr)
                   ? user
                   : ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    ::localtime_r(&seconds, &parts);
    std::string format = "%x %X";
    if (locale != static_cast<locale_t>(nullptr)) {
        format = std::string(::nl_langinfo_l(D_FMT, locale)) + " " + ::nl_langinfo_l(T_FMT, locale);
    }
    char text[256] = {};
    const size_t length = locale != static_cast<locale_t>(nullptr)
                              ? ::strftime_l(text, sizeof text, format.c_str(), &parts, locale)
                              : std::strftime(text, sizeof text, format.c_str(), &parts);
    return std::string(text, length);
}

void AnswerNameCollision(NameCollisionRecord& record, std::chrono::system_clock::time_point now) {
    const bool joliet = record.TreeKind != 0;
    const bool bothFolders = (record.FirstAttributes & SB_ATTRIBUTE_DIRECTORY) != 0 &&
                             (record.SecondAttributes & SB_ATTRIBUTE_DIRECTORY) != 0;
    if (bothFolders && joliet) {
        record.Reply = SB_COLLISION_REPLY_MERGE;
        return;
    }
    if (joliet) {
        writeJolietName(
            record, JolietRenameName(readJolietName(record), Utf8ToUtf16(LocalDateTimeText(now))));
    } else {
        const std::string name =
            BufferToStr(reinterpret_cast<const char*>(record.Name), sizeof record.Name);
        writeIsoName(record, IsoRenameName(name));
    }
    record.Reply =
        isBootImage(record.FirstEntry) ? SB_COLLISION_REPLY_BOOT_IMAGE : SB_COLLISION_REPLY_RENAME;
}

// ---------------------------------------------------------------------------
// The callback

void LibraryCallback(uint32_t reason, void* context, void* special1, void* special2) {
    switch (reason & 0xFFu) {
    case SB_REASON_TREE_ADD_NAME:
        countTreeName(context, special1, special2, true);
        break;
    case SB_REASON_TREE_REMOVE_NAME:
        countTreeName(context, special1, special2, false);
        break;
    case SB_REASON_TREE_NAME_COLLISION:
        if (special1 != nullptr) {
            AnswerNameCollision(*static_cast<NameCollisionRecord*>(special1));
        }
        break;
    case SB_REASON_DEVICE_FOUND: {
        TsbDeviceFoundHandler handler;
        {
            TDeviceFoundSlot& slot = deviceFoundSlot();
            std::lock_guard lock(slot.Mutex);
            handler = slot.Handler;
        }
        if (handler) {
            handler(context, special1, special2);
        }
        break;
    }
    case SB_REASON_WRITE_PROGRESS:
        reportWriteProgress(special1, special2);
        break;
    case SB_REASON_BUFFER_STATUS:
        reportBufferStatus(special1, special2);
        break;
    default:
        // Names ignored by a tree, other progress and unknown reasons need nothing.
        break;
    }
}
