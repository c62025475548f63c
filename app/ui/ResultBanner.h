// ResultBanner: the floating card shown after a removal: what happened (ResultBannerContent of the
// outcome) and the follow-up buttons: "Open Settings", "Reveal in Finder", Undo, "Done".
//
// The banner keeps no domain state: the main window hands it the controller's lastOutcome,
// isUndoing and canUndo and connects its request signals to the actions. Esc presses "Done" while
// the banner is shown. Each new title and summary, and each first showing, is announced once
// ("Title. Summary"). At most 660 points wide: a long title is cut, a long summary wraps. GUI
// thread.
#pragma once

#include <QPushButton>

#include "app/removal/UninstallOutcome.h"
#include "app/ui/CardFrame.h"
#include "app/ui/ResultBannerContent.h"

class QLabel;
class QVBoxLayout;

namespace veldo::ui {

class BusyIndicator;
class ElidedLabel;

class ResultBanner final : public CardFrame
{
    Q_OBJECT
public:
    static constexpr int kMaxCardWidth = 660;

    explicit ResultBanner(QWidget* parent = nullptr);

    void setOutcome(const removal::UninstallOutcome& outcome);
    // While undoing, a spinner stands in the Undo button's label.
    void setUndoing(bool undoing);
    // The Undo button is enabled only while Undo is available (and never while undoing).
    void setUndoAvailable(bool available);

    // As wide as the row wants, at most the card's width, and as high as the wrapped summary needs.
    QSize sizeHint() const override;

signals:
    void undoRequested();
    void revealFailedRequested();
    void openAppManagementRequested();
    void dismissRequested();

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void fitSummaryHeight();

    ResultBannerContent m_content;
    bool m_undoing = false;
    bool m_undoAvailable = true;
    QLabel* m_symbol;
    ElidedLabel* m_title;
    QLabel* m_summary;
    QVBoxLayout* m_column;
    QPushButton* m_openSettings;
    QPushButton* m_reveal;
    QPushButton* m_undo;
    BusyIndicator* m_spinner;
    QPushButton* m_done;
};

} // namespace veldo::ui
