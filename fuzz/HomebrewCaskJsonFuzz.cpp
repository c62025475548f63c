// Fuzzes the readers of Homebrew's JSON: the installed-casks listing and a Caskroom
// "config.json". Every record read names a cask, and lists only ".app" names, without repeats.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "app/leftovers/HomebrewCaskRecords.h"
#include "app/leftovers/HomebrewText.h"
#include "fuzz/FuzzCheck.h"

using namespace veldo::leftovers;

namespace {

void checkRecord(const CaskInfo& cask)
{
    FUZZ_CHECK(!cask.token.empty());
    const std::set<std::string> names(cask.appNames.begin(), cask.appNames.end());
    FUZZ_CHECK(names.size() == cask.appNames.size());
    const std::set<std::string> targets(cask.appTargets.begin(), cask.appTargets.end());
    FUZZ_CHECK(targets.size() == cask.appTargets.size());
    for (const auto& name : cask.appNames) {
        FUZZ_CHECK(HomebrewCasks::detail::endsWithAppExtension(name));
        FUZZ_CHECK(name.find('/') == std::string::npos);
    }
    if (cask.appdir)
        FUZZ_CHECK(!cask.appdir->empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const CaskInfo& cask : HomebrewCasks::parseInstalledCasks(text))
        checkRecord(cask);
    if (const auto appdir = HomebrewCasks::configuredAppdir(text))
        FUZZ_CHECK(!appdir->empty());
    if (const auto json = HomebrewCasks::parseJson(text)) {
        if (const auto cask = HomebrewCasks::caskInfoFromJson(*json, "fallback", "1.0"))
            checkRecord(*cask);
    }
    return 0;
}
