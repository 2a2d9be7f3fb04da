// SPDX-License-Identifier: GPL-2.0-or-later
// The backend's calls for tests (sbLibburnTesting.h): the information blocks
// of a described disc, how often a drive was opened, the busy advice, the
// write plan and the advice for a drive closed to the user, without a drive.
#include "starburn/core/sbSession.h"
#include "starburn/libburn/sbLibburnAccess.h"
#include "starburn/libburn/sbLibburnDrive.h"
#include "starburn/libburn/sbLibburnDriveParts.h"
#include "starburn/libburn/sbLibburnTesting.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cstring>

using namespace starburn;
using namespace starburn::lb;

extern "C" STARBURN_API void StarBurnLibburnTesting_Describe(const StarBurnLibburnTesting_Disc* in,
                                                             uint8_t* pDiscType,
                                                             SB_DISC_INFORMATION* pInformation,
                                                             SB_TRACK_INFORMATION* pNextTrack,
                                                             SB_TOC_INFORMATION* pToc) {
    RawDisc raw;
    raw.media = mediaOf(static_cast<burn::burn_disc_status>(in->Status));
    raw.profile = static_cast<int>(in->Profile);
    raw.role = static_cast<Role>(in->Role);
    raw.erasable = in->Erasable != 0;
    raw.availableBytes = in->AvailableBytes;
    raw.readCapacity = in->ReadCapacity;
    raw.nwaResult = in->NwaResult;
    raw.nextTrackLba = in->NextTrackLba;
    raw.nwa = in->Nwa;
    raw.damage = in->Damage;
    for (uint32_t i = 0; i < in->SessionCount && i < STARBURN_LIBBURN_TESTING_MAX_SESSIONS; ++i) {
        const auto& from = in->Sessions[i];
        RawSession session;
        session.complete = from.Complete != 0;
        session.leadOut.extensionsValid = 1;
        session.leadOut.startLba = from.LeadOutLba;
        for (uint32_t k = 0; k < from.TrackCount && k < STARBURN_LIBBURN_TESTING_MAX_TRACKS; ++k) {
            const auto& t = from.Tracks[k];
            RawTocEntry e;
            e.point = t.Point;
            e.control = t.Control;
            e.extensionsValid = t.ExtensionsValid;
            e.startLba = t.StartLba;
            e.trackBlocks = t.TrackBlocks;
            e.sectors = t.TrackBlocks;
            e.trackStatusBits = t.TrackStatusBits;
            session.tracks.push_back(e);
        }
        raw.sessions.push_back(std::move(session));
    }
    const DiscState s = stateOf(raw);
    *pDiscType = discTypeOf(s);
    std::memset(pInformation, 0, sizeof *pInformation);
    std::memset(pNextTrack, 0, sizeof *pNextTrack);
    std::memset(pToc, 0, sizeof *pToc);
    if (s.present()) {
        fillDiscInformation(s, *pInformation);
        fillTrackInformation(s, SB_TRACK_NUMBER_INVISIBLE, *pNextTrack);
        fillTocInformation(s, *pToc);
    }
}

extern "C" STARBURN_API uint8_t StarBurnLibburnTesting_DriveOpenings(const char* pDeviceName,
                                                                     uint32_t* pScans,
                                                                     uint32_t* pGrabs) {
    auto session = currentSession();
    if (!session || pDeviceName == nullptr) {
        return SB_EXCEPTION_NOT_STARTED;
    }
    auto entry = session->table.byName(pDeviceName);
    auto* drive = entry ? dynamic_cast<Drive*>(entry->device.get()) : nullptr;
    if (drive == nullptr) {
        return SB_EXCEPTION_NO_DEVICE;
    }
    *pScans = drive->scans();
    *pGrabs = drive->grabs();
    return SB_EXCEPTION_NONE;
}

extern "C" STARBURN_API void StarBurnLibburnTesting_BusyAdvice(const char* pDeviceFile, char* pText,
                                                               uint32_t ulTextSize) {
    copyText(pText, ulTextSize, busyAdvice(pDeviceFile));
}

extern "C" STARBURN_API uint8_t StarBurnLibburnTesting_PlanWrite(
    uint8_t ucMethod, uint8_t bMultiSession, uint32_t ulProfile, uint32_t ulRole, uint32_t ulStatus,
    uint8_t bClaimedIncremental, const uint32_t* pCaps, uint8_t* pMethod, uint8_t* pMulti) {
    static constexpr WriteMethod kMethods[] = {WriteMethod::TrackAtOnce, WriteMethod::SessionAtOnce,
                                               WriteMethod::DiscAtOncePq,
                                               WriteMethod::DiscAtOnceRawPw};
    DiscState s;
    s.media = mediaOf(static_cast<burn::burn_disc_status>(ulStatus));
    s.profile = static_cast<int>(ulProfile);
    s.role = static_cast<Role>(ulRole);
    const WritePlan plan =
        planWrite(kMethods[ucMethod & 3], bMultiSession != 0, s, true, bClaimedIncremental != 0,
                  [&](WriteMethod m) {
                      const uint32_t bits = pCaps[static_cast<int>(m)];
                      return WriteCaps{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
                  });
    *pMethod = static_cast<uint8_t>(plan.method);
    *pMulti = plan.multi ? 1 : 0;
    return static_cast<uint8_t>(plan.change);
}

extern "C" STARBURN_API void StarBurnLibburnTesting_AccessAdvice(const char* pDeviceFile,
                                                                 int32_t lErrno,
                                                                 const char* pUdevData, char* pText,
                                                                 uint32_t ulTextSize) {
    if (pDeviceFile == nullptr || pText == nullptr || ulTextSize == 0) {
        return;
    }
    const std::string advice = accessAdvice(
        readAccessFacts(pDeviceFile, lErrno, pUdevData != nullptr ? pUdevData : "/run/udev/data"));
    const std::size_t n = std::min<std::size_t>(advice.size(), ulTextSize - 1);
    std::memcpy(pText, advice.data(), n);
    pText[n] = '\0';
}
