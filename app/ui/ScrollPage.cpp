#include "app/ui/ScrollPage.h"

#include <QEvent>
#include <QLayout>
#include <QScrollArea>
#include <QVBoxLayout>

namespace veldo::ui {

void ScrollPage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitHeight();
}

bool ScrollPage::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        fitHeight();
    return handled;
}

void ScrollPage::fitHeight()
{
    if (!layout() || !layout()->hasHeightForWidth())
        return;
    const int height = layout()->totalHeightForWidth(width());
    if (height > 0 && height != minimumHeight())
        setMinimumHeight(height);
}

ScrollPage* scrollPage(QWidget* parent, QScrollArea** area)
{
    auto* outer = new QVBoxLayout(parent);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(parent);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    outer->addWidget(scroll);
    auto* page = new ScrollPage(scroll);
    page->setAutoFillBackground(false);
    scroll->setWidget(page);
    if (area)
        *area = scroll;
    return page;
}

} // namespace veldo::ui
