// DetachedShell: starting a desktop helper program (an opener, a sound player) that nobody waits
// for.
//
// A shell runs `script` with `argument` as "$1"; the script starts the program in the background
// and exits at once. The shell is reaped before the call returns, so the program is nobody's
// child and no zombie is left. Standard input and output are the null device; no descriptor but
// the three standard ones is inherited. Thread-safe.
#pragma once

#include <string_view>

namespace veldo::platform {

// Runs "/bin/sh -c <script> <name> <argument>" and waits for the shell only. True when the shell
// exited with status 0.
bool runDetachedShell(std::string_view script, std::string_view name, std::string_view argument);

} // namespace veldo::platform
