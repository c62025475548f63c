// UserDefaults: the app's preferences domain, a typed key-value store kept in a property list.
//
// The standard store lives in the home folder's "Library/Preferences/orbelkan.Veldo.plist"
// inside the Mac root. Values are property-list values under string keys. Every set writes the
// whole domain to disk at once: a temporary file in the same folder, flushed, then renamed over
// the old file, so a reader or a crash sees either the old or the new domain, never a mix.
//
// Thread-safe: any thread may read, set and observe. Reads never touch the disk (the file is
// loaded when the store is made). A missing, unreadable or damaged file, or one whose top level
// is no dictionary, gives an empty domain; it is replaced by the next successful write.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/Result.h"
#include "platform/MacPath.h"
#include "platform/ObserverList.h"
#include "platform/PlistValue.h"

namespace veldo::platform {

class UserDefaults
{
public:
    using ObserverId = ObserverList<const std::string&>::Id;

    // The app's own domain name; its file is "<domain>.plist".
    static constexpr std::string_view kAppDomain = "orbelkan.Veldo";

    // A store over the property list at `file` (a Mac path), loaded now.
    explicit UserDefaults(MacPath file);

    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The app's standard store over standardFile(), made on first use and made afresh after a
    // change of Mac root. Holders of an older store keep a working store over the old file.
    static std::shared_ptr<UserDefaults> standard();

    // "<home>/Library/Preferences/orbelkan.Veldo.plist" for the real user's home.
    static MacPath standardFile();

    const MacPath& file() const { return m_file; }

    // The stored value; none when the key is missing.
    std::optional<PlistValue> object(std::string_view key) const;

    // The stored value read as an integer, as the defaults system's integer getter does: an
    // integer as it is (an unsigned one above the signed range gives INT64_MAX), a real
    // truncated toward zero and held inside the 64-bit range (NaN gives 0), a Boolean as 1 or
    // 0, a string by its leading decimal integer after white space (none gives 0, too many
    // digits hold at the range's end), anything else and a missing key 0.
    std::int64_t integer(std::string_view key) const;

    // Store the value under the key and write the domain to disk. The new value holds in
    // memory for the life of this store even when the write fails; the error says so.
    // Observers hear of the key when its stored value changed (whether or not the write
    // succeeded); an equal value notifies nobody but is written all the same.
    Result<void> setObject(std::string_view key, PlistValue value);
    Result<void> setBool(std::string_view key, bool value);
    Result<void> setInteger(std::string_view key, std::int64_t value);

    // Removes the key (when present: observers hear of it) and writes the domain.
    Result<void> removeObject(std::string_view key);

    // The callback hears the key of every changed value, on the thread that changed it.
    ObserverId addObserver(std::function<void(const std::string& key)> callback);
    void removeObserver(ObserverId id);

private:
    Result<void> persistLocked() const;

    const MacPath m_file;
    mutable std::mutex m_mutex;
    PlistValue::Dictionary m_values;
    ObserverList<const std::string&> m_observers;
};

} // namespace veldo::platform
