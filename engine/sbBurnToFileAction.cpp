// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbBurnToFileAction.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "base/sbTypes.h"
#include "platform/sbSystem.h"

#include <fmt/printf.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t chunkLimit = 65536;

std::string currentDirectory() {
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    // A current directory that was deleted has no name; "." still answers
    // for the file system it was on.
    return error ? std::string(".") : folder;
}

// Closes the image file however Execute ends; the file itself stays on disk.
class TsbImageFileCloser {
public:
    explicit TsbImageFileCloser(TsbImageWriting& Image) : image_(Image) {}
    ~TsbImageFileCloser() {
        if (image_.ImageFile != -1) {
            ::close(image_.ImageFile);
            image_.ImageFile = -1;
        }
    }
    TsbImageFileCloser(const TsbImageFileCloser&) = delete;
    TsbImageFileCloser& operator=(const TsbImageFileCloser&) = delete;

private:
    TsbImageWriting& image_;
};

// fsync reports EINVAL or EROFS for files that cannot be synchronised (a
// pipe, a special file): nothing is lost there.
bool flushFailed(int Error) {
    return Error != EINVAL && Error != EROFS;
}

} // namespace

std::string ImageFileDirectory(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    if (!Path.empty() && Path.front() == '/') {
        return slash == 0 ? std::string("/") : Path.substr(0, slash);
    }
    const std::string current = currentDirectory();
    if (slash == std::string::npos) {
        return current;
    }
    // The file's own folder may be another file system than the current
    // directory (a mount point below it): measure the folder it goes to.
    return current + "/" + Path.substr(0, slash);
}

namespace {

// Raises a failed call's text, kept as the burner's status.
void FailStop(TsbBurner& burner, const TsbCallResult& result) {
    burner.Kept(result);
    if (result.Failed()) {
        burner.StatusText = result.FailureText;
        throw EsbError(burner.StatusText);
    }
}

// Builds the tree's image (with its boot image, when one is set); its size.
int64_t BuildTreeImage(TsbBurner& burner) {
    if (burner.BootEnabled && !burner.BootImage.empty()) {
        // "image" in lower case, and the two characters backslash and n at
        // the failure's end, are part of these texts.
        FailStop(burner,
                 LibraryCall("StarBurn_ISO9660JolietFileTree_SetBootImage: Bootimage: " +
                                 burner.BootImage,
                             burner.FailurePattern("StarBurn_ISO9660JolietFileTree_SetBootImage() "
                                                   "failed, exception %d, status %d, text "
                                                   "\"%s\"\\n"),
                             [&] {
                                 return StarBurn_ISO9660JolietFileTree_SetBootImage(
                                     burner.FileTree, burner.BootImage.c_str(), 6, 2, 1, 0,
                                     burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus);
                             }));
    }
    const std::string executable = platform::GetExecutablePath();
    FailStop(burner, LibraryCall("StarBurn_ISO9660JolietFileTree_BuildImage",
                                 // The failure names the tree without "Joliet", as it always did.
                                 burner.Failure("StarBurn_ISO9660FileTree_BuildImage"), [&] {
                                     return StarBurn_ISO9660JolietFileTree_BuildImage(
                                         SB_TREE_HEAD(burner), 0, 8, 1, burner.VolumeLabel.c_str(),
                                         executable.c_str(), executable.c_str());
                                 }));
    return burner.ImageSize();
}

// Raises an error unless the folder the image goes to has room for Size bytes.
void CheckRoom(TsbBurner& burner, const std::string& directory, int64_t size) {
    TsbImageWriting& image = burner.ImageWriting;
    const platform::TDiskSpace space = platform::GetDiskFreeSpace(directory);
    if (!space.Ok) {
        burner.LastStatus = static_cast<uint32_t>(space.Error);
        // The wizard's own text; on this system the free space comes from
        // statvfs(3), and the status is its errno.
        burner.StatusText = fmt::sprintf("GetDiskFreeSpaceEx( \"%s\" ) failed, status %d",
                                         directory, burner.LastStatus);
        throw EsbError(burner.StatusText);
    }
    image.FreeBytesAvailable = static_cast<int64_t>(space.FreeBytes);
    image.TotalVolumeBytes = static_cast<int64_t>(space.TotalBytes);
    image.TotalFreeBytes = static_cast<int64_t>(space.TotalFreeBytes);
    if (image.FreeBytesAvailable < size) {
        burner.LastStatus = sbErrorDiskFull;
        burner.StatusText = fmt::sprintf("%d UCHARs of ISO9660/Joliet image will not fit into %d "
                                         "UCHARs of free space in \"%s\"",
                                         size, image.FreeBytesAvailable, directory);
        throw EsbError(burner.StatusText);
    }
}

// A trial read proves the sources can be read before the copy starts; then
// the copy starts from the image's first byte again.
void ProveReadable(TsbBurner& burner, std::vector<char>& buffer) {
    TsbImageWriting& image = burner.ImageWriting;
    FailStop(burner, LibraryCall("StarBurn_ISO9660JolietFileTree_Read",
                                 burner.Failure("StarBurn_ISO9660FileTree_Read"), [&] {
                                     return StarBurn_ISO9660JolietFileTree_Read(
                                         SB_TREE_HEAD(burner),
                                         static_cast<uint32_t>(image.ChunkSize), buffer.data());
                                 }));
    FailStop(burner, LibraryCall("StarBurn_ISO9660JolietFileTree_SeekToBegin",
                                 burner.Failure("StarBurn_ISO9660FileTree_SeekToBegin"), [&] {
                                     return StarBurn_ISO9660JolietFileTree_SeekToBegin(
                                         SB_TREE_HEAD(burner));
                                 }));
}

} // namespace

void TsbBurnToFileAction::Execute(TsbActionItem* Item) {
    TsbAction::Execute(Item);
    TsbBurner& burner = Burner();
    TsbImageWriting& image = burner.ImageWriting;

    // Any other write mode would make the burn thread write the recorder's
    // disc: refuse before anything is created.
    if (burner.WriteMode != wmImageToFile) {
        burner.StatusText = fmt::sprintf("An image is stored in a file only with write mode %d "
                                         "(image into a file); the burner is set to write mode %d",
                                         static_cast<int>(wmImageToFile), burner.WriteMode);
        throw EsbError(burner.StatusText);
    }
    if (burner.FileTree == nullptr) {
        burner.StatusText = "There is no file tree whose image could be stored in a file";
        throw EsbError(burner.StatusText);
    }

    std::vector<char> buffer(chunkLimit, 0);
    image.ImageFile = -1;
    const std::string path = ActionList()->Options.SourceFileName;

    burner.StatusText = fmt::sprintf("Creating image '%s' ", path);
    Logger().Log(burner.StatusText);
    Report(burner.StatusText, litInfo);

    TsbImageFileCloser closer(image);
    image.ImageFile = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (image.ImageFile == -1) {
        burner.LastStatus = static_cast<uint32_t>(errno);
        // The wizard's own text; on this system the file is made by
        // open(2), and the status is its errno.
        burner.StatusText =
            fmt::sprintf("CreateFile(\"%s\") failed, status %d", path, burner.LastStatus);
        throw EsbError(burner.StatusText);
    }

    const int64_t size = BuildTreeImage(burner);
    image.RemainingBytes = size;
    burner.StatusText = fmt::sprintf("Need to save %d MB", size / 1024 / 1024);
    Logger().Log(burner.StatusText);
    Report(burner.StatusText, litInfo);

    CheckRoom(burner, ImageFileDirectory(path), size);
    burner.StatusText =
        fmt::sprintf("Storing %d UCHARs of ISO9660/Joliet image to file \"%s\"", size, path);
    image.TotalBytes = burner.ImageSize();
    image.ChunkSize = image.TotalBytes < chunkLimit ? image.TotalBytes : chunkLimit;
    ProveReadable(burner, buffer);

    burner.StartBurnThread();
    if (!burner.StatusText.empty()) {
        throw EsbError(burner.StatusText);
    }

    const bool cancelled = burner.Cancelled;
    if (burner.WriteStarted && !cancelled) {
        // "Finished!" only once the image is on the disk: a full disk or an
        // I/O error may first show when the written data is flushed.
        if (::fsync(image.ImageFile) != 0 && flushFailed(errno)) {
            burner.LastStatus = static_cast<uint32_t>(errno);
            burner.StatusText =
                fmt::sprintf("The image \"%s\" could not be written to the disk (fsync: %s)", path,
                             std::strerror(static_cast<int>(burner.LastStatus)));
            throw EsbError(burner.StatusText);
        }
        Report(LoadResString(rsFinished), litInfo);
    } else {
        if (cancelled) {
            Report("Cancelled!", litWarning);
        }
        // What was copied before the cancel reaches the disk; the file is
        // incomplete either way, so a flush failure changes nothing.
        ::fsync(image.ImageFile);
    }
}
