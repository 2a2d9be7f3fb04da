// The default of the file-tree hook for a library built without file trees:
// a weak definition, replaced by starburn/filetree's own when that is linked.
#include "starburn/core/sbTreeSource.h"

namespace starburn {

__attribute__((weak)) std::unique_ptr<ImageSource> openTreeSource(void* /*treeHandle*/,
                                                                  std::string& error) {
    error = "File trees are not available";
    return nullptr;
}

} // namespace starburn
