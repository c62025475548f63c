// FeedDownload: one fetch of an update feed, over the network or from a file on the Mac.
//
// Network fetches (http, https) go through a manager of their own, made for this fetch and
// destroyed with it, so nothing is shared between checks: no proxy (the environment's and the
// application's are ignored), no cookies sent or stored, no cache read or written, redirects
// followed only to the same scheme, host and port (at most 5), and the connection closes when
// the fetch ends. The whole fetch, connection included, must end within `timeout`; a feed
// larger than `maxBytes` (declared or received) is abandoned at once. A file feed is read
// through the Mac root with the same size limit.
//
// The result reaches `done` exactly once, always in a later turn of the event loop than the
// constructor, and from inside the download's own handlers: the owner must not delete the
// download inside `done` (deleteLater is fine). Destroying the download early cancels it
// without calling `done`. GUI-thread (or any one thread with an event loop) confined.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include "platform/qt/UpdateCheckError.h"

class QNetworkReply;

namespace veldo::platform {

struct FeedBytes
{
    QByteArray bytes;
    std::optional<UpdateCheckError> error; // set when the fetch failed; `bytes` is then empty
};

class FeedDownload : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        std::chrono::milliseconds timeout;
        qint64 maxBytes;
    };

    // Starts fetching `url`, which checkFeedAddress accepted.
    FeedDownload(const QUrl& url, const QByteArray& userAgent, Limits limits,
                 std::function<void(FeedBytes)> done, QObject* parent = nullptr);
    ~FeedDownload() override;

private:
    void readFileFeed(const QString& macPath);
    void checkDeclaredSize();
    void readAvailable();
    void replyFinished();
    void abandon(UpdateCheckError why);
    void finish(FeedBytes result);

    Limits m_limits;
    std::function<void(FeedBytes)> m_done;
    QNetworkReply* m_reply = nullptr;
    QTimer m_deadline;
    QByteArray m_bytes;
    std::optional<UpdateCheckError> m_abandoned;
    bool m_finished = false;
};

} // namespace veldo::platform
