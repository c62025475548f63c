// A temporary Mac root for the benchmarks: the usual macOS folders and links, made the process's
// Mac root while it lives, removed at the end, with helpers that write files, folders and
// property lists by Mac path.
#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include <stdlib.h>

#include "platform/Home.h"
#include "platform/MacPath.h"
#include "platform/MacRoot.h"
#include "platform/PropertyList.h"

namespace veldo::bench {

class BenchMac
{
public:
    // `name` goes into the temporary folder's name; `folders` are made besides the usual ones.
    BenchMac(const std::string& name, std::initializer_list<const char*> folders)
    {
        namespace fs = std::filesystem;
        std::string tmpl = (fs::temp_directory_path() / ("veldo-" + name + "-XXXXXX")).string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        m_root = tmpl;
        for (const char* dir :
             {"/private/var/folders/zz/bench/C", "/private/var/folders/zz/bench/T", "/private/tmp",
              "/private/etc", "/Applications", "/Volumes"})
            fs::create_directories(m_root + dir);
        for (const char* dir : folders)
            fs::create_directories(m_root + dir);
        fs::create_symlink("private/var", m_root + "/var");
        fs::create_symlink("private/tmp", m_root + "/tmp");
        fs::create_symlink("private/etc", m_root + "/etc");
        platform::testing::setMacRoot(m_root);
        m_home = platform::homeDirectory();
    }
    ~BenchMac()
    {
        platform::testing::setMacRoot("");
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    BenchMac(const BenchMac&) = delete;
    BenchMac& operator=(const BenchMac&) = delete;

    const platform::MacPath& home() const { return m_home; }
    platform::MacPath library() const { return m_home.appendingPathComponent("Library"); }
    std::string host(const platform::MacPath& path) const { return m_root + path.path(); }

    void file(const platform::MacPath& path, const std::string& contents) const
    {
        std::filesystem::create_directories(std::filesystem::path(host(path)).parent_path());
        std::ofstream(host(path), std::ios::binary) << contents;
    }
    void folder(const platform::MacPath& path) const
    {
        std::filesystem::create_directories(host(path));
    }
    void plist(const platform::MacPath& path, const platform::PlistValue& value) const
    {
        auto bytes = platform::serializePropertyList(value, platform::PlistFormat::xml);
        file(path, bytes ? *bytes : std::string());
    }

private:
    std::string m_root;
    platform::MacPath m_home;
};

} // namespace veldo::bench
