// UpdateCheckError: why an update check found no answer, and the sentence a user reads for it.
#pragma once

#include <QString>

namespace veldo::platform {

enum class UpdateCheckError
{
    invalidFeedUrl,       // the feed address can't be parsed, or has no host
    insecureFeedUrl,      // plain http to a host that is not this computer, or another scheme
    credentialsInFeedUrl, // a user name or password in the feed address
    unreachable,          // no connection, or the connection failed
    redirected,           // the server sent the request to another address
    serverError,          // an answer other than success (404, 500…)
    timedOut,             // no complete answer within the time limit
    tooLarge,             // the feed is larger than the limit
    unreadableFeed,       // not an appcast: malformed XML, or no RSS channel
    unreadableOwnVersion  // Veldo's own build number is missing or no build number
};

// One whole English sentence for the error, shown by the updater's user interface.
QString updateCheckErrorSentence(UpdateCheckError error);

} // namespace veldo::platform
