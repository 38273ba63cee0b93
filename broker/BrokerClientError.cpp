#include "BrokerClientError.h"

BrokerClientError BrokerClientError::requestFailed(qint64 status, const QString &message)
{
    return BrokerClientError(status, message);
}

QString BrokerClientError::errorDescription() const
{
    return QStringLiteral("Broker request failed with HTTP %1: %2").arg(m_status).arg(m_message);
}
