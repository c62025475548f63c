// OrphanReviewSheet: the last step before selected orphan findings go to the Trash: how many
// items and how much space, the warnings (always the no-installed-app one; low-confidence and
// administrator items when selected), every selected path, the Undo reminder, "Cancel" and the
// confirm button.
//
// A live view: counts, warnings, paths and the confirm button's label and state follow the
// controller's orphan result, selection and removal flag at once, so what it shows at a click is
// what the controller removes. Confirming sets the submitting flag, calls `dismiss`, then
// `remove` (the controller's orphan removal), once however often it is pressed; while submitting
// the sheet cannot be dismissed otherwise. Esc and "Cancel" call `dismiss`. The presenter opens it
// window-modal with open() and closes it from `dismiss`. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>

#include <QDialog>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class PathList;

class OrphanReviewSheet final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kWidth = 540;
    static constexpr int kListMaximumHeight = 200;

    OrphanReviewSheet(controller::UninstallViewModel* model, std::function<void()> dismiss,
                      std::function<void()> remove, QWidget* parent = nullptr);

    // The summary's texts for a selection.
    static QString countText(std::int64_t selected);
    static QString lowConfidenceText(std::int64_t count);
    static QString administratorText(std::int64_t count);

    void reject() override;

private:
    // The confirm button's action.
    void confirm();
    void refresh();
    void scheduleRefresh();

    controller::UninstallViewModel* m_model;
    std::function<void()> m_dismiss;
    std::function<void()> m_remove;
    bool m_isSubmitting = false;
    bool m_refreshQueued = false;
    QVBoxLayout* m_column;
    QLabel* m_count;
    QLabel* m_size;
    QLabel* m_general;
    QWidget* m_lowRow;
    QLabel* m_low;
    QWidget* m_adminRow;
    QLabel* m_admin;
    PathList* m_list = nullptr;
    QStringList m_shownPaths;
    QPushButton* m_cancel;
    QPushButton* m_confirm;
};

} // namespace veldo::ui
