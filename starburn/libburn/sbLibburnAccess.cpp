// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/libburn/sbLibburnAccess.h"

#include <acl/libacl.h>
#include <sys/acl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace starburn::lb {
namespace {

// The reentrant look-ups: the library is called from any thread.
bool userOf(uint32_t uid, std::string& name, uint32_t* primaryGid = nullptr) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return false;
    }
    name = entry.pw_name;
    if (primaryGid != nullptr) {
        *primaryGid = entry.pw_gid;
    }
    return true;
}

// The group's name and whether it lists user among its members.
bool groupOf(uint32_t gid, std::string& name, const std::string& user, bool& member) {
    std::vector<char> buffer(65536);
    group entry{};
    group* found = nullptr;
    member = false;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return false;
    }
    name = entry.gr_name;
    for (char** m = entry.gr_mem; m != nullptr && *m != nullptr; ++m) {
        if (!user.empty() && user == *m) {
            member = true;
        }
    }
    return true;
}

bool inActiveGroups(uint32_t gid) {
    if (::getegid() == gid) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

bool readWriteIn(acl_permset_t permset) {
    return acl_get_perm(permset, ACL_READ) == 1 && acl_get_perm(permset, ACL_WRITE) == 1;
}

// The access list's named users and its owning group's rights, the mask applied.
void readAcl(const std::string& path, AccessFacts& facts) {
    acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (acl == nullptr) {
        return; // no access lists on this file system: the mode says everything
    }
    bool masked = false;
    bool maskReadWrite = true;
    bool groupObjReadWrite = false;
    std::vector<AclUser> users;
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1;
         which = ACL_NEXT_ENTRY) {
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        acl_permset_t permset = nullptr;
        if (acl_get_tag_type(entry, &tag) != 0 || acl_get_permset(entry, &permset) != 0) {
            continue;
        }
        switch (tag) {
        case ACL_USER: {
            auto* qualifier = static_cast<uid_t*>(acl_get_qualifier(entry));
            if (qualifier != nullptr) {
                AclUser user;
                user.uid = *qualifier;
                user.readWrite = readWriteIn(permset);
                userOf(user.uid, user.name);
                users.push_back(std::move(user));
                acl_free(qualifier);
            }
            facts.hasAcl = true;
            break;
        }
        case ACL_GROUP:
            facts.hasAcl = true;
            break;
        case ACL_MASK:
            masked = true;
            maskReadWrite = readWriteIn(permset);
            facts.hasAcl = true;
            break;
        case ACL_GROUP_OBJ:
            groupObjReadWrite = readWriteIn(permset);
            break;
        default:
            break;
        }
    }
    acl_free(acl);
    if (!facts.hasAcl) {
        return;
    }
    for (AclUser& user : users) {
        user.readWrite = user.readWrite && (!masked || maskReadWrite);
    }
    facts.aclUsers = std::move(users);
    // With an access list the mode's group bits are the mask; the owning
    // group's own rights are its entry's.
    facts.groupReadWrite = groupObjReadWrite && (!masked || maskReadWrite);
}

bool taggedUaccess(const std::string& udevData, uint32_t mode, dev_t device) {
    if (!S_ISBLK(mode) && !S_ISCHR(mode)) {
        return false;
    }
    const std::string file = udevData + "/" + (S_ISBLK(mode) ? "b" : "c") +
                             std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        // G: every tag the device ever had, Q: those it has now.
        if (line == "G:uaccess" || line == "Q:uaccess") {
            return true;
        }
    }
    return false;
}

const char* const kElsewhere = " so something else keeps this program out: a sandbox (Flatpak, "
                               "Snap) or a security module (AppArmor, SELinux).";

// The group by name, or by number where the group database has no name.
std::string groupLabel(const AccessFacts& f) {
    return f.groupName.empty() ? std::to_string(f.groupGid) : f.groupName;
}

// The seat's part: who the desktop gives the drive to, when it does.
std::string seatSentence(const AccessFacts& f) {
    std::string others;
    for (const AclUser& user : f.aclUsers) {
        if (user.uid != f.uid && user.readWrite) {
            others += (others.empty() ? "" : ", ") +
                      (user.name.empty() ? "the user " + std::to_string(user.uid) : user.name);
        }
    }
    if (!others.empty()) {
        return " The desktop gives it to " + others +
               ", who has the active session at this computer; it is yours while your own "
               "session there is the active one.";
    }
    if (f.uaccess && f.aclUsers.empty()) {
        return " This computer gives it to whoever has the active session at its own screen and "
               "keyboard, and this login is not that session (a remote login, or a session "
               "switched away).";
    }
    return {};
}

std::string joinGroup(const std::string& group) {
    return "sudo usermod -aG " + group + " $USER, then log out and in again";
}

} // namespace

std::string modeText(uint32_t mode) {
    std::string text(10, '-');
    text[0] = S_ISBLK(mode)   ? 'b'
              : S_ISCHR(mode) ? 'c'
              : S_ISDIR(mode) ? 'd'
              : S_ISLNK(mode) ? 'l'
                              : '-';
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) {
        if ((mode & (0400u >> bit)) != 0) {
            text[static_cast<std::size_t>(bit) + 1] = letters[bit];
        }
    }
    return text;
}

AccessFacts readAccessFacts(const std::string& deviceFile, int openError,
                            const std::string& udevData) {
    AccessFacts f;
    f.deviceFile = deviceFile;
    f.openError = openError;
    f.uid = ::geteuid();
    uint32_t primaryGid = 0;
    const bool userKnown = userOf(f.uid, f.userName, &primaryGid);
    struct stat st {};
    if (::stat(deviceFile.c_str(), &st) != 0) {
        return f;
    }
    f.statKnown = true;
    f.mode = st.st_mode;
    f.ownerUid = st.st_uid;
    f.groupGid = st.st_gid;
    userOf(f.ownerUid, f.ownerName);
    bool member = false;
    groupOf(f.groupGid, f.groupName, f.userName, member);
    f.groupActive = inActiveGroups(f.groupGid);
    f.groupListed = member || (userKnown && primaryGid == f.groupGid);
    f.groupReadWrite = (st.st_mode & S_IRGRP) != 0 && (st.st_mode & S_IWGRP) != 0;
    f.othersReadWrite = (st.st_mode & S_IROTH) != 0 && (st.st_mode & S_IWOTH) != 0;
    readAcl(deviceFile, f);
    f.uaccess = taggedUaccess(udevData, f.mode, st.st_rdev);
    return f;
}

std::string accessAdvice(const AccessFacts& f) {
    const std::string& file = f.deviceFile;
    if (f.openError == EROFS) {
        return "The drive " + file +
               " cannot be opened for writing: the system holds its device file read-only";
    }
    std::string text = "You may not open the drive " + file + " (permission denied)";
    if (!f.statKnown) {
        return text +
               ", and the system does not say who owns it. Add your user to the group "
               "that owns it (ls -l " +
               file + " names it): sudo usermod -aG GROUP $USER, then log out and in again.";
    }
    const std::string group = groupLabel(f);
    text += ": it belongs to the user " +
            (f.ownerName.empty() ? std::to_string(f.ownerUid) : f.ownerName) + " and the group " +
            group + " (" + modeText(f.mode) + (f.hasAcl ? "+" : "") + ").";

    const auto own = std::find_if(f.aclUsers.begin(), f.aclUsers.end(),
                                  [&](const AclUser& u) { return u.uid == f.uid; });
    if (own != f.aclUsers.end() && own->readWrite) {
        return text + " Its access list lets you read and write it," + kElsewhere;
    }
    if (f.ownerUid == f.uid) {
        if ((f.mode & S_IRUSR) != 0 && (f.mode & S_IWUSR) != 0) {
            return text + " It is yours and you may read and write it," + kElsewhere;
        }
        return text + " It is yours, but its mode keeps even you from writing to it: chmod u+rw " +
               file + " lets you.";
    }
    if (f.othersReadWrite) {
        return text + " Everyone may read and write it," + kElsewhere;
    }
    text += seatSentence(f);

    // The owning group is the way in for every login of the user.
    if (f.groupActive) {
        if (f.groupReadWrite) {
            return text + " You are in the group " + group + ", which may read and write it," +
                   kElsewhere;
        }
        return text + " You are in its group, but the group may not write to it: sudo chmod g+rw " +
               file + " lets it (until the computer restarts).";
    }
    if (f.groupGid == 0) {
        return text +
               " Only root's group may use it, and joining that group would give away "
               "far more than the drive. Give the drive to the group cdrom: sudo chgrp "
               "cdrom " +
               file + " && sudo chmod g+rw " + file +
               " (until the computer restarts), then join that group: " + joinGroup("cdrom") + ".";
    }
    if (!f.groupReadWrite) {
        return text + " Its group may not write to it: sudo chmod g+rw " + file +
               " lets the group (until the computer restarts), then join the group: " +
               joinGroup(group) + ".";
    }
    if (f.groupListed) {
        return text + " You were added to the group " + group +
               " after this login began: log out and in again (or run \"newgrp " + group +
               "\" in a terminal to use the group there now).";
    }
    return text + " You are not in the group " + group + ": add your user to it with " +
           joinGroup(group) + ".";
}

} // namespace starburn::lb
