// HelperFaultPoints: named places in the helper's operations where a test build can stop the
// process, hold it, or make the next guarded operation fail.
//
// Only the library veldo_helper_faults (built with VELDO_HELPER_FAULT_POINTS, for the tests) acts
// on them; in the daemon's library faultPoint(…) is the constant false and no point's name reaches
// the executable. The points are configured by
// the environment variable VELDO_HELPER_FAULT, read on first use, or by the test API below:
// "<point>:<action>[,<point>:<action>…]" where the action is
//   kill            raise SIGKILL;
//   killInWrite     raise SIGKILL in the next atomic file write, once its new file is written and
//                   before it is renamed into place (a seccomp filter traps the writers' rename:
//                   renameat, or renameat2 without flags or with RENAME_EXCHANGE; the moves'
//                   renameat2 with RENAME_NOREPLACE goes on; x86-64 and AArch64 only, elsewhere
//                   nothing happens), or in the next change appended to the move ledger, half
//                   of it written, whichever comes first;
//   pause:<folder>  write one byte to the FIFO "<folder>/reached", then wait for one byte on the
//                   FIFO "<folder>/go" (host paths; the test makes both FIFOs);
//   fail            faultPoint() answers true: the caller fails the guarded operation before it
//                   acts.
// Every listed point acts each time it is reached. Thread-safe.
#pragma once

#include <string_view>

namespace veldo::helper {

#ifdef VELDO_HELPER_FAULT_POINTS
// Acts on `point` as configured; true only when its action is "fail".
bool faultPoint(std::string_view point);

namespace testing {
// Replaces the configuration (the same syntax as VELDO_HELPER_FAULT; empty: none).
void setFaultPoints(std::string_view configuration);
} // namespace testing
#else
// NOLINTNEXTLINE(cppcoreguidelines-macro-usage): drops the point's name from the daemon
#define faultPoint(point) ([]() noexcept { return false; }())
#endif

} // namespace veldo::helper
