// VeldoAppDelegate: what the application does with items opened with it from outside: its
// command-line arguments (a file manager's "Open With" passes host paths), the paths a second
// start hands over, and file-open events.
//
// An argument names a host file, absolute or relative to the working folder; it is taken as the
// Mac path it has inside the Mac root. An argument that is not UTF-8, or lies outside the Mac
// root, is left out. Opening a list brings a main window forward (opening one when none is on
// screen), then hands the Mac paths, in order, to openApps; when every item was left out the
// notice says "That item isn't a macOS application.". An empty list only brings the main window
// forward. GUI thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QStringList>

#include "platform/MacPath.h"

namespace veldo::ui {

class AppShell;

class VeldoAppDelegate final : public QObject
{
    Q_OBJECT
public:
    // One entry per item opened; none for an item left out.
    using OpenedItems = std::vector<std::optional<platform::MacPath>>;

    explicit VeldoAppDelegate(AppShell& shell, QObject* parent = nullptr);

    // The items of command-line arguments (raw bytes) run in `workingFolder` (a host path).
    // Arguments beginning with "-" are options, not items.
    static OpenedItems itemsForArguments(const std::vector<std::string>& arguments,
                                         const std::string& workingFolder);
    // The wire form of items, and back: a left-out item is the empty string.
    static QStringList toMessage(const OpenedItems& items);
    static OpenedItems fromMessage(const QStringList& message);

    void openItems(const OpenedItems& items);

protected:
    // File-open events of the platform take the same road.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AppShell& m_shell;
};

} // namespace veldo::ui
