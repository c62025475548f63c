// SettingsTab: the tabs of the Settings window; raw values name them.
#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "base/RawValue.h"

namespace veldo::controller {

enum class SettingsTab
{
    general,
    permissions,
    administrator,
    updates
};

} // namespace veldo::controller

template <>
struct veldo::base::EnumTraits<veldo::controller::SettingsTab>
{
    using SettingsTab = veldo::controller::SettingsTab;

    static constexpr std::array<std::pair<SettingsTab, std::string_view>, 4> kCases{{
        {SettingsTab::general, "general"},
        {SettingsTab::permissions, "permissions"},
        {SettingsTab::administrator, "administrator"},
        {SettingsTab::updates, "updates"},
    }};
};
