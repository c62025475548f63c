// PromptPresenter: the pending items of the controller as sheets and an alert.
#include "app/ui/PromptPresenter.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AdminEscalationSheet.h"
#include "app/ui/AppManagementSheet.h"
#include "app/ui/CaskFailureSheet.h"
#include "app/ui/ConfirmationBox.h"
#include "app/ui/WindowOperations.h"
#include "base/CompilerWarnings.h"

namespace veldo::ui {

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Closes a dialog without its reject path: it answered already, or its item went.
template <typename Dialog>
void withdraw(QPointer<Dialog>& dialog)
{
    if (!dialog)
        return;
    dialog->disconnect();
    dialog->hide();
    dialog->deleteLater();
    dialog = nullptr;
}

void openSheet(QDialog* sheet, const QString& name)
{
    sheet->setObjectName(name);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
}

} // namespace

PromptPresenter::PromptPresenter(controller::UninstallViewModel& model,
                                 const WindowOperations& operations,
                                 std::function<void()> openSettings, QWidget* window)
    : QObject(window), m_model(model), m_operations(operations),
      m_openSettings(std::move(openSettings)), m_window(window)
{
}

void PromptPresenter::start()
{
    if (m_started)
        return;
    m_started = true;
    using VM = controller::UninstallViewModel;
    connect(&m_model, &VM::pendingAdminEscalationChanged, this, &PromptPresenter::syncAdmin);
    connect(&m_model, &VM::pendingAppManagementPromptChanged, this,
            &PromptPresenter::syncAppManagement);
    connect(&m_model, &VM::caskFailureChanged, this, &PromptPresenter::syncCaskFailure);
    connect(&m_model, &VM::activeAlertChanged, this, &PromptPresenter::syncAlert);
    syncAdmin();
    syncAppManagement();
    syncCaskFailure();
    syncAlert();
}

void PromptPresenter::syncAdmin()
{
    const auto& pending = m_model.pendingAdminEscalation();
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    if (m_admin && (!pending || pending->id != m_admin->request().id))
        withdraw(m_admin);
    VELDO_GCC12_IGNORE_END
    if (!pending || m_admin)
        return;
    const QUuid id = pending->id;
    auto avoid = [this] {
        m_model.setSettingsTab(controller::SettingsTab::administrator);
        if (m_openSettings)
            m_openSettings();
    };
    auto decide = [this, id](bool answer) {
        const auto& now = m_model.pendingAdminEscalation();
        if (now && now->id == id)
            m_model.resolveAdminEscalation(answer);
    };
    m_admin = new AdminEscalationSheet(*pending, m_model, avoid, decide, m_window);
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    openSheet(m_admin, QStringLiteral("adminSheet"));
    VELDO_GCC12_IGNORE_END
}

void PromptPresenter::syncAppManagement()
{
    const auto& pending = m_model.pendingAppManagementPrompt();
    if (m_appManagement && (!pending || pending->id != m_appManagementID))
        withdraw(m_appManagement);
    if (!pending || m_appManagement)
        return;
    const QUuid id = pending->id;
    m_appManagementID = id;
    auto decide = [this, id](controller::AppManagementChoice choice) {
        const auto& now = m_model.pendingAppManagementPrompt();
        if (now && now->id == id)
            m_model.resolveAppManagementPrompt(choice);
    };
    m_appManagement = new AppManagementSheet(*pending, decide, m_window);
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    openSheet(m_appManagement, QStringLiteral("appManagementSheet"));
    VELDO_GCC12_IGNORE_END
}

void PromptPresenter::syncCaskFailure()
{
    const auto& failure = m_model.caskFailure();
    if (m_cask && (!failure || *failure != m_caskShown))
        withdraw(m_cask);
    if (!failure || m_cask)
        return;
    m_caskShown = *failure;
    auto dismiss = [this, shown = *failure] {
        const auto& now = m_model.caskFailure();
        if (now && *now == shown)
            m_model.setCaskFailure(std::nullopt);
    };
    m_cask = new CaskFailureSheet(*failure, dismiss, m_window);
    openSheet(m_cask, QStringLiteral("caskFailureSheet"));
}

void PromptPresenter::syncAlert()
{
    const auto& alert = m_model.activeAlert();
    if (m_alert && (!alert || alert->id != m_alertID))
        withdraw(m_alert);
    if (!alert || m_alert)
        return;
    m_alertID = alert->id;
    auto* box = new QMessageBox(m_window);
    box->setObjectName(QStringLiteral("alertBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);
    box->setWindowTitle(fromUtf8(alert->title));
    box->setText(fromUtf8(alert->title));
    setPlainInformativeText(box, fromUtf8(alert->message));
    QPushButton* reveal = nullptr;
    if (!alert->revealURLs.empty())
        reveal = box->addButton(QStringLiteral("Show in Finder"), QMessageBox::AcceptRole);
    QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
    box->setEscapeButton(ok);
    box->setDefaultButton(reveal ? reveal : ok);
    const QUuid id = alert->id;
    const std::vector<platform::MacPath> urls = alert->revealURLs;
    connect(box, &QMessageBox::finished, this, [this, box, reveal, id, urls] {
        if (reveal && box->clickedButton() == reveal)
            WindowOperations::run(m_operations.revealAlertURLs, urls);
        const auto& now = m_model.activeAlert();
        if (now && now->id == id)
            m_model.setActiveAlert(std::nullopt);
    });
    m_alert = box;
    box->open();
}

} // namespace veldo::ui
