// Fuzzes the reader of Homebrew's Ruby cask sources: the record keeps the token and version it
// was given, and lists only ".app" names, without repeats or interpolations.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "app/leftovers/HomebrewCaskRecords.h"
#include "app/leftovers/HomebrewText.h"
#include "fuzz/FuzzCheck.h"

using namespace veldo::leftovers;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CaskInfo cask = HomebrewCasks::caskInfoFromRubySource(text, "token", "2.0");
    FUZZ_CHECK(cask.token == "token" && cask.version == "2.0");
    const std::set<std::string> names(cask.appNames.begin(), cask.appNames.end());
    FUZZ_CHECK(names.size() == cask.appNames.size());
    for (const auto& name : cask.appNames) {
        FUZZ_CHECK(HomebrewCasks::detail::endsWithAppExtension(name));
        FUZZ_CHECK(name.find("#{") == std::string::npos);
    }
    for (const auto& literal : HomebrewCasks::quotedLiterals(text))
        FUZZ_CHECK(literal.size() <= text.size());
    return 0;
}
