#include "BrokerEventStream.h"

#include "ApprovalsResponse.h"
#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "ModelContext.h"
#include "ServiceSupervision.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
const QString eventsPath = QStringLiteral("/v1/events");
} // namespace

BrokerEventStream::BrokerEventStream(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                                     QObject *parent)
    : QObject(parent), m_context(context), m_snapshot(snapshot), m_supervision(supervision)
{
    m_reopen.setSingleShot(true);
    m_reopen.setInterval(reopenPause);
    connect(&m_reopen, &QTimer::timeout, this, &BrokerEventStream::reconcile);
    connect(&context, &ModelContext::operatorSessionIDChanged, this, &BrokerEventStream::reconcile);
    connect(&snapshot, &BrokerSnapshot::brokerIdentityVerifiedChanged, this, &BrokerEventStream::reconcile);
    connect(&snapshot, &BrokerSnapshot::healthChanged, this, &BrokerEventStream::reconcile);
}

BrokerEventStream::~BrokerEventStream()
{
    close();
}

bool BrokerEventStream::shouldListen() const
{
    const QString session = m_context.operatorSessionID();
    return !session.isEmpty() && session != m_refusedSession && m_supervision.brokerReadyAndVerified();
}

void BrokerEventStream::reconcile()
{
    if (!shouldListen()) {
        close();
        return;
    }
    if (m_reply && m_streamSession == m_context.operatorSessionID())
        return;
    close();
    open();
}

void BrokerEventStream::open()
{
    m_streamSession = m_context.operatorSessionID();
    m_parser.reset();
    m_sawOpeningEvent = false;
    QNetworkRequest request(m_context.brokerURL().resolved(QUrl(eventsPath)));
    request.setRawHeader("accept", "text/event-stream");
    const BrokerHeaders headers = m_context.operatorHeaders();
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    // The stream stays open for as long as the session lasts: no transfer time-out.
    request.setTransferTimeout(0);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &BrokerEventStream::readEvents);
    connect(m_reply, &QNetworkReply::finished, this, &BrokerEventStream::streamEnded);
}

void BrokerEventStream::close()
{
    m_reopen.stop();
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void BrokerEventStream::readEvents()
{
    if (!m_reply)
        return;
    for (const ServerSentEventParser::Event &event : m_parser.feed(m_reply->readAll())) {
        if (event.name != QLatin1StringView("approvals"))
            continue;
        // The first event only says how things stand when the stream opens; the refresh that
        // came before it already read that.
        if (!m_sawOpeningEvent) {
            m_sawOpeningEvent = true;
            continue;
        }
        reloadApprovals();
    }
}

void BrokerEventStream::streamEnded()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    if (status == 401 || status == 403)
        m_refusedSession = m_streamSession;
    if (shouldListen())
        m_reopen.start();
}

QCoro::Task<> BrokerEventStream::reloadApprovals()
{
    const BrokerResult<ApprovalsResponse> approvals = co_await m_context.client().get<ApprovalsResponse>(
        m_context.brokerURL(), BrokerPaths::approvals, m_context.operatorHeaders());
    // A failure changes nothing; the next refresh says what is wrong.
    if (!approvals || m_context.operatorSessionID().isEmpty())
        co_return;
    m_snapshot.setApprovals(approvals->approvals);
    emit approvalsPushed();
}
