// Whether the Mac the helper serves has its system folders protected: every folder from the host
// "/" down to the Mac root, and the Mac's "/", "/private", "/private/var", "/private/var/db",
// "/private/var/run" and "/private/var/log", owned by root and writable by no one else (the tool
// runner's rule), none of them a symbolic link. A missing one passes: whoever makes it makes it
// root's, 0755. Reads only; safe on any thread.
#pragma once

namespace veldo::helper {

bool macSystemFoldersProtected();

} // namespace veldo::helper
