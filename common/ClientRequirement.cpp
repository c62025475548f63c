// The code-signing requirement text for clients of the helper daemon.
#include "common/ClientRequirement.h"

#include <vector>

#include "base/BuildNumber.h"

namespace veldo::common {

std::string clientRequirement(std::optional<std::string_view> build, bool strict)
{
    std::vector<std::string> clauses;
    clauses.emplace_back(R"(identifier "orbelkan.Veldo")");
    clauses.emplace_back("anchor apple generic");
    if (strict) {
        clauses.emplace_back("certificate 1[field.1.2.840.113635.100.6.2.6]");
        clauses.emplace_back("certificate leaf[field.1.2.840.113635.100.6.1.13]");
    }
    clauses.emplace_back(R"(certificate leaf[subject.OU] = "Q7ZT3MW2XR")");
    if (strict)
        clauses.emplace_back(R"(!entitlement["com.apple.security.get-task-allow"])");
    // Only a valid build reaches the text: its digits and dots cannot break out of the quotes.
    if (build && base::isValidBuildNumber(*build))
        clauses.push_back(R"(info["CFBundleVersion"] >= ")" + std::string(*build) + "\"");

    std::string text;
    for (const std::string& clause : clauses) {
        if (!text.empty())
            text += " and ";
        text += clause;
    }
    return text;
}

} // namespace veldo::common
