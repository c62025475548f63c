// ToolchainListModel: the Disk Usage tab's list as rows: one section header per toolchain group
// of the controller, in its order, followed by the group's items. Headers have no checkbox; an
// item row's checkbox and a click on it flip the item through the controller. An item row names
// its lock ("Needs administrator password") and its reveal button for accessibility
// (RowPartRoles). GUI thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "app/core/ToolchainItem.h"
#include "app/ui/CheckListModel.h"
#include "app/ui/SystemColors.h"

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class ToolchainListModel final : public FileCheckListModel
{
    Q_OBJECT
public:
    // The kind badge of a row: "Cache" (a cache, whatever else it holds), "Reinstallable"
    // (neither a cache nor user data) or "Data".
    struct KindBadge
    {
        QString text;
        SystemColor tint;
        QString word; // in the accessible text
    };
    static KindBadge kindBadge(const core::ToolchainItem& item);
    // The checkbox's accessible text: title, size, badge word, and "needs administrator
    // password" when it needs one, joined by ", ".
    static QString accessibleText(const core::ToolchainItem& item);
    // The sum of the group's item sizes.
    static std::int64_t groupBytes(const core::ToolchainGroup& group);

    explicit ToolchainListModel(controller::UninstallViewModel* model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool isHeader(int row) const override;
    bool hasCheckbox(int row) const override { return !isHeader(row); }
    void toggle(int row) override;

    const core::ToolchainGroup& group(int row) const;
    const core::ToolchainItem& item(int row) const;
    bool isFirstInGroup(int row) const;
    bool isLastInGroup(int row) const;
    bool isFirstGroup(int row) const;
    bool isChecked(int row) const;

protected:
    const platform::MacPath& itemPath(int row) const override { return item(row).url; }

private:
    struct Row
    {
        int group;
        int item; // -1 for the header
    };
    void rebuild();

    controller::UninstallViewModel* m_model;
    std::vector<Row> m_rows;
};

} // namespace veldo::ui
