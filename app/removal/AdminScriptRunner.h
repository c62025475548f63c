// AdminScriptRunner: runs one shell script as root through the AppleScript runner
// "/usr/bin/osascript" ("do shell script … with administrator privileges", behind the system's
// password dialog) and reads back the marker lines each item's clause prints.
//
// The administrator move and restore build one clause per item, each opened with "( " and closed
// by resultClause(index); runAdministratorScript joins them, runs them and parses the markers;
// failureMessage gives the sentence of every item the caller could not confirm. Nothing else
// starts osascript.
//
// runAdministratorScript blocks for as long as the password dialog stays open plus the script's
// own time (there is no time-out): call it from a worker thread (the controller's pool for long
// child processes), never from the GUI thread. Runs may overlap; each has its own process. Nothing
// of the app's own environment reaches the script: the child gets exactly scriptEnvironment().
//
// Mac paths in shell text: the script runs on the host, so every absolute Mac path written into
// it names the Mac root's physical path first, single-quoted like every value (shellPath for the
// script's fixed tool and template paths, shellQuotedPath for the paths it was given); with an
// empty root the text is the Mac's own. A staging folder the script names in a HELD marker is
// mapped back to its Mac path before it reaches an outcome or a sentence.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/CommandRunner.h"
#include "app/removal/OsascriptProcess.h"
#include "app/removal/ScriptOutcome.h"
#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::removal::AdminRemover {

// The whole environment of the osascript child: PATH "/usr/bin:/bin:/usr/sbin:/sbin", LANG "C",
// LC_ALL "C". Built once, on first use (thread-safe).
const core::CommandRunner::Environment& scriptEnvironment();

// The launch set-up of osascript for the given program lines.
OsascriptProcess makeOsascriptProcess(const std::vector<std::string>& program);

// The script text: the commands joined with "; ", then "; exit 0".
std::string scriptText(const std::vector<std::string>& commands);

// Text escaped for an AppleScript string literal: every backslash doubled first, then every
// double quote preceded by a backslash.
std::string appleScriptEscaped(std::string_view text);

// The five lines of the AppleScript program that runs `script` with administrator privileges
// behind `prompt` and turns an error of "do shell script" into a "VELDO-ERROR <number> <text>"
// line. Pure.
std::vector<std::string> makeOsascriptProgram(std::string_view script, std::string_view prompt);

// The last piece of item n's clause: removes the staging folder "$S" (or prints the HELD marker
// and fails the subshell when it is not empty), closes the subshell and prints the OK or FAIL
// marker. With an empty Mac root:
// /bin/rmdir "$S" 2>/dev/null || echo "VELDO-HELD-3 $S"; exit 1 ) && echo VELDO-OK-3 || echo
// VELDO-FAIL-3
std::string resultClause(std::int64_t index);

// The text that names one of the script's fixed Mac paths (a tool, the staging template: paths
// that hold nothing the shell reads specially) in shell text: the Mac root's physical path
// (links in the root's own host path resolved) single-quoted, then the Mac path as it is; the
// path itself with an empty root. A root with spaces, quotes or shell syntax stays one word.
std::string shellPath(const platform::MacPath& path);

// Any Mac path as one single-quoted shell word: the Mac root's physical path + the Mac path,
// quoted whole (shellQuoted); with an empty root the path quoted.
std::string shellQuotedPath(const platform::MacPath& path);

// The Mac path of a path the script printed: the part after the Mac root's physical path; text
// that does not lie inside the root is returned unchanged.
std::string macPathFromShell(std::string_view printed);

// The outcome of a run from osascript's output and exit status: the bytes repaired to valid
// UTF-8 (each bad sequence U+FFFD), marker lines parsed, everything else ignored line by line.
// Only an error number of exactly -128 (followed by a space, a tab or nothing) is a cancel. Pure.
ScriptOutcome parseScriptOutput(std::string_view bytes, int terminationStatus);

// The outcome of a run whose osascript could not be started: the start's error as a sentence.
ScriptOutcome launchFailure(const Error& error);

// The sentence of item n that the caller did not confirm as done, by precedence: cancelled,
// held, failed, the run's error message, else "The item couldn't be moved.".
std::string failureMessage(std::int64_t item, const ScriptOutcome& outcome);

// Runs the commands as root behind `prompt` and returns the outcome; HELD folders are Mac paths.
// An empty list runs nothing and answers an empty outcome. A stop requested through `stop` (the
// app quitting) ends osascript as the command runner ends a child at its time-out; the outcome
// then confirms no item and carries "The administrator command didn't run.".
ScriptOutcome runAdministratorScript(const std::vector<std::string>& commands,
                                     std::string_view prompt, std::stop_token stop = {});

} // namespace veldo::removal::AdminRemover
