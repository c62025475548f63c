// PackageListModel: the Packages tab's list as rows: one section header per package group of the
// controller, in its order, followed by its packages. Headers have no checkbox; a package row's
// checkbox and a click on it flip the package through the controller. GUI thread only.
#pragma once

#include <string>
#include <vector>

#include "app/core/DevPackage.h"
#include "app/ui/CheckListModel.h"
#include "app/ui/SystemColors.h"

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class PackageListModel final : public CheckListModel
{
    Q_OBJECT
public:
    // A manager's section header: title, subtitle, symbol and tint.
    struct ManagerHeader
    {
        QString title;
        QString subtitle;
        std::string symbol;
        SystemColor tint;
    };
    static ManagerHeader header(core::PackageManagerKind manager);
    // The checkbox's accessible text: the non-empty ones of name, version and size (only above
    // 0 bytes), joined by ", ".
    static QString accessibleText(const core::DevPackage& package);

    explicit PackageListModel(controller::UninstallViewModel* model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool isHeader(int row) const override;
    bool hasCheckbox(int row) const override { return !isHeader(row); }
    void toggle(int row) override;
    void reveal(int) override { VELDO_CHECK_SEQUENCE(m_sequence); }

    const core::PackageGroup& group(int row) const;
    const core::DevPackage& package(int row) const;
    bool isFirstInGroup(int row) const;
    bool isLastInGroup(int row) const;
    bool isFirstGroup(int row) const;
    bool isChecked(int row) const;

private:
    struct Row
    {
        int group;
        int package; // -1 for the header
    };
    void rebuild();

    controller::UninstallViewModel* m_model;
    std::vector<Row> m_rows;
};

} // namespace veldo::ui
