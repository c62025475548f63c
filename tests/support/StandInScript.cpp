// Reading the stand-in scripts and pointing them at the fake Mac.
#include "tests/support/StandInScript.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include <gtest/gtest.h>

namespace veldo::testsupport {

std::string standInScript(std::string_view name)
{
    const std::string path = std::string(VELDO_STAND_INS_DIR "/") + std::string(name);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_TRUE(in.good() || in.eof()) << "cannot read " << path;
    return text.str();
}

EnvironmentVariable::EnvironmentVariable(std::string name, const std::string& value)
    : m_name(std::move(name))
{
    // NOLINTBEGIN(concurrency-mt-unsafe): set up before any test thread starts
    if (const char* previous = std::getenv(m_name.c_str()))
        m_previous = previous;
    ::setenv(m_name.c_str(), value.c_str(), 1);
    // NOLINTEND(concurrency-mt-unsafe)
}

EnvironmentVariable::~EnvironmentVariable()
{
    // NOLINTBEGIN(concurrency-mt-unsafe)
    if (m_previous)
        ::setenv(m_name.c_str(), m_previous->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
    // NOLINTEND(concurrency-mt-unsafe)
}

} // namespace veldo::testsupport
