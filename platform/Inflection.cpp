// English stand-in for automatic grammatical agreement.
#include "platform/Inflection.h"

#include <cctype>

namespace veldo::platform {

namespace {

constexpr std::string_view kOpen = "^[";
constexpr std::string_view kClose = "](inflect: true)";

bool isVowel(char c)
{
    switch (std::tolower(static_cast<unsigned char>(c))) {
    case 'a':
    case 'e':
    case 'i':
    case 'o':
    case 'u':
        return true;
    default:
        return false;
    }
}

std::string plural(std::string_view word)
{
    std::string w(word);
    const auto endsWith = [&](std::string_view tail) { return word.ends_with(tail); };
    if (endsWith("s") || endsWith("x") || endsWith("z") || endsWith("ch") || endsWith("sh"))
        return w + "es";
    if (w.size() >= 2 && w.back() == 'y' && !isVowel(w[w.size() - 2]) &&
        std::isalpha(static_cast<unsigned char>(w[w.size() - 2])))
        return w.substr(0, w.size() - 1) + "ies";
    return w + "s";
}

// "count phrase" with the phrase's last word agreeing.
std::string agree(std::string_view inner)
{
    const std::size_t space = inner.find(' ');
    if (space == std::string_view::npos)
        return std::string(inner);
    const std::string_view number = inner.substr(0, space);
    const std::string_view phrase = inner.substr(space + 1);
    if (number != "1" && !phrase.empty()) {
        const std::size_t lastSpace = phrase.rfind(' ');
        const std::size_t start = lastSpace == std::string_view::npos ? 0 : lastSpace + 1;
        return std::string(number) + " " + std::string(phrase.substr(0, start)) +
               plural(phrase.substr(start));
    }
    return std::string(inner);
}

} // namespace

std::string inflect(std::string_view markup)
{
    std::string out;
    std::size_t at = 0;
    while (true) {
        const std::size_t open = markup.find(kOpen, at);
        const std::size_t close =
            open == std::string_view::npos ? open : markup.find(kClose, open + kOpen.size());
        if (close == std::string_view::npos) {
            out += markup.substr(at);
            return out;
        }
        out += markup.substr(at, open - at);
        out += agree(markup.substr(open + kOpen.size(), close - open - kOpen.size()));
        at = close + kClose.size();
    }
}

std::string pluralizedCount(std::int64_t count, std::string_view noun)
{
    return inflect(std::string(kOpen) + std::to_string(count) + " " + std::string(noun) +
                   std::string(kClose));
}

} // namespace veldo::platform
