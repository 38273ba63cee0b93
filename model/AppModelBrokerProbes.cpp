// Direct probes of whatever answers on the broker port; they never send operator credentials.
#include "AppModel.h"

#include "LocalPosture.h"

namespace {
constexpr double healthProbeTimeoutSeconds = 1;
constexpr double postureProbeTimeoutSeconds = 2;
}

QCoro::Task<bool> AppModel::probeBrokerHealthDirect()
{
    const qint64 port = brokerPort();
    if (port > 65535 || !co_await loopbackPortIsListening(port))
        co_return false;
    const BrokerResult<BrokerHealth> health =
        co_await BrokerClient(healthProbeTimeoutSeconds).get<BrokerHealth>(m_brokerURL, QStringLiteral("/health"));
    co_return health && health->ok && health->service == QLatin1StringView("switchyard-broker");
}

QCoro::Task<std::optional<LocalPosture>> AppModel::probeRunningBrokerIdentity()
{
    const BrokerResult<LocalPosture> posture = co_await BrokerClient(postureProbeTimeoutSeconds)
                                                   .get<LocalPosture>(m_brokerURL, QStringLiteral("/v1/local-posture"));
    if (!posture)
        co_return std::nullopt;
    co_return posture.value();
}

bool AppModel::developmentBrokerMatchesRuntime(const LocalPosture &posture) const
{
    const TVNRuntimeIdentity &identity = m_deps.identity;
    const auto equals = [](const std::optional<QString> &reported, const QString &expected) {
        return reported && *reported == expected;
    };
    return equals(posture.runtimeLane, TVNRuntimeLanes::rawValue(identity.lane()))
        && equals(posture.serviceLabel, identity.serviceLabel())
        && equals(posture.appBundleId, identity.bundleIdentifier()) && posture.brokerPort == identity.brokerPort()
        && equals(posture.stateDir, identity.stateDirectoryPath())
        && equals(posture.profileStoreDir, identity.profileStorePath())
        && equals(posture.logDir, identity.logDirectoryPath())
        && equals(posture.applicationSupportRoot, identity.applicationSupportRootPath())
        && equals(posture.keychainMode, QStringLiteral("file"))
        && equals(posture.operatorBootstrapMode, QStringLiteral("file"));
}
