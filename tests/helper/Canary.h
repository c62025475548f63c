// Canary: a root-owned tree outside the fake Mac that racing tests point links at; nothing the
// helper does may change it.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace veldo::helper::testsupport {

// A root-owned tree outside the fake Mac: folders 0751 (one setgid), files 0640 (one with an ACL
// entry). Neither a hand-over nor a restore would give these owners and modes.
class Canary
{
public:
    Canary()
    {
        char folder[] = "/tmp/veldo-canary-XXXXXX";
        EXPECT_NE(::mkdtemp(folder), nullptr);
        m_root = folder;
        std::filesystem::create_directories(m_root + "/sub/deeper");
        for (const char* dir : {"", "/sub", "/sub/deeper"})
            ::chmod((m_root + dir).c_str(), 0751);
        ::chmod((m_root + "/sub").c_str(), 02751);
        for (const char* file : {"/keep.txt", "/sub/acl.txt"}) {
            const int fd = ::open((m_root + file).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0640);
            (void)::write(fd, "canary", 6);
            ::close(fd);
            ::chmod((m_root + file).c_str(), 0640);
        }
        acl_t acl = acl_from_text("u::rw-,u:4242:r--,g::r--,m::r--,o::---");
        EXPECT_EQ(acl_set_file((m_root + "/sub/acl.txt").c_str(), ACL_TYPE_ACCESS, acl), 0);
        acl_free(acl);
        m_before = snapshot();
    }
    ~Canary() { std::filesystem::remove_all(m_root); }
    Canary(const Canary&) = delete;
    Canary& operator=(const Canary&) = delete;

    const std::string& root() const { return m_root; }
    bool unchanged() const { return snapshot() == m_before; }
    // A relative link target that climbs out of the Mac root to the canary: more ".." than any
    // link here is deep (".." at the host's root stays there).
    std::string relativeTarget() const
    {
        std::string up;
        for (int i = 0; i < 40; ++i)
            up += "../";
        return up + m_root.substr(1);
    }

private:
    std::string snapshot() const
    {
        std::ostringstream out;
        auto one = [&](const std::string& path) {
            struct stat st
            {
            };
            ::lstat(path.c_str(), &st);
            out << path << ' ' << st.st_ino << ' ' << st.st_uid << ' ' << st.st_gid << ' '
                << st.st_mode << ' ';
            if (acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS)) {
                char* text = acl_to_text(acl, nullptr);
                out << (text ? text : "");
                acl_free(text);
                acl_free(acl);
            }
            if (S_ISREG(st.st_mode)) {
                std::ifstream file(path, std::ios::binary);
                out << file.rdbuf();
            }
            out << '\n';
        };
        one(m_root);
        std::vector<std::string> paths;
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_root))
            paths.push_back(e.path().string());
        std::sort(paths.begin(), paths.end());
        for (const auto& p : paths)
            one(p);
        return out.str();
    }

    std::string m_root;
    std::string m_before;
};

} // namespace veldo::helper::testsupport
