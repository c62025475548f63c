// The sentences of update-check errors.
#include "platform/qt/UpdateCheckError.h"

namespace veldo::platform {

QString updateCheckErrorSentence(UpdateCheckError error)
{
    switch (error) {
    case UpdateCheckError::invalidFeedUrl:
        return QStringLiteral("The address of the update feed isn’t valid.");
    case UpdateCheckError::insecureFeedUrl:
        return QStringLiteral("Veldo looks for updates only over a secure connection, and the "
                              "address of the update feed isn’t one.");
    case UpdateCheckError::credentialsInFeedUrl:
        return QStringLiteral("The address of the update feed contains a user name or password, "
                              "which Veldo doesn’t send.");
    case UpdateCheckError::unreachable:
        return QStringLiteral("Veldo couldn’t reach the update server.");
    case UpdateCheckError::redirected:
        return QStringLiteral("The update server sent Veldo to another address, which Veldo "
                              "doesn’t follow.");
    case UpdateCheckError::serverError:
        return QStringLiteral("The update server couldn’t provide the update feed.");
    case UpdateCheckError::timedOut:
        return QStringLiteral("The update server took too long to answer.");
    case UpdateCheckError::tooLarge:
        return QStringLiteral("The update feed is larger than Veldo accepts.");
    case UpdateCheckError::unreadableFeed:
        return QStringLiteral("The update feed couldn’t be read.");
    case UpdateCheckError::unreadableOwnVersion:
        return QStringLiteral("Veldo couldn’t read its own version number.");
    }
    return QStringLiteral("The update check failed.");
}

} // namespace veldo::platform
