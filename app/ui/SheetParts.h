// SheetParts: the pieces every prompt sheet is made of: its padded column, wrapped secondary
// text, buttons that never take Return unless made the default, the link-style button, the
// separator line, and the height that fits the sheet's fixed width. GUI thread.
#pragma once

#include <QString>

#include "app/ui/TextStyle.h"

class QDialog;
class QFrame;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace veldo::ui {

constexpr int kSheetPadding = 22;

// A column padded 22 points on every side with 14 points between its rows, as the sheet's layout.
QVBoxLayout* sheetColumn(QDialog* sheet);

// Plain wrapped text in `style` and the secondary colour.
QLabel* secondaryText(const QString& text, TextStyle style, QWidget* parent);

// A push button that Return reaches only when it is made the default.
QPushButton* sheetButton(const QString& title, QWidget* parent);

// A flat button in the accent colour and the callout style, drawn like a link; dimmed while
// disabled.
QPushButton* linkButton(const QString& title, QWidget* parent);

// A one-pixel horizontal line in the separator colour.
QFrame* separatorLine(QWidget* parent);

// Resizes the sheet to the height its content needs at its fixed width.
void fitHeight(QDialog* sheet);

} // namespace veldo::ui
