// What the stand-in tool scripts share: their text, and the variable that leads them to the
// fake Mac.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veldo::testsupport {

// The text of tests/support/stand-ins/<name>; fails the test when it can't be read.
std::string standInScript(std::string_view name);

// Sets VELDO_MAC_ROOT to a fake Mac's host folder for the whole process while it lives, and
// restores the previous value when it goes. Not thread-safe: tests make it before threads start.
class MacRootVariable
{
public:
    explicit MacRootVariable(const std::string& root);
    ~MacRootVariable();
    MacRootVariable(const MacRootVariable&) = delete;
    MacRootVariable& operator=(const MacRootVariable&) = delete;

private:
    std::optional<std::string> m_previous;
};

} // namespace veldo::testsupport
