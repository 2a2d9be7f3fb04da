// SPDX-License-Identifier: GPL-2.0-or-later
// What the libburn backend tells a user it may not let open a drive: read
// from files whose owner, group, mode and access list the test sets, by a
// child process that runs as another user with the groups the test gives it.
// The test runs as root (to make such files) or skips.
#include "starburn/StarBurnLinux.h"
#include "starburn/libburn/sbLibburnTesting.h"
#include "tests/starburn/sbTestSupport.h"

#include <acl/libacl.h>
#include <sys/acl.h>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sbtest;

namespace {

// A user of every Debian system, and the groups of the cases.
struct TUser {
    uid_t Uid = 0;
    gid_t Gid = 0; // the primary group of the user's entry
    std::string Name;
};

std::optional<TUser> user(const char* name) {
    const passwd* entry = ::getpwnam(name);
    if (entry == nullptr) {
        return std::nullopt;
    }
    return TUser{entry->pw_uid, entry->pw_gid, entry->pw_name};
}

gid_t groupId(const char* name) {
    const group* entry = ::getgrnam(name);
    return entry != nullptr ? entry->gr_gid : static_cast<gid_t>(-1);
}

// Gives uid read and write through the file's access list (with a mask that lets them).
void grantThroughAcl(const std::string& path, uid_t uid) {
    const std::string text = "u::rw-,u:" + std::to_string(uid) + ":rw-,g::rw-,m::rw-,o::---";
    acl_t acl = acl_from_text(text.c_str());
    ASSERT_NE(acl, nullptr);
    ASSERT_EQ(acl_set_file(path.c_str(), ACL_TYPE_ACCESS, acl), 0) << std::strerror(errno);
    acl_free(acl);
}

class Access : public ::testing::Test {
protected:
    TempDir dir;
    std::optional<TUser> nobody = user("nobody");
    std::optional<TUser> daemon = user("daemon");
    gid_t cdrom = groupId("cdrom");

    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "making files of other owners needs root";
        }
        ASSERT_TRUE(nobody && daemon) << "the users nobody and daemon of every Debian system";
        ASSERT_NE(cdrom, static_cast<gid_t>(-1)) << "the group cdrom of every Debian system";
        // The children, other users, reach the files through the folder.
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    }

    std::string file(const char* name, uid_t owner, gid_t group, mode_t mode) {
        const std::string path = dir.file(name);
        writeText(path, "");
        EXPECT_EQ(::chown(path.c_str(), owner, group), 0);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    }

    // The advice as the user as sees it with exactly the groups given (its
    // primary group left out unless named): a process of that user, as a
    // login that began before a change of its groups would be.
    std::string adviceAs(const TUser& as, std::vector<gid_t> groups, const std::string& path,
                         int err = EACCES, const std::string& udevData = "/nonexistent") {
        int out[2];
        if (::pipe(out) != 0) {
            return "pipe failed";
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(out[0]);
            const gid_t own = groups.empty() ? static_cast<gid_t>(65534) : groups.front();
            if (::setgroups(groups.size(), groups.data()) != 0 || ::setresgid(own, own, own) != 0 ||
                ::setresuid(as.Uid, as.Uid, as.Uid) != 0) {
                ::_exit(2);
            }
            char text[2048] = {};
            StarBurnLibburnTesting_AccessAdvice(path.c_str(), err, udevData.c_str(), text,
                                                sizeof text);
            const ssize_t written = ::write(out[1], text, std::strlen(text));
            ::_exit(written >= 0 ? 0 : 3);
        }
        ::close(out[1]);
        std::string text;
        char chunk[512];
        for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;) {
            text.append(chunk, static_cast<std::size_t>(n));
        }
        ::close(out[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not run";
        return text;
    }
};

// The group of the file, and how its members get in.
TEST_F(Access, TheGroupThatOwnsTheDriveIsTheWayInFromEveryLogin) {
    const std::string drive = file("sr0", 0, cdrom, 0660);
    const std::string head = "You may not open the drive " + drive +
                             " (permission denied): it belongs to the user root and the group "
                             "cdrom (-rw-rw----).";
    // Not in the group.
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, drive),
              head + " You are not in the group cdrom: add your user to it with sudo usermod -aG "
                     "cdrom $USER, then log out and in again.");
    // In the group and the group may use it: not the file's permissions.
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid, cdrom}, drive),
              head + " You are in the group cdrom, which may read and write it, so something "
                     "else keeps this program out: a sandbox (Flatpak, Snap) or a security "
                     "module (AppArmor, SELinux).");

    // The user's own entry puts it in the group, this login does not have it:
    // the login began before the change.
    const std::string own = file("sr1", 0, daemon->Gid, 0660);
    EXPECT_EQ(adviceAs(*daemon, {nobody->Gid}, own),
              "You may not open the drive " + own +
                  " (permission denied): it belongs to the user root and the group daemon "
                  "(-rw-rw----). You were added to the group daemon after this login began: log "
                  "out and in again (or run \"newgrp daemon\" in a terminal to use the group "
                  "there now).");
}

TEST_F(Access, ADriveItsGroupMayNotWriteOrOnlyRootsGroupHasNeedsItsModeChanged) {
    const std::string readOnly = file("sr0", 0, cdrom, 0640);
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, readOnly),
              "You may not open the drive " + readOnly +
                  " (permission denied): it belongs to the user root and the group cdrom "
                  "(-rw-r-----). Its group may not write to it: sudo chmod g+rw " +
                  readOnly +
                  " lets the group (until the computer restarts), then join the group: sudo "
                  "usermod -aG cdrom $USER, then log out and in again.");
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid, cdrom}, readOnly),
              "You may not open the drive " + readOnly +
                  " (permission denied): it belongs to the user root and the group cdrom "
                  "(-rw-r-----). You are in its group, but the group may not write to it: sudo "
                  "chmod g+rw " +
                  readOnly + " lets it (until the computer restarts).");

    // Joining root's group would be worse than the problem.
    const std::string rootOnly = file("sr1", 0, 0, 0660);
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, rootOnly),
              "You may not open the drive " + rootOnly +
                  " (permission denied): it belongs to the user root and the group root "
                  "(-rw-rw----). Only root's group may use it, and joining that group would give "
                  "away far more than the drive. Give the drive to the group cdrom: sudo chgrp "
                  "cdrom " +
                  rootOnly + " && sudo chmod g+rw " + rootOnly +
                  " (until the computer restarts), then join that group: sudo usermod -aG cdrom "
                  "$USER, then log out and in again.");

    // The user's own file, closed to itself.
    const std::string owned = file("sr2", nobody->Uid, nobody->Gid, 0);
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, owned),
              "You may not open the drive " + owned +
                  " (permission denied): it belongs to the user nobody and the group nogroup "
                  "(----------). It is yours, but its mode keeps even you from writing to it: "
                  "chmod u+rw " +
                  owned + " lets you.");
}

// What logind gives the user of the active session at the seat: an access
// list entry of that user, on a device udev tags "uaccess".
TEST_F(Access, TheSeatsAccessListSaysWhoTheDesktopGivesTheDriveTo) {
    const std::string seat = file("sr0", 0, cdrom, 0660);
    grantThroughAcl(seat, daemon->Uid);
    const std::string head = "You may not open the drive " + seat +
                             " (permission denied): it belongs to the user root and the group "
                             "cdrom (-rw-rw----+).";
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, seat),
              head + " The desktop gives it to daemon, who has the active session at this "
                     "computer; it is yours while your own session there is the active one. You "
                     "are not in the group cdrom: add your user to it with sudo usermod -aG cdrom "
                     "$USER, then log out and in again.");
    grantThroughAcl(seat, nobody->Uid);
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, seat),
              head + " Its access list lets you read and write it, so something else keeps this "
                     "program out: a sandbox (Flatpak, Snap) or a security module (AppArmor, "
                     "SELinux).");

    // A device node udev tags for the seat, with no session holding it now.
    const std::string node = dir.file("sr-node");
    const dev_t device = makedev(11, 77);
    ASSERT_EQ(::mknod(node.c_str(), S_IFBLK | 0660, device), 0) << std::strerror(errno);
    ASSERT_EQ(::chown(node.c_str(), 0, cdrom), 0);
    ASSERT_EQ(::chmod(node.c_str(), 0660), 0);
    fs::create_directories(dir.path() / "udev");
    writeText(dir.file("udev/b11:77"), "I:123\nE:ID_CDROM=1\nG:uaccess\nQ:uaccess\nV:1\n");
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, node, EACCES, dir.file("udev")),
              "You may not open the drive " + node +
                  " (permission denied): it belongs to the user root and the group cdrom "
                  "(brw-rw----). This computer gives it to whoever has the active session at its "
                  "own screen and keyboard, and this login is not that session (a remote login, "
                  "or a session switched away). You are not in the group cdrom: add your user to "
                  "it with sudo usermod -aG cdrom $USER, then log out and in again.");
    // Without the tag, not a word of the seat.
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, node).find("screen and keyboard"),
              std::string::npos);
}

TEST_F(Access, AReadOnlyDeviceAndAnUnknownOneAreSaidSo) {
    const std::string drive = file("sr0", 0, cdrom, 0660);
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, drive, EROFS),
              "The drive " + drive +
                  " cannot be opened for writing: the system holds its device file read-only");
    const std::string gone = dir.file("sr9");
    EXPECT_EQ(adviceAs(*nobody, {nobody->Gid}, gone),
              "You may not open the drive " + gone +
                  " (permission denied), and the system does not say who owns it. Add your user "
                  "to the group that owns it (ls -l " +
                  gone + " names it): sudo usermod -aG GROUP $USER, then log out and in again.");
}

// The backend lists such a drive with this advice, and every call on it ends with it.
TEST_F(Access, TheBackendListsTheDriveWithTheAdvice) {
    const std::string drive = file("sr0", 0, cdrom, 0660);
    fs::create_directories(dir.path() / "state");
    ASSERT_EQ(::chown(dir.file("state").c_str(), nobody->Uid, nobody->Gid), 0);
    const std::string config = dir.file("starburn.ini");
    writeText(config, "[Virtual]\nBuiltInRecorders = no\n\n[Libburn]\nDevices = " + drive + "\n");
    const std::string expected = adviceAs(*nobody, {nobody->Gid}, drive);
    ASSERT_NE(expected.find("usermod -aG cdrom"), std::string::npos) << expected;

    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        const gid_t own = nobody->Gid;
        if (::setgroups(1, &own) != 0 || ::setresgid(own, own, own) != 0 ||
            ::setresuid(nobody->Uid, nobody->Uid, nobody->Uid) != 0) {
            ::_exit(2);
        }
        ::setenv("STARBURN_REAL_DRIVES", "yes", 1);
        ::setenv("STARBURN_STATE_DIR", dir.file("state").c_str(), 1);
        char text[4096] = {};
        std::string report;
        if (StarBurn_UpStartEx(config.c_str(), text, sizeof text) != 0) {
            report = std::string("start failed: ") + text;
        } else {
            report = std::string(text) + "\n";
            void* g = nullptr;
            uint32_t status = 0;
            uint8_t failure[64] = {};
            char why[4096] = {};
            uint8_t state = 0;
            if (StarBurn_CdvdBurnerGrabber_CreateEx(&g, why, sizeof why, &status, failure, nullptr,
                                                    nullptr, "CdRom0", 1) == 0) {
                const uint8_t result = StarBurn_CdvdBurnerGrabber_GetAccess(
                    g, why, sizeof why, &status, failure, &state);
                report += std::to_string(result) + " " + std::to_string(state) + " " +
                          std::to_string(status) + " " + why;
                StarBurn_Destroy(&g);
            } else {
                report += std::string("open failed: ") + why;
            }
            StarBurn_DownShut();
        }
        const ssize_t written = ::write(out[1], report.data(), report.size());
        ::_exit(written >= 0 ? 0 : 3);
    }
    ::close(out[1]);
    std::string report;
    char chunk[512];
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;) {
        report.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
    const auto lines = report.find('\n');
    ASSERT_NE(lines, std::string::npos) << report;
    // The start's problems name it, and the drive's own answer is the advice whole.
    EXPECT_NE(report.substr(0, lines).find(expected), std::string::npos) << report;
    EXPECT_EQ(report.substr(lines + 1), std::to_string(SB_EXCEPTION_NOT_READY) + " " +
                                            std::to_string(SB_DEVICE_ACCESS_FORBIDDEN) + " " +
                                            std::to_string(EACCES) + " " + expected);
}

} // namespace
