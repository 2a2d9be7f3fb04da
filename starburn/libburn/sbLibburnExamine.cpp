// SPDX-License-Identifier: GPL-2.0-or-later
// Discovery: what a drive reports about itself when it is examined at start.
#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/libburn/sbLibburnReady.h"
#include "starburn/libburn/sbLibburnRuntime.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace starburn::lb {

using namespace burn;

Error examineDrive(const std::string& deviceFile, DeviceFacts& f, burn_drive_info*& kept,
                   std::chrono::seconds readyWait, const std::string& title) {
    kept = nullptr;
    if (deviceFile.rfind("stdio:", 0) != 0) {
        if (Error e = awaitUnitReady(deviceFile, title, readyWait)) {
            return e;
        }
    }
    burn_drive_info* info = nullptr;
    int result = 0;
    uint64_t mark = 0;
    {
        std::lock_guard list(driveListMutex());
        mark = messageMark();
        std::string address = deviceFile;
        result = burn_drive_scan_and_grab(&info, address.data(), 0);
        if ((result <= 0 || info == nullptr) && info != nullptr) {
            burn_drive_info_free(info);
            info = nullptr;
        }
    }
    if (result <= 0 || info == nullptr) {
        int err = 0;
        std::string why = failureText(messagesSince(mark), err);
        if (why.empty()) {
            why = "libburn could not acquire it";
        }
        if (busyFailure(why, err)) {
            const std::string advice = busyAdvice(deviceFile);
            if (!advice.empty()) {
                why += ". " + advice;
            }
        }
        return makeError(SB_EXCEPTION_DEVICE_BUSY, err != 0 ? static_cast<uint32_t>(err) : EBUSY,
                         why);
    }
    const burn_drive_info& i = info[0];
    burn_drive* d = i.drive;
    auto text = [](const char* s, size_t n) {
        std::string t(s, strnlen(s, n));
        while (!t.empty() && t.back() == ' ') {
            t.pop_back();
        }
        return t;
    };
    f.vendor = text(i.vendor, sizeof i.vendor);
    f.product = text(i.product, sizeof i.product);
    f.revision = text(i.revision, sizeof i.revision);
    f.bufferSize = static_cast<uint32_t>(std::max(i.buffer_size, 0)) * 1024;

    int count = 0;
    int profiles[64] = {};
    char current[64] = {};
    burn_drive_get_all_profiles(d, &count, profiles, current);
    auto has = [&](int p) {
        for (int k = 0; k < count && k < 64; ++k) {
            if (profiles[k] == p) {
                return true;
            }
        }
        return false;
    };
    // libburn gives write modes only to drives that write CD or DVD.
    const bool writer = (i.tao_block_types | i.sao_block_types) != 0;
    f.readsCdR = i.read_cdr || has(0x09);
    f.readsCdRw = i.read_cdrw || has(0x0a);
    f.readsDvdRom = i.read_dvdrom || has(0x10);
    f.readsDvdR = i.read_dvdr || has(0x11) || has(0x14) || has(0x15);
    f.readsDvdRam = i.read_dvdram || has(0x12);
    f.readsDvdPlusR = has(0x1b);
    f.readsDvdPlusRw = has(0x1a);
    f.readsDvdPlusRDl = has(0x2b);
    f.testWrite = i.write_simulate;
    f.writesCdR = i.write_cdr || (writer && has(0x09));
    f.writesCdRw = i.write_cdrw || (writer && has(0x0a));
    f.writesDvdR = i.write_dvdr || (writer && (has(0x11) || has(0x13) || has(0x14) || has(0x15)));
    f.writesDvdRam = i.write_dvdram || (writer && has(0x12));
    f.writesDvdPlusR = writer && has(0x1b);
    f.writesDvdPlusRw = writer && has(0x1a);
    f.writesDvdPlusRDl = writer && has(0x2b);
    f.trackAtOnce = (i.tao_block_types & BURN_BLOCK_MODE1) != 0;
    f.sessionAtOnce = (i.sao_block_types & BURN_BLOCK_SAO) != 0;
    f.discAtOncePq = f.sessionAtOnce;
    f.discAtOnceRawPw = (i.raw_block_types & BURN_BLOCK_RAW96R) != 0;

    if (burn_write_opts* o = burn_write_opts_new(d)) {
        f.bupSupported = burn_write_opts_set_underrun_proof(o, 1) == 1;
        burn_write_opts_free(o);
    }

    // Still grabbed: the drive's Drive takes it over as a drive a call has
    // just used, so the device search that follows the start needs no new
    // grab (each grab and release stops the disc and spins it up again).
    // Kept scanned after it is let go: later uses grab it without a bus scan.
    kept = info;
    return {};
}

} // namespace starburn::lb
