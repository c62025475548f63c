// NoticeBanner: a floating card with a notice and a close button. The message is shown verbatim
// and whole: it wraps onto as many lines as the card's row of at most 520 points needs, and the
// card grows to fit (heightForWidth). Each new message is announced once. The close button asks
// for dismissal; the main window clears the notice. GUI thread.
#pragma once

#include <QToolButton>

#include "app/ui/CardFrame.h"

class QLabel;

namespace veldo::ui {

class NoticeBanner final : public CardFrame
{
    Q_OBJECT
public:
    static constexpr int kMaxCardWidth = 520;

    explicit NoticeBanner(QWidget* parent = nullptr);

    void setMessage(const QString& message);

    // As wide as the card may be, as high as the wrapped message needs at that width.
    QSize sizeHint() const override;

signals:
    void dismissRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QLabel* m_symbol;
    QLabel* m_text;
    QToolButton* m_dismiss;
};

} // namespace veldo::ui
