// HelpView: the content of the Help window ("Veldo Help"): a scrolling column at most 760 points
// wide, aligned left and padded 32, holding the header (the painted mark, "Veldo Help" and its
// subtitle) and the seven HelpSection cards of the help table. Its minimum size is 620 × 560;
// the window opens at defaultSize(). Reads no controller state. GUI thread.
#pragma once

#include <QWidget>

class QScrollArea;

namespace veldo::ui {

class HelpView : public QWidget
{
    Q_OBJECT
public:
    // Names the host of the configured update feed in the privacy section.
    explicit HelpView(QWidget* parent = nullptr);
    HelpView(const QString& updateHost, QWidget* parent);

    static QSize defaultSize() { return {720, 680}; }
    static constexpr int kMaximumColumnWidth = 760;

    // The host a check for updates contacts ("this Mac" for a feed on this Mac).
    static QString configuredUpdateHost();

private:
    QScrollArea* m_scroll = nullptr;
    QWidget* m_column = nullptr;
};

} // namespace veldo::ui
