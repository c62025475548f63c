// The head of the removal sheets.
#include "app/ui/SheetHeader.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/FileIconView.h"
#include "app/ui/SheetParts.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

SheetHeader sheetHeader(platform::qt::AppIconProvider* icons, const platform::MacPath& app,
                        const QString& title, const QString& subtitle, QWidget* parent)
{
    auto* widget = new QWidget(parent);
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(14);
    row->addWidget(new FileIconView(icons, app, 52, widget));
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    auto* titleLabel = new QLabel(title, widget);
    titleLabel->setTextFormat(Qt::PlainText);
    QFont font = textFont(TextStyle::title2, widget->font());
    font.setWeight(QFont::DemiBold);
    titleLabel->setFont(font);
    QLabel* subtitleLabel = secondaryText(subtitle, TextStyle::body, widget);
    column->addWidget(titleLabel);
    column->addWidget(subtitleLabel);
    row->addLayout(column, 1);
    return {widget, titleLabel, subtitleLabel};
}

} // namespace veldo::ui
