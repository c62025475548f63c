// PathList: the paths a prompt sheet names, one paragraph per path in the given order, in the
// caption style's monospaced design, on an inset well that scrolls once the paths are taller than
// its maximum height. Long paths break anywhere and line breaks inside a path stay inside its
// paragraph, so no path widens the sheet. The text is read-only and takes keyboard focus: every
// path can be reached, selected and copied from the keyboard. GUI thread.
#pragma once

#include <QTextEdit>

#include "app/ui/InsetWell.h"

namespace veldo::ui {

class PathList final : public InsetWell
{
    Q_OBJECT
public:
    PathList(const QStringList& paths, int maximumHeight, QWidget* parent = nullptr);

    const QStringList& paths() const { return m_paths; }

    // Fixes the height to what the paths need at `width`, at most the maximum height.
    void fitWidth(int width);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    QStringList m_paths;
    int m_maximumHeight;
    QTextEdit* m_view;
};

} // namespace veldo::ui
