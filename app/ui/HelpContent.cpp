// The Help window's questions and answers.
#include "app/ui/HelpContent.h"

#include <utility>

namespace veldo::ui {

namespace {

HelpRow row(const char* title, const char* body)
{
    HelpRow row;
    row.title = QString::fromUtf8(title);
    row.body = QString::fromUtf8(body);
    return row;
}

HelpRow row(const char* title, QString body)
{
    HelpRow row;
    row.title = QString::fromUtf8(title);
    row.body = std::move(body);
    return row;
}

HelpSectionContent section(const char* title, std::string systemImage, std::vector<HelpRow> rows)
{
    return {QString::fromUtf8(title), std::move(systemImage), std::move(rows)};
}

QString updateChecks(const QString& updateHost)
{
    return QString::fromUtf8("Checking for updates is Veldo’s only network connection: it asks %1 "
                             "for a newer version, sending Veldo’s version and possibly your "
                             "macOS version, never a system profile. Choose automatic checks and "
                             "downloads in Settings › Updates.")
        .arg(updateHost);
}

} // namespace

std::vector<HelpSectionContent> helpContent(const QString& updateHost)
{
    std::vector<HelpSectionContent> table;
    table.push_back(section(
        "Get Started", "1.circle.fill",
        {
            row("Open Veldo", "Veldo lists the apps in /Applications, /Applications/Utilities, and"
                              " ~/Applications. There are no folders to set up."),
            row("Select an app",
                "Veldo finds that app’s related files in ~/Library, /Library, and its"
                " installer receipts, and shows everything before anything is moved."),
            row("Review, then move to Trash",
                "Every item is selectable. Certain and high-confidence matches are"
                " selected by default; medium, low, and admin-required items wait for you"
                " unless you change that in Settings."),
            row("Drag, batch, and export",
                "Drag any app onto the window or the Dock icon to scan it. Select several"
                " apps in the sidebar to remove them in one pass. Export Report saves a"
                " JSON summary of any scan. Press ⌘F to search the app list."),
        }));
    table.push_back(
        section("Already-Removed Apps and Homebrew", "trash.circle.fill",
                {
                    row("Apps you trash in Finder",
                        "While Veldo is open, it notices when you drag an app to the Trash and"
                        " offers to review the files it left behind. The app itself stays in the"
                        " Trash; only its leftovers are listed. Turn this off in Settings ›"
                        " General. Reading the Trash needs Full Disk Access; without it Veldo"
                        " sees the app only as gone from Applications."),
                    row("Orphaned Files",
                        "In the sidebar under Tools. Finds preferences, caches and support"
                        " folders named after an app that is no longer installed, running, or"
                        " loaded as a background job. Nothing is rated above Medium and nothing"
                        " ever starts selected; you choose each item (Select Suggested picks the"
                        " Medium items), and each item says why it was flagged. Review before"
                        " removing: an app on another disk may still use them."),
                    row("Homebrew casks",
                        "Apps installed with brew install --cask show “Installed with Homebrew”."
                        " Uninstall with Homebrew runs brew uninstall --cask (optionally with"
                        " zap, which also deletes the app’s data) so Homebrew’s records stay"
                        " right, then Veldo rescans for anything left. Homebrew deletes the app"
                        " instead of trashing it, so this can’t be undone. Move to Trash Instead"
                        " works as usual but leaves Homebrew thinking the app is installed."),
                    row("Live app list",
                        "The sidebar updates by itself when apps are installed, updated, or"
                        " removed, and the running badge follows apps as they launch and quit."),
                }));
    table.push_back(
        section("What Veldo Looks For", "magnifyingglass.circle.fill",
                {
                    row("Application bundle", "The selected .app bundle itself."),
                    row("Preferences and saved state",
                        "App settings, ByHost preferences, and restored window state."),
                    row("Caches and support files",
                        "Application Support, Caches, Containers, Group Containers, WebKit, HTTP"
                        " storage, cookies, logs, and crash reports."),
                    row("Launch items and receipts",
                        "User and shared LaunchAgents/LaunchDaemons, plus files recorded by .pkg"
                        " installer receipts in /var/db/receipts and /Library/Receipts."),
                    row("Confidence levels",
                        "Certain: exact bundle or bundle ID path. High: the bundle ID followed by"
                        " a dot or dash in Preferences, launch agents, and helper tools (not for"
                        " Apple’s own IDs), or an extension embedded in the app. Medium: exact"
                        " app-name folder, installer receipt file, partial bundle ID match, or a"
                        " longer ID in a container or group container. Low: loose name match, or"
                        " data shared with another installed copy of the app, so review it"
                        " carefully."),
                }));
    table.push_back(
        section("Developer Footprint", "hammer.circle.fill",
                {
                    row("Disk Usage and Map",
                        "Measures caches, SDKs, and runtime versions from Homebrew, Node, Python,"
                        " Xcode, Docker, and other developer tools. Only regenerable caches are"
                        " selected by default, and removed items go to the Trash."),
                    row("Packages",
                        "Lists Homebrew formulae and casks, global npm modules, pip packages, and"
                        " Ruby gems. Uninstalling runs that tool’s own uninstaller (brew, npm,"
                        " pip, or gem). This is permanent and cannot be recovered from the Trash"
                        " or undone."),
                    row("Export setup snapshot",
                        "Writes a Brewfile, requirements.txt, npm-global.txt, and gems.txt to a"
                        " folder you choose, so you can reinstall your tools later."),
                }));
    table.push_back(section(
        "Safety Model", "checkmark.shield.fill",
        {
            row("Trash, not delete",
                "Apps and files are moved to your Trash, not erased. Undo (Edit › Undo"
                " Last Cleanup, ⌥⌘Z) restores the most recent cleanup. Package uninstalls"
                " (the Developer tab’s Packages list and Uninstall with Homebrew) are the"
                " exception: they are permanent."),
            row("Protected apps", "Veldo won’t remove Finder, Dock, System Settings, Safari, Mail,"
                                  " Terminal, Activity Monitor, apps inside /System, or itself."),
            row("No background cleanup",
                "Nothing is removed unless you select items and confirm the action."),
            row("Administrator password only when needed",
                "Root-owned items, such as files in /Library, are listed for you to"
                " confirm, then moved into your Trash after a macOS administrator prompt."
                " Undo asks for the password again; if it can’t restore an item, it is"
                " still in your Trash."),
            row("Optional administrator helper",
                "Settings › Administrator can install a small helper that you approve"
                " once in System Settings › General › Login Items. It moves system files"
                " to your Trash and back without a password, but Veldo still shows the"
                " exact list and asks you to confirm each removal. It never deletes"
                " files, and turning it off removes it."),
            row("/Library stays intact",
                "Veldo never removes /Library or its standard folders. A vendor’s own"
                " folder directly inside /Library can be removed when it belongs to the"
                " app."),
            row("Not sandboxed",
                "This direct-download build runs outside the App Sandbox so it can read"
                " standard locations across your Mac. It runs command-line tools only for"
                " the Developer tab, Uninstall with Homebrew, an administrator move you"
                " approve, unloading launch agents and daemons you remove, and listing"
                " loaded background jobs during an Orphaned Files scan."),
        }));
    table.push_back(section(
        "Troubleshooting", "wrench.and.screwdriver.fill",
        {
            row("No apps appear",
                "Veldo looks in /Applications and ~/Applications. Choose View › Reload"
                " Applications (⇧⌘R) to force a refresh; ⌘R rescans whatever is selected."),
            row("“macOS blocked Veldo from changing other apps”",
                "Turn on Veldo in System Settings › Privacy & Security › App Management"
                " (Open Privacy & Security does this), then quit and reopen Veldo. After"
                " that, apps move to the Trash without your password. Use Administrator"
                " Password Instead to move just those apps now."),
            row("Few leftovers appear",
                "For the most complete scans, turn on Veldo in System Settings › Privacy"
                " & Security › Full Disk Access. Without it, macOS hides some protected"
                " locations."),
            row("Some items fail", "Quit the app you are removing and try again. If you cancel the"
                                   " administrator prompt, root-owned items stay where they are."),
            row("Homebrew needs a password",
                "Casks that install a package usually need sudo, which only works in"
                " Terminal. Veldo shows the brew command with a Copy Command button; run"
                " it in Terminal, then press ⌘R."),
            row("The helper is waiting or out of date",
                "Allow Veldo in System Settings › General › Login Items (Settings ›"
                " Administrator has a button). After an update, use Re-register Helper if"
                " Veldo says the helper is out of date. Until then Veldo asks for your"
                " password."),
            row("A package won’t uninstall",
                "The package manager must be installed in /opt/homebrew/bin,"
                " /usr/local/bin, or on your PATH. The error shown comes from that tool."),
        }));
    table.push_back(section(
        "Privacy", "hand.raised.fill",
        {
            row("No analytics", "No accounts, tracking, telemetry, cloud sync, or file uploads."),
            row("Stored on this Mac",
                "Your Settings choices and lifetime cleanup statistics are kept in"
                " Veldo’s preferences. Reports and setup snapshots are written only where"
                " you choose."),
            row("Update checks", updateChecks(updateHost)),
            row("Local scanning",
                "Scanning, the Finder-trash watcher, and removal happen on your Mac. File"
                " names and contents are never sent anywhere."),
        }));
    return table;
}

} // namespace veldo::ui
