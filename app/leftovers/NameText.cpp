// Text rules of the leftover matchers, through ICU's character properties.
#include "app/leftovers/NameText.h"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include "platform/Unicode.h"

namespace veldo::leftovers {

namespace {

bool isAscii(std::string_view s)
{
    for (unsigned char c : s) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

bool isWhitespaceOrNewline(char32_t c)
{
    return u_isUWhiteSpace(static_cast<UChar32>(c)) != 0;
}

bool isSpaceOrTab(char32_t c)
{
    return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

template <typename Predicate>
std::string_view trimmed(std::string_view s, Predicate drop)
{
    std::size_t begin = 0;
    while (begin < s.size()) {
        std::size_t next = begin;
        if (!drop(decodeNext(s, next)))
            break;
        begin = next;
    }
    std::size_t end = s.size();
    while (end > begin) {
        std::size_t previous = end;
        if (!drop(decodePrevious(s, previous)))
            break;
        end = previous;
    }
    return s.substr(begin, end - begin);
}

} // namespace

std::string lowerCased(std::string_view utf8)
{
    // Lower-casing never turns an ASCII letter into anything but ASCII, so plain ASCII text
    // needs no trip through ICU.
    if (isAscii(utf8)) {
        std::string out(utf8);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }
    return platform::lowercased(utf8);
}

std::string_view trimmedWhitespaceAndNewlines(std::string_view utf8)
{
    return trimmed(utf8, isWhitespaceOrNewline);
}

std::string_view trimmedSpacesAndTabs(std::string_view utf8)
{
    return trimmed(utf8, isSpaceOrTab);
}

std::size_t characterCount(std::string_view utf8)
{
    if (isAscii(utf8)) {
        // "\r\n" is one character; every other ASCII byte is one of its own.
        std::size_t count = utf8.size();
        for (std::size_t i = 0; i + 1 < utf8.size(); ++i) {
            if (utf8[i] == '\r' && utf8[i + 1] == '\n')
                --count;
        }
        return count;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !it) {
        utext_close(text);
        // Without a break iterator, count code points that start a character.
        std::size_t count = 0;
        for (std::size_t i = 0; i < utf8.size();) {
            if (!extendsCharacter(decodeNext(utf8, i)) || count == 0)
                ++count;
        }
        return count;
    }
    it->setText(text, status);
    std::size_t count = 0;
    if (U_SUCCESS(status)) {
        it->first();
        while (it->next() != icu::BreakIterator::DONE)
            ++count;
    }
    utext_close(text);
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

char32_t decodeNext(std::string_view s, std::size_t& i)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    const auto length = static_cast<int32_t>(s.size());
    auto offset = static_cast<int32_t>(i);
    UChar32 c = 0;
    U8_NEXT(bytes, offset, length, c);
    i = static_cast<std::size_t>(offset);
    return c < 0 ? U'\uFFFD' : static_cast<char32_t>(c);
}

char32_t decodePrevious(std::string_view s, std::size_t& i)
{
    if (i == 0)
        return U'\uFFFD';
    // Step back over at most three continuation bytes to the lead byte, then decode forwards;
    // a sequence that doesn't end exactly at `i` was not well formed, and its last byte stands
    // alone.
    std::size_t start = i - 1;
    while (start > 0 && i - start < 4 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
        --start;
    std::size_t end = start;
    const char32_t c = decodeNext(s, end);
    if (end == i) {
        i = start;
        return c;
    }
    --i;
    return U'\uFFFD';
}

} // namespace veldo::leftovers
