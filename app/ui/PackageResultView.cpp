// The package uninstall result card.
#include "app/ui/PackageResultView.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Inflection.h"

namespace veldo::ui {

QString packageUninstallSummary(const scanners::PackageRemover::Result& result)
{
    QStringList parts{QStringLiteral("Uninstalled ") +
                      QString::fromStdString(platform::pluralizedCount(
                          static_cast<std::int64_t>(result.removed.size()), "package"))};
    std::int64_t freed = 0;
    for (const core::DevPackage& package : result.removed)
        freed += package.sizeBytes;
    if (freed >= 1)
        parts << QString::fromStdString(platform::sizeText(freed)) + QStringLiteral(" freed");
    if (!result.failed.empty())
        parts << QString::number(result.failed.size()) + QStringLiteral(" failed");
    QString summary = parts.join(QStringLiteral(" · "));
    QStringList names;
    for (std::size_t i = 0; i < result.removed.size() && i < 5; ++i)
        names << QString::fromStdString(result.removed[i].name);
    if (!names.isEmpty()) {
        summary += QStringLiteral(" — ") + names.join(QStringLiteral(", "));
        if (result.removed.size() > 5)
            summary += QStringLiteral(" and %1 more").arg(result.removed.size() - 5);
    }
    return summary;
}

PackageResultView::PackageResultView(scanners::PackageRemover::Result result,
                                     std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), m_result(std::move(result)), m_onDismiss(std::move(dismiss))
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const bool failed = hasFailures();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);
    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    const int edge = QFontMetrics(textFont(TextStyle::title3, font())).height();
    auto* symbol = new QLabel(this);
    symbol->setPixmap(
        SymbolImage::icon(
            failed ? "exclamationmark.triangle.fill" : "checkmark.circle.fill",
            SystemColors::color(failed ? SystemColor::orange : SystemColor::green, scheme), edge)
            .pixmap(edge, edge));
    symbol->setAccessibleName(QString());
    top->addWidget(symbol, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    m_title = new QLabel(failed ? QStringLiteral("Some Packages Weren’t Uninstalled")
                                : QStringLiteral("Packages Uninstalled"),
                         this);
    m_title->setObjectName(QStringLiteral("titleLabel"));
    QFont titleFont = font();
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_summary = new QLabel(packageUninstallSummary(m_result), this);
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    m_summary->setFont(textFont(TextStyle::caption, font()));
    QPalette secondary = m_summary->palette();
    secondary.setColor(QPalette::WindowText,
                       SystemColors::color(SystemColor::secondaryLabel, scheme));
    m_summary->setPalette(secondary);
    texts->addWidget(m_title);
    texts->addWidget(m_summary);
    top->addLayout(texts, 1);
    top->addSpacing(8);
    if (failed) {
        m_copy = new QPushButton(QStringLiteral("Copy Details"), this);
        m_copy->setObjectName(QStringLiteral("copyDetailsButton"));
        m_copy->setAutoDefault(false);
        top->addWidget(m_copy);
        connect(m_copy, &QPushButton::clicked, this, [this] {
            QStringList lines;
            for (const std::string& line : m_result.failureLines())
                lines << QString::fromStdString(line);
            QApplication::clipboard()->clear();
            QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
        });
    }
    m_dismiss = new QPushButton(QStringLiteral("Dismiss"), this);
    m_dismiss->setObjectName(QStringLiteral("dismissButton"));
    m_dismiss->setAutoDefault(false);
    top->addWidget(m_dismiss);
    connect(m_dismiss, &QPushButton::clicked, this, [this] {
        if (const std::function<void()> dismissAction = m_onDismiss)
            dismissAction();
    });
    column->addLayout(top);

    const QFont mono = monospacedTextFont(TextStyle::caption, font());
    const int lineHeight = QFontMetrics(mono).lineSpacing();
    const std::vector<std::string> lines = m_result.failureLines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto* label = new QLabel(QString::fromStdString(lines[i]), this);
        label->setObjectName(QStringLiteral("failureLabel%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setFont(mono);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        label->setMaximumHeight(lineHeight * kFailureLineLimit + 2);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        column->addWidget(label);
    }
}

QColor PackageResultView::fillColor() const
{
    QColor fill = SystemColors::color(hasFailures() ? SystemColor::orange : SystemColor::green,
                                      SystemColors::colorScheme(palette()));
    fill.setAlphaF(0.08f);
    return fill;
}

void PackageResultView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 12, 12);
    painter.fillPath(path, fillColor());
}

} // namespace veldo::ui
