// OsascriptProcess: how the administrator script's osascript child is started.
#pragma once

#include <string>
#include <vector>

#include "app/core/CommandRunner.h"
#include "platform/MacPath.h"

namespace veldo::removal::AdminRemover {

// How osascript is started; nothing is started by making it.
struct OsascriptProcess
{
    platform::MacPath executable;                 // "/usr/bin/osascript"
    std::vector<std::string> arguments;           // none: the program comes on standard input
    core::CommandRunner::Environment environment; // scriptEnvironment()
    platform::MacPath workingDirectory;           // "/"
    std::string standardInput;                    // the program, each line ended by "\n"
};

} // namespace veldo::removal::AdminRemover
