// What the stand-in tool scripts share: their text, and the variable that leads them to the
// fake Mac.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veldo::testsupport {

// The text of tests/support/stand-ins/<name>; fails the test when it can't be read.
std::string standInScript(std::string_view name);

// Sets an environment variable for the whole process while it lives, and restores the previous
// value (or its absence) when it goes. Not thread-safe: tests make it before threads start.
class EnvironmentVariable
{
public:
    EnvironmentVariable(std::string name, const std::string& value);
    ~EnvironmentVariable();
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

// Sets VELDO_MAC_ROOT to a fake Mac's host folder while it lives (as EnvironmentVariable).
class MacRootVariable
{
public:
    explicit MacRootVariable(const std::string& root) : m_variable("VELDO_MAC_ROOT", root) {}

private:
    EnvironmentVariable m_variable;
};

} // namespace veldo::testsupport
