#pragma once

#include "BrokerHealth.h"
#include "LocalPosture.h"

#include <TVNRuntimeIdentity.h>

#include <QCoroTask>
#include <QUrl>

#include <chrono>
#include <optional>

// Probes of whatever listens on the broker port. Each answers yes/no or gives a value or none:
// errors read as the negative answer and nothing throws. A URL that breaks the loopback rule for
// `trustedBrokerPort` is never contacted.
class BrokerProbes
{
public:
    static inline const QString genuineServiceName = QStringLiteral("switchyard-broker");

    explicit BrokerProbes(qint64 trustedBrokerPort) : m_trustedBrokerPort(trustedBrokerPort) {}

    // A TCP connect check on 127.0.0.1, then GET "/health" with a 1 s time-out: healthy only for
    // a 2xx answer that decodes, says "ok" and names the genuine broker.
    QCoro::Task<bool> probeBrokerHealthDirect(QUrl brokerURL) const;

    // GET "/v1/local-posture" with a 2 s time-out and no credentials.
    QCoro::Task<std::optional<LocalPosture>> probeRunningBrokerIdentity(QUrl brokerURL) const;

    // True when something accepts a TCP connection on 127.0.0.1 at `port`.
    static QCoro::Task<bool> loopbackPortIsListening(qint64 port,
                                                     std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

    static bool isGenuineHealthyBroker(const BrokerHealth &health);

    // The posture reports exactly this runtime's lane, label, bundle id, port and paths, and file
    // keychain and bootstrap modes. A value the posture omits never matches.
    static bool developmentBrokerMatchesRuntime(const LocalPosture &posture, const TVNRuntimeIdentity &identity);

private:
    bool isContactable(const QUrl &brokerURL) const;

    qint64 m_trustedBrokerPort;
};
