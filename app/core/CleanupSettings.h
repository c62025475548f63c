// CleanupSettings: the user's preferences for cleanups, kept in the user defaults.
//
// One object per defaults store; the app uses shared(). Loading reads each key and takes its
// value only when it is stored as a Boolean, otherwise the setting's default (no defaults are
// registered with the store). Each set writes the key at once, also when the value is
// unchanged; observers hear of a setting only when its value changed. A failed write is logged
// and the value holds in memory for this run.
//
// Confined to one thread (the GUI thread): the object itself is not thread-safe, and debug
// builds abort when it is used from a second thread; shared() is thread-safe.
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "platform/ObserverList.h"
#include "platform/SequenceChecker.h"
#include "platform/UserDefaults.h"

namespace veldo::core {

class CleanupSettings
{
public:
    enum class Property
    {
        selectMediumConfidence,
        selectLowConfidence,
        includeAdminRequiredByDefault,
        quitBeforeRemoving,
        playCompletionSound,
        usePrivilegedHelper
    };
    using ObserverId = platform::ObserverList<Property>::Id;

    static constexpr std::string_view kSelectMediumConfidenceKey =
        "Veldo.SelectMediumConfidenceByDefault";
    static constexpr std::string_view kSelectLowConfidenceKey =
        "Veldo.SelectLowConfidenceByDefault";
    static constexpr std::string_view kIncludeAdminRequiredByDefaultKey =
        "Veldo.IncludeAdminRequiredByDefault";
    static constexpr std::string_view kQuitBeforeRemovingKey = "Veldo.QuitBeforeRemoving";
    static constexpr std::string_view kPlayCompletionSoundKey = "Veldo.PlayCompletionSound";
    static constexpr std::string_view kUsePrivilegedHelperKey = "Veldo.UsePrivilegedHelper";

    // The process-wide settings over the standard defaults, made on first use (and afresh
    // after a change of Mac root).
    static std::shared_ptr<CleanupSettings> shared();

    // Loads every setting from `defaults`.
    explicit CleanupSettings(std::shared_ptr<platform::UserDefaults> defaults);

    CleanupSettings(const CleanupSettings&) = delete;
    CleanupSettings& operator=(const CleanupSettings&) = delete;

    bool selectMediumConfidence() const { return value(Property::selectMediumConfidence); }
    bool selectLowConfidence() const { return value(Property::selectLowConfidence); }
    bool includeAdminRequiredByDefault() const
    {
        return value(Property::includeAdminRequiredByDefault);
    }
    bool quitBeforeRemoving() const { return value(Property::quitBeforeRemoving); }
    bool playCompletionSound() const { return value(Property::playCompletionSound); }
    bool usePrivilegedHelper() const { return value(Property::usePrivilegedHelper); }

    void setSelectMediumConfidence(bool v) { setValue(Property::selectMediumConfidence, v); }
    void setSelectLowConfidence(bool v) { setValue(Property::selectLowConfidence, v); }
    void setIncludeAdminRequiredByDefault(bool v)
    {
        setValue(Property::includeAdminRequiredByDefault, v);
    }
    void setQuitBeforeRemoving(bool v) { setValue(Property::quitBeforeRemoving, v); }
    void setPlayCompletionSound(bool v) { setValue(Property::playCompletionSound, v); }
    void setUsePrivilegedHelper(bool v) { setValue(Property::usePrivilegedHelper, v); }

    const std::shared_ptr<platform::UserDefaults>& defaults() const { return m_defaults; }

    // The callback hears each setting whose value changed, right after the change.
    ObserverId addObserver(std::function<void(Property)> callback);
    void removeObserver(ObserverId id);

    // The defaults key of a setting, and its value when the key is missing or not a Boolean.
    static std::string_view key(Property property);
    static bool defaultValue(Property property);
    // Logs that the setting at `key` couldn't be written (its value holds for this run).
    static void logUnsaved(std::string_view key, const Error& error);

private:
    bool value(Property property) const;
    void setValue(Property property, bool value);

    std::array<bool, 6> m_values{};
    const std::shared_ptr<platform::UserDefaults> m_defaults;
    platform::ObserverList<Property> m_observers;
    platform::SequenceChecker m_sequence{"CleanupSettings"};
};

} // namespace veldo::core
