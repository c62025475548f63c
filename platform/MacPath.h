// MacPath: a path on the Mac that Veldo reasons about, with Foundation's path-string rules.
//
// Every path held in a record, judged by a policy, shown to the user or sent to the helper is a
// MacPath ("/Applications/Foo.app"). It is a plain string value: nothing here touches the disk.
// To reach the file behind it, go through MacRoot (hostPath) or MacFileSystem.
#pragma once

#include <compare>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace veldo::platform {

class MacPath
{
public:
    MacPath() = default;
    explicit MacPath(std::string path) : m_path(std::move(path)) {}
    explicit MacPath(const char* path) : m_path(path) {}
    explicit MacPath(std::string_view path) : m_path(path) {}

    const std::string& path() const { return m_path; }
    bool empty() const { return m_path.empty(); }
    bool isAbsolute() const { return !m_path.empty() && m_path.front() == '/'; }

    // "Foo.app" for "/Applications/Foo.app/", "/" for "/", "" for "".
    std::string lastPathComponent() const;
    // "app" for "Foo.app" or "Foo.app/"; "" for ".hidden", "Foo", "Foo." and "/".
    std::string pathExtension() const;
    // "/a/Foo" for "/a/Foo.app/"; unchanged when there is no extension.
    MacPath deletingPathExtension() const;
    // "/a" for "/a/b" and "/a/b/", "/" for "/a" and "/", "" for "a".
    MacPath deletingLastPathComponent() const;
    // "/a/b" for "/a" + "b", "/b" for "/" + "b"; leading slashes of the component are dropped.
    MacPath appendingPathComponent(std::string_view component) const;
    // "." removed, ".." taken lexically (never above "/"), "//" collapsed, trailing "/" dropped.
    MacPath standardized() const;
    // "/" first for an absolute path, then each non-empty component: ["/", "a", "b"].
    std::vector<std::string> pathComponents() const;
    // True when `other` is this path or lies beneath it (string components, no folding).
    bool isSameOrAncestorOf(const MacPath& other) const;

    friend bool operator==(const MacPath&, const MacPath&) = default;
    friend std::strong_ordering operator<=>(const MacPath& a, const MacPath& b)
    {
        return a.m_path.compare(b.m_path) <=> 0;
    }

private:
    std::string m_path;
};

// The non-empty pieces of `path` between slashes, as views into `path`: ["a", "b"] for "//a/b/".
std::vector<std::string_view> splitPathComponents(std::string_view path);

} // namespace veldo::platform

template <>
struct std::hash<veldo::platform::MacPath>
{
    size_t operator()(const veldo::platform::MacPath& p) const noexcept
    {
        return std::hash<std::string>{}(p.path());
    }
};
