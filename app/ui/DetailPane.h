// DetailPane: the routed half of the main window. It shows one screen, chosen by DetailRoute
// from the controller's selection, and makes it afresh whenever the route key changes, so a
// sheet or confirmation a screen opened over one selection goes with that screen. The screen
// shown is the pane's child named "screen".
//
// It follows the selection, the selected app, the app list and the detail app, and decides once
// per event-loop turn after they changed (the controller changes several of them together). A
// route whose screen this build lacks shows the welcome screen. GUI thread.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/ui/DetailRoute.h"
#include "app/ui/WindowContent.h"

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class DetailPane final : public QWidget
{
    Q_OBJECT
public:
    DetailPane(controller::UninstallViewModel& model, WindowContent content,
               QWidget* parent = nullptr);

    // Routes now, without waiting for the event loop.
    void refresh();

private:
    void scheduleRefresh();
    QWidget* makeScreen(const DetailRouteKey& key);

    controller::UninstallViewModel& m_model;
    WindowContent m_content;
    DetailRouteKey m_key;
    QPointer<QWidget> m_screen;
    bool m_refreshQueued = false;
};

} // namespace veldo::ui
