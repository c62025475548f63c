// The App Management sheet.
#include "app/ui/AppManagementSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/PathList.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SymbolTitle.h"

namespace veldo::ui {

using controller::AppManagementChoice;

AppManagementSheet::AppManagementSheet(controller::AppManagementPrompt prompt,
                                       std::function<void(AppManagementChoice)> decide,
                                       QWidget* parent)
    : QDialog(parent), m_prompt(std::move(prompt)), m_decide(std::move(decide))
{
    const bool helper = m_prompt.usesHelper;
    setFixedWidth(kWidth);
    auto* column = sheetColumn(this);
    m_title = new SymbolTitle("hand.raised.fill",
                              tr("macOS blocked Veldo from changing other apps"), this);
    setWindowTitle(m_title->text());
    m_explanation = secondaryText(
        tr("macOS lets an app move or delete other apps only when you allow it in System "
           "Settings ▸ Privacy & Security ▸ App Management. Turn on Veldo there, then quit and "
           "reopen Veldo. After that, Veldo moves apps to the Trash without asking for your "
           "administrator password."),
        TextStyle::body, this);
    m_explanation->setObjectName(QStringLiteral("explanationLabel"));
    QStringList paths;
    for (const auto& item : m_prompt.items)
        paths << QString::fromStdString(item.url.path());
    m_list = new PathList(paths, kListMaximumHeight, this);
    m_list->setObjectName(QStringLiteral("pathList"));
    m_list->fitWidth(kWidth - 2 * kSheetPadding);
    const QString which =
        m_prompt.items.size() == 1 ? QStringLiteral("this app") : QStringLiteral("these apps");
    const QString how = helper ? QStringLiteral(" now with Veldo’s administrator helper.")
                               : QStringLiteral(" now with your administrator password.");
    m_note = secondaryText(tr("You can also move just ") + which + how, TextStyle::caption, this);
    m_note->setObjectName(QStringLiteral("noteLabel"));
    column->addWidget(m_title);
    column->addWidget(m_explanation);
    column->addWidget(m_list);
    column->addWidget(m_note);

    auto* buttons = new QHBoxLayout;
    m_cancel = sheetButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_administrator = sheetButton(helper ? tr("Use Administrator Helper Instead")
                                         : tr("Use Administrator Password Instead"),
                                  this);
    m_administrator->setObjectName(QStringLiteral("administratorButton"));
    m_openSettings = sheetButton(tr("Open Privacy && Security"), this);
    m_openSettings->setObjectName(QStringLiteral("openSettingsButton"));
    m_openSettings->setDefault(true);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_administrator);
    buttons->addWidget(m_openSettings);
    column->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, &AppManagementSheet::reject);
    connect(m_administrator, &QPushButton::clicked, this,
            [this] { choose(AppManagementChoice::useAdministrator); });
    connect(m_openSettings, &QPushButton::clicked, this,
            [this] { choose(AppManagementChoice::openSettings); });
    fitHeight(this);
}

QString AppManagementSheet::title() const
{
    return m_title->text();
}

void AppManagementSheet::reject()
{
    choose(AppManagementChoice::cancel);
}

void AppManagementSheet::choose(AppManagementChoice choice)
{
    if (m_decide)
        m_decide(choice);
}

} // namespace veldo::ui
