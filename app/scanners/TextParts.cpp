// Splitting text at a separator, and joining parts.
#include "app/scanners/TextParts.h"

#include <algorithm>
#include <span>

namespace veldo::scanners {

std::vector<std::string_view> partsKeepingEmpty(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const auto end = text.find(separator, start);
        if (end == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::vector<std::string_view> nonEmptyParts(std::string_view text, char separator)
{
    auto parts = partsKeepingEmpty(text, separator);
    std::erase_if(parts, [](std::string_view part) { return part.empty(); });
    return parts;
}

std::string joinedLeading(const std::vector<std::string_view>& parts, std::size_t count,
                          std::string_view separator)
{
    return joined(std::span(parts).first(std::min(count, parts.size())), separator);
}

} // namespace veldo::scanners
