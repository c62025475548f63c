// Property-list coding of the move ledger's records.
#include "common/HelperMoveRecord.h"

#include "common/HelperRecordCoding.h"

namespace veldo::common {

using platform::PlistValue;

PlistValue HelperMoveRecord::toPlist() const
{
    PlistValue::Dictionary d;
    d.emplace("id", detail::plistOfUUID(id));
    d.emplace("uid", detail::plistOfId(uid));
    d.emplace("trashPath", PlistValue(trashPath));
    d.emplace("originalPath", PlistValue(originalPath));
    d.emplace("identity", detail::plistOfIdentity(identity));
    d.emplace("ownerID", detail::plistOfId(ownerID));
    d.emplace("groupID", detail::plistOfId(groupID));
    d.emplace("date", detail::plistOfDate(date));
    if (parentIdentity)
        d.emplace("parentIdentity", detail::plistOfIdentity(*parentIdentity));
    if (parentOwnerID)
        d.emplace("parentOwnerID", detail::plistOfId(*parentOwnerID));
    if (volume)
        d.emplace("volume", detail::plistOfStamp(*volume));
    return PlistValue(std::move(d));
}

std::optional<HelperMoveRecord> HelperMoveRecord::fromPlist(const PlistValue& value)
{
    detail::RecordReader in(value);
    HelperMoveRecord r;
    r.id = in.uuid("id");
    r.uid = in.id("uid");
    r.trashPath = in.string("trashPath");
    r.originalPath = in.string("originalPath");
    r.identity = in.identity("identity");
    r.ownerID = in.id("ownerID");
    r.groupID = in.id("groupID");
    r.date = in.date("date");
    r.parentIdentity = in.optionalIdentity("parentIdentity");
    r.parentOwnerID = in.optionalId("parentOwnerID");
    r.volume = in.optionalStamp("volume");
    if (!in.ok())
        return std::nullopt;
    return r;
}

} // namespace veldo::common
