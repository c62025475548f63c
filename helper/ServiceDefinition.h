// ServiceDefinition: what the helper's activator takes from the launchd property list inside the
// app bundle ("Contents/Library/LaunchDaemons/orbelkan.Veldo.Helper.plist"): the job's "Label",
// its "BundleProgram" (the daemon's path inside the bundle) and the names of its "MachServices".
// Other keys are ignored. The bytes are untrusted: they go through the property-list reader's
// guard. Pure; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veldo::helper {

struct ServiceDefinition
{
    std::string label;
    std::string bundleProgram;
    std::vector<std::string> machServices; // the keys of the "MachServices" dictionary, sorted

    // None unless the bytes are a dictionary with the strings "Label" and "BundleProgram" and a
    // dictionary "MachServices".
    static std::optional<ServiceDefinition> decode(std::string_view bytes);

    // `path` is a relative path that stays inside the bundle: not empty, no leading "/", no empty,
    // "." or ".." component, no NUL.
    static bool isInsideBundle(std::string_view path);

    friend bool operator==(const ServiceDefinition&, const ServiceDefinition&) = default;
};

} // namespace veldo::helper
