// TrashedAppBanner: the floating card that offers to review what an app left behind after it
// was moved to the Trash in Finder, or vanished from the application folders.
//
// Shows one notice and how many more wait behind it; the main window hands it a new notice when
// the first of the list changes. The prompt sentence (not the detail line) is announced when the
// banner comes on screen and again whenever the notice's id changes while it is shown. "Review"
// and the icon-only "Not Now" call their actions once per press. At most 600 points wide. GUI
// thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QString>

#include "app/controller/TrashedAppNotice.h"
#include "app/ui/CardFrame.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace veldo::ui {

class ElidedLabel;

class TrashedAppBanner final : public CardFrame
{
    Q_OBJECT
public:
    static constexpr int kMaxCardWidth = 600;

    TrashedAppBanner(std::function<void()> review, std::function<void()> dismiss,
                     QWidget* parent = nullptr);

    // The banner's sentence for a notice.
    static QString trashedAppPrompt(const controller::TrashedAppNotice& notice);
    // The line under it: items, size and the notices waiting behind this one.
    static QString detailLine(const controller::TrashedAppNotice& notice, int pendingCount);

    void setNotice(controller::TrashedAppNotice notice, int pendingCount);
    const controller::TrashedAppNotice& notice() const { return m_notice; }

    // As wide as the banner may be, as tall as its wrapped sentence needs there.
    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void applyColors();
    void announceIfNew();

    std::function<void()> m_reviewAction;
    std::function<void()> m_dismissAction;
    controller::TrashedAppNotice m_notice;
    bool m_hasNotice = false;
    std::optional<std::string> m_announcedID;
    QLabel* m_symbol;
    QLabel* m_prompt;
    ElidedLabel* m_detail;
    QPushButton* m_review;
    QToolButton* m_notNow;
};

} // namespace veldo::ui
