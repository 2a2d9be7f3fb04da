// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/filetree/sbTreeSource.h"

#include "starburn/core/sbHandles.h"
#include "starburn/filetree/sbFileTree.h"

namespace starburn {
namespace {

class TreeImageSource final : public ImageSource {
public:
    // Takes over the tree's write claim (FileTree::beginWrite) and ends it.
    explicit TreeImageSource(std::shared_ptr<filetree::FileTree> tree) : tree_(std::move(tree)) {}
    ~TreeImageSource() override { tree_->endWrite(); }
    TreeImageSource(const TreeImageSource&) = delete;
    TreeImageSource& operator=(const TreeImageSource&) = delete;

    uint64_t size() const override { return tree_->imageSize(); }

    bool read(void* buffer, size_t length, std::string& error, int& errnoValue) override {
        filetree::Error failure;
        if (tree_->readForWrite(buffer, length, failure)) {
            return true;
        }
        return fill(failure, error, errnoValue);
    }

    bool rewind(std::string& error, int& errnoValue) override {
        filetree::Error failure;
        if (tree_->rewindForWrite(failure)) {
            return true;
        }
        return fill(failure, error, errnoValue);
    }

private:
    static bool fill(const filetree::Error& failure, std::string& error, int& errnoValue) {
        error = failure.text;
        errnoValue =
            failure.exception == SB_EXCEPTION_FILE_ERROR ? static_cast<int>(failure.status) : 0;
        return false;
    }

    std::shared_ptr<filetree::FileTree> tree_;
};

} // namespace

std::unique_ptr<ImageSource> openTreeSource(void* treeHandle, std::string& error,
                                            uint8_t* exception) {
    uint8_t ignored = 0;
    uint8_t& failed = exception != nullptr ? *exception : ignored;
    failed = SB_EXCEPTION_TREE_ERROR;
    auto tree = lookup<filetree::FileTree>(treeHandle, ObjectKind::FileTree);
    if (!tree) {
        error = "not a file tree handle (null, destroyed or of another kind)";
        return nullptr;
    }
    if (!tree->built()) {
        error = "the file tree's image is not built: build it (BuildImage) before writing";
        return nullptr;
    }
    filetree::Error failure;
    // Refused while another write reads the tree, and for a tree listed
    // twice in one write: both would share its one read position.
    if (!tree->beginWrite(failure)) {
        error = failure.text;
        failed = failure.exception;
        return nullptr;
    }
    auto source = std::make_unique<TreeImageSource>(tree);
    if (!tree->rewindForWrite(failure)) {
        error = failure.text;
        failed = failure.exception;
        return nullptr;
    }
    failed = SB_EXCEPTION_NONE;
    return source;
}

} // namespace starburn
