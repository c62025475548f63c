// The control-folder files of the stand-in tools.
#include "tests/support/StandInControl.h"

#include <fstream>

namespace veldo::testsupport {

using platform::MacPath;

void writeRecordedAnswer(const FakeMac& mac, const MacPath& controlFolder, std::string_view command,
                         std::string_view stdout, std::string_view stderr,
                         std::optional<int> exitCode)
{
    const std::string name(command);
    mac.write(controlFolder.appendingPathComponent(name + ".stdout"), stdout);
    mac.write(controlFolder.appendingPathComponent(name + ".stderr"), stderr);
    if (exitCode)
        mac.write(controlFolder.appendingPathComponent(name + ".exit"), std::to_string(*exitCode));
}

std::vector<std::string> controlLogLines(const FakeMac& mac, const MacPath& controlFolder,
                                         std::string_view name)
{
    std::ifstream in(mac.host(controlFolder.appendingPathComponent(name)));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace veldo::testsupport
