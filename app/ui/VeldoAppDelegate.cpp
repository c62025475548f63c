// VeldoAppDelegate: items opened with the application.
#include "app/ui/VeldoAppDelegate.h"

#include <QDir>
#include <QFileOpenEvent>
#include <QStringDecoder>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppShell.h"
#include "platform/MacRoot.h"

namespace veldo::ui {

namespace {

bool isUtf8(const std::string& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text =
        decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !decoder.hasError() && !text.contains(QChar(0));
}

std::optional<platform::MacPath> itemForHostPath(const std::string& hostPath,
                                                 const std::string& workingFolder)
{
    if (hostPath.empty() || !isUtf8(hostPath))
        return std::nullopt;
    QString path = QString::fromStdString(hostPath);
    if (!QDir::isAbsolutePath(path)) {
        if (workingFolder.empty() || !isUtf8(workingFolder))
            return std::nullopt;
        path = QString::fromStdString(workingFolder) + QLatin1Char('/') + path;
    }
    const QByteArray cleaned = QDir::cleanPath(path).toUtf8();
    return platform::macPathForHost(std::string_view(cleaned.constData(), cleaned.size()));
}

} // namespace

VeldoAppDelegate::VeldoAppDelegate(AppShell& shell, QObject* parent)
    : QObject(parent), m_shell(shell)
{
}

VeldoAppDelegate::OpenedItems
VeldoAppDelegate::itemsForArguments(const std::vector<std::string>& arguments,
                                    const std::string& workingFolder)
{
    OpenedItems items;
    for (const std::string& argument : arguments) {
        if (!argument.empty() && argument.front() == '-')
            continue;
        items.push_back(itemForHostPath(argument, workingFolder));
    }
    return items;
}

QStringList VeldoAppDelegate::toMessage(const OpenedItems& items)
{
    QStringList message;
    for (const auto& item : items)
        message.push_back(item ? QString::fromStdString(item->path()) : QString());
    return message;
}

VeldoAppDelegate::OpenedItems VeldoAppDelegate::fromMessage(const QStringList& message)
{
    OpenedItems items;
    for (const QString& path : message) {
        if (!path.startsWith(QLatin1Char('/')))
            items.emplace_back();
        else
            items.emplace_back(platform::MacPath(path.toStdString()));
    }
    return items;
}

void VeldoAppDelegate::openItems(const OpenedItems& items)
{
    m_shell.showMainWindow();
    if (items.empty())
        return;
    std::vector<platform::MacPath> paths;
    for (const auto& item : items)
        if (item)
            paths.push_back(*item);
    if (paths.empty()) {
        m_shell.model().setDropNotice(std::string("That item isn't a macOS application."));
        return;
    }
    WindowOperations::run(m_shell.operations().openApps, std::move(paths));
}

bool VeldoAppDelegate::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FileOpen) {
        const QString file = static_cast<QFileOpenEvent*>(event)->file();
        openItems({itemForHostPath(file.toStdString(), {})});
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace veldo::ui
