// The leftover list's rows.
#include "app/ui/LeftoverListModel.h"

#include <map>

#include "app/controller/UninstallViewModel.h"
#include "app/core/PathDisplay.h"
#include "app/ui/ConfidenceBadge.h"
#include "app/ui/RowParts.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Home.h"

namespace veldo::ui {

namespace {

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

LeftoverListModel::LeftoverListModel(controller::UninstallViewModel* model, QObject* parent)
    : QAbstractListModel(parent), m_model(model), m_home(platform::homeDirectory().path())
{
    connect(model, &controller::UninstallViewModel::leftoversChanged, this,
            &LeftoverListModel::reload);
    connect(model, &controller::UninstallViewModel::selectedLeftoverIDsChanged, this,
            &LeftoverListModel::selectionChanged);
    connect(model, &controller::UninstallViewModel::appsChanged, this, [this] {
        judge();
        if (!m_rows.empty())
            emit dataChanged(index(0), index(rowCount() - 1), {Qt::ToolTipRole});
    });
    reload();
}

std::vector<LeftoverListModel::Row>
LeftoverListModel::rowsFor(const std::vector<core::LeftoverItem>& items)
{
    // Ordered by the category's declaration order; items keep their order.
    std::map<core::LeftoverCategory, std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < items.size(); ++i)
        groups[items[i].category].push_back(i);
    std::vector<Row> rows;
    for (const auto& [category, members] : groups) {
        Row section;
        section.isSection = true;
        section.category = category;
        for (std::size_t i : members)
            section.sectionBytes += items[i].sizeBytes;
        rows.push_back(section);
        for (std::size_t n = 0; n < members.size(); ++n) {
            Row row;
            row.category = category;
            row.item = members[n];
            row.first = n == 0;
            // The divider goes under every row whose path differs from the last item's.
            row.last = n + 1 == members.size();
            row.divider = items[members[n]].url.path() != items[members.back()].url.path();
            rows.push_back(row);
        }
    }
    return rows;
}

QString LeftoverListModel::fileName(const core::LeftoverItem& item)
{
    return QString::fromStdString(item.url.lastPathComponent());
}

QString LeftoverListModel::accessibleName(const core::LeftoverItem& item)
{
    QStringList parts{fileName(item), QString::fromStdString(platform::sizeText(item.sizeBytes)),
                      ConfidenceBadge::title(item.confidence) + QStringLiteral(" confidence")};
    if (item.requiresAdmin)
        parts << QStringLiteral("needs administrator password");
    return parts.join(QStringLiteral(", "));
}

void LeftoverListModel::reload()
{
    if (!m_model)
        return;
    beginResetModel();
    m_items = m_model->leftovers();
    m_rows = rowsFor(m_items);
    judge();
    endResetModel();
}

void LeftoverListModel::judge()
{
    m_refusals.assign(m_items.size(), QString());
    if (!m_model)
        return;
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (auto sentence = m_model->removalRefusalSentence(m_items[i].url))
            m_refusals[i] = QString::fromStdString(*sentence);
}

void LeftoverListModel::selectionChanged()
{
    if (!m_rows.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

const core::LeftoverItem* LeftoverListModel::itemAt(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (row < 0 || row >= rowCount() || m_rows[static_cast<std::size_t>(row)].isSection)
        return nullptr;
    return &m_items[m_rows[static_cast<std::size_t>(row)].item];
}

int LeftoverListModel::rowCount(const QModelIndex& parent) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

Qt::ItemFlags LeftoverListModel::flags(const QModelIndex& index) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (m_rows[static_cast<std::size_t>(index.row())].isSection)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

QVariant LeftoverListModel::data(const QModelIndex& index, int role) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == IsSectionRole)
        return row.isSection;
    if (role == CategoryRole)
        return static_cast<int>(row.category);
    if (row.isSection) {
        switch (role) {
        case Qt::DisplayRole:
            return qs(core::title(row.category));
        case DetailRole:
            return qs(core::detail(row.category));
        case SizeTextRole:
            return QString::fromStdString(platform::sizeText(row.sectionBytes));
        case Qt::AccessibleTextRole:
            return qs(core::title(row.category)) + QStringLiteral(", ") +
                   QString::fromStdString(platform::sizeText(row.sectionBytes));
        default:
            return {};
        }
    }
    const core::LeftoverItem& item = m_items[row.item];
    switch (role) {
    case Qt::DisplayRole:
        return fileName(item);
    case Qt::ToolTipRole:
        if (!m_refusals[row.item].isEmpty())
            return m_refusals[row.item] + QLatin1Char('\n') +
                   QString::fromStdString(item.url.path());
        return QString::fromStdString(item.url.path());
    case Qt::AccessibleTextRole:
        return accessibleName(item);
    case RowPartRoles::kLockLabel:
        return item.requiresAdmin ? QStringLiteral("Needs administrator password") : QString();
    case RowPartRoles::kRevealName:
        return QStringLiteral("Reveal ") + fileName(item) + QStringLiteral(" in Finder");
    case Qt::CheckStateRole:
        return m_model && m_model->selectedLeftoverIDs().contains(item.id()) ? Qt::Checked
                                                                             : Qt::Unchecked;
    case SizeTextRole:
        return QString::fromStdString(platform::sizeText(item.sizeBytes));
    case PathTextRole:
        return QString::fromStdString(core::abbreviatedPath(item.url.path(), m_home));
    case ConfidenceRole:
        return static_cast<int>(item.confidence);
    case RequiresAdminRole:
        return item.requiresAdmin;
    case LastInSectionRole:
        return row.last;
    case FirstInSectionRole:
        return row.first;
    case DividerRole:
        return row.divider;
    case IdRole:
        return QString::fromStdString(item.id());
    default:
        return {};
    }
}

} // namespace veldo::ui
