// The sidebar list's rows over the controller's state.
#include "app/ui/AppListModel.h"

#include <algorithm>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppListView.h"
#include "app/ui/AppRow.h"
#include "platform/Clock.h"

namespace veldo::ui {

namespace {

QString developerTitle()
{
    return QStringLiteral("Developer Footprint");
}
QString developerSubtitle()
{
    return QStringLiteral("Caches, runtimes & build junk");
}
QString orphansTitle()
{
    return QStringLiteral("Orphaned Files");
}
QString orphansSubtitle()
{
    return QStringLiteral("Leftovers of apps already gone");
}

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

AppListModel::AppListModel(controller::UninstallViewModel* model, const platform::Clock& clock,
                           QObject* parent)
    : QAbstractListModel(parent), m_model(model), m_clock(clock)
{
    using VM = controller::UninstallViewModel;
    for (auto signal : {&VM::appsChanged, &VM::searchTextChanged, &VM::sortOrderChanged})
        connect(model, signal, this, &AppListModel::refresh);
    connect(model, &VM::caskIndexChanged, this, &AppListModel::refreshCaskTokens);
    connect(model, &VM::selectedAppIDsChanged, this, &AppListModel::refreshHeader);
    refresh();
}

void AppListModel::setShowOnlyUnused(bool on)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_showOnlyUnused == on)
        return;
    m_showOnlyUnused = on;
    refresh();
}

QString AppListModel::displayName(const core::InstalledApp& app)
{
    QString name = QString::fromStdString(app.name);
    if (!name.trimmed().isEmpty())
        return name;
    name = QString::fromStdString(app.url.lastPathComponent());
    if (name.endsWith(QStringLiteral(".app"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

void AppListModel::refresh()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!m_model)
        return;
    std::vector<core::InstalledApp> listed = m_model->sortedApps();
    if (m_showOnlyUnused)
        listed = AppListView::unusedApps(listed, m_clock.now());
    if (listed != m_listed) {
        beginResetModel();
        m_listed = std::move(listed);
        m_caskTokens.assign(m_listed.size(), std::nullopt);
        for (std::size_t i = 0; i < m_listed.size(); ++i)
            if (auto cask = m_model->caskToken(m_listed[i].url))
                m_caskTokens[i] = std::move(cask->token);
        m_header = AppListView::appSectionTitle(
            static_cast<int>(m_listed.size()),
            AppListView::selectedAppCount(m_model->selectedAppIDs()), m_showOnlyUnused);
        endResetModel();
        return;
    }
    refreshHeader();
}

void AppListModel::refreshCaskTokens()
{
    if (!m_model)
        return;
    for (std::size_t i = 0; i < m_listed.size(); ++i) {
        std::optional<std::string> token;
        if (auto cask = m_model->caskToken(m_listed[i].url))
            token = std::move(cask->token);
        if (token != m_caskTokens[i]) {
            m_caskTokens[i] = std::move(token);
            const QModelIndex changed = index(kFirstAppRow + static_cast<int>(i));
            emit dataChanged(changed, changed);
        }
    }
}

void AppListModel::refreshHeader()
{
    if (!m_model)
        return;
    const QString header = AppListView::appSectionTitle(
        static_cast<int>(m_listed.size()), AppListView::selectedAppCount(m_model->selectedAppIDs()),
        m_showOnlyUnused);
    if (header == m_header)
        return;
    m_header = header;
    emit dataChanged(index(kAppsHeaderRow), index(kAppsHeaderRow));
}

void AppListModel::iconChanged(const QString& macPath)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const int row = rowOf(macPath.toStdString());
    if (row >= kFirstAppRow)
        emit dataChanged(index(row), index(row), {Qt::DecorationRole});
}

int AppListModel::rowOf(const std::string& id) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (id == kDeveloperID)
        return kDeveloperRow;
    if (id == kOrphansID)
        return kOrphansRow;
    const auto found = std::ranges::find_if(
        m_listed, [&](const core::InstalledApp& app) { return app.id() == id; });
    return found == m_listed.end() ? -1 : kFirstAppRow + static_cast<int>(found - m_listed.begin());
}

std::string AppListModel::idAt(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    switch (kindOf(row)) {
    case RowKind::developer:
        return std::string(kDeveloperID);
    case RowKind::orphans:
        return std::string(kOrphansID);
    case RowKind::app:
        return m_listed[static_cast<std::size_t>(row - kFirstAppRow)].id();
    default:
        return {};
    }
}

const core::InstalledApp* AppListModel::appAt(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (row < kFirstAppRow || row >= rowCount())
        return nullptr;
    return &m_listed[static_cast<std::size_t>(row - kFirstAppRow)];
}

AppListModel::RowKind AppListModel::kindOf(int row) const
{
    switch (row) {
    case kToolsHeaderRow:
        return RowKind::toolsHeader;
    case kDeveloperRow:
        return RowKind::developer;
    case kOrphansRow:
        return RowKind::orphans;
    case kAppsHeaderRow:
        return RowKind::appsHeader;
    default:
        return RowKind::app;
    }
}

int AppListModel::rowCount(const QModelIndex& parent) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return parent.isValid() ? 0 : kFirstAppRow + static_cast<int>(m_listed.size());
}

Qt::ItemFlags AppListModel::flags(const QModelIndex& index) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!index.isValid())
        return Qt::NoItemFlags;
    const RowKind kind = kindOf(index.row());
    if (kind == RowKind::toolsHeader || kind == RowKind::appsHeader)
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant AppListModel::data(const QModelIndex& index, int role) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const RowKind kind = kindOf(index.row());
    if (role == KindRole)
        return static_cast<int>(kind);
    if (role == IdRole)
        return qs(idAt(index.row()));
    switch (kind) {
    case RowKind::toolsHeader:
        return role == Qt::DisplayRole || role == Qt::AccessibleTextRole
                   ? QVariant(QStringLiteral("Tools"))
                   : QVariant();
    case RowKind::appsHeader:
        return role == Qt::DisplayRole || role == Qt::AccessibleTextRole ? QVariant(m_header)
                                                                         : QVariant();
    case RowKind::developer:
    case RowKind::orphans: {
        const bool developer = kind == RowKind::developer;
        const QString title = developer ? developerTitle() : orphansTitle();
        const QString subtitle = developer ? developerSubtitle() : orphansSubtitle();
        if (role == Qt::DisplayRole)
            return title;
        if (role == SubtitleRole)
            return subtitle;
        if (role == Qt::AccessibleTextRole)
            return title + QStringLiteral(", ") + subtitle;
        return {};
    }
    case RowKind::app:
        return appData(index.row() - kFirstAppRow, role);
    }
    return {};
}

QVariant AppListModel::appData(int appIndex, int role) const
{
    const core::InstalledApp& app = m_listed[static_cast<std::size_t>(appIndex)];
    const std::optional<std::string>& token = m_caskTokens[static_cast<std::size_t>(appIndex)];
    const core::Date now = m_clock.now();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return displayName(app);
    case SubtitleRole:
        return AppRow::subtitle(app, now);
    case PathRole:
        return qs(app.url.path());
    case SystemAppRole:
        return app.isSystemApp;
    case CaskTokenRole:
        return token ? qs(*token) : QString();
    case UnusedRole:
        return AppRow::isUnused(app, now);
    case Qt::AccessibleTextRole: {
        QStringList parts{displayName(app), AppRow::subtitle(app, now)};
        if (app.isSystemApp)
            parts << AppRow::systemAppHelp();
        if (token)
            parts << QStringLiteral("Installed with Homebrew");
        if (AppRow::isUnused(app, now))
            parts << QStringLiteral("Unused");
        return parts.join(QStringLiteral(", "));
    }
    default:
        return {};
    }
}

} // namespace veldo::ui
