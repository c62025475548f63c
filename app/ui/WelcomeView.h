// WelcomeView: fills the detail pane while nothing is selected: the mark, the title, a sentence,
// the lifetime statistics once an item was removed, five tips, and "Scanning applications…"
// while the app list is scanned. It reads the controller's statistics and isScanningApps and
// follows their changes. GUI thread.
#pragma once

#include <QPointer>
#include <QScrollArea>

#include "app/controller/UninstallViewModel.h"

class QLabel;

namespace veldo::ui {

class LifetimeStatsView;

class WelcomeView final : public QScrollArea
{
    Q_OBJECT
public:
    explicit WelcomeView(controller::UninstallViewModel* model, QWidget* parent = nullptr);
    ~WelcomeView() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void applyColors();

    QPointer<controller::UninstallViewModel> m_model;
    std::shared_ptr<core::CleanupStats> m_statsSource;
    core::CleanupStats::ObserverId m_observer{};
    bool m_refreshQueued = false;
    QLabel* m_hero;
    QLabel* m_description;
    LifetimeStatsView* m_stats;
    QWidget* m_tips;
    QWidget* m_scanning;
};

} // namespace veldo::ui
