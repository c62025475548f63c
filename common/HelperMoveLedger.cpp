// The move ledger: records of the helper's moves, pruned by age and count, saved after each
// change.
#include "common/HelperMoveLedger.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <map>
#include <set>
#include <utility>

#include "common/HelperStateFiles.h"
#include "platform/AtomicFile.h"
#include "platform/PropertyList.h"

namespace veldo::common {

namespace {

using platform::MacPath;
using platform::PlistValue;

// Far above 5,000 records of a few hundred bytes each for each of dozens of accounts; a larger
// file is no ledger we wrote.
constexpr std::size_t kMaximumLedgerBytes = std::size_t{256} << 20;

// "20240501-102030" for the UTC time of `time`.
std::string compactUTC(platform::Clock::TimePoint time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts = {};
    if (!::gmtime_r(&seconds, &parts))
        return std::to_string(static_cast<long long>(seconds));
    char text[32];
    if (std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts) == 0)
        return std::to_string(static_cast<long long>(seconds));
    return text;
}

} // namespace

HelperMoveLedger::HelperMoveLedger(MacPath directory, const platform::Clock& clock)
    : m_directory(std::move(directory)), m_clock(&clock)
{
}

Result<HelperMoveLedger> HelperMoveLedger::load(MacPath directory, const platform::Clock& clock)
{
    HelperMoveLedger ledger(std::move(directory), clock);
    auto bytes = HelperStateFiles::read(ledger.m_directory, kLedgerFileName, kMaximumLedgerBytes);
    if (!bytes) {
        switch (bytes.error().systemErrno) {
        case ENOENT:
        case ENOTDIR:
            // No ledger yet (or no state folder, for the first save to report).
            ledger.removeLeftovers();
            return ledger;
        case EFBIG:
        case ELOOP:
        case EINVAL:
            // Something is there that no run of ours wrote: kept aside before the first save.
            ledger.m_unreadableLedgerOnDisk = true;
            return ledger;
        default:
            return bytes.error();
        }
    }
    const auto value = platform::parsePropertyList(*bytes);
    const PlistValue::Array* array = value ? value->asArray() : nullptr;
    if (!array) {
        ledger.m_unreadableLedgerOnDisk = true;
        return ledger;
    }
    std::vector<HelperMoveRecord> decoded;
    std::vector<platform::EncodedPlistItem> encoded;
    decoded.reserve(array->size());
    encoded.reserve(array->size());
    for (const PlistValue& element : *array) {
        auto record = HelperMoveRecord::fromPlist(element);
        std::optional<platform::EncodedPlistItem> item;
        if (record) {
            if (auto made = platform::encodeBinaryArrayItem(record->toPlist()))
                item = std::move(*made);
        }
        if (!item) {
            ledger.m_unreadableLedgerOnDisk = true;
            return ledger;
        }
        decoded.push_back(std::move(*record));
        encoded.push_back(std::move(*item));
    }
    ledger.m_records = std::move(decoded);
    ledger.m_encoded = std::move(encoded);
    if (ledger.prune()) {
        if (auto prepared = ledger.prepareDirectories(); !prepared)
            return prepared.error();
        if (auto saved = ledger.save(); !saved)
            return saved.error();
    }
    ledger.removeLeftovers();
    return ledger;
}

void HelperMoveLedger::removeLeftovers() const
{
    // Each removal is housekeeping: what stays is tried again at the next load.
    if (auto names = HelperStateFiles::list(m_directory)) {
        for (const auto& name : *names) {
            if (platform::atomicWriteTarget(name) == kLedgerFileName)
                (void)HelperStateFiles::remove(m_directory, name);
        }
    }
    const auto names = HelperStateFiles::list(inventoriesDirectory());
    if (!names)
        return;
    for (const auto& name : *names) {
        if (const auto target = platform::atomicWriteTarget(name)) {
            if (target->ends_with(kInventoryExtension))
                (void)HelperStateFiles::remove(inventoriesDirectory(), name);
            continue;
        }
        // An inventory no record names (its record was never saved, or went while the file
        // stayed) can never be used. Only files named exactly as this ledger names them go.
        if (!name.ends_with(kInventoryExtension))
            continue;
        const auto id = platform::UUID::parse(
            std::string_view(name).substr(0, name.size() - kInventoryExtension.size()));
        if (!id || inventoryFileName(*id) != name)
            continue;
        const bool recorded = std::any_of(m_records.begin(), m_records.end(),
                                          [&](const HelperMoveRecord& r) { return r.id == *id; });
        if (!recorded)
            (void)HelperStateFiles::remove(inventoriesDirectory(), name);
    }
}

std::optional<HelperMoveRecord> HelperMoveLedger::record(std::string_view trashPath,
                                                         uid_t uid) const
{
    for (auto it = m_records.rbegin(); it != m_records.rend(); ++it) {
        if (it->uid == uid && it->trashPath == trashPath)
            return *it;
    }
    return std::nullopt;
}

Result<void> HelperMoveLedger::add(HelperMoveRecord record, const HelperItemInventory& inventory)
{
    // A record that can't be written (a path that is not valid UTF-8, say) is not taken: it
    // would keep every later save from succeeding.
    auto encodedRecord = platform::encodeBinaryArrayItem(record.toPlist());
    if (!encodedRecord)
        return encodedRecord.error();
    eraseRecordsIf([&](const HelperMoveRecord& r) {
        if (r.uid != record.uid || r.trashPath != record.trashPath)
            return false;
        removeInventory(r.id);
        return true;
    });
    if (auto prepared = prepareDirectories(); !prepared)
        return prepared;
    const std::vector<std::uint8_t> encoded = inventory.encoded();
    const std::string_view bytes(reinterpret_cast<const char*>(encoded.data()), encoded.size());
    if (auto written = HelperStateFiles::writeAtomically(inventoriesDirectory(),
                                                         inventoryFileName(record.id), bytes);
        !written)
        return written;
    m_encoded.push_back(std::move(*encodedRecord));
    m_records.push_back(std::move(record));
    prune();
    if (auto prepared = prepareDirectories(); !prepared)
        return prepared;
    return save();
}

Result<void> HelperMoveLedger::remove(const platform::UUID& id)
{
    return remove(std::vector<platform::UUID>{id});
}

Result<void> HelperMoveLedger::remove(const std::vector<platform::UUID>& ids)
{
    const std::set<platform::UUID> gone(ids.begin(), ids.end());
    eraseRecordsIf([&](const HelperMoveRecord& r) { return gone.contains(r.id); });
    for (const platform::UUID& id : gone)
        removeInventory(id);
    if (auto prepared = prepareDirectories(); !prepared)
        return prepared;
    return save();
}

MacPath HelperMoveLedger::inventoriesDirectory() const
{
    return m_directory.appendingPathComponent(kInventoriesFolderName);
}

std::string HelperMoveLedger::inventoryFileName(const platform::UUID& id)
{
    return id.string() + std::string(kInventoryExtension);
}

bool HelperMoveLedger::prune()
{
    const auto cutoff = now() - std::chrono::seconds(kMaximumAgeSeconds);
    // Of each account's records young enough, only its most recently added
    // kMaximumRecordsPerAccount stay: first the number beyond that, then the earliest that many.
    std::map<uid_t, std::size_t> excess;
    for (const HelperMoveRecord& r : m_records)
        if (!(r.date < cutoff))
            ++excess[r.uid];
    for (auto& [uid, count] : excess)
        count = count > kMaximumRecordsPerAccount ? count - kMaximumRecordsPerAccount : 0;
    return eraseRecordsIf([&](const HelperMoveRecord& r) {
        bool expired = r.date < cutoff;
        if (!expired) {
            std::size_t& beyond = excess[r.uid];
            if (beyond > 0) {
                --beyond;
                expired = true;
            }
        }
        if (expired)
            removeInventory(r.id);
        return expired;
    });
}

template <typename Predicate>
bool HelperMoveLedger::eraseRecordsIf(Predicate&& erase)
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (erase(std::as_const(m_records[i])))
            continue;
        if (kept != i) {
            m_records[kept] = std::move(m_records[i]);
            m_encoded[kept] = std::move(m_encoded[i]);
        }
        ++kept;
    }
    const bool erased = kept != m_records.size();
    m_records.resize(kept);
    m_encoded.resize(kept);
    return erased;
}

Result<void> HelperMoveLedger::prepareDirectories() const
{
    if (auto made = HelperStateFiles::makeFolders(m_directory); !made)
        return made;
    return HelperStateFiles::makeFolders(inventoriesDirectory());
}

void HelperMoveLedger::removeInventory(const platform::UUID& id) const
{
    // An inventory left behind names no record, so the next load removes it.
    (void)HelperStateFiles::remove(inventoriesDirectory(), inventoryFileName(id));
}

Result<void> HelperMoveLedger::save()
{
    const std::string bytes = platform::serializeBinaryArray(m_encoded);
    if (m_unreadableLedgerOnDisk) {
        if (auto keptAside = keepUnreadableLedgerAside(); !keptAside)
            return keptAside;
    }
    return HelperStateFiles::writeAtomically(m_directory, kLedgerFileName, bytes);
}

Result<void> HelperMoveLedger::keepUnreadableLedgerAside()
{
    const std::string base = std::string(kLedgerFileName) + ".unreadable-" + compactUTC(now());
    for (int n = 1; n <= 100; ++n) {
        const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
        auto renamed = HelperStateFiles::renameWithoutReplacing(m_directory, kLedgerFileName, name);
        if (renamed || renamed.error().systemErrno == ENOENT) {
            // Kept aside, or gone already: nothing is left to overwrite.
            m_unreadableLedgerOnDisk = false;
            return {};
        }
        if (renamed.error().systemErrno != EEXIST)
            return renamed;
    }
    return Error::fromErrno(EEXIST, m_directory.appendingPathComponent(base).path());
}

} // namespace veldo::common
