// The package list's rows and selection.
#include "app/ui/PackageListModel.h"

#include <QStringList>

#include "app/controller/UninstallViewModel.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui {

PackageListModel::ManagerHeader PackageListModel::header(core::PackageManagerKind manager)
{
    using K = core::PackageManagerKind;
    switch (manager) {
    case K::brewFormula:
        return {QStringLiteral("Homebrew Formulae"),
                QStringLiteral("Command-line packages installed with brew"), "mug.fill",
                SystemColor::orange};
    case K::brewCask:
        return {QStringLiteral("Homebrew Casks"), QStringLiteral("Apps installed with brew --cask"),
                "shippingbox.fill", SystemColor::pink};
    case K::npm:
        return {QStringLiteral("npm (global)"), QStringLiteral("Globally installed Node modules"),
                "hexagon.fill", SystemColor::green};
    case K::pip:
        return {QStringLiteral("pip Packages"), QStringLiteral("Installed Python packages"),
                "chevron.left.forwardslash.chevron.right", SystemColor::blue};
    case K::gem:
        break;
    }
    return {QStringLiteral("Ruby Gems"), QStringLiteral("Installed Ruby gems"), "diamond.fill",
            SystemColor::red};
}

QString PackageListModel::accessibleText(const core::DevPackage& package)
{
    QStringList parts{QString::fromStdString(package.name),
                      QString::fromStdString(package.version)};
    if (package.sizeBytes > 0)
        parts << QString::fromStdString(platform::sizeText(package.sizeBytes));
    parts.removeAll(QString());
    return parts.join(QStringLiteral(", "));
}

PackageListModel::PackageListModel(controller::UninstallViewModel* model, QObject* parent)
    : CheckListModel("PackageListModel", parent), m_model(model)
{
    using VM = controller::UninstallViewModel;
    connect(m_model, &VM::packageGroupsChanged, this, &PackageListModel::rebuild);
    connect(m_model, &VM::selectedPackageIDsChanged, this, [this] {
        if (!m_rows.empty())
            emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
    });
    rebuild();
}

void PackageListModel::rebuild()
{
    beginResetModel();
    m_rows.clear();
    const auto& groups = m_model->packageGroups();
    for (std::size_t g = 0; g < groups.size(); ++g) {
        m_rows.push_back({static_cast<int>(g), -1});
        for (std::size_t p = 0; p < groups[g].packages.size(); ++p)
            m_rows.push_back({static_cast<int>(g), static_cast<int>(p)});
    }
    endResetModel();
}

int PackageListModel::rowCount(const QModelIndex& parent) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

bool PackageListModel::isHeader(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_rows[static_cast<std::size_t>(row)].package < 0;
}

const core::PackageGroup& PackageListModel::group(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_model
        ->packageGroups()[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)].group)];
}

const core::DevPackage& PackageListModel::package(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return group(row)
        .packages[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)].package)];
}

bool PackageListModel::isFirstInGroup(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_rows[static_cast<std::size_t>(row)].package == 0;
}

bool PackageListModel::isLastInGroup(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return !isHeader(row) && package(row).id() == group(row).packages.back().id();
}

bool PackageListModel::isFirstGroup(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_rows[static_cast<std::size_t>(row)].group == 0;
}

bool PackageListModel::isChecked(int row) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return !isHeader(row) && m_model->isPackageSelected(package(row));
}

QVariant PackageListModel::data(const QModelIndex& index, int role) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int row = index.row();
    const bool isHead = isHeader(row);
    switch (role) {
    case Qt::DisplayRole:
        return isHead ? header(group(row).manager).title
                      : QString::fromStdString(package(row).name);
    case Qt::CheckStateRole:
        return isHead ? QVariant() : QVariant(isChecked(row) ? Qt::Checked : Qt::Unchecked);
    case Qt::AccessibleTextRole:
        return isHead ? header(group(row).manager).title : accessibleText(package(row));
    default:
        return {};
    }
}

void PackageListModel::toggle(int row)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (row < 0 || row >= rowCount() || isHeader(row))
        return;
    const core::DevPackage copy = package(row);
    m_model->togglePackage(copy);
}

} // namespace veldo::ui
