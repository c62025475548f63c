// The Developer Footprint screen.
#include "app/ui/DeveloperView.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "app/controller/UninstallViewModel.h"
#include "app/scanners/SetupSnapshot.h"
#include "app/ui/CheckListView.h"
#include "app/ui/ConfirmationBox.h"
#include "app/ui/DiskUsageMapSection.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/FolderPanel.h"
#include "app/ui/PackageListModel.h"
#include "app/ui/PackageResultView.h"
#include "app/ui/PackageRowDelegate.h"
#include "app/ui/SelectedMapKind.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/ToolScreenParts.h"
#include "app/ui/ToolchainListModel.h"
#include "app/ui/ToolchainRowDelegate.h"
#include "base/RawValue.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Inflection.h"

namespace veldo::ui {
namespace {

using core::DeveloperTab;

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

QString sizeString(std::int64_t bytes)
{
    return qs(platform::sizeText(bytes));
}

std::int64_t sizeOf(const std::vector<core::ToolchainItem>& items)
{
    std::int64_t total = 0;
    for (const core::ToolchainItem& item : items)
        total += item.sizeBytes;
    return total;
}

// A stack of the scanning placeholder (0), the content (1) and the empty state (2).
QStackedWidget* tabStack(const QString& scanning, QWidget* content, const QString& emptyTitle,
                         const char* emptySymbol, const QString& emptyDescription, QWidget* parent)
{
    auto* stack = new QStackedWidget(parent);
    stack->addWidget(scanningPlaceholder(scanning, stack));
    stack->addWidget(content);
    stack->addWidget(new EmptyStateView(emptySymbol, emptyTitle, emptyDescription, stack));
    return stack;
}

// A window-modal warning over `parent` that deletes itself when closed, its texts never read as
// markup, with the destructive `action` and "Cancel" (the default, and Esc). Answers the box and
// its buttons; the caller sets the texts and opens it.
ConfirmationBox destructiveWarning(QWidget* parent, const QString& action)
{
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);
    QPushButton* button = box->addButton(action, QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return {box, button, cancel};
}

QString tabButtonName(DeveloperTab tab)
{
    switch (tab) {
    case DeveloperTab::footprint:
        return QStringLiteral("footprintTab");
    case DeveloperTab::map:
        return QStringLiteral("mapTab");
    case DeveloperTab::packages:
        break;
    }
    return QStringLiteral("packagesTab");
}

} // namespace

QString DeveloperView::packageUninstallMessage(const std::vector<core::DevPackage>& packages)
{
    QStringList paragraphs;
    QStringList names;
    bool cask = false;
    for (std::size_t i = 0; i < packages.size(); ++i) {
        if (i < 5)
            names << qs(packages[i].name);
        cask = cask || packages[i].manager == core::PackageManagerKind::brewCask;
    }
    QString first = names.join(QStringLiteral(", "));
    if (packages.size() > 5)
        first += QStringLiteral(" and %1 more").arg(packages.size() - 5);
    if (!first.isEmpty())
        paragraphs << first;
    paragraphs << QStringLiteral("Veldo runs each manager’s own uninstaller (brew, npm, pip, gem). "
                                 "Nothing goes to the Trash, and this can’t be undone.");
    if (cask)
        paragraphs << QStringLiteral("Uninstalling a Homebrew cask also deletes its app.");
    return paragraphs.join(QStringLiteral("\n\n"));
}

QString DeveloperView::toolchainTrashMessage(const std::vector<core::ToolchainItem>& items)
{
    std::vector<core::ToolchainItem> data;
    std::vector<core::ToolchainItem> reinstallable;
    std::vector<core::ToolchainItem> admin;
    for (const core::ToolchainItem& item : items) {
        if (item.holdsUserData)
            data.push_back(item);
        if (!item.isCache && !item.holdsUserData)
            reinstallable.push_back(item);
        if (item.requiresAdmin)
            admin.push_back(item);
    }
    const auto count = [](const std::vector<core::ToolchainItem>& list, const char* noun) {
        return qs(platform::pluralizedCount(static_cast<std::int64_t>(list.size()), noun));
    };
    QStringList paragraphs;
    if (!data.empty())
        paragraphs << QStringLiteral("Includes ") + count(data, "item") +
                          QStringLiteral(" holding your data (") + sizeString(sizeOf(data)) +
                          QStringLiteral(") — VM disks, containers or archives that can’t be "
                                         "downloaded again.");
    if (!reinstallable.empty())
        paragraphs << QStringLiteral("Includes ") + count(reinstallable, "reinstallable item") +
                          QStringLiteral(" (") + sizeString(sizeOf(reinstallable)) +
                          QStringLiteral(") — SDKs, runtimes or toolchains you’d need to download "
                                         "again.");
    if (!admin.empty())
        paragraphs << count(admin, "item") +
                          (admin.size() == 1 ? QStringLiteral(" needs") : QStringLiteral(" need")) +
                          QStringLiteral(" your administrator password.");
    paragraphs << QStringLiteral("You can undo this with Edit ▸ Undo Last Cleanup. Space is freed "
                                 "once you empty the Trash.");
    return paragraphs.join(QStringLiteral("\n\n"));
}

QString DeveloperView::packageUninstallTitle(std::size_t count)
{
    return qs(
        platform::inflect("Uninstall ^[" + std::to_string(count) + " package](inflect: true)?"));
}

QString DeveloperView::toolchainTrashTitle(const std::vector<core::ToolchainItem>& items)
{
    return qs(platform::inflect("Move ^[" + std::to_string(items.size()) +
                                " item](inflect: true) (" + platform::sizeText(sizeOf(items)) +
                                ") to the Trash?"));
}

bool DeveloperView::isEverythingSelected(std::size_t itemCount, std::size_t selectedCount)
{
    return itemCount >= 1 && itemCount == selectedCount;
}

DeveloperView::DeveloperView(controller::UninstallViewModel* model, QWidget* parent)
    : QWidget(parent), m_model(model), m_selectedMapKind(new SelectedMapKind(this)),
      m_shownTab(model->developerTab())
{
    m_selectedMapKind->setObjectName(QStringLiteral("selectedMapKind"));
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildHeader(column);
    buildPicker(column);
    column->addWidget(screenDivider(this));
    buildContent(column);
    buildBars(column);

    using VM = controller::UninstallViewModel;
    for (auto signal :
         {&VM::toolchainGroupsChanged, &VM::isScanningDeveloperChanged, &VM::packageGroupsChanged,
          &VM::isScanningPackagesChanged, &VM::isRemovingChanged, &VM::selectedToolchainIDsChanged,
          &VM::selectedPackageIDsChanged})
        connect(m_model, signal, this, &DeveloperView::refresh);
    connect(m_model, &VM::developerTabChanged, this, &DeveloperView::tabChanged);
    connect(m_model, &VM::lastPackageResultChanged, this, &DeveloperView::refreshResult);
    // The dialogs: a changed selection or a replaced list closes them as Cancel.
    connect(m_model, &VM::selectedPackageIDsChanged, this, [this] {
        if (m_packageDialog && m_model->selectedPackageIDs() != m_packageDialogSelection)
            closePackageDialog();
    });
    connect(m_model, &VM::packageGroupsChanged, this, &DeveloperView::closePackageDialog);
    connect(m_model, &VM::selectedToolchainIDsChanged, this, [this] {
        if (m_toolchainDialog && m_model->selectedToolchainIDs() != m_toolchainDialogSelection)
            closeToolchainDialog();
    });
    connect(m_model, &VM::toolchainGroupsChanged, this, &DeveloperView::closeToolchainDialog);
    refreshResult();
    refresh();
}

DeveloperView::~DeveloperView() = default;

void DeveloperView::buildHeader(QVBoxLayout* column)
{
    const ScreenHeader screen = screenHeader(
        "wrench.and.screwdriver.fill", SystemColor::purple, SystemColor::blue,
        QStringLiteral("Developer Footprint"),
        QStringLiteral("Reclaim caches, inspect runtimes, and uninstall individual packages."),
        this);
    QWidget* header = screen.widget;
    QHBoxLayout* row = screen.row;
    m_totals = screen.totals;
    m_totals->setObjectName(QStringLiteral("totals"));
    m_total = screen.total;
    m_total->setObjectName(QStringLiteral("totalLabel"));
    screen.caption->setText(QStringLiteral("found"));
    m_export = headerIconButton("square.and.arrow.up", QStringLiteral("Export Setup Snapshot"),
                                QStringLiteral("Export setup snapshot"), header);
    m_export->setObjectName(QStringLiteral("exportButton"));
    row->addWidget(m_export);
    m_rescan = headerIconButton("arrow.clockwise", QStringLiteral("Rescan"),
                                QStringLiteral("Rescan (⌘R)"), header);
    m_rescan->setObjectName(QStringLiteral("rescanButton"));
    row->addWidget(m_rescan);
    column->addWidget(header);
    connect(m_export, &QToolButton::clicked, this, &DeveloperView::exportSnapshot);
    connect(m_rescan, &QToolButton::clicked, this, [this] {
        if (m_model->developerTab() == DeveloperTab::packages)
            m_model->scanPackages().detach();
        else
            m_model->scanDeveloper().detach();
    });
}

void DeveloperView::buildPicker(QVBoxLayout* column)
{
    m_picker = new QWidget(this);
    m_picker->setObjectName(QStringLiteral("tabPicker"));
    m_picker->setAccessibleName(QStringLiteral("Developer view"));
    auto* row = new QHBoxLayout(m_picker);
    row->setContentsMargins(20, 0, 20, 12);
    row->setSpacing(0);
    m_tabs = new QButtonGroup(m_picker);
    m_tabs->setExclusive(true);
    for (DeveloperTab tab : base::allCases<DeveloperTab>()) {
        const std::string_view label = base::rawValue(tab);
        auto* button = new QPushButton(
            QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())), m_picker);
        button->setObjectName(tabButtonName(tab));
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setChecked(tab == m_model->developerTab());
        m_tabs->addButton(button, static_cast<int>(tab));
        row->addWidget(button, 1);
    }
    // A segmented control: the chosen segment filled with the accent colour.
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    m_picker->setStyleSheet(
        QStringLiteral("QPushButton { border: 1px solid %1; padding: 4px 10px; background: %2; }"
                       "QPushButton:checked { background: %3; color: white; border-color: %3; }")
            .arg(SystemColors::color(SystemColor::separator, scheme).name(QColor::HexArgb),
                 SystemColors::color(SystemColor::material, scheme).name(QColor::HexArgb),
                 SystemColors::color(SystemColor::accent, scheme).name()));
    connect(m_tabs, &QButtonGroup::idClicked, this,
            [this](int id) { m_model->setDeveloperTab(static_cast<DeveloperTab>(id)); });
    column->addWidget(m_picker);
}

void DeveloperView::buildContent(QVBoxLayout* column)
{
    m_tabStack = new QStackedWidget(this);

    auto* toolchainPage = new QWidget(this);
    auto* toolchainColumn = new QVBoxLayout(toolchainPage);
    toolchainColumn->setContentsMargins(0, 20, 0, 0);
    m_toolchainModel = new ToolchainListModel(m_model, this);
    m_toolchainList = new CheckListView(m_toolchainModel, toolchainPage);
    m_toolchainList->setObjectName(QStringLiteral("toolchainList"));
    m_toolchainDelegate = new ToolchainRowDelegate(m_toolchainList);
    m_toolchainDelegate->setObjectName(QStringLiteral("toolchainDelegate"));
    m_toolchainList->setCheckListDelegate(m_toolchainDelegate);
    toolchainColumn->addWidget(m_toolchainList);
    m_footprintStack = tabStack(
        QStringLiteral("Measuring developer tool disk usage…"), toolchainPage,
        QStringLiteral("No Developer Footprint"), "checkmark.seal.fill",
        QStringLiteral("Veldo didn’t find significant caches or runtimes from common developer "
                       "tools."),
        m_tabStack);
    m_footprintStack->setObjectName(QStringLiteral("footprintContent"));

    auto* mapPage = new QWidget(this);
    auto* mapColumn = new QVBoxLayout(mapPage);
    mapColumn->setContentsMargins(20, 20, 20, 20);
    mapColumn->setSpacing(12);
    m_map = new DiskUsageMapSection(m_model, m_selectedMapKind, mapPage);
    mapColumn->addWidget(m_map);
    m_mapStack = tabStack(QStringLiteral("Measuring developer tool disk usage…"), mapPage,
                          QStringLiteral("No Developer Footprint"), "checkmark.seal.fill",
                          QStringLiteral("Nothing significant to visualize yet."), m_tabStack);
    m_mapStack->setObjectName(QStringLiteral("mapContent"));

    auto* packagesTab = new QWidget(this);
    m_packagePage = new QVBoxLayout(packagesTab);
    m_packagePage->setContentsMargins(0, 0, 0, 0);
    m_packagePage->setSpacing(0);
    m_resultBox = new QWidget(packagesTab);
    auto* resultMargins = new QVBoxLayout(m_resultBox);
    resultMargins->setContentsMargins(20, 4, 20, 0);
    m_packagePage->addWidget(m_resultBox);
    auto* packageListPage = new QWidget(packagesTab);
    auto* packageColumn = new QVBoxLayout(packageListPage);
    packageColumn->setContentsMargins(0, 20, 0, 0);
    m_packageModel = new PackageListModel(m_model, this);
    m_packageList = new CheckListView(m_packageModel, packageListPage);
    m_packageList->setObjectName(QStringLiteral("packageList"));
    m_packageDelegate = new PackageRowDelegate(m_packageList);
    m_packageDelegate->setObjectName(QStringLiteral("packageDelegate"));
    m_packageList->setCheckListDelegate(m_packageDelegate);
    packageColumn->addWidget(m_packageList);
    m_packageStack = tabStack(QStringLiteral("Reading installed packages…"), packageListPage,
                              QStringLiteral("No Packages Found"), "shippingbox",
                              QStringLiteral("Veldo didn’t find Homebrew, npm, pip, or gem "
                                             "packages."),
                              packagesTab);
    m_packageStack->setObjectName(QStringLiteral("packageContent"));
    m_packagePage->addWidget(m_packageStack, 1);

    m_tabStack->addWidget(m_footprintStack);
    m_tabStack->addWidget(m_mapStack);
    m_tabStack->addWidget(packagesTab);
    column->addWidget(m_tabStack, 1);
}

void DeveloperView::buildBars(QVBoxLayout* column)
{
    m_barBox = bottomBarBox(this);
    m_barBox->setObjectName(QStringLiteral("actionBarBox"));
    m_bars = new QStackedWidget(m_barBox);
    m_barBox->layout()->addWidget(m_bars);

    m_toolchainBar = new ActionBar(m_bars);
    m_toolchainSelectAll = linkButton(QStringLiteral("Select All"), m_toolchainBar);
    m_toolchainSelectAll->setObjectName(QStringLiteral("toolchainSelectAll"));
    m_toolchainSelection = secondaryLabel(TextStyle::callout, m_toolchainBar);
    m_toolchainSelection->setObjectName(QStringLiteral("toolchainSelection"));
    m_move = new DestructiveButton("trash.fill", QStringLiteral("Move to Trash…"),
                                   QStringLiteral("Working…"), 150, m_toolchainBar);
    m_move->setObjectName(QStringLiteral("moveButton"));
    m_move->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace));
    m_toolchainBar->arrange({m_toolchainSelectAll, m_toolchainSelection}, m_move);
    connect(m_toolchainSelectAll, &QPushButton::clicked, this, [this] {
        std::size_t items = 0;
        for (const core::ToolchainGroup& group : m_model->toolchainGroups())
            items += group.items.size();
        if (isEverythingSelected(items, m_model->selectedToolchainIDs().size()))
            m_model->setSelectedToolchainIDs({});
        else
            m_model->selectAllToolchainItems();
    });
    connect(m_move, &QPushButton::clicked, this, &DeveloperView::confirmToolchainTrash);

    m_packageBar = new ActionBar(m_bars);
    m_packageSelectAll = linkButton(QStringLiteral("Select All"), m_packageBar);
    m_packageSelectAll->setObjectName(QStringLiteral("packageSelectAll"));
    m_packageSelection = secondaryLabel(TextStyle::callout, m_packageBar);
    m_packageSelection->setObjectName(QStringLiteral("packageSelection"));
    m_uninstall = new DestructiveButton("xmark.bin.fill", QString(), QStringLiteral("Working…"),
                                        150, m_packageBar);
    m_uninstall->setObjectName(QStringLiteral("uninstallButton"));
    m_packageBar->arrange({m_packageSelectAll, m_packageSelection}, m_uninstall);
    connect(m_packageSelectAll, &QPushButton::clicked, this, [this] {
        std::size_t packages = 0;
        for (const core::PackageGroup& group : m_model->packageGroups())
            packages += group.packages.size();
        if (isEverythingSelected(packages, m_model->selectedPackageIDs().size()))
            m_model->setSelectedPackageIDs({});
        else
            m_model->selectAllPackages();
    });
    connect(m_uninstall, &QPushButton::clicked, this, &DeveloperView::confirmPackageUninstall);

    m_bars->addWidget(m_toolchainBar);
    m_bars->addWidget(m_packageBar);
    column->addWidget(m_barBox);
}

void DeveloperView::refresh()
{
    const DeveloperTab tab = m_model->developerTab();
    const bool scanning = m_model->isScanningDeveloper() || m_model->isScanningPackages();
    m_totals->setVisible(tab != DeveloperTab::packages);
    m_total->setText(sizeString(m_model->toolchainTotalBytes()));
    m_export->setVisible(tab == DeveloperTab::packages);
    m_rescan->setEnabled(!scanning);
    if (QAbstractButton* button = m_tabs->button(static_cast<int>(tab)))
        button->setChecked(true);
    m_tabStack->setCurrentIndex(static_cast<int>(tab));

    const auto& toolchains = m_model->toolchainGroups();
    const int toolchainState = m_model->isScanningDeveloper() ? 0 : toolchains.empty() ? 2 : 1;
    m_footprintStack->setCurrentIndex(toolchainState);
    m_mapStack->setCurrentIndex(toolchainState);
    const auto& packages = m_model->packageGroups();
    m_packageStack->setCurrentIndex(m_model->isScanningPackages() ? 0 : packages.empty() ? 2 : 1);

    m_barBox->setVisible(tab != DeveloperTab::map);
    m_bars->setCurrentWidget(tab == DeveloperTab::packages ? static_cast<QWidget*>(m_packageBar)
                                                           : m_toolchainBar);
    const bool removing = m_model->isRemoving();

    std::size_t toolchainItems = 0;
    for (const core::ToolchainGroup& group : toolchains)
        toolchainItems += group.items.size();
    const std::vector<core::ToolchainItem> selectedItems = m_model->selectedToolchainItems();
    m_toolchainSelectAll->setVisible(!toolchains.empty());
    m_toolchainSelectAll->setText(
        isEverythingSelected(toolchainItems, m_model->selectedToolchainIDs().size())
            ? QStringLiteral("Deselect All")
            : QStringLiteral("Select All"));
    m_toolchainSelection->setText(QStringLiteral("%1 selected · %2")
                                      .arg(selectedItems.size())
                                      .arg(sizeString(sizeOf(selectedItems))));
    m_move->setBusy(removing);
    m_move->setEnabled(!selectedItems.empty() && !removing);

    std::size_t packageCount = 0;
    for (const core::PackageGroup& group : packages)
        packageCount += group.packages.size();
    const std::vector<core::DevPackage> selectedPackages = m_model->selectedPackages();
    m_packageSelectAll->setVisible(!packages.empty());
    m_packageSelectAll->setText(
        isEverythingSelected(packageCount, m_model->selectedPackageIDs().size())
            ? QStringLiteral("Deselect All")
            : QStringLiteral("Select All"));
    m_packageSelection->setText(QStringLiteral("%1 selected").arg(selectedPackages.size()));
    m_uninstall->setTitle(qs(platform::inflect(
        "Uninstall ^[" + std::to_string(selectedPackages.size()) + " Package](inflect: true)…")));
    m_uninstall->setBusy(removing);
    m_uninstall->setEnabled(!selectedPackages.empty() && !removing);
    refreshDialogs();
}

void DeveloperView::refreshResult()
{
    delete m_result;
    m_result = nullptr;
    const auto& result = m_model->lastPackageResult();
    m_resultBox->setVisible(result.has_value());
    if (!result)
        return;
    m_result = new PackageResultView(
        *result, [model = m_model] { model->setLastPackageResult(std::nullopt); }, m_resultBox);
    m_result->setObjectName(QStringLiteral("packageResult"));
    m_resultBox->layout()->addWidget(m_result);
}

void DeveloperView::tabChanged()
{
    const DeveloperTab tab = m_model->developerTab();
    refresh();
    if (tab == m_shownTab)
        return;
    m_shownTab = tab;
    handleTabChange(tab);
}

void DeveloperView::handleTabChange(DeveloperTab tab)
{
    switch (tab) {
    case DeveloperTab::packages:
        m_model->scanPackagesIfNeeded().detach();
        m_selectedMapKind->setKind(std::nullopt);
        break;
    case DeveloperTab::footprint:
        m_selectedMapKind->setKind(std::nullopt);
        break;
    case DeveloperTab::map:
        break;
    }
}

void DeveloperView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_model->scanDeveloperIfNeeded().detach();
}

void DeveloperView::confirmPackageUninstall()
{
    if (m_packageDialog || !m_uninstall->isEnabled())
        return;
    const ConfirmationBox dialog =
        destructiveWarning(this, QStringLiteral("Uninstall Permanently"));
    QMessageBox* box = dialog.box;
    box->setObjectName(QStringLiteral("packageDialog"));
    m_packageDialog = box;
    m_packageDialogSelection = m_model->selectedPackageIDs();
    refreshDialogs();
    connect(box, &QMessageBox::finished, this, [this, box, uninstall = dialog.action] {
        const bool confirmed = box->clickedButton() == uninstall;
        if (m_packageDialog == box)
            m_packageDialog = nullptr;
        if (confirmed)
            m_model->removePackages().detach();
    });
    box->open();
}

void DeveloperView::confirmToolchainTrash()
{
    if (m_toolchainDialog || !m_move->isEnabled())
        return;
    const ConfirmationBox dialog = destructiveWarning(this, QStringLiteral("Move to Trash"));
    QMessageBox* box = dialog.box;
    box->setObjectName(QStringLiteral("toolchainDialog"));
    m_toolchainDialog = box;
    m_toolchainDialogSelection = m_model->selectedToolchainIDs();
    refreshDialogs();
    connect(box, &QMessageBox::finished, this, [this, box, move = dialog.action] {
        const bool confirmed = box->clickedButton() == move;
        if (m_toolchainDialog == box)
            m_toolchainDialog = nullptr;
        if (confirmed)
            m_model->removeToolchains().detach();
    });
    box->open();
}

void DeveloperView::refreshDialogs()
{
    if (m_packageDialog) {
        const std::vector<core::DevPackage> packages = m_model->selectedPackages();
        m_packageDialog->setText(packageUninstallTitle(packages.size()));
        setPlainInformativeText(m_packageDialog, packageUninstallMessage(packages));
    }
    if (m_toolchainDialog) {
        const std::vector<core::ToolchainItem> items = m_model->selectedToolchainItems();
        m_toolchainDialog->setText(toolchainTrashTitle(items));
        setPlainInformativeText(m_toolchainDialog, toolchainTrashMessage(items));
    }
}

void DeveloperView::closePackageDialog()
{
    if (QMessageBox* box = m_packageDialog) {
        m_packageDialog = nullptr;
        box->disconnect(this);
        box->close();
    }
}

void DeveloperView::closeToolchainDialog()
{
    if (QMessageBox* box = m_toolchainDialog) {
        m_toolchainDialog = nullptr;
        box->disconnect(this);
        box->close();
    }
}

void DeveloperView::exportSnapshot()
{
    controller::UninstallViewModel* model = m_model;
    const FilePanels::FolderRequest request{
        QStringLiteral("Export Here"),
        QStringLiteral("Choose a folder to save your developer setup snapshot.")};
    FilePanels::chooseFolder(this, request, [model](std::optional<platform::MacPath> folder) {
        if (!folder)
            return;
        const std::stop_token stop = model->shutdownToken();
        (void)QtConcurrent::run(&model->toolPool(), [model, folder = *folder, stop] {
            std::string sentence = scanners::SetupSnapshot::exportDeveloperSnapshot(
                folder, scanners::SetupSnapshot::kExportTimeout, stop);
            // The controller outlives its tool pool's work (shutdown waits for it).
            QMetaObject::invokeMethod(
                model, [model, sentence = std::move(sentence)] { model->setDropNotice(sentence); },
                Qt::QueuedConnection);
        });
    });
}

} // namespace veldo::ui
