// Whether the listener on the broker port may be trusted with operator secrets, and the direct
// probes behind it; none of them sends operator credentials.
#include "AppModel.h"

#include "BrokerPeerIdentity.h"
#include "BrokerProbes.h"
#include "TVNBrokerURLTrust.h"

#include <QCoroFuture>
#include <QtConcurrent>

namespace {
// A plain function rather than a lambda inside the coroutine: GCC 12 mishandles lambdas that
// capture coroutine locals when they run on another thread.
BrokerPeerVerification verifyBrokerPeer(qint64 port, std::shared_ptr<const ProcessTable> processTable,
                                        std::shared_ptr<const CodeSigningReader> codeSigning)
{
    return BrokerPeerIdentity::verifyBroker(
        port, codeSigning->selfSigningInfo(),
        [&processTable](qint64 listeningPort) { return processTable->resolveListeningPID(listeningPort); },
        [&codeSigning](qint32 pid) { return codeSigning->signingInfo(pid); });
}
} // namespace

QCoro::Task<bool> AppModel::ensureBrokerIdentityVerified()
{
    if (!TVNBrokerURLTrust::isTrustedLoopbackURL(m_brokerURL, m_deps.identity.brokerPort())) {
        setBrokerIdentityVerified(false);
        co_return false;
    }
    // Walks the process table: never on the GUI thread.
    m_brokerPeerVerification =
        co_await QtConcurrent::run(&verifyBrokerPeer, brokerPort(), m_deps.processTable, m_deps.codeSigning);
    // Always announced: the label may change while the verdict keeps its truth value.
    m_brokerIdentityVerified = m_brokerPeerVerification->trust.isTrusted();
    emit brokerIdentityVerifiedChanged();
    co_return m_brokerIdentityVerified;
}

QString AppModel::brokerPeerTrustLabel() const
{
    return m_brokerPeerVerification ? m_brokerPeerVerification->trust.label() : QString();
}

QCoro::Task<bool> AppModel::probeBrokerHealthDirect()
{
    const BrokerProbes probes(m_deps.identity.brokerPort());
    const bool healthy = co_await probes.probeBrokerHealthDirect(m_brokerURL);
    co_return healthy;
}

QCoro::Task<std::optional<LocalPosture>> AppModel::probeRunningBrokerIdentity()
{
    const BrokerProbes probes(m_deps.identity.brokerPort());
    std::optional<LocalPosture> posture = co_await probes.probeRunningBrokerIdentity(m_brokerURL);
    co_return posture;
}

bool AppModel::developmentBrokerMatchesRuntime(const LocalPosture &posture) const
{
    return BrokerProbes::developmentBrokerMatchesRuntime(posture, m_deps.identity);
}
