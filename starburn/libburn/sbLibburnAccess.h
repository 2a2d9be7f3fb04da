// SPDX-License-Identifier: GPL-2.0-or-later
// Why this user may not open a drive's device file, and what fixes it: read
// from the system (the file's owner, group, mode and access list, the user's
// groups, the desktop seat's rule for the device), never guessed, then put
// into words by a function of those facts alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace starburn::lb {

// A named user of the device file's access list: what logind gives the user
// of the active session at the computer's seat (udev's "uaccess").
struct AclUser {
    uint32_t uid = 0;
    std::string name;       // empty when the user database has no name for the uid
    bool readWrite = false; // after the access list's mask
};

struct AccessFacts {
    std::string deviceFile;
    int openError = 0; // why the opening failed: EACCES, EPERM or EROFS
    bool statKnown = false;
    uint32_t mode = 0; // st_mode: the file type and the permission bits
    uint32_t ownerUid = 0;
    std::string ownerName;
    uint32_t groupGid = 0;
    std::string groupName;
    uint32_t uid = 0; // this process's effective user
    std::string userName;
    // The file's group is among this process's groups (getegid, getgroups).
    bool groupActive = false;
    // The group database (or the user's own entry, as primary group) puts the
    // user in the file's group: true with groupActive false means a login
    // that began before the user was added.
    bool groupListed = false;
    // The file has an access list beyond its mode bits.
    bool hasAcl = false;
    // Whether the owning group may read and write, the access list's mask
    // applied (with no access list: the mode's group bits).
    bool groupReadWrite = false;
    bool othersReadWrite = false;
    std::vector<AclUser> aclUsers;
    // udev tags the device "uaccess": logind hands it to whoever has the
    // active session at the computer's seat.
    bool uaccess = false;
};

// What the system says about deviceFile for this process. udevData is the
// folder of udev's device database (/run/udev/data).
AccessFacts readAccessFacts(const std::string& deviceFile, int openError,
                            const std::string& udevData = "/run/udev/data");

// The text a user sees: what keeps them out and the command that lets them in.
std::string accessAdvice(const AccessFacts& facts);

// "brw-rw----", as ls prints a mode.
std::string modeText(uint32_t mode);

} // namespace starburn::lb
