#pragma once

#include "AppMetadata.h"
#include "BrokerClient.h"
#include "BrokerHeaders.h"
#include "RunningActions.h"
#include "StatusReporter.h"
#include "TVNRuntimeIdentity.h"
#include "UserDefaults.h"

#include <QCoroTask>
#include <QObject>
#include <QUrl>

#include <functional>

// What every concern of the model shares, and nothing more: who we are, the broker client, the
// operator session that rides on its requests, the status line and the running actions. Each
// concern gets it at construction; none holds a pointer to the whole model.
class ModelContext : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString operatorSessionID READ operatorSessionID NOTIFY operatorSessionIDChanged)

public:
    ModelContext(TVNRuntimeIdentity identity, AppMetadata metadata, UserDefaults defaults, QObject *parent = nullptr);

    const TVNRuntimeIdentity &identity() const { return m_identity; }
    const AppMetadata &metadata() const { return m_metadata; }
    QUrl brokerURL() const { return m_brokerURL; }
    // The port of the broker URL, or the identity's port when the URL names none.
    qint64 brokerPort() const;
    const BrokerClient &client() const { return m_client; }
    UserDefaults &userDefaults() { return m_defaults; }

    StatusReporter &status() { return m_status; }
    const StatusReporter &status() const { return m_status; }
    RunningActions &actions() { return m_actions; }
    const RunningActions &actions() const { return m_actions; }

    // Held in memory only; empty when there is none.
    QString operatorSessionID() const { return m_operatorSessionID; }
    void setOperatorSessionID(const QString &sessionID);
    BrokerHeaders operatorHeaders() const { return ::operatorHeaders(m_operatorSessionID); }

    // Every concern empties its operator-only data; then the status line shows `message`.
    void lockOperatorSurfaces(const QString &message);

    // A full refresh after an action changed broker state; it waits for a running cycle first.
    void setRefreshAfterChange(std::function<QCoro::Task<>()> refresh) { m_refreshAfterChange = std::move(refresh); }
    QCoro::Task<> refreshAfterChange();

Q_SIGNALS:
    void operatorSessionIDChanged();
    void operatorSurfacesLocked();

private:
    TVNRuntimeIdentity m_identity;
    AppMetadata m_metadata;
    UserDefaults m_defaults;
    QUrl m_brokerURL;
    BrokerClient m_client;
    StatusReporter m_status;
    RunningActions m_actions;
    QString m_operatorSessionID;
    std::function<QCoro::Task<>()> m_refreshAfterChange;
};
