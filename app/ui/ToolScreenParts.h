// ToolScreenParts: the pieces the tool screens (Orphaned Files, Developer Footprint) share: the
// header with its gradient icon, title block and totals, the divider, one-line secondary text,
// the scanning placeholder, the bottom bar on the bar material in its box below a divider, the
// red prominent action button with its busy label, and the icon-only header button. GUI thread.
#pragma once

#include <initializer_list>
#include <string>

#include <QPushButton>
#include <QWidget>

#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

class QLabel;
class QHBoxLayout;
class QToolButton;

namespace veldo::ui {

class BusyIndicator;

// A 64 × 64 rounded square (radius 16) filled with a gradient from `from` (top leading) to `to`
// (bottom trailing), the symbol centred on it in white, 28 points, semibold.
class ScreenIcon final : public QWidget
{
    Q_OBJECT
public:
    ScreenIcon(std::string symbol, SystemColor from, SystemColor to, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {64, 64}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string m_symbol;
    SystemColor m_from;
    SystemColor m_to;
};

// The header's title block: the title (title style, bold) over the subtitle (caption, secondary).
QWidget* screenTitleBlock(const QString& title, const QString& subtitle, QWidget* parent);
// A one-pixel separator line across the width.
QWidget* screenDivider(QWidget* parent);
// Plain text in `style` and the secondary colour, on one line.
QLabel* secondaryLabel(TextStyle style, QWidget* parent);

// The header: a row padded 20 with 16 between its pieces: the icon (`symbol` on a gradient from
// `from` to `to`), the title block, a stretch, then the totals: the total (title 2, semibold) over
// a caption line in the secondary colour, both trailing. The screen fills in the texts and appends
// its buttons to `row`.
struct ScreenHeader
{
    QWidget* widget;
    QHBoxLayout* row;
    QWidget* totals;
    QLabel* total;
    QLabel* caption;
};
ScreenHeader screenHeader(const std::string& symbol, SystemColor from, SystemColor to,
                          const QString& title, const QString& subtitle, QWidget* screen);

// The box the bottom bar goes in: a column, no margins or spacing, that opens with the divider.
// The screen adds its bar to the box's layout.
QWidget* bottomBarBox(QWidget* screen);

// An indeterminate progress indicator over `message` in the secondary colour, centred.
QWidget* scanningPlaceholder(const QString& message, QWidget* parent);
// Draws a push button in the prominent style: white text on the accent colour.
void makeProminent(QPushButton* button);
// An icon-only button with `title` as its accessible name and `help` as its tooltip.
QToolButton* headerIconButton(const char* symbol, const QString& title, const QString& help,
                              QWidget* parent);

// The bottom bar: a row padded 20 across and 12 down on the bar material, 12 between its pieces.
class ActionBar final : public QWidget
{
    Q_OBJECT
public:
    explicit ActionBar(QWidget* parent = nullptr);
    // Lays out the bar: `leading` in order, a stretch, then `trailing` at the end.
    void arrange(std::initializer_list<QWidget*> leading, QWidget* trailing);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QHBoxLayout* m_row;
};

// The red, prominent, large button with a symbol and a title; while busy a small progress
// indicator and the busy title instead.
class DestructiveButton final : public QPushButton
{
    Q_OBJECT
public:
    DestructiveButton(std::string symbol, const QString& title, const QString& busyTitle,
                      int minimumWidth, QWidget* parent = nullptr);
    void setTitle(const QString& title);
    void setBusy(bool busy);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The title shown now, also the accessible name.
    QString shownTitle() const;

    std::string m_symbol;
    QString m_title;
    QString m_busyTitle;
    bool m_busy = false;
    BusyIndicator* m_indicator;
};

} // namespace veldo::ui
