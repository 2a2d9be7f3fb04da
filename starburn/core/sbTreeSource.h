// The hook through which the write calls read a built file tree's image:
// openTreeSource(), defined with the file trees in starburn/filetree.
#pragma once

#include "starburn/filetree/sbTreeSource.h"
