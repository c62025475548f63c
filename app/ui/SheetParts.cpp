// The prompt sheets' shared pieces.
#include "app/ui/SheetParts.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/SystemColors.h"

namespace veldo::ui {

QVBoxLayout* sheetColumn(QDialog* sheet)
{
    auto* column = new QVBoxLayout(sheet);
    column->setContentsMargins(kSheetPadding, kSheetPadding, kSheetPadding, kSheetPadding);
    column->setSpacing(14);
    return column;
}

QLabel* secondaryText(const QString& text, TextStyle style, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setText(text);
    label->setFont(textFont(style, parent->font()));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText,
                     SystemColors::color(SystemColor::secondaryLabel,
                                         SystemColors::colorScheme(parent->palette())));
    label->setPalette(palette);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

QPushButton* sheetButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setAutoDefault(false);
    return button;
}

QPushButton* linkButton(const QString& title, QWidget* parent)
{
    auto* button = sheetButton(title, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(textFont(TextStyle::callout, parent->font()));
    // The accent while it can be pressed; disabled, the palette's dimmed text.
    QPalette palette = button->palette();
    const QColor accent =
        SystemColors::color(SystemColor::accent, SystemColors::colorScheme(parent->palette()));
    palette.setColor(QPalette::Active, QPalette::ButtonText, accent);
    palette.setColor(QPalette::Inactive, QPalette::ButtonText, accent);
    button->setPalette(palette);
    return button;
}

QFrame* separatorLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette palette = line->palette();
    palette.setColor(
        QPalette::WindowText,
        SystemColors::color(SystemColor::separator, SystemColors::colorScheme(parent->palette())));
    line->setPalette(palette);
    return line;
}

void fitHeight(QDialog* sheet)
{
    sheet->ensurePolished();
    if (sheet->layout())
        sheet->layout()->activate();
    sheet->resize(sheet->width(), sheet->heightForWidth(sheet->width()));
}

} // namespace veldo::ui
