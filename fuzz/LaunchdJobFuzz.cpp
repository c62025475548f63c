// Fuzzes the reading of launchd job property lists: a job that reads, written back as a plain
// job dictionary, reads as the same job.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/core/LaunchdJob.h"
#include "fuzz/FuzzCheck.h"
#include "platform/PropertyList.h"

using veldo::core::LaunchdJob;
using veldo::platform::PlistValue;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto value = veldo::platform::parsePropertyList(bytes);
    if (!value)
        return 0;
    const auto job = LaunchdJob::fromValue(*value);
    FUZZ_CHECK(job.has_value() == (value->asDictionary() != nullptr));
    if (!job)
        return 0;
    PlistValue::Dictionary written;
    if (job->label)
        written.emplace("Label", *job->label);
    if (job->programPath)
        written.emplace("Program", *job->programPath);
    if (job->bundleProgram)
        written.emplace("BundleProgram", *job->bundleProgram);
    if (!job->associatedBundleIdentifiers.empty()) {
        PlistValue::Array ids(job->associatedBundleIdentifiers.begin(),
                              job->associatedBundleIdentifiers.end());
        written.emplace("AssociatedBundleIdentifiers", std::move(ids));
    }
    const auto again = LaunchdJob::fromValue(PlistValue(std::move(written)));
    FUZZ_CHECK(again && *again == *job);
    return 0;
}
