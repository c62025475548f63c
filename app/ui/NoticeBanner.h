// NoticeBanner: a one-line floating card with a short notice and a close button. The message is
// shown verbatim; each new message is announced once. The close button asks for dismissal; the
// main window clears the notice. At most 520 points wide. GUI thread.
#pragma once

#include <QToolButton>

#include "app/ui/CardFrame.h"

class QLabel;

namespace veldo::ui {

class ElidedLabel;

class NoticeBanner final : public CardFrame
{
    Q_OBJECT
public:
    static constexpr int kMaxCardWidth = 520;

    explicit NoticeBanner(QWidget* parent = nullptr);

    void setMessage(const QString& message);
    QString message() const { return m_message; }
    QToolButton* dismissButton() const { return m_dismiss; }

signals:
    void dismissRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QString m_message;
    QLabel* m_symbol;
    ElidedLabel* m_text;
    QToolButton* m_dismiss;
};

} // namespace veldo::ui
