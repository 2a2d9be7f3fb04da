// SPDX-License-Identifier: GPL-2.0-or-later
// An ISO9660/Joliet file tree: the entries a caller adds, the collision rules
// between their names, and the image built from them through libisofs.
//
// The tree keeps its own model of folders and files; BuildImage turns it into
// a libisofs image and starts libisofs' generator, whose output is read in
// sequence through a bounded ring buffer, so memory stays flat whatever the
// tree's byte size. Every entry has a Joliet name (the caller's name) and an
// ISO9660 name (8.3); the image holds both trees over one copy of each file's
// content.
#pragma once

#include "starburn/StarBurn.h"
#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbHandles.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

struct burn_source;
struct Iso_Image;
struct iso_write_opts;
struct Iso_Dir;
struct Iso_File;

namespace starburn::filetree {

// The outcome of a failed tree operation, for the caller's failure report.
struct Error {
    uint8_t exception = SB_EXCEPTION_NONE;
    uint32_t status = SB_STATUS_NONE;
    std::string text;
};

struct Entry {
    // What the caller's callback sees as "the entry": one attribute byte
    // (0x10 folder, 0x20 file), then the source path, zero-terminated.
    std::unique_ptr<char[]> record;
    std::string name; // Joliet name, UTF-8
    std::string iso;  // ISO9660 name, no version suffix
    // The name on a Rock Ridge tree (the name on disk, made valid UTF-8):
    // libisofs derives the entry's ISO9660 and Joliet names from it.
    std::string rockRidge;
    bool directory = false;
    Entry* parent = nullptr;
    std::vector<std::unique_ptr<Entry>> children;

    // The source file as found when the image was last built.
    off_t size = 0;
    dev_t device = 0;
    ino_t inode = 0;
    time_t mtime = 0;

    const char* sourcePath() const { return record.get() + 1; }
    uint32_t attributes() const { return directory ? SB_ATTRIBUTE_DIRECTORY : 0x20u; }
};

// Faults the content streams report from libisofs' writer thread.
class StreamFaults {
public:
    void report(const char* path, int fault, int errnoValue);
    void clear();
    bool any() const { return any_.load(std::memory_order_acquire); }
    Error error() const;

private:
    mutable std::mutex mutex_;
    std::atomic<bool> any_{false};
    std::string text_;
    int errno_ = 0;
};

class FileTree final : public Object {
public:
    FileTree(PCALLBACK callback, void* context);
    ~FileTree() override;
    ObjectKind kind() const override { return ObjectKind::FileTree; }

    bool addFile(const char* sourcePath, const char* targetFolder, const char* name, Error& error);
    bool addFolder(const char* sourcePath, const char* targetFolder, const char* name,
                   Error& error);
    // StarBurn_ISO9660JolietFileTree_AddFolderContents (StarBurnLinux.h).
    bool addFolderContents(const char* sourceFolder, PSB_TREE_NOTE_HANDLER notes, void* context,
                           Error& error);
    bool removeName(const char* pathInTree, Error& error);
    bool setBootImage(const char* bootImage, uint32_t kind, uint32_t platform, uint32_t loadSectors,
                      uint32_t loadSegment, Error& error);
    bool build(uint32_t startAddress, uint32_t tailPadding, bool joliet, const char* volumeLabel,
               const char* applicationId, const char* preparerId, Error& error);

    bool built();
    uint64_t imageSize();
    // Reads exactly length bytes at the current position of the image.
    bool read(void* buffer, size_t length, Error& error);
    // Makes the next read start at the image's first byte.
    bool rewind(Error& error);

    // A write reads the image through the tree's one read position. From
    // beginWrite to endWrite every other call that changes the tree or moves
    // that position (AddFile, AddFolder, RemoveName, SetBootImage, BuildImage,
    // Read, SeekToBegin) fails with SB_EXCEPTION_DEVICE_BUSY, and so does a
    // second beginWrite: a tree is written by one write at a time, once.
    bool beginWrite(Error& error);
    void endWrite();
    bool readForWrite(void* buffer, size_t length, Error& error);
    bool rewindForWrite(Error& error);

private:
    struct Transaction;
    struct Placement;

    // Guards against a call from inside this tree's own callback, and
    // (unless the writer calls) against a call while a write reads the tree.
    bool enter(Error& error, bool byWriter = false);
    bool readLocked(void* buffer, size_t length, Error& error);
    bool rewindLocked(Error& error);

    Entry* resolve(const char* path) const;
    std::string pathOf(const Entry* entry) const;
    std::unique_ptr<Entry> makeEntry(const std::string& name, bool directory,
                                     const char* sourcePath) const;
    bool place(Entry* parent, std::unique_ptr<Entry> entry, Entry*& placed, Transaction& txn,
               Error& error);
    // Where the Joliet name is taken: renamed as the callback says, or
    // merged into the folder that has it (merged is then that folder).
    enum class NameSettled { Failed, Merged, Free };
    NameSettled settleJolietName(Entry* parent, Entry& entry, Entry*& merged, Error& error);
    void settleIsoName(const Entry* parent, Entry& entry);
    uint8_t askCollision(bool joliet, const std::string& shownName, const Entry* first,
                         const Entry* second, std::string& rewritten);
    bool addFolderContents(Entry* target, const std::string& sourcePath,
                           std::vector<std::pair<dev_t, ino_t>>& ancestors, Transaction& txn,
                           Error& error);
    void rollback(Transaction& txn);
    // Runs the steps of one add call; when they fail or throw, every entry
    // they placed is taken out again.
    bool placeOrUndo(const std::function<bool(Transaction&)>& steps);
    // The tree's folder at path, or null with the error that says why not.
    Entry* folderOf(const char* path, Error& error) const;
    void detach(Entry* entry);
    void raise(uint32_t reason, const void* special1, const void* special2);
    void note(uint32_t kind, const std::string& path, const std::string& text);
    // An entry skipped while a folder is read: the callback's IGNORE_NAME
    // and, on a Rock Ridge tree, a note.
    void skip(const std::string& name, const std::string& path, uint32_t kind,
              const std::string& why);
    void noteRenamed(const Entry& entry, const std::string& name, const std::string& path);
    bool placeRockRidge(Iso_Image* image, const Entry* dir, Iso_Dir* isoDir, Error& error);
    // A file's node in dir, its content read from the entry's source when the
    // image is written; with a twin name, a second node in twinDir shows the
    // same content to Joliet readers only.
    bool addFileNodes(Iso_Image* image, const Entry* e, Iso_Dir* dir, const std::string& name,
                      Iso_Dir* twinDir, const std::string& twinName, Iso_File*& file, Error& error);

    bool checkSources(Entry* dir, bool& needLevel3, Error& error);
    bool placeChildren(Placement& placement, const Entry* dir, Iso_Dir* isoDir, Iso_Dir* jolietDir,
                       const std::string& isoPath, Error& error);

    // The boot image's catalog, hidden from both trees; bootPath is where
    // the boot image stands in the ISO9660 tree.
    bool addBootCatalog(Iso_Image* image, const std::string& bootPath, Error& error);
    iso_write_opts* newWriteOptions(uint32_t startAddress, uint32_t tailPadding, bool joliet,
                                    bool needLevel3, Error& error);
    void invalidate();
    void stopStream();
    bool startStream(Error& error);
    Error streamFailure(const std::string& what);
    // At the end of the image: whether libisofs' generator ended without a
    // failure and without bytes beyond the announced size.
    bool generatorEndedWell();

    const PCALLBACK callback_;
    void* const context_;

    std::recursive_mutex mutex_;
    bool busy_ = false;
    bool writing_ = false; // a write reads the image

    // A tree made by addFolderContents: Rock Ridge names, MD5s recorded.
    // Before root_: making the root entry reads it.
    bool rockRidge_ = false;

    std::unique_ptr<Entry> root_;
    PSB_TREE_NOTE_HANDLER notes_ = nullptr;
    void* notesContext_ = nullptr;

    const Entry* boot_ = nullptr;
    std::string bootLost_; // the tree path of a boot image that was removed
    uint32_t bootLoadSectors_ = 1;
    uint32_t bootLoadSegment_ = 0;

    Iso_Image* image_ = nullptr;
    iso_write_opts* opts_ = nullptr;
    burn_source* source_ = nullptr;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    bool streamBroken_ = false;
    Error streamError_;
    StreamFaults faults_;
};

} // namespace starburn::filetree
