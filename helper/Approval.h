// `veldo-helper --approve`: the administrator's approval of the helper, as root. Writes a fresh
// registration record for the bundle that holds this executable, approved, root's and 0644, by
// an atomic rename into the registration folder (reached without following a link; made root's,
// 0755, when missing). Whatever was at the record's name (a file, a hard link, a symbolic link)
// is replaced as an entry, never written through, changed or chowned.
#pragma once

namespace veldo::helper {

// The exit status: 0 when approved, 77 when not run as root, 1 when the record couldn't be
// written (each with a line on standard error).
int approveHelper();

} // namespace veldo::helper
