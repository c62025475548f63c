// Unicode folding and normal forms through ICU.
#include "platform/Unicode.h"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace veldo::platform {

namespace {

// ICU counts in 32-bit lengths: longer text is converted piece by piece.
constexpr std::size_t kConversionChunk = std::size_t{1} << 20;

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

// The end of the piece of `utf8` that starts the text and holds at most `limit` bytes, moved
// back to the start of a sequence so that no well-formed character is cut in two. Four
// continuation bytes in a row can't all belong to one character, so no more than three are
// stepped over.
std::size_t pieceEnd(std::string_view utf8, std::size_t limit)
{
    if (utf8.size() <= limit)
        return utf8.size();
    std::size_t end = limit;
    for (int step = 0; step < 3 && isContinuationByte(utf8[end]); ++step)
        --end;
    return isContinuationByte(utf8[end]) ? limit : end;
}

// A piece of at most kConversionChunk bytes as UTF-16; fromUTF8 replaces ill-formed sequences
// with U+FFFD. An ill-formed sequence never reaches past the start of the next well-formed one,
// so pieces cut by pieceEnd convert exactly as the whole would.
icu::UnicodeString pieceToUnicode(std::string_view piece)
{
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(piece.data(), static_cast<int32_t>(piece.size())));
}

icu::UnicodeString toUnicode(std::string_view utf8)
{
    icu::UnicodeString s;
    while (!utf8.empty()) {
        const std::size_t end = pieceEnd(utf8, kConversionChunk);
        s.append(pieceToUnicode(utf8.substr(0, end)));
        utf8.remove_prefix(end);
    }
    return s;
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

bool isAscii(std::string_view s)
{
    for (unsigned char c : s) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

bool isWhiteSpace(char32_t c)
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
    if (isAscii(bytes))
        return std::string(bytes);
    // Piece by piece, so that no more than one piece is held as UTF-16.
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t end = pieceEnd(bytes, kConversionChunk);
        pieceToUnicode(bytes.substr(0, end)).toUTF8String(out);
        bytes.remove_prefix(end);
    }
    return out;
}

std::string_view trimmedWhiteSpace(std::string_view utf8)
{
    return trimmed(utf8, isWhiteSpace);
}

std::string_view trimmedSpacesAndTabs(std::string_view utf8)
{
    return trimmed(utf8, isSpaceOrTab);
}

std::optional<std::size_t> characterCount(std::string_view utf8)
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
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    std::optional<std::size_t> count;
    if (U_SUCCESS(status) && characters) {
        characters->setText(text, status);
        if (U_SUCCESS(status)) {
            count = 0;
            characters->first();
            while (characters->next() != icu::BreakIterator::DONE)
                ++*count;
        }
    }
    utext_close(text);
    return count;
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

} // namespace veldo::platform
