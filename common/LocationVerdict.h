// LocationVerdict: the helper's answer on whether it may move an item, or put one back.
#pragma once

#include <string>

namespace veldo::common {

struct LocationVerdict
{
    enum class Kind
    {
        refused,    // unsafe, or not what the request claims: reported as a refusal
        notManaged, // outside what the helper handles without an administrator password
        allowed,
    };

    Kind kind = Kind::allowed;
    std::string message; // the sentence shown to the user; empty for allowed

    static LocationVerdict refused(std::string message)
    {
        return {Kind::refused, std::move(message)};
    }
    static LocationVerdict notManaged(std::string message)
    {
        return {Kind::notManaged, std::move(message)};
    }
    static LocationVerdict allowed() { return {Kind::allowed, {}}; }

    friend bool operator==(const LocationVerdict&, const LocationVerdict&) = default;
};

} // namespace veldo::common
