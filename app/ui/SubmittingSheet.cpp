// A sheet that confirms once.
#include "app/ui/SubmittingSheet.h"

#include <QCloseEvent>

namespace veldo::ui {

SubmittingSheet::SubmittingSheet(std::function<void()> dismiss, QWidget* parent)
    : QDialog(parent), m_dismiss(std::move(dismiss))
{
}

bool SubmittingSheet::beginSubmitting()
{
    if (m_submitting)
        return false;
    m_submitting = true;
    return true;
}

void SubmittingSheet::dismiss() const
{
    if (m_dismiss)
        m_dismiss();
}

void SubmittingSheet::reject()
{
    if (!m_submitting)
        dismiss();
}

void SubmittingSheet::closeEvent(QCloseEvent* event)
{
    if (m_submitting) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace veldo::ui
