// The staging journal: one property-list file per operation in flight.
#include "common/HelperStagingJournal.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

#include "common/HelperStateFiles.h"
#include "platform/PropertyList.h"

namespace veldo::common {

namespace {

// A record is a few hundred bytes; anything far larger is no record we wrote.
constexpr std::size_t kMaximumRecordBytes = std::size_t{1} << 20;

} // namespace

HelperStagingJournal::HelperStagingJournal(platform::MacPath directory)
    : m_folder(std::make_shared<HelperStateFiles::Folder>(std::move(directory)))
{
}

HelperStagingJournal::HelperStagingJournal(std::shared_ptr<HelperStateFiles::Folder> folder)
    : m_folder(std::move(folder))
{
}

Result<void> HelperStagingJournal::write(const HelperStagingRecord& record,
                                         HelperStateFiles::AtomicDurability durability) const
{
    const auto folder = m_folder->open();
    if (!folder)
        return folder.error();
    // A folder that existed with a wider mode is tightened too; the write does not depend on it.
    (void)::fchmod(*folder, HelperStateFiles::kFolderMode);
    const auto bytes =
        platform::serializePropertyList(record.toPlist(), platform::PlistFormat::binary);
    if (!bytes)
        return bytes.error();
    return HelperStateFiles::writeAtomically(*m_folder, fileName(record.id), *bytes, durability);
}

Result<void> HelperStagingJournal::remove(const platform::UUID& id) const
{
    return HelperStateFiles::remove(*m_folder, fileName(id));
}

Result<std::vector<HelperStagingRecord>> HelperStagingJournal::records() const
{
    std::vector<HelperStagingRecord> records;
    const platform::MacPath& folder = m_folder->path();
    const auto names = HelperStateFiles::list(folder);
    if (!names) {
        if (names.error().systemErrno == ENOENT)
            return records;
        return names.error();
    }
    for (const std::string& name : *names) {
        if (platform::MacPath(name).pathExtension() != kExtension)
            continue;
        const auto bytes = HelperStateFiles::read(folder, name, kMaximumRecordBytes);
        if (!bytes)
            continue;
        const auto value = platform::parsePropertyList(*bytes);
        if (!value)
            continue;
        if (auto record = HelperStagingRecord::fromPlist(*value))
            records.push_back(std::move(*record));
    }
    std::stable_sort(
        records.begin(), records.end(),
        [](const HelperStagingRecord& a, const HelperStagingRecord& b) { return a.date < b.date; });
    return records;
}

std::string HelperStagingJournal::fileName(const platform::UUID& id)
{
    return id.string() + "." + std::string(kExtension);
}

} // namespace veldo::common
