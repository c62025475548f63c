// Line splitting, trimming and letter case for the Homebrew readers.
#include "app/leftovers/HomebrewText.h"

namespace veldo::leftovers::HomebrewCasks::detail {

namespace {

// The length of the space separator or tab that starts `text`; 0 when it starts otherwise.
std::size_t leadingSpaceLength(std::string_view text)
{
    if (text.empty())
        return 0;
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 == ' ' || b0 == '\t')
        return 1;
    if (text.size() >= 2 && b0 == 0xC2 && static_cast<unsigned char>(text[1]) == 0xA0)
        return 2; // U+00A0
    if (text.size() < 3)
        return 0;
    const auto b1 = static_cast<unsigned char>(text[1]);
    const auto b2 = static_cast<unsigned char>(text[2]);
    if (b0 == 0xE1 && b1 == 0x9A && b2 == 0x80)
        return 3; // U+1680
    if (b0 == 0xE2 && b1 == 0x80 && ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xAF))
        return 3; // U+2000–U+200A, U+202F
    if (b0 == 0xE2 && b1 == 0x81 && b2 == 0x9F)
        return 3; // U+205F
    if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80)
        return 3; // U+3000
    return 0;
}

// The length of the space separator or tab that ends `text`; 0 when it ends otherwise.
std::size_t trailingSpaceLength(std::string_view text)
{
    for (std::size_t length : {1, 2, 3}) {
        if (text.size() >= length &&
            leadingSpaceLength(text.substr(text.size() - length)) == length)
            return length;
    }
    return 0;
}

} // namespace

std::string_view trimmedSpaces(std::string_view text)
{
    while (const std::size_t n = leadingSpaceLength(text))
        text.remove_prefix(n);
    while (const std::size_t n = trailingSpaceLength(text))
        text.remove_suffix(n);
    return text;
}

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
