// Reading a launchd job's property list.
#include "app/core/LaunchdJob.h"

#include "base/CompilerWarnings.h"
#include "platform/PropertyList.h"

namespace veldo::core {

std::optional<LaunchdJob> LaunchdJob::fromPlist(const platform::MacPath& plist)
{
    auto value = platform::readPropertyListFile(plist);
    if (!value)
        return std::nullopt;
    return fromValue(*value);
}

std::optional<LaunchdJob> LaunchdJob::fromValue(const platform::PlistValue& value)
{
    if (!value.asDictionary())
        return std::nullopt;
    LaunchdJob job;
    job.label = value.stringFor("Label");
    job.programPath = value.stringFor("Program");
    if (!job.programPath) {
        if (const auto* args = value.find("ProgramArguments"); args && args->asArray()) {
            const auto& array = *args->asArray();
            bool allStrings = !array.empty();
            for (const auto& a : array)
                allStrings = allStrings && a.asString();
            VELDO_GCC12_IGNORE("-Wnull-dereference")
            if (allStrings)
                job.programPath = *array.front().asString();
            VELDO_GCC12_IGNORE_END
        }
    }
    job.bundleProgram = value.stringFor("BundleProgram");
    if (const auto* ids = value.find("AssociatedBundleIdentifiers")) {
        if (const auto* s = ids->asString()) {
            job.associatedBundleIdentifiers = {*s};
        } else if (const auto* array = ids->asArray()) {
            std::vector<std::string> strings;
            bool allStrings = true;
            for (const auto& a : *array) {
                if (const auto* e = a.asString())
                    strings.push_back(*e);
                else
                    allStrings = false;
            }
            if (allStrings)
                job.associatedBundleIdentifiers = std::move(strings);
        }
    }
    return job;
}

} // namespace veldo::core
