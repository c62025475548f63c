// Saving a cleanup report: its proposed file name, its JSON text and its atomic write.
//
// The file is one pretty-printed JSON object with sorted keys: "appName", "appPath",
// "bundleID" (left out when the app has none), "generatedAt" (ISO 8601 in UTC, whole seconds,
// for example "2026-03-01T12:00:00Z"), "itemCount", "items", "selectedBytes",
// "selectedItemCount", "totalBytes", "version" (left out when the app has none); each item has
// "category", "confidence", "path", "requiresAdmin", "selected", "sizeBytes". Veldo only writes
// this file, never reads it back.
#pragma once

#include <string>
#include <string_view>

#include "app/leftovers/CleanupReport.h"
#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::leftovers {

// The app name with every Unicode scalar that is neither alphanumeric (a letter, mark or digit
// of any script) nor a space, "-" or "_" replaced by one "-"; nothing is trimmed, collapsed or
// shortened ("Tool: Pro/2" gives "Tool- Pro-2"). Each byte of invalid UTF-8 counts as one
// scalar that is replaced. Pure.
std::string sanitizedReportName(std::string_view appName);

// The file name proposed for saving the report of `appName`: "Veldo Report - ", the sanitised
// name and ".json". Pure.
std::string proposedReportFileName(std::string_view appName);

// The instant as ISO 8601 text in UTC with whole seconds (fractions dropped, toward the past).
std::string iso8601UTC(core::Date date);

// The report's JSON text. An error (invalidArgument) when a text in it is not valid UTF-8 and
// so can't be written as JSON. Pure.
Result<std::string> encodedCleanupReport(const CleanupReport& report);

// Encodes the report and writes it to `destination` atomically: an existing file there is
// replaced whole or left untouched, and a failure leaves no partial file behind. The error is
// the encoding's or the write's (an errno from the file system). Blocks on the file system.
Result<void> writeCleanupReport(const CleanupReport& report, const platform::MacPath& destination);

} // namespace veldo::leftovers
