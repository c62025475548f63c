// PackageRowDelegate: paints the Packages list: PackageSection's header (a 30-point DevBadge of
// the manager's symbol and tint, title over subtitle, the package count) and PackageRow
// (checkbox, name in medium weight, the version when it has one, the size only above 0 bytes) on
// the group's card, with a divider inset 42 points under every row but the last. Rows are a fixed
// height; names and versions are cut in the middle. GUI thread only.
#pragma once

#include "app/ui/CheckListDelegate.h"

namespace veldo::ui {

class PackageListModel;

class PackageRowDelegate final : public CheckListDelegate
{
    Q_OBJECT
public:
    struct Geometry
    {
        QRect checkbox;
        QRect badge;
        QRect title;
        QRect detail; // the subtitle (headers) or the version (rows); empty without a version
        QRect size;   // empty for a package of 0 bytes
        QRect card;
    };

    explicit PackageRowDelegate(QAbstractItemView* view);

    Geometry geometry(const QRect& rowRect, const QModelIndex& index) const;
    QRect checkboxRect(const QRect& rowRect, const QModelIndex& index) const override;
    QRect revealRect(const QRect&, const QModelIndex&) const override { return {}; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    int rowHeight(const QModelIndex& index, int width) const override;

private:
    const PackageListModel& model(const QModelIndex& index) const;
};

} // namespace veldo::ui
