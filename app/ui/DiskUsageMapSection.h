// DiskUsageMapSection: the Map tab's content: the header line above the framed two-level
// disk-usage map of the controller's toolchain groups.
//
// At the top level a click on a category drills into it; drilled in, a click reveals that item in
// the file manager, and "All" goes back. The tiles, header and hint are rebuilt from the
// controller and the selected kind in the event-loop turn after either changes (or the palette
// does); the kind itself belongs to the developer screen, which passes it in. GUI thread only.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/SelectedMapKind.h"
#include "app/ui/TreemapView.h"

namespace veldo::platform::qt {
class FileManagerReveal;
}

namespace veldo::ui {

class DiskUsageMapSection final : public QWidget
{
    Q_OBJECT
public:
    DiskUsageMapSection(controller::UninstallViewModel* model, SelectedMapKind* selectedKind,
                        QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    // The map's select action: drill into a category tile at the top level; else reveal the
    // drilled-in group's first item whose path is the tile's id; otherwise nothing.
    void selectTile(const TreemapTile& tile);
    // Rebuilds once per event-loop turn, however many changes came in it.
    void scheduleRefresh();
    void refresh();
    void changeKindAnimated(std::optional<core::ToolchainKind> kind);

    controller::UninstallViewModel* m_model;
    SelectedMapKind* m_selectedKind;
    platform::qt::FileManagerReveal* m_reveal;
    QPushButton* m_all;
    QLabel* m_title;
    QLabel* m_detail;
    QWidget* m_frame;
    TreemapView* m_map;
    QWidget* m_outline;
    bool m_refreshQueued = false;
};

} // namespace veldo::ui
