// Property-list coding and device translation of staging journal records.
#include "common/HelperStagingRecord.h"

#include "common/HelperRecordCoding.h"

namespace veldo::common {

using platform::PlistValue;

HelperStagingRecord
HelperStagingRecord::remapped(const std::optional<HelperVolumeStamp>& current) const
{
    HelperStagingRecord copy = *this;
    if (copy.stagingIdentity)
        copy.stagingIdentity = remapDevice(*copy.stagingIdentity, volume, current);
    copy.itemIdentity = remapDevice(copy.itemIdentity, volume, current);
    if (copy.parentIdentity)
        copy.parentIdentity = remapDevice(*copy.parentIdentity, volume, current);
    return copy;
}

PlistValue HelperStagingRecord::toPlist() const
{
    PlistValue::Dictionary d;
    d.emplace("id", detail::plistOfUUID(id));
    d.emplace("kind", PlistValue(std::string(rawValue(kind))));
    d.emplace("uid", detail::plistOfId(uid));
    d.emplace("gid", detail::plistOfId(gid));
    d.emplace("home", PlistValue(home));
    d.emplace("stagingName", PlistValue(stagingName));
    if (stagingIdentity)
        d.emplace("stagingIdentity", detail::plistOfIdentity(*stagingIdentity));
    d.emplace("itemIdentity", detail::plistOfIdentity(itemIdentity));
    d.emplace("originalPath", PlistValue(originalPath));
    d.emplace("trashName", PlistValue(trashName));
    d.emplace("isDaemon", PlistValue(isDaemon));
    d.emplace("date", detail::plistOfDate(date));
    if (parentIdentity)
        d.emplace("parentIdentity", detail::plistOfIdentity(*parentIdentity));
    if (volume)
        d.emplace("volume", detail::plistOfStamp(*volume));
    return PlistValue(std::move(d));
}

std::optional<HelperStagingRecord> HelperStagingRecord::fromPlist(const PlistValue& value)
{
    detail::RecordReader in(value);
    HelperStagingRecord r;
    r.id = in.uuid("id");
    const auto kind = base::fromRawValue<HelperStagingRecord::Kind>(in.string("kind"));
    r.uid = in.id("uid");
    r.gid = in.id("gid");
    r.home = in.string("home");
    r.stagingName = in.string("stagingName");
    r.stagingIdentity = in.optionalIdentity("stagingIdentity");
    r.itemIdentity = in.identity("itemIdentity");
    r.originalPath = in.string("originalPath");
    r.trashName = in.string("trashName");
    r.isDaemon = in.boolean("isDaemon");
    r.date = in.date("date");
    r.parentIdentity = in.optionalIdentity("parentIdentity");
    r.volume = in.optionalStamp("volume");
    if (!in.ok() || !kind)
        return std::nullopt;
    r.kind = *kind;
    return r;
}

} // namespace veldo::common
