// LifetimeStatsView: the strip of three lifetime counters (space cleaned up, items removed, apps
// cleaned) read from CleanupStats. It follows the counters' observers and repaints once per
// event-loop turn. GUI thread.
#pragma once

#include <memory>

#include <QLabel>

#include "app/core/CleanupStats.h"

namespace veldo::ui {

class LifetimeStatsView final : public QWidget
{
    Q_OBJECT
public:
    explicit LifetimeStatsView(std::shared_ptr<core::CleanupStats> stats,
                               QWidget* parent = nullptr);
    ~LifetimeStatsView() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void applyColors();

    std::shared_ptr<core::CleanupStats> m_stats;
    core::CleanupStats::ObserverId m_observer{};
    bool m_refreshQueued = false;
    QLabel* m_symbols[3];
    QLabel* m_values[3];
    QLabel* m_captions[3];
};

} // namespace veldo::ui
