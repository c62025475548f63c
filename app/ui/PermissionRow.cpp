#include "app/ui/PermissionRow.h"

#include <utility>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/FormSection.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

PermissionRow::PermissionRow(QString title, std::optional<QString> status, QString explanation,
                             QString buttonTitle, std::function<void()> action, QWidget* parent)
    : QWidget(parent), m_title(std::move(title))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* line = new QHBoxLayout;
    line->setSpacing(8);
    auto* titleLabel = new QLabel(this);
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setText(m_title);
    line->addWidget(titleLabel);
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setTextFormat(Qt::PlainText);
    QPalette secondary = m_statusLabel->palette();
    secondary.setColor(
        QPalette::WindowText,
        SystemColors::color(SystemColor::secondaryLabel, SystemColors::colorScheme(palette())));
    m_statusLabel->setPalette(secondary);
    line->addWidget(m_statusLabel);
    line->addStretch(1);
    m_button = sheetButton(buttonTitle, this);
    m_button->setObjectName(QStringLiteral("button"));
    m_button->setAccessibleName(QStringLiteral("Open %1 Settings").arg(m_title));
    connect(m_button, &QPushButton::clicked, this, [action = std::move(action)] {
        if (action)
            action();
    });
    line->addWidget(m_button);
    column->addLayout(line);
    column->addWidget(wrappedSecondary(explanation, TextStyle::caption, this));
    setStatus(std::move(status));
}

void PermissionRow::setStatus(std::optional<QString> status)
{
    m_status = std::move(status);
    m_statusLabel->setText(m_status.value_or(QString()));
    m_statusLabel->setVisible(m_status.has_value());
    setAccessibleName(accessibleLabel(m_title, m_status));
}

QString PermissionRow::accessibleLabel(const QString& title, const std::optional<QString>& status)
{
    return status ? title + QStringLiteral(": ") + *status : title;
}

} // namespace veldo::ui
