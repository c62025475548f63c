// Fuzzes the reading of the bundle's launchd property list for the helper's activator: what reads
// is written back and reads the same, and a program path taken as inside the bundle has no
// component that leaves it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "helper/ServiceDefinition.h"
#include "platform/PropertyList.h"

using veldo::helper::ServiceDefinition;
using veldo::platform::PlistValue;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto definition = ServiceDefinition::decode(bytes);
    if (!definition)
        return 0;
    PlistValue::Dictionary services;
    for (const auto& name : definition->machServices)
        services.emplace(name, true);
    PlistValue::Dictionary job;
    job.emplace("Label", definition->label);
    job.emplace("BundleProgram", definition->bundleProgram);
    job.emplace("MachServices", std::move(services));
    const auto written = veldo::platform::serializePropertyList(
        PlistValue(std::move(job)), veldo::platform::PlistFormat::binary);
    FUZZ_CHECK(written.has_value());
    const auto again = ServiceDefinition::decode(*written);
    FUZZ_CHECK(again && *again == *definition);

    if (ServiceDefinition::isInsideBundle(definition->bundleProgram)) {
        std::string_view rest = definition->bundleProgram;
        FUZZ_CHECK(!rest.empty() && rest.front() != '/');
        while (!rest.empty()) {
            const auto end = rest.find('/');
            const std::string_view component = rest.substr(0, end);
            FUZZ_CHECK(!component.empty() && component != "." && component != "..");
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
    }
    return 0;
}
