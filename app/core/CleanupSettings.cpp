// The cleanup preferences, loaded from and written to the user defaults.
#include "app/core/CleanupSettings.h"

#include <cstddef>
#include <string>

#include "platform/Log.h"
#include "platform/OncePerRoot.h"

namespace veldo::core {

namespace {

struct Entry
{
    CleanupSettings::Property property;
    std::string_view key;
    bool defaultValue;
};

constexpr std::array<Entry, 6> kTable{{
    {CleanupSettings::Property::selectMediumConfidence, CleanupSettings::kSelectMediumConfidenceKey,
     false},
    {CleanupSettings::Property::selectLowConfidence, CleanupSettings::kSelectLowConfidenceKey,
     false},
    {CleanupSettings::Property::includeAdminRequiredByDefault,
     CleanupSettings::kIncludeAdminRequiredByDefaultKey, false},
    {CleanupSettings::Property::quitBeforeRemoving, CleanupSettings::kQuitBeforeRemovingKey, true},
    {CleanupSettings::Property::playCompletionSound, CleanupSettings::kPlayCompletionSoundKey,
     true},
    {CleanupSettings::Property::usePrivilegedHelper, CleanupSettings::kUsePrivilegedHelperKey,
     false},
}};

constexpr std::size_t indexOf(CleanupSettings::Property property)
{
    return static_cast<std::size_t>(property);
}

static_assert([] {
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (indexOf(kTable[i].property) != i)
            return false;
    }
    return true;
}());

} // namespace

std::shared_ptr<CleanupSettings> CleanupSettings::shared()
{
    static platform::OncePerRoot<std::shared_ptr<CleanupSettings>> instance(
        [] { return std::make_shared<CleanupSettings>(platform::UserDefaults::standard()); });
    return instance.get();
}

CleanupSettings::CleanupSettings(std::shared_ptr<platform::UserDefaults> defaults)
    : m_defaults(std::move(defaults))
{
    for (const Entry& e : kTable) {
        const auto stored = m_defaults->object(e.key);
        const auto asBool = stored ? stored->asBoolean() : std::nullopt;
        m_values[indexOf(e.property)] = asBool.value_or(e.defaultValue);
    }
}

std::string_view CleanupSettings::key(Property property)
{
    return kTable[indexOf(property)].key;
}

bool CleanupSettings::defaultValue(Property property)
{
    return kTable[indexOf(property)].defaultValue;
}

bool CleanupSettings::value(Property property) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_values[indexOf(property)];
}

void CleanupSettings::setValue(Property property, bool value)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    bool& slot = m_values[indexOf(property)];
    const bool changed = slot != value;
    slot = value;
    // A failed write leaves the new value in force for this run; the defaults store keeps it
    // in memory and the next successful write saves it with the rest of the domain.
    if (const Result<void> written = m_defaults->setBool(key(property), value); !written)
        logUnsaved(key(property), written.error());
    if (changed)
        m_observers.notify(property);
}

void CleanupSettings::logUnsaved(std::string_view key, const Error& error)
{
    platform::logError("settings",
                       "The setting " + std::string(key) +
                           " couldn’t be saved; it holds until Veldo quits",
                       error);
}

CleanupSettings::ObserverId CleanupSettings::addObserver(std::function<void(Property)> callback)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_observers.add(std::move(callback));
}

void CleanupSettings::removeObserver(ObserverId id)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    m_observers.remove(id);
}

} // namespace veldo::core
