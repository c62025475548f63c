// StatusBanner: a banner of the app detail screen: a symbol in its tint beside a headline title
// over a secondary caption message, spanning the width on a rounded fill of the tint at 0.1.
// GUI thread.
#pragma once

#include <string>

#include <QColor>
#include <QWidget>

class QLabel;

namespace veldo::ui {

class StatusBanner final : public QWidget
{
    Q_OBJECT
public:
    StatusBanner(std::string systemImage, const QString& title, const QString& message, QColor tint,
                 QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string m_systemImage;
    QColor m_tint;
    QLabel* m_title;
    QLabel* m_message;
};

} // namespace veldo::ui
