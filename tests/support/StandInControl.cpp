// The script text and control-folder files of the stand-in tools.
#include "tests/support/StandInControl.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace veldo::testsupport {

using platform::MacPath;

std::string standInScript(std::string_view name)
{
    const std::string path = VELDO_STAND_INS_DIR "/" + std::string(name);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_TRUE(in.good() || in.eof()) << "cannot read " << path;
    return text.str();
}

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
