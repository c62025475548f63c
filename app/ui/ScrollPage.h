// ScrollPage: the content of a vertical scroll area whose rows wrap text: at each width it asks
// its layout for the height that width needs, so wrapped rows are never squeezed and the area
// scrolls instead. scrollPage() makes the area and its page. GUI thread.
#pragma once

#include <QWidget>

class QScrollArea;

namespace veldo::ui {

class ScrollPage : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void fitHeight();
};

// A frameless vertical scroll area filling `parent`'s layout-less area through a layout of its
// own, and its page (whose layout the caller sets).
ScrollPage* scrollPage(QWidget* parent, QScrollArea** area = nullptr);

} // namespace veldo::ui
