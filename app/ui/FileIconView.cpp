// The file icon view.
#include "app/ui/FileIconView.h"

#include <utility>

#include <QPainter>

namespace veldo::ui {

FileIconView::FileIconView(platform::qt::AppIconProvider* icons, platform::MacPath url, int size,
                           QWidget* parent)
    : QWidget(parent), m_icons(icons), m_url(std::move(url)), m_size(size)
{
    setFixedSize(size, size);
    if (m_icons)
        connect(m_icons, &platform::qt::AppIconProvider::iconReady, this,
                [this](const QString& path) {
                    if (path.toStdString() == m_url.path())
                        update();
                });
}

void FileIconView::paintEvent(QPaintEvent*)
{
    if (!m_icons)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QIcon icon = m_icons->icon(m_url);
    const qreal ratio = devicePixelRatioF();
    const QPixmap pixmap = icon.pixmap(QSize(m_size, m_size), ratio);
    painter.drawPixmap(QRectF(0, 0, m_size, m_size), pixmap, QRectF(pixmap.rect()));
}

} // namespace veldo::ui
