// SPDX-License-Identifier: GPL-2.0-or-later
// The write calls: they check the request, open its sources (image files or
// built file trees) and run the write on the grabber's drive.
#include "starburn/core/sbCalls.h"
#include "starburn/core/sbFileSource.h"
#include "starburn/core/sbStreamSource.h"
#include "starburn/filetree/sbTreeSource.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

using namespace starburn;

namespace {

#define SB_REPORT                                                                                  \
    Report {                                                                                       \
        pExceptionText, ulExceptionTextSize, pStatus, pFailureInfo                                 \
    }

Error checkRevision(uint32_t revision) {
    if (revision == SB_WRITE_REVISION) {
        return {};
    }
    return badArgument("Layout revision " + std::to_string(revision) +
                       " is not known; this library speaks revision " +
                       std::to_string(SB_WRITE_REVISION));
}

Error checkTrackKind(uint8_t kind, size_t index) {
    if (kind == 0) {
        return {};
    }
    return makeError(SB_EXCEPTION_NOT_SUPPORTED, EINVAL,
                     "Track " + std::to_string(index + 1) + " has kind " + std::to_string(kind) +
                         "; only data mode 1 tracks (kind 0) are written");
}

// A path inside a caller's record: it has to end inside its field, or it is
// not a path the library may read.
Error pathInField(const char* field, size_t fieldSize, size_t index, std::string& path) {
    const void* end = std::memchr(field, '\0', fieldSize);
    if (end == nullptr) {
        return badArgument("The path of track " + std::to_string(index + 1) +
                           " is not zero-terminated within its " + std::to_string(fieldSize) +
                           " bytes");
    }
    path.assign(field, static_cast<const char*>(end));
    return {};
}

Error addFileTrack(WriteJob& job, const std::string& path) {
    Error e;
    auto source = openFileSource(path, e);
    if (!source) {
        return e;
    }
    job.tracks.push_back({std::move(source), "image file \"" + path + "\""});
    return {};
}

Error addTreeTrack(WriteJob& job, void* tree) {
    if (tree == nullptr) {
        return badArgument("No file tree was given");
    }
    std::string error;
    uint8_t exception = 0;
    auto source = openTreeSource(tree, error, &exception);
    if (!source) {
        return makeError(exception, exception == SB_EXCEPTION_DEVICE_BUSY ? EBUSY : 0, error);
    }
    job.tracks.push_back({std::move(source), "file tree image"});
    return {};
}

Error checkWriter(Grabber& g) {
    if (Error e = needsFullAccess(g, "write")) {
        return e;
    }
    return notWhileWriting(g);
}

Error fileLayoutJob(WriteJob& job, const void* layout) {
    if (layout == nullptr) {
        return badArgument("No file source layout was given");
    }
    const auto* bytes = static_cast<const uint8_t*>(layout);
    uint32_t count = 0;
    std::memcpy(&count, bytes + offsetof(FileSourceLayoutRecord, TrackCount), sizeof count);
    if (count == 0 || count > SB_FILE_SOURCE_MAX_TRACKS) {
        return badArgument("The file source layout holds " + std::to_string(count) +
                           " tracks; 1 to " + std::to_string(SB_FILE_SOURCE_MAX_TRACKS) +
                           " can be written");
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry =
            bytes + offsetof(FileSourceLayoutRecord, Tracks) + i * sizeof(FileSourceEntry);
        if (Error e = checkTrackKind(entry[offsetof(FileSourceEntry, TrackKind)], i)) {
            return e;
        }
        std::string path;
        if (Error e = pathInField(
                reinterpret_cast<const char*>(entry + offsetof(FileSourceEntry, FileName)),
                SB_FILE_SOURCE_PATH_SIZE, i, path)) {
            return e;
        }
        if (Error e = addFileTrack(job, path)) {
            return e;
        }
    }
    return {};
}

uint8_t discAtOnceFromFile(const char* function, WriteMethod method, const Report& where,
                           void* pGrabber, void* layout, uint8_t overburn, uint8_t testWrite,
                           uint8_t multiSession, uint8_t cdText, uint8_t reportProgress,
                           uint32_t revision) {
    return grabberCall(function, pGrabber, where, [&](Grabber& g) -> Error {
        if (Error e = checkRevision(revision)) {
            return e;
        }
        if (Error e = checkWriter(g)) {
            return e;
        }
        if (cdText != 0) {
            return makeError(SB_EXCEPTION_NOT_SUPPORTED, EINVAL,
                             "CD-Text is not written with data tracks");
        }
        WriteJob job;
        job.method = method;
        job.overburn = overburn != 0;
        job.testWrite = testWrite != 0;
        job.multiSession = multiSession != 0;
        if (Error e = fileLayoutJob(job, layout)) {
            return e;
        }
        return g.write(job, reportProgress != 0);
    });
}

uint8_t discAtOnceFromTree(const char* function, WriteMethod method, const Report& where,
                           void* pGrabber, void* tree, uint8_t overburn, uint8_t testWrite,
                           uint8_t multiSession, uint8_t reportProgress, uint32_t revision) {
    return grabberCall(function, pGrabber, where, [&](Grabber& g) -> Error {
        if (Error e = checkRevision(revision)) {
            return e;
        }
        if (Error e = checkWriter(g)) {
            return e;
        }
        WriteJob job;
        job.method = method;
        job.overburn = overburn != 0;
        job.testWrite = testWrite != 0;
        job.multiSession = multiSession != 0;
        if (Error e = addTreeTrack(job, tree)) {
            return e;
        }
        return g.write(job, reportProgress != 0);
    });
}

uint8_t trackAtOnce(const char* function, const Report& where, void* pGrabber, uint8_t closeTrack,
                    uint8_t testWrite, uint8_t multiSession, uint8_t reportProgress,
                    uint32_t revision, const std::function<Error(WriteJob&)>& addSource) {
    return grabberCall(function, pGrabber, where, [&](Grabber& g) -> Error {
        if (Error e = checkRevision(revision)) {
            return e;
        }
        if (Error e = checkWriter(g)) {
            return e;
        }
        if (closeTrack == 0) {
            return makeError(SB_EXCEPTION_NOT_SUPPORTED, EINVAL,
                             "Leaving a track open after Track-At-Once is not supported");
        }
        WriteJob job;
        job.method = WriteMethod::TrackAtOnce;
        job.testWrite = testWrite != 0;
        job.multiSession = multiSession != 0;
        if (Error e = addSource(job)) {
            return e;
        }
        return g.write(job, reportProgress != 0);
    });
}

} // namespace

extern "C" {

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
    SB_GRABBER_HEAD, const char* pFileName, uint8_t bCloseTrack, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bReportProgress, uint32_t ulRevision) {
    return trackAtOnce("StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile", SB_REPORT, pGrabber,
                       bCloseTrack, bTestWrite, bMultiSession, bReportProgress, ulRevision,
                       [&](WriteJob& job) -> Error {
                           if (pFileName == nullptr) {
                               return badArgument("No image file was named");
                           }
                           return addFileTrack(job, pFileName);
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
    SB_GRABBER_HEAD, void* pFileTree, uint8_t bCloseTrack, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bReportProgress, uint32_t ulRevision) {
    return trackAtOnce("StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree", SB_REPORT, pGrabber,
                       bCloseTrack, bTestWrite, bMultiSession, bReportProgress, ulRevision,
                       [&](WriteJob& job) { return addTreeTrack(job, pFileTree); });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_TrackAtOnceFromStream(
    SB_GRABBER_HEAD, uint64_t ullSize, PSB_STREAM_READ pRead, void* pContext, uint8_t bCloseTrack,
    uint8_t bTestWrite, uint8_t bMultiSession, uint8_t bReportProgress, uint32_t ulRevision) {
    return trackAtOnce(
        "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromStream", SB_REPORT, pGrabber, bCloseTrack,
        bTestWrite, bMultiSession, bReportProgress, ulRevision, [&](WriteJob& job) -> Error {
            if (pRead == nullptr || ullSize == 0) {
                return badArgument(pRead == nullptr ? "No read function of the stream was given"
                                                    : "The stream is empty");
            }
            job.tracks.push_back(
                {openStreamSource(ullSize, pRead, pContext), "stream of the write"});
            return {};
        });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SessionAtOnce(
    SB_GRABBER_HEAD, void* pSessionLayout, uint8_t bEntriesAreTrees, uint8_t bTestWrite,
    uint8_t bCloseSession, uint8_t bReportProgress, uint32_t ulRevision) {
    return grabberCall(
        "StarBurn_CdvdBurnerGrabber_SessionAtOnce", pGrabber, SB_REPORT, [&](Grabber& g) -> Error {
            if (Error e = checkRevision(ulRevision)) {
                return e;
            }
            if (Error e = checkWriter(g)) {
                return e;
            }
            if (pSessionLayout == nullptr) {
                return badArgument("No session layout was given");
            }
            const auto* bytes = static_cast<const uint8_t*>(pSessionLayout);
            uint32_t count = 0;
            std::memcpy(&count, bytes + offsetof(SessionLayoutRecord, EntryCount), sizeof count);
            if (count == 0 || count > SB_SESSION_MAX_ENTRIES) {
                return badArgument("The session layout holds " + std::to_string(count) +
                                   " entries; 1 to " + std::to_string(SB_SESSION_MAX_ENTRIES) +
                                   " can be written");
            }
            WriteJob job;
            job.method = WriteMethod::SessionAtOnce;
            job.testWrite = bTestWrite != 0;
            job.closeSession = bCloseSession != 0;
            std::vector<void*> trees;
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* entry =
                    bytes + offsetof(SessionLayoutRecord, Entries) + i * sizeof(SessionEntry);
                if (Error e = checkTrackKind(entry[offsetof(SessionEntry, TrackKind)], i)) {
                    return e;
                }
                if (bEntriesAreTrees != 0) {
                    void* tree = nullptr;
                    std::memcpy(&tree, entry + offsetof(SessionEntry, FileTree), sizeof tree);
                    // Two tracks from one tree would share its one read position.
                    const auto same = std::find(trees.begin(), trees.end(), tree);
                    if (tree != nullptr && same != trees.end()) {
                        return badArgument(
                            "Entries " + std::to_string(same - trees.begin()) + " and " +
                            std::to_string(i) +
                            " of the session layout are the same file tree; a tree is written "
                            "once per session");
                    }
                    trees.push_back(tree);
                    if (Error e = addTreeTrack(job, tree)) {
                        return e;
                    }
                } else {
                    std::string path;
                    if (Error e = pathInField(
                            reinterpret_cast<const char*>(entry + offsetof(SessionEntry, FileName)),
                            SB_SESSION_PATH_SIZE, i, path)) {
                        return e;
                    }
                    if (Error e = addFileTrack(job, path)) {
                        return e;
                    }
                }
            }
            return g.write(job, bReportProgress != 0);
        });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile(
    SB_GRABBER_HEAD, void* pFileSourceLayout, uint8_t bOverburn, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bCdText, uint8_t bReportProgress, uint32_t ulRevision) {
    return discAtOnceFromFile("StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile",
                              WriteMethod::DiscAtOncePq, SB_REPORT, pGrabber, pFileSourceLayout,
                              bOverburn, bTestWrite, bMultiSession, bCdText, bReportProgress,
                              ulRevision);
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(
    SB_GRABBER_HEAD, void* pFileSourceLayout, uint8_t bOverburn, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bCdText, uint8_t bReportProgress, uint32_t ulRevision) {
    return discAtOnceFromFile("StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile",
                              WriteMethod::DiscAtOnceRawPw, SB_REPORT, pGrabber, pFileSourceLayout,
                              bOverburn, bTestWrite, bMultiSession, bCdText, bReportProgress,
                              ulRevision);
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree(
    SB_GRABBER_HEAD, void* pFileTree, uint8_t bOverburn, uint8_t bTestWrite, uint8_t bMultiSession,
    uint8_t bReportProgress, uint32_t ulRevision) {
    return discAtOnceFromTree("StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree",
                              WriteMethod::DiscAtOncePq, SB_REPORT, pGrabber, pFileTree, bOverburn,
                              bTestWrite, bMultiSession, bReportProgress, ulRevision);
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(
    SB_GRABBER_HEAD, void* pFileTree, uint8_t bOverburn, uint8_t bTestWrite, uint8_t bMultiSession,
    uint8_t bReportProgress, uint32_t ulRevision) {
    return discAtOnceFromTree("StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree",
                              WriteMethod::DiscAtOnceRawPw, SB_REPORT, pGrabber, pFileTree,
                              bOverburn, bTestWrite, bMultiSession, bReportProgress, ulRevision);
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOnceFromCue(SB_GRABBER_HEAD,
                                                                  const char* pCueFileName,
                                                                  uint8_t bTestWrite,
                                                                  uint8_t bReportProgress) {
    return grabberCall("StarBurn_CdvdBurnerGrabber_DiscAtOnceFromCue", pGrabber, SB_REPORT,
                       [&](Grabber& g) -> Error {
                           if (Error e = checkWriter(g)) {
                               return e;
                           }
                           if (pCueFileName == nullptr || *pCueFileName == '\0') {
                               return badArgument("No cue sheet was named");
                           }
                           WriteJob job;
                           job.method = WriteMethod::DiscAtOncePq;
                           job.testWrite = bTestWrite != 0;
                           job.cueSheet = pCueFileName;
                           return g.write(job, bReportProgress != 0);
                       });
}

} // extern "C"

namespace starburn {

const char* writeMethodName(WriteMethod method) {
    switch (method) {
    case WriteMethod::TrackAtOnce:
        return "Track-At-Once";
    case WriteMethod::SessionAtOnce:
        return "Session-At-Once";
    case WriteMethod::DiscAtOncePq:
        return "Disc-At-Once PQ";
    case WriteMethod::DiscAtOnceRawPw:
        return "Disc-At-Once raw P-W";
    }
    return "write";
}

} // namespace starburn
