// PackageRemover::Result: what one package-uninstall batch did.
//
// `removed` holds the packages whose uninstall command succeeded and `failed` the packages that
// were refused or whose uninstall failed, each with the one-sentence reason the user reads; both
// in the order the packages were requested. A plain value: copy it freely between threads.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/core/DevPackage.h"

namespace veldo::scanners::PackageRemover {

struct Result
{
    std::vector<core::DevPackage> removed;
    std::vector<std::pair<core::DevPackage, std::string>> failed;

    // One line per failed package, in order: its name, ": " and the reason. Empty when nothing
    // failed.
    std::vector<std::string> failureLines() const
    {
        std::vector<std::string> lines;
        lines.reserve(failed.size());
        for (const auto& [package, reason] : failed)
            lines.push_back(package.name + ": " + reason);
        return lines;
    }

    friend bool operator==(const Result&, const Result&) = default;
};

} // namespace veldo::scanners::PackageRemover
