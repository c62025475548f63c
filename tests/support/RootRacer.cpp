// The folder-for-link swapping thread used to race calls by Mac path.
#include "tests/support/RootRacer.h"

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace veldo::testsupport {

namespace fs = std::filesystem;

RootRacer::RootRacer(const FakeMac& mac, const platform::MacPath& folder)
    : m_folder(mac.host(folder)), m_link(m_folder + ".racer-link"), m_canary(mac.root() + "-canary")
{
    std::error_code ec;
    fs::remove_all(m_canary, ec);
    fs::create_directories(m_canary, ec);
    EXPECT_FALSE(ec) << "canary " << m_canary << ": " << ec.message();
    EXPECT_TRUE(fs::is_directory(m_folder)) << m_folder;
    EXPECT_EQ(::symlink(m_canary.c_str(), m_link.c_str()), 0) << m_link;
}

RootRacer::~RootRacer()
{
    stop();
    std::error_code ec;
    fs::remove(m_link, ec);
    fs::remove_all(m_canary, ec);
}

void RootRacer::writeCanary(const std::string& relative, std::string_view bytes) const
{
    const fs::path path = fs::path(m_canary) / relative;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    EXPECT_TRUE(out.good()) << path;
}

void RootRacer::start()
{
    m_known = canaryEntries();
    m_stop = false;
    m_thread = std::thread([this] {
        while (!m_stop.load(std::memory_order_relaxed)) {
            if (::renameat2(AT_FDCWD, m_folder.c_str(), AT_FDCWD, m_link.c_str(),
                            RENAME_EXCHANGE) == 0)
                m_swaps.fetch_add(1, std::memory_order_relaxed);
        }
    });
}

void RootRacer::stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    m_thread.join();
    if (m_swaps.load() % 2 != 0 &&
        ::renameat2(AT_FDCWD, m_folder.c_str(), AT_FDCWD, m_link.c_str(), RENAME_EXCHANGE) == 0)
        m_swaps.fetch_add(1);
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(m_folder))) << m_folder;
}

std::size_t RootRacer::takeNewCanaryEntries()
{
    std::size_t found = 0;
    for (const std::string& entry : canaryEntries()) {
        if (m_known.count(entry))
            continue;
        ++found;
        std::error_code ec;
        fs::remove_all(entry, ec);
    }
    return found;
}

std::set<std::string> RootRacer::canaryEntries() const
{
    std::set<std::string> entries;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(m_canary, ec), end; !ec && it != end; it.increment(ec))
        entries.insert(it->path().string());
    return entries;
}

} // namespace veldo::testsupport
