// The toolchain list's rows and selection.
#include "app/ui/ToolchainListModel.h"

#include <QStringList>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/ListRowPainting.h"
#include "app/ui/RowParts.h"

namespace veldo::ui {

ToolchainListModel::KindBadge ToolchainListModel::kindBadge(const core::ToolchainItem& item)
{
    if (item.isCache)
        return {QStringLiteral("Cache"), SystemColor::green, QStringLiteral("cache")};
    if (!item.holdsUserData)
        return {QStringLiteral("Reinstallable"), SystemColor::orange,
                QStringLiteral("reinstallable")};
    return {QStringLiteral("Data"), SystemColor::red, QStringLiteral("data")};
}

QString ToolchainListModel::accessibleText(const core::ToolchainItem& item)
{
    QStringList parts{QString::fromStdString(item.title),
                      ListRowPainting::sizeString(item.sizeBytes), kindBadge(item).word};
    if (item.requiresAdmin)
        parts << QStringLiteral("needs administrator password");
    parts.removeAll(QString());
    return parts.join(QStringLiteral(", "));
}

std::int64_t ToolchainListModel::groupBytes(const core::ToolchainGroup& group)
{
    std::int64_t total = 0;
    for (const core::ToolchainItem& item : group.items)
        total += item.sizeBytes;
    return total;
}

ToolchainListModel::ToolchainListModel(controller::UninstallViewModel* model, QObject* parent)
    : FileCheckListModel("ToolchainListModel", parent), m_model(model)
{
    using VM = controller::UninstallViewModel;
    connect(m_model, &VM::toolchainGroupsChanged, this, &ToolchainListModel::rebuild);
    connect(m_model, &VM::selectedToolchainIDsChanged, this, [this] {
        if (!m_rows.empty())
            emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
    });
    rebuild();
}

void ToolchainListModel::rebuild()
{
    beginResetModel();
    m_rows.clear();
    const auto& groups = m_model->toolchainGroups();
    for (std::size_t g = 0; g < groups.size(); ++g) {
        m_rows.push_back({static_cast<int>(g), -1});
        for (std::size_t i = 0; i < groups[g].items.size(); ++i)
            m_rows.push_back({static_cast<int>(g), static_cast<int>(i)});
    }
    endResetModel();
}

int ToolchainListModel::rowCount(const QModelIndex& parent) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

bool ToolchainListModel::isHeader(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_rows[static_cast<std::size_t>(row)].item < 0;
}

const core::ToolchainGroup& ToolchainListModel::group(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_model
        ->toolchainGroups()[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)].group)];
}

const core::ToolchainItem& ToolchainListModel::item(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return group(row).items[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)].item)];
}

bool ToolchainListModel::isFirstInGroup(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_rows[static_cast<std::size_t>(row)].item == 0;
}

bool ToolchainListModel::isLastInGroup(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return !isHeader(row) && item(row).url.path() == group(row).items.back().url.path();
}

bool ToolchainListModel::isFirstGroup(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_rows[static_cast<std::size_t>(row)].group == 0;
}

bool ToolchainListModel::isChecked(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return !isHeader(row) && m_model->selectedToolchainIDs().contains(item(row).url.path());
}

QVariant ToolchainListModel::data(const QModelIndex& index, int role) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int row = index.row();
    const bool header = isHeader(row);
    switch (role) {
    case Qt::DisplayRole:
        return header ? QString::fromUtf8(core::title(group(row).kind).data())
                      : QString::fromStdString(item(row).title);
    case Qt::CheckStateRole:
        return header ? QVariant() : QVariant(isChecked(row) ? Qt::Checked : Qt::Unchecked);
    case Qt::AccessibleTextRole:
        return header ? QString::fromUtf8(core::title(group(row).kind).data())
                      : accessibleText(item(row));
    case RowPartRoles::lockLabel:
        return !header && item(row).requiresAdmin ? QStringLiteral("Needs administrator password")
                                                  : QString();
    case RowPartRoles::revealName:
        return header ? QString()
                      : QStringLiteral("Reveal ") + QString::fromStdString(item(row).title) +
                            QStringLiteral(" in Finder");
    default:
        return {};
    }
}

void ToolchainListModel::toggle(int row)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (row < 0 || row >= rowCount() || isHeader(row))
        return;
    const core::ToolchainItem copy = item(row);
    m_model->toggleToolchainItem(copy);
}

} // namespace veldo::ui
