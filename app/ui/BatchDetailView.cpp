#include "app/ui/BatchDetailView.h"

#include <algorithm>
#include <utility>

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/BatchAppRow.h"
#include "app/ui/BusyIndicator.h"
#include "app/ui/ConfirmationBox.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/ScrollPage.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "base/CompilerWarnings.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Inflection.h"
#include "platform/qt/AppIconProvider.h"

namespace veldo::ui {

namespace {

using controller::BatchAppResult;

QString inflected(const std::string& markup)
{
    return QString::fromStdString(platform::inflect(markup));
}

QString sizeString(std::int64_t bytes)
{
    return QString::fromStdString(platform::sizeText(bytes));
}

QLabel* plainLabel(QWidget* parent, TextStyle style, bool secondary)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(textFont(style, parent->font()));
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText,
                         SystemColors::color(SystemColor::secondaryLabel,
                                             SystemColors::colorScheme(parent->palette())));
        label->setPalette(palette);
    }
    return label;
}

// The header's tile: the accent gradient behind a white stack of layers.
class BatchTile : public QWidget
{
public:
    explicit BatchTile(QWidget* parent) : QWidget(parent) { setFixedSize(64, 64); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor accent =
            SystemColors::color(SystemColor::accent, SystemColors::colorScheme(palette()));
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, accent.lighter(125));
        gradient.setColorAt(1, accent);
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawRoundedRect(QRectF(rect()), 16, 16);
        SymbolImage::paint(painter, QRectF(rect()), "square.stack.3d.up.fill", Qt::white,
                           SymbolImage::font(30, QFont::DemiBold));
    }
};

} // namespace

BatchDetailView::BatchDetailView(controller::UninstallViewModel& model,
                                 platform::qt::AppIconProvider* icons, QWidget* parent)
    : QWidget(parent), m_model(model), m_icons(icons)
{
    if (!m_icons)
        m_icons = new platform::qt::AppIconProvider(this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 20, 20, 20);
    header->setSpacing(16);
    header->addWidget(new BatchTile(this));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    m_title = plainLabel(this, TextStyle::title, false);
    m_title->setObjectName(QStringLiteral("titleLabel"));
    QFont titleFont = m_title->font();
    titleFont.setWeight(QFont::Bold);
    m_title->setFont(titleFont);
    titles->addWidget(m_title);
    QLabel* subtitle = plainLabel(this, TextStyle::caption, true);
    subtitle->setText(QStringLiteral("Review and uninstall multiple apps in one pass."));
    titles->addWidget(subtitle);
    header->addLayout(titles, 1);
    auto* totals = new QVBoxLayout;
    totals->setSpacing(2);
    m_size = plainLabel(this, TextStyle::title2, false);
    m_size->setObjectName(QStringLiteral("totalSizeLabel"));
    QFont sizeFont = m_size->font();
    sizeFont.setWeight(QFont::DemiBold);
    m_size->setFont(sizeFont);
    m_size->setAlignment(Qt::AlignRight);
    totals->addWidget(m_size);
    m_items = plainLabel(this, TextStyle::caption, true);
    m_items->setObjectName(QStringLiteral("itemsSelectedLabel"));
    m_items->setAlignment(Qt::AlignRight);
    totals->addWidget(m_items);
    header->addLayout(totals);
    column->addLayout(header);

    auto divider = [this, column] {
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Plain);
        QPalette p = line->palette();
        p.setColor(QPalette::WindowText, SystemColors::color(SystemColor::separator,
                                                             SystemColors::colorScheme(palette())));
        line->setPalette(p);
        column->addWidget(line);
    };
    divider();

    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("contentPages"));
    auto* scanning = new QWidget(m_stack);
    scanning->setObjectName(QStringLiteral("scanningPage"));
    auto* scanningColumn = new QVBoxLayout(scanning);
    scanningColumn->setSpacing(12);
    scanningColumn->addStretch(1);
    scanningColumn->addWidget(new BusyIndicator(24, scanning), 0, Qt::AlignHCenter);
    m_scanning = plainLabel(scanning, TextStyle::body, true);
    scanningColumn->addWidget(m_scanning, 0, Qt::AlignHCenter);
    scanningColumn->addStretch(1);
    m_stack->addWidget(scanning);

    auto* rowsHolder = new QWidget(m_stack);
    rowsHolder->setObjectName(QStringLiteral("rowsPage"));
    m_rowsPage = scrollPage(rowsHolder);
    m_rowsLayout = new QVBoxLayout(m_rowsPage);
    m_rowsLayout->setObjectName(QStringLiteral("rowsColumn"));
    m_rowsLayout->setContentsMargins(20, 20, 20, 20);
    m_rowsLayout->setSpacing(10);
    m_rowsLayout->addStretch(1);
    m_stack->addWidget(rowsHolder);

    m_empty = new EmptyStateView(
        "checkmark.seal.fill", QStringLiteral("Nothing to Clean"),
        QString::fromUtf8("Veldo didn\u2019t find removable files for the selected apps inside "
                          "your granted folders."),
        m_stack);
    m_empty->setObjectName(QStringLiteral("nothingToCleanPage"));
    m_stack->addWidget(m_empty);
    column->addWidget(m_stack, 1);
    divider();

    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(20, 12, 20, 12);
    footer->setSpacing(12);
    m_footer = plainLabel(this, TextStyle::callout, true);
    m_footer->setObjectName(QStringLiteral("footerLabel"));
    footer->addWidget(m_footer, 1);
    m_remove = new QPushButton(this);
    m_remove->setObjectName(QStringLiteral("removeButton"));
    m_remove->setAutoDefault(false);
    m_remove->setMinimumWidth(200);
    m_remove->setMinimumHeight(32);
    // Bordered-prominent in red: a filled button with white text, paler while disabled.
    const QColor red = SystemColors::color(SystemColor::red, SystemColors::colorScheme(palette()));
    m_remove->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: white; border: none; "
                       "border-radius: 7px; padding: 6px 16px; font-weight: 600; }"
                       "QPushButton:pressed { background-color: %2; }"
                       "QPushButton:disabled { background-color: %3; color: %4; }")
            .arg(red.name(), red.darker(120).name(),
                 QColor(red.red(), red.green(), red.blue(), 90).name(QColor::HexArgb),
                 QColor(255, 255, 255, 200).name(QColor::HexArgb)));
    auto* removing = new QHBoxLayout(m_remove);
    removing->setContentsMargins(10, 0, 10, 0);
    auto* spinner = new BusyIndicator(14, m_remove);
    spinner->setObjectName(QStringLiteral("removingIndicator"));
    removing->addWidget(spinner, 0, Qt::AlignVCenter);
    removing->addStretch(1);
    connect(m_remove, &QPushButton::clicked, this, &BatchDetailView::askToRemove);
    // Its own shortcut: a button's text replaces the button's shortcut with its mnemonic.
    auto* removeKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace), this);
    connect(removeKey, &QShortcut::activated, this, [this] {
        if (m_remove->isEnabled())
            m_remove->click();
    });
    footer->addWidget(m_remove);
    column->addLayout(footer);

    using VM = controller::UninstallViewModel;
    for (auto changed :
         {&VM::selectedAppIDsChanged, &VM::appsChanged, &VM::isScanningBatchChanged,
          &VM::batchResultsChanged, &VM::batchIncludedIDsChanged, &VM::isRemovingChanged})
        connect(&m_model, changed, this, &BatchDetailView::scheduleRefresh);
    // A selection change closes the confirmation at once: it names other apps now.
    connect(&m_model, &VM::selectedAppIDsChanged, this, [this] {
        VELDO_GCC12_IGNORE("-Wnull-dereference")
        if (m_confirmation && m_model.selectedAppIDs() != m_confirmedSelection)
            m_confirmation->reject();
        VELDO_GCC12_IGNORE_END
    });
    connect(&m_model, &VM::batchIncludedIDsChanged, this, &BatchDetailView::refreshConfirmation);
    connect(&m_model, &VM::batchResultsChanged, this, &BatchDetailView::refreshConfirmation);
    if (m_model.settings())
        m_settingsObserver =
            m_model.settings()->addObserver([this](core::CleanupSettings::Property p) {
                if (p == core::CleanupSettings::Property::quitBeforeRemoving)
                    QTimer::singleShot(0, this, &BatchDetailView::refreshConfirmation);
            });
    refresh();
}

BatchDetailView::~BatchDetailView()
{
    if (m_model.settings())
        m_model.settings()->removeObserver(m_settingsObserver);
}

void BatchDetailView::scheduleRefresh()
{
    if (std::exchange(m_refreshQueued, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_refreshQueued = false;
        refresh();
    });
}

void BatchDetailView::refresh()
{
    const auto selected = static_cast<std::int64_t>(m_model.selectedApps().size());
    const Results included = m_model.includedBatchResults();
    m_title->setText(headerTitle(selected));
    m_size->setText(sizeString(m_model.includedBatchBytes()));
    m_items->setText(itemsSelectedText(m_model.includedBatchItemCount()));
    m_scanning->setText(scanningText(selected));
    if (m_model.batchResults() != m_shownResults)
        rebuildRows();
    for (BatchAppRow* row : m_rows)
        row->setIncluded(m_model.batchIncludedIDs().contains(row->result().app.id()));
    m_stack->setCurrentIndex(m_model.isScanningBatch()         ? 0
                             : !m_model.batchResults().empty() ? 1
                                                               : 2);
    m_footer->setText(footer(static_cast<std::int64_t>(included.size()),
                             static_cast<std::int64_t>(m_model.batchResults().size())));

    const bool removing = m_model.isRemoving();
    m_remove->setText(removing ? QString::fromUtf8("Removing\u2026") : removeButtonTitle(included));
    m_remove->setIcon(removing ? QIcon() : SymbolImage::icon("trash.fill", Qt::white, 16));
    m_remove->findChild<BusyIndicator*>(QStringLiteral("removingIndicator"))->setVisible(removing);
    m_remove->setEnabled(!included.empty() && !removing);
}

void BatchDetailView::rebuildRows()
{
    m_shownResults = m_model.batchResults();
    // One pass without repaints between rows, however many there are.
    m_rowsPage->setUpdatesEnabled(false);
    for (BatchAppRow* row : m_rows)
        delete row;
    m_rows.clear();
    m_rows.reserve(m_shownResults.size());
    for (const BatchAppResult& result : m_shownResults) {
        auto* row = new BatchAppRow(m_model, result, m_icons, m_rowsPage);
        m_rowsLayout->insertWidget(m_rowsLayout->count() - 1, row);
        m_rows.push_back(row);
    }
    m_rowsPage->setUpdatesEnabled(true);
}

std::vector<std::string> BatchDetailView::includedIds() const
{
    std::vector<std::string> ids;
    for (const BatchAppResult& result : m_model.includedBatchResults())
        ids.push_back(result.app.id());
    return ids;
}

void BatchDetailView::askToRemove()
{
    if (m_confirmation)
        return;
    const Results included = m_model.includedBatchResults();
    if (included.empty() || m_model.isRemoving())
        return;
    const ConfirmationBox box =
        makeConfirmationBox(this, QString(), QString(), QStringLiteral("Move to Trash"));
    m_confirmation = box.box;
    m_confirmation->setObjectName(QStringLiteral("removeConfirmation"));
    m_confirmedIds = includedIds();
    m_confirmedSelection = m_model.selectedAppIDs();
    refreshConfirmation();
    connect(box.action, &QPushButton::clicked, this, [this] { m_model.removeBatch().detach(); });
    box.box->open();
}

void BatchDetailView::refreshConfirmation()
{
    if (!m_confirmation)
        return;
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    if (includedIds() != m_confirmedIds || m_model.selectedAppIDs() != m_confirmedSelection) {
        m_confirmation->reject();
        return;
    }
    VELDO_GCC12_IGNORE_END
    const Results included = m_model.includedBatchResults();
    const bool quit = m_model.settings() ? m_model.settings()->quitBeforeRemoving()
                                         : core::CleanupSettings::defaultValue(
                                               core::CleanupSettings::Property::quitBeforeRemoving);
    m_confirmation->setText(confirmationTitle(included));
    setPlainInformativeText(m_confirmation,
                            confirmationMessage(included, m_model.includedBatchItemCount(),
                                                m_model.includedBatchBytes(), quit)
                                .join(QStringLiteral("\n\n")));
}

bool BatchDetailView::allIncludedRemoveAppBundle(const Results& included)
{
    return !included.empty() && std::ranges::all_of(included, [](const BatchAppResult& r) {
        return r.removesAppBundle();
    });
}

std::vector<core::LeftoverItem> BatchDetailView::includedDefaultItems(const Results& included)
{
    std::vector<core::LeftoverItem> items;
    for (const BatchAppResult& result : included)
        items.insert(items.end(), result.defaultSelected.begin(), result.defaultSelected.end());
    return items;
}

int BatchDetailView::adminItemCount(const Results& included)
{
    const auto items = includedDefaultItems(included);
    return static_cast<int>(
        std::ranges::count_if(items, [](const core::LeftoverItem& i) { return i.requiresAdmin; }));
}

int BatchDetailView::runningAppCount(const Results& included)
{
    return static_cast<int>(
        std::ranges::count_if(included, [](const BatchAppResult& r) { return r.isRunning; }));
}

BatchDetailView::Results BatchDetailView::homebrewBundleResults(const Results& included)
{
    Results results;
    std::ranges::copy_if(included, std::back_inserter(results), [](const BatchAppResult& r) {
        return r.caskToken.has_value() && r.removesAppBundle();
    });
    return results;
}

QString BatchDetailView::headerTitle(std::int64_t selectedApps)
{
    return inflected("^[" + std::to_string(selectedApps) + " Application](inflect: true) Selected");
}

QString BatchDetailView::itemsSelectedText(std::int64_t items)
{
    return inflected("^[" + std::to_string(items) + " item](inflect: true) selected");
}

QString BatchDetailView::scanningText(std::int64_t selectedApps)
{
    return inflected("Scanning ^[" + std::to_string(selectedApps) +
                     " app](inflect: true) for leftover files\u2026");
}

QString BatchDetailView::footer(std::int64_t included, std::int64_t results)
{
    return inflected(std::to_string(included) + " of ^[" + std::to_string(results) +
                     " app](inflect: true) included");
}

QString BatchDetailView::removeButtonTitle(const Results& included)
{
    const std::string n = std::to_string(included.size());
    return allIncludedRemoveAppBundle(included)
               ? inflected("Move ^[" + n + " App](inflect: true) to Trash\u2026")
               : inflected("Clean Up ^[" + n + " App](inflect: true)\u2026");
}

QString BatchDetailView::confirmationTitle(const Results& included)
{
    const std::string n = std::to_string(included.size());
    if (allIncludedRemoveAppBundle(included))
        return inflected("Move ^[" + n + " app](inflect: true) and " +
                         (included.size() == 1 ? "its" : "their") + " files to the Trash?");
    return inflected("Move files from ^[" + n + " app](inflect: true) to the Trash?");
}

QStringList BatchDetailView::confirmationMessage(const Results& included, std::int64_t itemCount,
                                                 std::int64_t bytes, bool quitBeforeRemoving)
{
    QStringList paragraphs;
    paragraphs << QString::fromStdString("Veldo will move " +
                                         platform::pluralizedCount(itemCount, "item") + " (" +
                                         platform::sizeText(bytes) +
                                         ") to the Trash. You can undo this with Edit \u25b8 "
                                         "Undo Last Cleanup.");
    if (!allIncludedRemoveAppBundle(included))
        paragraphs << QStringLiteral(
            "Some apps stay installed; only their safe-default files are removed.");
    if (const int admin = adminItemCount(included); admin >= 1)
        paragraphs << QString::fromStdString(platform::pluralizedCount(admin, "item") + " need" +
                                             (admin == 1 ? "s" : "") +
                                             " your administrator password.");
    if (runningAppCount(included) >= 1 && quitBeforeRemoving)
        paragraphs << QString::fromUtf8("Running apps will be asked to quit first; any that "
                                        "don\u2019t quit keep their files.");
    if (const Results brewed = homebrewBundleResults(included); !brewed.empty()) {
        const bool one = brewed.size() == 1;
        QStringList names;
        for (const BatchAppResult& result : brewed)
            names << QString::fromUtf8("\u201c") + QString::fromStdString(result.app.name) +
                         QString::fromUtf8("\u201d");
        paragraphs << names.join(QStringLiteral(", ")) +
                          QString::fromUtf8(" %1 installed with Homebrew, which will still think "
                                            "%2 installed. To keep Homebrew\u2019s records "
                                            "right, select %3 alone and use Uninstall with "
                                            "Homebrew.")
                              .arg(one ? QStringLiteral("was") : QStringLiteral("were"),
                                   one ? QStringLiteral("it is") : QStringLiteral("they are"),
                                   one ? QStringLiteral("it") : QStringLiteral("each one"));
    }
    return paragraphs;
}

} // namespace veldo::ui
