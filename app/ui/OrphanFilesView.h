// OrphanFilesView: the Orphaned Files screen: the header (icon, titles, and once a scan was
// applied the removable total, the found count and Rescan), the content chosen from the
// controller's flags (scanning; not yet scanned with the introduction, the Full Disk Access card
// and the scan button; nothing found; the list with its note card), and in the list state the
// footer (Deselect All, Select Suggested, the selection summary, the review button). The review
// sheet opens window-modal over it.
//
// Its own state: whether the review sheet is shown, and the last answer of the Full Disk Access
// probe, which runs on `probePool` each time the screen is shown; the answer comes back through a
// watcher the screen owns, so an answer arriving after the screen went is dropped. Everything
// else is read from the controller and changed through it. GUI thread only.
#pragma once

#include <functional>

#include <QFutureWatcher>
#include <QWidget>

#include "app/core/SystemSettings.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QThreadPool;
class QToolButton;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class ActionBar;
class CheckListView;
class DestructiveButton;
class EmptyStateView;
class OrphanListModel;
class OrphanReviewSheet;
class OrphanRowDelegate;

class OrphanFilesView final : public QWidget
{
    Q_OBJECT
public:
    using FullDiskAccessStatus = core::SystemSettings::FullDiskAccessStatus;
    using Probe = std::function<FullDiskAccessStatus()>;

    // `probe` defaults to the Full Disk Access probe of the current user's home folder.
    OrphanFilesView(controller::UninstallViewModel* model, QThreadPool* probePool, Probe probe = {},
                    QWidget* parent = nullptr);
    ~OrphanFilesView() override;

    // The texts of the header's found count, the footer's summary, the note card's unreadable
    // line and the nothing-found description.
    static QString foundText(std::int64_t items);
    static QString selectionSummary(std::int64_t selected, std::int64_t bytes);
    static QString unreadableText(std::int64_t locations);
    static QString nothingFoundDescription(bool someUnreadable);

    // The review button's action: opens the review sheet.
    void openReview();

protected:
    void showEvent(QShowEvent* event) override;

private:
    enum class Content
    {
        scanning,
        notScanned,
        nothingFound,
        list
    };
    Content content() const;

    void buildHeader();
    void buildNotScanned();
    void buildList();
    void buildFooter();
    void refresh();
    void refreshNothingFound();
    void closeReview();
    void startProbe();

    controller::UninstallViewModel* m_model;
    QThreadPool* m_probePool;
    Probe m_probe;
    QFutureWatcher<FullDiskAccessStatus> m_probeWatcher;
    FullDiskAccessStatus m_fullDiskAccess = FullDiskAccessStatus::unknown;

    QLabel* m_total = nullptr;
    QLabel* m_count = nullptr;
    QWidget* m_totals = nullptr;
    QToolButton* m_rescan = nullptr;
    QStackedWidget* m_stack = nullptr;
    QWidget* m_scanningPage = nullptr;
    QWidget* m_notScannedPage = nullptr;
    QWidget* m_fdaCard = nullptr;
    QPushButton* m_fdaLink = nullptr;
    QPushButton* m_scanButton = nullptr;
    EmptyStateView* m_nothingFound = nullptr;
    bool m_nothingFoundUnreadable = false;
    QWidget* m_listPage = nullptr;
    QLabel* m_unreadable = nullptr;
    OrphanListModel* m_listModel = nullptr;
    OrphanRowDelegate* m_delegate = nullptr;
    CheckListView* m_list = nullptr;
    QWidget* m_footerBox = nullptr;
    ActionBar* m_footer = nullptr;
    QPushButton* m_deselectAll = nullptr;
    QPushButton* m_selectSuggested = nullptr;
    QLabel* m_summary = nullptr;
    DestructiveButton* m_review = nullptr;
    OrphanReviewSheet* m_sheet = nullptr;
};

} // namespace veldo::ui
