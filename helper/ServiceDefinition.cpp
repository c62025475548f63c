#include "helper/ServiceDefinition.h"

#include "platform/PropertyList.h"

namespace veldo::helper {

std::optional<ServiceDefinition> ServiceDefinition::decode(std::string_view bytes)
{
    const auto value = platform::parsePropertyList(bytes);
    if (!value || !value->asDictionary())
        return std::nullopt;
    auto label = value->stringFor("Label");
    auto program = value->stringFor("BundleProgram");
    const platform::PlistValue* services = value->find("MachServices");
    const auto* names = services ? services->asDictionary() : nullptr;
    if (!label || !program || !names)
        return std::nullopt;
    ServiceDefinition definition{std::move(*label), std::move(*program), {}};
    for (const auto& entry : *names)
        definition.machServices.push_back(entry.first);
    return definition;
}

bool ServiceDefinition::isInsideBundle(std::string_view path)
{
    if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos)
        return false;
    while (!path.empty()) {
        const auto end = path.find('/');
        const std::string_view component = path.substr(0, end);
        if (component.empty() || component == "." || component == "..")
            return false;
        if (end == std::string_view::npos)
            break;
        path.remove_prefix(end + 1);
        if (path.empty())
            return false; // a trailing "/"
    }
    return true;
}

} // namespace veldo::helper
