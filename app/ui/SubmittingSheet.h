// SubmittingSheet: a sheet whose confirmation starts work once: after beginSubmitting() it
// ignores Esc and the window's close button; before, both call its dismiss action (the presenter
// closes the sheet). GUI thread.
#pragma once

#include <functional>

#include <QDialog>

namespace veldo::ui {

class SubmittingSheet : public QDialog
{
    Q_OBJECT
public:
    void reject() override;

protected:
    SubmittingSheet(std::function<void()> dismiss, QWidget* parent);

    bool isSubmitting() const { return m_submitting; }

    // False when already submitting; else sets the guard and answers true.
    bool beginSubmitting();
    void dismiss() const;
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<void()> m_dismiss;
    bool m_submitting = false;
};

} // namespace veldo::ui
