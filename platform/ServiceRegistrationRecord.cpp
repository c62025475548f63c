// Coding of the daemon registration record.
#include "platform/ServiceRegistrationRecord.h"

#include "platform/PropertyList.h"

namespace veldo::platform {

MacPath ServiceRegistrationRecord::pathFor(std::string_view plistName)
{
    return MacPath(std::string(kServiceRegistrationFolder)).appendingPathComponent(plistName);
}

Result<std::string> ServiceRegistrationRecord::encodePropertyList() const
{
    PlistValue::Dictionary dictionary;
    dictionary.emplace("Label", label);
    dictionary.emplace("BundlePath", bundlePath);
    dictionary.emplace("PlistName", plistName);
    dictionary.emplace("Approved", approved);
    return serializePropertyList(PlistValue(std::move(dictionary)), PlistFormat::binary);
}

std::optional<ServiceRegistrationRecord>
ServiceRegistrationRecord::decodePropertyList(std::string_view bytes)
{
    const auto value = parsePropertyList(bytes);
    if (!value || !value->asDictionary())
        return std::nullopt;
    auto label = value->stringFor("Label");
    auto bundlePath = value->stringFor("BundlePath");
    auto plistName = value->stringFor("PlistName");
    const PlistValue* approved = value->find("Approved");
    const auto approvedValue = approved ? approved->asBoolean() : std::nullopt;
    if (!label || !bundlePath || !plistName || !approvedValue)
        return std::nullopt;
    return ServiceRegistrationRecord{std::move(*label), std::move(*bundlePath),
                                     std::move(*plistName), *approvedValue};
}

} // namespace veldo::platform
