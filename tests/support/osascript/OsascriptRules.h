// OsascriptRules: what the stand-in osascript of a fake Mac accepts, checks and prints, as pure
// functions (the program in OsascriptMain.cpp only does the reading, checking and running).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veldo::testsupport::osascript {

// The shell command line that runs a script read whole from standard input, its commands then
// reading the null device.
inline constexpr std::string_view kShellCommand = "v=$(cat); exec </dev/null; eval \"$v\"";

// The line of a cancelled password dialog.
inline constexpr std::string_view kCancelLine = "VELDO-ERROR -128 User canceled.";

// The line printed, and nothing run, when the fake Mac's system folders or tools are not safe.
inline constexpr std::string_view kUnprotectedLine =
    "VELDO-ERROR 1 The Mac's system folders aren't protected, so Veldo won't run an "
    "administrator command in them.";

struct ShellRequest
{
    std::string script;
    std::string prompt;
};

// The script and prompt of exactly the five-line "do shell script … with administrator
// privileges" wrapper (each line ended by "\n"), with the AppleScript escapes "\\" and "\""
// undone; none for any other program, or for any other backslash sequence in the literals.
std::optional<ShellRequest> parseProgram(std::string_view program);

// What the wrapper prints for a finished shell: on status 0 its output less one trailing line
// feed, then a line feed; otherwise one line "VELDO-ERROR <status> <standard error>" (line
// breaks in it made spaces; a fixed sentence when it is empty).
std::string shellResult(int status, std::string_view out, std::string_view err);

// The same for a shell run through pkexec: 126 (the dialog was dismissed) is the cancel line,
// 127 (not authorised, or pkexec failed) an error line with the number -60005; anything else is
// the shell's own status.
std::string pkexecResult(int status, std::string_view out, std::string_view err);

// pkexec's arguments (after its own name) for running the shell with a clean environment.
std::vector<std::string> pkexecArguments();

// What a control folder's "mode" file asks for.
struct Mode
{
    enum class Kind
    {
        normal,
        cancel,     // the cancel line, nothing run
        error,      // "error <number> <text>": that error line, nothing run
        exitStatus, // "exit <status>": that exit status, no output, nothing run
    };
    Kind kind = Kind::normal;
    std::string errorLine; // for error: the whole line to print
    int status = 0;        // for exitStatus
};
Mode parseMode(std::string_view text);

} // namespace veldo::testsupport::osascript
