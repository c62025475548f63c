// FakeApplicationRegistry: an application registry that answers from a table set by the test,
// so that tests can name copies the real registry would never list.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/ApplicationRegistry.h"

namespace veldo::testsupport {

class FakeApplicationRegistry final : public platform::ApplicationRegistry
{
public:
    FakeApplicationRegistry() = default;
    FakeApplicationRegistry(std::string bundleIdentifier, std::vector<platform::MacPath> urls)
    {
        m_urls[std::move(bundleIdentifier)] = std::move(urls);
    }

    // Answers exactly the URLs set for `bundleIdentifier` (exact spelling), else nothing.
    std::vector<platform::MacPath> applicationURLs(std::string_view bundleIdentifier) const override
    {
        auto found = m_urls.find(std::string(bundleIdentifier));
        return found == m_urls.end() ? std::vector<platform::MacPath>{} : found->second;
    }

private:
    std::map<std::string, std::vector<platform::MacPath>> m_urls;
};

} // namespace veldo::testsupport
