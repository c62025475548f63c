// A sheet that confirms once.
#include "app/ui/SubmittingSheet.h"

#include <QCloseEvent>
#include <QFrame>

#include "app/ui/SystemColors.h"

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

QFrame* separatorLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette palette = line->palette();
    palette.setColor(
        QPalette::WindowText,
        SystemColors::color(SystemColor::separator, SystemColors::colorScheme(parent->palette())));
    line->setPalette(palette);
    return line;
}

} // namespace veldo::ui
