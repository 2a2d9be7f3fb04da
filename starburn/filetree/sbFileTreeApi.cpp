// SPDX-License-Identifier: GPL-2.0-or-later
// The C interface of file trees.
#include "starburn/StarBurn.h"
#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbFailure.h"
#include "starburn/core/sbHandles.h"
#include "starburn/filetree/sbFileTree.h"

#include <memory>
#include <new>

using starburn::ObjectKind;
using starburn::filetree::Error;
using starburn::filetree::FileTree;

namespace {

std::shared_ptr<FileTree> treeOf(void* handle) {
    return starburn::lookup<FileTree>(handle, ObjectKind::FileTree);
}

uint8_t invalidHandle(char* text, uint32_t size, uint32_t* status) {
    return starburn::fail(text, size, status, SB_EXCEPTION_INVALID_HANDLE, SB_STATUS_NONE,
                          "not a file tree handle (null, destroyed or of another kind)");
}

uint8_t report(bool ok, const Error& error, char* text, uint32_t size, uint32_t* status) {
    if (ok) {
        starburn::copyText(text, size, "");
        if (status != nullptr) {
            *status = SB_STATUS_NONE;
        }
        return SB_EXCEPTION_NONE;
    }
    return starburn::fail(text, size, status, error.exception, error.status, error.text);
}

// A call on a tree's handle: the handle checked, the tree held for the
// length of the call, and the call's failure written to the caller's buffers.
template <class Call>
uint8_t onTree(void* handle, char* text, uint32_t size, uint32_t* status, Call&& call) {
    const std::shared_ptr<FileTree> tree = treeOf(handle);
    if (!tree) {
        return invalidHandle(text, size, status);
    }
    Error error;
    const bool ok = call(*tree, error);
    return report(ok, error, text, size, status);
}

} // namespace

extern "C" {

STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_Create(void** ppFileTree, char* pExceptionText,
                                                           uint32_t ulExceptionTextSize,
                                                           uint32_t* pStatus, PCALLBACK pCallback,
                                                           void* pContext) {
    if (ppFileTree == nullptr) {
        return starburn::fail(pExceptionText, ulExceptionTextSize, pStatus,
                              SB_EXCEPTION_INVALID_PARAMETER, SB_STATUS_NONE,
                              "no place for the file tree handle");
    }
    *ppFileTree = nullptr;
    std::shared_ptr<FileTree> tree;
    try {
        tree = std::make_shared<FileTree>(pCallback, pContext);
    } catch (const std::bad_alloc&) {
        return starburn::fail(pExceptionText, ulExceptionTextSize, pStatus, SB_EXCEPTION_GENERIC,
                              12, "out of memory creating a file tree");
    }
    *ppFileTree = starburn::registerObject(std::move(tree));
    return report(true, {}, pExceptionText, ulExceptionTextSize, pStatus);
}

STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_AddFile(
    void* pFileTree, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    const char* pSourcePath, const char* pTargetFolder, const char* pNameInTree) {
    return onTree(pFileTree, pExceptionText, ulExceptionTextSize, pStatus,
                  [&](FileTree& tree, Error& error) {
                      return tree.addFile(pSourcePath, pTargetFolder, pNameInTree, error);
                  });
}

STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_AddFolder(
    void* pFileTree, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    const char* pSourcePath, const char* pTargetFolder, const char* pNameInTree) {
    return onTree(pFileTree, pExceptionText, ulExceptionTextSize, pStatus,
                  [&](FileTree& tree, Error& error) {
                      return tree.addFolder(pSourcePath, pTargetFolder, pNameInTree, error);
                  });
}

STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_AddFolderContents(
    void* pFileTree, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    const char* pSourceFolder, PSB_TREE_NOTE_HANDLER pNoteHandler, void* pContext) {
    return onTree(pFileTree, pExceptionText, ulExceptionTextSize, pStatus,
                  [&](FileTree& tree, Error& error) {
                      return tree.addFolderContents(pSourceFolder, pNoteHandler, pContext, error);
                  });
}

STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_RemoveName(void* pFileTree,
                                                               char* pExceptionText,
                                                               uint32_t ulExceptionTextSize,
                                                               uint32_t* pStatus,
                                                               const char* pPathInTree) {
    return onTree(
        pFileTree, pExceptionText, ulExceptionTextSize, pStatus,
        [&](FileTree& tree, Error& error) { return tree.removeName(pPathInTree, error); });
}

STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_SetBootImage(
    void* pFileTree, const char* pBootImage, uint32_t ulBootImageKind, uint32_t ulPlatform,
    uint32_t ulLoadSectors, uint32_t ulLoadSegment, char* pExceptionText,
    uint32_t ulExceptionTextSize, uint32_t* pStatus) {
    return onTree(pFileTree, pExceptionText, ulExceptionTextSize, pStatus,
                  [&](FileTree& tree, Error& error) {
                      return tree.setBootImage(pBootImage, ulBootImageKind, ulPlatform,
                                               ulLoadSectors, ulLoadSegment, error);
                  });
}

STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_BuildImage(
    void* pFileTree, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    uint32_t ulStartAddress, uint32_t ulTailPaddingSectors, uint32_t bJoliet,
    const char* pVolumeLabel, const char* pApplicationId, const char* pPreparerId) {
    return onTree(pFileTree, pExceptionText, ulExceptionTextSize, pStatus,
                  [&](FileTree& tree, Error& error) {
                      return tree.build(ulStartAddress, ulTailPaddingSectors, bJoliet != 0,
                                        pVolumeLabel, pApplicationId, pPreparerId, error);
                  });
}

STARBURN_API uint32_t StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(void* pFileTree,
                                                                     uint32_t* pSizeHigh) {
    auto tree = treeOf(pFileTree);
    const uint64_t size = tree ? tree->imageSize() : 0;
    if (pSizeHigh != nullptr) {
        *pSizeHigh = static_cast<uint32_t>(size >> 32);
    }
    return static_cast<uint32_t>(size & 0xFFFFFFFFu);
}

STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_Read(void* pFileTree, char* pExceptionText,
                                                         uint32_t ulExceptionTextSize,
                                                         uint32_t* pStatus, uint32_t ulChunkSize,
                                                         void* pBuffer) {
    return onTree(
        pFileTree, pExceptionText, ulExceptionTextSize, pStatus,
        [&](FileTree& tree, Error& error) { return tree.read(pBuffer, ulChunkSize, error); });
}

STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_SeekToBegin(void* pFileTree,
                                                                char* pExceptionText,
                                                                uint32_t ulExceptionTextSize,
                                                                uint32_t* pStatus) {
    return onTree(pFileTree, pExceptionText, ulExceptionTextSize, pStatus,
                  [&](FileTree& tree, Error& error) { return tree.rewind(error); });
}

} // extern "C"
