#include "tests/engine/support/ImageReader.h"

#include <fstream>
#include <gtest/gtest.h>

#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

namespace enginetest {

namespace {

void collect(IsoDir* dir, const std::string& prefix, std::map<std::string, TImageItem>& out) {
    IsoDirIter* iter = nullptr;
    ASSERT_EQ(iso_dir_get_children(dir, &iter), 1);
    IsoNode* node = nullptr;
    while (iso_dir_iter_next(iter, &node) == 1) {
        const std::string path = prefix + "/" + iso_node_get_name(node);
        if (ISO_NODE_IS_DIR(node)) {
            out[path].Directory = true;
            collect(reinterpret_cast<IsoDir*>(node), path, out);
        } else if (ISO_NODE_IS_FILE(node)) {
            IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
            ASSERT_EQ(iso_stream_open(stream), 1) << path;
            std::string data;
            char buffer[65536];
            int n = 0;
            while ((n = iso_stream_read(stream, buffer, sizeof buffer)) > 0) {
                data.append(buffer, static_cast<size_t>(n));
            }
            iso_stream_close(stream);
            ASSERT_EQ(n, 0) << "read error in " << path;
            out[path].Content = std::move(data);
        }
    }
    iso_dir_iter_free(iter);
}

} // namespace

std::map<std::string, TImageItem> ReadImageTree(const std::filesystem::path& image,
                                                TImageNames names, uint32_t startBlock) {
    static const int init = iso_init();
    EXPECT_GE(init, 0);
    std::map<std::string, TImageItem> out;
    IsoDataSource* source = nullptr;
    if (iso_data_source_new_from_file(image.c_str(), &source) != 1) {
        ADD_FAILURE() << "cannot open " << image;
        return out;
    }
    IsoReadOpts* opts = nullptr;
    EXPECT_EQ(iso_read_opts_new(&opts, 0), 1);
    iso_read_opts_set_no_rockridge(opts, 1);
    iso_read_opts_set_no_aaip(opts, 1);
    iso_read_opts_set_start_block(opts, startBlock);
    if (names == TImageNames::Joliet) {
        iso_read_opts_set_preferjoliet(opts, 1);
        iso_read_opts_set_joliet_map(opts, 1);
    } else {
        iso_read_opts_set_no_joliet(opts, 1);
        iso_read_opts_set_ecma119_map(opts, 0);
    }
    IsoImage* isoImage = nullptr;
    EXPECT_EQ(iso_image_new("readback", &isoImage), 1);
    IsoReadImageFeatures* features = nullptr;
    const int r = iso_image_import(isoImage, source, opts, &features);
    EXPECT_GE(r, 0) << "libisofs cannot read " << image << " (" << r << ")";
    if (r >= 0) {
        collect(iso_image_get_root(isoImage), "", out);
    }
    if (features != nullptr) {
        iso_read_image_features_destroy(features);
    }
    iso_image_unref(isoImage);
    iso_read_opts_free(opts);
    iso_data_source_unref(source);
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
