// Path rules of the installer-receipt reader.
#include "app/leftovers/ReceiptPaths.h"

#include "app/leftovers/NameText.h"
#include "platform/Unicode.h"

namespace veldo::leftovers::ReceiptPaths {

namespace {

bool isAscii(std::string_view text)
{
    for (unsigned char c : text) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (asciiLower(text[i]) != lower[i])
            return false;
    }
    return true;
}

} // namespace

std::string_view parent(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string_view lastComponent(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string trimmed(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path.empty() ? std::string("/") : std::string(path);
}

bool liesBelow(std::string_view path, std::string_view folder)
{
    if (folder == "/")
        return path.size() > 1 && path.front() == '/';
    return path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
           path[folder.size()] == '/';
}

std::string joined(std::string_view folder, std::string_view relative)
{
    std::string result(folder);
    if (result != "/")
        result.push_back('/');
    result.append(relative);
    return result;
}

bool isAppBundleName(std::string_view name)
{
    // Plain ASCII names, nearly all of them, need no trip through the Unicode tables.
    constexpr std::string_view kSuffix = ".app";
    if (isAscii(name))
        return name.size() >= kSuffix.size() &&
               equalsIgnoringAsciiCase(name.substr(name.size() - kSuffix.size()), kSuffix);
    return platform::lowercased(name).ends_with(kSuffix);
}

bool isAppleName(std::string_view name)
{
    constexpr std::string_view kName = "apple";
    constexpr std::string_view kPrefix = "com.apple.";
    if (isAscii(name))
        return equalsIgnoringAsciiCase(name, kName) ||
               (name.size() >= kPrefix.size() &&
                equalsIgnoringAsciiCase(name.substr(0, kPrefix.size()), kPrefix));
    const std::string lower = platform::lowercased(name);
    return lower == kName || lower.starts_with(kPrefix);
}

} // namespace veldo::leftovers::ReceiptPaths
