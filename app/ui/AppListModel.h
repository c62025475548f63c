// AppListModel: the rows of the sidebar's list over the controller's state: the "Tools" header,
// the Developer Footprint and Orphaned Files rows, the apps header, then one row per listed app.
//
// The listed apps are the controller's sortedApps(), or only the unused ones while the unused
// filter is on. The model resets only when the listed apps change; a change of the cask index,
// of an icon or of the selection count changes the rows concerned. data() reads only what the
// model holds (no disk, no service): names, texts, marks, the tooltip and the accessible name
// come from roles, so views and tests read them without painting. Header rows are neither
// selectable nor enabled. The clock decides what "unused" and "5 min. ago" mean now. GUI thread
// only: debug builds abort when a public member runs on another thread than the model's maker.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QAbstractListModel>
#include <QPointer>

#include "app/core/InstalledApp.h"
#include "platform/SequenceChecker.h"

namespace veldo::platform {
class Clock;
}
namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class AppListModel final : public QAbstractListModel
{
    Q_OBJECT
public:
    enum class RowKind
    {
        toolsHeader,
        developer,
        orphans,
        appsHeader,
        app
    };

    enum Role
    {
        KindRole = Qt::UserRole + 1, // RowKind as int
        IdRole,                      // the selection id (QString); empty for headers
        SubtitleRole,                // QString
        PathRole,                    // the app's Mac path (QString), for its icon
        SystemAppRole,               // bool
        CaskTokenRole,               // QString; empty when the app is no cask
        UnusedRole,                  // bool
    };

    // The selection ids of the two tool rows (the controller's toolSelectionIDs()).
    static constexpr std::string_view kDeveloperID = "veldo://developer";
    static constexpr std::string_view kOrphansID = "veldo://orphans";

    static constexpr int kToolsHeaderRow = 0;
    static constexpr int kDeveloperRow = 1;
    static constexpr int kOrphansRow = 2;
    static constexpr int kAppsHeaderRow = 3;
    static constexpr int kFirstAppRow = 4;

    AppListModel(controller::UninstallViewModel* model, const platform::Clock& clock,
                 QObject* parent = nullptr);

    bool showOnlyUnused() const
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        return m_showOnlyUnused;
    }
    void setShowOnlyUnused(bool on);

    const std::vector<core::InstalledApp>& listedApps() const
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        return m_listed;
    }
    // The row of a selection id; -1 when it is not listed.
    int rowOf(const std::string& id) const;
    // The selection id of a row; empty for headers.
    std::string idAt(int row) const;
    // The listed app of a row; none for the other rows.
    const core::InstalledApp* appAt(int row) const;

    // Computes the listed apps again; resets when they changed, else updates the header.
    void refresh();
    // The icon of the app at `macPath` changed.
    void iconChanged(const QString& macPath);

    // The name a row shows: the app's name (invalid UTF-8 replaced), or its bundle's file name
    // without ".app" when the name is empty.
    static QString displayName(const core::InstalledApp& app);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void refreshCaskTokens();
    void refreshHeader();
    RowKind kindOf(int row) const;
    QVariant appData(int appIndex, int role) const;

    QPointer<controller::UninstallViewModel> m_model;
    const platform::Clock& m_clock;
    bool m_showOnlyUnused = false;
    std::vector<core::InstalledApp> m_listed;
    std::vector<std::optional<std::string>> m_caskTokens; // by listed index
    QString m_header;
    platform::SequenceChecker m_sequence{"AppListModel"};
};

} // namespace veldo::ui
