// ToolScreenParts: the pieces the tool screens (Orphaned Files, Developer Footprint) share: the
// header's gradient icon and title block, the divider, the scanning placeholder, the bottom bar
// on the bar material, the red prominent action button with its busy label, and the icon-only
// header button. GUI thread.
#pragma once

#include <string>

#include <QPushButton>
#include <QWidget>

#include "app/ui/SystemColors.h"

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
// An indeterminate progress indicator over `message` in the secondary colour, centred.
QWidget* scanningPlaceholder(const QString& message, QWidget* parent);
// Draws a push button in the prominent style: white text on the accent colour.
void makeProminent(QPushButton* button);
// An icon-only button with `title` as its accessible name and `help` as its tooltip.
QToolButton* headerIconButton(const char* symbol, const QString& title, const QString& help,
                              QWidget* parent);

// The bottom bar: a row padded 20 across and 12 down on the bar material.
class ActionBar final : public QWidget
{
    Q_OBJECT
public:
    explicit ActionBar(QWidget* parent = nullptr);
    QHBoxLayout* row() const { return m_row; }

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
    bool isBusy() const { return m_busy; }
    QString shownTitle() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string m_symbol;
    QString m_title;
    QString m_busyTitle;
    bool m_busy = false;
    BusyIndicator* m_indicator;
};

} // namespace veldo::ui
