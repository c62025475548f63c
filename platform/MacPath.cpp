// Foundation's path-string rules for MacPath.
#include "platform/MacPath.h"

#include "base/CompilerWarnings.h"

namespace veldo::platform {

namespace {

// The path without trailing slashes; "/" stays "/".
std::string_view trimmedTrailingSlashes(std::string_view p)
{
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    return p;
}

// No empty, "." or ".." component and no trailing slash ("/" aside): standardising changes
// nothing.
bool isStandard(std::string_view p)
{
    if (p == "/")
        return true;
    if (p.empty() || p.back() == '/')
        return false;
    size_t start = p.front() == '/' ? 1 : 0;
    while (start <= p.size()) {
        size_t end = p.find('/', start);
        if (end == std::string_view::npos)
            end = p.size();
        const std::string_view part = p.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace

std::string MacPath::lastPathComponent() const
{
    std::string_view p = trimmedTrailingSlashes(m_path);
    if (p == "/")
        return "/";
    size_t slash = p.rfind('/');
    return std::string(slash == std::string_view::npos ? p : p.substr(slash + 1));
}

std::string MacPath::pathExtension() const
{
    std::string last = lastPathComponent();
    size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size() || last == "/")
        return {};
    return last.substr(dot + 1);
}

MacPath MacPath::deletingPathExtension() const
{
    std::string ext = pathExtension();
    if (ext.empty())
        return *this;
    std::string_view p = trimmedTrailingSlashes(m_path);
    return MacPath(std::string(p.substr(0, p.size() - ext.size() - 1)));
}

MacPath MacPath::deletingLastPathComponent() const
{
    std::string_view p = trimmedTrailingSlashes(m_path);
    if (p == "/")
        return MacPath("/");
    size_t slash = p.rfind('/');
    if (slash == std::string_view::npos)
        return MacPath(std::string());
    std::string_view parent = p.substr(0, slash);
    while (parent.size() > 1 && parent.back() == '/')
        parent.remove_suffix(1);
    if (parent.empty())
        return MacPath("/");
    return MacPath(std::string(parent));
}

MacPath MacPath::appendingPathComponent(std::string_view component) const
{
    while (!component.empty() && component.front() == '/')
        component.remove_prefix(1);
    if (m_path.empty())
        return MacPath(std::string(component));
    std::string result = m_path;
    if (result.back() != '/')
        result.push_back('/');
    result.append(component);
    return MacPath(std::move(result));
}

MacPath MacPath::standardized() const
{
    if (m_path.empty() || isStandard(m_path))
        return *this;
    const bool absolute = isAbsolute();
    std::vector<std::string_view> out;
    for (std::string_view part : splitPathComponents(m_path)) {
        if (part == ".")
            continue;
        if (part == "..") {
            if (!out.empty() && out.back() != "..")
                out.pop_back();
            else if (!absolute)
                out.push_back(part);
            continue;
        }
        out.push_back(part);
    }
    std::string result = absolute ? "/" : "";
    for (size_t i = 0; i < out.size(); ++i) {
        if (i > 0)
            result.push_back('/');
        result.append(out[i]);
    }
    VELDO_GCC12_IGNORE_STRING_COPY
    if (result.empty())
        result = ".";
    VELDO_GCC12_IGNORE_END
    return MacPath(std::move(result));
}

std::vector<std::string> MacPath::pathComponents() const
{
    std::vector<std::string> result;
    if (isAbsolute())
        result.emplace_back("/");
    for (std::string_view part : splitPathComponents(m_path))
        result.emplace_back(part);
    return result;
}

bool MacPath::isSameOrAncestorOf(const MacPath& other) const
{
    std::string_view self = trimmedTrailingSlashes(m_path);
    std::string_view o = trimmedTrailingSlashes(other.m_path);
    if (self == o)
        return true;
    if (self == "/")
        return !o.empty() && o.front() == '/';
    return o.size() > self.size() && o.substr(0, self.size()) == self && o[self.size()] == '/';
}

std::vector<std::string_view> splitPathComponents(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && path[i] == '/')
            ++i;
        size_t j = i;
        while (j < path.size() && path[j] != '/')
            ++j;
        if (j > i)
            parts.push_back(path.substr(i, j - i));
        i = j;
    }
    return parts;
}

} // namespace veldo::platform
