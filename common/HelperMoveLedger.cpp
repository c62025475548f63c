// The move ledger: records of the helper's moves, pruned by age and count, each change saved at
// once as an entry of its list of changes.
#include "common/HelperMoveLedger.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <set>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "common/HelperPathDigest.h"
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

// Up to this many inventory files written since the last commit are flushed one by one; more
// are flushed with their whole file system at once.
constexpr std::size_t kInventoriesFlushedOneByOne = 16;

// "Moves.changes": this mark and the 32 bytes of the SHA-256 of the "Moves.plist" it follows,
// then its entries, each the length of its content (4 bytes), the first 8 bytes of the content's
// SHA-256 (both little-endian) and the content: a binary property list, a dictionary of the
// records added ("added", in order) and the ids of those that went ("removed").
constexpr std::string_view kChangesMark = "VeldoLedgerChanges1\n";
constexpr std::size_t kEntryHeadBytes = 12;
// Far above one change of a few records.
constexpr std::size_t kMaximumEntryBytes = std::size_t{16} << 20;

std::function<void()>& changeAppendHook()
{
    static std::function<void()> hook;
    return hook;
}

std::function<void()>& ledgerRewriteHook()
{
    static std::function<void()> hook;
    return hook;
}

std::string digestBytes(std::string_view bytes)
{
    const HelperPathDigest digest = HelperPathDigest::of(bytes);
    std::string out;
    for (const std::uint64_t word : {digest.w0, digest.w1, digest.w2, digest.w3})
        for (int i = 0; i < 8; ++i)
            out.push_back(static_cast<char>((word >> (8 * i)) & 0xFF));
    return out;
}

std::string littleEndian(std::uint64_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

std::uint64_t readLittleEndian(std::string_view bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
    return value;
}

// The header of the changes that follow a "Moves.plist" of `ledgerBytes`.
std::string changesHeader(std::string_view ledgerBytes)
{
    return std::string(kChangesMark) + digestBytes(ledgerBytes);
}

using HelperStateFiles::AtomicDurability;

// The keys of a record and of the dictionaries in it: written once, at the top of the file.
const platform::SharedPlistStrings& recordKeys()
{
    static constexpr std::string_view kKeys[] = {
        "id",      "uid",       "trashPath",      "originalPath",  "identity", "ownerID",
        "groupID", "date",      "parentIdentity", "parentOwnerID", "volume",   "device",
        "inode",   "birthTime", "seconds",        "nanoseconds",   "uuid"};
    static const platform::SharedPlistStrings keys(kKeys);
    return keys;
}

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

// The records of a ledger file's bytes with their encoded forms; none when the bytes are no
// ledger we wrote (not a property list, not an array, one record that doesn't decode or can't be
// encoded again).
struct DecodedLedger
{
    std::vector<HelperMoveRecord> records;
    std::vector<platform::EncodedPlistItem> encoded;
};

std::optional<DecodedLedger> decodeLedger(std::string_view bytes)
{
    const auto value = platform::parsePropertyList(bytes);
    const PlistValue::Array* array = value ? value->asArray() : nullptr;
    if (!array)
        return std::nullopt;
    DecodedLedger ledger;
    ledger.records.reserve(array->size());
    ledger.encoded.reserve(array->size());
    for (const PlistValue& element : *array) {
        auto record = HelperMoveRecord::fromPlist(element);
        if (!record)
            return std::nullopt;
        auto item = platform::encodeBinaryArrayItem(record->toPlist(), &recordKeys());
        if (!item)
            return std::nullopt;
        ledger.records.push_back(std::move(*record));
        ledger.encoded.push_back(std::move(*item));
    }
    return ledger;
}

} // namespace

HelperMoveLedger::HelperMoveLedger(MacPath directory, const platform::Clock& clock)
    : m_directory(std::move(directory)), m_folder(m_directory),
      m_inventories(m_directory.appendingPathComponent(kInventoriesFolderName)),
      m_staging(std::make_shared<HelperStateFiles::Folder>(
          m_directory.appendingPathComponent(std::string(HelperStagingJournal::kFolderName)))),
      m_clock(&clock)
{
}

Result<HelperMoveLedger> HelperMoveLedger::load(MacPath directory, const platform::Clock& clock)
{
    HelperMoveLedger ledger(std::move(directory), clock);
    auto bytes = HelperStateFiles::read(ledger.m_directory, kLedgerFileName, kMaximumLedgerBytes);
    std::optional<DecodedLedger> decoded;
    bool fromLedgerFile = false; // decoded from "Moves.plist", which its changes may follow
    bool clean = false;          // no ledger file, or one that decodes: leftovers can be told apart
    if (!bytes) {
        switch (bytes.error().systemErrno) {
        case ENOENT:
        case ENOTDIR:
            // No ledger yet (or no state folder, for the first save to report).
            clean = true;
            break;
        case EFBIG:
        case ELOOP:
        case EINVAL:
            // Something is there that no run of ours wrote: kept aside before the first save.
            ledger.m_unreadableLedgerOnDisk = true;
            break;
        default:
            return bytes.error();
        }
    } else {
        decoded = decodeLedger(*bytes);
        clean = fromLedgerFile = decoded.has_value();
        ledger.m_unreadableLedgerOnDisk = !clean;
    }
    const auto committed =
        HelperStateFiles::read(ledger.m_directory, kCommittedFileName, kMaximumLedgerBytes);
    if (decoded) {
        if (committed || committed.error().systemErrno != ENOENT) {
            // The run that saved this ledger was cut off before its commit: the ledger is
            // flushed before the committed copy goes, or at the next commit.
            if (ledger.flushLedger(true))
                (void)HelperStateFiles::remove(ledger.m_directory, kCommittedFileName);
            else
                ledger.m_committedCopyKept = ledger.m_ledgerUnflushed = true;
        }
    } else if (committed) {
        // "Moves.plist" was lost between a change and its commit (a power cut): the ledger of
        // the last commit is the one on the disk until the next commit.
        decoded = decodeLedger(*committed);
        ledger.m_committedCopyKept = decoded.has_value();
    }
    if (decoded) {
        for (std::size_t i = 0; i < decoded->records.size(); ++i)
            ledger.insertSlot(std::move(decoded->records[i]), std::move(decoded->encoded[i]));
        // Changes follow only the "Moves.plist" they name; after a committed copy the next save
        // writes the ledger whole.
        if (fromLedgerFile) {
            if (auto replayed = ledger.replayChanges(*bytes); !replayed)
                return replayed.error();
        }
    }
    if (ledger.prune()) {
        if (auto prepared = ledger.prepareDirectories(); !prepared)
            return prepared.error();
        if (auto saved = ledger.save(); !saved)
            return saved.error();
        if (auto committedNow = ledger.commit(); !committedNow)
            return committedNow.error();
    }
    if (clean)
        ledger.removeLeftovers();
    ledger.m_folder.close();
    ledger.m_inventories.close();
    return ledger;
}

void HelperMoveLedger::removeLeftovers() const
{
    // Each removal is housekeeping: what stays is tried again at the next load.
    if (auto names = HelperStateFiles::list(m_directory)) {
        for (const auto& name : *names) {
            const auto target = platform::atomicWriteTarget(name);
            if (target == kLedgerFileName || target == kChangesFileName)
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
        if (!m_byID.contains(*id))
            (void)HelperStateFiles::remove(inventoriesDirectory(), name);
    }
}

const std::vector<HelperMoveRecord>& HelperMoveLedger::records() const
{
    if (!m_recordsAsked) {
        std::vector<HelperMoveRecord> all;
        all.reserve(m_slots.size());
        for (const auto& [sequence, slot] : m_slots)
            all.push_back(slot.record);
        m_recordsAsked = std::move(all);
    }
    return *m_recordsAsked;
}

std::optional<HelperMoveRecord> HelperMoveLedger::record(std::string_view trashPath,
                                                         uid_t uid) const
{
    const auto found = m_byPlace.find({uid, std::string(trashPath)});
    if (found == m_byPlace.end() || found->second.empty())
        return std::nullopt;
    return m_slots.at(found->second.back()).record;
}

void HelperMoveLedger::insertSlot(HelperMoveRecord record, platform::EncodedPlistItem encoded)
{
    const std::uint64_t sequence = m_nextSequence++;
    m_recordsAsked.reset();
    m_byID[record.id] = sequence;
    m_byPlace[{record.uid, record.trashPath}].push_back(sequence);
    m_byAccount[record.uid].insert(sequence);
    m_byDate.emplace(record.date, sequence);
    m_slots.emplace(sequence, Slot{std::move(record), std::move(encoded)});
}

void HelperMoveLedger::eraseSlot(std::uint64_t sequence)
{
    const auto found = m_slots.find(sequence);
    if (found == m_slots.end())
        return;
    m_recordsAsked.reset();
    const HelperMoveRecord& r = found->second.record;
    m_removedSinceSave.push_back(r.id);
    m_byID.erase(r.id);
    if (const auto place = m_byPlace.find({r.uid, r.trashPath}); place != m_byPlace.end()) {
        std::erase(place->second, sequence);
        if (place->second.empty())
            m_byPlace.erase(place);
    }
    if (const auto account = m_byAccount.find(r.uid); account != m_byAccount.end()) {
        account->second.erase(sequence);
        if (account->second.empty())
            m_byAccount.erase(account);
    }
    m_byDate.erase({r.date, sequence});
    m_slots.erase(found);
}

Result<void> HelperMoveLedger::add(HelperMoveRecord record, const HelperItemInventory& inventory)
{
    // A record that can't be written (a path that is not valid UTF-8, say) is not taken: it
    // would keep every later save from succeeding.
    auto encodedRecord = platform::encodeBinaryArrayItem(record.toPlist(), &recordKeys());
    if (!encodedRecord)
        return encodedRecord.error();
    if (const auto place = m_byPlace.find({record.uid, record.trashPath});
        place != m_byPlace.end()) {
        const std::vector<std::uint64_t> earlier = place->second;
        for (const std::uint64_t sequence : earlier) {
            removeInventory(m_slots.at(sequence).record.id);
            eraseSlot(sequence);
        }
    }
    if (auto prepared = prepareDirectories(); !prepared)
        return prepared;
    const std::vector<std::uint8_t> encoded = inventory.encoded();
    const std::string_view bytes(reinterpret_cast<const char*>(encoded.data()), encoded.size());
    std::string name = inventoryFileName(record.id);
    if (auto written = HelperStateFiles::writeAtomically(m_inventories, name, bytes,
                                                         AtomicDurability::unflushed);
        !written)
        return written;
    m_unflushedInventories.push_back(std::move(name));
    m_addedSinceSave.push_back(record);
    insertSlot(std::move(record), std::move(*encodedRecord));
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
    for (const platform::UUID& id : gone)
        if (const auto found = m_byID.find(id); found != m_byID.end())
            eraseSlot(found->second);
    // An id no record has is saved too: a change of its own, as the caller asked.
    for (const platform::UUID& id : gone)
        if (std::find(m_removedSinceSave.begin(), m_removedSinceSave.end(), id) ==
            m_removedSinceSave.end())
            m_removedSinceSave.push_back(id);
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
    // Those older than 30 days first, then of each account the earliest added beyond its share:
    // so the share counts only records young enough.
    std::vector<std::uint64_t> expired;
    for (auto it = m_byDate.begin(); it != m_byDate.end() && it->first < cutoff; ++it)
        expired.push_back(it->second);
    for (const auto& account : m_byAccount) {
        const uid_t uid = account.first;
        const std::set<std::uint64_t>& sequences = account.second;
        const std::size_t young =
            sequences.size() - static_cast<std::size_t>(std::count_if(
                                   expired.begin(), expired.end(), [&](std::uint64_t sequence) {
                                       return m_slots.at(sequence).record.uid == uid;
                                   }));
        if (young <= kMaximumRecordsPerAccount)
            continue;
        std::size_t beyond = young - kMaximumRecordsPerAccount;
        for (auto it = sequences.begin(); it != sequences.end() && beyond > 0; ++it) {
            if (std::find(expired.begin(), expired.end(), *it) != expired.end())
                continue;
            expired.push_back(*it);
            --beyond;
        }
    }
    if (expired.empty())
        return false;
    // In ledger order, as the records were added.
    std::sort(expired.begin(), expired.end());
    for (const std::uint64_t sequence : expired) {
        removeInventory(m_slots.at(sequence).record.id);
        eraseSlot(sequence);
    }
    return true;
}

Result<void> HelperMoveLedger::prepareDirectories() const
{
    if (auto made = m_folder.open(); !made)
        return made.error();
    if (auto made = m_inventories.open(); !made)
        return made.error();
    return {};
}

void HelperMoveLedger::removeInventory(const platform::UUID& id) const
{
    // An inventory left behind names no record, so the next load removes it.
    (void)HelperStateFiles::remove(m_inventories, inventoryFileName(id));
}

Result<void> HelperMoveLedger::save()
{
    if (m_unreadableLedgerOnDisk) {
        if (auto keptAside = keepUnreadableLedgerAside(); !keptAside)
            return keptAside;
    }
    if (!m_changesUsable ||
        m_changeEntries >= std::max(kMinimumChangesBeforeCompaction, m_slots.size()))
        return compact();
    return appendChanges();
}

Result<void> HelperMoveLedger::compact()
{
    std::vector<platform::EncodedPlistItem> encoded;
    encoded.reserve(m_slots.size());
    for (const auto& [sequence, slot] : m_slots)
        encoded.push_back(slot.encoded);
    const std::vector<std::string_view> pieces =
        platform::binaryPropertyListPieces(encoded, recordKeys(), m_scratch);
    std::string ledgerBytes;
    for (const std::string_view piece : pieces)
        ledgerBytes.append(piece);
    const std::string digest = digestBytes(ledgerBytes);
    if (!m_changesOnDisk || m_changesOnDisk->follows == digest) {
        // Changes on the disk that may name these very bytes (the changes since undid each other)
        // go first: a stop before the new list is written would take them again.
        m_changes.reset();
        m_changesUsable = false;
        if (auto removed = HelperStateFiles::remove(m_folder, kChangesFileName); removed) {
            if (auto flushed = HelperStateFiles::flushFolder(m_folder); !flushed)
                return flushed;
        } else if (removed.error().systemErrno != ENOENT) {
            return removed;
        }
        m_changesOnDisk = ChangesOnDisk{};
    }
    // Flushed, both: the changes on the disk go, and with them what the last commit flushed.
    if (auto written = HelperStateFiles::writeAtomically(m_folder, kLedgerFileName, ledgerBytes,
                                                         AtomicDurability::flushed);
        !written)
        return written;
    if (ledgerRewriteHook())
        ledgerRewriteHook()();
    m_addedSinceSave.clear();
    m_removedSinceSave.clear();
    m_changes.reset();
    m_changeEntries = 0;
    // Until the new changes are there, the old ones name another "Moves.plist" and read as none.
    m_changesUsable = false;
    // The old list or the new one, whichever a failed write left.
    m_changesOnDisk.reset();
    if (auto written = HelperStateFiles::writeAtomically(
            m_folder, kChangesFileName, changesHeader(ledgerBytes), AtomicDurability::flushed);
        !written)
        return {}; // the ledger is saved whole; the next save writes it whole again
    m_changesOnDisk = ChangesOnDisk{digest};
    m_changesUsable = true;
    return {};
}

Result<void> HelperMoveLedger::appendChanges()
{
    PlistValue::Array added;
    added.reserve(m_addedSinceSave.size());
    for (const HelperMoveRecord& record : m_addedSinceSave)
        added.push_back(record.toPlist());
    PlistValue::Array removed;
    removed.reserve(m_removedSinceSave.size());
    for (const platform::UUID& id : m_removedSinceSave)
        removed.emplace_back(id.string());
    PlistValue::Dictionary change;
    change.emplace("added", PlistValue(std::move(added)));
    change.emplace("removed", PlistValue(std::move(removed)));
    auto content = platform::serializePropertyList(PlistValue(std::move(change)),
                                                   platform::PlistFormat::binary);
    if (!content)
        return content.error();
    const std::string head =
        littleEndian(content->size(), 4) + littleEndian(HelperPathDigest::of(*content).w0, 8);
    if (!m_changes) {
        const auto folder = m_folder.open();
        if (!folder)
            return folder.error();
        const int fd = ::openat(*folder, std::string(kChangesFileName).c_str(),
                                O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            m_changesUsable = false;
            return compact();
        }
        m_changes.reset(fd);
    }
    const std::string entry = head + *content;
    const std::string_view first = std::string_view(entry).substr(0, entry.size() / 2);
    const std::string_view rest = std::string_view(entry).substr(first.size());
    auto written = platform::writeAll(m_changes.get(), first);
    if (written && changeAppendHook())
        changeAppendHook()();
    if (written)
        written = platform::writeAll(m_changes.get(), rest);
    if (!written) {
        // Part of the entry may be there: the next save writes the ledger whole.
        m_changesUsable = false;
        m_changes.reset();
        Error error = written.error();
        error.path = m_directory.appendingPathComponent(kChangesFileName).path();
        return error;
    }
    m_addedSinceSave.clear();
    m_removedSinceSave.clear();
    ++m_changeEntries;
    m_ledgerUnflushed = true;
    return {};
}

Result<void> HelperMoveLedger::replayChanges(std::string_view ledgerBytes)
{
    auto bytes = HelperStateFiles::read(m_directory, kChangesFileName, kMaximumLedgerBytes);
    if (!bytes) {
        // Records may be there that no other file holds: only none is no change.
        if (bytes.error().systemErrno != ENOENT)
            return bytes.error();
        m_changesOnDisk = ChangesOnDisk{};
        return {};
    }
    std::string_view rest(*bytes);
    m_changesOnDisk = ChangesOnDisk{rest.starts_with(kChangesMark)
                                        ? std::string(rest.substr(kChangesMark.size(), 32))
                                        : std::string()};
    const std::string header = changesHeader(ledgerBytes);
    if (!rest.starts_with(header))
        return {}; // the changes of another "Moves.plist", already in this one
    rest.remove_prefix(header.size());
    std::set<platform::UUID> removed;
    std::size_t entries = 0;
    bool whole = true;
    while (!rest.empty()) {
        if (rest.size() < kEntryHeadBytes) {
            whole = false;
            break;
        }
        const std::uint64_t length = readLittleEndian(rest.substr(0, 4));
        const std::uint64_t check = readLittleEndian(rest.substr(4, 8));
        if (length > kMaximumEntryBytes || rest.size() - kEntryHeadBytes < length) {
            whole = false;
            break;
        }
        const std::string_view content = rest.substr(kEntryHeadBytes, length);
        const auto value = HelperPathDigest::of(content).w0 == check
                               ? platform::parsePropertyList(content)
                               : std::nullopt;
        const PlistValue::Dictionary* change = value ? value->asDictionary() : nullptr;
        const PlistValue* addedValue = change ? value->find("added") : nullptr;
        const PlistValue* removedValue = change ? value->find("removed") : nullptr;
        const PlistValue::Array* added = addedValue ? addedValue->asArray() : nullptr;
        const PlistValue::Array* gone = removedValue ? removedValue->asArray() : nullptr;
        if (!added || !gone) {
            whole = false;
            break;
        }
        // Decoded whole before any of it is taken.
        std::vector<HelperMoveRecord> records;
        std::vector<platform::EncodedPlistItem> encoded;
        std::vector<platform::UUID> ids;
        bool decodes = true;
        for (const PlistValue& element : *added) {
            auto record = HelperMoveRecord::fromPlist(element);
            auto item = record ? platform::encodeBinaryArrayItem(record->toPlist(), &recordKeys())
                               : Result<platform::EncodedPlistItem>(Error{});
            if (!item) {
                decodes = false;
                break;
            }
            records.push_back(std::move(*record));
            encoded.push_back(std::move(*item));
        }
        for (const PlistValue& element : *gone) {
            const std::string* text = element.asString();
            const auto id = text ? platform::UUID::parse(*text) : std::nullopt;
            if (!id) {
                decodes = false;
                break;
            }
            ids.push_back(*id);
        }
        if (!decodes) {
            whole = false;
            break;
        }
        for (std::size_t i = 0; i < records.size(); ++i)
            if (!m_byID.contains(records[i].id))
                insertSlot(std::move(records[i]), std::move(encoded[i]));
        removed.insert(ids.begin(), ids.end());
        ++entries;
        rest.remove_prefix(kEntryHeadBytes + length);
    }
    for (const platform::UUID& id : removed)
        if (const auto found = m_byID.find(id); found != m_byID.end())
            eraseSlot(found->second);
    // What the disk holds already: nothing to save.
    m_removedSinceSave.clear();
    // A cut-off entry at the end is not appended to: the next save writes the ledger whole.
    m_changesUsable = whole;
    m_changeEntries = entries;
    return {};
}

Result<void> HelperMoveLedger::flushLedger(bool ledger)
{
    if (ledger) {
        if (auto flushed = HelperStateFiles::flushFile(m_folder, kLedgerFileName); !flushed)
            return flushed;
        if (m_changes) {
            if (::fsync(m_changes.get()) != 0)
                return Error::fromErrno(
                    errno, m_directory.appendingPathComponent(kChangesFileName).path());
        } else if (auto flushed = HelperStateFiles::flushFile(m_folder, kChangesFileName);
                   !flushed && flushed.error().systemErrno != ENOENT) {
            return flushed;
        }
    }
    return HelperStateFiles::flushFolder(m_folder);
}

Result<void> HelperMoveLedger::commit()
{
    const auto closeFolders = [this] {
        m_folder.close();
        m_inventories.close();
        m_staging->close();
        m_changes.reset();
    };
    if (!m_ledgerUnflushed && m_unflushedInventories.empty()) {
        closeFolders();
        return {};
    }
    Result<void> flushed;
    if (m_unflushedInventories.size() > kInventoriesFlushedOneByOne) {
        flushed = HelperStateFiles::flushFileSystem(m_folder);
    } else {
        for (const std::string& name : m_unflushedInventories) {
            // One removed since (its record replaced or pruned) needs no flush.
            if (flushed = HelperStateFiles::flushFile(m_inventories, name);
                !flushed && flushed.error().systemErrno != ENOENT)
                break;
            flushed = {};
        }
        if (flushed && !m_unflushedInventories.empty())
            flushed = HelperStateFiles::flushFolder(m_inventories);
        if (flushed)
            flushed = flushLedger(m_ledgerUnflushed);
    }
    if (!flushed)
        return flushed;
    m_ledgerUnflushed = false;
    m_unflushedInventories.clear();
    if (m_committedCopyKept) {
        // Left behind, the copy is removed at the next load, which finds "Moves.plist" usable.
        (void)HelperStateFiles::remove(m_folder, kCommittedFileName);
        m_committedCopyKept = false;
    }
    closeFolders();
    return {};
}

HelperStagingJournal HelperMoveLedger::stagingJournal() const
{
    return HelperStagingJournal(m_staging);
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

namespace testing {
void setChangeAppendHook(std::function<void()> hook)
{
    changeAppendHook() = std::move(hook);
}

void setLedgerRewriteHook(std::function<void()> hook)
{
    ledgerRewriteHook() = std::move(hook);
}
} // namespace testing

} // namespace veldo::common
