// One fetch of an update feed.
#include "platform/qt/FeedDownload.h"

#include <cerrno>
#include <utility>

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "platform/MacFileSystem.h"

namespace veldo::platform {

FeedDownload::FeedDownload(const QUrl& url, const QByteArray& userAgent, Limits limits,
                           std::function<void(FeedBytes)> done, QObject* parent)
    : QObject(parent), m_limits(limits), m_done(std::move(done))
{
    if (url.scheme().compare(u"file", Qt::CaseInsensitive) == 0) {
        QMetaObject::invokeMethod(
            this, [this, path = url.path(QUrl::FullyDecoded)] { readFileFeed(path); },
            Qt::QueuedConnection);
        return;
    }

    auto* manager = new QNetworkAccessManager(this);
    manager->setProxy(QNetworkProxy::NoProxy);
    manager->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setMaximumRedirectsAllowed(5);
    request.setRawHeader("Connection", "close");

    m_reply = manager->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &FeedDownload::checkDeclaredSize);
    connect(m_reply, &QNetworkReply::readyRead, this, &FeedDownload::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &FeedDownload::replyFinished);

    m_deadline.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the fetch gets its whole time.
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, [this] { abandon(UpdateCheckError::timedOut); });
    m_deadline.start(m_limits.timeout);
}

FeedDownload::~FeedDownload()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void FeedDownload::readFileFeed(const QString& macPath)
{
    auto bytes =
        readFile(MacPath(macPath.toStdString()), static_cast<std::size_t>(m_limits.maxBytes));
    if (!bytes) {
        finish({{},
                bytes.error().systemErrno == EFBIG ? UpdateCheckError::tooLarge
                                                   : UpdateCheckError::unreadableFeed});
        return;
    }
    finish({QByteArray::fromStdString(*bytes), std::nullopt});
}

void FeedDownload::checkDeclaredSize()
{
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_limits.maxBytes)
        abandon(UpdateCheckError::tooLarge);
}

void FeedDownload::readAvailable()
{
    while (!m_finished && m_reply->bytesAvailable() > 0) {
        m_bytes += m_reply->read(m_limits.maxBytes + 1 - m_bytes.size());
        if (m_bytes.size() > m_limits.maxBytes) {
            abandon(UpdateCheckError::tooLarge);
            return;
        }
    }
}

void FeedDownload::abandon(UpdateCheckError why)
{
    if (m_finished || m_abandoned)
        return;
    m_abandoned = why;
    // Aborting finishes the reply at once, which reports the reason.
    m_reply->abort();
}

void FeedDownload::replyFinished()
{
    if (m_finished)
        return;
    if (m_abandoned) {
        finish({{}, m_abandoned});
        return;
    }
    const QNetworkReply::NetworkError error = m_reply->error();
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (error == QNetworkReply::InsecureRedirectError ||
        error == QNetworkReply::TooManyRedirectsError) {
        finish({{}, UpdateCheckError::redirected});
        return;
    }
    if (status.isValid()) {
        const int code = status.toInt();
        if (code >= 300 && code < 400) {
            finish({{}, UpdateCheckError::redirected});
            return;
        }
        if (code < 200 || code >= 300) {
            finish({{}, UpdateCheckError::serverError});
            return;
        }
    }
    if (error != QNetworkReply::NoError) {
        finish({{}, UpdateCheckError::unreachable});
        return;
    }
    readAvailable();
    if (!m_finished)
        finish({std::move(m_bytes), std::nullopt});
}

void FeedDownload::finish(FeedBytes result)
{
    m_finished = true;
    m_deadline.stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (m_done)
        std::exchange(m_done, nullptr)(std::move(result));
}

} // namespace veldo::platform
