#include "app/ui/HelperStatusPresentation.h"

#include "app/removal/PrivilegedHelperClient.h"

namespace veldo::ui {

using removal::PrivilegedHelperStatus;

HelperState HelperState::of(const removal::PrivilegedHelperClient& client)
{
    return {client.status(),        client.helperBuild(), client.versionMismatch(),
            client.isUnreachable(), client.isWorking(),   client.lastError()};
}

QString helperStatusLabel(const HelperState& state, bool usePrivilegedHelper)
{
    const bool enabled = state.status == PrivilegedHelperStatus::enabled;
    if (enabled && state.versionMismatch)
        return QStringLiteral("On, but out of date");
    if (enabled && state.isUnreachable)
        return QStringLiteral("On, not responding");
    if (enabled && !usePrivilegedHelper)
        return QStringLiteral("Registered, not used");
    if (state.lastError && !enabled)
        return QStringLiteral("Error");
    switch (state.status) {
    case PrivilegedHelperStatus::notRegistered:
        return QStringLiteral("Off");
    case PrivilegedHelperStatus::requiresApproval:
        return QStringLiteral("Waiting for approval");
    case PrivilegedHelperStatus::enabled:
        return QStringLiteral("On");
    case PrivilegedHelperStatus::notFound:
        return QStringLiteral("Missing from Veldo");
    case PrivilegedHelperStatus::unavailable:
        break;
    }
    return QStringLiteral("Not available");
}

std::string helperStatusSymbol(const HelperState& state)
{
    switch (state.status) {
    case PrivilegedHelperStatus::requiresApproval:
        return "clock.fill";
    case PrivilegedHelperStatus::enabled:
        return state.versionMismatch || state.isUnreachable ? "exclamationmark.circle.fill"
                                                            : "checkmark.circle.fill";
    case PrivilegedHelperStatus::notFound:
        return "exclamationmark.triangle.fill";
    case PrivilegedHelperStatus::notRegistered:
    case PrivilegedHelperStatus::unavailable:
        break;
    }
    return "circle";
}

SystemColor helperStatusColor(const HelperState& state)
{
    switch (state.status) {
    case PrivilegedHelperStatus::requiresApproval:
        return SystemColor::orange;
    case PrivilegedHelperStatus::enabled:
        return state.versionMismatch || state.isUnreachable ? SystemColor::orange
                                                            : SystemColor::green;
    case PrivilegedHelperStatus::notFound:
        return SystemColor::red;
    case PrivilegedHelperStatus::notRegistered:
    case PrivilegedHelperStatus::unavailable:
        break;
    }
    return SystemColor::secondaryLabel;
}

QString helperStatusExplanation(const HelperState& state)
{
    const bool enabled = state.status == PrivilegedHelperStatus::enabled;
    if (enabled && state.versionMismatch) {
        QString text =
            QStringLiteral("The helper that answered belongs to another version of Veldo");
        if (state.helperBuild)
            text += QStringLiteral(" (build ") + QString::fromStdString(*state.helperBuild) +
                    QStringLiteral(")");
        return text + QStringLiteral(". Veldo asks for your password until you re-register it.");
    }
    if (enabled && state.isUnreachable)
        return QString::fromUtf8("The helper didn\u2019t answer, so Veldo asks for your password "
                                 "instead. Try turning it off and on again.");
    switch (state.status) {
    case PrivilegedHelperStatus::notRegistered:
        return QStringLiteral(
            "Veldo asks for an administrator password each time it removes system files.");
    case PrivilegedHelperStatus::requiresApproval:
        return QString::fromUtf8("Allow \u201cVeldo\u201d in System Settings \u25b8 General "
                                 "\u25b8 Login Items to finish turning on the helper.");
    case PrivilegedHelperStatus::enabled:
        return QStringLiteral(
            "Veldo moves system files to the Trash without asking for a password each time.");
    case PrivilegedHelperStatus::notFound:
        return QStringLiteral(
            "The helper is missing from this copy of Veldo. Reinstall Veldo to use it.");
    case PrivilegedHelperStatus::unavailable:
        break;
    }
    return QStringLiteral("This version of Veldo can't install a privileged helper.");
}

} // namespace veldo::ui
