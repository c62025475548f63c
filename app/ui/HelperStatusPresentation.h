// HelperStatusPresentation: what the Administrator settings tab shows of the privileged helper:
// the status label, symbol, colour and explanation, as pure functions of the helper client's
// fields (and, for the label, the "use background helper" setting). Any thread.
#pragma once

#include <optional>
#include <string>

#include <QString>

#include "app/removal/PrivilegedHelperStatus.h"
#include "app/ui/SystemColors.h"

namespace veldo::removal {
class PrivilegedHelperClient;
}

namespace veldo::ui {

// The client's fields the tab reads.
struct HelperState
{
    removal::PrivilegedHelperStatus status = removal::PrivilegedHelperStatus::notRegistered;
    std::optional<std::string> helperBuild;
    bool versionMismatch = false;
    bool isUnreachable = false;
    bool isWorking = false;
    std::optional<std::string> lastError;

    // The client's fields now (GUI thread).
    static HelperState of(const removal::PrivilegedHelperClient& client);
};

QString helperStatusLabel(const HelperState& state, bool usePrivilegedHelper);
std::string helperStatusSymbol(const HelperState& state);
SystemColor helperStatusColor(const HelperState& state);
QString helperStatusExplanation(const HelperState& state);

} // namespace veldo::ui
