// RowParts: the controls a delegate paints inside a list row (its checkbox, the orange lock, the
// reveal button), named so that accessibility can show them as elements of their own.
//
// A model answers the two roles below for the rows that show a lock or a reveal button (and
// Qt::CheckStateRole for the rows with a checkbox, Qt::AccessibleTextRole for the checkbox's
// name); a delegate that paints the parts says where they lie. GUI thread.
#pragma once

#include <QModelIndex>
#include <QRect>
#include <Qt>

class QStyleOptionViewItem;

namespace veldo::ui {

enum class RowPart
{
    checkbox,
    lock,
    reveal
};

namespace RowPartRoles {
// QString: the lock's accessible label; empty (or none) on rows without the lock.
inline constexpr int kLockLabel = Qt::UserRole + 200;
// QString: the reveal button's accessible name ("Reveal … in Finder"); empty without one.
inline constexpr int kRevealName = Qt::UserRole + 201;
} // namespace RowPartRoles

// Implemented by the delegates that paint the parts.
class RowPartsDelegate
{
public:
    virtual ~RowPartsDelegate() = default;
    // Where `part` lies in the row painted with `option`; empty where the row does not show it.
    virtual QRect partRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                           RowPart part) const = 0;
};

} // namespace veldo::ui
