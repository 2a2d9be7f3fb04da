// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbFolderSource.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "engine/sbBurner.h"
#include "platform/sbSystem.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/format.h>

#include <dirent.h>
#include <sys/stat.h>

namespace {

constexpr size_t VolumeIdChars = 32;

extern "C" void CollectNote(uint32_t /*Kind*/, const char* SourcePath, const char* Text,
                            void* Context) {
    // Runs inside the library call: no exception may leave.
    try {
        auto& notes = *static_cast<std::vector<std::string>*>(Context);
        notes.push_back(std::string(SourcePath) + ": " + Text);
    } catch (...) {
    }
}

// Whether the folder lists nothing but "." and ".."; one that cannot be
// listed is left to the library, which says why.
bool FolderIsEmpty(const std::string& Folder) {
    DIR* dir = ::opendir(Folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool empty = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    return empty;
}

} // namespace

bool IsSourceFolder(const std::string& Path) {
    struct stat st {};
    return !Path.empty() && ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderVolumeLabel(const std::string& Text) {
    std::string label;
    for (const char c : Text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) == 0x80) {
            continue; // the rest of a UTF-8 character already made "_"
        }
        if (byte >= 'a' && byte <= 'z') {
            label += static_cast<char>(byte - 'a' + 'A');
        } else if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')) {
            label += static_cast<char>(byte);
        } else {
            label += '_';
        }
    }
    const size_t first = label.find_first_not_of('_');
    if (first == std::string::npos) {
        return "CDROM";
    }
    label = label.substr(first, VolumeIdChars);
    label.erase(label.find_last_not_of('_') + 1);
    return label;
}

std::string FolderLabelOf(const std::string& Folder) {
    std::string path = Folder;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const size_t slash = path.rfind('/');
    return FolderVolumeLabel(slash == std::string::npos ? path : path.substr(slash + 1));
}

TsbFolderTree PrepareFolderTree(TsbBurner& Burner, const std::string& Folder) {
    Burner.DestroyFileTree();
    if (FolderIsEmpty(Folder)) {
        throw EsbError(fmt::format(
            fmt::runtime(SbTranslate("Engine", "The folder {} is empty: there is nothing to burn")),
            Folder));
    }
    const TsbCallResult created =
        Burner.Kept(LibraryCall("StarBurn_ISO9660JolietFileTree_Create",
                                Burner.Failure("StarBurn_ISO9660JolietFileTree_Create"), [&] {
                                    return StarBurn_ISO9660JolietFileTree_Create(
                                        &Burner.FileTree, Burner.ExceptionText, sbExceptionTextSize,
                                        &Burner.LastStatus, nullptr, nullptr);
                                }));
    if (created.Failed()) {
        Burner.FileTree = nullptr;
        throw EsbError(created.FailureText);
    }
    TsbFolderTree tree;
    const auto fail = [&Burner](const TsbCallResult& Result) {
        if (Result.Failed()) {
            const std::string text = BufferToStr(Burner.ExceptionText, sizeof Burner.ExceptionText);
            Burner.DestroyFileTree();
            throw EsbError("The folder cannot be burnt: " + text);
        }
    };
    fail(Burner.Kept(
        LibraryCall("StarBurn_ISO9660JolietFileTree_AddFolderContents: " + Folder,
                    Burner.Failure("StarBurn_ISO9660JolietFileTree_AddFolderContents"), [&] {
                        return StarBurn_ISO9660JolietFileTree_AddFolderContents(
                            SB_TREE_HEAD(Burner), Folder.c_str(), CollectNote, &tree.Notes);
                    })));
    for (const std::string& note : tree.Notes) {
        Logger().Log(note);
    }
    const std::string executable = platform::GetExecutablePath();
    fail(Burner.Kept(LibraryCall("StarBurn_ISO9660JolietFileTree_BuildImage (for its size)",
                                 Burner.Failure("StarBurn_ISO9660FileTree_BuildImage"), [&] {
                                     return StarBurn_ISO9660JolietFileTree_BuildImage(
                                         SB_TREE_HEAD(Burner), 0, 0, 1, Burner.VolumeLabel.c_str(),
                                         executable.c_str(), executable.c_str());
                                 })));
    tree.Bytes = Burner.ImageSize();
    return tree;
}

std::string FolderSourceLine(const std::string& Folder, int64_t Bytes, const std::string& Label) {
    return fmt::format("Source folder: {} ({} MB, label {})", Folder,
                       (Bytes + 1024 * 1024 - 1) / (1024 * 1024), Label);
}

std::string FolderDoesNotFitText(int64_t Bytes, int64_t FreeBytes) {
    if (Bytes <= FreeBytes) {
        return {};
    }
    constexpr int64_t mb = 1024 * 1024;
    return fmt::format(fmt::runtime(SbTranslate(
                           "Engine", "The folder does not fit on the disc: it makes {} MB, the "
                                     "disc has {} MB free; nothing was written")),
                       (Bytes + mb - 1) / mb, FreeBytes / mb);
}

void HandOverFileTree(TsbBurner& From, TsbBurner& To) {
    To.DestroyFileTree();
    To.FileTree = From.FileTree;
    From.FileTree = nullptr;
}
