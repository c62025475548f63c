// "/Applications/Foo.app"_mac: a Mac path written as a literal in a test.
//
// MacPath has no implicit conversion from text, so that a host path cannot pass for a Mac path;
// tests write many literal Mac paths and say which they are with this suffix.
#pragma once

#include <cstddef>

#include "platform/MacPath.h"

namespace veldo::testsupport::literals {

inline platform::MacPath operator""_mac(const char* text, std::size_t size)
{
    return platform::MacPath(std::string_view(text, size));
}

} // namespace veldo::testsupport::literals
