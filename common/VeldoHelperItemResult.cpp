// Raw values of the helper's per-item outcomes and refusal reasons.
#include "common/VeldoHelperItemResult.h"

#include <array>
#include <utility>

namespace veldo::common {

namespace {

using Outcome = VeldoHelperItemResult::Outcome;
using Reason = VeldoHelperItemResult::Reason;

constexpr std::array<std::pair<Outcome, std::string_view>, 4> kOutcomes{{
    {Outcome::done, "done"},
    {Outcome::missing, "missing"},
    {Outcome::failed, "failed"},
    {Outcome::notHandled, "notHandled"},
}};

constexpr std::array<std::pair<Reason, std::string_view>, 4> kReasons{{
    {Reason::notManaged, "notManaged"},
    {Reason::stopped, "stopped"},
    {Reason::changed, "changed"},
    {Reason::unsafePath, "unsafePath"},
}};

template <typename E, std::size_t N>
std::string_view lookUpRaw(const std::array<std::pair<E, std::string_view>, N>& table, E value)
{
    for (const auto& [c, raw] : table) {
        if (c == value)
            return raw;
    }
    return {};
}

template <typename E, std::size_t N>
std::optional<E> lookUpCase(const std::array<std::pair<E, std::string_view>, N>& table,
                            std::string_view raw)
{
    for (const auto& [c, r] : table) {
        if (r == raw)
            return c;
    }
    return std::nullopt;
}

} // namespace

std::string_view rawValue(Outcome outcome)
{
    return lookUpRaw(kOutcomes, outcome);
}

std::string_view rawValue(Reason reason)
{
    return lookUpRaw(kReasons, reason);
}

std::optional<Outcome> outcomeFromRawValue(std::string_view raw)
{
    return lookUpCase(kOutcomes, raw);
}

std::optional<Reason> reasonFromRawValue(std::string_view raw)
{
    return lookUpCase(kReasons, raw);
}

} // namespace veldo::common
