// Syntax and order of build numbers.
#include "base/BuildNumber.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace veldo::base {

namespace {

constexpr std::size_t kMaxBuildNumberBytes = 32;

// The "."-separated pieces, empty ones kept ("" gives one empty piece, "1." gives "1" and "").
std::vector<std::string_view> splitPieces(std::string_view text)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (true) {
        std::size_t dot = text.find('.', start);
        if (dot == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, dot - start));
        start = dot + 1;
    }
}

// The piece without its leading "0"s; "0" when nothing is left.
std::string_view trimLeadingZeros(std::string_view piece)
{
    std::size_t first = piece.find_first_not_of('0');
    if (first == std::string_view::npos)
        return "0";
    return piece.substr(first);
}

} // namespace

bool isValidBuildNumber(std::string_view text)
{
    if (text.empty() || text.size() > kMaxBuildNumberBytes)
        return false;
    for (std::string_view piece : splitPieces(text)) {
        if (piece.empty())
            return false;
        // Byte by byte: any byte of a non-ASCII character, or of a CR LF pair, is not a digit.
        if (!std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
    }
    return true;
}

int compareBuilds(std::string_view a, std::string_view b)
{
    std::vector<std::string_view> left = splitPieces(a);
    std::vector<std::string_view> right = splitPieces(b);
    std::size_t count = std::max(left.size(), right.size());
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view l = i < left.size() ? trimLeadingZeros(left[i]) : "0";
        std::string_view r = i < right.size() ? trimLeadingZeros(right[i]) : "0";
        if (l == r)
            continue;
        // Without leading zeros, the shorter run of digits is the smaller number.
        if (l.size() != r.size())
            return l.size() < r.size() ? -1 : 1;
        return l < r ? -1 : 1;
    }
    return 0;
}

} // namespace veldo::base
