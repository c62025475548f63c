// A login shell that takes a minute to start.
#include "tests/support/SlowLoginShell.h"

namespace veldo::testsupport {

namespace {

constexpr const char* kStartUp = "i=0\n"
                                 "while [ \"$i\" -lt 600 ]; do sleep 0.1; i=$((i + 1)); done\n";

} // namespace

SlowLoginShell::SlowLoginShell(const FakeMac& mac)
    : m_shell("SHELL", "/bin/sh"),
      m_startUp("ENV",
                mac.host(mac.write(platform::MacPath("/private/tmp/slow-start-up"), kStartUp)))
{
}

} // namespace veldo::testsupport
