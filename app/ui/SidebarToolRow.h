// SidebarToolRow: paints one of the sidebar's tool entries: a 28-point rounded tile filled with a
// diagonal gradient and a white symbol, beside the row's title (medium) over its subtitle
// (caption, secondary). The title and subtitle come from the model's roles. GUI thread.
#pragma once

#include <string>

#include <QColor>

#include "app/ui/AppRow.h"
#include "app/ui/SystemColors.h"

namespace veldo::ui {

class SidebarToolRow : public AppRow
{
    Q_OBJECT
public:
    static constexpr int kTileSize = 28;

    SidebarToolRow(SystemColor from, SystemColor to, std::string symbol, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    SystemColor m_from;
    SystemColor m_to;
    std::string m_symbol;
};

} // namespace veldo::ui
