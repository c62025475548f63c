// AdminEscalationSheet: asks the user to confirm moving items their own account cannot move,
// naming every path, their removable size and whether the helper or a password does the move.
//
// Built once from its request, which does not change while the sheet is up. The sheet never
// closes itself: each answer calls `decide` once and the presenter closes the sheet when the
// controller has taken the answer. Esc and the window's close button take the reject path,
// which answers false like "Skip These Items"; Return answers true. "Avoid this prompt next
// time…" (only without the helper) calls `avoidPromptNextTime` and answers nothing. GUI thread.
#pragma once

#include <cstdint>
#include <functional>

#include <QDialog>

#include "app/controller/AdminEscalationRequest.h"

class QLabel;
class QPushButton;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class PathList;
class SymbolTitle;

class AdminEscalationSheet final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kWidth = 540;
    static constexpr int kListMaximumHeight = 220;

    // `model` judges which items count towards the size.
    AdminEscalationSheet(controller::AdminEscalationRequest request,
                         const controller::UninstallViewModel& model,
                         std::function<void()> avoidPromptNextTime,
                         std::function<void(bool)> decide, QWidget* parent = nullptr);

    // The message for a request whose removable items weigh `removableBytes`.
    static QString message(const controller::AdminEscalationRequest& request,
                           std::int64_t removableBytes);

    const controller::AdminEscalationRequest& request() const { return m_request; }
    QString title() const;

    void reject() override;

private:
    controller::AdminEscalationRequest m_request;
    std::function<void()> m_avoidPromptNextTime;
    std::function<void(bool)> m_decide;
    SymbolTitle* m_title;
    QLabel* m_message;
    PathList* m_list;
    QLabel* m_note;
    QPushButton* m_avoid = nullptr;
    QPushButton* m_skip;
    QPushButton* m_continue;
};

} // namespace veldo::ui
