#include "BrokerFailure.h"

BrokerFailure::BrokerFailure(const BrokerClientError &error)
    : m_kind(Kind::requestFailed), m_requestFailure(error)
{
}

BrokerFailure BrokerFailure::transport(const QString &description)
{
    return BrokerFailure(Kind::transport, description);
}

BrokerFailure BrokerFailure::decoding(const QString &description)
{
    return BrokerFailure(Kind::decoding, description);
}

BrokerFailure BrokerFailure::local(const QString &description)
{
    return BrokerFailure(Kind::local, description);
}

QString BrokerFailure::description() const
{
    return m_requestFailure ? m_requestFailure->errorDescription() : m_description;
}
