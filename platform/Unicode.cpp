// Unicode folding and normal forms through ICU.
#include "platform/Unicode.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace veldo::platform {

namespace {

icu::UnicodeString toUnicode(std::string_view utf8)
{
    // fromUTF8 replaces ill-formed sequences with U+FFFD.
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

std::string toUtf8(const icu::UnicodeString& s)
{
    std::string out;
    s.toUTF8String(out);
    return out;
}

icu::UnicodeString normalize(const icu::UnicodeString& s, bool compose)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = compose ? icu::Normalizer2::getNFCInstance(status)
                                        : icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status) || !n)
        return s;
    icu::UnicodeString out = n->normalize(s, status);
    return U_FAILURE(status) ? s : out;
}

} // namespace

std::string foldForComparison(std::string_view utf8)
{
    // Plain ASCII is its own decomposition and folds to its lower case: skip the tables.
    std::string ascii(utf8);
    bool isAscii = true;
    for (char& ch : ascii) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x80) {
            isAscii = false;
            break;
        }
        if (byte >= 'A' && byte <= 'Z')
            ch = static_cast<char>(byte + ('a' - 'A'));
    }
    if (isAscii)
        return ascii;
    icu::UnicodeString s = normalize(toUnicode(utf8), false);
    s.foldCase(U_FOLD_CASE_DEFAULT);
    return toUtf8(normalize(s, false));
}

std::string decomposed(std::string_view utf8)
{
    return toUtf8(normalize(toUnicode(utf8), false));
}

std::string precomposed(std::string_view utf8)
{
    return toUtf8(normalize(toUnicode(utf8), true));
}

std::string lowercased(std::string_view utf8)
{
    icu::UnicodeString s = toUnicode(utf8);
    s.toLower(icu::Locale::getRoot());
    return toUtf8(s);
}

std::string uppercased(std::string_view utf8)
{
    icu::UnicodeString s = toUnicode(utf8);
    s.toUpper(icu::Locale::getRoot());
    return toUtf8(s);
}

std::string repairedUtf8(std::string_view bytes)
{
    return toUtf8(toUnicode(bytes));
}

} // namespace veldo::platform
