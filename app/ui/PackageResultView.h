// PackageResultView: the card above the package list that tells how the last package uninstall
// went: green with "Packages Uninstalled" when nothing failed, else orange with "Some Packages
// Weren’t Uninstalled"; the summary sentence; "Copy Details" (only with failures: the failure
// lines joined by line feeds, onto the clipboard) and "Dismiss"; then one selectable line per
// failure, at most four lines each. GUI thread only.
#pragma once

#include <functional>

#include <QWidget>

#include "app/scanners/PackageRemoverResult.h"

class QLabel;
class QPushButton;

namespace veldo::ui {

// "Uninstalled N packages", then " · " and the freed size when above 0, then " · " and
// "N failed" when some failed; then " — " and the first five removed names joined by ", ", with
// " and N more" when more were removed.
QString packageUninstallSummary(const scanners::PackageRemover::Result& result);

class PackageResultView final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kFailureLineLimit = 4;

    PackageResultView(scanners::PackageRemover::Result result, std::function<void()> dismiss,
                      QWidget* parent = nullptr);

    bool hasFailures() const { return !m_result.failed.empty(); }
    // The card's fill colour as painted now.
    QColor fillColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    scanners::PackageRemover::Result m_result;
    std::function<void()> m_onDismiss;
    QLabel* m_title;
    QLabel* m_summary;
    QPushButton* m_copy = nullptr;
    QPushButton* m_dismiss;
};

} // namespace veldo::ui
