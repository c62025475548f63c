// The orphan list's rows, sizes and selection.
#include "app/ui/OrphanListModel.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/ConfidenceBadge.h"
#include "app/ui/DatePattern.h"
#include "app/ui/RowParts.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui {
namespace {

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

OrphanListModel::OrphanListModel(controller::UninstallViewModel* model, QObject* parent)
    : FileCheckListModel("OrphanListModel", parent), m_model(model)
{
    using VM = controller::UninstallViewModel;
    connect(m_model, &VM::orphanResultChanged, this, &OrphanListModel::rebuild);
    connect(m_model, &VM::appsChanged, this, &OrphanListModel::recomputeSizes);
    connect(m_model, &VM::selectedOrphanIDsChanged, this, &OrphanListModel::selectionChanged);
    rebuild();
}

void OrphanListModel::rebuild()
{
    beginResetModel();
    m_rows.clear();
    const auto& groups = m_model->orphanResult().groups;
    for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
        m_rows.push_back({g, -1});
        for (int f = 0; f < static_cast<int>(groups[static_cast<std::size_t>(g)].findings.size());
             ++f)
            m_rows.push_back({g, f});
    }
    recomputeSizes();
    endResetModel();
}

void OrphanListModel::recomputeSizes()
{
    ++m_sizeComputations;
    const auto& groups = m_model->orphanResult().groups;
    m_groupBytes.assign(groups.size(), 0);
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (const core::LeftoverItem& item : m_model->removableItems(groups[g].items()))
            m_groupBytes[g] += item.sizeBytes;
    const std::vector<core::LeftoverItem> all = scanners::OrphanGroup::allItems(groups);
    m_itemCount = static_cast<std::int64_t>(all.size());
    m_totalBytes = 0;
    for (const core::LeftoverItem& item : m_model->removableItems(all))
        m_totalBytes += item.sizeBytes;
    if (!m_rows.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::DisplayRole});
}

void OrphanListModel::selectionChanged()
{
    if (!m_rows.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

int OrphanListModel::rowCount(const QModelIndex& parent) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

bool OrphanListModel::isHeader(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_rows[static_cast<std::size_t>(row)].finding < 0;
}

const scanners::OrphanGroup& OrphanListModel::group(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_model->orphanResult()
        .groups[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)].group)];
}

const scanners::OrphanFinding& OrphanListModel::finding(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return group(row)
        .findings[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)].finding)];
}

bool OrphanListModel::isLastInGroup(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const auto& findings = group(row).findings;
    return !isHeader(row) && finding(row).item.url.path() == findings.back().item.url.path();
}

bool OrphanListModel::isFirstGroup(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_rows[static_cast<std::size_t>(row)].group == 0;
}

std::int64_t OrphanListModel::groupBytes(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_groupBytes[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)].group)];
}

bool OrphanListModel::isChecked(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const auto& selected = m_model->selectedOrphanIDs();
    if (!isHeader(row))
        return selected.contains(finding(row).item.url.path());
    for (const scanners::OrphanFinding& f : group(row).findings)
        if (!selected.contains(f.item.url.path()))
            return false;
    return true;
}

QString OrphanListModel::itemAccessibleText(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const core::LeftoverItem& item = finding(row).item;
    QStringList parts{qs(item.url.lastPathComponent()), qs(platform::sizeText(item.sizeBytes)),
                      ConfidenceBadge::title(item.confidence) + QStringLiteral(" confidence")};
    if (item.requiresAdmin)
        parts << QStringLiteral("needs administrator rights");
    return parts.join(QStringLiteral(", "));
}

QString OrphanListModel::abbreviatedDate(const core::Date& date, const QLocale& locale)
{
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count();
    return locale.toString(QDateTime::fromSecsSinceEpoch(seconds).date(),
                           abbreviatedDatePattern(locale));
}

QString OrphanListModel::groupDetail(const scanners::OrphanGroup& group, const QLocale& locale)
{
    QString detail = qs(group.bundleID);
    if (const auto last = group.lastModified())
        detail += QStringLiteral(" · last changed ") + abbreviatedDate(*last, locale);
    return detail;
}

QVariant OrphanListModel::data(const QModelIndex& index, int role) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return isHeader(row) ? qs(group(row).displayName)
                             : qs(finding(row).item.url.lastPathComponent());
    case Qt::CheckStateRole:
        return isChecked(row) ? Qt::Checked : Qt::Unchecked;
    case Qt::ToolTipRole:
        return isHeader(row) ? QVariant() : QVariant(qs(finding(row).reason));
    case Qt::AccessibleTextRole:
        return isHeader(row)
                   ? QStringLiteral("Select every item from ") + qs(group(row).displayName)
                   : itemAccessibleText(row);
    case RowPartRoles::kLockLabel:
        return !isHeader(row) && finding(row).item.requiresAdmin
                   ? QStringLiteral("Needs administrator rights")
                   : QString();
    case RowPartRoles::kRevealName:
        return isHeader(row)
                   ? QString()
                   : QStringLiteral("Reveal ") + qs(finding(row).item.url.lastPathComponent()) +
                         QStringLiteral(" in Finder");
    default:
        return {};
    }
}

void OrphanListModel::toggle(int row)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (row < 0 || row >= rowCount())
        return;
    if (isHeader(row)) {
        const scanners::OrphanGroup g = group(row);
        m_model->toggleOrphanGroup(g, !isChecked(row));
        return;
    }
    const scanners::OrphanFinding f = finding(row);
    m_model->toggleOrphan(f);
}

} // namespace veldo::ui
