// The control folder of a stand-in tool script: where a test records a command's answer and
// reads the calls the script logged.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MacPath.h"
#include "tests/support/FakeMac.h"

namespace veldo::testsupport {

// Writes <command>.stdout and <command>.stderr, and <command>.exit when `exitCode` is set, into
// the control folder.
void writeRecordedAnswer(const FakeMac& mac, const platform::MacPath& controlFolder,
                         std::string_view command, std::string_view stdout, std::string_view stderr,
                         std::optional<int> exitCode);

// The lines of the log file `name` in the control folder; none when it does not exist.
std::vector<std::string> controlLogLines(const FakeMac& mac, const platform::MacPath& controlFolder,
                                         std::string_view name);

} // namespace veldo::testsupport
