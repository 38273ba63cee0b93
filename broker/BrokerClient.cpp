#include "BrokerClient.h"

#include "BrokerErrorPresentation.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// One manager per thread, as the platform's process-wide client; never a proxy: the broker is
// on loopback and the operator session header must not travel anywhere else.
QNetworkAccessManager *sharedNetworkAccessManager()
{
    static thread_local QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager();
        manager->setProxy(QNetworkProxy::NoProxy);
        QCoreApplication *app = QCoreApplication::instance();
        if (app && app->thread() == QThread::currentThread())
            manager->setParent(app);
        else
            QObject::connect(QThread::currentThread(), &QThread::finished, manager, &QObject::deleteLater);
    }
    return manager;
}

struct ReplyDeleter {
    void operator()(QNetworkReply *reply) const
    {
        // The handlers capture locals of the request that are gone by now: cut them before a
        // still-running request is stopped.
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        if (!reply->isFinished())
            reply->abort();
        reply->deleteLater();
    }
};

// Reads the body as it arrives so that an oversized answer is cut off, not buffered.
struct BodyCollector {
    QByteArray body;
    bool tooLarge = false;

    void take(QNetworkReply *reply)
    {
        if (tooLarge || !reply->isOpen())
            return;
        const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (declared > BrokerClient::maxResponseBytes
            || body.size() + reply->bytesAvailable() > BrokerClient::maxResponseBytes) {
            tooLarge = true;
            // Aborting from inside the reply's own signal confuses it; stop it from the event loop.
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
            return;
        }
        body += reply->readAll();
    }
};

bool isTransportError(QNetworkReply::NetworkError error)
{
    // Connection and proxy errors (1..199) mean no usable HTTP answer arrived; content, protocol
    // and server errors still carry the broker's status.
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

// Wording of the platform's HTTP client, which the phrase table of the error presentation matches.
QString transportDescription(QNetworkReply *reply)
{
    switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
        return QStringLiteral("Could not connect to the server.");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return QStringLiteral("The request timed out.");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("The network connection was lost.");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("A server with the specified hostname could not be found.");
    default:
        return reply->errorString();
    }
}

// A value taken from a broker answer (a session id) must not smuggle a header line into the next request.
bool isSafeHeader(const QString &name, const QString &value)
{
    const auto breaksLine = [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.isNull(); };
    const auto badInName = [&](QChar c) { return breaksLine(c) || c.isSpace() || c == QLatin1Char(':'); };
    return !name.isEmpty() && std::none_of(name.begin(), name.end(), badInName)
        && std::none_of(value.begin(), value.end(), breaksLine);
}

BrokerResult<QByteArray> outcomeOf(QNetworkReply *reply, const BodyCollector &collector, bool timedOut)
{
    if (timedOut)
        return BrokerFailure::transport(QStringLiteral("The request timed out."));
    if (collector.tooLarge)
        return BrokerFailure::transport(QStringLiteral("The broker's response is larger than %1 MiB.")
                                            .arg(BrokerClient::maxResponseBytes / (1024 * 1024)));
    if (isTransportError(reply->error()) || reply->error() == QNetworkReply::OperationCanceledError)
        return BrokerFailure::transport(transportDescription(reply));
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (reply->error() != QNetworkReply::NoError)
            return BrokerFailure::transport(transportDescription(reply));
        return collector.body;
    }
    const qint64 code = status.toLongLong();
    if (code < 200 || code > 299)
        return BrokerClientError::requestFailed(code, brokerErrorMessage(collector.body));
    return collector.body;
}

} // namespace

BrokerClient::BrokerClient(double requestTimeoutSeconds, QNetworkAccessManager *manager)
    : m_requestTimeout(requestTimeoutSeconds), m_manager(manager)
{
}

QUrl BrokerClient::requestURL(const QUrl &baseURL, const QString &path)
{
    QUrl url = baseURL;
    QString basePath = baseURL.path(QUrl::FullyEncoded);
    while (basePath.endsWith(QLatin1Char('/')))
        basePath.chop(1);
    const QString separator = path.startsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/");
    url.setPath(basePath + separator + path, QUrl::TolerantMode);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

QCoro::Task<BrokerResult<QByteArray>> BrokerClient::getBody(QUrl baseURL, QString path, BrokerHeaders headers) const
{
    return send(requestURL(baseURL, path), QByteArrayLiteral("GET"), QByteArray(), headers);
}

QCoro::Task<BrokerResult<QByteArray>> BrokerClient::postJSON(QUrl baseURL, QString path, QJsonObject body,
                                                             BrokerHeaders headers) const
{
    BrokerHeaders withContentType{{QStringLiteral("content-type"), QStringLiteral("application/json")}};
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        // Header names are case-insensitive: a caller's "Content-Type" replaces ours.
        withContentType.removeIf([&](const auto &entry) { return entry.key().compare(it.key(), Qt::CaseInsensitive) == 0; });
        withContentType.insert(it.key(), it.value());
    }
    return send(requestURL(baseURL, path), QByteArrayLiteral("POST"), QJsonDocument(body).toJson(QJsonDocument::Compact),
                withContentType);
}

QCoro::Task<BrokerResult<QByteArray>> BrokerClient::send(QUrl url, QByteArray method, QByteArray body,
                                                         BrokerHeaders headers) const
{
    QNetworkAccessManager *manager = m_manager ? m_manager : sharedNetworkAccessManager();
    const int timeoutMs = static_cast<int>(qBound(0.0, m_requestTimeout * 1000.0, 86400000.0));
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        co_return BrokerFailure::transport(QStringLiteral("unsupported URL"));

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (!isSafeHeader(it.key(), it.value()))
            co_return BrokerFailure::transport(
                QStringLiteral("The request header \"%1\" is malformed.").arg(it.key().simplified()));
        request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    }

    std::unique_ptr<QNetworkReply, ReplyDeleter> reply(
        method == "GET" ? manager->get(request) : manager->sendCustomRequest(request, method, body));
    BodyCollector collector;
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(), [&] { collector.take(reply.get()); });
    QObject::connect(reply.get(), &QIODevice::readyRead, reply.get(), [&] { collector.take(reply.get()); });
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply.get(), [&] {
        timedOut = true;
        reply->abort();
    });
    deadline.start(timeoutMs);

    co_await reply.get();
    deadline.stop();
    collector.take(reply.get());
    co_return outcomeOf(reply.get(), collector, timedOut);
}
