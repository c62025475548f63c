// VerifiedFolder: a folder proven to be reached from "/" without any symbolic link, held open.
#pragma once

#include <string>

#include "common/HelperStat.h"
#include "common/SharedDescriptor.h"

namespace veldo::removal::AdminRemover {

struct VerifiedFolder
{
    std::string path;                    // the normalised absolute Mac path
    common::HelperStat status;           // read through the descriptor
    common::SharedDescriptor descriptor; // the open folder (search-only)
};

} // namespace veldo::removal::AdminRemover
