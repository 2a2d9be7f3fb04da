// SPDX-License-Identifier: GPL-2.0-or-later
// The read-back comparison at the disc's pace: the disc is read in large
// aligned blocks and compared with what was burnt on the verifying thread,
// while a second thread sums the blocks already compared (SHA-256, and an
// implanted MD5), so summing never holds the reads up. A few blocks are in
// flight at a time: memory stays bounded (about 16 MB) whatever the size.
// Audio tracks are read the same way, as 2352-byte sectors.
#pragma once

#include "engine/sbVerify.h"

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One running digest (SHA-256 or MD5) through OpenSSL. Raises EsbError when
// OpenSSL cannot make one.
class TsbDigest {
public:
    explicit TsbDigest(const EVP_MD* Kind);
    ~TsbDigest();
    TsbDigest(const TsbDigest&) = delete;
    TsbDigest& operator=(const TsbDigest&) = delete;

    void Update(const void* Data, size_t Size);
    std::string HexDigest();
    // The digest of what was fed so far followed by Zeros zero bytes; this
    // digest goes on unchanged.
    std::string HexDigestWithZeros(size_t Zeros) const;

private:
    EVP_MD_CTX* ctx_;
};

// Feeds the part of Data (Bytes at Offset of the image) that an implanted
// MD5 covering Md5Bytes sums. isomd5sum sums the application-use area as
// blanks: it holds the sum itself. Data is changed there.
void UpdateImplantedMd5(TsbDigest& Md5, char* Data, size_t Bytes, uint64_t Offset,
                        uint64_t Md5Bytes);

// The next Bytes of what was burnt, read in order from the first byte:
// false, with Why set, when they cannot be had.
using TsbVerifySource = std::function<bool(char* Buffer, size_t Bytes, std::string& Why)>;

// One stretch of the disc and what was burnt there: an image or a folder is
// one, a cue sheet's tracks one each.
struct TsbCompareSpec {
    // The bytes burnt; the last sector is compared padded with zeros, as written.
    uint64_t Bytes = 0;
    uint32_t StartLba = 0;
    // Audio sectors of 2352 bytes read with READ CD, not 2048-byte data blocks.
    bool Audio = false;
    // An implanted MD5 (32 lowercase hex digits) and the bytes it covers; none when empty.
    std::string ImplantedMd5;
    uint64_t Md5Bytes = 0;
    // The failure line when the source fails: this text, then " (Why)".
    std::string SourceFailure;
    // The failure lines for Sector (counted from StartLba) when it differs
    // or cannot be read (Why: the drive's text); an image's when not set.
    std::function<std::string(uint32_t Sector)> DiffersText;
    std::function<std::string(uint32_t Sector, const std::string& Why)> UnreadableText;
};

struct TsbComparePart {
    TsbCompareSpec Spec;
    TsbVerifySource Source;
};

// Reads each part back from the disc in the opened drive Grabber, in order,
// and compares it with its source; one SHA-256 sums them all, the progress
// counts their sectors together, and only the first part's implanted MD5 is
// checked. The outcome as VerifyWrittenImage gives it: Blocks counts the
// sectors compared, FailedBlock counts from the first part's StartLba.
TsbVerifyResult CompareDiscWith(void* Grabber, const std::vector<TsbComparePart>& Parts,
                                const TsbVerifyCallbacks& Callbacks);
TsbVerifyResult CompareDiscWith(void* Grabber, const TsbCompareSpec& Spec,
                                const TsbVerifySource& Source, const TsbVerifyCallbacks& Callbacks);
