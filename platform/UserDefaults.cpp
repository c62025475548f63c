// The preferences domain in a property list, written atomically on every change.
#include "platform/UserDefaults.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "platform/AtomicFile.h"
#include "platform/Home.h"
#include "platform/MacFileSystem.h"
#include "platform/OncePerRoot.h"
#include "platform/PropertyList.h"

namespace veldo::platform {

namespace {

constexpr std::size_t kMaxDomainBytes = std::size_t{16} * 1024 * 1024;

std::int64_t integerFromString(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' ||
                            s[i] == '\f' || s[i] == '\v'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        const int digit = s[i] - '0';
        if (!negative) {
            if (value > (kMax - digit) / 10)
                return kMax;
            value = value * 10 + digit;
        } else {
            if (value < (kMin + digit) / 10)
                return kMin;
            value = value * 10 - digit;
        }
    }
    return value;
}

std::int64_t integerFromReal(double r)
{
    if (std::isnan(r))
        return 0;
    // 2^63 is exactly representable; every double below it converts without overflow.
    if (r >= 9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::max();
    if (r <= -9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

} // namespace

UserDefaults::UserDefaults(MacPath file) : m_file(std::move(file))
{
    if (auto loaded = readPropertyListFile(m_file, kMaxDomainBytes)) {
        if (auto* dict = loaded->asDictionary())
            m_values = std::move(*dict);
    }
}

std::shared_ptr<UserDefaults> UserDefaults::standard()
{
    static OncePerRoot<std::shared_ptr<UserDefaults>> store(
        [] { return std::make_shared<UserDefaults>(standardFile()); });
    return store.get();
}

MacPath UserDefaults::standardFile()
{
    return homeDirectory()
        .appendingPathComponent("Library/Preferences")
        .appendingPathComponent(std::string(kAppDomain) + ".plist");
}

std::optional<PlistValue> UserDefaults::object(std::string_view key) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

std::int64_t UserDefaults::integer(std::string_view key) const
{
    const auto value = object(key);
    if (!value)
        return 0;
    if (auto raw = value->asRawInteger())
        return raw->isUnsigned ? std::numeric_limits<std::int64_t>::max()
                               : static_cast<std::int64_t>(raw->bits);
    if (auto r = value->asReal())
        return integerFromReal(*r);
    if (auto b = value->asBoolean())
        return *b ? 1 : 0;
    if (auto* s = value->asString())
        return integerFromString(*s);
    return 0;
}

Result<void> UserDefaults::setObject(std::string_view key, PlistValue value)
{
    bool changed = false;
    Result<void> written;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(key);
        if (it == m_values.end()) {
            m_values.emplace(std::string(key), std::move(value));
            changed = true;
        } else if (!(it->second == value)) {
            it->second = std::move(value);
            changed = true;
        }
        written = persistLocked();
    }
    if (changed)
        m_observers.notify(std::string(key));
    return written;
}

Result<void> UserDefaults::setBool(std::string_view key, bool value)
{
    return setObject(key, PlistValue(value));
}

Result<void> UserDefaults::setInteger(std::string_view key, std::int64_t value)
{
    return setObject(key, PlistValue(value));
}

Result<void> UserDefaults::removeObject(std::string_view key)
{
    bool changed = false;
    Result<void> written;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(key);
        if (it != m_values.end()) {
            m_values.erase(it);
            changed = true;
        }
        written = persistLocked();
    }
    if (changed)
        m_observers.notify(std::string(key));
    return written;
}

UserDefaults::ObserverId UserDefaults::addObserver(std::function<void(const std::string&)> callback)
{
    return m_observers.add(std::move(callback));
}

void UserDefaults::removeObserver(ObserverId id)
{
    m_observers.remove(id);
}

Result<void> UserDefaults::persistLocked() const
{
    auto bytes = serializePropertyList(PlistValue(m_values), PlistFormat::binary);
    if (!bytes)
        return bytes.error();
    return writeFileAtomically(m_file, *bytes, AtomicWriteOptions{0600, true});
}

} // namespace veldo::platform
