// Reading the stand-in scripts and pointing them at the fake Mac.
#include "tests/support/StandInScript.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

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

MacRootVariable::MacRootVariable(const std::string& root)
{
    // NOLINTBEGIN(concurrency-mt-unsafe): set up before any test thread starts
    if (const char* previous = std::getenv("VELDO_MAC_ROOT"))
        m_previous = previous;
    ::setenv("VELDO_MAC_ROOT", root.c_str(), 1);
    // NOLINTEND(concurrency-mt-unsafe)
}

MacRootVariable::~MacRootVariable()
{
    // NOLINTBEGIN(concurrency-mt-unsafe)
    if (m_previous)
        ::setenv("VELDO_MAC_ROOT", m_previous->c_str(), 1);
    else
        ::unsetenv("VELDO_MAC_ROOT");
    // NOLINTEND(concurrency-mt-unsafe)
}

} // namespace veldo::testsupport
