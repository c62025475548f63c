// ElidedLabel: one line of text that never grows its parent: too long a text is cut with an
// ellipsis at the end, and the full text becomes its tooltip.
#pragma once

#include <QLabel>

namespace veldo::ui {

class ElidedLabel final : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    // Whether the text, as painted now, was cut.
    bool isElided() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

} // namespace veldo::ui
