// Display texts of the leftover categories.
#include "app/core/LeftoverCategory.h"

namespace veldo::core {

namespace {

struct Texts
{
    std::string_view title;
    std::string_view detail;
    std::string_view symbol;
};

constexpr Texts kTexts[] = {
    {"Application", "The app bundle itself", "app.dashed"},
    {"Application Support", "Databases, plug-ins and user data", "folder.fill"},
    {"Caches", "Temporary cached data", "shippingbox.fill"},
    {"Preferences", "Saved settings and defaults", "gearshape.fill"},
    {"Containers", "Sandboxed app storage", "cube.box.fill"},
    {"Group Containers", "Shared app group storage", "square.stack.3d.up.fill"},
    {"Saved State", "Restored window state", "macwindow"},
    {"Logs", "Diagnostic log files", "doc.text.fill"},
    {"Launch Agents & Daemons", "Background login items", "bolt.fill"},
    {"Cookies", "Stored HTTP cookies", "circle.grid.cross.fill"},
    {"Web Data", "WebKit & local storage", "globe"},
    {"Installer Receipts", "Package installation records", "doc.badge.gearshape"},
    {"Crash Reports", "Saved crash diagnostics", "exclamationmark.triangle.fill"},
};

const Texts& texts(LeftoverCategory c)
{
    return kTexts[static_cast<std::size_t>(c)];
}

} // namespace

std::string_view title(LeftoverCategory category)
{
    return texts(category).title;
}

std::string_view detail(LeftoverCategory category)
{
    return texts(category).detail;
}

std::string_view symbolName(LeftoverCategory category)
{
    return texts(category).symbol;
}

} // namespace veldo::core
