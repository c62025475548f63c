// TrashExecutor: moves chosen items to the Trash with the user's own rights, the first step of
// every removal, and the launchd calls around it.
//
// runUninstall asks the removal-safety policy about every item and never touches what it
// refuses; it reads each item's attributes, boots a user-writable LaunchAgents property list out
// of the user's launchd domain before moving it (and back in when the move fails), and moves the
// item with the process-wide file manager (platform/FileManager.h). Every failure is per item
// and lands in the outcome; the run itself never fails. Items are handled one after the other,
// in one Trash run of the file manager: the safety context is prepared once, and each item is
// judged in the folder that the run then reads and moves it from, as that folder resolves.
//
// Only ENOENT and ENOTDIR from reading an item's attributes mean it is already gone. Any other
// error (EACCES behind a folder only root can search, ELOOP, ENAMETOOLONG, …) is a failure,
// escalatable when the item requires administrator rights or the error is a permission error.
//
// All calls block (each launchctl run up to 30 seconds); none touches state of the GUI thread.
// launchctl gets each Mac path as its host path (parent links resolved inside the Mac root).
#pragma once

#include <chrono>
#include <stop_token>
#include <string_view>
#include <vector>

#include "app/core/AccessRootKind.h"
#include "app/core/LeftoverItem.h"
#include "app/removal/UninstallOutcome.h"
#include "common/RemovalSafety.h"
#include "platform/MacPath.h"

namespace veldo::removal::TrashExecutor {

// How long each launchctl run may take.
inline constexpr std::chrono::seconds kLaunchctlTimeout{30};

// What an item not reached before a stop request (the app quitting) reads; it stays in place.
inline constexpr std::string_view kStoppedMessage = "Veldo quit before this item was moved.";

// Starts security-scoped access on each root, runs performUninstall, stops the accesses that
// started (in root order), and returns the outcome.
UninstallOutcome runUninstall(const std::vector<core::LeftoverItem>& items,
                              const common::RemovalSafety::Context& context,
                              const std::vector<core::ScopedAccessRoot>& roots,
                              std::stop_token stop = {});

// The per-item work: items inside another chosen item (or repeating one, by normalised path)
// go to `nested` untouched; the others are handled in input order. Once `stop` is requested no
// further item is touched: each left is a failure with kStoppedMessage, never escalatable.
UninstallOutcome performUninstall(const std::vector<core::LeftoverItem>& items,
                                  const common::RemovalSafety::Context& context,
                                  std::stop_token stop = {});

// A ".plist" whose folder (standardised) is "/Library/LaunchAgents" or `home` + "/Library/
// LaunchAgents". Pure.
bool isLaunchAgentPlist(const platform::MacPath& url, const platform::MacPath& home);

// A ".plist" whose folder (standardised) is "/Library/LaunchDaemons". Pure.
bool isSystemDaemonPlist(const platform::MacPath& url);

enum class LaunchctlVerb
{
    bootout,
    bootstrap
};

// Runs "/bin/launchctl <verb> gui/<real uid> <url>" with the process environment and a 30-second
// time-out; its output and exit status are not looked at. The url reaches launchctl as its host
// path (its folders' links resolved inside the Mac root); when it has none (a loop of links, a
// NUL), launchctl is not run for it. A stop request ends a running launchctl and keeps a new one
// from starting.
void runLaunchctlInUserDomain(const platform::MacPath& url, LaunchctlVerb verb,
                              std::stop_token stop = {});

// runLaunchctlInUserDomain with "bootout" (respectively "bootstrap") for each url in order.
void bootOutAgents(const std::vector<platform::MacPath>& urls, std::stop_token stop = {});
void bootstrapAgents(const std::vector<platform::MacPath>& urls, std::stop_token stop = {});

} // namespace veldo::removal::TrashExecutor
