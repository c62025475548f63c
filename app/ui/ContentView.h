// ContentView: the content of every main window: the sidebar and the routed detail pane side by
// side in a splitter, the floating banners over them, the drop target and the first-appearance
// start-up.
//
// Overlays are child widgets placed over the splitter: at the top, 12 points down and centred,
// the drop notice and below it (8 points apart) the Trashed-app banner for the first notice with
// the number still waiting; 16 points above the bottom the result banner while the controller
// shows it and holds an outcome; over everything the drop overlay while a drag of files hovers.
// They come and go through withSpringAnimation. The drop notice goes after the notice duration,
// counted from when its text appeared; the same text set again does not restart it, a new text
// does, closing it stops it.
//
// A drop hands every dropped file that lies on this Mac, in order, to openApps, and is accepted
// when one of them has the extension "app" exactly; when none lies on this Mac the notice says
// it isn't an application. The first time the view is shown it starts the library watcher and,
// when no app is listed and no scan runs, the app scan. GUI thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "platform/MacPath.h"

class QMimeData;
class QSplitter;
class QTimer;

namespace veldo::ui {

class AppShell;
class DetailPane;
class DropOverlay;
class NoticeBanner;
class ResultBanner;
class TrashedAppBanner;

class ContentView final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSidebarMinimumWidth = 240;
    static constexpr int kSidebarIdealWidth = 280;
    static constexpr int kSidebarMaximumWidth = 360;
    static constexpr int kTopInset = 12;
    static constexpr int kRowSpacing = 8;
    static constexpr int kBottomInset = 16;
    static constexpr int kMinimumWidth = 820;
    static constexpr int kMinimumHeight = 540;

    explicit ContentView(AppShell& shell, QWidget* parent = nullptr);

    // The Mac paths of the dropped files that lie on this Mac, in order.
    static std::vector<platform::MacPath> droppedMacPaths(const QMimeData& data);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void firstAppearance();
    void setDropTargeted(bool targeted);
    void syncNotice();
    void syncTrashNotices();
    void syncResultBanner();
    void layoutOverlays();
    static void measureCard(QWidget* card);

    AppShell& m_shell;
    QSplitter* m_splitter;
    QWidget* m_sidebar = nullptr;
    DetailPane* m_detail;
    DropOverlay* m_dropOverlay;
    NoticeBanner* m_notice;
    TrashedAppBanner* m_trashBanner;
    ResultBanner* m_result;
    QTimer* m_noticeTimer;
    std::optional<std::string> m_timedNotice;
    bool m_noticeShown = false;
    bool m_trashShown = false;
    bool m_resultShown = false;
    bool m_isDropTargeted = false;
    bool m_appeared = false;
};

} // namespace veldo::ui
