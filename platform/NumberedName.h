// The names a Trash gives to items of the same name: "Report.pdf", "Report 2.pdf", …
#pragma once

#include <string>
#include <string_view>

namespace veldo::platform {

// The name for the n-th item of one name in the Trash: the name itself for n below 2, else
// "Report 2.pdf" for "Report.pdf", and "Report 3" or ".hidden 2" where the name lacks a base or
// an extension. Pure.
std::string numberedName(std::string_view name, int n);

} // namespace veldo::platform
