// SPDX-License-Identifier: GPL-2.0-or-later
// Building a tree's image: the libisofs image with both name trees over one
// copy of each file's content, the boot catalog, the write options.
#include "starburn/filetree/sbFileTree.h"

#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

#include "starburn/filetree/sbFileStream.h"
#include "starburn/filetree/sbFileTreeParts.h"
#include "starburn/filetree/sbTreeNames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace starburn::filetree {
namespace {

std::once_flag g_libisofsOnce;
int g_libisofsInit = 0;

} // namespace

bool initLibisofs(Error& error) {
    std::call_once(g_libisofsOnce, [] {
        g_libisofsInit = iso_init();
        if (g_libisofsInit >= 0) {
            // A source file that cannot be read ends the image instead of
            // turning into zeros.
            char abortAt[] = "MISHAP";
            iso_set_abort_severity(abortAt);
        }
    });
    if (g_libisofsInit >= 0) {
        // Set again for every image: they are libisofs' global settings, and
        // another user of libisofs in the process (its iso_init) puts them
        // back to libisofs' defaults. Names reach the library as UTF-8
        // whatever the process locale (written only when it differs: the
        // name is read by the generators of other trees meanwhile).
        char utf8[] = "UTF-8";
        if (std::strcmp(iso_get_local_charset(0), utf8) != 0) {
            iso_set_local_charset(utf8, 0);
        }
        // Only faults that matter are queued, and nothing is printed.
        char queue[] = "SORRY";
        char print[] = "NEVER";
        char prefix[] = "libisofs: ";
        iso_set_msgs_severities(queue, print, prefix);
    }
    if (g_libisofsInit < 0) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "the ISO9660 image library (libisofs) could not be initialised"};
        return false;
    }
    return true;
}

namespace {

// libisofs keeps one message queue for the whole process, and each message
// names the image it came from (iso_image_get_msg_id). Whichever tree reads
// the queue sorts what it finds by image, so a tree never reads, nor throws
// away, the messages of another tree's image. Only the newest message of
// each image is kept, and none of an image no tree holds.
class IsoMessages {
public:
    void open(int imageId) {
        std::lock_guard lock(mutex_);
        newest_[imageId].clear();
    }

    void close(int imageId) {
        std::lock_guard lock(mutex_);
        newest_.erase(imageId);
    }

    // The newest message of the image since the last one taken, or empty.
    std::string take(int imageId) {
        std::lock_guard lock(mutex_);
        collectLocked();
        const auto it = newest_.find(imageId);
        if (it == newest_.end()) {
            return {};
        }
        return std::exchange(it->second, std::string());
    }

private:
    void collectLocked() {
        int errorCode = 0;
        int imageId = 0;
        char message[ISO_MSGS_MESSAGE_LEN];
        char severity[80];
        char minimum[] = "ALL";
        while (iso_obtain_msgs(minimum, &errorCode, &imageId, message, severity) == 1) {
            const auto it = newest_.find(imageId);
            if (it != newest_.end()) {
                it->second = message;
            }
        }
    }

    std::mutex mutex_;
    std::map<int, std::string> newest_;
};

IsoMessages& isoMessages() {
    static IsoMessages messages;
    return messages;
}

} // namespace

std::string libisofsText(IsoImage* image, int code) {
    std::string text =
        image != nullptr ? isoMessages().take(iso_image_get_msg_id(image)) : std::string();
    if (text.empty()) {
        const char* known = iso_error_to_msg(code);
        text = known != nullptr ? known : "unknown error";
    }
    return text;
}

IsoImage* newImage(const std::string& volumeId, int& result) {
    IsoImage* image = nullptr;
    result = iso_image_new(volumeId.c_str(), &image);
    if (result < 0) {
        return nullptr;
    }
    isoMessages().open(iso_image_get_msg_id(image));
    return image;
}

void releaseImage(IsoImage* image) {
    if (image != nullptr) {
        isoMessages().close(iso_image_get_msg_id(image));
        iso_image_unref(image);
    }
}

namespace {

void setTimes(IsoNode* node, time_t mtime) {
    iso_node_set_mtime(node, mtime);
    iso_node_set_atime(node, mtime);
    iso_node_set_ctime(node, mtime);
}

extern "C" void reportStreamFault(void* context, const char* path, int fault, int errnoValue) {
    static_cast<StreamFaults*>(context)->report(path, fault, errnoValue);
}

} // namespace

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
    const auto fail = [&error, &placement](const std::string& what, int code) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 what + ": " + libisofsText(placement.image, code)};
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

        IsoFile* isoFile = nullptr;
        if (!addFileNodes(placement.image, e, isoDir, isoNodeName, jolietDir,
                          single ? std::string() : e->name, isoFile, error)) {
            return false;
        }
        if (e == placement.boot) {
            placement.bootPath = childIsoPath;
        }
    }
    return true;
}

namespace {

// A Joliet name numbered so it differs from the other names of its folder:
// "~N" before a short extension, within Joliet's 64 units.
std::string numberedJoliet(const std::string& name, unsigned number) {
    std::u16string wide = utf8ToUtf16(name);
    std::u16string ext;
    const size_t dot = wide.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0 && wide.size() - dot <= 8) {
        ext = wide.substr(dot);
        wide.resize(dot);
    }
    const std::u16string suffix = utf8ToUtf16("~" + std::to_string(number));
    wide.resize(std::min(wide.size(), kJolietMaxUnits - ext.size() - suffix.size()));
    return utf16ToUtf8(wide + suffix + ext);
}

// Readable by everyone, executable where the source is, owned by nobody in
// particular: what a disc read on another computer needs.
void setRockRidgeOwner(IsoNode* node, bool directory, mode_t sourceMode) {
    const bool executable = directory || (sourceMode & 0111) != 0;
    iso_node_set_permissions(node, executable ? 0555 : 0444);
    iso_node_set_uid(node, 0);
    iso_node_set_gid(node, 0);
}

} // namespace

bool FileTree::placeRockRidge(IsoImage* image, const Entry* dir, IsoDir* isoDir, Error& error) {
    std::set<std::string> used;
    for (const auto& child : dir->children) {
        used.insert(child->rockRidge);
    }
    const auto fail = [&error, image](const std::string& what, int code) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE, what + ": " + libisofsText(image, code)};
        return false;
    };
    for (const auto& child : dir->children) {
        const Entry* e = child.get();
        // One node serves Rock Ridge, ISO9660 and Joliet, unless Joliet
        // needs a name of its own: then a second node shows the same content
        // to Joliet readers only.
        std::string joliet;
        if (e->name != e->rockRidge) {
            joliet = e->name;
            for (unsigned n = 1; used.count(joliet) != 0; ++n) {
                joliet = numberedJoliet(e->name, n);
            }
            used.insert(joliet);
        }
        struct stat st {};
        const mode_t mode = ::stat(e->sourcePath(), &st) == 0 ? st.st_mode : 0;
        if (e->directory) {
            IsoDir* node = nullptr;
            int r = iso_image_add_new_dir(image, isoDir, e->rockRidge.c_str(), &node);
            if (r < 0) {
                return fail("cannot add folder " + quoted(pathOf(e)) + " to the image", r);
            }
            setTimes(reinterpret_cast<IsoNode*>(node), e->mtime);
            setRockRidgeOwner(reinterpret_cast<IsoNode*>(node), true, mode);
            if (!placeRockRidge(image, e, node, error)) {
                return false;
            }
            if (!joliet.empty()) {
                // Joliet has no links: the folder's Joliet twin holds twins of its entries.
                iso_node_set_hidden(reinterpret_cast<IsoNode*>(node), LIBISO_HIDE_ON_JOLIET);
                IsoDir* twin = nullptr;
                r = iso_image_add_new_dir(image, isoDir, joliet.c_str(), &twin);
                if (r < 0) {
                    return fail("cannot add folder " + quoted(pathOf(e)) + " to the image", r);
                }
                iso_node_set_hidden(reinterpret_cast<IsoNode*>(twin), LIBISO_HIDE_ON_RR);
                setTimes(reinterpret_cast<IsoNode*>(twin), e->mtime);
                if (!placeRockRidge(image, e, twin, error)) {
                    return false;
                }
            }
            continue;
        }
        IsoFile* file = nullptr;
        if (!addFileNodes(image, e, isoDir, e->rockRidge, isoDir, joliet, file, error)) {
            return false;
        }
        setRockRidgeOwner(reinterpret_cast<IsoNode*>(file), false, mode);
    }
    return true;
}

bool FileTree::addFileNodes(IsoImage* image, const Entry* e, IsoDir* dir, const std::string& name,
                            IsoDir* twinDir, const std::string& twinName, IsoFile*& file,
                            Error& error) {
    const auto fail = [&](int code) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "cannot add file " + quoted(pathOf(e)) +
                     " to the image: " + libisofsText(image, code)};
        return false;
    };
    IsoStream* stream =
        sbFileStreamNew(e->sourcePath(), e->size, e->device, e->inode, reportStreamFault, &faults_);
    if (stream == nullptr) {
        error = {SB_EXCEPTION_GENERIC, ENOMEM, "out of memory while building the image"};
        return false;
    }
    // The node takes the stream's first reference; a second node shares it,
    // so the content is stored once for both trees.
    int r = iso_image_add_new_file(image, dir, name.c_str(), stream, &file);
    if (r < 0) {
        iso_stream_unref(stream);
        return fail(r);
    }
    setTimes(reinterpret_cast<IsoNode*>(file), e->mtime);
    if (twinName.empty()) {
        return true;
    }
    iso_node_set_hidden(reinterpret_cast<IsoNode*>(file), LIBISO_HIDE_ON_JOLIET);
    IsoFile* twin = nullptr;
    iso_stream_ref(stream);
    r = iso_image_add_new_file(image, twinDir, twinName.c_str(), stream, &twin);
    if (r < 0) {
        iso_stream_unref(stream);
        return fail(r);
    }
    iso_node_set_hidden(reinterpret_cast<IsoNode*>(twin), LIBISO_HIDE_ON_RR);
    setTimes(reinterpret_cast<IsoNode*>(twin), e->mtime);
    return true;
}

bool FileTree::addBootCatalog(IsoImage* image, const std::string& bootPath, Error& error) {
    // The catalog is written for the firmware but listed in neither tree,
    // so its name never meets a name of the caller's.
    std::string catalog = "boot.cat";
    IsoNode* existing = nullptr;
    for (unsigned n = 1; iso_tree_path_to_node(image, ("/" + catalog).c_str(), &existing) == 1;
         ++n) {
        catalog = "boot" + std::to_string(n) + ".cat";
    }
    ElToritoBootImage* bootImage = nullptr;
    const int r = iso_image_set_boot_image(image, bootPath.c_str(), ELTORITO_NO_EMUL,
                                           ("/" + catalog).c_str(), &bootImage);
    if (r < 0) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "cannot make " + quoted(pathOf(boot_)) +
                     " the boot image: " + libisofsText(image, r)};
        return false;
    }
    el_torito_set_boot_platform_id(bootImage, 0); // 0: x86 BIOS
    el_torito_set_load_size(bootImage, static_cast<short>(bootLoadSectors_ * 4));
    el_torito_set_load_seg(bootImage, static_cast<short>(bootLoadSegment_));
    el_torito_set_isolinux_options(bootImage, 1, 0); // patch the boot information table
    iso_image_set_boot_catalog_hidden(image, LIBISO_HIDE_ON_RR | LIBISO_HIDE_ON_JOLIET);
    return true;
}

IsoWriteOpts* FileTree::newWriteOptions(uint32_t startAddress, uint32_t tailPadding, bool joliet,
                                        bool needLevel3, Error& error) {
    IsoWriteOpts* opts = nullptr;
    const int r = iso_write_opts_new(&opts, 0);
    if (r < 0) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "cannot set up the image: " + libisofsText(nullptr, r)};
        return nullptr;
    }
    // Level 2 lets a name the program chose on a collision be longer than 8.3;
    // level 3 is needed only for files of 4 GiB and more.
    iso_write_opts_set_iso_level(opts, needLevel3 ? 3 : 2);
    iso_write_opts_set_rockridge(opts, rockRidge_ ? 1 : 0);
    if (rockRidge_) {
        // The session's and every file's MD5 go into the image; AAIP
        // records where the files' checksums stand, so readers find them.
        iso_write_opts_set_aaip(opts, 1);
        iso_write_opts_set_record_md5(opts, 1, 1);
        // Rock Ridge 1.12 gives every file a serial number that libisofs
        // counts on from one generation to the next: the image made again
        // for a verification would differ. 1.10 has none; every reader
        // takes it.
        iso_write_opts_set_rrip_version_1_10(opts, 1);
    }
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
    return opts;
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

    invalidate();

    const std::string label =
        volumeLabel != nullptr && *volumeLabel != '\0' ? volumeLabel : "CDROM";
    int r = 0;
    IsoImage* image = newImage(label, r);
    if (image == nullptr) {
        error = {SB_EXCEPTION_TREE_ERROR, SB_STATUS_NONE,
                 "cannot create the image: " + libisofsText(nullptr, r)};
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
    if (rockRidge_
            ? !placeRockRidge(image, root_.get(), root, error)
            : !placeChildren(placement, root_.get(), root, joliet ? root : nullptr, "", error)) {
        releaseImage(image);
        return false;
    }

    if (boot_ != nullptr && !addBootCatalog(image, placement.bootPath, error)) {
        releaseImage(image);
        return false;
    }

    IsoWriteOpts* opts = newWriteOptions(startAddress, tailPadding, joliet, needLevel3, error);
    if (opts == nullptr) {
        releaseImage(image);
        return false;
    }

    image_ = image;
    opts_ = opts;
    if (!startStream(error)) {
        releaseImage(image_);
        image_ = nullptr;
        iso_write_opts_free(opts_);
        opts_ = nullptr;
        return false;
    }
    return true;
}

} // namespace starburn::filetree
