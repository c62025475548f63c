// Text rules of the leftover matchers, through ICU's character properties.
#include "app/leftovers/NameText.h"

#include <unicode/uchar.h>

#include "platform/Unicode.h"

namespace veldo::leftovers {

std::size_t characterCount(std::string_view utf8)
{
    if (auto count = platform::characterCount(utf8))
        return *count;
    // Without a break iterator, count code points that start a character.
    std::size_t count = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        if (!extendsCharacter(platform::decodeNext(utf8, i)) || count == 0)
            ++count;
    }
    return count;
}

std::size_t dotSeparatedPartCount(std::string_view text)
{
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t dot = text.find('.', i);
        if (dot == std::string_view::npos)
            dot = text.size();
        if (dot > i)
            ++count;
        i = dot + 1;
    }
    return count;
}

bool isLetterOrNumber(char32_t c)
{
    const auto cp = static_cast<UChar32>(c);
    return u_isUAlphabetic(cp) != 0 || u_getIntPropertyValue(cp, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isNumber(char32_t c)
{
    return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isUppercaseLetterOrNumber(char32_t c)
{
    const auto cp = static_cast<UChar32>(c);
    return (u_isUUppercase(cp) != 0 && u_isUAlphabetic(cp) != 0) ||
           u_getIntPropertyValue(cp, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool extendsCharacter(char32_t c)
{
    const auto cp = static_cast<UChar32>(c);
    return u_hasBinaryProperty(cp, UCHAR_GRAPHEME_EXTEND) != 0 || c == 0x200D ||
           u_getIntPropertyValue(cp, UCHAR_GRAPHEME_CLUSTER_BREAK) == U_GCB_SPACING_MARK;
}

} // namespace veldo::leftovers
