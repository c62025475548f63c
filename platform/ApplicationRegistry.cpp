// The Linux application registry: a bounded search of the Mac root's application folders.
#include "platform/ApplicationRegistry.h"

#include <algorithm>
#include <string>

#include "platform/Home.h"
#include "platform/MacFileSystem.h"
#include "platform/Package.h"
#include "platform/PropertyList.h"
#include "platform/Unicode.h"

namespace veldo::platform {

namespace {

constexpr std::size_t kMaxInfoPlistBytes = 4u * 1024u * 1024u;

std::vector<std::string> visibleNames(const MacPath& folder)
{
    auto names = listDirectory(folder);
    if (!names)
        return {};
    std::vector<std::string> visible;
    for (auto& name : *names) {
        if (!name.empty() && name.front() != '.')
            visible.push_back(std::move(name));
    }
    std::sort(visible.begin(), visible.end());
    return visible;
}

bool isAppBundleName(const MacPath& path)
{
    return path.pathExtension() == "app";
}

class FolderApplicationRegistry final : public ApplicationRegistry
{
public:
    std::vector<MacPath> applicationURLs(std::string_view bundleIdentifier) const override
    {
        return searchApplications(bundleIdentifier, std::chrono::steady_clock::time_point::max(),
                                  {});
    }

    std::vector<MacPath> searchApplications(std::string_view bundleIdentifier,
                                            std::chrono::steady_clock::time_point deadline,
                                            std::stop_token stop) const override
    {
        std::vector<MacPath> found;
        if (bundleIdentifier.empty())
            return found;
        const std::string wanted = foldForComparison(bundleIdentifier);
        auto expired = [&] {
            return stop.stop_requested() || std::chrono::steady_clock::now() >= deadline;
        };
        auto consider = [&](const MacPath& bundle) {
            if (expired())
                return;
            auto info = readPropertyListFile(bundle.appendingPathComponent("Contents/Info.plist"),
                                             kMaxInfoPlistBytes);
            if (!info)
                return;
            const auto identifier = info->stringFor("CFBundleIdentifier");
            if (identifier && foldForComparison(*identifier) == wanted)
                found.push_back(bundle);
        };
        for (const auto& folder : searchFolders()) {
            if (expired())
                break;
            for (const auto& name : visibleNames(folder)) {
                const MacPath entry = folder.appendingPathComponent(name);
                if (isAppBundleName(entry)) {
                    consider(entry);
                } else if (platform::isPlainFolder(entry)) {
                    for (const auto& inner : visibleNames(entry)) {
                        const MacPath candidate = entry.appendingPathComponent(inner);
                        if (isAppBundleName(candidate))
                            consider(candidate);
                    }
                }
            }
        }
        return found;
    }

private:
    static std::vector<MacPath> searchFolders()
    {
        std::vector<MacPath> folders{MacPath("/Applications"),
                                     homeDirectory().appendingPathComponent("Applications"),
                                     MacPath("/System/Applications")};
        for (const auto& volume : visibleNames(MacPath("/Volumes")))
            folders.push_back(MacPath("/Volumes")
                                  .appendingPathComponent(volume)
                                  .appendingPathComponent("Applications"));
        return folders;
    }
};

} // namespace

const ApplicationRegistry& systemApplicationRegistry()
{
    static const FolderApplicationRegistry registry;
    return registry;
}

} // namespace veldo::platform
