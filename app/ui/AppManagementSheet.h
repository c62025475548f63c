// AppManagementSheet: explains that macOS App Management stopped Veldo from moving other apps,
// lists the refused apps and offers System Settings, the administrator route, or cancelling.
//
// Built once from its prompt, which does not change while the sheet is up. The sheet never
// closes itself: each button calls `decide` once with its choice and the presenter closes the
// sheet. Esc and the window's close button take the reject path, which chooses `cancel`; Return
// chooses `openSettings`; the administrator button has no key. GUI thread.
#pragma once

#include <functional>

#include <QDialog>

#include "app/controller/AppManagementChoice.h"
#include "app/controller/AppManagementPrompt.h"

class QLabel;
class QPushButton;

namespace veldo::ui {

class PathList;
class SymbolTitle;

class AppManagementSheet final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kWidth = 560;
    static constexpr int kListMaximumHeight = 160;

    AppManagementSheet(controller::AppManagementPrompt prompt,
                       std::function<void(controller::AppManagementChoice)> decide,
                       QWidget* parent = nullptr);

    QString title() const;

    void reject() override;

private:
    void choose(controller::AppManagementChoice choice);

    controller::AppManagementPrompt m_prompt;
    std::function<void(controller::AppManagementChoice)> m_decide;
    SymbolTitle* m_title;
    QLabel* m_explanation;
    PathList* m_list;
    QLabel* m_note;
    QPushButton* m_cancel;
    QPushButton* m_administrator;
    QPushButton* m_openSettings;
};

} // namespace veldo::ui
