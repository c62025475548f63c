// Line splitting and letter case for the Homebrew readers.
#include "app/leftovers/HomebrewText.h"

namespace veldo::leftovers::HomebrewCasks::detail {

std::vector<std::string_view> nonEmptyLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = text.substr(0, end);
        if (!line.empty())
            lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string asciiLowercased(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

bool endsWithAppExtension(std::string_view name)
{
    return name.size() >= 4 && asciiLowercased(name.substr(name.size() - 4)) == ".app";
}

} // namespace veldo::leftovers::HomebrewCasks::detail
