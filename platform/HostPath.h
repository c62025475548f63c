// HostPath: a path on the machine Veldo runs on, outside the Mac root's mapping.
//
// Mac paths (MacPath) name what Veldo reasons about; a host path names a file of the host itself,
// such as the user's login shell or a program found in the host's PATH. The two never convert
// into each other without a word: MacRoot maps one to the other.
#pragma once

#include <string>

namespace veldo::platform {

class HostPath
{
public:
    HostPath() = default;
    explicit HostPath(std::string path) : m_path(std::move(path)) {}

    const std::string& string() const { return m_path; }
    const char* c_str() const { return m_path.c_str(); }
    bool empty() const { return m_path.empty(); }

    friend bool operator==(const HostPath&, const HostPath&) = default;

private:
    std::string m_path;
};

} // namespace veldo::platform
