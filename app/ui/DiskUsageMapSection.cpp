// The Map tab's header line and framed map.
#include "app/ui/DiskUsageMapSection.h"

#include <utility>

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ui/DeveloperMapTiles.h"
#include "app/ui/SpringAnimation.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "base/RawValue.h"
#include "platform/qt/FileManagerReveal.h"

namespace veldo::ui {
namespace {

constexpr double kFrameRadius = 14;

// The frame's edge: a half-point separator line inside the rounded outline, over the tiles.
class MapOutline final : public QWidget
{
public:
    explicit MapOutline(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor line =
            SystemColors::color(SystemColor::separator, SystemColors::colorScheme(palette()));
        line.setAlphaF(line.alphaF() * 0.5f);
        painter.setPen(QPen(line, 0.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25),
                                kFrameRadius - 0.25, kFrameRadius - 0.25);
    }
};

// Clips the frame's children to its rounded outline.
class RoundedClip final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            auto* frame = static_cast<QWidget*>(watched);
            QPainterPath path;
            path.addRoundedRect(QRectF(frame->rect()), kFrameRadius, kFrameRadius);
            frame->setMask(QRegion(path.toFillPolygon().toPolygon()));
        }
        return false;
    }
};

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

DiskUsageMapSection::DiskUsageMapSection(controller::UninstallViewModel* model,
                                         SelectedMapKind* selectedKind, QWidget* parent)
    : QWidget(parent), m_model(model), m_selectedKind(selectedKind),
      m_reveal(new platform::qt::FileManagerReveal(QDBusConnection::sessionBus(),
                                                   platform::qt::FileManagerReveal::kDefaultTimeout,
                                                   {}, this)),
      m_all(new QPushButton(QStringLiteral("All"), this)), m_title(new QLabel(this)),
      m_detail(new QLabel(this)), m_frame(new QWidget(this)),
      m_map(new TreemapView({}, std::nullopt, nullptr, m_frame)), m_outline(new MapOutline(m_frame))
{
    m_map->setObjectName(QStringLiteral("map"));
    m_all->setObjectName(QStringLiteral("allButton"));
    m_title->setObjectName(QStringLiteral("titleLabel"));
    m_detail->setObjectName(QStringLiteral("detailLabel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    m_all->setFont(textFont(TextStyle::callout, font()));
    m_title->setFont(textFont(TextStyle::headline, font()));
    m_detail->setFont(textFont(TextStyle::callout, font()));
    header->addWidget(m_all);
    header->addWidget(m_title);
    header->addWidget(m_detail);
    header->addStretch(1);
    layout->addLayout(header);

    auto* stack = new QGridLayout(m_frame);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(m_map, 0, 0);
    stack->addWidget(m_outline, 0, 0);
    m_outline->raise();
    m_frame->installEventFilter(new RoundedClip(m_frame));
    layout->addWidget(m_frame, 1);

    m_map->setOnSelect([this](const TreemapTile& tile) { selectTile(tile); });
    connect(m_all, &QPushButton::clicked, this, [this] { changeKindAnimated(std::nullopt); });
    connect(m_model, &controller::UninstallViewModel::toolchainGroupsChanged, this,
            &DiskUsageMapSection::scheduleRefresh);
    connect(m_selectedKind, &SelectedMapKind::kindChanged, this,
            &DiskUsageMapSection::scheduleRefresh);
    refresh();
}

void DiskUsageMapSection::selectTile(const TreemapTile& tile)
{
    if (!m_selectedKind->kind()) {
        if (const auto kind = base::fromRawValue<core::ToolchainKind>(tile.id)) {
            changeKindAnimated(*kind);
            return;
        }
    }
    const core::ToolchainGroup* group =
        selectedGroup(m_model->toolchainGroups(), m_selectedKind->kind());
    if (!group)
        return;
    for (const core::ToolchainItem& item : group->items)
        if (item.url.path() == tile.id) {
            m_reveal->reveal({item.url});
            return;
        }
}

void DiskUsageMapSection::changeKindAnimated(std::optional<core::ToolchainKind> kind)
{
    m_selectedKind->setKind(kind);
    // The new level rises into place.
    if (animationsEnabled() && m_frame->isVisible()) {
        m_frame->hide();
        withSpringAnimation(m_frame, true);
    }
}

void DiskUsageMapSection::scheduleRefresh()
{
    if (std::exchange(m_refreshQueued, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_refreshQueued = false;
        refresh();
    });
}

void DiskUsageMapSection::refresh()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const auto& groups = m_model->toolchainGroups();
    const auto kind = m_selectedKind->kind();
    const core::ToolchainGroup* group = selectedGroup(groups, kind);

    QPalette secondary = m_detail->palette();
    secondary.setColor(QPalette::WindowText,
                       SystemColors::color(SystemColor::secondaryLabel, scheme));
    m_detail->setPalette(secondary);
    m_all->setIcon(
        SymbolImage::icon("chevron.left", SystemColors::color(SystemColor::label, scheme), 14));
    m_all->setVisible(group != nullptr);
    if (group) {
        m_title->setText(text(core::title(group->kind)));
        m_detail->setText(mapGroupSummary(*group));
    } else {
        m_title->setText(QStringLiteral("Two-level Map"));
        m_detail->setText(
            QStringLiteral("Click a category to drill into its individual files and runtimes."));
    }
    m_map->setActionHint(mapActionHint(kind));
    m_map->setTiles(developerCategoryTable(groups, kind, scheme));
}

void DiskUsageMapSection::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        scheduleRefresh();
    QWidget::changeEvent(event);
}

} // namespace veldo::ui
