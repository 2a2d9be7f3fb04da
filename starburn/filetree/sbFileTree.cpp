// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/filetree/sbFileTree.h"

#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

#include "starburn/filetree/sbFileTreeParts.h"
#include "starburn/filetree/sbTreeNames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::filetree {
namespace {

// A collision answer that keeps naming the same clash is asked again only a
// few times before the library decides.
constexpr int kCollisionAttempts = 8;

constexpr uint32_t kBootKindNoEmulationInfoTable = 6;

constexpr uint32_t kBootPlatformX86 = 2;

std::string baseName(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Marks the tree busy for the length of a call that raises callbacks.
class BusyGuard {
public:
    explicit BusyGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyGuard() { flag_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& flag_;
};

Entry* findJoliet(const Entry* parent, const std::string& name) {
    for (const auto& child : parent->children) {
        if (jolietEqual(child->name, name)) {
            return child.get();
        }
    }
    return nullptr;
}

Entry* findIso(const Entry* parent, const std::string& iso) {
    for (const auto& child : parent->children) {
        if (child->iso == iso) {
            return child.get();
        }
    }
    return nullptr;
}

Error collision(const std::string& text) {
    return {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE, "name collision: " + text};
}

} // namespace

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

Error fileError(int err, const std::string& what) {
    return {SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err), what + ": " + std::strerror(err)};
}

// Checks that a source file exists, is a regular file (links followed) and can be read.
bool checkReadableFile(const std::string& path, struct stat& st, Error& error) {
    if (::stat(path.c_str(), &st) != 0) {
        error = fileError(errno, "cannot find source file " + quoted(path));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = {SB_EXCEPTION_FILE_ERROR, SB_STATUS_NONE,
                 "source " + quoted(path) + " is not a regular file"};
        return false;
    }
    // Non-blocking, and checked again on what was opened: a file swapped for
    // a FIFO after the check above must not hang the call.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = fileError(errno, "cannot read source file " + quoted(path));
        return false;
    }
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) {
        error = {SB_EXCEPTION_FILE_ERROR, SB_STATUS_NONE,
                 "source " + quoted(path) + " is not a regular file"};
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Tree model

// The entries one add call placed, so a failed call can take them out again.
struct FileTree::Transaction {
    std::vector<Entry*> placed;
};

FileTree::FileTree(PCALLBACK callback, void* context)
    : callback_(callback), context_(context), root_(makeEntry("", true, "")) {}

FileTree::~FileTree() {
    stopStream();
    if (image_ != nullptr) {
        releaseImage(image_);
    }
    if (opts_ != nullptr) {
        iso_write_opts_free(opts_);
    }
}

bool FileTree::enter(Error& error, bool byWriter) {
    if (busy_) {
        error = {SB_EXCEPTION_GENERIC, SB_STATUS_NONE,
                 "the file tree is busy: its callback may not call into the same tree"};
        return false;
    }
    if (writing_ && !byWriter) {
        // Changing or rewinding the image under the write would put a
        // silently wrong disc in the drive.
        error = {SB_EXCEPTION_DEVICE_BUSY, SB_STATUS_NONE,
                 "the file tree is being written to a disc; wait until the write ends"};
        return false;
    }
    return true;
}

void FileTree::raise(uint32_t reason, const void* special1, const void* special2) {
    if (callback_ != nullptr) {
        callback_(reason, context_, const_cast<void*>(special1), const_cast<void*>(special2));
    }
}

std::unique_ptr<Entry> FileTree::makeEntry(const std::string& name, bool directory,
                                           const char* sourcePath) const {
    auto entry = std::make_unique<Entry>();
    const size_t length = sourcePath != nullptr ? std::strlen(sourcePath) : 0;
    entry->record = std::make_unique<char[]>(length + 2);
    entry->record[0] = static_cast<char>(directory ? SB_ATTRIBUTE_DIRECTORY : 0x20u);
    if (length > 0) {
        std::memcpy(entry->record.get() + 1, sourcePath, length);
    }
    entry->record[length + 1] = '\0';
    entry->name = jolietName(name);
    entry->iso = isoName(entry->name, directory);
    if (rockRidge_) {
        // Rock Ridge keeps the name as it is; libisofs wants it in UTF-8.
        entry->rockRidge = utf16ToUtf8(utf8ToUtf16(name));
    }
    entry->directory = directory;
    return entry;
}

Entry* FileTree::resolve(const char* path) const {
    Entry* current = root_.get();
    if (path == nullptr) {
        return current;
    }
    std::string_view rest(path);
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty()) {
            continue;
        }
        if (!current->directory) {
            return nullptr;
        }
        Entry* next = nullptr;
        for (auto& child : current->children) {
            if (child->name == part) {
                next = child.get();
                break;
            }
        }
        if (next == nullptr) {
            for (auto& child : current->children) {
                if (jolietEqual(child->name, part)) {
                    next = child.get();
                    break;
                }
            }
        }
        if (next == nullptr) {
            return nullptr;
        }
        current = next;
    }
    return current;
}

std::string FileTree::pathOf(const Entry* entry) const {
    if (entry == nullptr || entry->parent == nullptr) {
        return "/";
    }
    std::string path;
    for (const Entry* e = entry; e->parent != nullptr; e = e->parent) {
        path.insert(0, "/" + e->name);
    }
    return path;
}

uint8_t FileTree::askCollision(bool joliet, const std::string& shownName, const Entry* first,
                               const Entry* second, std::string& rewritten) {
    NameCollisionRecord record;
    std::memset(&record, 0, sizeof record);
    record.TreeKind = joliet ? 1 : 0;
    if (joliet) {
        const std::u16string wide = utf8ToUtf16(shownName);
        const size_t units = std::min<size_t>(wide.size(), SB_COLLISION_NAME_SIZE / 2 - 1);
        for (size_t i = 0; i < units; ++i) {
            record.Name[2 * i] = static_cast<uint8_t>(wide[i] & 0xFF);
            record.Name[2 * i + 1] = static_cast<uint8_t>(wide[i] >> 8);
        }
    } else {
        const size_t bytes = std::min<size_t>(shownName.size(), SB_COLLISION_NAME_SIZE - 1);
        std::memcpy(record.Name, shownName.data(), bytes);
    }
    record.FirstEntry = first->record.get();
    record.FirstAttributes = first->attributes();
    record.SecondEntry = second->record.get();
    record.SecondAttributes = second->attributes();
    record.Reply = 0;

    raise(SB_REASON_TREE_NAME_COLLISION, &record, nullptr);

    // The rewritten name is read only up to the record's end, terminated or not.
    if (joliet) {
        std::u16string wide;
        for (size_t i = 0; i + 1 < SB_COLLISION_NAME_SIZE; i += 2) {
            const char16_t unit = static_cast<char16_t>(
                record.Name[i] | (static_cast<char16_t>(record.Name[i + 1]) << 8));
            if (unit == 0) {
                break;
            }
            wide += unit;
        }
        rewritten = utf16ToUtf8(wide);
    } else {
        const auto* begin = reinterpret_cast<const char*>(record.Name);
        rewritten.assign(begin, strnlen(begin, SB_COLLISION_NAME_SIZE));
    }
    return record.Reply;
}

bool FileTree::place(Entry* parent, std::unique_ptr<Entry> entry, Entry*& placed, Transaction& txn,
                     Error& error) {
    if (rockRidge_) {
        // Names on disk are distinct in their folder; libisofs makes the
        // ISO9660 names, and the Joliet names are made unique when the
        // image is built.
        for (auto& child : parent->children) {
            if (child->rockRidge == entry->rockRidge) {
                error = collision(quoted(entry->rockRidge) + " is already in folder " +
                                  quoted(pathOf(parent)));
                return false;
            }
        }
    } else {
        switch (settleJolietName(parent, *entry, placed, error)) {
        case NameSettled::Failed:
            return false;
        case NameSettled::Merged:
            return true;
        case NameSettled::Free:
            break;
        }
        settleIsoName(parent, *entry);
    }
    entry->parent = parent;
    placed = entry.get();
    parent->children.push_back(std::move(entry));
    txn.placed.push_back(placed);
    raise(SB_REASON_TREE_ADD_NAME, placed->name.c_str(), placed->record.get());
    return true;
}

// The same Joliet name twice in one folder: the program decides.
FileTree::NameSettled FileTree::settleJolietName(Entry* parent, Entry& entry, Entry*& merged,
                                                 Error& error) {
    for (int attempt = 0;; ++attempt) {
        Entry* other = findJoliet(parent, entry.name);
        if (other == nullptr) {
            return NameSettled::Free;
        }
        const std::string where = pathOf(parent);
        if (callback_ == nullptr) {
            error = collision(quoted(entry.name) + " is already in folder " + quoted(where));
            return NameSettled::Failed;
        }
        if (attempt == kCollisionAttempts) {
            error = collision(quoted(entry.name) + " in folder " + quoted(where) +
                              " still collides after " + std::to_string(kCollisionAttempts) +
                              " renames");
            return NameSettled::Failed;
        }
        std::string rewritten;
        const uint8_t reply = askCollision(true, entry.name, other, &entry, rewritten);
        if (reply == SB_COLLISION_REPLY_MERGE) {
            if (!other->directory || !entry.directory) {
                error = collision(quoted(entry.name) + " in folder " + quoted(where) +
                                  " cannot be merged, only two folders merge");
                return NameSettled::Failed;
            }
            merged = other;
            return NameSettled::Merged;
        }
        if (reply != SB_COLLISION_REPLY_RENAME && reply != SB_COLLISION_REPLY_BOOT_IMAGE) {
            error = collision(quoted(entry.name) + " is already in folder " + quoted(where) +
                              " and the collision was not resolved");
            return NameSettled::Failed;
        }
        const std::string renamed = jolietName(rewritten);
        if (!isAcceptableName(renamed)) {
            error = collision("the new name given for " + quoted(entry.name) + " in folder " +
                              quoted(where) + " is not a valid name");
            return NameSettled::Failed;
        }
        entry.name = renamed;
        entry.iso = isoName(renamed, entry.directory);
    }
}

// Distinct names that share an 8.3 ISO9660 name: the program may choose
// the new one; otherwise the library numbers it.
void FileTree::settleIsoName(const Entry* parent, Entry& entry) {
    for (int attempt = 0;; ++attempt) {
        Entry* other = findIso(parent, entry.iso);
        if (other == nullptr) {
            return;
        }
        if (callback_ != nullptr && attempt < kCollisionAttempts) {
            std::string rewritten;
            const uint8_t reply = askCollision(false, isoRecordName(entry.iso, entry.directory),
                                               other, &entry, rewritten);
            if (reply == SB_COLLISION_REPLY_RENAME || reply == SB_COLLISION_REPLY_BOOT_IMAGE) {
                const std::string renamed = isoNameFromReply(rewritten, entry.directory);
                if (!renamed.empty()) {
                    entry.iso = renamed;
                    continue;
                }
            }
        }
        for (unsigned number = 1;; ++number) {
            const std::string candidate = isoNumberedName(entry.iso, entry.directory, number);
            if (findIso(parent, candidate) == nullptr) {
                entry.iso = candidate;
                return;
            }
        }
    }
}

void FileTree::detach(Entry* entry) {
    // Children go first, so a node count kept by the callback never goes below the entries left.
    while (!entry->children.empty()) {
        detach(entry->children.back().get());
    }
    if (entry == boot_) {
        bootLost_ = pathOf(entry);
        boot_ = nullptr;
    }
    raise(SB_REASON_TREE_REMOVE_NAME, entry->name.c_str(), entry->record.get());
    Entry* parent = entry->parent;
    auto it = std::find_if(parent->children.begin(), parent->children.end(),
                           [entry](const std::unique_ptr<Entry>& c) { return c.get() == entry; });
    if (it != parent->children.end()) {
        parent->children.erase(it);
    }
}

void FileTree::rollback(Transaction& txn) {
    // Later entries sit inside earlier ones, so the list is undone back to front.
    for (auto it = txn.placed.rbegin(); it != txn.placed.rend(); ++it) {
        Entry* entry = *it;
        Entry* parent = entry->parent;
        const bool present =
            std::any_of(parent->children.begin(), parent->children.end(),
                        [entry](const std::unique_ptr<Entry>& c) { return c.get() == entry; });
        if (present) {
            detach(entry);
        }
    }
    txn.placed.clear();
}

bool FileTree::placeOrUndo(const std::function<bool(Transaction&)>& steps) {
    Transaction txn;
    try {
        if (!steps(txn)) {
            rollback(txn);
            return false;
        }
    } catch (...) {
        rollback(txn);
        throw;
    }
    return true;
}

Entry* FileTree::folderOf(const char* path, Error& error) const {
    Entry* folder = resolve(path);
    if (folder == nullptr || !folder->directory) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "folder " + quoted(path) +
                     (folder == nullptr ? " is not in the tree" : " is a file, not a folder")};
        return nullptr;
    }
    return folder;
}

bool FileTree::addFile(const char* sourcePath, const char* targetFolder, const char* name,
                       Error& error) {
    std::lock_guard lock(mutex_);
    if (!enter(error)) {
        return false;
    }
    if (sourcePath == nullptr || *sourcePath == '\0') {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE, "no source file given"};
        return false;
    }
    struct stat st;
    if (!checkReadableFile(sourcePath, st, error)) {
        return false;
    }
    Entry* folder = folderOf(targetFolder, error);
    if (folder == nullptr) {
        return false;
    }
    const std::string entryName = name != nullptr ? std::string(name) : baseName(sourcePath);
    if (!isAcceptableName(entryName)) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE,
                 "invalid name in the tree: " + quoted(entryName)};
        return false;
    }
    BusyGuard busy(busy_);
    if (!placeOrUndo([&](Transaction& txn) {
            Entry* placed = nullptr;
            return place(folder, makeEntry(entryName, false, sourcePath), placed, txn, error);
        })) {
        return false;
    }
    invalidate();
    return true;
}

bool FileTree::addFolderContents(Entry* target, const std::string& sourcePath,
                                 std::vector<std::pair<dev_t, ino_t>>& ancestors, Transaction& txn,
                                 Error& error) {
    DIR* dir = ::opendir(sourcePath.c_str());
    if (dir == nullptr) {
        error = fileError(errno, "cannot read source folder " + quoted(sourcePath));
        return false;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
        if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) {
            names.emplace_back(d->d_name);
        }
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        error = fileError(readError, "cannot read source folder " + quoted(sourcePath));
        return false;
    }
    // A fixed order makes collision answers and the image the same on every run.
    std::sort(names.begin(), names.end());

    for (const std::string& childName : names) {
        const std::string childPath =
            sourcePath.back() == '/' ? sourcePath + childName : sourcePath + "/" + childName;
        struct stat st;
        if (::stat(childPath.c_str(), &st) != 0) {
            struct stat lst;
            const int err = errno;
            if (::lstat(childPath.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
                // A link that leads nowhere has nothing to store.
                skip(childName, childPath, SB_TREE_NOTE_SKIPPED_LINK,
                     err == ELOOP ? "a symbolic link loop" : "a symbolic link that leads nowhere");
                continue;
            }
            errno = err;
            error = fileError(errno, "cannot find source " + quoted(childPath));
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
            if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
                // A link back to a folder above would never end.
                skip(childName, childPath, SB_TREE_NOTE_SKIPPED_LINK,
                     "a symbolic link back into a folder above it (a loop)");
                continue;
            }
            Entry* placed = nullptr;
            if (!place(target, makeEntry(childName, true, childPath.c_str()), placed, txn, error)) {
                return false;
            }
            noteRenamed(*placed, childName, childPath);
            ancestors.push_back(id);
            const bool ok = addFolderContents(placed, childPath, ancestors, txn, error);
            ancestors.pop_back();
            if (!ok) {
                return false;
            }
        } else if (S_ISREG(st.st_mode)) {
            if (!checkReadableFile(childPath, st, error)) {
                return false;
            }
            Entry* placed = nullptr;
            if (!place(target, makeEntry(childName, false, childPath.c_str()), placed, txn,
                       error)) {
                return false;
            }
            noteRenamed(*placed, childName, childPath);
        } else {
            // Devices, pipes and sockets have no content to store.
            skip(childName, childPath, SB_TREE_NOTE_SKIPPED_SPECIAL,
                 S_ISFIFO(st.st_mode)   ? "a FIFO"
                 : S_ISSOCK(st.st_mode) ? "a socket"
                                        : "a device file");
        }
    }
    return true;
}

bool FileTree::addFolder(const char* sourcePath, const char* targetFolder, const char* name,
                         Error& error) {
    std::lock_guard lock(mutex_);
    if (!enter(error)) {
        return false;
    }
    const bool empty = sourcePath == nullptr || *sourcePath == '\0';
    struct stat st {};
    if (!empty) {
        if (::stat(sourcePath, &st) != 0) {
            error = fileError(errno, "cannot find source folder " + quoted(sourcePath));
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            error = {SB_EXCEPTION_FILE_ERROR, SB_STATUS_NONE,
                     "source " + quoted(sourcePath) + " is not a folder"};
            return false;
        }
    }
    Entry* folder = folderOf(targetFolder, error);
    if (folder == nullptr) {
        return false;
    }
    const std::string entryName =
        name != nullptr ? std::string(name) : (empty ? std::string() : baseName(sourcePath));
    if (!isAcceptableName(entryName)) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE,
                 empty && name == nullptr ? "an empty folder needs a name"
                                          : "invalid name in the tree: " + quoted(entryName)};
        return false;
    }
    BusyGuard busy(busy_);
    if (!placeOrUndo([&](Transaction& txn) {
            Entry* placed = nullptr;
            if (!place(folder, makeEntry(entryName, true, empty ? "" : sourcePath), placed, txn,
                       error)) {
                return false;
            }
            if (empty) {
                return true;
            }
            std::vector<std::pair<dev_t, ino_t>> ancestors{{st.st_dev, st.st_ino}};
            return addFolderContents(placed, sourcePath, ancestors, txn, error);
        })) {
        return false;
    }
    invalidate();
    return true;
}

void FileTree::note(uint32_t kind, const std::string& path, const std::string& text) {
    if (notes_ != nullptr) {
        notes_(kind, path.c_str(), text.c_str(), notesContext_);
    }
}

void FileTree::skip(const std::string& name, const std::string& path, uint32_t kind,
                    const std::string& why) {
    raise(SB_REASON_TREE_IGNORE_NAME, name.c_str(), nullptr);
    if (rockRidge_) {
        note(kind, path, "skipped: " + why);
    }
}

void FileTree::noteRenamed(const Entry& entry, const std::string& name, const std::string& path) {
    if (!rockRidge_) {
        return;
    }
    if (entry.rockRidge != name) {
        note(SB_TREE_NOTE_RENAMED, path,
             "the name is no UTF-8: it is " + quoted(entry.rockRidge) + " on the disc");
    } else if (entry.name != name) {
        note(SB_TREE_NOTE_RENAMED, path,
             "Joliet cannot hold the name: Windows shows it as " + quoted(entry.name));
    }
}

bool FileTree::addFolderContents(const char* sourceFolder, PSB_TREE_NOTE_HANDLER notes,
                                 void* context, Error& error) {
    std::lock_guard lock(mutex_);
    if (!enter(error)) {
        return false;
    }
    if (sourceFolder == nullptr || *sourceFolder == '\0') {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE, "no source folder given"};
        return false;
    }
    if (!root_->children.empty() || boot_ != nullptr) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "a folder's contents go into an empty file tree; this one has entries"};
        return false;
    }
    struct stat st {};
    if (::stat(sourceFolder, &st) != 0) {
        error = fileError(errno, "cannot find source folder " + quoted(sourceFolder));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = {SB_EXCEPTION_FILE_ERROR, SB_STATUS_NONE,
                 "source " + quoted(sourceFolder) + " is not a folder"};
        return false;
    }
    BusyGuard busy(busy_);
    rockRidge_ = true;
    notes_ = notes;
    notesContext_ = context;
    Transaction txn;
    bool ok = false;
    try {
        std::vector<std::pair<dev_t, ino_t>> ancestors{{st.st_dev, st.st_ino}};
        ok = addFolderContents(root_.get(), sourceFolder, ancestors, txn, error);
    } catch (...) {
        rollback(txn);
        rockRidge_ = false;
        notes_ = nullptr;
        throw;
    }
    notes_ = nullptr;
    notesContext_ = nullptr;
    if (!ok) {
        rollback(txn);
        rockRidge_ = false;
        return false;
    }
    invalidate();
    return true;
}

bool FileTree::removeName(const char* pathInTree, Error& error) {
    std::lock_guard lock(mutex_);
    if (!enter(error)) {
        return false;
    }
    Entry* entry = resolve(pathInTree);
    if (entry == root_.get()) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE,
                 "the tree's root folder cannot be removed"};
        return false;
    }
    if (entry == nullptr) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 quoted(pathInTree != nullptr ? pathInTree : "") + " is not in the tree"};
        return false;
    }
    BusyGuard busy(busy_);
    invalidate();
    detach(entry);
    return true;
}

bool FileTree::setBootImage(const char* bootImage, uint32_t kind, uint32_t platform,
                            uint32_t loadSectors, uint32_t loadSegment, Error& error) {
    std::lock_guard lock(mutex_);
    if (!enter(error)) {
        return false;
    }
    if (bootImage == nullptr || *bootImage == '\0') {
        boot_ = nullptr;
        bootLost_.clear();
        invalidate();
        return true;
    }
    if (kind != kBootKindNoEmulationInfoTable) {
        error = {SB_EXCEPTION_NOT_SUPPORTED, SB_STATUS_NONE,
                 "boot image kind " + std::to_string(kind) +
                     " is not supported (6: no emulation with boot information table)"};
        return false;
    }
    if (platform != kBootPlatformX86) {
        error = {SB_EXCEPTION_NOT_SUPPORTED, SB_STATUS_NONE,
                 "boot platform " + std::to_string(platform) + " is not supported (2: x86)"};
        return false;
    }
    if (loadSectors == 0 || loadSectors > 0x3FFF) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE,
                 "boot load size must be 1 to 16383 sectors, not " + std::to_string(loadSectors)};
        return false;
    }
    if (loadSegment > 0xFFFF) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE,
                 "boot load segment " + std::to_string(loadSegment) + " is out of range"};
        return false;
    }

    // A path of the tree first, then a file of the tree by its source, then a
    // file on disk, which joins the tree's root.
    const Entry* found = resolve(bootImage);
    if (found == root_.get()) {
        found = nullptr;
    }
    if (found == nullptr) {
        char* wanted = ::realpath(bootImage, nullptr);
        std::vector<const Entry*> stack{root_.get()};
        while (!stack.empty() && found == nullptr) {
            const Entry* e = stack.back();
            stack.pop_back();
            for (const auto& child : e->children) {
                if (child->directory) {
                    stack.push_back(child.get());
                    continue;
                }
                if (std::strcmp(child->sourcePath(), bootImage) == 0) {
                    found = child.get();
                    break;
                }
                if (wanted != nullptr) {
                    char* real = ::realpath(child->sourcePath(), nullptr);
                    const bool same = real != nullptr && std::strcmp(real, wanted) == 0;
                    std::free(real);
                    if (same) {
                        found = child.get();
                        break;
                    }
                }
            }
        }
        std::free(wanted);
    }
    if (found != nullptr && found->directory) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "boot image " + quoted(bootImage) + " is a folder of the tree, not a file"};
        return false;
    }
    if (found == nullptr) {
        struct stat st;
        Error fileFault;
        if (bootImage[0] == '/' && checkReadableFile(bootImage, st, fileFault)) {
            BusyGuard busy(busy_);
            Entry* placed = nullptr;
            if (!placeOrUndo([&](Transaction& txn) {
                    return place(root_.get(), makeEntry(baseName(bootImage), false, bootImage),
                                 placed, txn, error);
                })) {
                return false;
            }
            found = placed;
        } else {
            error = {SB_EXCEPTION_TREE_ERROR, fileFault.status,
                     "boot image " + quoted(bootImage) +
                         " is neither a file of the tree nor a readable file" +
                         (fileFault.text.empty() ? std::string() : " (" + fileFault.text + ")")};
            return false;
        }
    }
    boot_ = found;
    bootLost_.clear();
    bootLoadSectors_ = loadSectors;
    bootLoadSegment_ = loadSegment;
    invalidate();
    return true;
}

} // namespace starburn::filetree
