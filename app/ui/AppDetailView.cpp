// The app detail screen.
#include "app/ui/AppDetailView.h"

#include <map>

#include <QClipboard>
#include <QDialog>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/core/AppProtection.h"
#include "app/ui/BusyIndicator.h"
#include "app/ui/ConfidencePill.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/FileIconView.h"
#include "app/ui/HomebrewUninstallSheet.h"
#include "app/ui/LeftoverListModel.h"
#include "app/ui/LeftoverRow.h"
#include "app/ui/RemovalReviewSheet.h"
#include "app/ui/RowContextMenu.h"
#include "app/ui/RowListView.h"
#include "app/ui/SheetParts.h"
#include "app/ui/StatusBanner.h"
#include "app/ui/SubmittingSheet.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/TintedPill.h"
#include "base/CompilerWarnings.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Inflection.h"
#include "platform/qt/AppIconProvider.h"

namespace veldo::ui {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

QColor tintOf(SystemColor color, const QWidget* widget)
{
    return SystemColors::color(color, SystemColors::colorScheme(widget->palette()));
}

// The running panel: a rounded blue fill at 0.08 behind its row.
class RunningPanel final : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = tintOf(SystemColor::blue, this);
        fill.setAlphaF(0.08F);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 12, 12);
        painter.fillPath(path, fill);
    }
};

} // namespace

std::string AppDetailView::DetailSheet::id() const
{
    if (kind == Kind::homebrew)
        return "homebrew:" + (cask ? cask->token : std::string());
    return "review";
}

QString AppDetailView::versionText(const core::InstalledApp& app)
{
    const QString version =
        app.version && !app.version->empty() ? qs(*app.version) : QStringLiteral("—");
    return QStringLiteral("Version ") + version;
}

std::optional<AppDetailView::BannerText> AppDetailView::locationBanner(int location,
                                                                       const std::string& appName)
{
    const QString open = QStringLiteral("“") + qs(appName);
    switch (static_cast<controller::DetailAppLocation>(location)) {
    case controller::DetailAppLocation::installed:
        return std::nullopt;
    case controller::DetailAppLocation::inTrash:
        return BannerText{"trash.fill", QStringLiteral("Already in the Trash"),
                          open + QStringLiteral("” is in your Trash. Veldo lists only the files it "
                                                "left behind; the app stays in the Trash until "
                                                "you empty it."),
                          false};
    case controller::DetailAppLocation::removed:
        return BannerText{"checkmark.circle.fill", QStringLiteral("App Removed"),
                          open + QStringLiteral("” itself is gone. These are the files it left "
                                                "behind."),
                          false};
    case controller::DetailAppLocation::notFound:
        return BannerText{
            "questionmark.circle.fill", QStringLiteral("App Not Found"),
            open + QStringLiteral("” left the Applications folder, but Veldo couldn’t confirm it "
                                  "was deleted. If you moved it to another disk or folder, it "
                                  "still uses these files. Nothing is selected; choose only what "
                                  "you’re sure about."),
            true};
    }
    return std::nullopt;
}

AppDetailView::AppDetailView(controller::UninstallViewModel* model, core::InstalledApp app,
                             QWidget* parent)
    : AppDetailView(model, std::move(app), Options{}, parent)
{
}

AppDetailView::AppDetailView(controller::UninstallViewModel* model, core::InstalledApp app,
                             Options options, QWidget* parent)
    : QWidget(parent), m_model(model), m_app(std::move(app)), m_actions(std::move(options.actions))
{
    if (options.icons) {
        m_icons = options.icons;
    } else {
        m_ownIcons = std::make_unique<platform::qt::AppIconProvider>();
        m_icons = m_ownIcons.get();
    }
    if (!m_actions.scanLeftovers)
        m_actions.scanLeftovers = [this] {
            if (m_model)
                m_model->scanLeftovers().detach();
        };
    if (!m_actions.quitAndRescan)
        m_actions.quitAndRescan = [this] {
            if (m_model)
                m_model->quitAndRescan().detach();
        };
    if (!m_actions.reveal)
        m_actions.reveal = [this](const std::vector<platform::MacPath>& items) {
            VELDO_GCC12_IGNORE("-Wnull-dereference")
            if (m_model && m_model->services().reveal)
                m_model->services().reveal(items);
            VELDO_GCC12_IGNORE_END
        };
    if (!m_actions.exportReport)
        m_actions.exportReport = [this] {
            if (m_model)
                m_model->exportReport().detach();
        };
    if (!m_actions.uninstallApp)
        m_actions.uninstallApp = [this] {
            if (m_model)
                m_model->uninstallApp().detach();
        };
    if (!m_actions.toggleLeftover)
        m_actions.toggleLeftover = [this](const core::LeftoverItem& item) {
            if (m_model)
                m_model->toggleLeftover(item);
        };
    if (!m_actions.uninstallCask)
        m_actions.uninstallCask = [this](bool zap) {
            if (m_model)
                m_model
                    ->uninstallCask(zap ? leftovers::HomebrewCasks::Zap::yes
                                        : leftovers::HomebrewCasks::Zap::no)
                    .detach();
        };
    if (!m_actions.detailCaskToken)
        m_actions.detailCaskToken = [this]() -> std::optional<std::string> {
            if (!m_model)
                return std::nullopt;
            if (auto state = m_model->detailCaskState())
                return state->token;
            return std::nullopt;
        };
    if (!m_actions.protection)
        m_actions.protection = [](const core::InstalledApp& shown) {
            return core::appProtectionReason(shown.url);
        };

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildHeader(column);
    column->addWidget(separatorLine(this));
    buildContent(column);
    column->addWidget(separatorLine(this));
    buildBottomBar(column);

    using VM = controller::UninstallViewModel;
    for (auto signal :
         {&VM::leftoversChanged, &VM::isScanningLeftoversChanged, &VM::selectedLeftoverIDsChanged,
          &VM::isRemovingChanged, &VM::runningStatusChanged, &VM::detailAppLocationChanged,
          &VM::caskIndexChanged, &VM::selectedAppIDChanged, &VM::detailAppChanged,
          &VM::appsChanged})
        connect(model, signal, this, &AppDetailView::refresh);
    refresh();
}

AppDetailView::~AppDetailView()
{
    // The sheet goes with the screen: nothing it would confirm can run after this.
    delete m_sheet.data();
}

void AppDetailView::buildHeader(QVBoxLayout* column)
{
    auto* block = new QWidget(this);
    auto* blockColumn = new QVBoxLayout(block);
    blockColumn->setContentsMargins(20, 20, 20, 20);
    blockColumn->setSpacing(14);

    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    auto* icon = new FileIconView(m_icons, m_app.url, 72, block);
    auto* shadow = new QGraphicsDropShadowEffect(icon);
    shadow->setColor(QColor(0, 0, 0, 46));
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 3);
    icon->setGraphicsEffect(shadow);
    row->addWidget(icon, 0, Qt::AlignVCenter);

    auto* info = new QVBoxLayout;
    info->setSpacing(4);
    auto* name = new QLabel(qs(m_app.name), block);
    name->setTextFormat(Qt::PlainText);
    QFont nameFont = textFont(TextStyle::title, font());
    nameFont.setWeight(QFont::Bold);
    name->setFont(nameFont);
    name->setToolTip(qs(m_app.name));
    name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    info->addWidget(name);
    auto* versionRow = new QHBoxLayout;
    versionRow->setSpacing(8);
    m_version = secondaryText(versionText(m_app), TextStyle::caption, block);
    m_version->setObjectName(QStringLiteral("versionLabel"));
    m_version->setWordWrap(false);
    m_version->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    versionRow->addWidget(m_version);
    m_bundleID =
        secondaryText(m_app.bundleID ? qs(*m_app.bundleID) : QString(), TextStyle::caption, block);
    m_bundleID->setObjectName(QStringLiteral("bundleIDLabel"));
    m_bundleID->setWordWrap(false);
    m_bundleID->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_bundleID->setVisible(m_app.bundleID.has_value());
    versionRow->addWidget(m_bundleID, 1);
    info->addLayout(versionRow);
    m_badgeRow = new QHBoxLayout;
    m_badgeRow->setContentsMargins(0, 0, 0, 0);
    info->addLayout(m_badgeRow);
    row->addLayout(info, 1);

    auto* totals = new QVBoxLayout;
    totals->setSpacing(2);
    m_total = new QLabel(block);
    m_total->setObjectName(QStringLiteral("totalLabel"));
    QFont totalFont = textFont(TextStyle::title2, font());
    totalFont.setWeight(QFont::DemiBold);
    m_total->setFont(totalFont);
    m_total->setAlignment(Qt::AlignRight);
    m_itemsFound = secondaryText(QString(), TextStyle::caption, block);
    m_itemsFound->setObjectName(QStringLiteral("itemsFoundLabel"));
    m_itemsFound->setWordWrap(false);
    m_itemsFound->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_itemsFound->setAlignment(Qt::AlignRight);
    totals->addWidget(m_total);
    totals->addWidget(m_itemsFound);
    row->addLayout(totals);

    m_moreActions = new QToolButton(block);
    m_moreActions->setObjectName(QStringLiteral("moreActionsButton"));
    m_moreActions->setIcon(
        SymbolImage::icon("ellipsis.circle", tintOf(SystemColor::secondaryLabel, this), 22));
    m_moreActions->setIconSize(QSize(22, 22));
    m_moreActions->setText(QStringLiteral("More Actions"));
    m_moreActions->setAccessibleName(QStringLiteral("More Actions"));
    m_moreActions->setToolTip(QStringLiteral("More actions"));
    m_moreActions->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_moreActions->setAutoRaise(true);
    m_moreActions->setPopupMode(QToolButton::InstantPopup);
    m_moreActions->setMenu(moreActionsMenu());
    row->addWidget(m_moreActions, 0, Qt::AlignVCenter);
    blockColumn->addLayout(row);

    m_banners = new QVBoxLayout;
    m_banners->setSpacing(14);
    blockColumn->addLayout(m_banners);

    m_running = new RunningPanel(block);
    m_running->setObjectName(QStringLiteral("runningPanel"));
    auto* runningRow = new QHBoxLayout(m_running);
    runningRow->setContentsMargins(12, 12, 12, 12);
    runningRow->setSpacing(10);
    auto* play = new QLabel(m_running);
    play->setPixmap(
        SymbolImage::icon("play.circle.fill", tintOf(SystemColor::blue, this), 22).pixmap(22, 22));
    runningRow->addWidget(play);
    auto* runningColumn = new QVBoxLayout;
    runningColumn->setSpacing(2);
    m_runningTitle = new QLabel(m_running);
    m_runningTitle->setObjectName(QStringLiteral("runningTitle"));
    m_runningTitle->setFont(textFont(TextStyle::headline, font()));
    runningColumn->addWidget(m_runningTitle);
    runningColumn->addWidget(secondaryText(
        QStringLiteral(
            "Quit the app before removing files so it does not recreate caches or preferences."),
        TextStyle::caption, m_running));
    m_runningHelpers = secondaryText(QString(), TextStyle::caption, m_running);
    m_runningHelpers->setObjectName(QStringLiteral("runningHelpers"));
    runningColumn->addWidget(m_runningHelpers);
    runningRow->addLayout(runningColumn, 1);
    m_quitAndRescan = new QPushButton(QStringLiteral("Quit && Rescan"), m_running);
    m_quitAndRescan->setObjectName(QStringLiteral("quitAndRescanButton"));
    m_quitAndRescan->setAccessibleName(QStringLiteral("Quit & Rescan"));
    m_quitAndRescan->setAutoDefault(false);
    connect(m_quitAndRescan, &QPushButton::clicked, this, [this] { m_actions.quitAndRescan(); });
    runningRow->addWidget(m_quitAndRescan);
    blockColumn->addWidget(m_running);
    column->addWidget(block);
}

void AppDetailView::buildContent(QVBoxLayout* column)
{
    m_content = new QStackedWidget(this);
    m_content->setObjectName(QStringLiteral("contentPages"));

    m_scanningPage = new QWidget(m_content);
    m_scanningPage->setObjectName(QStringLiteral("scanningPage"));
    auto* scanning = new QVBoxLayout(m_scanningPage);
    scanning->setAlignment(Qt::AlignCenter);
    scanning->setSpacing(12);
    scanning->addWidget(new BusyIndicator(24, m_scanningPage), 0, Qt::AlignHCenter);
    scanning->addWidget(
        secondaryText(QStringLiteral("Searching granted folders for app-related files…"),
                      TextStyle::body, m_scanningPage));
    m_content->addWidget(m_scanningPage);

    m_listPage = new QWidget(m_content);
    m_listPage->setObjectName(QStringLiteral("listPage"));
    auto* listColumn = new QVBoxLayout(m_listPage);
    listColumn->setContentsMargins(0, 0, 0, 0);
    listColumn->setSpacing(0);
    auto* summaryRow = new QHBoxLayout;
    summaryRow->setContentsMargins(20, 20, 20, 0);
    summaryRow->setSpacing(8);
    m_pills = new QHBoxLayout;
    m_pills->setObjectName(QStringLiteral("confidencePills"));
    m_pills->setSpacing(8);
    summaryRow->addLayout(m_pills);
    summaryRow->addStretch(1);
    m_export = new QPushButton(QStringLiteral("Export Report"), m_listPage);
    m_export->setObjectName(QStringLiteral("exportButton"));
    m_export->setIcon(
        SymbolImage::icon("square.and.arrow.up", tintOf(SystemColor::label, this), 14));
    m_export->setAutoDefault(false);
    connect(m_export, &QPushButton::clicked, this, [this] {
        if (m_actions.exportReport)
            m_actions.exportReport();
    });
    summaryRow->addWidget(m_export);
    listColumn->addLayout(summaryRow);

    m_list = new RowListView(m_listPage);
    m_list->setObjectName(QStringLiteral("leftoverList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setMouseTracking(true);
    m_list->setAccessibleName(QStringLiteral("Leftovers"));
    QPalette listPalette = m_list->palette();
    listPalette.setColor(QPalette::Base, listPalette.color(QPalette::Window));
    m_list->setPalette(listPalette);
    m_listModel = new LeftoverListModel(m_model, this);
    m_listModel->setObjectName(QStringLiteral("leftoverModel"));
    m_list->setModel(m_listModel);
    const LeftoverRow::ItemAction toggle = [this](const core::LeftoverItem& item) {
        if (m_actions.toggleLeftover)
            m_actions.toggleLeftover(item);
    };
    const LeftoverRow::ItemAction reveal = [this](const core::LeftoverItem& item) {
        // An item that is gone is not shown (the file manager would open its folder).
        VELDO_GCC12_IGNORE("-Wnull-dereference")
        if (m_model && m_model->services().fileExists && !m_model->services().fileExists(item.url))
            return;
        VELDO_GCC12_IGNORE_END
        m_actions.reveal({item.url});
    };
    m_rowDelegate = new LeftoverRow(toggle, reveal, this);
    m_list->setItemDelegate(m_rowDelegate);
    // A right-click moves neither the ticks nor the row Space toggles.
    installRowContextMenu(m_list);
    // A copy of the row's item: the action may change the list it lives in.
    const auto onRow = [this](LeftoverRow::ItemAction action) {
        return [this, action = std::move(action)](int row) {
            if (const core::LeftoverItem* item = m_listModel->itemAt(row)) {
                const core::LeftoverItem copy = *item;
                action(copy);
            }
        };
    };
    m_list->setRowActions(onRow(toggle), onRow(reveal));
    listColumn->addWidget(m_list, 1);
    m_content->addWidget(m_listPage);

    m_emptyPage = new EmptyStateView(
        "checkmark.seal.fill", QStringLiteral("Nothing Left Behind"),
        QStringLiteral("Veldo couldn't find associated files inside the folders you've granted."),
        m_content);
    m_emptyPage->setObjectName(QStringLiteral("emptyPage"));
    m_content->addWidget(m_emptyPage);
    column->addWidget(m_content, 1);
}

void AppDetailView::buildBottomBar(QVBoxLayout* column)
{
    auto* bar = new QWidget(this);
    bar->setAutoFillBackground(true);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(20, 12, 20, 12);
    row->setSpacing(12);
    m_selectAll = linkButton(QStringLiteral("Select All"), bar);
    m_selectAll->setObjectName(QStringLiteral("selectAllButton"));
    connect(m_selectAll, &QPushButton::clicked, this, &AppDetailView::selectAllClicked);
    auto* selectAllKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), this);
    connect(selectAllKey, &QShortcut::activated, this, [this] {
        if (m_selectAll->isVisible())
            m_selectAll->click();
    });
    row->addWidget(m_selectAll);
    m_summary = secondaryText(QString(), TextStyle::callout, bar);
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_summary->setWordWrap(false);
    m_summary->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    row->addWidget(m_summary);
    row->addStretch(1);

    m_primary = new QPushButton(bar);
    m_primary->setObjectName(QStringLiteral("primaryButton"));
    m_primary->setAutoDefault(false);
    m_primary->setMinimumWidth(170);
    m_primary->setMinimumHeight(32);
    // The prominent, red-tinted destructive button.
    const QColor red = tintOf(SystemColor::red, this);
    m_primary->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none; "
                       "border-radius: 7px; padding: 6px 16px; }"
                       "QPushButton:pressed { background: %2; }"
                       "QPushButton:disabled { background: %3; color: rgba(255,255,255,0.8); }")
            .arg(red.name(), red.darker(115).name(), red.lighter(140).name()));
    QFont primaryFont = m_primary->font();
    primaryFont.setWeight(QFont::DemiBold);
    m_primary->setFont(primaryFont);
    connect(m_primary, &QPushButton::clicked, this, &AppDetailView::primaryClicked);
    auto* primaryKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace), this);
    connect(primaryKey, &QShortcut::activated, this, [this] {
        if (m_primary->isEnabled())
            m_primary->click();
    });
    row->addWidget(m_primary);
    column->addWidget(bar);
}

bool AppDetailView::isSelectedAppProtected()
{
    if (!m_model)
        return false;
    const std::optional<core::InstalledApp> selected = m_model->selectedApp();
    if (!selected) {
        m_protectionVerdict.reset();
        return false;
    }
    if (!m_protectionVerdict || m_protectionVerdict->first != selected->id())
        m_protectionVerdict = std::pair{selected->id(), m_actions.protection(*selected)};
    return m_protectionVerdict->second.isProtected;
}

void AppDetailView::refresh()
{
    if (!m_model)
        return;
    const controller::UninstallViewModel& model = *m_model;

    // The Homebrew badge depends only on the cask lookup for this app.
    std::optional<std::string> token;
    if (auto cask = model.caskToken(m_app.url))
        token = cask->token;
    if (token != m_badgeToken || (token && !m_caskBadge)) {
        delete m_caskBadge;
        m_caskBadge = nullptr;
        m_badgeToken = token;
        if (token) {
            const QString mug = SymbolImage::glyph("mug.fill").value_or(QString());
            m_caskBadge =
                new TintedPill(mug + QStringLiteral(" Installed with Homebrew (") + qs(*token) +
                                   QStringLiteral(")"),
                               tintOf(SystemColor::brown, this), 0.16, QMargins(7, 3, 7, 3), this);
            m_caskBadge->setObjectName(QStringLiteral("caskBadge"));
            QFont badgeFont = textFont(TextStyle::caption, font());
            badgeFont.setWeight(QFont::DemiBold);
            m_caskBadge->setFont(badgeFont);
            m_caskBadge->setToolTip(QStringLiteral("Homebrew manages this app. Uninstalling it "
                                                   "with Homebrew keeps Homebrew’s records "
                                                   "correct."));
            m_badgeRow->addWidget(m_caskBadge, 0, Qt::AlignLeft);
        }
    }

    const std::vector<core::LeftoverItem>& leftovers = model.leftovers();
    m_total->setText(qs(platform::sizeText(model.removableLeftoverBytes())));
    m_itemsFound->setText(
        qs(platform::pluralizedCount(static_cast<std::int64_t>(leftovers.size()), "item")) +
        QStringLiteral(" found"));

    refreshBanners();

    if (model.isScanningLeftovers())
        m_content->setCurrentWidget(m_scanningPage);
    else if (!leftovers.empty())
        m_content->setCurrentWidget(m_listPage);
    else
        m_content->setCurrentWidget(m_emptyPage);
    refreshPills();

    // What a removal of the selection would move: the summary counts it and sums its sizes, and
    // the review button needs some.
    const std::vector<core::LeftoverItem> selected = model.selectedRemovableLeftovers();
    const bool everySelected =
        !leftovers.empty() && model.selectedLeftoverIDs().size() == leftovers.size();
    m_selectAll->setText(everySelected ? QStringLiteral("Deselect All")
                                       : QStringLiteral("Select All"));
    m_selectAll->setVisible(!leftovers.empty());
    m_summary->setText(QString::number(selected.size()) + QStringLiteral(" selected · ") +
                       qs(platform::sizeText(model.selectedLeftoverBytes())));
    m_summary->setVisible(!leftovers.empty());

    const bool isProtected = isSelectedAppProtected();
    const std::optional<std::string> caskState =
        m_actions.detailCaskToken ? m_actions.detailCaskToken() : std::nullopt;
    m_primaryIsHomebrew = caskState.has_value();
    const bool removing = model.isRemoving();
    const QColor white(Qt::white);
    // A push button reads "&" as a mnemonic mark.
    auto setTitle = [this](const QString& title) {
        m_primary->setText(QString(title).replace(QLatin1Char('&'), QStringLiteral("&&")));
        m_primary->setAccessibleName(title);
    };
    if (m_primaryIsHomebrew) {
        setTitle(removing ? QStringLiteral("Uninstalling…")
                          : QStringLiteral("Uninstall with Homebrew…"));
        m_primary->setIcon(SymbolImage::icon("mug.fill", white, 16));
        m_primary->setEnabled(!removing && !isProtected);
    } else {
        setTitle(removing ? QStringLiteral("Removing…") : QStringLiteral("Review & Move to Trash"));
        m_primary->setIcon(SymbolImage::icon("trash.fill", white, 16));
        m_primary->setEnabled(!selected.empty() && !removing && !isProtected);
    }
}

void AppDetailView::refreshBanners()
{
    const controller::UninstallViewModel& model = *m_model;
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    const int location = static_cast<int>(model.detailAppLocation());
    VELDO_GCC12_IGNORE_END
    if (location != m_locationShown) {
        delete m_location;
        m_location = nullptr;
        m_locationShown = location;
        if (auto banner = locationBanner(location, m_app.name)) {
            m_location = new StatusBanner(
                banner->symbol, banner->title, banner->message,
                tintOf(banner->orange ? SystemColor::orange : SystemColor::blue, this), this);
            m_location->setObjectName(QStringLiteral("locationBannerView"));
            m_banners->insertWidget(0, m_location);
        }
    }

    const bool isProtected = isSelectedAppProtected();
    if (isProtected && !m_protection) {
        const core::AppProtectionVerdict& verdict = m_protectionVerdict->second;
        m_protection =
            new StatusBanner("lock.shield.fill", QStringLiteral("Protected App"),
                             verdict.reason ? qs(*verdict.reason)
                                            : QStringLiteral("Veldo will not remove this app."),
                             tintOf(SystemColor::orange, this), this);
        m_protection->setObjectName(QStringLiteral("protectionBanner"));
        m_banners->addWidget(m_protection);
    } else if (!isProtected && m_protection) {
        delete m_protection;
        m_protection = nullptr;
    }

    const core::RunningAppStatus& running = model.runningStatus();
    m_running->setVisible(running.isRunning || !running.helperNames.empty());
    m_runningTitle->setText(running.isRunning ? QStringLiteral("App Is Running")
                                              : QStringLiteral("App Helpers Are Running"));
    QStringList helpers;
    for (const std::string& name : running.helperNames)
        helpers << qs(name);
    m_runningHelpers->setText(QStringLiteral("Also running from inside the app: ") +
                              helpers.join(QStringLiteral(", ")));
    m_runningHelpers->setVisible(!helpers.isEmpty());
}

void AppDetailView::refreshPills()
{
    std::map<core::MatchConfidence, int> counts;
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    for (const core::LeftoverItem& item : m_model->leftovers())
        ++counts[item.confidence];
    VELDO_GCC12_IGNORE_END
    QStringList wanted;
    for (const auto& [confidence, count] : counts)
        wanted << ConfidencePill::label(confidence, count);
    if (wanted == pillLabels())
        return;
    while (QLayoutItem* item = m_pills->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const auto& [confidence, count] : counts)
        m_pills->addWidget(new ConfidencePill(confidence, count, m_listPage));
}

QStringList AppDetailView::pillLabels() const
{
    QStringList labels;
    for (int i = 0; i < m_pills->count(); ++i)
        if (auto* pill = qobject_cast<ConfidencePill*>(m_pills->itemAt(i)->widget()))
            labels << pill->label();
    return labels;
}

void AppDetailView::selectAllClicked()
{
    if (!m_model)
        return;
    const auto& leftovers = m_model->leftovers();
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    if (!leftovers.empty() && m_model->selectedLeftoverIDs().size() == leftovers.size())
        m_model->setSelectedLeftoverIDs({});
    else
        m_model->selectAllLeftovers();
    VELDO_GCC12_IGNORE_END
}

void AppDetailView::primaryClicked()
{
    if (!m_model)
        return;
    if (m_primaryIsHomebrew) {
        if (auto cask = m_model->caskToken(m_app.url))
            setActiveSheet(DetailSheet::homebrew(*cask));
        else
            setActiveSheet(DetailSheet::review());
        return;
    }
    setActiveSheet(DetailSheet::review());
}

void AppDetailView::setActiveSheet(std::optional<DetailSheet> sheet)
{
    if (sheet && m_activeSheet && sheet->id() == m_activeSheet->id())
        return;
    if (m_sheet) {
        QDialog* old = m_sheet;
        m_sheet = nullptr;
        old->hide();
        old->deleteLater();
    }
    m_activeSheet = std::move(sheet);
    if (!m_activeSheet || !m_model)
        return;
    auto dismiss = [this] { setActiveSheet(std::nullopt); };
    if (m_activeSheet->kind == DetailSheet::Kind::review) {
        std::optional<std::string> token;
        if (auto cask = m_model->caskToken(m_app.url))
            token = cask->token;
        RemovalReviewSheet::Actions actions;
        actions.dismiss = dismiss;
        actions.uninstall = [this] {
            if (m_actions.uninstallApp)
                m_actions.uninstallApp();
        };
        actions.exportReport = [this] {
            if (m_actions.exportReport)
                m_actions.exportReport();
        };
        actions.isProtected = [this](const core::InstalledApp&) {
            return isSelectedAppProtected();
        };
        m_sheet = new RemovalReviewSheet(*m_model, m_app, token, std::move(actions), m_icons, this);
        m_sheet->setObjectName(QStringLiteral("reviewSheet"));
    } else {
        HomebrewUninstallSheet::Actions actions;
        actions.dismiss = dismiss;
        actions.moveToTrashInstead = [this] { setActiveSheet(DetailSheet::review()); };
        actions.uninstall = [this](bool zap) {
            if (m_actions.uninstallCask)
                m_actions.uninstallCask(zap);
        };
        actions.isProtected = [this](const core::InstalledApp&) {
            return isSelectedAppProtected();
        };
        m_sheet = new HomebrewUninstallSheet(*m_model, m_app, *m_activeSheet->cask,
                                             std::move(actions), m_icons, this);
        m_sheet->setObjectName(QStringLiteral("homebrewSheet"));
    }
    m_sheet->setWindowModality(Qt::WindowModal);
    fitHeight(m_sheet);
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    m_sheet->open();
    VELDO_GCC12_IGNORE_END
}

QMenu* AppDetailView::moreActionsMenu()
{
    auto* menu = new QMenu(this);
    const platform::MacPath url = m_app.url;
    connect(menu->addAction(QStringLiteral("Reveal in Finder")), &QAction::triggered, this,
            [this, url] { m_actions.reveal({url}); });
    connect(menu->addAction(QStringLiteral("Rescan")), &QAction::triggered, this,
            [this] { m_actions.scanLeftovers(); });
    if (m_app.bundleID) {
        menu->addSeparator();
        const QString bundleID = qs(*m_app.bundleID);
        connect(menu->addAction(QStringLiteral("Copy Bundle Identifier")), &QAction::triggered,
                this, [bundleID] { QGuiApplication::clipboard()->setText(bundleID); });
    }
    const QString path = qs(url.path());
    connect(menu->addAction(QStringLiteral("Copy Path")), &QAction::triggered, this,
            [path] { QGuiApplication::clipboard()->setText(path); });
    return menu;
}

} // namespace veldo::ui
