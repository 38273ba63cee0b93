#pragma once

#include <QString>

// The one error of the broker client: the broker answered with a status outside 200..299.
class BrokerClientError
{
public:
    enum class Case { requestFailed };

    static BrokerClientError requestFailed(qint64 status, const QString &message);

    Case errorCase() const { return Case::requestFailed; }
    qint64 status() const { return m_status; }
    QString message() const { return m_message; }
    // "Broker request failed with HTTP 409: already revoked"
    QString errorDescription() const;

    bool operator==(const BrokerClientError &) const = default;

private:
    BrokerClientError(qint64 status, const QString &message) : m_status(status), m_message(message) {}

    qint64 m_status = 0;
    QString m_message;
};
