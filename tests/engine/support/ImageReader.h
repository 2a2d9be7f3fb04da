// SPDX-License-Identifier: GPL-2.0-or-later
// Reads an ISO9660/Joliet image back with libisofs' reader, which shares no
// code with the library's image writer, and builds file trees through the
// library's C functions as a caller of the burn engine would.
#pragma once

#include "base/sbCallBack.h"
#include "starburn/StarBurn.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace enginetest {

// One entry of an image: a folder, or a file with its content.
struct TImageItem {
    bool Directory = false;
    std::string Content;
    bool operator==(const TImageItem&) const = default;
};

enum class TImageNames { Iso9660, Joliet };

// Every folder and file of one of the image's two trees, by path ("/DOCS",
// "/DOCS/README.TXT;1"). ISO9660 names come as recorded, with their version;
// Joliet names without one. StartBlock: the block the image was written at
// (for a later session of a disc). Empty with a test failure when libisofs
// cannot read the image.
std::map<std::string, TImageItem> ReadImageTree(const std::filesystem::path& image,
                                                TImageNames names, uint32_t startBlock = 0);

// The bytes of Size at Offset of a file (shorter at its end).
std::string ReadFileRange(const std::filesystem::path& path, uint64_t offset, uint64_t size);

// A file tree created through the library with the program's callback and a
// node count, as a caller of the engine builds one. The handle belongs to the
// test until it is handed to a burner (Release), which destroys it. The
// callback counts into this record for the tree's whole life: keep the record
// until the tree is destroyed.
class TTestTree {
public:
    TTestTree();
    ~TTestTree();
    TTestTree(const TTestTree&) = delete;
    TTestTree& operator=(const TTestTree&) = delete;

    // The library's failure text of the last call ("" after a success).
    std::string LastError;
    uint8_t LastException = 0;
    uint32_t LastStatus = 0;
    // Kept by LibraryCallback (reasons 0 and 1).
    uint32_t Nodes = 0;

    bool AddFile(const std::filesystem::path& source, const char* folder = "/",
                 const char* name = nullptr);
    bool AddFolder(const std::filesystem::path& source, const char* folder = "/",
                   const char* name = nullptr);
    bool AddEmptyFolder(const char* folder, const char* name);
    bool Remove(const char* pathInTree);

    void* Handle() const { return handle_; }
    // Hands the tree over; the caller destroys it from now on.
    void* Release();

private:
    bool result(uint8_t exception, const char* text, uint32_t status);
    void* handle_ = nullptr;
};

} // namespace enginetest
