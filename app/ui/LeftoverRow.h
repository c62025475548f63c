// LeftoverRow: the delegate of the leftover list: paints an item row (checkbox, name cut in the
// middle, confidence badge, the orange lock of an item that needs an administrator, the path
// shortened against the home folder, the size, the reveal button) on its section's card with
// the 38-point inset divider, and hands section rows to CategorySection.
//
// Hit tests: a click released on the checkbox or on the row's drawn content (name, badge, lock,
// path, size) toggles the item once; a click on the reveal button reveals it and never toggles;
// the empty gap does nothing. The lock and the reveal button show their help where the pointer
// rests. GUI thread.
#pragma once

#include <functional>

#include <QStyledItemDelegate>

#include "app/core/LeftoverItem.h"
#include "app/ui/RowParts.h"

namespace veldo::ui {

class LeftoverRow : public QStyledItemDelegate, public RowPartsDelegate
{
    Q_OBJECT
public:
    static constexpr int kHorizontalPadding = 12;
    static constexpr int kVerticalPadding = 8;
    static constexpr int kDividerInset = 38;
    static constexpr int kCheckboxSize = 16;
    static constexpr int kRevealSize = 20;

    using ItemAction = std::function<void(const core::LeftoverItem&)>;

    LeftoverRow(ItemAction toggle, ItemAction reveal, QObject* parent = nullptr);

    static QString lockHelp()
    {
        return QStringLiteral("System file — Veldo will move this to the Trash after you "
                              "authorize with your administrator password.");
    }

    // Where a row's parts lie, for painting and hit tests.
    struct Layout
    {
        QRectF card;
        QRectF checkbox;
        QRectF name;
        QString shownName;
        QRectF badge;
        QRectF lock; // empty without the lock
        QRectF path;
        QString shownPath;
        QRectF size;
        QRectF reveal;
    };
    static Layout layout(const QStyleOptionViewItem& option, const QModelIndex& index);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    // The checkbox, the lock and the reveal button of an item row; nothing on section rows.
    QRect partRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                   RowPart part) const override;

private:
    ItemAction m_toggle;
    ItemAction m_reveal;
};

} // namespace veldo::ui
