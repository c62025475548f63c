// UiFixtures: outcomes and controllers the window tests and the screenshot tour share.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/controller/UninstallViewModel.h"
#include "app/core/CleanupStats.h"
#include "app/core/DevPackage.h"
#include "app/core/LeftoverItem.h"
#include "app/core/ToolchainItem.h"
#include "app/removal/UninstallOutcome.h"
#include "app/scanners/OrphanScanResult.h"
#include "app/scanners/PackageRemoverResult.h"
#include "platform/UserDefaults.h"

namespace veldo::testsupport {

core::LeftoverItem uiItem(std::string path, std::int64_t bytes = 0, bool requiresAdmin = false,
                          core::LeftoverCategory category = core::LeftoverCategory::supportFiles);

// An outcome of `trashed` items with restore points for the first `restorable` of them.
removal::UninstallOutcome movedOutcome(std::vector<core::LeftoverItem> trashed,
                                       std::size_t restorable);

// A failure of `item` with a plain message.
removal::UninstallOutcome::Failure failure(core::LeftoverItem item);

// The result banner's four classes, as the tour shows them.
struct NamedOutcome
{
    std::string name;
    removal::UninstallOutcome outcome;
};
std::vector<NamedOutcome> bannerGallery();

// Orphans of three former apps in the home folder `home` and /Library: every confidence, an
// item needing administrator rights, a zero-byte item, a long reason, one group without dates.
scanners::OrphanScanResult orphanGallery(const std::string& home);

// Measured developer locations under `home`: caches, a runtime, data, one needing a password.
std::vector<core::ToolchainGroup> toolchainSample(const std::string& home);
// Packages of every manager, one without a version and one of 0 bytes.
std::vector<core::PackageGroup> packageSample();
// A package uninstall: six removed, and with `failures` two failed.
scanners::PackageRemover::Result packageResultSample(bool failures);

// A controller over its own defaults in the current Mac root (the caller's FakeMac or tour root).
struct UiController
{
    UiController();
    std::shared_ptr<platform::UserDefaults> defaults;
    std::shared_ptr<core::CleanupSettings> settings;
    std::shared_ptr<core::CleanupStats> stats;
    std::unique_ptr<controller::UninstallViewModel> model;
};

} // namespace veldo::testsupport
