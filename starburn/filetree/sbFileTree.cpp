#include "starburn/filetree/sbFileTree.h"

#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

#include "starburn/filetree/sbFileStream.h"
#include "starburn/filetree/sbTreeNames.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::filetree {
namespace {

// A collision answer that keeps naming the same clash is asked again only a
// few times before the library decides.
constexpr int kCollisionAttempts = 8;

// Reading from libisofs' ring buffer in slices keeps every call within an int.
constexpr size_t kReadSlice = 1u << 20;

constexpr uint32_t kBootKindNoEmulationInfoTable = 6;
constexpr uint32_t kBootPlatformX86 = 2;

std::once_flag g_libisofsOnce;
int g_libisofsInit = 0;

bool initLibisofs(Error& error) {
    std::call_once(g_libisofsOnce, [] {
        g_libisofsInit = iso_init();
        if (g_libisofsInit >= 0) {
            // Names reach the library as UTF-8 whatever the process locale.
            char utf8[] = "UTF-8";
            iso_set_local_charset(utf8, 0);
            // Only faults that matter are queued, and nothing is printed.
            char queue[] = "SORRY";
            char print[] = "NEVER";
            char prefix[] = "libisofs: ";
            iso_set_msgs_severities(queue, print, prefix);
            // A source file that cannot be read ends the image instead of
            // turning into zeros.
            char abortAt[] = "MISHAP";
            iso_set_abort_severity(abortAt);
        }
    });
    if (g_libisofsInit < 0) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "the ISO9660 image library (libisofs) could not be initialised"};
        return false;
    }
    return true;
}

// The newest queued libisofs message, or a text built from its error code.
std::string libisofsText(int code) {
    std::string text;
    int errorCode = 0;
    int imageId = 0;
    char message[4096];
    char severity[80];
    char minimum[] = "ALL";
    while (iso_obtain_msgs(minimum, &errorCode, &imageId, message, severity) == 1) {
        text = message;
    }
    if (text.empty()) {
        const char* known = iso_error_to_msg(code);
        text = known != nullptr ? known : "unknown error";
    }
    return text;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string baseName(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

void setTimes(IsoNode* node, time_t mtime) {
    iso_node_set_mtime(node, mtime);
    iso_node_set_atime(node, mtime);
    iso_node_set_ctime(node, mtime);
}

extern "C" void reportStreamFault(void* context, const char* path, int fault, int errnoValue) {
    static_cast<StreamFaults*>(context)->report(path, fault, errnoValue);
}

} // namespace

// ---------------------------------------------------------------------------
// Stream faults

void StreamFaults::report(const char* path, int fault, int errnoValue) {
    std::lock_guard lock(mutex_);
    if (any_.load(std::memory_order_relaxed)) {
        return; // the first fault is the one worth telling
    }
    switch (fault) {
    case SB_STREAM_OPEN_FAILED:
        text_ = "cannot open source file " + quoted(path) + ": " + std::strerror(errnoValue);
        break;
    case SB_STREAM_READ_FAILED:
        text_ = "cannot read source file " + quoted(path) + ": " + std::strerror(errnoValue);
        break;
    default:
        text_ = "source file " + quoted(path) +
                " changed size after the image was built; build the image again";
        break;
    }
    errno_ = errnoValue;
    any_.store(true, std::memory_order_release);
}

void StreamFaults::clear() {
    std::lock_guard lock(mutex_);
    any_.store(false, std::memory_order_release);
    text_.clear();
    errno_ = 0;
}

Error StreamFaults::error() const {
    std::lock_guard lock(mutex_);
    return {SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(errno_), text_};
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
        iso_image_unref(image_);
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

bool FileTree::beginWrite(Error& error) {
    std::lock_guard lock(mutex_);
    if (!enter(error)) {
        return false;
    }
    writing_ = true;
    return true;
}

void FileTree::endWrite() {
    std::lock_guard lock(mutex_);
    writing_ = false;
}

bool FileTree::readForWrite(void* buffer, size_t length, Error& error) {
    std::lock_guard lock(mutex_);
    return enter(error, true) && readLocked(buffer, length, error);
}

bool FileTree::rewindForWrite(Error& error) {
    std::lock_guard lock(mutex_);
    return enter(error, true) && rewindLocked(error);
}

namespace {
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
} // namespace

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
    const auto findJoliet = [parent](const std::string& name) -> Entry* {
        for (auto& child : parent->children) {
            if (jolietEqual(child->name, name)) {
                return child.get();
            }
        }
        return nullptr;
    };
    const auto findIso = [parent](const std::string& iso) -> Entry* {
        for (auto& child : parent->children) {
            if (child->iso == iso) {
                return child.get();
            }
        }
        return nullptr;
    };

    // The same Joliet name twice in one folder: the program decides.
    for (int attempt = 0;; ++attempt) {
        Entry* other = findJoliet(entry->name);
        if (other == nullptr) {
            break;
        }
        const std::string where = pathOf(parent);
        if (callback_ == nullptr) {
            error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                     "name collision: " + quoted(entry->name) + " is already in folder " +
                         quoted(where)};
            return false;
        }
        if (attempt == kCollisionAttempts) {
            error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                     "name collision: " + quoted(entry->name) + " in folder " + quoted(where) +
                         " still collides after " + std::to_string(kCollisionAttempts) +
                         " renames"};
            return false;
        }
        std::string rewritten;
        const uint8_t reply = askCollision(true, entry->name, other, entry.get(), rewritten);
        if (reply == SB_COLLISION_REPLY_MERGE) {
            if (!other->directory || !entry->directory) {
                error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                         "name collision: " + quoted(entry->name) + " in folder " + quoted(where) +
                             " cannot be merged, only two folders merge"};
                return false;
            }
            placed = other;
            return true;
        }
        if (reply != SB_COLLISION_REPLY_RENAME && reply != SB_COLLISION_REPLY_BOOT_IMAGE) {
            error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                     "name collision: " + quoted(entry->name) + " is already in folder " +
                         quoted(where) + " and the collision was not resolved"};
            return false;
        }
        const std::string renamed = jolietName(rewritten);
        if (!isAcceptableName(renamed)) {
            error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                     "name collision: the new name given for " + quoted(entry->name) +
                         " in folder " + quoted(where) + " is not a valid name"};
            return false;
        }
        entry->name = renamed;
        entry->iso = isoName(renamed, entry->directory);
    }

    // Distinct names that share an 8.3 ISO9660 name: the program may choose
    // the new one; otherwise the library numbers it.
    for (int attempt = 0;; ++attempt) {
        Entry* other = findIso(entry->iso);
        if (other == nullptr) {
            break;
        }
        if (callback_ != nullptr && attempt < kCollisionAttempts) {
            std::string rewritten;
            const uint8_t reply = askCollision(false, isoRecordName(entry->iso, entry->directory),
                                               other, entry.get(), rewritten);
            if (reply == SB_COLLISION_REPLY_RENAME || reply == SB_COLLISION_REPLY_BOOT_IMAGE) {
                const std::string renamed = isoNameFromReply(rewritten, entry->directory);
                if (!renamed.empty()) {
                    entry->iso = renamed;
                    continue;
                }
            }
        }
        for (unsigned number = 1;; ++number) {
            const std::string candidate = isoNumberedName(entry->iso, entry->directory, number);
            if (findIso(candidate) == nullptr) {
                entry->iso = candidate;
                break;
            }
        }
        break;
    }

    entry->parent = parent;
    placed = entry.get();
    parent->children.push_back(std::move(entry));
    txn.placed.push_back(placed);
    raise(SB_REASON_TREE_ADD_NAME, placed->name.c_str(), placed->record.get());
    return true;
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
    Entry* folder = resolve(targetFolder);
    if (folder == nullptr || !folder->directory) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "folder " + quoted(targetFolder) +
                     (folder == nullptr ? " is not in the tree" : " is a file, not a folder")};
        return false;
    }
    const std::string entryName = name != nullptr ? std::string(name) : baseName(sourcePath);
    if (!isAcceptableName(entryName)) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE,
                 "invalid name in the tree: " + quoted(entryName)};
        return false;
    }
    BusyGuard busy(busy_);
    Transaction txn;
    Entry* placed = nullptr;
    try {
        if (!place(folder, makeEntry(entryName, false, sourcePath), placed, txn, error)) {
            rollback(txn);
            return false;
        }
    } catch (...) {
        rollback(txn);
        throw;
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
            if (::lstat(childPath.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
                // A link that leads nowhere has nothing to store.
                raise(SB_REASON_TREE_IGNORE_NAME, childName.c_str(), nullptr);
                continue;
            }
            error = fileError(errno, "cannot find source " + quoted(childPath));
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
            if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
                // A link back to a folder above would never end.
                raise(SB_REASON_TREE_IGNORE_NAME, childName.c_str(), nullptr);
                continue;
            }
            Entry* placed = nullptr;
            if (!place(target, makeEntry(childName, true, childPath.c_str()), placed, txn, error)) {
                return false;
            }
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
        } else {
            // Devices, pipes and sockets have no content to store.
            raise(SB_REASON_TREE_IGNORE_NAME, childName.c_str(), nullptr);
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
    Entry* folder = resolve(targetFolder);
    if (folder == nullptr || !folder->directory) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "folder " + quoted(targetFolder) +
                     (folder == nullptr ? " is not in the tree" : " is a file, not a folder")};
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
    Transaction txn;
    try {
        Entry* placed = nullptr;
        bool ok =
            place(folder, makeEntry(entryName, true, empty ? "" : sourcePath), placed, txn, error);
        if (ok && !empty) {
            std::vector<std::pair<dev_t, ino_t>> ancestors{{st.st_dev, st.st_ino}};
            ok = addFolderContents(placed, sourcePath, ancestors, txn, error);
        }
        if (!ok) {
            rollback(txn);
            return false;
        }
    } catch (...) {
        rollback(txn);
        throw;
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
            Transaction txn;
            Entry* placed = nullptr;
            try {
                if (!place(root_.get(), makeEntry(baseName(bootImage), false, bootImage), placed,
                           txn, error)) {
                    rollback(txn);
                    return false;
                }
            } catch (...) {
                rollback(txn);
                throw;
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

// ---------------------------------------------------------------------------
// Building the image

// What building the libisofs image carries from folder to folder.
struct FileTree::Placement {
    IsoImage* image = nullptr;
    bool joliet = false;
    const Entry* boot = nullptr;
    std::string bootPath;
};

bool FileTree::checkSources(Entry* dir, bool& needLevel3, Error& error) {
    for (auto& child : dir->children) {
        if (child->directory) {
            if (!checkSources(child.get(), needLevel3, error)) {
                return false;
            }
            struct stat st;
            child->mtime = (*child->sourcePath() != '\0' && ::stat(child->sourcePath(), &st) == 0)
                               ? st.st_mtime
                               : std::time(nullptr);
            continue;
        }
        struct stat st;
        if (!checkReadableFile(child->sourcePath(), st, error)) {
            error.text += " (tree entry " + quoted(pathOf(child.get())) + ")";
            return false;
        }
        child->size = st.st_size;
        child->device = st.st_dev;
        child->inode = st.st_ino;
        child->mtime = st.st_mtime;
        if (static_cast<uint64_t>(st.st_size) >= 0xFFFFF800ull) {
            needLevel3 = true;
        }
    }
    return true;
}

bool FileTree::placeChildren(Placement& placement, const Entry* dir, IsoDir* isoDir,
                             IsoDir* jolietDir, const std::string& isoPath, Error& error) {
    const bool shared = placement.joliet && isoDir == jolietDir;
    std::set<std::string> used;
    if (shared) {
        for (const auto& child : dir->children) {
            used.insert(child->name);
        }
    }
    const auto fail = [&error](const std::string& what, int code) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE, what + ": " + libisofsText(code)};
        return false;
    };

    for (const auto& child : dir->children) {
        const Entry* e = child.get();
        const bool single = !placement.joliet || (shared && e->iso == e->name);
        std::string isoNodeName = e->iso;
        if (!single && shared) {
            // Both trees share this libisofs folder: the ISO9660 node needs a
            // name of its own that still comes out as the same ISO9660 name.
            std::vector<std::string> candidates;
            std::string lower = e->iso;
            for (char& c : lower) {
                if (c >= 'A' && c <= 'Z') {
                    c = static_cast<char>(c - 'A' + 'a');
                }
            }
            candidates.push_back(lower);
            for (size_t i = 0; i < e->iso.size(); ++i) {
                if (e->iso[i] >= 'A' && e->iso[i] <= 'Z') {
                    std::string one = e->iso;
                    one[i] = static_cast<char>(one[i] - 'A' + 'a');
                    candidates.push_back(one);
                }
            }
            candidates.push_back(e->iso);
            auto it = std::find_if(candidates.begin(), candidates.end(),
                                   [&used](const std::string& c) { return !used.count(c); });
            if (it == candidates.end()) {
                error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                         "the ISO9660 name " + quoted(e->iso) + " of " + quoted(pathOf(e)) +
                             " equals the Joliet name of another entry in its folder; rename "
                             "one of them"};
                return false;
            }
            isoNodeName = *it;
            used.insert(isoNodeName);
        }
        const std::string childIsoPath = isoPath + "/" + isoNodeName;

        if (e->directory) {
            IsoDir* isoChild = nullptr;
            int r = iso_image_add_new_dir(placement.image, isoDir, isoNodeName.c_str(), &isoChild);
            if (r < 0) {
                return fail("cannot add folder " + quoted(pathOf(e)) + " to the image", r);
            }
            setTimes(reinterpret_cast<IsoNode*>(isoChild), e->mtime);
            IsoDir* jolietChild = nullptr;
            if (single) {
                jolietChild = placement.joliet ? isoChild : nullptr;
            } else {
                iso_node_set_hidden(reinterpret_cast<IsoNode*>(isoChild), LIBISO_HIDE_ON_JOLIET);
                r = iso_image_add_new_dir(placement.image, jolietDir, e->name.c_str(),
                                          &jolietChild);
                if (r < 0) {
                    return fail("cannot add folder " + quoted(pathOf(e)) + " to the image", r);
                }
                iso_node_set_hidden(reinterpret_cast<IsoNode*>(jolietChild), LIBISO_HIDE_ON_RR);
                setTimes(reinterpret_cast<IsoNode*>(jolietChild), e->mtime);
            }
            if (!placeChildren(placement, e, isoChild, jolietChild, childIsoPath, error)) {
                return false;
            }
            continue;
        }

        IsoStream* stream = sbFileStreamNew(e->sourcePath(), e->size, e->device, e->inode,
                                            reportStreamFault, &faults_);
        if (stream == nullptr) {
            error = {SB_EXCEPTION_GENERIC, ENOMEM, "out of memory while building the image"};
            return false;
        }
        IsoFile* isoFile = nullptr;
        // The node takes the stream's first reference; a second node shares it,
        // so the content is stored once for both trees.
        int r =
            iso_image_add_new_file(placement.image, isoDir, isoNodeName.c_str(), stream, &isoFile);
        if (r < 0) {
            iso_stream_unref(stream);
            return fail("cannot add file " + quoted(pathOf(e)) + " to the image", r);
        }
        setTimes(reinterpret_cast<IsoNode*>(isoFile), e->mtime);
        if (!single) {
            iso_node_set_hidden(reinterpret_cast<IsoNode*>(isoFile), LIBISO_HIDE_ON_JOLIET);
            IsoFile* jolietFile = nullptr;
            iso_stream_ref(stream);
            r = iso_image_add_new_file(placement.image, jolietDir, e->name.c_str(), stream,
                                       &jolietFile);
            if (r < 0) {
                iso_stream_unref(stream);
                return fail("cannot add file " + quoted(pathOf(e)) + " to the image", r);
            }
            iso_node_set_hidden(reinterpret_cast<IsoNode*>(jolietFile), LIBISO_HIDE_ON_RR);
            setTimes(reinterpret_cast<IsoNode*>(jolietFile), e->mtime);
        }
        if (e == placement.boot) {
            placement.bootPath = childIsoPath;
        }
    }
    return true;
}

bool FileTree::build(uint32_t startAddress, uint32_t tailPadding, bool joliet,
                     const char* volumeLabel, const char* applicationId, const char* preparerId,
                     Error& error) {
    std::lock_guard lock(mutex_);
    if (!enter(error) || !initLibisofs(error)) {
        return false;
    }
    if (!bootLost_.empty()) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "the boot image " + quoted(bootLost_) +
                     " was removed from the tree; set the boot image again"};
        return false;
    }
    bool needLevel3 = false;
    if (!checkSources(root_.get(), needLevel3, error)) {
        return false;
    }
    if (boot_ != nullptr && boot_->size < 64) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "boot image " + quoted(pathOf(boot_)) +
                     " is too small for a boot information table (at least 64 bytes)"};
        return false;
    }

    stopStream();
    if (image_ != nullptr) {
        iso_image_unref(image_);
        image_ = nullptr;
    }
    if (opts_ != nullptr) {
        iso_write_opts_free(opts_);
        opts_ = nullptr;
    }
    size_ = 0;
    position_ = 0;
    libisofsText(0); // forget messages of earlier images

    const std::string label =
        volumeLabel != nullptr && *volumeLabel != '\0' ? volumeLabel : "CDROM";
    IsoImage* image = nullptr;
    int r = iso_image_new(label.c_str(), &image);
    if (r < 0) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "cannot create the image: " + libisofsText(r)};
        return false;
    }
    if (applicationId != nullptr) {
        iso_image_set_application_id(image, applicationId);
    }
    if (preparerId != nullptr) {
        iso_image_set_data_preparer_id(image, preparerId);
    }

    Placement placement;
    placement.image = image;
    placement.joliet = joliet;
    placement.boot = boot_;
    IsoDir* root = iso_image_get_root(image);
    setTimes(reinterpret_cast<IsoNode*>(root), std::time(nullptr));
    if (!placeChildren(placement, root_.get(), root, joliet ? root : nullptr, "", error)) {
        iso_image_unref(image);
        return false;
    }

    if (boot_ != nullptr) {
        // The catalog is written for the firmware but listed in neither tree,
        // so its name never meets a name of the caller's.
        std::string catalog = "boot.cat";
        IsoNode* existing = nullptr;
        for (unsigned n = 1; iso_tree_path_to_node(image, ("/" + catalog).c_str(), &existing) == 1;
             ++n) {
            catalog = "boot" + std::to_string(n) + ".cat";
        }
        ElToritoBootImage* bootImage = nullptr;
        r = iso_image_set_boot_image(image, placement.bootPath.c_str(), ELTORITO_NO_EMUL,
                                     ("/" + catalog).c_str(), &bootImage);
        if (r < 0) {
            error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                     "cannot make " + quoted(pathOf(boot_)) +
                         " the boot image: " + libisofsText(r)};
            iso_image_unref(image);
            return false;
        }
        el_torito_set_boot_platform_id(bootImage, 0); // 0: x86 BIOS
        el_torito_set_load_size(bootImage, static_cast<short>(bootLoadSectors_ * 4));
        el_torito_set_load_seg(bootImage, static_cast<short>(bootLoadSegment_));
        el_torito_set_isolinux_options(bootImage, 1, 0); // patch the boot information table
        iso_image_set_boot_catalog_hidden(image, LIBISO_HIDE_ON_RR | LIBISO_HIDE_ON_JOLIET);
    }

    IsoWriteOpts* opts = nullptr;
    r = iso_write_opts_new(&opts, 0);
    if (r < 0) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "cannot set up the image: " + libisofsText(r)};
        iso_image_unref(image);
        return false;
    }
    // Level 2 lets a name the program chose on a collision be longer than 8.3;
    // level 3 is needed only for files of 4 GiB and more.
    iso_write_opts_set_iso_level(opts, needLevel3 ? 3 : 2);
    iso_write_opts_set_rockridge(opts, 0);
    iso_write_opts_set_joliet(opts, joliet ? 1 : 0);
    iso_write_opts_set_allow_deep_paths(opts, 1);
    iso_write_opts_set_allow_longer_paths(opts, 1);
    iso_write_opts_set_joliet_longer_paths(opts, 1);
    iso_write_opts_set_appendable(opts, 0);
    iso_write_opts_set_ms_block(opts, startAddress);
    iso_write_opts_set_tail_blocks(opts, tailPadding);
    // The volume times are fixed when the image is built: SeekToBegin
    // generates the image again, and it must yield the very same bytes (a
    // trial read followed by the real one, a verify pass after a burn).
    const time_t builtAt = std::time(nullptr);
    char noUuid[1] = {'\0'};
    iso_write_opts_set_pvd_times(opts, builtAt, builtAt, 0, builtAt, noUuid);

    image_ = image;
    opts_ = opts;
    if (!startStream(error)) {
        iso_image_unref(image_);
        image_ = nullptr;
        iso_write_opts_free(opts_);
        opts_ = nullptr;
        return false;
    }
    return true;
}

void FileTree::invalidate() {
    stopStream();
    if (image_ != nullptr) {
        iso_image_unref(image_);
        image_ = nullptr;
    }
    if (opts_ != nullptr) {
        iso_write_opts_free(opts_);
        opts_ = nullptr;
    }
    size_ = 0;
    position_ = 0;
    streamBroken_ = false;
}

void FileTree::stopStream() {
    if (source_ == nullptr) {
        return;
    }
    // Freeing the source closes the ring buffer and waits for libisofs'
    // writer thread, so no stream runs once this returns.
    if (source_->free_data != nullptr) {
        source_->free_data(source_);
    }
    std::free(source_);
    source_ = nullptr;
}

bool FileTree::startStream(Error& error) {
    stopStream();
    faults_.clear();
    streamBroken_ = false;
    position_ = 0;
    burn_source* source = nullptr;
    const int r = iso_image_create_burn_source(image_, opts_, &source);
    if (r < 0 || source == nullptr) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "cannot start the image: " + libisofsText(r)};
        if (faults_.any()) {
            error = faults_.error();
        }
        return false;
    }
    source_ = source;
    size_ = static_cast<uint64_t>(source_->get_size(source_));
    return true;
}

Error FileTree::streamFailure(const std::string& what) {
    Error error = faults_.any() ? faults_.error()
                                : Error{SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                                        what + ": " + libisofsText(0)};
    streamBroken_ = true;
    streamError_ = error;
    stopStream();
    return error;
}

bool FileTree::built() {
    std::lock_guard lock(mutex_);
    return image_ != nullptr;
}

uint64_t FileTree::imageSize() {
    std::lock_guard lock(mutex_);
    return image_ != nullptr ? size_ : 0;
}

bool FileTree::read(void* buffer, size_t length, Error& error) {
    std::lock_guard lock(mutex_);
    return enter(error) && readLocked(buffer, length, error);
}

bool FileTree::readLocked(void* buffer, size_t length, Error& error) {
    if (image_ == nullptr) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "the image is not built: build it (BuildImage) before reading"};
        return false;
    }
    if (streamBroken_) {
        error = streamError_;
        error.text += " (start again with SeekToBegin)";
        return false;
    }
    if (length > size_ - position_) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE,
                 "cannot read " + std::to_string(length) + " bytes at byte " +
                     std::to_string(position_) + ": the image ends at byte " +
                     std::to_string(size_)};
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (buffer == nullptr) {
        error = {SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE, "no buffer to read into"};
        return false;
    }
    if (source_ == nullptr && !startStream(error)) {
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < length) {
        const int want = static_cast<int>(std::min(length - done, kReadSlice));
        const int got = source_->read != nullptr ? source_->read(source_, out + done, want)
                                                 : source_->read_xt(source_, out + done, want);
        if (got <= 0) {
            error = streamFailure(got == 0 ? "the image ended early" : "image generation failed");
            return false;
        }
        done += static_cast<size_t>(got);
    }
    // A source file that failed was filled in by libisofs; those bytes never leave here.
    if (faults_.any()) {
        error = streamFailure("image generation failed");
        return false;
    }
    position_ += length;
    return true;
}

bool FileTree::rewind(Error& error) {
    std::lock_guard lock(mutex_);
    return enter(error) && rewindLocked(error);
}

bool FileTree::rewindLocked(Error& error) {
    if (image_ == nullptr) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "the image is not built: build it (BuildImage) before reading"};
        return false;
    }
    if (position_ == 0 && source_ != nullptr && !streamBroken_) {
        return true; // nothing read yet: the running stream is already at the start
    }
    return startStream(error);
}

} // namespace starburn::filetree
