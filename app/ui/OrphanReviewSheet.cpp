// The orphan review sheet.
#include "app/ui/OrphanReviewSheet.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/core/PathDisplay.h"
#include "app/ui/PathList.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Home.h"
#include "platform/Inflection.h"

namespace veldo::ui {
namespace {

constexpr int kPadding = 24;
constexpr int kConfirmMinimumWidth = 110;

QString inflected(std::int64_t count, const char* phrase, const char* tail)
{
    return QString::fromStdString(
        platform::inflect("^[" + std::to_string(count) + " " + phrase + "](inflect: true)" + tail));
}

// A label row: the symbol in its tint before a wrapped callout text.
QWidget* symbolRow(const char* symbol, SystemColor tint, QLabel** text, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    const QFont font = textFont(TextStyle::callout, parent->font());
    const int edge = QFontMetrics(font).height();
    auto* icon = new QLabel(row);
    icon->setPixmap(
        SymbolImage::icon(
            symbol, SystemColors::color(tint, SystemColors::colorScheme(parent->palette())), edge)
            .pixmap(edge, edge));
    icon->setFixedSize(edge, edge);
    *text = new QLabel(row);
    (*text)->setTextFormat(Qt::PlainText);
    (*text)->setWordWrap(true);
    (*text)->setFont(font);
    (*text)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(*text, 1);
    return row;
}

} // namespace

QString OrphanReviewSheet::countText(std::int64_t selected)
{
    return inflected(selected, "item", " selected");
}

QString OrphanReviewSheet::lowConfidenceText(std::int64_t count)
{
    return inflected(count, "low-confidence item", " selected — check each one");
}

QString OrphanReviewSheet::administratorText(std::int64_t count)
{
    return inflected(count, "system item",
                     " need administrator rights; you’ll confirm them separately");
}

OrphanReviewSheet::OrphanReviewSheet(controller::UninstallViewModel* model,
                                     std::function<void()> dismiss, std::function<void()> remove,
                                     QWidget* parent)
    : QDialog(parent), m_model(model), m_dismiss(std::move(dismiss)), m_remove(std::move(remove))
{
    setFixedWidth(kWidth);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("Review Orphaned Files"));
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    m_column->setSpacing(16);

    auto* title = new QLabel(QStringLiteral("Review Orphaned Files"), this);
    QFont titleFont = textFont(TextStyle::title2, font());
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    m_column->addWidget(title);

    auto* summary = new QVBoxLayout;
    summary->setSpacing(8);
    summary->addWidget(symbolRow("checklist", SystemColor::label, &m_count, this));
    summary->addWidget(symbolRow("externaldrive.fill", SystemColor::label, &m_size, this));
    summary->addWidget(
        symbolRow("exclamationmark.triangle.fill", SystemColor::orange, &m_general, this));
    m_general->setText(QStringLiteral(
        "These files don’t match any installed app. Make sure you no longer need them."));
    m_count->setObjectName(QStringLiteral("countLabel"));
    m_size->setObjectName(QStringLiteral("sizeLabel"));
    m_general->setObjectName(QStringLiteral("generalWarningLabel"));
    m_lowRow = symbolRow("exclamationmark.triangle.fill", SystemColor::red, &m_low, this);
    m_low->setObjectName(QStringLiteral("lowConfidenceLabel"));
    m_lowRow->setObjectName(QStringLiteral("lowConfidenceWarning"));
    m_adminRow = symbolRow("lock.fill", SystemColor::orange, &m_admin, this);
    m_adminRow->setObjectName(QStringLiteral("administratorWarning"));
    summary->addWidget(m_lowRow);
    summary->addWidget(m_adminRow);
    m_column->addLayout(summary);

    // The path list goes at index 2 of the column; refresh() puts it there.
    m_column->addWidget(
        secondaryText(QStringLiteral("Veldo moves them to the Trash. Undo (⌥⌘Z) puts them back."),
                      TextStyle::body, this));
    m_column->addWidget(separatorLine(this));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = sheetButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_confirm = sheetButton(QStringLiteral("Move to Trash"), this);
    m_confirm->setObjectName(QStringLiteral("confirmButton"));
    m_confirm->setMinimumWidth(kConfirmMinimumWidth);
    QPalette destructive = m_confirm->palette();
    destructive.setColor(
        QPalette::ButtonText,
        SystemColors::color(SystemColor::red, SystemColors::colorScheme(palette())));
    m_confirm->setPalette(destructive);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    m_column->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, &OrphanReviewSheet::reject);
    connect(m_confirm, &QPushButton::clicked, this, &OrphanReviewSheet::confirm);

    using VM = controller::UninstallViewModel;
    connect(m_model, &VM::orphanResultChanged, this, &OrphanReviewSheet::refresh);
    connect(m_model, &VM::selectedOrphanIDsChanged, this, &OrphanReviewSheet::refresh);
    connect(m_model, &VM::isRemovingChanged, this, &OrphanReviewSheet::refresh);
    connect(m_model, &VM::appsChanged, this, &OrphanReviewSheet::refresh);
    refresh();
}

void OrphanReviewSheet::refresh()
{
    const std::vector<core::LeftoverItem> items = m_model->selectedOrphans();
    std::int64_t low = 0;
    std::int64_t admin = 0;
    QStringList paths;
    const std::string home = platform::homeDirectory().path();
    for (const core::LeftoverItem& item : items) {
        low += item.confidence == core::MatchConfidence::low ? 1 : 0;
        admin += item.requiresAdmin ? 1 : 0;
        paths << QString::fromStdString(core::abbreviatedPath(item.url.path(), home));
    }
    m_count->setText(countText(static_cast<std::int64_t>(items.size())));
    m_size->setText(QString::fromStdString(platform::sizeText(m_model->selectedOrphanBytes())));
    m_lowRow->setVisible(low > 0);
    m_low->setText(lowConfidenceText(low));
    m_adminRow->setVisible(admin > 0);
    m_admin->setText(administratorText(admin));
    if (!m_list || paths != m_shownPaths) {
        auto* list = new PathList(paths, kListMaximumHeight, this);
        list->fitWidth(kWidth - 2 * kPadding);
        if (m_list) {
            // The layout hands back the old widget's item, which is the caller's to delete.
            delete m_column->replaceWidget(m_list, list);
            delete m_list;
        } else {
            m_column->insertWidget(2, list);
        }
        m_list = list;
        m_list->setObjectName(QStringLiteral("pathList"));
        m_shownPaths = paths;
    }
    const bool busy = m_isSubmitting || m_model->isRemoving();
    m_confirm->setText(busy ? QStringLiteral("Moving to Trash…") : QStringLiteral("Move to Trash"));
    m_confirm->setEnabled(!items.empty() && !busy);
    fitHeight(this);
}

void OrphanReviewSheet::confirm()
{
    if (m_isSubmitting || !m_confirm->isEnabled())
        return;
    m_isSubmitting = true;
    refresh();
    // Dismissing may end the sheet: keep what runs after it.
    const std::function<void()> remove = m_remove;
    if (const std::function<void()> dismiss = m_dismiss)
        dismiss();
    if (remove)
        remove();
}

void OrphanReviewSheet::reject()
{
    if (m_isSubmitting)
        return;
    if (m_dismiss)
        m_dismiss();
}

} // namespace veldo::ui
