// OrphanListModel: the Orphaned Files list as rows: one header per group of the controller's
// orphan result, in its order, followed by the group's findings.
//
// It reads the controller and changes the selection only through it. The removable sizes (the
// header total and each group's size) are computed once per change of the result or of the app
// list, never while painting. A header's checkbox is on when every item of its group is selected
// (a group without items counts as all selected); setting it selects or deselects the whole group
// and no other. A row's checkbox flips its item. An item row names its lock ("Needs
// administrator rights") and its reveal button for accessibility (RowPartRoles). GUI thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "app/scanners/OrphanGroup.h"
#include "app/ui/CheckListModel.h"

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class OrphanListModel final : public FileCheckListModel
{
    Q_OBJECT
public:
    explicit OrphanListModel(controller::UninstallViewModel* model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    bool isHeader(int row) const override;
    bool hasCheckbox(int) const override
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        return true;
    }
    void toggle(int row) override;

    // The group a row belongs to (its header or one of its findings).
    const scanners::OrphanGroup& group(int row) const;
    // The finding of an item row.
    const scanners::OrphanFinding& finding(int row) const;
    // Whether the item row is its group's last.
    bool isLastInGroup(int row) const;
    // Whether the header row is the first of the list.
    bool isFirstGroup(int row) const;
    bool isChecked(int row) const;

    // The removable size of a row's group.
    std::int64_t groupBytes(int row) const;
    // The removable size of every item of the result, filtered together.
    std::int64_t totalBytes() const
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        return m_totalBytes;
    }
    // The number of every item of the result.
    std::int64_t itemCount() const
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        return m_itemCount;
    }
    // How often the sizes were computed (once per result or app list).
    int sizeComputations() const
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        return m_sizeComputations;
    }

    // The checkbox's accessible text of an item row.
    QString itemAccessibleText(int row) const;
    // The group's detail line: the bundle identifier, then " · last changed " and the date.
    static QString groupDetail(const scanners::OrphanGroup& group, const QLocale& locale);
    // A day in the locale's abbreviated style, without the time.
    static QString abbreviatedDate(const core::Date& date, const QLocale& locale);

protected:
    const platform::MacPath& itemPath(int row) const override { return finding(row).item.url; }

private:
    struct Row
    {
        int group;
        int finding; // -1 for the header
    };
    void rebuild();
    void recomputeSizes();
    void selectionChanged();

    controller::UninstallViewModel* m_model;
    std::vector<Row> m_rows;
    std::vector<std::int64_t> m_groupBytes;
    std::int64_t m_totalBytes = 0;
    std::int64_t m_itemCount = 0;
    int m_sizeComputations = 0;
};

} // namespace veldo::ui
