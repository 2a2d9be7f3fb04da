#include "starburn/filetree/sbTreeSource.h"

#include "starburn/core/sbHandles.h"
#include "starburn/filetree/sbFileTree.h"

namespace starburn {
namespace {

class TreeImageSource final : public ImageSource {
public:
    explicit TreeImageSource(std::shared_ptr<filetree::FileTree> tree) : tree_(std::move(tree)) {}

    uint64_t size() const override { return tree_->imageSize(); }

    bool read(void* buffer, size_t length, std::string& error, int& errnoValue) override {
        filetree::Error failure;
        if (tree_->read(buffer, length, failure)) {
            return true;
        }
        return fill(failure, error, errnoValue);
    }

    bool rewind(std::string& error, int& errnoValue) override {
        filetree::Error failure;
        if (tree_->rewind(failure)) {
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

std::unique_ptr<ImageSource> openTreeSource(void* treeHandle, std::string& error) {
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
    if (!tree->rewind(failure)) {
        error = failure.text;
        return nullptr;
    }
    return std::make_unique<TreeImageSource>(std::move(tree));
}

} // namespace starburn
