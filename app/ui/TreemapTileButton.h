// TreemapTileButton: one tile of the disk-usage map as a button, placed by TreemapView.
//
// The face: the colour's gradient in a rounded rectangle with an inner stroke of the window
// background; over it, by strict size thresholds, the label block (symbol, label on one or two
// lines, the size) on the material background, the white symbol alone, or nothing. Tooltip
// "label — size", accessible name "label, size", description the map's action hint. GUI thread
// only.
#pragma once

#include <QAbstractButton>
#include <QRectF>
#include <QString>

#include "app/ui/TreemapTile.h"

namespace veldo::ui {

class TreemapTileButton final : public QAbstractButton
{
    Q_OBJECT
public:
    TreemapTileButton(TreemapTile tile, QWidget* parent);

    const TreemapTile& tile() const { return m_tile; }
    // The accessible value: the tile's share of the total, or empty.
    QString shareText() const { return m_share; }

    void place(const TreemapTile& tile, const QRectF& rect, const QString& share,
               const QString& hint);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Face
    {
        labelAndSize, // label on up to two lines, the size below
        label,        // label on one line
        symbol,       // the white symbol alone
        fill          // nothing over the fill
    };

    Face face() const;
    void paintLabelBlock(QPainter& painter, bool withSize);

    TreemapTile m_tile;
    QRectF m_rect;
    QString m_size;
    QString m_share;
};

} // namespace veldo::ui
