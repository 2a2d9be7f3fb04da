// SPDX-License-Identifier: GPL-2.0-or-later
// The media id of a libburn drive's disc and the manufacturer libburn's list
// names for it.
#include "starburn/libburn/sbLibburnDrive.h"

#include <libburn/libburn.h>

#include <cstdlib>
#include <cstring>

namespace starburn::lb {

void Drive::discMediaId(std::string& id, std::string& manufacturer) {
    id.clear();
    manufacturer.clear();
    DiscState s;
    if (stateForQuery(s) || !s.present() || setup_.stdio) {
        return;
    }
    std::lock_guard lock(mutex_);
    // A write has the drive to itself; the releaser may have let it go.
    if (writing_ || drive_ == nullptr) {
        return;
    }
    char* product = nullptr;
    char* code1 = nullptr;
    char* code2 = nullptr;
    char* book = nullptr;
    if (burn::burn_disc_get_media_id(drive_, &product, &code1, &code2, &book, 1) > 0 &&
        product != nullptr) {
        id = product;
        // The codes escaped as burn_guess_manufacturer wants them.
        char* escaped1 = nullptr;
        char* escaped2 = nullptr;
        char* unused1 = nullptr;
        char* unused2 = nullptr;
        if (burn::burn_disc_get_media_id(drive_, &unused1, &escaped1, &escaped2, &unused2, 0) > 0 &&
            escaped1 != nullptr && escaped2 != nullptr) {
            if (char* name = burn::burn_guess_manufacturer(s.profile, escaped1, escaped2, 0)) {
                if (std::strncmp(name, "Unknown ", 8) != 0) {
                    manufacturer = name;
                }
                std::free(name);
            }
        }
        for (char* p : {unused1, escaped1, escaped2, unused2}) {
            std::free(p);
        }
    }
    for (char* p : {product, code1, code2, book}) {
        std::free(p);
    }
}

} // namespace starburn::lb
