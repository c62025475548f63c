// FakeLastUsedDates: a last-used-date source that answers the dates the test sets, by bundle.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/LastUsedDates.h"

namespace veldo::testsupport {

class FakeLastUsedDates final : public platform::LastUsedDateSource
{
public:
    std::map<std::string, TimePoint> dates; // by bundle path

    std::optional<TimePoint> lastUsedDate(const platform::MacPath& bundle) const override
    {
        auto it = dates.find(bundle.path());
        if (it == dates.end())
            return std::nullopt;
        return it->second;
    }
};

} // namespace veldo::testsupport
