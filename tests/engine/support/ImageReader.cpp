// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/engine/support/ImageReader.h"

#include <fstream>
#include <gtest/gtest.h>

#include "tests/starburn/filetree_support.h"

namespace enginetest {

std::map<std::string, TImageItem> ReadImageTree(const std::filesystem::path& image,
                                                TImageNames names, uint32_t startBlock) {
    // The file-tree tests' reader: libisofs' importer, which shares no code
    // with the library's image writer.
    const auto read = filetree_test::readBack(
        image.string(),
        names == TImageNames::Joliet ? filetree_test::Names::Joliet : filetree_test::Names::Iso9660,
        startBlock);
    std::map<std::string, TImageItem> out;
    for (const auto& [path, item] : read) {
        out[path] = TImageItem{item.directory, item.content};
    }
    return out;
}

std::string ReadFileRange(const std::filesystem::path& path, uint64_t offset, uint64_t size) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string data(size, '\0');
    in.read(data.data(), static_cast<std::streamsize>(size));
    data.resize(static_cast<size_t>(in.gcount()));
    return data;
}

TTestTree::TTestTree() {
    char text[1024] = "";
    uint32_t status = 0;
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Create(&handle_, text, sizeof text, &status,
                                                    LibraryCallback, &Nodes),
              0)
        << text;
}

TTestTree::~TTestTree() {
    if (handle_ != nullptr) {
        StarBurn_Destroy(&handle_);
    }
}

void* TTestTree::Release() {
    void* handle = handle_;
    handle_ = nullptr;
    return handle;
}

bool TTestTree::result(uint8_t exception, const char* text, uint32_t status) {
    LastException = exception;
    LastStatus = status;
    LastError = exception == 0 ? std::string() : std::string(text);
    return exception == 0;
}

bool TTestTree::AddFile(const std::filesystem::path& source, const char* folder, const char* name) {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r = StarBurn_ISO9660JolietFileTree_AddFile(handle_, text, sizeof text, &status,
                                                             source.c_str(), folder, name);
    return result(r, text, status);
}

bool TTestTree::AddFolder(const std::filesystem::path& source, const char* folder,
                          const char* name) {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r = StarBurn_ISO9660JolietFileTree_AddFolder(handle_, text, sizeof text, &status,
                                                               source.c_str(), folder, name);
    return result(r, text, status);
}

bool TTestTree::AddEmptyFolder(const char* folder, const char* name) {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r = StarBurn_ISO9660JolietFileTree_AddFolder(handle_, text, sizeof text, &status,
                                                               nullptr, folder, name);
    return result(r, text, status);
}

bool TTestTree::Remove(const char* pathInTree) {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r =
        StarBurn_ISO9660JolietFileTree_RemoveName(handle_, text, sizeof text, &status, pathInTree);
    return result(r, text, status);
}

} // namespace enginetest
