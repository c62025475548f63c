// Whether the system's own developer tools are real programs rather than Apple's placeholders.
#pragma once

namespace veldo::platform {

// On a Mac, /usr/bin holds placeholder tools (git, python3, clang, …) that only offer to
// install the Command Line Tools until that package is there. Inside a Mac root (a fake Mac)
// that rule holds and this answers false: callers apply the Mac's own test. On Linux with an
// empty root, /usr/bin holds the real tools and this answers true.
bool developerToolsAlwaysInstalled();

} // namespace veldo::platform
