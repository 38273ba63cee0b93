#include "BrokerProbes.h"

#include "BrokerClient.h"
#include "BrokerPaths.h"

#include <TVNBrokerURLTrust.h>

#include <QCoroAbstractSocket>
#include <QHostAddress>
#include <QTcpSocket>

namespace {

constexpr double kHealthTimeoutSeconds = 1.0;
constexpr double kPostureTimeoutSeconds = 2.0;
const QString kFileMode = QStringLiteral("file");

QString withoutTrailingSeparator(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool samePath(const std::optional<QString> &reported, const QString &expected)
{
    return reported && withoutTrailingSeparator(*reported) == withoutTrailingSeparator(expected);
}

} // namespace

bool BrokerProbes::isContactable(const QUrl &brokerURL) const
{
    return TVNBrokerURLTrust::isTrustedLoopbackURL(brokerURL, m_trustedBrokerPort);
}

QCoro::Task<bool> BrokerProbes::loopbackPortIsListening(qint64 port, std::chrono::milliseconds timeout)
{
    if (port < 1 || port > 65535)
        co_return false;
    QTcpSocket socket;
    const bool connected = co_await qCoro(socket).connectToHost(QHostAddress(QHostAddress::LocalHost),
                                                                static_cast<quint16>(port), QIODevice::ReadWrite, timeout);
    socket.abort();
    co_return connected;
}

bool BrokerProbes::isGenuineHealthyBroker(const BrokerHealth &health)
{
    return health.ok && health.service == genuineServiceName;
}

QCoro::Task<bool> BrokerProbes::probeBrokerHealthDirect(QUrl brokerURL) const
{
    if (!isContactable(brokerURL))
        co_return false;
    // Awaited into a named value: GCC 12 mishandles co_await inside a condition.
    const bool listening = co_await loopbackPortIsListening(brokerURL.port());
    if (!listening)
        co_return false;
    const BrokerResult<BrokerHealth> health =
        co_await BrokerClient(kHealthTimeoutSeconds).get<BrokerHealth>(brokerURL, BrokerPaths::health);
    co_return health && isGenuineHealthyBroker(health.value());
}

QCoro::Task<std::optional<LocalPosture>> BrokerProbes::probeRunningBrokerIdentity(QUrl brokerURL) const
{
    if (!isContactable(brokerURL))
        co_return std::nullopt;
    const BrokerResult<LocalPosture> posture =
        co_await BrokerClient(kPostureTimeoutSeconds).get<LocalPosture>(brokerURL, BrokerPaths::localPosture);
    if (!posture)
        co_return std::nullopt;
    co_return posture.value();
}

bool BrokerProbes::developmentBrokerMatchesRuntime(const LocalPosture &posture, const TVNRuntimeIdentity &identity)
{
    return posture.runtimeLane == TVNRuntimeLanes::rawValue(identity.lane())
        && posture.serviceLabel == identity.serviceLabel() && posture.appBundleId == identity.bundleIdentifier()
        && posture.brokerPort == identity.brokerPort() && samePath(posture.stateDir, identity.stateDirectoryPath())
        && samePath(posture.profileStoreDir, identity.profileStorePath())
        && samePath(posture.logDir, identity.logDirectoryPath())
        && samePath(posture.applicationSupportRoot, identity.applicationSupportRootPath())
        && posture.keychainMode == kFileMode && posture.operatorBootstrapMode == kFileMode;
}
