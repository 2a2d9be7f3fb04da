// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbModeChoice.h"

#include "base/sbUtils.h"

namespace {

struct TsbModeChoiceInfo {
    const char* Name;
    uint8_t FromFile;
    uint8_t FromTree;
};

const TsbModeChoiceInfo& InfoOf(TsbModeChoice choice) {
    static const TsbModeChoiceInfo infos[] = {
        {"Disc-At-Once raw P-W", wmDiscAtOnceRawPWFromFile, wmDiscAtOnceRawPWFromTree},
        {"Disc-At-Once PQ", wmDiscAtOncePQFromFile, wmDiscAtOncePQFromTree},
        {"Session-At-Once", wmSessionAtOnceFromFile, wmSessionAtOnceFromTree},
        {"Track-At-Once", wmTrackAtOnceFromFile, wmTrackAtOnceFromTree},
    };
    return infos[choice <= mcTAO ? choice : mcTAO];
}

} // namespace

const char* ModeChoiceName(TsbModeChoice choice) {
    return InfoOf(choice).Name;
}

uint8_t ModeChoiceWriteMode(TsbModeChoice choice, bool fromFile) {
    return fromFile ? InfoOf(choice).FromFile : InfoOf(choice).FromTree;
}

bool ModeChoiceOffered(TsbModeChoice choice, const TsbWriteModes& can, uint8_t discType,
                       bool allowed) {
    const bool dvd = IsDVDDiscType(discType);
    switch (choice) {
    case mcDAORaw:
        return can.CanWriteDAORaw != 0 && allowed && !dvd;
    case mcDAOPQ:
        return can.CanWriteDAOPQ != 0 && allowed && !dvd;
    case mcSAO:
        return can.CanWriteSAO != 0 && allowed && !dvd;
    default:
        return can.CanWriteTAO != 0 && allowed;
    }
}

bool DiscAllowsWholeDiscModes(const TsbDiscInformation& disc) {
    return disc.DiscStatus() == 0;
}
