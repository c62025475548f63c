// The review before a single app's removal.
#include "app/ui/RemovalReviewSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/BusyIndicator.h"
#include "app/ui/SheetHeader.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SymbolLabel.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Inflection.h"

namespace veldo::ui {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

RemovalReviewSheet::Counts
RemovalReviewSheet::countsOf(const std::vector<core::LeftoverItem>& selected)
{
    Counts counts;
    for (const core::LeftoverItem& item : selected) {
        if (item.requiresAdmin)
            ++counts.adminItemCount;
        if (item.confidence == core::MatchConfidence::medium ||
            item.confidence == core::MatchConfidence::low)
            ++counts.uncertainItemCount;
        if (item.category == core::LeftoverCategory::application)
            counts.includesAppBundle = true;
    }
    return counts;
}

RemovalReviewSheet::RemovalReviewSheet(controller::UninstallViewModel& model,
                                       core::InstalledApp app, std::optional<std::string> caskToken,
                                       Actions actions, platform::qt::AppIconProvider* icons,
                                       QWidget* parent)
    : SubmittingSheet(actions.dismiss, parent), m_model(&model), m_app(std::move(app)),
      m_caskToken(std::move(caskToken)), m_actions(std::move(actions))
{
    setFixedWidth(kWidth);
    setWindowTitle(QStringLiteral("Review Removal"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);
    column->addWidget(
        sheetHeader(icons, m_app.url, QStringLiteral("Review Removal"), qs(m_app.name), this)
            .widget);
    m_rowsBox = new QWidget(this);
    m_rowsBox->setObjectName(QStringLiteral("summaryRows"));
    m_rows = new QVBoxLayout(m_rowsBox);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(8);
    column->addWidget(m_rowsBox);
    column->addWidget(secondaryText(
        QStringLiteral("Veldo will move selected files to the macOS Trash. They are not "
                       "permanently deleted and can be recovered from Trash."),
        TextStyle::body, this));
    column->addWidget(separatorLine(this));

    auto* buttons = new QHBoxLayout;
    m_export = sheetButton(QStringLiteral("Export Report"), this);
    m_export->setObjectName(QStringLiteral("exportButton"));
    m_cancel = sheetButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_confirm = sheetButton(QStringLiteral("Move to Trash"), this);
    m_confirm->setObjectName(QStringLiteral("confirmButton"));
    m_confirm->setMinimumWidth(110);
    m_spinner = new BusyIndicator(14, this);
    buttons->addWidget(m_export);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_spinner);
    buttons->addWidget(m_confirm);
    column->addLayout(buttons);

    connect(m_export, &QPushButton::clicked, this, [this] {
        if (m_actions.exportReport)
            m_actions.exportReport();
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] { dismiss(); });
    connect(m_confirm, &QPushButton::clicked, this, &RemovalReviewSheet::confirm);

    using VM = controller::UninstallViewModel;
    for (auto signal :
         {&VM::leftoversChanged, &VM::selectedLeftoverIDsChanged, &VM::runningStatusChanged,
          &VM::isRemovingChanged, &VM::selectedAppIDChanged, &VM::detailAppChanged})
        connect(&model, signal, this, &RemovalReviewSheet::refresh);
    refresh();
}

void RemovalReviewSheet::addRow(const std::string& symbol, const QString& text, const QColor& tint)
{
    auto* row = new SymbolLabel(symbol, text, tint, m_rowsBox);
    row->textLabel()->setFont(textFont(TextStyle::callout, font()));
    m_rows->addWidget(row);
}

void RemovalReviewSheet::refresh()
{
    if (!m_model)
        return;
    const controller::UninstallViewModel& model = *m_model;
    // The count, the size and every warning describe what the removal would move: a ticked item
    // the removal-safety policy refuses stays, and its row says why. With none of it there is
    // nothing to confirm.
    const std::vector<core::LeftoverItem> moving = model.selectedRemovableLeftovers();
    const Counts counts = countsOf(moving);
    const std::size_t removable = moving.size();
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const QColor orange = SystemColors::color(SystemColor::orange, scheme);

    while (QLayoutItem* item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    addRow("checklist",
           qs(platform::pluralizedCount(static_cast<std::int64_t>(removable), "item")) +
               QStringLiteral(" selected"),
           {});
    addRow("externaldrive.fill", qs(platform::sizeText(model.selectedLeftoverBytes())), {});
    if (model.runningStatus().isRunning)
        addRow("play.circle.fill", QStringLiteral("App is still running"), orange);
    else if (!model.runningStatus().helperNames.empty())
        addRow("play.circle.fill", QStringLiteral("Helpers of this app are still running"), orange);
    if (counts.adminItemCount > 0)
        addRow("lock.fill",
               qs(platform::pluralizedCount(counts.adminItemCount, "item")) +
                   QStringLiteral(" will need your administrator password"),
               orange);
    if (counts.uncertainItemCount > 0)
        addRow("exclamationmark.triangle.fill",
               qs(platform::pluralizedCount(counts.uncertainItemCount,
                                            "medium- or low-confidence item")) +
                   QStringLiteral(" selected — check these belong to ") + qs(m_app.name),
               orange);
    if (counts.includesAppBundle) {
        addRow("key.fill",
               QStringLiteral("macOS may ask for your password to move this app to the Trash"),
               SystemColors::color(SystemColor::blue, scheme));
        if (m_caskToken)
            addRow("mug.fill",
                   QStringLiteral("Homebrew will still think “") + qs(*m_caskToken) +
                       QStringLiteral("” is installed. Run brew uninstall --cask ") +
                       qs(*m_caskToken) + QStringLiteral(" later to clear its records."),
                   SystemColors::color(SystemColor::brown, scheme));
    }

    const bool busy = isSubmitting() || model.isRemoving();
    m_confirm->setText(busy ? QStringLiteral("Moving to Trash…") : QStringLiteral("Move to Trash"));
    m_spinner->setVisible(busy);
    const std::optional<core::InstalledApp> detail = model.selectedApp();
    const bool isProtected = detail && m_actions.isProtected && m_actions.isProtected(*detail);
    m_confirm->setEnabled(!isProtected && removable > 0 && !model.isRemoving() && !isSubmitting());
    m_confirm->setDefault(counts.adminItemCount == 0 && counts.uncertainItemCount == 0);
    if (isVisible())
        fitHeight(this);
}

void RemovalReviewSheet::confirm()
{
    if (!beginSubmitting())
        return;
    refresh();
    dismiss();
    if (m_actions.uninstall)
        m_actions.uninstall();
}

} // namespace veldo::ui
