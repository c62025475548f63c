// FileIconView: the file manager's icon of a file or folder, scaled smoothly into a square of
// the given edge. The icon comes from the AppIconProvider (the generic icon until the provider
// has loaded the path's own), and the view repaints when the provider reports it. GUI thread.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/MacPath.h"
#include "platform/qt/AppIconProvider.h"

namespace veldo::ui {

class FileIconView final : public QWidget
{
    Q_OBJECT
public:
    FileIconView(platform::qt::AppIconProvider* icons, platform::MacPath url, int size,
                 QWidget* parent = nullptr);

    const platform::MacPath& url() const { return m_url; }
    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<platform::qt::AppIconProvider> m_icons;
    platform::MacPath m_url;
    int m_size;
};

} // namespace veldo::ui
