// SPDX-License-Identifier: GPL-2.0-or-later
// Knowing that the disc is right: the checks of an image file before it is
// burnt, and the read-back verification of a written disc.
//
// The verification reads exactly the blocks a burn wrote, compares them with
// the image in one pass (bounded memory whatever the size), and computes the
// SHA-256 of the written data on the way, and the MD5 that isomd5sum's tools
// implant in an ISO image when the image carries one. Nothing here knows of
// windows: the wizard's burn action and a command-line front end call the same
// functions, on a thread of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What an image file says about itself.
struct TsbImageCheck {
    uint64_t FileBytes = 0;
    // An ISO9660 primary volume descriptor ("CD001" at byte 32769).
    bool IsIso = false;
    // Its volume space size times its logical block size.
    uint64_t DescribedBytes = 0;
    // An MD5 implanted by implantisomd5 ("ISO MD5SUM = " in the descriptor's
    // application-use area): 32 lowercase hex digits, and how many bytes from
    // the start it covers (the volume less its skipped last sectors).
    bool HasImplantedMd5 = false;
    std::string ImplantedMd5;
    uint64_t Md5Bytes = 0;

    // The file is shorter than the volume it describes. A longer file is fine.
    bool Incomplete() const { return IsIso && DescribedBytes > FileBytes; }
};

// Reads the image's volume descriptor. Raises EsbError when the file cannot be
// opened or read.
TsbImageCheck CheckImageFile(const std::string& Path);

// "The image is incomplete: it describes X bytes, the file has Y bytes"
std::string IncompleteImageText(const TsbImageCheck& Check);

// The byte offset of the 512-byte application-use area of the primary volume
// descriptor, which isomd5sum reads as blanks when it sums.
constexpr uint64_t sbIsoAppUseOffset = 16 * 2048 + 883;
constexpr uint64_t sbIsoAppUseSize = 512;

struct TsbVerifyCallbacks {
    // 0..100, raised when the percentage changes, on the verifying thread.
    std::function<void(int32_t Percent)> Progress;
    // Asked between reads; true stops the verification.
    std::function<bool()> Cancelled;
};

enum class TsbVerifyOutcome {
    Match,      // every block equals the image
    Differs,    // FailedBlock differs from the image
    Unreadable, // FailedBlock cannot be read
    ImageError, // the image file cannot be read
    Cancelled,
};

struct TsbVerifyResult {
    TsbVerifyOutcome Outcome = TsbVerifyOutcome::Match;
    // Blocks compared (all of them when the outcome is Match).
    uint32_t Blocks = 0;
    // Counted from the image's first block.
    uint32_t FailedBlock = 0;
    // SHA-256 of the written blocks, 64 lowercase hex digits (Match only).
    std::string Sha256;
    // The implanted MD5 was checked against the disc (Match only), and its result.
    bool Md5Checked = false;
    bool Md5Correct = false;
    // The line that says what went wrong; empty for a match.
    std::string FailureText;
    // Lines for the log beside the outcome (a cue sheet's tracks).
    std::vector<std::string> Notes;

    bool Passed() const {
        return Outcome == TsbVerifyOutcome::Match && (!Md5Checked || Md5Correct);
    }
};

// 2048-byte blocks of a number of bytes.
uint32_t BlocksOfBytes(uint64_t Bytes);

// Reads the image's blocks back from the disc in the opened drive Grabber,
// from StartLba on, and compares them with the image file.
TsbVerifyResult VerifyWrittenImage(void* Grabber, const std::string& ImagePath, uint32_t StartLba,
                                   const TsbVerifyCallbacks& Callbacks);

// The same for a disc burnt from the library's file tree FileTree (a
// folder): the tree's image is made again from the files and compared with
// the disc, so each file is checked against what the disc holds of it.
TsbVerifyResult VerifyWrittenTree(void* Grabber, void* FileTree, uint32_t StartLba,
                                  const TsbVerifyCallbacks& Callbacks);

// What the checks of an image file find when they read all of it.
struct TsbImageSums {
    TsbImageCheck Check;
    // SHA-256 of the file as it is, and of the data a burn writes (the file
    // padded with zeros to whole blocks; the same when it has whole blocks).
    std::string Sha256;
    std::string Sha256Written;
    // The implanted MD5 was summed, and whether the file matches it.
    bool Md5Checked = false;
    bool Md5Correct = false;
    bool Cancelled = false;
};

// Reads the image file once, in bounded memory: its volume descriptor, its
// SHA-256 and, when it carries one, its implanted MD5. Raises EsbError when
// the file cannot be read.
TsbImageSums SumImageFile(const std::string& ImagePath, const TsbVerifyCallbacks& Callbacks);
