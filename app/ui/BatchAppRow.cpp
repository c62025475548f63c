#include "app/ui/BatchAppRow.h"

#include <utility>

#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/FileIconView.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/TintedPill.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Inflection.h"

namespace veldo::ui {

namespace {

constexpr double kProtectedOpacity = 0.6;

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

} // namespace

BatchAppRow::BatchAppRow(controller::UninstallViewModel& model, controller::BatchAppResult result,
                         platform::qt::AppIconProvider* icons, QWidget* parent)
    : QWidget(parent), m_result(std::move(result))
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const std::string id = m_result.app.id();
    const std::int64_t bytes = model.selectedBytes(m_result);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 10, 12, 10);
    row->setSpacing(12);

    m_checkbox = new QCheckBox(this);
    m_checkbox->setObjectName(QStringLiteral("checkbox"));
    m_checkbox->setEnabled(!m_result.isProtected && !m_result.defaultSelected.empty());
    m_checkbox->setAccessibleName(accessibleLabel(m_result, bytes));
    connect(m_checkbox, &QCheckBox::clicked, this, [&model, id] { model.toggleBatchIncluded(id); });
    row->addWidget(m_checkbox);
    row->addWidget(new FileIconView(icons, m_result.app.url, 36, this));

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* nameLine = new QHBoxLayout;
    nameLine->setSpacing(6);
    QLabel* name = plainLabel(QString::fromStdString(m_result.app.name), this);
    QFont medium = font();
    medium.setWeight(QFont::Medium);
    name->setFont(medium);
    nameLine->addWidget(name);
    auto* badgeBox = new QWidget(this);
    badgeBox->setObjectName(QStringLiteral("badges"));
    auto* badges = new QHBoxLayout(badgeBox);
    badges->setContentsMargins(0, 0, 0, 0);
    badges->setSpacing(6);
    QFont badgeFont = textFont(TextStyle::caption2, font());
    badgeFont.setWeight(QFont::DemiBold);
    auto addBadge = [&](const char* text, SystemColor tint, const QString& help) {
        auto* pill = new TintedPill(QString::fromUtf8(text), SystemColors::color(tint, scheme),
                                    0.16, QMargins(6, 2, 6, 2), badgeBox);
        pill->setFont(badgeFont);
        if (!help.isEmpty())
            pill->setToolTip(help);
        badges->addWidget(pill);
    };
    if (m_result.isProtected)
        addBadge("Protected", SystemColor::orange, {});
    if (m_result.isRunning)
        addBadge("Running", SystemColor::blue, {});
    if (m_result.caskToken)
        addBadge("Homebrew", SystemColor::brown, homebrewHelp(*m_result.caskToken));
    nameLine->addWidget(badgeBox);
    nameLine->addStretch(1);
    texts->addLayout(nameLine);
    m_status = plainLabel(statusLine(m_result), this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setFont(textFont(TextStyle::caption, font()));
    QPalette secondary = m_status->palette();
    secondary.setColor(QPalette::WindowText,
                       SystemColors::color(SystemColor::secondaryLabel, scheme));
    m_status->setPalette(secondary);
    texts->addWidget(m_status);
    row->addLayout(texts, 1);
    row->addSpacing(8);

    m_size = plainLabel(QString::fromStdString(platform::sizeText(bytes)), this);
    m_size->setObjectName(QStringLiteral("sizeLabel"));
    QFont sizeFont = textFont(TextStyle::callout, font());
    m_size->setFont(sizeFont);
    if (m_result.isProtected)
        m_size->setPalette(secondary);
    row->addWidget(m_size);

    if (m_result.isProtected) {
        auto* dim = new QGraphicsOpacityEffect(this);
        dim->setOpacity(kProtectedOpacity);
        setGraphicsEffect(dim);
    }
    setIncluded(model.batchIncludedIDs().contains(id));
}

void BatchAppRow::setIncluded(bool included)
{
    m_checkbox->setChecked(included);
}

QString BatchAppRow::statusLine(const controller::BatchAppResult& result)
{
    if (result.isProtected)
        return QString::fromUtf8("Protected \u2014 won\u2019t be removed");
    if (result.defaultSelected.empty())
        return QStringLiteral("No safe-default items found");
    QString line = QString::fromStdString(platform::pluralizedCount(
        static_cast<std::int64_t>(result.defaultSelected.size()), "item"));
    if (result.removesAppBundle())
        line += QString::fromUtf8(" \u00b7 includes app bundle");
    return line;
}

QString BatchAppRow::accessibleLabel(const controller::BatchAppResult& result,
                                     std::int64_t selectedBytes)
{
    return QStringLiteral("Include %1, %2, %3")
        .arg(QString::fromStdString(result.app.name), statusLine(result),
             QString::fromStdString(platform::sizeText(selectedBytes)));
}

QString BatchAppRow::homebrewHelp(const std::string& token)
{
    return QStringLiteral("Installed with Homebrew (%1). Moving it to the Trash leaves Homebrew "
                          "thinking it is still installed.")
        .arg(QString::fromStdString(token));
}

void BatchAppRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = SystemColors::color(SystemColor::gray, SystemColors::colorScheme(palette()));
    fill.setAlphaF(fill.alphaF() * 0.4f * 0.35f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
}

} // namespace veldo::ui
