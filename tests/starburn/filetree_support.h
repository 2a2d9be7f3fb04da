// SPDX-License-Identifier: GPL-2.0-or-later
// Helpers shared by the file-tree tests: temporary source trees, reading a
// built image out through the C interface, and reading an image back with
// libisofs' reader, which shares no code with the writer under test.
#pragma once

#include "starburn/StarBurn.h"
#include "tests/starburn/sbTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

namespace filetree_test {

namespace fs = std::filesystem;

using sbtest::TempDir;

// Bytes that differ from file to file and from block to block, so a block
// stored at the wrong place or taken from another file shows.
inline std::string pattern(size_t size, uint32_t seed) {
    std::string data(size, '\0');
    std::mt19937 gen(seed);
    for (auto& c : data) {
        c = static_cast<char>(gen() & 0xFF);
    }
    return data;
}

inline void writeFile(const std::string& path, const std::string& data) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The result of a library call with its failure report.
struct Outcome {
    uint8_t exception = 0;
    uint32_t status = 0;
    std::string text;
};

inline uint64_t imageSize(void* tree) {
    uint32_t high = 0xDEAD;
    const uint32_t low = StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
    return (static_cast<uint64_t>(high) << 32) | low;
}

// Reads the whole image as a burn into a file would: 64 KiB chunks, the last
// one the remainder. Returns the first failure, if any.
inline Outcome readImage(void* tree, std::string& image, size_t chunk = 65536) {
    const uint64_t size = imageSize(tree);
    image.clear();
    image.reserve(size);
    std::vector<char> buffer(chunk);
    uint64_t remaining = size;
    while (remaining > 0) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(remaining, chunk));
        char text[1024] = "";
        uint32_t status = 0;
        const uint8_t r =
            StarBurn_ISO9660JolietFileTree_Read(tree, text, sizeof text, &status, n, buffer.data());
        if (r != 0) {
            return {r, status, text};
        }
        image.append(buffer.data(), n);
        remaining -= n;
    }
    return {};
}

inline Outcome build(void* tree, uint32_t start = 0, uint32_t padding = 0, uint32_t joliet = 1,
                     const char* label = "TAVRIN", const char* app = "/opt/tavrin/tavrin",
                     const char* preparer = "/opt/tavrin/tavrin") {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r = StarBurn_ISO9660JolietFileTree_BuildImage(
        tree, text, sizeof text, &status, start, padding, joliet, label, app, preparer);
    return {r, status, text};
}

inline Outcome addFile(void* tree, const std::string& source, const char* folder = "/",
                       const char* name = nullptr) {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r = StarBurn_ISO9660JolietFileTree_AddFile(tree, text, sizeof text, &status,
                                                             source.c_str(), folder, name);
    return {r, status, text};
}

inline Outcome addFolder(void* tree, const char* source, const char* folder = "/",
                         const char* name = nullptr) {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r = StarBurn_ISO9660JolietFileTree_AddFolder(tree, text, sizeof text, &status,
                                                               source, folder, name);
    return {r, status, text};
}

inline Outcome removeName(void* tree, const char* path) {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r =
        StarBurn_ISO9660JolietFileTree_RemoveName(tree, text, sizeof text, &status, path);
    return {r, status, text};
}

inline Outcome seekToBegin(void* tree) {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r = StarBurn_ISO9660JolietFileTree_SeekToBegin(tree, text, sizeof text, &status);
    return {r, status, text};
}

inline Outcome setBoot(void* tree, const std::string& path, uint32_t kind = 6,
                       uint32_t platform = 2) {
    char text[1024] = "";
    uint32_t status = 0;
    const uint8_t r = StarBurn_ISO9660JolietFileTree_SetBootImage(
        tree, path.c_str(), kind, platform, 1, 0, text, sizeof text, &status);
    return {r, status, text};
}

// One entry read back from an image: a folder, or a file with its content.
struct Item {
    bool directory = false;
    std::string content;
};

enum class Names { Iso9660, Joliet };

inline void collect(IsoDir* dir, const std::string& prefix, std::map<std::string, Item>& out) {
    IsoDirIter* iter = nullptr;
    ASSERT_EQ(iso_dir_get_children(dir, &iter), 1);
    IsoNode* node = nullptr;
    while (iso_dir_iter_next(iter, &node) == 1) {
        const std::string path = prefix + "/" + iso_node_get_name(node);
        if (ISO_NODE_IS_DIR(node)) {
            out[path].directory = true;
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
            out[path].content = std::move(data);
        }
    }
    iso_dir_iter_free(iter);
}

// Every folder and file of one of the image's trees, by path. ISO9660 names
// are given exactly as recorded (with ";1"), Joliet names without a version.
inline std::map<std::string, Item> readBack(const std::string& imagePath, Names names,
                                            uint32_t startBlock = 0) {
    static const int init = iso_init();
    EXPECT_GE(init, 0);
    std::map<std::string, Item> out;
    IsoDataSource* source = nullptr;
    if (iso_data_source_new_from_file(imagePath.c_str(), &source) != 1) {
        ADD_FAILURE() << "cannot open " << imagePath;
        return out;
    }
    IsoReadOpts* opts = nullptr;
    EXPECT_EQ(iso_read_opts_new(&opts, 0), 1);
    iso_read_opts_set_no_rockridge(opts, 1);
    iso_read_opts_set_no_aaip(opts, 1);
    iso_read_opts_set_start_block(opts, startBlock);
    if (names == Names::Joliet) {
        iso_read_opts_set_preferjoliet(opts, 1);
        iso_read_opts_set_joliet_map(opts, 1);
    } else {
        iso_read_opts_set_no_joliet(opts, 1);
        iso_read_opts_set_ecma119_map(opts, 0);
    }
    IsoImage* image = nullptr;
    EXPECT_EQ(iso_image_new("readback", &image), 1);
    IsoReadImageFeatures* features = nullptr;
    const int r = iso_image_import(image, source, opts, &features);
    EXPECT_GE(r, 0) << "libisofs cannot read the image back (" << r << ")";
    if (r >= 0) {
        collect(iso_image_get_root(image), "", out);
    }
    if (features != nullptr) {
        iso_read_image_features_destroy(features);
    }
    iso_image_unref(image);
    iso_read_opts_free(opts);
    iso_data_source_unref(source);
    return out;
}

inline void saveImage(const std::string& path, const std::string& image, uint64_t offset = 0) {
    std::fstream out(path, std::ios::binary | std::ios::out | std::ios::trunc);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    ASSERT_TRUE(out.good());
}

// A field of a volume descriptor, trailing blanks dropped.
inline std::string descriptorText(const std::string& image, size_t block, size_t offset,
                                  size_t length) {
    std::string text = image.substr(block * 2048 + offset, length);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

inline uint32_t le32(const std::string& data, size_t offset) {
    return static_cast<uint32_t>(static_cast<unsigned char>(data[offset])) |
           static_cast<uint32_t>(static_cast<unsigned char>(data[offset + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(data[offset + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(data[offset + 3])) << 24;
}

inline uint16_t le16(const std::string& data, size_t offset) {
    return static_cast<uint16_t>(static_cast<unsigned char>(data[offset]) |
                                 static_cast<unsigned char>(data[offset + 1]) << 8);
}

// A tree with a callback that keeps the node count, as a caller's would.
struct CountingTree {
    uint32_t nodes = 0;
    void* handle = nullptr;
    std::vector<std::string> added;
    std::vector<std::string> removed;
    std::vector<std::string> ignored;

    // The context is the tree's own record, whose first field is the node count.
    static void callback(uint32_t reason, void* context, void* special1, void* special2) {
        auto* self = static_cast<CountingTree*>(context);
        const char* name = static_cast<const char*>(special1);
        switch (reason & 0xFF) {
        case SB_REASON_TREE_ADD_NAME:
            EXPECT_NE(special2, nullptr);
            self->added.emplace_back(name);
            ++self->nodes;
            break;
        case SB_REASON_TREE_REMOVE_NAME:
            EXPECT_NE(special2, nullptr);
            self->removed.emplace_back(name);
            --self->nodes;
            break;
        case SB_REASON_TREE_IGNORE_NAME:
            self->ignored.emplace_back(name);
            break;
        default:
            break;
        }
    }

    CountingTree() {
        char text[256] = "";
        uint32_t status = 0;
        EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Create(&handle, text, sizeof text, &status,
                                                        &CountingTree::callback, this),
                  0)
            << text;
    }
    ~CountingTree() { StarBurn_Destroy(&handle); }
    CountingTree(const CountingTree&) = delete;
    CountingTree& operator=(const CountingTree&) = delete;
};

} // namespace filetree_test
