// LeftoverListModel: the rows of the detail screen's leftover list: one section row per
// category present (in the categories' declaration order) followed by that category's items in
// the controller's order.
//
// Built from the controller's leftovers (reset when they change); the check marks follow
// selectedLeftoverIDs (the rows' check state changes, no reset). An item the removal-safety
// policy refuses carries the policy's sentence in its help text (which assistive technology
// reads too), so a tick on it says that it will stay; the sentences are judged again when the apps
// change (they are the policy's context). data() reads only what the model holds. Texts, tooltips
// and accessible names come from roles, joined as the list shows them, the lock's label and the
// reveal button's name too (RowPartRoles). Section rows are not selectable. GUI thread only: debug
// builds abort when a public member runs on another thread than the model's maker.
#pragma once

#include <string>
#include <vector>

#include <QAbstractListModel>
#include <QPointer>

#include "app/core/LeftoverItem.h"
#include "platform/SequenceChecker.h"

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class LeftoverListModel final : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role
    {
        IsSectionRole = Qt::UserRole + 1, // bool
        CategoryRole,                     // LeftoverCategory as int
        DetailRole,                       // a section's detail text
        SizeTextRole,                     // an item's size, or a section's total over every item
        PathTextRole,                     // an item's path shortened against the home folder
        ConfidenceRole,                   // MatchConfidence as int
        RequiresAdminRole,                // bool
        LastInSectionRole,                // bool: the section's card ends under the row
        FirstInSectionRole,               // bool
        DividerRole,                      // bool: an inset divider under the row
        IdRole,                           // an item's id (QString)
    };

    struct Row
    {
        bool isSection = false;
        core::LeftoverCategory category = core::LeftoverCategory::application;
        std::size_t item = 0;          // index into items() for an item row
        std::int64_t sectionBytes = 0; // for a section row
        bool first = false;
        bool last = false;
        bool divider = false;
    };

    explicit LeftoverListModel(controller::UninstallViewModel* model, QObject* parent = nullptr);

    // The rows for `items`: sections in category order, items in list order within each.
    static std::vector<Row> rowsFor(const std::vector<core::LeftoverItem>& items);
    // What the checkbox's accessible name says: file name, size, "<Title> confidence", and
    // "needs administrator password" when so, joined by ", ".
    static QString accessibleName(const core::LeftoverItem& item);
    // The item's file name (its URL's last component).
    static QString fileName(const core::LeftoverItem& item);

    const std::vector<core::LeftoverItem>& items() const
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        return m_items;
    }
    const std::vector<Row>& rows() const
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        return m_rows;
    }
    // The item of an item row; none for section rows.
    const core::LeftoverItem* itemAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void reload();
    void judge();
    void selectionChanged();

    QPointer<controller::UninstallViewModel> m_model;
    std::vector<core::LeftoverItem> m_items;
    // The policy's sentence for each of m_items that it refuses; empty for the others.
    std::vector<QString> m_refusals;
    std::vector<Row> m_rows;
    std::string m_home;
    platform::SequenceChecker m_sequence{"LeftoverListModel"};
};

} // namespace veldo::ui
