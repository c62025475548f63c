#include "app/ui/HelpSection.h"

#include <utility>

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/FormSection.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

HelpSection::HelpSection(QString title, std::string systemImage, std::vector<HelpRow> rows,
                         QWidget* parent)
    : QWidget(parent), m_title(std::move(title)), m_systemImage(std::move(systemImage)),
      m_rows(std::move(rows))
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    auto* heading = new QHBoxLayout;
    heading->setSpacing(8);
    const QFont titleFont = [this] {
        QFont f = textFont(TextStyle::title2, font());
        f.setWeight(QFont::DemiBold);
        return f;
    }();
    auto* symbol = new QLabel(this);
    const int edge = QFontMetrics(titleFont).height();
    symbol->setPixmap(
        SymbolImage::icon(m_systemImage, SystemColors::color(SystemColor::accent, scheme), edge)
            .pixmap(edge, edge));
    heading->addWidget(symbol);
    auto* titleLabel = new QLabel(this);
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setText(m_title);
    titleLabel->setFont(titleFont);
    heading->addWidget(titleLabel, 1);
    column->addLayout(heading);

    auto* card = new FormSection(this, 14);
    QVBoxLayout* list = card->rows();
    list->setContentsMargins(14, 4, 14, 4);
    list->setSpacing(0);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        auto* entry = new QVBoxLayout;
        entry->setContentsMargins(0, 10, 0, 10);
        entry->setSpacing(3);
        entry->addWidget(wrappedText(m_rows[i].title, TextStyle::headline, false, card));
        entry->addWidget(wrappedSecondary(m_rows[i].body, TextStyle::body, card));
        list->addLayout(entry);
        // No divider below the card's last row.
        if (m_rows[i].id != m_rows.back().id) {
            auto* divider = new QFrame(card);
            divider->setObjectName(QStringLiteral("divider%1").arg(i));
            divider->setFrameShape(QFrame::HLine);
            divider->setFrameShadow(QFrame::Plain);
            divider->setFixedHeight(1);
            QPalette line = divider->palette();
            line.setColor(QPalette::WindowText,
                          SystemColors::color(SystemColor::separator, scheme));
            divider->setPalette(line);
            list->addWidget(divider);
        }
    }
    column->addWidget(card);
}

} // namespace veldo::ui
