// Running `du -s -B1` over several folders, for the timing programs that compare with it.
#pragma once

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/CommandRunner.h"
#include "platform/HostPath.h"

namespace veldo::bench {

// The bytes `du -s -B1` counts for the host folders `paths` together; -1 on failure.
inline long long runDu(const std::vector<std::string>& paths)
{
    std::vector<std::string> arguments{"-s", "-B1"};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    const auto output = core::CommandRunner::runHostProgram(
        platform::HostPath("/usr/bin/du"), arguments, core::CommandRunner::processEnvironment(),
        std::chrono::seconds(600));
    if (!output || output->code != 0 || output->timedOut)
        return -1;
    long long total = 0;
    std::istringstream lines(output->stdout);
    for (std::string line; std::getline(lines, line);)
        total += std::atoll(line.c_str());
    return total;
}

} // namespace veldo::bench
