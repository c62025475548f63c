// Display form of paths.
#include "app/core/PathDisplay.h"

#include <optional>

#include "platform/Unicode.h"

namespace veldo::core {

namespace {

std::optional<std::string> abbreviatedExactly(std::string_view path, std::string_view home)
{
    if (path.size() < home.size() || path.substr(0, home.size()) != home)
        return std::nullopt;
    if (path.size() > home.size() && path[home.size()] != '/')
        return std::nullopt;
    std::string shown(1, '~');
    shown.append(path.substr(home.size()));
    return shown;
}

} // namespace

std::string abbreviatedPath(std::string_view path, std::string_view home)
{
    if (home.size() >= 2 && home.back() == '/')
        home.remove_suffix(1);
    if (home.empty())
        return std::string(path);
    if (auto shown = abbreviatedExactly(path, home))
        return *std::move(shown);
    // The same text in another normal form is the same path on a Mac.
    const std::string composedPath = platform::precomposed(path);
    const std::string composedHome = platform::precomposed(home);
    if (auto shown = abbreviatedExactly(composedPath, composedHome))
        return *std::move(shown);
    return std::string(path);
}

} // namespace veldo::core
