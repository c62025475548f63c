// TreemapView: the squarified disk-usage map. One button per placed tile, laid out by
// layoutTreemap over the view's whole rectangle on every resize and every new tile list.
//
// A button keeps its identity by tile id while its rectangle changes; tiles that get no
// rectangle (0 bytes in a space already used up) have no button. Each button shows, by strict
// size thresholds, the label block (symbol, label, size), the white symbol alone, or only its
// fill (TreemapTileButton). The accessible value of a tile is its share of the sum of all tiles'
// bytes ("42% of total", empty when the sum is below 1 byte), its description the action hint.
// Without a select handler every button is disabled. The view is an accessible group named "Disk
// usage map". GUI thread only.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "app/ui/TreemapTile.h"
#include "app/ui/TreemapTileButton.h"

namespace veldo::ui {

// Sums of byte counts: wide enough for any number of 64-bit counts anyone will show.
__extension__ typedef __int128 ByteSum;

class TreemapView final : public QWidget
{
    Q_OBJECT
public:
    using SelectHandler = std::function<void(const TreemapTile&)>;

    TreemapView(std::vector<TreemapTile> tiles, std::optional<QString> actionHint,
                SelectHandler onSelect, QWidget* parent = nullptr);

    void setTiles(std::vector<TreemapTile> tiles);
    void setActionHint(std::optional<QString> actionHint);
    void setOnSelect(SelectHandler onSelect);

    const std::vector<TreemapTile>& tiles() const { return m_tiles; }
    // The buttons of the placed tiles, in placement order.
    std::vector<TreemapTileButton*> buttons() const;
    TreemapTileButton* button(const std::string& id) const;

    // "42% of total" for `bytes` of `total`; empty when the total is below 1 byte. Negative
    // counts are taken as 0.
    static QString shareText(std::int64_t bytes, ByteSum total);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    void select(const std::string& id);

    std::vector<TreemapTile> m_tiles;
    std::optional<QString> m_actionHint;
    SelectHandler m_onSelect;
    std::map<std::string, TreemapTileButton*> m_buttons;
    std::vector<TreemapTileButton*> m_order;
};

} // namespace veldo::ui
