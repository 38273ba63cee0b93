#pragma once

#include "ServerSentEventParser.h"

#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>

class BrokerSnapshot;
class ModelContext;
class QNetworkReply;
class ServiceSupervision;

// The broker's event stream, heard while an operator session is held on a ready, verified broker:
// when it says the pending approvals changed, the approvals list is read again at once, so a new
// request shows without waiting for the next refresh. A dropped stream is opened again after a
// pause; one the broker refuses (the session ended) waits for the next session.
class BrokerEventStream : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds reopenPause{2000};

    BrokerEventStream(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                      QObject *parent = nullptr);
    ~BrokerEventStream() override;

    bool isListening() const { return !m_reply.isNull(); }

Q_SIGNALS:
    // The approvals list was read again after the broker said it changed.
    void approvalsPushed();

private:
    bool shouldListen() const;
    void reconcile();
    void open();
    void close();
    void readEvents();
    void streamEnded();
    QCoro::Task<> reloadApprovals();

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    ServiceSupervision &m_supervision;
    QNetworkAccessManager m_network;
    QPointer<QNetworkReply> m_reply;
    QString m_streamSession;
    QString m_refusedSession;
    ServerSentEventParser m_parser;
    bool m_sawOpeningEvent = false;
    QTimer m_reopen;
};
