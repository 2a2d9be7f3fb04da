// The file-tree calls of a library built without file trees: weak
// definitions that answer every call with "File trees are not available",
// replaced by starburn/filetree's own when that is linked.
#include "starburn/StarBurn.h"
#include "starburn/core/sbFailure.h"

namespace {

constexpr const char* kNoTrees = "File trees are not available";

} // namespace

extern "C" {

__attribute__((weak)) STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_Create(
    void** ppFileTree, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    PCALLBACK /*pCallback*/, void* /*pContext*/) {
    if (ppFileTree != nullptr) {
        *ppFileTree = nullptr;
    }
    return starburn::fail(pExceptionText, ulExceptionTextSize, pStatus, SB_EXCEPTION_NOT_SUPPORTED,
                          0, kNoTrees);
}

__attribute__((weak)) STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_SetBootImage(
    void* /*pFileTree*/, const char* /*pBootImage*/, uint32_t /*ulBootImageKind*/,
    uint32_t /*ulPlatform*/, uint32_t /*ulLoadSectors*/, uint32_t /*ulLoadSegment*/,
    char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus) {
    return starburn::fail(pExceptionText, ulExceptionTextSize, pStatus, SB_EXCEPTION_NOT_SUPPORTED,
                          0, kNoTrees);
}

__attribute__((weak)) STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_BuildImage(
    void* /*pFileTree*/, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    uint32_t /*ulStartAddress*/, uint32_t /*ulTailPaddingSectors*/, uint32_t /*bJoliet*/,
    const char* /*pVolumeLabel*/, const char* /*pApplicationId*/, const char* /*pPreparerId*/) {
    return starburn::fail(pExceptionText, ulExceptionTextSize, pStatus, SB_EXCEPTION_NOT_SUPPORTED,
                          0, kNoTrees);
}

__attribute__((weak)) STARBURN_API uint32_t
StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(void* /*pFileTree*/, uint32_t* pSizeHigh) {
    if (pSizeHigh != nullptr) {
        *pSizeHigh = 0;
    }
    return 0;
}

__attribute__((weak)) STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_Read(
    void* /*pFileTree*/, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    uint32_t /*ulChunkSize*/, void* /*pBuffer*/) {
    return starburn::fail(pExceptionText, ulExceptionTextSize, pStatus, SB_EXCEPTION_NOT_SUPPORTED,
                          0, kNoTrees);
}

__attribute__((weak)) STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_SeekToBegin(
    void* /*pFileTree*/, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus) {
    return starburn::fail(pExceptionText, ulExceptionTextSize, pStatus, SB_EXCEPTION_NOT_SUPPORTED,
                          0, kNoTrees);
}

} // extern "C"
