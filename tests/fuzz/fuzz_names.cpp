// SPDX-License-Identifier: GPL-2.0-or-later
// The Joliet and ISO9660 name makers, and the program's answers to name
// collisions: names stay inside their limits and their fields, whatever the
// input bytes.
#include "base/sbCallBack.h"
#include "starburn/StarBurn.h"
#include "starburn/filetree/sbTreeNames.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ft = starburn::filetree;

namespace {

bool isDChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint8_t flags = data[0];
    const std::string name(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool directory = (flags & 1) != 0;

    const std::string joliet = ft::jolietName(name);
    check(ft::utf8ToUtf16(joliet).size() <= ft::kJolietMaxUnits);
    check(joliet.find('/') == std::string::npos && joliet.find('\0') == std::string::npos);

    const std::string iso = ft::isoName(name, directory);
    for (char c : iso) {
        check(isDChar(c) || c == '.');
    }
    const std::string reply = ft::isoNameFromReply(name, directory);
    check(reply.size() <= ft::kIsoMaxChars);
    if (!iso.empty()) {
        const std::string numbered = ft::isoNumberedName(iso, directory, flags);
        check(numbered.size() <= ft::kIsoMaxChars);
    }

    // The callback's answer fits the record's name field and stays terminated.
    NameCollisionRecord record{};
    record.TreeKind = (flags & 2) != 0 ? 1 : 0;
    std::memcpy(record.Name, data + 1, std::min(size - 1, sizeof record.Name));
    record.FirstAttributes = (flags & 4) != 0 ? SB_ATTRIBUTE_DIRECTORY : 0;
    record.SecondAttributes = (flags & 8) != 0 ? SB_ATTRIBUTE_DIRECTORY : 0;
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(flags * 86400LL));
    AnswerNameCollision(record, when);
    check(record.Reply >= SB_COLLISION_REPLY_BOOT_IMAGE &&
          record.Reply <= SB_COLLISION_REPLY_MERGE);
    if (record.TreeKind != 0) {
        bool terminated = false;
        for (size_t i = 0; i + 1 < sizeof record.Name; i += 2) {
            terminated = terminated || (record.Name[i] == 0 && record.Name[i + 1] == 0);
        }
        check(terminated || record.Reply == SB_COLLISION_REPLY_MERGE);
    } else {
        check(std::memchr(record.Name, 0, sizeof record.Name) != nullptr);
    }
    return 0;
}
