// How a path is shown to the user: the home folder written as "~".
#pragma once

#include <string>
#include <string_view>

namespace veldo::core {

// `path` with a leading home folder replaced by "~": the home itself gives "~", a path inside it
// "~/" and the rest; any other path (a sibling whose name merely extends the home folder's name
// included) comes back unchanged. One trailing "/" of `home` is ignored; an empty home changes
// nothing. Paths that differ from the home only in Unicode normal form (composed or decomposed
// accents) count as inside it. Pure.
std::string abbreviatedPath(std::string_view path, std::string_view home);

} // namespace veldo::core
