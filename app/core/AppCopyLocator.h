// AppCopyLocator: finds other installed copies of an app (a bounded metadata search) and tells
// whether a found copy is usable.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::core::AppCopyLocator {

// Not one of `excluding` (ignoring case), not in a Trash, and still on disk.
bool isUsableCopy(const platform::MacPath& candidate,
                  const std::vector<platform::MacPath>& excluding, const platform::MacPath& home);

} // namespace veldo::core::AppCopyLocator
