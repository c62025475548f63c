// The uninstall through Homebrew.
#include "app/ui/HomebrewUninstallSheet.h"

#include <vector>

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/SheetHeader.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SymbolLabel.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "base/CompilerWarnings.h"

namespace veldo::ui {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

HomebrewUninstallSheet::HomebrewUninstallSheet(controller::UninstallViewModel& model,
                                               core::InstalledApp app, leftovers::CaskInfo cask,
                                               Actions actions,
                                               platform::qt::AppIconProvider* icons,
                                               QWidget* parent)
    : SubmittingSheet(actions.dismiss, parent), m_model(&model), m_app(std::move(app)),
      m_cask(std::move(cask)), m_actions(std::move(actions))
{
    setFixedWidth(kWidth);
    setWindowTitle(QStringLiteral("Uninstall with Homebrew"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    const SheetHeader header =
        sheetHeader(icons, m_app.url, QStringLiteral("Uninstall with Homebrew"),
                    qs(m_app.name) + QStringLiteral(" · cask ") + qs(m_cask.token) +
                        QStringLiteral(" ") + qs(m_cask.version),
                    this);
    header.subtitle->setObjectName(QStringLiteral("subtitleLabel"));
    column->addWidget(header.widget);
    auto* intro =
        new QLabel(QStringLiteral("Veldo runs brew uninstall --cask ") + qs(m_cask.token) +
                       QStringLiteral(", so Homebrew’s records stay correct. Afterwards "
                                      "Veldo rescans for anything left behind, so you "
                                      "can review it and move it to the Trash."),
                   this);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    column->addWidget(intro);

    const QColor orange =
        SystemColors::color(SystemColor::orange, SystemColors::colorScheme(palette()));
    auto* warningRows = new QVBoxLayout;
    warningRows->setObjectName(QStringLiteral("warningRows"));
    warningRows->setSpacing(8);
    std::vector<SymbolLabel*> warnings;
    warnings.push_back(new SymbolLabel(
        "exclamationmark.triangle.fill",
        QStringLiteral(
            "Homebrew deletes the app. It doesn’t go to the Trash, and Undo can’t bring it back."),
        orange, this));
    if (m_cask.usesInstallerPackage)
        warnings.push_back(new SymbolLabel(
            "lock.fill",
            QStringLiteral("This cask installed a package, so Homebrew will probably need your "
                           "administrator password. If it does, Veldo shows the command to run in "
                           "Terminal."),
            orange, this));
    for (SymbolLabel* warning : warnings) {
        warning->textLabel()->setFont(textFont(TextStyle::callout, font()));
        warningRows->addWidget(warning);
    }
    column->addLayout(warningRows);

    if (m_cask.hasZap) {
        auto* zapColumn = new QVBoxLayout;
        zapColumn->setSpacing(2);
        m_zap = new QCheckBox(QStringLiteral("Also remove app data (zap)"), this);
        m_zap->setObjectName(QStringLiteral("zapToggle"));
        zapColumn->addWidget(m_zap);
        zapColumn->addWidget(secondaryText(
            QStringLiteral("Homebrew’s zap step also deletes the settings and support files this "
                           "cask lists. Those are deleted, not moved to the Trash."),
            TextStyle::caption, this));
        column->addLayout(zapColumn);
    }
    column->addWidget(separatorLine(this));

    auto* buttons = new QHBoxLayout;
    m_moveToTrash = sheetButton(QStringLiteral("Move to Trash Instead…"), this);
    m_moveToTrash->setObjectName(QStringLiteral("moveToTrashButton"));
    m_moveToTrash->setToolTip(QStringLiteral("Trash the app and its files the usual way. Homebrew "
                                             "will still think the cask is installed."));
    m_cancel = sheetButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_confirm = sheetButton(QStringLiteral("Uninstall with Homebrew"), this);
    m_confirm->setObjectName(QStringLiteral("confirmButton"));
    m_confirm->setMinimumWidth(150);
    buttons->addWidget(m_moveToTrash);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    column->addLayout(buttons);

    connect(m_moveToTrash, &QPushButton::clicked, this, [this] {
        if (m_actions.moveToTrashInstead)
            m_actions.moveToTrashInstead();
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] { dismiss(); });
    connect(m_confirm, &QPushButton::clicked, this, &HomebrewUninstallSheet::confirm);
    using VM = controller::UninstallViewModel;
    for (auto signal : {&VM::isRemovingChanged, &VM::selectedAppIDChanged, &VM::detailAppChanged})
        connect(&model, signal, this, &HomebrewUninstallSheet::refresh);
    refresh();
}

void HomebrewUninstallSheet::refresh()
{
    if (!m_model)
        return;
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    const bool removing = m_model->isRemoving();
    VELDO_GCC12_IGNORE_END
    m_confirm->setText(removing || isSubmitting() ? QStringLiteral("Uninstalling…")
                                                  : QStringLiteral("Uninstall with Homebrew"));
    const std::optional<core::InstalledApp> detail = m_model->selectedApp();
    const bool isProtected = detail && m_actions.isProtected && m_actions.isProtected(*detail);
    m_confirm->setEnabled(!removing && !isSubmitting() && !isProtected);
}

void HomebrewUninstallSheet::confirm()
{
    if (!beginSubmitting())
        return;
    const bool zap = m_zap && m_zap->isChecked();
    refresh();
    dismiss();
    if (m_actions.uninstall)
        m_actions.uninstall(zap);
}

} // namespace veldo::ui
