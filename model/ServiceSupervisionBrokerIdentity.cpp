// Whether the listener on the broker port may be trusted with operator secrets, and the direct
// probes behind it; none of them sends operator credentials.
#include "ServiceSupervision.h"

#include "BrokerSnapshot.h"
#include "ModelContext.h"

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

QCoro::Task<bool> ServiceSupervision::ensureBrokerIdentityVerified()
{
    if (!TVNBrokerURLTrust::isTrustedLoopbackURL(m_context.brokerURL(), m_context.identity().brokerPort())) {
        m_snapshot.setBrokerIdentityVerified(false);
        co_return false;
    }
    // Walks the process table: never on the GUI thread.
    const BrokerPeerVerification verification =
        co_await QtConcurrent::run(&verifyBrokerPeer, m_context.brokerPort(), m_deps.processTable, m_deps.codeSigning);
    m_snapshot.setBrokerPeerVerification(verification);
    co_return m_snapshot.brokerIdentityVerified();
}

QCoro::Task<bool> ServiceSupervision::probeBrokerHealthDirect()
{
    const BrokerProbes probes(m_context.identity().brokerPort());
    const bool healthy = co_await probes.probeBrokerHealthDirect(m_context.brokerURL());
    co_return healthy;
}

QCoro::Task<std::optional<LocalPosture>> ServiceSupervision::probeRunningBrokerIdentity()
{
    const BrokerProbes probes(m_context.identity().brokerPort());
    std::optional<LocalPosture> posture = co_await probes.probeRunningBrokerIdentity(m_context.brokerURL());
    co_return posture;
}

bool ServiceSupervision::developmentBrokerMatchesRuntime(const LocalPosture &posture) const
{
    return BrokerProbes::developmentBrokerMatchesRuntime(posture, m_context.identity());
}
