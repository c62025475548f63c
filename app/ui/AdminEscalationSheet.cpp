// The administrator confirmation sheet.
#include "app/ui/AdminEscalationSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/PathList.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SymbolTitle.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui {

QString AdminEscalationSheet::message(const controller::AdminEscalationRequest& request,
                                      std::int64_t removableBytes)
{
    const QString phrase = request.items.size() == 1
                               ? QStringLiteral("this item")
                               : QStringLiteral("these %1 items").arg(request.items.size());
    const QString size = QString::fromStdString(platform::sizeText(removableBytes));
    const QString tail =
        request.usesHelper
            ? QStringLiteral(") to the Trash. If you continue, Veldo’s administrator helper moves "
                             "exactly the following to your Trash, without asking for your "
                             "password:")
            : QStringLiteral(") to the Trash. If you continue, macOS asks for an administrator "
                             "password and Veldo moves exactly the following to your Trash:");
    return QStringLiteral("Your account can’t move ") + phrase + QStringLiteral(" (") + size + tail;
}

AdminEscalationSheet::AdminEscalationSheet(controller::AdminEscalationRequest request,
                                           const controller::UninstallViewModel& model,
                                           std::function<void()> avoidPromptNextTime,
                                           std::function<void(bool)> decide, QWidget* parent)
    : QDialog(parent), m_request(std::move(request)),
      m_avoidPromptNextTime(std::move(avoidPromptNextTime)), m_decide(std::move(decide))
{
    const bool helper = m_request.usesHelper;
    std::int64_t bytes = 0;
    for (const auto& item : model.removableItems(m_request.items))
        bytes += item.sizeBytes;

    setFixedWidth(kWidth);
    auto* column = sheetColumn(this);
    m_title = new SymbolTitle(
        "lock.shield.fill",
        helper ? tr("Confirm System Changes") : tr("Administrator Password Needed"), this);
    setWindowTitle(m_title->text());
    m_message = secondaryText(message(m_request, bytes), TextStyle::body, this);
    m_message->setObjectName(QStringLiteral("messageLabel"));
    QStringList paths;
    for (const auto& item : m_request.items)
        paths << QString::fromStdString(item.url.path());
    m_list = new PathList(paths, kListMaximumHeight, this);
    m_list->setObjectName(QStringLiteral("pathList"));
    m_list->fitWidth(kWidth - 2 * kSheetPadding);
    m_note = secondaryText(
        helper ? tr("Undo can put them back through the helper. Anything the helper can’t move "
                    "still needs your password.")
               : tr("Undo can put them back; it will ask for the password again."),
        TextStyle::caption, this);
    m_note->setObjectName(QStringLiteral("noteLabel"));
    column->addWidget(m_title);
    column->addWidget(m_message);
    column->addWidget(m_list);
    column->addWidget(m_note);

    auto* buttons = new QHBoxLayout;
    if (!helper) {
        m_avoid = linkButton(tr("Avoid this prompt next time…"), this);
        m_avoid->setObjectName(QStringLiteral("avoidButton"));
        m_avoid->setToolTip(tr("Settings ▸ Administrator: let a background helper move system "
                               "files after you confirm them, without a password each time."));
        buttons->addWidget(m_avoid);
        connect(m_avoid, &QPushButton::clicked, this, [this] {
            if (m_avoidPromptNextTime)
                m_avoidPromptNextTime();
        });
    }
    buttons->addStretch(1);
    m_skip = sheetButton(tr("Skip These Items"), this);
    m_skip->setObjectName(QStringLiteral("skipButton"));
    m_continue = sheetButton(helper ? tr("Move to Trash") : tr("Continue…"), this);
    m_continue->setObjectName(QStringLiteral("continueButton"));
    m_continue->setDefault(true);
    buttons->addWidget(m_skip);
    buttons->addWidget(m_continue);
    column->addLayout(buttons);
    connect(m_skip, &QPushButton::clicked, this, &AdminEscalationSheet::reject);
    connect(m_continue, &QPushButton::clicked, this, [this] {
        if (m_decide)
            m_decide(true);
    });
    fitHeight(this);
}

QString AdminEscalationSheet::title() const
{
    return m_title->text();
}

void AdminEscalationSheet::reject()
{
    if (m_decide)
        m_decide(false);
}

} // namespace veldo::ui
